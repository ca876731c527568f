#include "waypoints/placefinderlookup.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <thread>

#include "services/httpclient.h"
#include "support/httpserver.h"
#include "waypoints/timezonefinder.h"

using namespace kalvora;
using kalvora::test::HttpServerRequest;
using kalvora::test::HttpServerResponse;
using kalvora::test::LocalHttpServer;

namespace {

const QByteArray innsbruckAnswer = QByteArray(R"(<?xml version="1.0" encoding="UTF-8"?>
<reversegeocode timestamp="Sun, 06 Dec 26 12:00:00 +0000" querystring="format=xml&amp;lat=47.262&amp;lon=11.394">
<result place_id="1" osm_type="way" lat="47.2623" lon="11.3947">Maria-Theresien-Stra&#223;e, Innsbruck, Tirol, 6020, &#214;sterreich</result>
<addressparts><road>Maria-Theresien-Straße</road><city>Innsbruck</city><county>Innsbruck</county>
<state>Tirol</state><ISO3166-2-lvl4>AT-7</ISO3166-2-lvl4><postcode>6020</postcode><country>Österreich</country>
<country_code>at</country_code></addressparts></reversegeocode>)");

QByteArray timezoneAnswer(const char* offset, const char* dst)
{
    return QByteArray(R"(<?xml version="1.0" encoding="ISO-8859-1" ?><timezone><version>1.1</version>)"
                      "<location><latitude>47.2623</latitude><longitude>11.3947</longitude></location><offset>")
           + offset + "</offset><suffix>A</suffix><dst>" + dst + "</dst></timezone>";
}

struct AnswerCase
{
    const char* name;
    QByteArray answer;
    QString locationName;
    double utcOffset;
};

class ReadAnswer : public ::testing::TestWithParam<AnswerCase>
{
};

TEST_P(ReadAnswer, GivesNameAndOffset)
{
    PlaceLookupResult result;
    PlaceFinderLookup::readAnswer(GetParam().answer, result);
    EXPECT_EQ(result.locationName, GetParam().locationName);
    EXPECT_DOUBLE_EQ(result.utcOffset, GetParam().utcOffset);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ReadAnswer,
    ::testing::Values(
        AnswerCase{"Innsbruck", innsbruckAnswer, QStringLiteral("Innsbruck, Tirol, Österreich"), 0},
        AnswerCase{"DaylightSaving", timezoneAnswer("1", "True"), {}, 2},
        AnswerCase{"NoDaylightSaving", timezoneAnswer("1", "False"), {}, 1},
        AnswerCase{"FlagOnlyExactTrue", timezoneAnswer("1", "true"), {}, 1},
        AnswerCase{"FractionalOffset", timezoneAnswer("5.75", "Unknown"), {}, 5.75},
        AnswerCase{"NegativeOffset", timezoneAnswer("-3.5", "False"), {}, -3.5},
        AnswerCase{"UpperCaseTags", "<CITY>Lienz</CITY><COUNTRY>Austria</COUNTRY>", QStringLiteral("Lienz, Austria"), 0},
        AnswerCase{"StateEqualsCountyKept", "<county>Tirol</county><state>Tirol</state>", QStringLiteral("Tirol"), 0},
        AnswerCase{"EmptyValueIgnored", "<city></city><country>Italia</country>", QStringLiteral("Italia"), 0},
        AnswerCase{"Entities", "<city>Bad T&amp;lz</city>", QStringLiteral("Bad T&lz"), 0},
        AnswerCase{"ClosingBeforeOpening", "</city>x<city>Innsbruck", QString(), 0},
        AnswerCase{"UnclosedTag", "<city>Innsbruck<country>", QString(), 0},
        AnswerCase{"TruncatedXml", innsbruckAnswer.left(300), QString(), 0},
        AnswerCase{"Empty", QByteArray(), QString(), 0},
        AnswerCase{"NotANumberOffset", timezoneAnswer("abc", "False"), {}, 0},
        AnswerCase{"HtmlErrorPage", "<html><body>502 Bad Gateway</body></html>", QString(), 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadAnswer, CountryCodeIsKeptApartFromTheName)
{
    PlaceLookupResult result;
    PlaceFinderLookup::readAnswer(innsbruckAnswer, result);
    EXPECT_EQ(result.countryCode, QStringLiteral("at"));
    EXPECT_EQ(result.country, QStringLiteral("Österreich"));

    PlaceLookupResult none;
    PlaceFinderLookup::readAnswer("<country>Italia</country><country_code></country_code>", none);
    EXPECT_FALSE(none.countryCode.has_value());
    EXPECT_EQ(none.locationName, QStringLiteral("Italia"));
}

TEST(ReadAnswer, NonUtf8BytesDoNotBreakTheName)
{
    PlaceLookupResult result;
    PlaceFinderLookup::readAnswer(QByteArray("<city>M\xfcnchen</city><country>\xff\xfe</country>"), result);
    ASSERT_TRUE(result.city.has_value());
    EXPECT_TRUE(result.city->startsWith(u'M'));
    EXPECT_TRUE(result.city->endsWith(QStringLiteral("nchen")));
    EXPECT_TRUE(result.locationName.contains(QStringLiteral(", ")));
}

TEST(ReadAnswer, PlaceNamesAreCleanedAndBounded)
{
    PlaceLookupResult result;
    PlaceFinderLookup::readAnswer("<addressparts><city>Inns\x01"
                                  "bruck\r\n\x1b[31m</city><state>Ti&#10;rol&#8232;"
                                  "</state><country>" + QByteArray(5000, 'A') + "</country><county>\x07</county>"
                                  "</addressparts>",
                                  result);
    EXPECT_EQ(result.city, QStringLiteral("Inns bruck [31m"));
    EXPECT_EQ(result.state, QStringLiteral("Ti rol"));
    EXPECT_FALSE(result.county); // nothing left but a control character
    ASSERT_TRUE(result.country);
    EXPECT_EQ(result.country->size(), PlaceFinderLookup::maxPlaceNameLength);
    EXPECT_LE(result.locationName.size(), PlaceFinderLookup::maxPlaceNameLength);
    for (const QChar c : result.locationName)
        EXPECT_NE(c.category(), QChar::Other_Control);

    // A cut never leaves half a character behind.
    PlaceLookupResult emoji;
    QByteArray faces;
    for (int i = 0; i < 150; ++i)
        faces += "\xF0\x9F\x98\x80";
    PlaceFinderLookup::readAnswer("<city>" + faces + "</city>", emoji);
    ASSERT_TRUE(emoji.city);
    EXPECT_LE(emoji.city->size(), PlaceFinderLookup::maxPlaceNameLength);
    EXPECT_FALSE(emoji.city->back().isHighSurrogate());
}

TEST(PlaceFinderRequests, CarryTheServicesPathsAndSixDecimals)
{
    const auto reverse = PlaceFinderLookup::reverseRequest(QUrl("http://127.0.0.1:1/nominatim/"), 47.2623, -11.5);
    EXPECT_EQ(reverse.url.toString(),
              "http://127.0.0.1:1/nominatim/reverse?format=xml&lat=47.262300&lon=-11.500000&zoom=18&addressdetails=1");
    EXPECT_EQ(reverse.timeoutMs, 3000);
    const auto timezone = PlaceFinderLookup::timezoneRequest(QUrl("http://127.0.0.1:1"), -33.5, 151.25);
    EXPECT_EQ(timezone.url.toString(), "http://127.0.0.1:1/timezone/-33.500000/151.250000");
    EXPECT_EQ(timezone.timeoutMs, 3000);
}

/** Answers like the two services; each path's behaviour can be changed per test. */
struct FakeServices
{
    HttpServerResponse reverse{200, "text/xml; charset=utf-8", innsbruckAnswer};
    HttpServerResponse timezone{200, "text/xml", timezoneAnswer("1", "True")};
    LocalHttpServer server{[this](const HttpServerRequest& request) {
        return request.path.startsWith("/timezone/") ? timezone : reverse;
    }};
    PlaceFinderLookup lookup() { return PlaceFinderLookup(defaultHttpClient(), server.baseUrl(), server.baseUrl()); }
};

TEST(PlaceFinderLookup, AsksBothServicesAndCombinesTheAnswers)
{
    FakeServices services;
    const auto result = services.lookup().lookup(47262300, 11394700);
    EXPECT_EQ(result.locationName, QStringLiteral("Innsbruck, Tirol, Österreich"));
    EXPECT_DOUBLE_EQ(result.utcOffset, 2);
    EXPECT_DOUBLE_EQ(result.latitude, 47.2623);

    const auto requests = services.server.requests();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[0].path, "/reverse");
    EXPECT_EQ(requests[0].query.queryItemValue("lat"), "47.262300");
    EXPECT_EQ(requests[0].query.queryItemValue("lon"), "11.394700");
    EXPECT_EQ(requests[0].query.queryItemValue("format"), "xml");
    EXPECT_EQ(requests[1].path, "/timezone/47.262300/11.394700");
    // Nominatim's usage policy requires an identifying User-Agent.
    EXPECT_TRUE(requests[0].headers.value("user-agent").startsWith("Kalvora/"));
}

TEST(PlaceFinderLookup, AConfiguredTimeZoneServiceIsAskedEvenWhenTheDateIsKnown)
{
    FakeServices services;
    const QDateTime january(QDate(2024, 1, 15), QTime(12, 0), QTimeZone::utc());
    const auto result = services.lookup().lookup(47262300, 11394700, january);
    EXPECT_DOUBLE_EQ(result.utcOffset, 2); // the service's answer, not winter time
    EXPECT_EQ(services.server.requests().size(), 2);
}

TEST(PlaceFinderLookup, WithoutATimeZoneServiceTheCountryAndDateGiveTheOffset)
{
    if (TimeZoneFinder::system().zoneCount() == 0 || !QTimeZone(QByteArray("Europe/Vienna")).isValid())
        GTEST_SKIP() << "no time-zone database under /usr/share/zoneinfo; skipping";
    FakeServices services;
    const PlaceFinderLookup lookup(defaultHttpClient(), services.server.baseUrl(), QUrl());
    const QDateTime july(QDate(2024, 7, 15), QTime(12, 0), QTimeZone::utc());
    const QDateTime january(QDate(2024, 1, 15), QTime(12, 0), QTimeZone::utc());

    const auto summer = lookup.lookup(47262300, 11394700, july);
    EXPECT_EQ(summer.locationName, QStringLiteral("Innsbruck, Tirol, Österreich"));
    EXPECT_TRUE(summer.hasUtcOffset);
    EXPECT_DOUBLE_EQ(summer.utcOffset, 2);
    const auto winter = lookup.lookup(47262300, 11394700, january);
    EXPECT_DOUBLE_EQ(winter.utcOffset, 1);
    // Without an instant (the waypoint importer's address look-up) no offset is made up.
    EXPECT_FALSE(lookup.lookup(47262300, 11394700).hasUtcOffset);

    // Only the reverse service was asked.
    const auto requests = services.server.requests();
    ASSERT_EQ(requests.size(), 3);
    for (const auto& request : requests)
        EXPECT_EQ(request.path, "/reverse");

    // The country code outweighs distance: through a table of two rows, an
    // answer naming Nepal selects Kathmandu over the nearer Vienna.
    QTemporaryDir dir;
    QFile table(dir.filePath("zone1970.tab"));
    ASSERT_TRUE(table.open(QIODevice::WriteOnly));
    table.write("AT\t+4813+01620\tEurope/Vienna\nNP\t+2743+08519\tAsia/Kathmandu\n");
    table.close();
    const TimeZoneFinder twoZones({table.fileName()});
    const PlaceFinderLookup narrowed(defaultHttpClient(), services.server.baseUrl(), QUrl(), twoZones);
    services.reverse.body =
        "<addressparts><country>Nepal</country><country_code>np</country_code></addressparts>";
    EXPECT_DOUBLE_EQ(narrowed.lookup(47262300, 11394700, july).utcOffset, 5.75);
    // No answer, no country: the nearest zone.
    services.reverse.status = 503;
    const auto unnamed = narrowed.lookup(47262300, 11394700, july);
    EXPECT_TRUE(unnamed.locationName.isEmpty());
    EXPECT_DOUBLE_EQ(unnamed.utcOffset, 2);
}

TEST(PlaceFinderLookup, ASlowServiceIsGivenUpAfterThreeSeconds)
{
    FakeServices services;
    services.reverse.delayMs = 6000;
    QElapsedTimer timer;
    timer.start();
    const auto result = services.lookup().lookup(47262300, 11394700);
    EXPECT_LT(timer.elapsed(), 4500);
    EXPECT_TRUE(result.locationName.isEmpty());
    EXPECT_DOUBLE_EQ(result.utcOffset, 2); // the time-zone service still answered
}

TEST(PlaceFinderLookup, FailingServicesLeaveTheFieldsEmpty)
{
    struct Case
    {
        const char* name;
        HttpServerResponse answer;
    };
    const Case cases[] = {
        {"ServerError", {500, "text/plain", "<city>Wrong</city><offset>3</offset>"}},
        {"DroppedConnection", {200, "text/xml", innsbruckAnswer, 0, true}},
        {"Malformed", {200, "text/xml", "<reversegeocode><city>Innsbr"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeServices services;
        services.reverse = c.answer;
        services.timezone = c.answer;
        const auto result = services.lookup().lookup(47262300, 11394700);
        EXPECT_TRUE(result.locationName.isEmpty());
        EXPECT_DOUBLE_EQ(result.utcOffset, 0);
        EXPECT_FALSE(result.hasUtcOffset);
    }
}

TEST(PlaceFinderLookup, AFailingTimeZoneServiceLeavesTheOffsetToTheZoneDatabase)
{
    if (TimeZoneFinder::system().zoneCount() == 0 || !QTimeZone(QByteArray("Europe/Vienna")).isValid())
        GTEST_SKIP() << "no time-zone database under /usr/share/zoneinfo; skipping";
    FakeServices services;
    services.timezone.status = 503;
    const QDateTime july(QDate(2024, 7, 15), QTime(12, 0), QTimeZone::utc());
    const QDateTime january(QDate(2024, 1, 15), QTime(12, 0), QTimeZone::utc());
    const PlaceFinderLookup lookup = services.lookup();
    const auto summer = lookup.lookup(47262300, 11394700, july);
    EXPECT_TRUE(summer.hasUtcOffset);
    EXPECT_DOUBLE_EQ(summer.utcOffset, 2);
    EXPECT_DOUBLE_EQ(lookup.lookup(47262300, 11394700, january).utcOffset, 1);
}

TEST(PlaceFinderLookup, ServicesFailingAgainAndAgainAreNotAskedForTheRestOfTheRun)
{
    // An answer without end is cut at the cap and counts as a failure.
    FakeServices services;
    services.reverse.endlessBody = true;
    services.timezone.status = 503;
    const PlaceFinderLookup lookup = services.lookup();
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 10; ++i) {
        const auto result = lookup.lookup(47262300, 11394700);
        EXPECT_TRUE(result.unanswered);
        EXPECT_TRUE(result.locationName.isEmpty());
    }
    EXPECT_TRUE(lookup.hasGivenUp());
    // Three look-ups were tried (the third without its time-zone request); the
    // other seven neither asked nor waited for their turn.
    EXPECT_EQ(services.server.requestCount(), 5);
    EXPECT_LT(timer.elapsed(), 6000);

    // A new run asks again, and an answer resets the count.
    services.reverse = {200, "text/xml; charset=utf-8", innsbruckAnswer};
    lookup.resetFailures();
    const auto answered = lookup.lookup(47262300, 11394700);
    EXPECT_FALSE(answered.unanswered);
    EXPECT_EQ(answered.locationName, QStringLiteral("Innsbruck, Tirol, Österreich"));
    EXPECT_FALSE(lookup.hasGivenUp());
}

TEST(PlaceFinderLookup, AClosedPortFailsAtOnce)
{
    const QUrl closed = LocalHttpServer::closedPortUrl();
    QElapsedTimer timer;
    timer.start();
    const auto result = PlaceFinderLookup(defaultHttpClient(), closed, closed).lookup(47262300, 11394700);
    EXPECT_LT(timer.elapsed(), 2500);
    EXPECT_TRUE(result.locationName.isEmpty());
    EXPECT_DOUBLE_EQ(result.utcOffset, 0);
}

TEST(PlaceFinderLookup, LookupsOfTheProcessAreOneSecondApart)
{
    PlaceFinderLookup::pace();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    QElapsedTimer timer;
    timer.start();
    const auto waited = PlaceFinderLookup::pace();
    EXPECT_NEAR(static_cast<double>(timer.elapsed()), 800, 150);
    EXPECT_NEAR(static_cast<double>(waited.count()), 800, 150);

    // Two threads asking at once get slots one second apart, not the same one.
    QElapsedTimer both;
    both.start();
    std::thread other([] { PlaceFinderLookup::pace(); });
    PlaceFinderLookup::pace();
    other.join();
    EXPECT_GE(both.elapsed(), 1800);
}

} // namespace

namespace {

TEST(PlaceFinderAddressLookup, GivesTheAddressPartsOrNothing)
{
    FakeServices services;
    const PlaceFinderLookup lookup = services.lookup();
    PlaceFinderAddressLookup adapter(lookup);
    const auto address = adapter.lookup(47262300, 11394700);
    ASSERT_TRUE(address.has_value());
    EXPECT_EQ(*address, (WaypointAddress{"Innsbruck", "Innsbruck", "Tirol", QStringLiteral("Österreich")}));

    services.reverse.status = 404;
    EXPECT_FALSE(adapter.lookup(47262300, 11394700).has_value());
}

} // namespace
