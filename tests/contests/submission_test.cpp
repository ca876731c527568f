#include <QJsonDocument>

#include <gtest/gtest.h>

#include "contestflight.h"
#include "contests/contestservice.h"
#include "contests/dhvxc.h"
#include "contests/xcontest.h"
#include "contestserver.h"
#include "services/httpclient.h"

namespace kalvora {
namespace {

using test::ContestServer;
using test::kApiKey;
using test::kApiSecret;
using test::kContestPassword;
using test::kContestUser;
using test::sampleFlight;

TEST(FormEncoding, EveryByteThatIsNotPlainIsEscaped)
{
    const struct
    {
        QByteArray value;
        QByteArray encoded;
    } cases[] = {
        {"x&klasse=5", "x%26klasse%3D5"},
        {"a b+c", "a+b%2Bc"},
        {QStringLiteral("Grüße").toUtf8(), "Gr%C3%BC%C3%9Fe"},
        {"line\r\nnext%", "line%0D%0Anext%25"},
        {"safe-._*", "safe-._*"},
        {"\xE9", "%E9"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formUrlEncoded({{"v", c.value}}), "v=" + c.encoded) << c.value.constData();
    EXPECT_EQ(formUrlEncoded({{"a b", "1"}, {"c", ""}}), "a+b=1&c=");
}

TEST(DHVXCLists, CategoriesFollowTheClassAndManufacturersAreSorted)
{
    const QList<dhvxc::Category> tandem = dhvxc::categoriesForClass(5);
    ASSERT_EQ(tandem.size(), 2);
    EXPECT_EQ(tandem[0], (dhvxc::Category{QStringLiteral("LTF 1"), 1}));
    EXPECT_EQ(tandem[1], (dhvxc::Category{QStringLiteral("LFT A"), 32}));
    EXPECT_EQ(dhvxc::categoriesForClass(0).size(), 10); // all but the empty entry
    EXPECT_EQ(dhvxc::categoriesForClass(0).last().tag, 1024);
    EXPECT_EQ(dhvxc::categoriesForClass(2).size(), 9);
    EXPECT_EQ(dhvxc::categoriesForClass(3).size(), 6);
    EXPECT_EQ(dhvxc::categoriesForClass(7).size(), 4);
    EXPECT_TRUE(dhvxc::categoriesForClass(9).isEmpty());

    const QList<dhvxc::Manufacturer> makers = dhvxc::manufacturerChoices(QStringLiteral("Other"));
    ASSERT_EQ(makers.size(), 68);
    EXPECT_EQ(makers.last(), (dhvxc::Manufacturer{QStringLiteral("Other"), -1}));
    for (qsizetype i = 1; i + 1 < makers.size(); ++i)
        EXPECT_LE(makers[i - 1].name.compare(makers[i].name, Qt::CaseInsensitive), 0) << makers[i].name.toStdString();
    const auto ozone = std::find_if(makers.begin(), makers.end(),
                                    [](const auto& m) { return m.name == QLatin1String("Ozone"); });
    ASSERT_NE(ozone, makers.end());
    EXPECT_EQ(ozone->id, 19);
}

TEST(GliderModel, TakenUpToSizeOrColour)
{
    EXPECT_EQ(gliderModelOf(QStringLiteral("Rush 5 (M), blue"), true), QStringLiteral("Rush 5"));
    EXPECT_EQ(gliderModelOf(QStringLiteral("Rush 5, blue"), true), QStringLiteral("Rush 5"));
    EXPECT_EQ(gliderModelOf(QStringLiteral("Rush 5, blue"), false), QStringLiteral("Rush 5, blue"));
    EXPECT_EQ(gliderModelOf(QStringLiteral("Mentor 7"), true), QStringLiteral("Mentor 7"));
}

TEST(XContestValues, CodesDigestsAndErrorMessages)
{
    EXPECT_EQ(xcontest::categoryCode(4), QStringLiteral("Z"));
    EXPECT_EQ(xcontest::categoryCode(6), QString());
    EXPECT_EQ(xcontest::classCode(5), QStringLiteral("12"));
    EXPECT_EQ(xcontest::sha1Hex(QStringLiteral("abc")), QStringLiteral("a9993e364706816aba3e25717850c26c9cd0d89d"));
    EXPECT_EQ(xcontest::md5Hex("abc"), QStringLiteral("900150983cd24fb0d6963f7d28e17f72"));
    EXPECT_EQ(xcontest::loginHash(QStringLiteral("SeCrEt"), QStringLiteral("t"), QStringLiteral("k"), QStringLiteral("s")),
              xcontest::loginHash(QStringLiteral("secret"), QStringLiteral("t"), QStringLiteral("k"), QStringLiteral("s")));
    EXPECT_EQ(xcontest::urlEncode(QStringLiteral("me@x.org /ü")), QStringLiteral("me%40x.org%20%2F%C3%BC"));

    const auto error = [](const char* json) {
        return xcontest::errorFromJson(QJsonDocument::fromJson(json).isArray()
                                           ? QJsonValue(QJsonDocument::fromJson(json).array())
                                           : QJsonValue(QJsonDocument::fromJson(json).object()));
    };
    EXPECT_EQ(error(R"({"error":{"message":"Bad ticket"}})"), QStringLiteral("Bad ticket"));
    EXPECT_EQ(error(R"({"error":{"code":5}})"), QString()); // an error, though without words
    EXPECT_EQ(error(R"({"errors":1,"messages":[{"label":"Flight exists"},{"label":"x"}]})"),
              QStringLiteral("Flight exists"));
    EXPECT_EQ(error(R"({"a":1,"b":[{"c":2},{"error":{"message":"deep"}}]})"), QStringLiteral("deep"));
    EXPECT_EQ(error(R"({"flight":{"id":1}})"), std::nullopt);
    EXPECT_EQ(error(R"([{"ok":1},{"errors":1,"messages":[{"label":"L"}]}])"), QStringLiteral("L"));
}

TEST(XContestValues, FlightValuesFollowTheSwitches)
{
    xcontest::Form form;
    form.categoryIndex = 4;
    form.gliderName = QStringLiteral("Rush 5");
    form.takeoffName = QStringLiteral("Brauneck");
    ContestFlight flight = sampleFlight();
    auto values = xcontest::flightValues(form, flight);
    QStringList keys;
    for (const auto& [key, value] : values)
        keys << key;
    EXPECT_EQ(keys, (QStringList{"is_active", "class", "glider_name", "glider_catg", "country", "takeoff_name",
                                 "comment"}));
    EXPECT_EQ(values[3].second, QStringLiteral("Z"));
    EXPECT_EQ(values[4].second, QStringLiteral("Germany"));

    flight.startLocation = QStringLiteral("Brauneck");
    flight.notice.clear();
    form.activate = false;
    values = xcontest::flightValues(form, flight);
    keys.clear();
    for (const auto& [key, value] : values)
        keys << key;
    EXPECT_EQ(keys, (QStringList{"is_active", "class", "glider_name", "glider_catg", "takeoff_name"}));
    EXPECT_EQ(values[0].second, QStringLiteral("N"));
}

TEST(XContestValues, UploadNameIsNeverEmpty)
{
    EXPECT_EQ(xcontest::uploadFileName(sampleFlight(true)), QStringLiteral("37E4F2A1.igc"));
    EXPECT_EQ(xcontest::uploadFileName(sampleFlight(false)), QStringLiteral("2023-07-14-XXX-000-01.igc"));
    ContestFlight undated = sampleFlight(false);
    undated.startUTC = QDateTime();
    EXPECT_EQ(xcontest::uploadFileName(undated), QStringLiteral("flight.igc"));
}

TEST(ContestAddress, OnlyHttpsIsAccepted)
{
    qputenv("KALVORA_DHVXC_URL", "http://127.0.0.1:9/");
    const Result<QUrl> plain = contestBaseUrl(Contest::DHVXC);
    EXPECT_FALSE(plain.ok());
    qputenv("KALVORA_DHVXC_URL", "https://127.0.0.1:9/");
    EXPECT_TRUE(contestBaseUrl(Contest::DHVXC).ok());
    qunsetenv("KALVORA_DHVXC_URL");
    EXPECT_EQ(contestBaseUrl(Contest::XContest)->host(), QStringLiteral("www.xcontest.org"));
}

class ContestServerTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(server.isRunning()) << server.problem().toStdString(); }

    dhvxc::Form dhvForm() const
    {
        dhvxc::Form form;
        form.firstName = QStringLiteral("Jérôme");
        form.lastName = QStringLiteral("Müller & Söhne");
        form.birth = QDate(1980, 2, 29);
        form.user = kContestUser;
        form.password = kContestPassword;
        form.classIndex = 5;
        form.categoryTag = 32;
        form.glider = QStringLiteral("Rush 5+");
        form.startTypeIndex = 1;
        form.manufacturerId = 19;
        return form;
    }

    xcontest::Form xcForm() const
    {
        xcontest::Form form;
        form.user = kContestUser;
        form.password = kContestPassword.toUpper(); // the gate hashes the lower-case password
        form.classIndex = 0;
        form.categoryIndex = 1;
        form.gliderName = QStringLiteral("Rush 5 & co");
        form.takeoffName = QStringLiteral("Brauneck Süd");
        return form;
    }

    SubmissionOutcome sendDHV(const dhvxc::Form& form, const ContestFlight& flight = sampleFlight())
    {
        return dhvxc::submit(defaultHttpClient(), server.baseUrl(), form, {flight});
    }

    SubmissionOutcome sendXC(const xcontest::Form& form, const ContestFlight& flight = sampleFlight())
    {
        return xcontest::submit(defaultHttpClient(), server.baseUrl(), kApiKey, kApiSecret, form, flight);
    }

    ContestServer server;
};

TEST_F(ContestServerTest, DHVXCReceivesEveryFieldAsTyped)
{
    const SubmissionOutcome outcome = sendDHV(dhvForm());
    ASSERT_TRUE(outcome.success) << outcome.message.toStdString();
    EXPECT_TRUE(outcome.messageIsHtml) << outcome.message.toStdString();
    EXPECT_TRUE(outcome.message.contains(QLatin1String("Flight received.")));

    const QList<QJsonObject> received = server.requests(QStringLiteral("dhvxc"));
    ASSERT_EQ(received.size(), 1);
    EXPECT_FALSE(received[0].contains(QLatin1String("problems"))) << QJsonDocument(received[0]).toJson().constData();
    const QJsonObject fields = received[0].value(QLatin1String("fields")).toObject();
    const QJsonObject expected{
        {"OLCvnolc", QStringLiteral("Jérôme")},
        {"na", QStringLiteral("Müller & Söhne")},
        {"geb", "29.02.1980"},
        {"user", kContestUser},
        {"pass", kContestPassword},
        {"klasse", "6"},
        {"gliderCertCategory", "32"},
        {"glider", "Rush 5+"},
        {"startType", "2"},
        {"comments", sampleFlight().notice},
        {"gliderBrandID", "19"},
    };
    EXPECT_EQ(fields, expected);
    EXPECT_EQ(test::base64Field(received[0], "igc"), sampleFlight().igc);
    EXPECT_EQ(received[0].value(QLatin1String("headers")).toObject().value(QLatin1String("content-length")).toString(),
              QString::number(dhvxc::formBody(dhvForm(), sampleFlight()).size()));
}

TEST_F(ContestServerTest, DHVXCFailuresAreReportedNotSwallowed)
{
    server.setAnswer(QStringLiteral("dhvxc"), {{"status", 500}, {"body", "<p>Database down</p>"}, {"contentType", "text/html"}});
    SubmissionOutcome outcome = sendDHV(dhvForm());
    EXPECT_FALSE(outcome.success);
    EXPECT_TRUE(outcome.message.contains(QLatin1String("500"))) << outcome.message.toStdString();
    EXPECT_TRUE(outcome.message.contains(QLatin1String("Database down")));

    server.setAnswer(QStringLiteral("dhvxc"), {{"drop", true}});
    outcome = sendDHV(dhvForm());
    EXPECT_FALSE(outcome.success);
    EXPECT_TRUE(outcome.message.startsWith(QLatin1String("Can't connect to DHV-XC"))) << outcome.message.toStdString();

    // Slow but within the time the request allows.
    server.setAnswer(QStringLiteral("dhvxc"), {{"delayMs", 1500}});
    EXPECT_TRUE(sendDHV(dhvForm()).success);
}

TEST_F(ContestServerTest, DHVXCStopsBeforeTheNextFlightWhenCancelled)
{
    std::atomic<bool> cancel = false;
    int begun = 0;
    const SubmissionOutcome outcome = dhvxc::submit(defaultHttpClient(), server.baseUrl(), dhvForm(),
                                                    {sampleFlight(), sampleFlight(), sampleFlight()}, &cancel,
                                                    [&](int n) {
                                                        begun = n;
                                                        if (n == 2)
                                                            cancel = true;
                                                    });
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_EQ(begun, 2);
    EXPECT_EQ(server.requests(QStringLiteral("dhvxc")).size(), 2);
}

TEST_F(ContestServerTest, AnUntrustedCertificateIsRefused)
{
    qunsetenv("KALVORA_CA_CERTIFICATES");
    const SubmissionOutcome outcome = sendDHV(dhvForm());
    EXPECT_FALSE(outcome.success);
    EXPECT_TRUE(server.requests().isEmpty()) << "the password reached a server nobody vouched for";
    qputenv("KALVORA_CA_CERTIFICATES", server.certificatePath().toLocal8Bit());
}

TEST_F(ContestServerTest, XContestUploadIsSignedAndComplete)
{
    const SubmissionOutcome outcome = sendXC(xcForm());
    ASSERT_TRUE(outcome.success) << outcome.message.toStdString();
    EXPECT_EQ(outcome.link, QStringLiteral("https://www.xcontest.org/world/en/flights/detail:4711"));

    ASSERT_EQ(server.requests(QStringLiteral("ticket")).size(), 1);
    const QList<QJsonObject> uploads = server.requests(QStringLiteral("upload"));
    ASSERT_EQ(uploads.size(), 1);
    const QJsonObject upload = uploads[0];
    EXPECT_FALSE(upload.contains(QLatin1String("problems"))) << QJsonDocument(upload).toJson().constData();
    EXPECT_EQ(upload.value(QLatin1String("filename")).toString(), QStringLiteral("37E4F2A1.igc"));
    EXPECT_EQ(upload.value(QLatin1String("partContentType")).toString(), QStringLiteral("application/octet-stream"));
    EXPECT_EQ(test::base64Field(upload, "igc"), sampleFlight().igc);
    QStringList order;
    for (const QJsonValue& name : upload.value(QLatin1String("order")).toArray())
        order << name.toString();
    EXPECT_EQ(order, (QStringList{"login[username]", "login[hash]", "flight[tracklog]", "flight[is_active]",
                                  "flight[class]", "flight[glider_name]", "flight[glider_catg]", "flight[country]",
                                  "flight[takeoff_name]", "flight[comment]"}));
    const QJsonObject fields = upload.value(QLatin1String("fields")).toObject();
    EXPECT_EQ(fields.value(QLatin1String("login[username]")).toString(), kContestUser);
    EXPECT_EQ(fields.value(QLatin1String("flight[class]")).toString(), QStringLiteral("3"));
    EXPECT_EQ(fields.value(QLatin1String("flight[glider_catg]")).toString(), QStringLiteral("B"));
    EXPECT_EQ(fields.value(QLatin1String("flight[glider_name]")).toString(), QStringLiteral("Rush 5 & co"));
    EXPECT_EQ(fields.value(QLatin1String("flight[takeoff_name]")).toString(), QStringLiteral("Brauneck Süd"));
    EXPECT_EQ(fields.value(QLatin1String("flight[country]")).toString(), QStringLiteral("Germany"));
    EXPECT_EQ(fields.value(QLatin1String("flight[comment]")).toString(), sampleFlight().notice);
    const QString contentType = upload.value(QLatin1String("headers")).toObject().value(QLatin1String("content-type")).toString();
    EXPECT_TRUE(contentType.startsWith(QLatin1String("multipart/form-data; boundary=\""))) << contentType.toStdString();
}

TEST_F(ContestServerTest, XContestWithoutSecurityRecordStillNamesTheFile)
{
    ASSERT_TRUE(sendXC(xcForm(), sampleFlight(false)).success);
    EXPECT_EQ(server.requests(QStringLiteral("upload")).value(0).value(QLatin1String("filename")).toString(),
              QStringLiteral("2023-07-14-XXX-000-01.igc"));
}

TEST_F(ContestServerTest, XContestSucceedsOnlyOnCleanJson)
{
    const struct
    {
        const char* service;
        QJsonObject answer;
        QString message; ///< empty: any message will do
    } cases[] = {
        {"ticket", {{"body", "<html>maintenance</html>"}}, {}},
        {"ticket", {{"body", R"({"error":{"code":3}})"}}, {}},
        {"ticket", {{"body", R"({"error":{"message":"Gate closed"}})"}}, QStringLiteral("Gate closed")},
        {"ticket", {{"drop", true}}, QStringLiteral("Can't connect to XContest")},
        {"ticket", {{"status", 500}, {"body", "{}"}}, {}},
        {"upload", {{"body", "Thanks!"}}, {}},
        {"upload", {{"body", R"({"errors":true,"messages":[{"label":"Flight already claimed"}]})"}},
         QStringLiteral("Flight already claimed")},
        {"upload", {{"status", 500}, {"body", "Internal error"}}, {}},
        // Qt sends a POST again once when the line drops before any answer; the
        // gate then refuses the used ticket, which is the right outcome too.
        {"upload", {{"drop", true}}, {}},
    };
    for (const auto& c : cases) {
        server.setAnswer(QStringLiteral("ticket"), {});
        server.setAnswer(QStringLiteral("upload"), {});
        server.setAnswer(QLatin1String(c.service), c.answer);
        const SubmissionOutcome outcome = sendXC(xcForm());
        const std::string label = std::string(c.service) + " " + QJsonDocument(c.answer).toJson().toStdString();
        EXPECT_FALSE(outcome.success) << label;
        EXPECT_FALSE(outcome.message.isEmpty()) << label;
        if (!c.message.isEmpty()) {
            EXPECT_EQ(outcome.message, c.message) << label;
        }
    }
    server.setAnswer(QStringLiteral("ticket"), {});
    server.setAnswer(QStringLiteral("upload"), {{"delayMs", 1500}});
    EXPECT_TRUE(sendXC(xcForm()).success);
}

TEST_F(ContestServerTest, XContestWrongPasswordIsTheServersWord)
{
    xcontest::Form form = xcForm();
    form.password = QStringLiteral("wrong");
    const SubmissionOutcome outcome = sendXC(form);
    EXPECT_FALSE(outcome.success);
    EXPECT_TRUE(outcome.message.contains(QLatin1String("wrong login hash"))) << outcome.message.toStdString();
}

} // namespace
} // namespace kalvora
