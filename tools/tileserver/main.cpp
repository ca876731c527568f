// kalvora-tileserver [--port N] [--delay-ms N]: serves generated map tiles on
// 127.0.0.1 at /{z}/{x}/{y}.png and /{z}/{x}/{y}@2x.png, for screenshots and
// benchmarks that must not reach the internet. Prints the URL template.
#include <QCoreApplication>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>

#include "tileserver/tilegen.h"

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    quint16 port = 0;
    int delayMs = 0;
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--port"))
            port = quint16(args[i + 1].toUInt());
        else if (args[i] == QLatin1String("--delay-ms"))
            delayMs = args[i + 1].toInt();
    }
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, port)) {
        std::fprintf(stderr, "kalvora-tileserver: cannot listen: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    std::printf("http://127.0.0.1:%u/{z}/{x}/{y}{r}.png\n", unsigned(server.serverPort()));
    std::fflush(stdout);
    static const QRegularExpression path(QStringLiteral("^GET /(\\d+)/(\\d+)/(\\d+)(@2x)?\\.png"));
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* socket = server.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, delayMs] {
                const QByteArray request = socket->readAll();
                const QRegularExpressionMatch match = path.match(QString::fromLatin1(request));
                QByteArray body;
                QByteArray status = "404 Not Found";
                if (match.hasMatch()) {
                    const int z = match.captured(1).toInt();
                    const int x = match.captured(2).toInt();
                    const int y = match.captured(3).toInt();
                    if (z >= 0 && z <= 20 && x >= 0 && y >= 0 && x < (1 << z) && y < (1 << z)) {
                        body = kalvora::tilegen::tilePng(z, x, y, match.captured(4).isEmpty() ? 256 : 512);
                        status = "200 OK";
                    }
                }
                const QByteArray answer =
                    "HTTP/1.1 " + status +
                    "\r\nContent-Type: image/png\r\nContent-Length: " + QByteArray::number(body.size()) +
                    "\r\nCache-Control: max-age=86400\r\n\r\n" + body;
                QTimer::singleShot(delayMs, socket, [socket, answer] { socket->write(answer); });
            });
        }
    });
    return app.exec();
}
