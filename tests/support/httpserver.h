#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QUrl>
#include <QUrlQuery>

#include <functional>
#include <utility>
#include <memory>

namespace kalvora::test {

struct HttpServerRequest
{
    QByteArray method;
    QByteArray path;               ///< without the query
    QUrlQuery query;               ///< from the request line
    QMap<QByteArray, QByteArray> headers; ///< names in lower case
    QByteArray body;
};

struct HttpServerResponse
{
    int status = 200;
    QByteArray contentType = "text/xml; charset=utf-8";
    QByteArray body;
    int delayMs = 0;             ///< answer only after this long (a slow server)
    bool dropConnection = false; ///< close the connection without answering
    bool noContentLength = false; ///< no Content-Length header: the body ends when the connection closes
    qint64 contentLength = -1;   ///< the Content-Length header when >= 0 (a HEAD answer), else the body's size
    qint64 sendBytes = -1;       ///< when >= 0, only this much of the body is sent before the connection drops
    /** Send no length and repeat BODY (or filler) until the client hangs up: an answer that never ends. */
    bool endlessBody = false;
    /** Further header lines (Cache-Control, Retry-After, ETag, ...). */
    QList<std::pair<QByteArray, QByteArray>> headers{};
};

/**
 * A small HTTP/1.1 server on 127.0.0.1 with a port of its own, running on its
 * own thread so that blocking clients on the test's thread can reach it. Each
 * request is answered by HANDLER, called on the server's thread.
 */
class LocalHttpServer
{
public:
    using Handler = std::function<HttpServerResponse(const HttpServerRequest&)>;

    explicit LocalHttpServer(Handler handler);
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    /** "http://127.0.0.1:PORT" */
    QUrl baseUrl() const;
    quint16 port() const;
    /** Every request received so far, in order. */
    QList<HttpServerRequest> requests() const;
    int requestCount() const;
    /** Stops listening and closes open connections; the port is then closed. */
    void stop();

    /** A loopback URL on which nothing listens (connection refused). */
    static QUrl closedPortUrl();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace kalvora::test
