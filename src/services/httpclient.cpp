#include "services/httpclient.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSettings>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QThreadStorage>
#include <QTimer>

#include "track/version.h"

namespace kalvora {

QByteArray HttpResponse::header(const QByteArray& name) const
{
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

namespace {

QNetworkAccessManager& threadManager()
{
    // A manager belongs to the thread that created it; one per thread keeps
    // send() usable from any worker.
    static QThreadStorage<QNetworkAccessManager*> managers;
    if (!managers.hasLocalData()) {
        auto* manager = new QNetworkAccessManager;
        manager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
        managers.setLocalData(manager);
    }
    return *managers.localData();
}

// The TLS settings of https requests: the system's certificate authorities
// plus those in the PEM file KALVORA_CA_CERTIFICATES (a private server, the
// tests' loopback servers). Peers are always verified.
QSslConfiguration tlsConfiguration()
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    const QString extra = qEnvironmentVariable("KALVORA_CA_CERTIFICATES");
    if (!extra.isEmpty())
        configuration.addCaCertificates(QSslCertificate::fromPath(extra, QSsl::Pem));
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    return configuration;
}

} // namespace

HttpResponse NetworkHttpClient::send(const HttpRequest& request)
{
    HttpResponse response;
    if (!request.url.isValid() || request.url.scheme().isEmpty()) {
        response.error = QStringLiteral("Invalid URL \"%1\"").arg(request.url.toString());
        return response;
    }

    QNetworkRequest netRequest(request.url);
    netRequest.setRawHeader("User-Agent", userAgent());
    for (const auto& [name, value] : request.headers)
        netRequest.setRawHeader(name, value);
    netRequest.setTransferTimeout(request.timeoutMs);
    if (request.url.scheme() == QLatin1String("https"))
        netRequest.setSslConfiguration(tlsConfiguration());

    QNetworkReply* reply = threadManager().sendCustomRequest(netRequest, request.method, request.body);
    // The body is taken in as it comes, so that Qt holds no more than this
    // ahead of it and an endless answer is cut at the cap, not at the end of memory.
    reply->setReadBufferSize(64 * 1024);
    QByteArray body;
    bool tooLarge = false;
    const auto takeBody = [&] {
        if (tooLarge)
            return;
        body += reply->readAll();
        if (body.size() > request.maxBodyBytes) {
            tooLarge = true;
            body.clear();
            reply->abort();
        }
    };
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    bool timedOut = false;
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, [&] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (!tooLarge && length.isValid() && length.toLongLong() > request.maxBodyBytes) {
            tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, takeBody);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    deadline.start(request.timeoutMs);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    deadline.stop();
    takeBody();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (tooLarge) {
        response.error = QStringLiteral("The answer of the server is larger than %1 bytes").arg(request.maxBodyBytes);
    } else if (timedOut || reply->error() == QNetworkReply::OperationCanceledError
        || reply->error() == QNetworkReply::TimeoutError) {
        response.error = QStringLiteral("The server did not answer within %1 s").arg(request.timeoutMs / 1000.0);
    } else if (!status.isValid()) {
        response.error = reply->errorString();
    } else {
        response.status = status.toInt();
        response.body = std::move(body);
        for (const auto& pair : reply->rawHeaderPairs())
            response.headers.append({pair.first, pair.second});
    }
    // Deleted here, not later: a worker thread may have no event loop to do it.
    delete reply;
    return response;
}

HttpClient& defaultHttpClient()
{
    static NetworkHttpClient client;
    return client;
}

QUrl serviceEndpoint(const QUrl& base, const char* path)
{
    QUrl url = base;
    QString basePath = url.path();
    while (basePath.endsWith(QLatin1Char('/')))
        basePath.chop(1);
    url.setPath(basePath + QLatin1String(path));
    return url;
}

QString serviceBaseUrl(const QString& settingsKey, const char* envVar, const QString& defaultUrl)
{
    const QString fromEnv = qEnvironmentVariable(envVar);
    if (!fromEnv.isEmpty())
        return fromEnv;
    const QString fromSettings = QSettings().value(settingsKey).toString();
    if (!fromSettings.isEmpty())
        return fromSettings;
    return defaultUrl;
}

QByteArray userAgent()
{
    return QByteArray("Kalvora/") + versionString() + " (desktop flight logbook)";
}

} // namespace kalvora
