#include "logbook/flightdata.h"

#include <QString>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include "logbook/waypointfinder.h"
#include "services/httpclient.h"
#include "support/httpserver.h"
#include "support/testdata.h"
#include "track/placefinder.h"
#include "waypoints/placefinderlookup.h"
#include "waypoints/timezonefinder.h"

using namespace kalvora;
using kalvora::test::HttpServerRequest;
using kalvora::test::HttpServerResponse;
using kalvora::test::LocalHttpServer;

namespace {

QString igcText(const char* name)
{
    return QString::fromLatin1(QByteArray::fromStdString(test::readFile(test::igcPath(name))));
}

/** A synthetic track: 10 s fixes flying north at about 36 km/h from START (seconds of the day). */
QString syntheticIGC(int startS, int fixes, const char* date = "HFDTE150624")
{
    QString text = QStringLiteral("AXXX001\r\n%1\r\nHFGTYGLIDERTYPE:Test\r\n").arg(QLatin1String(date));
    for (int i = 0; i < fixes; ++i) {
        const int t = (startS + i * 10) % 86400;
        const int lat = 4707000 + i * 54; // thousandths of minutes: 54 per 10 s is 100 m
        text += QStringLiteral("B%1%2%3%4N01122000EA%5%6\r\n")
                    .arg(t / 3600, 2, 10, QLatin1Char('0'))
                    .arg(t % 3600 / 60, 2, 10, QLatin1Char('0'))
                    .arg(t % 60, 2, 10, QLatin1Char('0'))
                    .arg(lat, 7, 10, QLatin1Char('0'))
                    .arg(1500 - i, 5, 10, QLatin1Char('0'))
                    .arg(1500 - i, 5, 10, QLatin1Char('0'));
    }
    return text;
}

/** The two services on loopback: a fixed place name everywhere, UTC+1 with daylight saving. */
struct FakeServices
{
    LocalHttpServer server{[](const HttpServerRequest& request) {
        if (request.path.startsWith("/timezone/"))
            return HttpServerResponse{200, "text/xml", "<timezone><offset>1</offset><dst>True</dst></timezone>"};
        return HttpServerResponse{200, "text/xml",
                                  "<addressparts><city>Innsbruck</city><state>Tirol</state>"
                                  "<country>Austria</country></addressparts>"};
    }};
    PlaceFinderLookup lookup{defaultHttpClient(), server.baseUrl(), server.baseUrl()};
};

/** A place DISTANCE metres north of (latitude, longitude) [deg], as a waypoint stores it. */
StoredPlace placeNorthOf(double latitude, double longitude, double distanceM, QString name, QString country)
{
    const auto lat = static_cast<qint64>(latitude * 1e6 + distanceM / 111194.93 * 1e6);
    return StoredPlace{std::move(name), std::move(country), lat, static_cast<qint64>(longitude * 1e6)};
}

FlightData offlineData(const QString& igc)
{
    FlightData data;
    EXPECT_TRUE(getDataFromIGC(data, igc, {}));
    return data;
}

bool haveZoneinfo()
{
    return TimeZoneFinder::system().zoneCount() > 0 && QTimeZone(QByteArray("Europe/Brussels")).isValid();
}

TEST(FlightData, TakesAnalysisValuesAndLeavesPlacesEmptyOffline)
{
    KALVORA_REQUIRE_TESTDATA();
    const QString igc = igcText("marcourt.igc");
    FlightData data;
    data.glidertype = 3;
    FlightDataSources sources;
    sources.lastFlightGliderType = 2;
    sources.lastUsedGlider = QStringLiteral("Mentor 7, Nova");
    ASSERT_TRUE(getDataFromIGC(data, igc, sources));
    EXPECT_EQ(data.igcData, igc);
    EXPECT_TRUE(data.startUTC.isValid());
    EXPECT_GT(data.landingUTC, data.startUTC);
    EXPECT_TRUE(data.startLatitude.has_value());
    EXPECT_TRUE(data.maxAltitude.has_value());
    EXPECT_GE(*data.maxAltitude, *data.minAltitude);
    EXPECT_FALSE(data.startLocation.has_value());
    EXPECT_FALSE(data.landingLocation.has_value());
    // Belgium on 6 March 2021, before the clocks went forward.
    if (haveZoneinfo()) {
        EXPECT_EQ(data.utcOffset, 1.0);
    }
    EXPECT_EQ(data.glidertype, 2);
    EXPECT_EQ(data.glider, QStringLiteral("Mentor 7, Nova"));
    EXPECT_FALSE(data.harness.has_value());
}

TEST(FlightData, NearestWaypointNamesThePlaceAndTheServiceGivesTheOffset)
{
    KALVORA_REQUIRE_TESTDATA();
    const QString igc = igcText("marcourt.igc");
    const FlightData plain = offlineData(igc);
    FakeServices services;

    struct Case
    {
        const char* name;
        double distanceM;
        const char* country;
        std::optional<QString> expectedStart;
        bool waypointCoordinates;
    };
    const Case cases[] = {
        {"Within250m", 200, "BE", QStringLiteral("Marcourt, BE"), true},
        {"WithoutCountry", 200, "", QStringLiteral("Marcourt"), true},
        {"Beyond250m", 260, "BE", QStringLiteral("Innsbruck, Tirol, Austria"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const StoredPlace place = placeNorthOf(*plain.startLatitude, *plain.startLongitude, c.distanceM,
                                               QStringLiteral("Marcourt"), QString::fromLatin1(c.country));
        const qint64 distance = PlaceFinder::gpsDistance(*plain.startLatitude * 1e6, *plain.startLongitude * 1e6,
                                                         static_cast<double>(place.latitudeE6),
                                                         static_cast<double>(place.longitudeE6));
        ASSERT_NEAR(static_cast<double>(distance), c.distanceM, 2);
        // A landing field beside the landing spares a third look-up per case.
        const StoredPlace field = placeNorthOf(*plain.landingLatitude, *plain.landingLongitude, 30,
                                               QStringLiteral("Landeplatz"), QString());
        WaypointListFinder waypoints({place, field});
        FlightDataSources sources;
        sources.waypoints = &waypoints;
        sources.placeFinder = &services.lookup;
        FlightData data;
        ASSERT_TRUE(getDataFromIGC(data, igc, sources));
        EXPECT_EQ(data.startLocation, c.expectedStart);
        EXPECT_EQ(data.startWaypointLatitude.has_value(), c.waypointCoordinates);
        if (c.waypointCoordinates) {
            EXPECT_EQ(*data.startWaypointLatitude, static_cast<double>(place.latitudeE6));
        }
        // The offset always comes from the take-off position.
        EXPECT_EQ(data.utcOffset, 2.0);
        EXPECT_EQ(data.landingLocation, QStringLiteral("Landeplatz"));
    }
}

TEST(FlightData, OfflineTheOffsetIsTheOneInForceOnTheDayOfTheFlight)
{
    if (!haveZoneinfo())
        GTEST_SKIP() << "no time-zone database under /usr/share/zoneinfo; skipping";
    // Near Innsbruck at 12:00 UTC: summer time in June, not in January.
    EXPECT_EQ(offlineData(syntheticIGC(12 * 3600, 60, "HFDTE150624")).utcOffset, 2.0);
    EXPECT_EQ(offlineData(syntheticIGC(12 * 3600, 60, "HFDTE150124")).utcOffset, 1.0);

    // Without a readable zone table there is no offset, and no failure.
    QTemporaryDir dir;
    const TimeZoneFinder noTable({dir.filePath("missing.tab")});
    FlightDataSources sources;
    sources.timeZones = &noTable;
    FlightData data;
    ASSERT_TRUE(getDataFromIGC(data, syntheticIGC(12 * 3600, 60), sources));
    EXPECT_FALSE(data.utcOffset.has_value());
    EXPECT_TRUE(data.startUTC.isValid());
}

TEST(FlightData, WithoutATimeZoneServiceTheReverseAnswersCountryAndTheDateGiveTheOffset)
{
    if (!haveZoneinfo())
        GTEST_SKIP() << "no time-zone database under /usr/share/zoneinfo; skipping";
    LocalHttpServer nominatim([](const HttpServerRequest&) {
        return HttpServerResponse{200, "text/xml",
                                  "<addressparts><city>Innsbruck</city><state>Tirol</state>"
                                  "<country>Austria</country><country_code>at</country_code></addressparts>"};
    });
    const PlaceFinderLookup lookup(defaultHttpClient(), nominatim.baseUrl(), QUrl());
    FlightDataSources sources;
    sources.placeFinder = &lookup;
    FlightData data;
    ASSERT_TRUE(getDataFromIGC(data, syntheticIGC(12 * 3600, 60, "HFDTE150124"), sources));
    EXPECT_EQ(data.startLocation, QStringLiteral("Innsbruck, Tirol, Austria"));
    EXPECT_EQ(data.utcOffset, 1.0);
    // Take-off and landing were named; no time-zone request was sent.
    const auto requests = nominatim.requests();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[0].path, "/reverse");
    EXPECT_EQ(requests[1].path, "/reverse");
}

TEST(FlightData, RejectsTextWithoutAFlightAndKeepsTheRecord)
{
    FlightData data;
    data.notice = QStringLiteral("keep me");
    for (const QString& text : {QString(), QStringLiteral("not an igc file"), QStringLiteral("HFDTE010124\r\n")}) {
        EXPECT_FALSE(getDataFromIGC(data, text, {}));
        EXPECT_EQ(data.notice, QStringLiteral("keep me"));
    }
}

TEST(FlightData, TheRecordersGliderNameWinsOverTheLastUsedOne)
{
    FlightDataSources sources;
    sources.lastUsedGlider = QStringLiteral("Mentor 7, Nova");
    const QString track = syntheticIGC(10 * 3600, 181);
    const struct
    {
        const char* header;
        const char* glider;
    } cases[] = {
        {"HFGTYGLIDERTYPE:OZONE Zeno ", "OZONE Zeno"},
        {"hfgtygLIDERTYPE:Mac Eden 7", "Mac Eden 7"},
        {"HFGTYGLIDERTYPE: not set", "Mentor 7, Nova"}, // a recorder's "nothing" is no glider name
        {"HFGTYGLIDERTYPE: None", "Mentor 7, Nova"},
        {"HFGTYGLIDERTYPE:", "Mentor 7, Nova"},
    };
    for (const auto& c : cases) {
        QString text = track;
        text.replace(QStringLiteral("HFGTYGLIDERTYPE:Test"), QLatin1String(c.header));
        FlightData data;
        ASSERT_TRUE(getDataFromIGC(data, text, sources)) << c.header;
        EXPECT_EQ(data.glider, QLatin1String(c.glider)) << c.header;
    }
}

TEST(FlightData, FlightAcrossMidnightLandsAfterItsTakeOff)
{
    // 23:50 to 00:20 UTC; taking both instants on the date record's day would
    // put the landing 23.5 h before the take-off.
    FlightData data;
    ASSERT_TRUE(getDataFromIGC(data, syntheticIGC(23 * 3600 + 50 * 60, 181), {}));
    ASSERT_TRUE(data.startUTC.isValid());
    ASSERT_TRUE(data.landingUTC.isValid());
    EXPECT_GT(data.landingUTC, data.startUTC);
    EXPECT_LT(data.startUTC.secsTo(data.landingUTC), 3600);
}

TEST(FlightData, TrackFromAnInstrumentThatGivesNoIGCLeavesTheRecordAlone)
{
    struct Source final : IGCTrackSource
    {
        std::optional<QString> text;
        std::optional<QString> igcTrack() override { return text; }
    };
    Source none;
    FlightData data;
    data.notice = QStringLiteral("untouched");
    EXPECT_FALSE(getDataFromGPSTrack(data, none, {}));
    EXPECT_EQ(data.notice, QStringLiteral("untouched"));

    Source some;
    some.text = syntheticIGC(12 * 3600, 60);
    EXPECT_TRUE(getDataFromGPSTrack(data, some, {}));
    EXPECT_FALSE(data.notice.has_value());
}

} // namespace
