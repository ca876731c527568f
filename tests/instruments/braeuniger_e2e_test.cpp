// The Bräuniger driver against the simulated instrument, through real pseudo-terminals.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <memory>

#include "braeunigersim.h"
#include "instruments/braeuniger/braeuniger.h"
#include "instruments/serialport.h"
#include "support/testdata.h"

using namespace kalvora;
using kalvora::sim::BraeunigerSim;
using kalvora::sim::SimulatorRunner;
using Clock = std::chrono::steady_clock;

namespace {

std::vector<sim::IgcFile> recordings(const std::vector<std::string>& names)
{
    const std::string dir = test::testdataDir();
    return dir.empty() ? std::vector<sim::IgcFile>{} : sim::loadIgcFiles(dir + "/igc", names);
}

struct SimFixture
{
    explicit SimFixture(const std::string& model = "COMPEO+", std::vector<sim::IgcFile> tracks = {},
                        sim::LineOptions options = {})
        : sim(std::make_shared<BraeunigerSim>(model, std::move(tracks))), runner(sim, options)
    {
        started = runner.start();
    }
    /**
     * Small answers come in one piece from the simulator, so a short silent read
     * keeps the tests quick; downloads use the instruments' 0.2 s so that a busy
     * machine cannot end them early.
     */
    std::unique_ptr<Braeuniger> open(std::chrono::milliseconds silentRead = std::chrono::milliseconds(100))
    {
        std::unique_ptr<GpsDevice> d =
            Braeuniger::open(runner.slavePath(), std::make_unique<SerialPort>(silentRead));
        return std::unique_ptr<Braeuniger>(static_cast<Braeuniger*>(d.release()));
    }
    void fault(sim::Fault f)
    {
        sim::LineOptions o;
        o.fault = f;
        runner.setOptions(o);
    }
    std::vector<std::string> log(std::string_view head) const
    {
        std::vector<std::string> out;
        for (const std::string& c : sim->commandLog())
            if (c.rfind(head, 0) == 0)
                out.push_back(c);
        return out;
    }

    std::shared_ptr<BraeunigerSim> sim;
    SimulatorRunner runner;
    bool started = false;
};

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

TEST(BraeunigerIdentification, EveryModelOfTheTable)
{
    for (const braeuniger::ModelEntry& entry : braeuniger::modelTable()) {
        SCOPED_TRACE(entry.modelName);
        SimFixture f(entry.modelName);
        ASSERT_TRUE(f.started);
        const auto device = f.open();
        ASSERT_NE(device, nullptr);
        EXPECT_EQ(device->name(), entry.descriptor);
        EXPECT_EQ(device->driverId(), "braeuniger");
        EXPECT_EQ(device->deviceType(), entry.deviceType);
        EXPECT_FALSE(device->link().isOpen()) << "the constructor closes the line again";
    }
}

TEST(BraeunigerTracks, ListAndByteExactDownload)
{
    KALVORA_REQUIRE_TESTDATA();
    // tri.igc ends without a line break after its last G record; line.igc comes from another logger.
    SimFixture f("COMPEO", recordings({"marcourt.igc", "tri.igc", "line.igc"}));
    const auto device = f.open(kSilentRead);
    ASSERT_NE(device, nullptr);
    std::vector<Track> tracks = device->tracks();
    ASSERT_EQ(tracks.size(), 3u);
    const char* names[] = {"marcourt.igc", "tri.igc", "line.igc"};
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(tracks[i].trackNumber, std::int64_t(i) + 1);
        const sim::IgcFile expected = recordings({names[i]}).front();
        EXPECT_EQ(tracks[i].utcDateTime, expected.startUTC);
        EXPECT_EQ(tracks[i].flightTime, double(expected.flightTimeS));
        ASSERT_TRUE(device->igcTrack(tracks[i]));
        EXPECT_TRUE(tracks[i].igcData == expected.text) << "download differs from the recording";
    }
}

TEST(BraeunigerTracks, FallsBackToTheShortListWhenTheExtendedOneIsSilent)
{
    KALVORA_REQUIRE_TESTDATA();
    SimFixture f("COMPETINO", recordings({"marcourt.igc"}));
    f.sim->setExtendedLists(false);
    const auto device = f.open();
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->tracks().size(), 1u);
    EXPECT_EQ(f.log("$PBRTLE,").size(), 3u) << "three attempts of the extended list";
    EXPECT_EQ(f.log("$PBRTL,").size(), 1u);
}

TEST(BraeunigerWaypoints, ReadWriteAndDelete)
{
    SimFixture f;
    const auto device = f.open();
    ASSERT_NE(device, nullptr);
    std::vector<DeviceWayPoint> list = device->waypoints();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].shortName, "Landeplatz       ");
    EXPECT_DOUBLE_EQ(list[1].latitude, 47.25);
    EXPECT_EQ(list[1].altitude, 1520);

    DeviceWayPoint w;
    w.shortName = "Müller Spitze Südhang";
    w.latitude = -33.5;
    w.longitude = -70.25;
    w.gpsaltitude = 12000;
    ASSERT_TRUE(device->writeWaypoint(w));
    w.shortName = "Tief";
    w.gpsaltitude = -5;
    ASSERT_TRUE(device->writeWaypoint(w));
    auto onInstrument = f.sim->waypoints();
    ASSERT_EQ(onInstrument.size(), 4u);
    EXPECT_EQ(onInstrument[2].longName, "Mueller Spitze Su");
    EXPECT_EQ(onInstrument[2].altitude, 9999);
    EXPECT_DOUBLE_EQ(onInstrument[2].latitude, -33.5);
    EXPECT_DOUBLE_EQ(onInstrument[2].longitude, -70.25);
    EXPECT_EQ(onInstrument[3].altitude, 0);
    EXPECT_EQ(f.log("$PBRWPR,3330.000,S,07015.000,W,,Mueller Spitze Su,9999").size(), 1u);

    list = device->waypoints();
    ASSERT_EQ(list.size(), 4u);
    const std::vector<DeviceWayPoint> chosen{list[0], list[2]};
    ASSERT_TRUE(device->deleteWaypoints(chosen));
    onInstrument = f.sim->waypoints();
    ASSERT_EQ(onInstrument.size(), 2u);
    ASSERT_TRUE(device->deleteAllWaypoints());
    EXPECT_TRUE(f.sim->waypoints().empty());
    EXPECT_EQ(f.log("$PBRWPX,,").size(), 1u);
    EXPECT_TRUE(device->waypoints().empty());
}

TEST(BraeunigerWaypoints, AWriteTheInstrumentLeavesUnansweredIsAnError)
{
    SimFixture f;
    const auto device = f.open();
    ASSERT_NE(device, nullptr);
    DeviceWayPoint w;
    w.shortName = "Gipfel";
    w.latitude = 46.5;
    w.longitude = 7.25;
    w.gpsaltitude = 2100;

    f.sim->setWaypointReply(BraeunigerSim::WaypointReply::Full);
    Result<Done> written = device->writeWaypoint(w);
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error(), "The instrument did not answer when the waypoint \"Gipfel\" was written.");
    EXPECT_EQ(f.sim->waypoints().size(), 2u);

    // Flow control alone is how an instrument says it took the point.
    f.sim->setWaypointReply(BraeunigerSim::WaypointReply::FlowControl);
    EXPECT_TRUE(device->writeWaypoint(w));
    EXPECT_EQ(f.sim->waypoints().size(), 3u);

    f.sim->setWaypointReply(BraeunigerSim::WaypointReply::Echo);
    f.fault(sim::Fault::Silence);
    EXPECT_FALSE(device->writeWaypoint(w)) << "a line gone quiet";
    f.fault(sim::Fault::None);
    EXPECT_TRUE(device->writeWaypoint(w));

    // A full memory takes no new point, but a point of a stored name replaces it.
    std::vector<BraeunigerSim::Waypoint> full;
    for (std::size_t k = 0; k < BraeunigerSim::kMaxWaypoints; ++k) {
        std::string name = "Point " + std::to_string(k);
        name.resize(17, ' '); // as the instrument keeps its names
        full.push_back({46.0, 7.0, "P", name, 1000});
    }
    f.sim->setWaypoints(full);
    EXPECT_FALSE(device->writeWaypoint(w));
    w.shortName = "Point 7";
    EXPECT_TRUE(device->writeWaypoint(w));
}

TEST(BraeunigerRoutes, ARoutePointTheInstrumentDoesNotTakeStopsTheRoute)
{
    SimFixture f;
    const auto device = f.open();
    ASSERT_NE(device, nullptr);
    f.sim->setWaypointReply(BraeunigerSim::WaypointReply::Full);
    const RouteToWrite route{"Grat", {{0, "Start", 46.5, 7.5, 2100, 400}, {1, "Ziel", 46.0, 7.0, 900, 400}}};
    const Result<Done> written = device->writeRoute(route);
    ASSERT_FALSE(written);
    EXPECT_NE(written.error().find("\"Start\""), std::string::npos) << written.error();
    for (const std::string& sent : f.log("$PBRWPR"))
        EXPECT_EQ(sent.find("Ziel"), std::string::npos) << "the second point is not tried";
    EXPECT_TRUE(f.log("$PBRRTR").empty()) << "no route without its points";
    EXPECT_TRUE(f.sim->routes().empty());
}

TEST(BraeunigerRoutes, ReadMarksWriteAndDelete)
{
    SimFixture f;
    f.sim->setRoutes({{1, "Ridge", {"Startplatz", "Landeplatz"}}, {2, "Empty", {}}});
    const auto device = f.open();
    ASSERT_NE(device, nullptr);
    const auto routes = device->routes();
    ASSERT_TRUE(routes);
    ASSERT_EQ(routes->size(), 2u);
    EXPECT_EQ((*routes)[0].name, "Ridge            ");
    ASSERT_EQ((*routes)[0].waypoints.size(), 2u);
    // Routes read before waypoints mark the waypoints that belong to them.
    for (const DeviceWayPoint& w : device->waypoints())
        EXPECT_TRUE(w.routeWaypoint) << w.shortName;

    RouteToWrite route{"Über den Grat", {{1, "Ziel", 46.0, 7.0, 900, 400}, {0, "Start", 46.5, 7.5, 2100, 400}}};
    ASSERT_TRUE(device->writeRoute(route));
    const auto header = f.log("$PBRRTR,01,03,00,");
    ASSERT_EQ(header.size(), 1u);
    EXPECT_EQ(header[0], "$PBRRTR,01,03,00,Ueber den Grat   ");
    const auto points = f.log("$PBRRTR,01,03,0");
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[1], "$PBRRTR,01,03,01,,Start            ") << "points in index order";
    EXPECT_EQ(points[2], "$PBRRTR,01,03,02,,Ziel             ");
    EXPECT_EQ(f.sim->waypoints().size(), 4u) << "route points are stored as waypoints";

    // Deleting every route is one sentence, and the points go with it.
    const auto all = device->routes();
    ASSERT_TRUE(all);
    f.sim->clearCommandLog();
    ASSERT_TRUE(device->deleteRoutes(*all));
    EXPECT_EQ(f.log("$PBRRTX").size(), 1u);
    EXPECT_EQ(f.log("$PBRRTX,,").size(), 1u);
    EXPECT_TRUE(f.sim->routes().empty());
    // The written route took slot 01 of "Ridge", so only its own points went.
    const auto left = f.sim->waypoints();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].longName, "Startplatz       ");
}

TEST(BraeunigerRoutes, DeletingSomeRoutesNamesThem)
{
    SimFixture f;
    f.sim->setRoutes({{1, "Ridge", {"Startplatz"}}, {2, "Other", {}}});
    const auto device = f.open();
    ASSERT_NE(device, nullptr);
    const auto routes = device->routes();
    ASSERT_TRUE(routes && routes->size() == 2u);
    ASSERT_TRUE(device->deleteRoutes({(*routes)[0]}));
    EXPECT_EQ(f.log("$PBRRTX,Ridge            ").size(), 1u);
    ASSERT_EQ(f.sim->routes().size(), 1u);
    EXPECT_EQ(f.sim->waypoints().size(), 1u);
}

TEST(BraeunigerSettings, ReadDecodesTheInstrumentMemory)
{
    SimFixture f;
    const auto device = f.open();
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(device->readSettings());
    EXPECT_EQ(f.log("$PBRMEMR").size(), 67u);
    const BraeunigerMemory m = device->memory();
    const auto image = f.sim->memory();
    for (unsigned a = 0; a < BraeunigerMemory::kReadBytes; ++a)
        ASSERT_EQ(m.byte(a), image[a]) << a;
    EXPECT_EQ(m.byte(BraeunigerMemory::kReadBytes), 0) << "only 536 bytes come from the instrument";
    EXPECT_EQ(m.text("owner"), "SIM PILOT");
    EXPECT_EQ(m.value("upBaseFreq"), 700);
    const auto values = device->settingsValues();
    EXPECT_NE(std::find(values.begin(), values.end(), DeviceSetting{"gliderID", std::string("D-1234")}), values.end());
}

TEST(BraeunigerSettings, WritesAreAlignedEightBytePiecesThenConf)
{
    SimFixture f;
    const auto device = f.open();
    ASSERT_NE(device, nullptr);

    struct Case
    {
        std::function<bool()> change;
        std::vector<std::string> heads;
    } cases[] = {
        {[&] { return device->setSetting("baseVolume", 75); }, {"$PBRMEMW,0048,8,"}},
        {[&] { return device->setSettingText("gliderType", "Ozone Rush 6"); },
         {"$PBRMEMW,00c0,8,", "$PBRMEMW,00c8,8,"}},
        {[&] { return device->setSetting("cTRAlarm2", 1); }, {"$PBRMEMW,0210,8,"}},
        {[&] { return device->writeMemoryData(0x4A); }, {"$PBRMEMW,0048,8,"}},
        {[&] { return device->writeMemoryData(0x1FF, 2); }, {"$PBRMEMW,01f8,8,", "$PBRMEMW,0200,1,"}},
    };
    for (const Case& c : cases) {
        f.sim->clearCommandLog();
        ASSERT_TRUE(c.change());
        device->waitForWrites();
        std::vector<std::string> sent = f.sim->commandLog();
        ASSERT_EQ(sent.size(), c.heads.size() + 1);
        for (std::size_t i = 0; i < c.heads.size(); ++i)
            EXPECT_EQ(sent[i].rfind(c.heads[i], 0), 0u) << sent[i];
        EXPECT_EQ(sent.back(), "$PBRCONF,");
    }
    EXPECT_EQ(f.sim->memory()[0x04A], 75);
    EXPECT_EQ(f.sim->memory()[0x0C0], 'O');
    EXPECT_EQ(f.sim->memory()[0x0CC], 0);
    EXPECT_EQ(f.sim->memory()[0x215] & 0b100, 0b100);
}

TEST(BraeunigerSettings, UpToneBelowDownToneLowersTheDownTone)
{
    SimFixture f;
    const auto device = f.open();
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(device->setSetting("downBaseFreq", 600));
    ASSERT_TRUE(device->setSetting("upBaseFreq", 500));
    device->waitForWrites();
    EXPECT_EQ(device->memory().value("downBaseFreq"), 500);
    const auto image = f.sim->memory();
    EXPECT_EQ((image[0x068] << 8) | image[0x069], 500);
    EXPECT_FALSE(device->setSetting("polSink0Of1", -3)) << "first polar in use: nothing written";
}

TEST(BraeunigerSettings, SliderAddressesMoveToTheFirstPolar)
{
    SimFixture f;
    const auto device = f.open();
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(device->memory().byte(0x07F), 0);
    f.sim->clearCommandLog();
    ASSERT_TRUE(device->sliderWriteMemoryData(85)); // 0x55 -> 122 = 0x7A
    device->waitForWrites();
    const auto sent = f.sim->commandLog();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent[0].rfind("$PBRMEMW,0078,8,", 0), 0u);
}

TEST(BraeunigerSettings, WriteWithoutAnswerStopsBeforeConf)
{
    SimFixture f;
    const auto device = f.open();
    ASSERT_NE(device, nullptr);
    const auto before = f.sim->memory();
    f.fault(sim::Fault::Silence);
    f.sim->clearCommandLog();
    ASSERT_TRUE(device->setSettingText("owner", "Someone Else"));
    device->waitForWrites();
    EXPECT_EQ(f.log("$PBRMEMW,0000,8,").size(), 3u) << "three attempts of the first piece";
    EXPECT_TRUE(f.log("$PBRMEMW,0008").empty());
    EXPECT_TRUE(f.log("$PBRCONF").empty());
    EXPECT_EQ(f.sim->memory(), before);
}

TEST(BraeunigerFaults, IdentificationFailsQuietlyAndQuickly)
{
    for (const sim::Fault fault : {sim::Fault::Silence, sim::Fault::Garbage, sim::Fault::Slow}) {
        SCOPED_TRACE(int(fault));
        sim::LineOptions o;
        o.fault = fault;
        SimFixture f("COMPEO", {}, o);
        const auto start = Clock::now();
        EXPECT_EQ(f.open(), nullptr);
        EXPECT_LT(secondsSince(start), 2.5) << "three attempts of one silent read each, and a little more";
    }
}

TEST(BraeunigerFaults, XonXoffInsideAnswersAreRemoved)
{
    KALVORA_REQUIRE_TESTDATA();
    sim::LineOptions o;
    o.fault = sim::Fault::XonXoff;
    SimFixture f("6030", recordings({"marcourt.igc"}), o);
    const auto device = f.open(kSilentRead);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->name(), "Bräuniger Compeo+");
    std::vector<Track> tracks = device->tracks();
    ASSERT_EQ(tracks.size(), 1u);
    ASSERT_TRUE(device->igcTrack(tracks[0]));
    EXPECT_TRUE(tracks[0].igcData == recordings({"marcourt.igc"}).front().text);
    const auto quick = f.open();
    ASSERT_NE(quick, nullptr);
    EXPECT_EQ(quick->waypoints().size(), 2u);
    EXPECT_TRUE(quick->readSettings());
    EXPECT_EQ(quick->memory().text("owner"), "SIM PILOT");
}

TEST(BraeunigerFaults, DownloadCutOffInTheMiddleFails)
{
    KALVORA_REQUIRE_TESTDATA();
    SimFixture f("COMPEO", recordings({"marcourt.igc"}));
    const auto device = f.open();
    ASSERT_NE(device, nullptr);
    std::vector<Track> tracks = device->tracks();
    ASSERT_EQ(tracks.size(), 1u);
    f.fault(sim::Fault::CutOff);
    EXPECT_FALSE(device->igcTrack(tracks[0]));
    EXPECT_TRUE(tracks[0].igcData.empty());
}

TEST(BraeunigerFaults, ListsAndSettingsOfASilentInstrumentAreEmpty)
{
    SimFixture f;
    const auto device = f.open();
    ASSERT_NE(device, nullptr);
    for (const sim::Fault fault : {sim::Fault::Silence, sim::Fault::Garbage}) {
        f.fault(fault);
        const auto start = Clock::now();
        EXPECT_TRUE(device->tracks().empty());
        EXPECT_TRUE(device->waypoints().empty());
        const auto routes = device->routes();
        EXPECT_TRUE(!routes || routes->empty());
        EXPECT_FALSE(device->readSettings());
        EXPECT_LT(secondsSince(start), 12.0);
    }
}

namespace {

struct RecordingDelegate : GpsDeviceDelegate
{
    std::vector<Track> tracks;
    std::vector<DeviceWayPoint> waypoints;
    std::optional<bool> settings;
    QThread* callbackThread = nullptr;
    int calls = 0;
    void tracksRead(GpsDevice&, const std::vector<Track>& list) override
    {
        tracks = list;
        callbackThread = QThread::currentThread();
        ++calls;
    }
    void waypointsRead(GpsDevice&, const std::vector<DeviceWayPoint>& list) override
    {
        waypoints = list;
        ++calls;
    }
    void settingsRead(GpsDevice&, bool ok) override
    {
        settings = ok;
        ++calls;
    }
};

bool waitFor(const std::function<bool()>& done, int timeoutMs = 10000)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done() && Clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

} // namespace

TEST(BraeunigerListReads, RunOnWorkersAndCallBackOnTheOwnerThread)
{
    KALVORA_REQUIRE_TESTDATA();
    SimFixture f("COMPEO", recordings({"marcourt.igc", "d3p.igc"}));
    auto device = f.open();
    ASSERT_NE(device, nullptr);
    RecordingDelegate delegate;
    device->setDelegate(&delegate);
    device->trackList();
    ASSERT_TRUE(waitFor([&] { return delegate.calls == 1; }));
    EXPECT_EQ(delegate.tracks.size(), 2u);
    EXPECT_EQ(delegate.callbackThread, QThread::currentThread());
    device->waypointList();
    EXPECT_TRUE(device->getSettings());
    ASSERT_TRUE(waitFor([&] { return delegate.calls == 3; }));
    EXPECT_EQ(delegate.waypoints.size(), 2u);
    EXPECT_EQ(delegate.settings, true);
}

TEST(BraeunigerListReads, DriverDroppedDuringAReadNeitherHangsNorCallsBack)
{
    SimFixture f;
    auto device = f.open();
    ASSERT_NE(device, nullptr);
    RecordingDelegate delegate;
    device->setDelegate(&delegate);
    device->getSettings();
    device.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(delegate.calls, 0);
}
