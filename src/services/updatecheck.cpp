#include "services/updatecheck.h"

#include <QHostAddress>
#include <QSettings>
#include <QSysInfo>
#include <QUrlQuery>

#include "services/httpclient.h"

namespace kalvora {

namespace {

/** The whole text must be a version: "2.1x" or "2..1" are not read as 2.1. */
QVersionNumber strictVersion(const QString& text)
{
    qsizetype end = 0;
    const QVersionNumber version = QVersionNumber::fromString(text, &end);
    return end == text.size() && !text.endsWith(QLatin1Char('.')) ? version : QVersionNumber();
}

} // namespace

UpdateCheckResult readUpdateAnswer(const QByteArray& answer, const QVersionNumber& running)
{
    UpdateCheckResult result;
    const QString text = QString::fromUtf8(answer).trimmed();
    if (text.contains(QLatin1String("ERROR"))) {
        result.reason = QStringLiteral("The update service answered with an error.");
        return result;
    }
    const QStringList fields = text.split(QLatin1Char(';'));
    if (fields.size() != 4) {
        result.reason = QStringLiteral("The update service's answer could not be read.");
        return result;
    }
    result.versionText = fields[2].trimmed();
    result.version = strictVersion(result.versionText);
    if (result.version.isNull()) {
        result.reason = QStringLiteral("The update service offered no readable version (\"%1\").").arg(result.versionText);
        return result;
    }
    if (QVersionNumber::compare(result.version.normalized(), running.normalized()) <= 0) {
        result.outcome = UpdateCheckResult::Outcome::UpToDate;
        return result;
    }
    if (fields[1].trimmed() != QLatin1String("FREE")) {
        result.outcome = UpdateCheckResult::Outcome::NewerOther;
        return result;
    }
    result.archive = QUrl(fields[3].trimmed(), QUrl::StrictMode);
    if (!result.archive.isValid() || !isAllowedUpdateUrl(result.archive)) {
        result.reason = QStringLiteral("The update is offered from an address that is not secure (%1).")
                            .arg(fields[3].trimmed());
        result.archive.clear();
        return result;
    }
    result.outcome = UpdateCheckResult::Outcome::NewerFree;
    return result;
}

bool isAllowedUpdateUrl(const QUrl& url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    if (url.scheme() == QLatin1String("https"))
        return true;
    if (url.scheme() != QLatin1String("http"))
        return false;
    const QHostAddress host(url.host());
    return url.host() == QLatin1String("localhost") || (!host.isNull() && host.isLoopback());
}

QUrl updateServiceUrl()
{
    const QByteArray env = qgetenv("KALVORA_UPDATE_URL");
    if (!env.isEmpty())
        return QUrl(QString::fromUtf8(env));
    return QUrl(QSettings().value(QStringLiteral("UpdateURL")).toString());
}

UpdateCheckResult checkForUpdate(HttpClient& client, const QUrl& endpoint, const QVersionNumber& running)
{
    UpdateCheckResult failed;
    if (!isAllowedUpdateUrl(endpoint)) {
        failed.reason = QStringLiteral("The update address %1 is not an HTTPS address.").arg(endpoint.toString());
        return failed;
    }
    QUrlQuery form;
    form.addQueryItem(QStringLiteral("version"), running.toString());
    form.addQueryItem(QStringLiteral("platform"), QSysInfo::productType());
    HttpRequest request;
    request.method = "POST";
    request.url = endpoint;
    request.body = form.toString(QUrl::FullyEncoded).toUtf8();
    request.headers = {{"Content-Type", "application/x-www-form-urlencoded"},
                       {"Content-Length", QByteArray::number(request.body.size())}};
    request.timeoutMs = 15000;
    const HttpResponse response = client.send(request);
    if (!response.ok()) {
        failed.reason = response.error.isEmpty()
                            ? QStringLiteral("The update service answered with status %1.").arg(response.status)
                            : response.error;
        return failed;
    }
    return readUpdateAnswer(response.body, running);
}

QUrl bugReportUrl(const QString& to, const QString& version, const QString& qtVersion, const QString& distribution)
{
    const QString body = QStringLiteral("What happened, and what did you expect?\n\n\n"
                                        "Kalvora %1\nQt %2\n%3\n")
                             .arg(version, qtVersion, distribution);
    QUrl url;
    url.setScheme(QStringLiteral("mailto"));
    url.setPath(to);
    QUrlQuery query;
    // QUrlQuery leaves '&' and '=' in values alone unless they are encoded first.
    const auto encoded = [](const QString& value) { return QString::fromLatin1(QUrl::toPercentEncoding(value)); };
    query.setQueryItems({{QStringLiteral("subject"), encoded(QStringLiteral("Bug report"))},
                         {QStringLiteral("body"), encoded(body)}});
    url.setQuery(query.query(QUrl::FullyEncoded), QUrl::StrictMode);
    return url;
}

QString bugReportAddress()
{
    return QSettings().value(QStringLiteral("BugReportAddress")).toString();
}

} // namespace kalvora
