#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QVersionNumber>

namespace kalvora {

class HttpClient;

/** What the update service said, read against the running version. */
struct UpdateCheckResult
{
    enum class Outcome {
        NewerFree,  ///< a newer version to download for free: `version`, `archive`
        NewerOther, ///< a newer version that is not a free download
        UpToDate,   ///< the offered version is not newer than the running one
        Failed,     ///< no answer, an error answer or one that cannot be read: `reason`
    };
    Outcome outcome = Outcome::Failed;
    QVersionNumber version;
    QString versionText; ///< the offered version as the service wrote it
    QUrl archive;
    QString reason;
};

/**
 * Reads the service's answer: "ERROR" anywhere is an error; otherwise exactly
 * four ";"-separated fields (anything; the kind, "FREE" for a free download; the
 * version, dotted numbers such as 2.10 or 0.1.0; the archive's address). The
 * versions are compared number by number, so 2.10 is newer than 2.9. A newer
 * free offer whose archive is not an address allowed by isAllowedUpdateUrl()
 * fails: nothing is fetched from an insecure place.
 */
[[nodiscard]] UpdateCheckResult readUpdateAnswer(const QByteArray& answer, const QVersionNumber& running);

/** HTTPS addresses; plain HTTP only on the loopback host (a local test or mirror server). */
[[nodiscard]] bool isAllowedUpdateUrl(const QUrl& url);

/**
 * The update service's address: the environment variable KALVORA_UPDATE_URL
 * when set, else the preference "UpdateURL"; empty by default, and then no
 * request is ever sent.
 */
[[nodiscard]] QUrl updateServiceUrl();

/**
 * Asks the service at ENDPOINT (a form POST with the running version and the
 * platform) and reads the answer. Blocks: call it on a worker thread.
 */
[[nodiscard]] UpdateCheckResult checkForUpdate(HttpClient& client, const QUrl& endpoint, const QVersionNumber& running);

/**
 * The "mailto:" address of a bug report: subject "Bug report", and a body that
 * names the Kalvora version, the Qt version and the distribution (for the
 * maintainers' first question). TO may be empty: the mail program asks.
 */
[[nodiscard]] QUrl bugReportUrl(const QString& to, const QString& version, const QString& qtVersion,
                                const QString& distribution);

/** The preference "BugReportAddress"; empty unless set. */
[[nodiscard]] QString bugReportAddress();

} // namespace kalvora
