#include <gtest/gtest.h>

#include <QUrlQuery>

#include "services/httpclient.h"
#include "services/updatecheck.h"
#include "support/httpserver.h"

namespace kalvora {
namespace {

using Outcome = UpdateCheckResult::Outcome;

TEST(UpdateAnswer, VersionsAreComparedNumberByNumber)
{
    struct Case
    {
        const char* running;
        const char* answer;
        Outcome outcome;
    };
    const Case cases[] = {
        {"2.9", "x;FREE;2.10;https://example.org/k.deb", Outcome::NewerFree}, // not 2.1 < 2.9
        {"2.1", "x;FREE;2.15;https://example.org/k.deb", Outcome::NewerFree},
        {"0.1.0", "x;FREE;0.1.0;https://example.org/k.deb", Outcome::UpToDate},
        {"0.1.0", "x;FREE;0.1;https://example.org/k.deb", Outcome::UpToDate}, // trailing zeros are equal
        {"0.1.0", "x;FREE;0.0.9;https://example.org/k.deb", Outcome::UpToDate},
        {"0.1.0", "x;PAID;0.2;https://example.org/k.deb", Outcome::NewerOther},
        {"0.1.0", "x;FREE;0.2", Outcome::Failed},                            // three fields
        {"0.1.0", "x;FREE;0.2;https://example.org/k.deb;y", Outcome::Failed}, // five fields
        {"0.1.0", "ERROR: unknown product", Outcome::Failed},
        {"0.1.0", "x;FREE;0.2beta;https://example.org/k.deb", Outcome::Failed},
        {"0.1.0", "x;FREE;;https://example.org/k.deb", Outcome::Failed},
        {"0.1.0", "", Outcome::Failed},
        // Nothing is fetched over plain HTTP from elsewhere, nor from other schemes.
        {"0.1.0", "x;FREE;0.2;http://example.org/k.deb", Outcome::Failed},
        {"0.1.0", "x;FREE;0.2;file:///tmp/k.deb", Outcome::Failed},
        {"0.1.0", "x;FREE;0.2;http://127.0.0.1:8080/k.deb", Outcome::NewerFree},
    };
    for (const Case& c : cases) {
        const UpdateCheckResult result =
            readUpdateAnswer(QByteArray(c.answer), QVersionNumber::fromString(QString::fromLatin1(c.running)));
        EXPECT_EQ(result.outcome, c.outcome) << c.running << " / " << c.answer;
        if (c.outcome == Outcome::Failed) {
            EXPECT_FALSE(result.reason.isEmpty()) << c.answer;
        }
        if (c.outcome != Outcome::NewerFree) {
            EXPECT_TRUE(result.archive.isEmpty()) << c.answer;
        }
    }
}

TEST(UpdateAnswer, OnlyHttpsOrLoopbackAddressesAreAllowed)
{
    EXPECT_TRUE(isAllowedUpdateUrl(QUrl(QStringLiteral("https://updates.example.org/check"))));
    EXPECT_TRUE(isAllowedUpdateUrl(QUrl(QStringLiteral("http://localhost:9/check"))));
    EXPECT_TRUE(isAllowedUpdateUrl(QUrl(QStringLiteral("http://[::1]:9/check"))));
    EXPECT_FALSE(isAllowedUpdateUrl(QUrl(QStringLiteral("http://updates.example.org/check"))));
    EXPECT_FALSE(isAllowedUpdateUrl(QUrl(QStringLiteral("http://127.0.0.1.example.org/check"))));
    EXPECT_FALSE(isAllowedUpdateUrl(QUrl(QStringLiteral("ftp://updates.example.org/k.deb"))));
    EXPECT_FALSE(isAllowedUpdateUrl(QUrl()));
}

TEST(ServiceEndpoint, LiesBelowTheBaseWithOrWithoutItsFinalSlash)
{
    EXPECT_EQ(serviceEndpoint(QUrl(QStringLiteral("https://example.org")), "/api/gate/"),
              QUrl(QStringLiteral("https://example.org/api/gate/")));
    EXPECT_EQ(serviceEndpoint(QUrl(QStringLiteral("https://example.org/xc//")), "/submit.php"),
              QUrl(QStringLiteral("https://example.org/xc/submit.php")));
    EXPECT_EQ(serviceEndpoint(QUrl(QStringLiteral("http://127.0.0.1:8080/base?k=1")), "/sync"),
              QUrl(QStringLiteral("http://127.0.0.1:8080/base/sync?k=1")));
}

TEST(UpdateCheck, PostsTheRunningVersionAndReadsTheAnswer)
{
    test::LocalHttpServer server([](const test::HttpServerRequest&) {
        test::HttpServerResponse response;
        response.contentType = "text/plain";
        response.body = "1;FREE;0.2.0;http://127.0.0.1:1/kalvora_0.2.0_amd64.deb";
        return response;
    });
    NetworkHttpClient client;
    const QUrl endpoint(server.baseUrl().toString() + QStringLiteral("/klv_check_update.php"));
    const UpdateCheckResult result = checkForUpdate(client, endpoint, QVersionNumber(0, 1, 0));
    EXPECT_EQ(result.outcome, Outcome::NewerFree);
    EXPECT_EQ(result.versionText, QStringLiteral("0.2.0"));
    ASSERT_EQ(server.requestCount(), 1);
    const test::HttpServerRequest request = server.requests().first();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/klv_check_update.php");
    EXPECT_EQ(request.headers.value("content-type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(QUrlQuery(QString::fromUtf8(request.body)).queryItemValue(QStringLiteral("version")),
              QStringLiteral("0.1.0"));

    // No service, or one that is not HTTPS: a failure with a reason, no request.
    EXPECT_EQ(checkForUpdate(client, test::LocalHttpServer::closedPortUrl(), QVersionNumber(0, 1)).outcome,
              Outcome::Failed);
    EXPECT_EQ(checkForUpdate(client, QUrl(QStringLiteral("http://updates.example.org/c")), QVersionNumber(0, 1)).outcome,
              Outcome::Failed);
    EXPECT_EQ(server.requestCount(), 1);
}

TEST(BugReport, MailCarriesVersionsAndDistributionIntact)
{
    const QUrl url = bugReportUrl(QStringLiteral("bugs@example.org"), QStringLiteral("0.1.0"), QStringLiteral("6.4.2"),
                                  QStringLiteral("Debian GNU/Linux 12 (bookworm) & friends"));
    EXPECT_EQ(url.scheme(), QStringLiteral("mailto"));
    EXPECT_EQ(url.path(), QStringLiteral("bugs@example.org"));
    const QUrlQuery query(url);
    EXPECT_EQ(query.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded), QStringLiteral("Bug report"));
    const QString body = query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded);
    EXPECT_TRUE(body.contains(QStringLiteral("Kalvora 0.1.0\n")));
    EXPECT_TRUE(body.contains(QStringLiteral("Qt 6.4.2\n")));
    // An '&' in the distribution's name does not cut the body short.
    EXPECT_TRUE(body.contains(QStringLiteral("Debian GNU/Linux 12 (bookworm) & friends")));
}

} // namespace
} // namespace kalvora
