#include "support/httpserver.h"

#include <QHostAddress>
#include <QMetaObject>
#include <QMutex>
#include <QPointer>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

namespace kalvora::test {

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

// Parses one complete request from BUFFER; false while more bytes are needed.
bool parseRequest(QByteArray& buffer, HttpServerRequest& request)
{
    const int headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return false;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request.method = requestLine.value(0);
    const QByteArray target = requestLine.value(1);
    const int q = target.indexOf('?');
    request.path = q < 0 ? target : target.left(q);
    request.query = QUrlQuery(q < 0 ? QString() : QString::fromLatin1(target.mid(q + 1)));
    request.headers.clear();
    for (int i = 1; i < lines.size(); ++i) {
        const int colon = lines[i].indexOf(':');
        if (colon > 0)
            request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
    }
    const int length = request.headers.value("content-length", "0").toInt();
    if (buffer.size() < headerEnd + 4 + length)
        return false;
    request.body = buffer.mid(headerEnd + 4, length);
    buffer.remove(0, headerEnd + 4 + length);
    return true;
}

// Keeps a few chunks in flight and tops them up as they go out, until the peer hangs up.
void streamEndlessly(QTcpSocket* socket, const QByteArray& pattern)
{
    QByteArray chunk = pattern.isEmpty() ? QByteArray(1024, 'x') : pattern;
    while (chunk.size() < 64 * 1024)
        chunk += chunk;
    const auto topUp = [socket, chunk] {
        while (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < 4 * chunk.size())
            socket->write(chunk);
    };
    QObject::connect(socket, &QTcpSocket::bytesWritten, socket, topUp);
    topUp();
}

} // namespace

struct LocalHttpServer::Impl
{
    Handler handler;
    QThread thread;
    QTcpServer* server = nullptr; // lives on `thread`
    quint16 port = 0;
    mutable QMutex mutex;
    QList<HttpServerRequest> requests;

    void onConnection(QTcpSocket* socket)
    {
        auto buffer = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
            buffer->append(socket->readAll());
            HttpServerRequest request;
            while (parseRequest(*buffer, request)) {
                {
                    QMutexLocker lock(&mutex);
                    requests.append(request);
                }
                const HttpServerResponse response = handler(request);
                QPointer<QTcpSocket> guarded(socket);
                auto answer = [guarded, response] {
                    if (!guarded)
                        return;
                    if (response.dropConnection) {
                        guarded->abort();
                        return;
                    }
                    QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + ' '
                                     + reasonPhrase(response.status) + "\r\n";
                    out += "Content-Type: " + response.contentType + "\r\n";
                    for (const auto& [name, value] : response.headers)
                        out += name + ": " + value + "\r\n";
                    if (response.endlessBody) {
                        out += "Connection: close\r\n\r\n";
                        guarded->write(out);
                        streamEndlessly(guarded, response.body);
                        return;
                    }
                    if (!response.noContentLength)
                        out += "Content-Length: "
                               + QByteArray::number(response.contentLength >= 0 ? response.contentLength
                                                                                : response.body.size())
                               + "\r\n";
                    out += "Connection: close\r\n\r\n";
                    if (response.sendBytes >= 0) {
                        out += response.body.left(response.sendBytes);
                        guarded->write(out);
                        guarded->flush();
                        guarded->abort();
                        return;
                    }
                    out += response.body;
                    guarded->write(out);
                    guarded->disconnectFromHost();
                };
                if (response.delayMs > 0)
                    QTimer::singleShot(response.delayMs, socket, answer);
                else
                    answer();
            }
        });
    }
};

LocalHttpServer::LocalHttpServer(Handler handler) : m_impl(std::make_unique<Impl>())
{
    m_impl->handler = std::move(handler);
    m_impl->thread.start();
    QSemaphore ready;
    auto* starter = new QObject;
    starter->moveToThread(&m_impl->thread);
    QMetaObject::invokeMethod(starter, [this, starter, &ready] {
        auto* server = new QTcpServer;
        QObject::connect(server, &QTcpServer::newConnection, server, [this, server] {
            while (QTcpSocket* socket = server->nextPendingConnection())
                m_impl->onConnection(socket);
        });
        server->listen(QHostAddress::LocalHost, 0);
        m_impl->server = server;
        m_impl->port = server->serverPort();
        delete starter;
        ready.release();
    });
    ready.acquire();
}

LocalHttpServer::~LocalHttpServer()
{
    stop();
    m_impl->thread.quit();
    m_impl->thread.wait();
}

QUrl LocalHttpServer::baseUrl() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_impl->port));
}

quint16 LocalHttpServer::port() const
{
    return m_impl->port;
}

QList<HttpServerRequest> LocalHttpServer::requests() const
{
    QMutexLocker lock(&m_impl->mutex);
    return m_impl->requests;
}

int LocalHttpServer::requestCount() const
{
    QMutexLocker lock(&m_impl->mutex);
    return int(m_impl->requests.size());
}

void LocalHttpServer::stop()
{
    if (!m_impl->server)
        return;
    QTcpServer* server = m_impl->server;
    m_impl->server = nullptr;
    QMetaObject::invokeMethod(
        server,
        [server] {
            server->close();
            for (QTcpSocket* socket : server->findChildren<QTcpSocket*>())
                socket->abort();
            delete server;
        },
        Qt::BlockingQueuedConnection);
}

QUrl LocalHttpServer::closedPortUrl()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port));
}

} // namespace kalvora::test
