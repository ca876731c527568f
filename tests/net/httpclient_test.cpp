#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include "services/httpclient.h"
#include "support/httpserver.h"

using namespace kalvora;
using kalvora::test::HttpServerRequest;
using kalvora::test::HttpServerResponse;
using kalvora::test::LocalHttpServer;

namespace {

HttpRequest get(const QUrl& url, int timeoutMs = 3000)
{
    HttpRequest request;
    request.url = url;
    request.timeoutMs = timeoutMs;
    return request;
}

} // namespace

TEST(HttpClient, CarriesMethodHeadersBodyAndAnswer)
{
    LocalHttpServer server([](const HttpServerRequest& r) {
        HttpServerResponse response;
        response.status = r.path == "/missing" ? 404 : 200;
        response.body = r.method + ' ' + r.path + ' ' + r.query.queryItemValue("q").toUtf8() + ' ' + r.body;
        return response;
    });
    NetworkHttpClient client;

    HttpRequest post = get(server.baseUrl().resolved(QUrl("/upload?q=a%26b")));
    post.method = "POST";
    post.headers = {{"Content-Type", "application/x-www-form-urlencoded"}};
    post.body = "name=x%26y";
    const HttpResponse answer = client.send(post);
    ASSERT_TRUE(answer.ok()) << answer.error.toStdString();
    EXPECT_EQ(answer.body, "POST /upload a&b name=x%26y");
    EXPECT_EQ(answer.header("content-type"), "text/xml; charset=utf-8");

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].headers.value("content-type"), "application/x-www-form-urlencoded");
    EXPECT_TRUE(requests[0].headers.value("user-agent").startsWith("Kalvora/"));

    const HttpResponse missing = client.send(get(server.baseUrl().resolved(QUrl("/missing"))));
    EXPECT_TRUE(missing.error.isEmpty());
    EXPECT_EQ(missing.status, 404);
    EXPECT_FALSE(missing.ok());
}

TEST(HttpClient, FailuresComeBackAsErrorsWithinTheTimeout)
{
    LocalHttpServer server([](const HttpServerRequest& r) {
        HttpServerResponse response;
        response.delayMs = r.path == "/slow" ? 5000 : 0;
        response.dropConnection = r.path == "/drop";
        return response;
    });
    NetworkHttpClient client;

    QElapsedTimer timer;
    timer.start();
    const HttpResponse slow = client.send(get(server.baseUrl().resolved(QUrl("/slow")), 500));
    EXPECT_FALSE(slow.ok());
    EXPECT_FALSE(slow.error.isEmpty());
    EXPECT_LT(timer.elapsed(), 4000);

    const HttpResponse dropped = client.send(get(server.baseUrl().resolved(QUrl("/drop"))));
    EXPECT_FALSE(dropped.ok());
    EXPECT_FALSE(dropped.error.isEmpty());

    const HttpResponse refused = client.send(get(LocalHttpServer::closedPortUrl()));
    EXPECT_FALSE(refused.ok());
    EXPECT_FALSE(refused.error.isEmpty());

    EXPECT_FALSE(client.send(get(QUrl("not a url"))).ok());
}

TEST(HttpClient, AnswersLargerThanTheCapFailCleanly)
{
    LocalHttpServer server([](const HttpServerRequest& r) {
        HttpServerResponse response;
        response.endlessBody = r.path == "/endless";
        response.body = r.path == "/big" ? QByteArray(300 * 1024, 'b') : QByteArray(100 * 1024, 'a');
        return response;
    });
    NetworkHttpClient client;

    // Without the cap this answer fills memory until the process dies.
    HttpRequest endless = get(server.baseUrl().resolved(QUrl("/endless")), 20000);
    endless.maxBodyBytes = 1024 * 1024;
    QElapsedTimer timer;
    timer.start();
    const HttpResponse cut = client.send(endless);
    EXPECT_FALSE(cut.ok());
    EXPECT_TRUE(cut.error.contains("larger than")) << cut.error.toStdString();
    EXPECT_TRUE(cut.body.isEmpty());
    EXPECT_LT(timer.elapsed(), 15000);

    // An announced length over the cap is refused; one within it arrives whole.
    HttpRequest big = get(server.baseUrl().resolved(QUrl("/big")));
    big.maxBodyBytes = 200 * 1024;
    EXPECT_TRUE(client.send(big).error.contains("larger than"));
    HttpRequest fits = get(server.baseUrl().resolved(QUrl("/fits")));
    fits.maxBodyBytes = 100 * 1024;
    const HttpResponse whole = client.send(fits);
    ASSERT_TRUE(whole.ok()) << whole.error.toStdString();
    EXPECT_EQ(whole.body.size(), 100 * 1024);

    // The default cap holds for a caller that names none.
    EXPECT_FALSE(client.send(get(server.baseUrl().resolved(QUrl("/endless")), 20000)).ok());
}

TEST(HttpClient, WorksFromWorkerThreads)
{
    LocalHttpServer server([](const HttpServerRequest&) {
        HttpServerResponse response;
        response.body = "<ok/>";
        return response;
    });
    QList<QByteArray> bodies(4);
    QList<QThread*> threads;
    for (int i = 0; i < 4; ++i) {
        threads.append(QThread::create([&, i] { bodies[i] = defaultHttpClient().send(get(server.baseUrl())).body; }));
        threads.last()->start();
    }
    for (QThread* thread : threads) {
        EXPECT_TRUE(thread->wait(10000));
        delete thread;
    }
    for (const QByteArray& body : bodies)
        EXPECT_EQ(body, "<ok/>");
}

TEST(HttpClient, BaseUrlPrefersEnvironmentThenSettingThenDefault)
{
    qunsetenv("KALVORA_TEST_SERVICE_URL");
    EXPECT_EQ(serviceBaseUrl("NoSuchServiceKey", "KALVORA_TEST_SERVICE_URL", "https://example.org"),
              "https://example.org");
    qputenv("KALVORA_TEST_SERVICE_URL", "http://127.0.0.1:9");
    EXPECT_EQ(serviceBaseUrl("NoSuchServiceKey", "KALVORA_TEST_SERVICE_URL", "https://example.org"),
              "http://127.0.0.1:9");
    qunsetenv("KALVORA_TEST_SERVICE_URL");
}
