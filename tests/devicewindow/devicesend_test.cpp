// The waypoint and route windows send to the instrument through the device window.
#include <QAction>
#include <QSignalSpy>
#include <QToolBar>

#include "braeunigersim.h"
#include "devicewindowfixture.h"
#include "flytecsim.h"
#include "model/route.h"
#include "model/waypoint.h"
#include "ui/waypoints/currentposition.h"
#include "ui/waypoints/routewindowcontroller.h"
#include "ui/waypoints/waypointinteraction.h"
#include "ui/waypoints/waypointservices.h"
#include "ui/waypoints/waypointwindowcontroller.h"

namespace kalvora::test {
namespace {

class QuietWaypointInteraction final : public WaypointInteraction
{
public:
    void chooseImportFiles(QWidget*, const QStringList&, std::function<void(const QStringList&)>) override {}
    void chooseExportFile(QWidget*, const QString&, const QStringList&,
                          std::function<void(const std::optional<QString>&)>) override
    {
    }
    void askShare(QWidget*, std::function<void(bool)>) override {}
    void alert(QWidget*, const QString& message, const QString& informative) override
    {
        alerts << message + QLatin1Char('|') + informative;
    }
    void openUrl(const QUrl&) override {}
    QStringList alerts;
};

class NoPosition final : public CurrentPositionSource
{
public:
    void requestPosition(QObject*, std::function<void(std::optional<GeoDegrees>)>) override {}
};

Route* storedRoute(ObjectContext* context, const QString& name, const QString& goal)
{
    auto* route = context->insert<Route>();
    route->setName(name);
    route->appendWaypoint(46.5, 7.25, 2100, 400, QStringLiteral("Grat"));
    route->appendWaypoint(46.6, 7.30, 600, 400, goal);
    EXPECT_TRUE(context->save().ok());
    return route;
}

void storeWaypoints(ObjectContext* context)
{
    for (const auto& [name, lat] : {std::pair{"Gipfel", 46500000}, std::pair{"Wiese", 46600000}}) {
        auto* w = context->insert<Waypoint>();
        w->setName(QString::fromLatin1(name));
        w->setShortName(QString::fromLatin1(name));
        w->setLatitude(lat);
        w->setLongitude(7250000);
        w->setAltitude(1500);
    }
    EXPECT_TRUE(context->save().ok());
}

std::size_t sentences(const sim::BraeunigerSim& sim, const std::string& head)
{
    const auto log = sim.commandLog();
    return std::size_t(std::count_if(log.begin(), log.end(), [&](const std::string& c) { return c.rfind(head, 0) == 0; }));
}

/** The one waypoint name the instrument was asked to store (empty when there were several or none). */
QString triedName(const sim::BraeunigerSim& sim)
{
    QStringList names;
    for (const std::string& c : sim.commandLog())
        if (c.rfind("$PBRWPR,", 0) == 0)
            names << QString::fromStdString(c).section(QLatin1Char(','), 6, 6).trimmed();
    names.removeDuplicates();
    return names.size() == 1 ? names.first() : QString();
}

class DeviceSend : public DeviceWindowTest
{
protected:
    /** Until the read chain has ended, its settings read included: it shares the line with a send. */
    bool waitUntilIdle()
    {
        return QTest::qWaitFor(
            [this] {
                const bool settingsPending = m_window->settingsRead() == 2 && stack("settingsStack")->count() > 1;
                return !m_window->isBusy() && !settingsPending && stack("routeTableStack")->currentIndex() != 1 &&
                       stack("waypointTableStack")->currentIndex() != 1;
            },
            kWaitMs);
    }

    /** A Bräuniger instrument plugged in, found and read; null when that failed. */
    std::shared_ptr<sim::BraeunigerSim> plugInReadInstrument()
    {
        auto sim = std::make_shared<sim::BraeunigerSim>("COMPEO+", std::vector<sim::IgcFile>{});
        plugIn(sim);
        if (!loadAndScan() || !waitUntilIdle())
            return nullptr;
        return sim;
    }
};

TEST_F(DeviceSend, SelectedWaypointsGoToTheInstrumentAndItsListIsReadAgain)
{
    const auto sim = plugInReadInstrument();
    ASSERT_NE(sim, nullptr);

    ObjectContext* global = m_global->mainContext();
    storeWaypoints(global);
    auto interaction = std::make_unique<QuietWaypointInteraction>();
    WaypointWindowController waypoints(global, WaypointServices{}, std::move(interaction),
                                       std::make_unique<NoPosition>());
    waypoints.windowDidLoad();
    waypoints.setInstrumentSend(m_window->instrumentSend());
    waypoints.show();
    QAction* send = waypoints.findChild<QAction*>(QStringLiteral("sendToDevice"));
    ASSERT_NE(send, nullptr);
    EXPECT_FALSE(send->isEnabled()); // nothing selected
    waypoints.setSelectedWaypoints(waypoints.waypointList());
    ASSERT_TRUE(send->isEnabled());
    send->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim->waypoints().size() == 2; }, kWaitMs));
    ASSERT_TRUE(QTest::qWaitFor([this] { return table("waypointTable")->model()->rowCount() == 2; }, kWaitMs));

    // Without an instrument the entry stays, but off.
    control<QTableWidget>("deviceTable")->clearSelection();
    EXPECT_FALSE(send->isEnabled());
}

TEST_F(DeviceSend, ASecondRouteForAnInstrumentWithOneSlotIsAskedAboutFirst)
{
    auto sim = std::make_shared<sim::FlytecSim>("Flytec 6015");
    plugIn(sim);
    ASSERT_TRUE(loadAndScan());
    ASSERT_TRUE(waitUntilIdle());
    EXPECT_EQ(table("routeTable")->model()->rowCount(), 0);

    ObjectContext* global = m_global->mainContext();
    Route* first = storedRoute(global, QStringLiteral("Morning"), QStringLiteral("Lande"));
    Route* second = storedRoute(global, QStringLiteral("Evening"), QStringLiteral("Wiese"));
    RouteWindowController routes(global);
    routes.setInstrumentSend(m_window->instrumentSend());
    routes.show();
    auto* status = routes.findChild<QLabel*>(QStringLiteral("sendStatus"));
    ASSERT_NE(status, nullptr);

    // The slot is free: no question.
    routes.selectRoute(first);
    ASSERT_TRUE(routes.sendButton()->isEnabled());
    QTest::mouseClick(routes.sendButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return status->text().contains(QStringLiteral("was sent")); }, kWaitMs))
        << status->text().toStdString();
    EXPECT_TRUE(m_interaction->warnings.isEmpty());
    ASSERT_TRUE(waitUntilIdle());
    ASSERT_EQ(table("routeTable")->model()->rowCount(), 1);
    const auto routeLines = [&] { return sim->withInstrument([](sim::FlytecInstrument& i) { return i.routeLines(); }); };
    const auto before = routeLines();

    // Taken: "Cancel" sends nothing.
    m_interaction->agree = false;
    routes.selectRoute(second);
    QTest::mouseClick(routes.sendButton(), Qt::LeftButton);
    ASSERT_EQ(m_interaction->warnings.size(), 1);
    EXPECT_EQ(m_interaction->warnings.first(),
              QStringLiteral("The device is not able to save more then one route at a time."));
    EXPECT_TRUE(status->text().contains(QStringLiteral("was not sent")));
    EXPECT_EQ(routeLines(), before);

    // "Ok" replaces it.
    m_interaction->agree = true;
    QTest::mouseClick(routes.sendButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return status->text().contains(QStringLiteral("Evening was sent")); }, kWaitMs))
        << status->text().toStdString();
    EXPECT_NE(routeLines(), before);
}

TEST_F(DeviceSend, WhileTheSettingsAreReadTheSendIsOffAndRefusedThenComesBack)
{
    auto sim = std::make_shared<sim::BraeunigerSim>("COMPEO+", std::vector<sim::IgcFile>{});
    plugIn(sim);
    ASSERT_TRUE(loadAndScan());
    // The settings read has begun and runs for a good while (one memory sentence at a time).
    ASSERT_TRUE(QTest::qWaitFor([&] { return sentences(*sim, "$PBRMEMR") > 0; }, kWaitMs));
    ASSERT_EQ(m_window->settingsRead(), 2);
    EXPECT_TRUE(m_window->isReading());

    ObjectContext* global = m_global->mainContext();
    storeWaypoints(global);
    Route* route = storedRoute(global, QStringLiteral("Ridge"), QStringLiteral("Lande"));
    WaypointWindowController waypoints(global, WaypointServices{}, std::make_unique<QuietWaypointInteraction>(),
                                       std::make_unique<NoPosition>());
    waypoints.windowDidLoad();
    waypoints.setInstrumentSend(m_window->instrumentSend());
    waypoints.show();
    waypoints.setSelectedWaypoints(waypoints.waypointList());
    QAction* send = waypoints.findChild<QAction*>(QStringLiteral("sendToDevice"));
    ASSERT_NE(send, nullptr);
    RouteWindowController routes(global);
    routes.setInstrumentSend(m_window->instrumentSend());
    routes.show();
    routes.selectRoute(route);
    EXPECT_FALSE(send->isEnabled());
    EXPECT_FALSE(routes.sendButton()->isEnabled());

    // A send that comes in anyway is refused and says why; nothing goes on the line.
    std::optional<InstrumentSendResult> refused;
    m_window->instrumentSend().sendWaypoints({DeviceWayPoint{}}, [&](const InstrumentSendResult& r) { refused = r; });
    ASSERT_TRUE(refused);
    EXPECT_FALSE(refused->sent);
    EXPECT_TRUE(refused->error.startsWith(QStringLiteral("The instrument is still being read.")))
        << refused->error.toStdString();
    refused.reset();
    m_window->instrumentSend().sendRoute(RouteToWrite{"Ridge", {}}, [&](const InstrumentSendResult& r) { refused = r; });
    ASSERT_TRUE(refused);
    EXPECT_FALSE(refused->sent);
    EXPECT_TRUE(refused->error.startsWith(QStringLiteral("The instrument is still being read.")));
    EXPECT_EQ(sentences(*sim, "$PBRWPR") + sentences(*sim, "$PBRRTR"), 0u);
    EXPECT_EQ(m_window->settingsRead(), 2) << "the refusals came while the read was running";

    // Once the read is done the entries come on by themselves, and the send goes through.
    ASSERT_TRUE(QTest::qWaitFor([&] { return send->isEnabled() && routes.sendButton()->isEnabled(); }, kWaitMs));
    EXPECT_EQ(m_window->settingsRead(), 1) << "the settings read was not disturbed";
    EXPECT_FALSE(m_window->isReading());
    send->trigger();
    // While it is sent the entries are off again.
    EXPECT_FALSE(routes.sendButton()->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim->waypoints().size() == 4; }, kWaitMs));
    ASSERT_TRUE(waitUntilIdle());
    ASSERT_TRUE(QTest::qWaitFor([&] { return routes.sendButton()->isEnabled(); }, kWaitMs));
}

TEST_F(DeviceSend, AWriteTheInstrumentLeavesUnansweredIsReportedNotPassedOff)
{
    const auto sim = plugInReadInstrument();
    ASSERT_NE(sim, nullptr);

    ObjectContext* global = m_global->mainContext();
    storeWaypoints(global);
    auto interaction = std::make_unique<QuietWaypointInteraction>();
    QuietWaypointInteraction* alerts = interaction.get();
    WaypointWindowController waypoints(global, WaypointServices{}, std::move(interaction),
                                       std::make_unique<NoPosition>());
    waypoints.windowDidLoad();
    waypoints.setInstrumentSend(m_window->instrumentSend());
    waypoints.show();
    waypoints.setSelectedWaypoints(waypoints.waypointList());
    QAction* send = waypoints.findChild<QAction*>(QStringLiteral("sendToDevice"));
    ASSERT_NE(send, nullptr);

    // A full instrument keeps quiet: the first point fails and the second is not tried.
    sim->setWaypointReply(sim::BraeunigerSim::WaypointReply::Full);
    ASSERT_TRUE(send->isEnabled());
    send->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !alerts->alerts.isEmpty(); }, kWaitMs));
    const QString tried = triedName(*sim);
    ASSERT_FALSE(tried.isEmpty()) << "the send stopped at the first failure";
    EXPECT_EQ(alerts->alerts.first(), QStringLiteral("The waypoints could not be sent to the instrument.|"
                                                     "The instrument did not answer when the waypoint \"%1\" "
                                                     "was written.")
                                          .arg(tried));
    EXPECT_EQ(sim->waypoints().size(), 2u);

    // Still quiet for a route point: the route is not written and the route window says so.
    ASSERT_TRUE(waitUntilIdle());
    Route* route = storedRoute(global, QStringLiteral("Ridge"), QStringLiteral("Lande"));
    RouteWindowController routes(global);
    routes.setInstrumentSend(m_window->instrumentSend());
    routes.show();
    routes.selectRoute(route);
    auto* status = routes.findChild<QLabel*>(QStringLiteral("sendStatus"));
    ASSERT_NE(status, nullptr);
    ASSERT_TRUE(routes.sendButton()->isEnabled());
    QTest::mouseClick(routes.sendButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return status->text().contains(QStringLiteral("could not be sent")); }, kWaitMs))
        << status->text().toStdString();
    EXPECT_TRUE(status->text().contains(QStringLiteral("did not answer when the waypoint \"Grat\" was written")))
        << status->text().toStdString();
    EXPECT_EQ(sentences(*sim, "$PBRRTR"), 0u);
    EXPECT_TRUE(sim->routes().empty());
}

TEST_F(DeviceSend, WithoutAnInstrumentTheSendSaysNoDeviceConnected)
{
    ASSERT_TRUE(loadAndScan());
    InstrumentSendResult result;
    m_window->instrumentSend().sendWaypoints({DeviceWayPoint{}}, [&](const InstrumentSendResult& r) { result = r; });
    EXPECT_FALSE(result.sent);
    EXPECT_EQ(result.error, QStringLiteral("No device connected"));
    m_window->instrumentSend().sendRoute(RouteToWrite{}, [&](const InstrumentSendResult& r) { result = r; });
    EXPECT_EQ(result.error, QStringLiteral("No device connected"));
}

} // namespace
} // namespace kalvora::test
