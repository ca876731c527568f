#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <utility>

namespace kalvora {

/**
 * One HTTP request. timeoutMs bounds the whole exchange, connect to last byte;
 * maxBodyBytes bounds the answer's body: a longer one (announced or sent) ends
 * the exchange with an error instead of filling memory.
 */
struct HttpRequest
{
    /** [bytes] the cap of an answer when the caller names none: ample for a look-up or a form reply. */
    static constexpr qint64 defaultMaxBodyBytes = 1024 * 1024;

    QByteArray method = "GET";
    QUrl url;
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
    int timeoutMs = 3000;
    qint64 maxBodyBytes = defaultMaxBodyBytes;
};

/**
 * What came back. `error` is empty when an HTTP answer arrived (whatever its
 * status); otherwise it says why there is none (time-out, refused, ...).
 */
struct HttpResponse
{
    int status = 0;
    QByteArray body;
    QList<std::pair<QByteArray, QByteArray>> headers;
    QString error;

    /** An answer arrived and its status is 2xx. */
    bool ok() const { return error.isEmpty() && status >= 200 && status < 300; }
    /** The value of the first header NAME (case-insensitive), empty when absent. */
    QByteArray header(const QByteArray& name) const;
};

/** The seam between the services and the network; tests substitute nothing but the server. */
class HttpClient
{
public:
    virtual ~HttpClient() = default;
    /**
     * Sends REQUEST and waits for the answer or the time-out. An answer whose
     * body exceeds REQUEST.maxBodyBytes comes back as an error, without body.
     * Never throws.
     */
    virtual HttpResponse send(const HttpRequest& request) = 0;
};

/**
 * HttpClient over Qt Network. send() blocks the calling thread with a local
 * event loop, so call it from worker threads, never from the GUI thread (it
 * would re-enter the GUI's event handling). Safe to use from several threads:
 * each thread gets its own network access manager. https peers are always
 * verified, against the system's certificate authorities and those in the PEM
 * file named by KALVORA_CA_CERTIFICATES.
 */
class NetworkHttpClient final : public HttpClient
{
public:
    HttpResponse send(const HttpRequest& request) override;
};

/** A process-wide NetworkHttpClient. */
HttpClient& defaultHttpClient();

/**
 * The base URL of a network service: the environment variable ENV_VAR when set
 * and non-empty, else the preference SETTINGS_KEY when set, else DEFAULT_URL.
 * Lets tests and self-hosters point a service elsewhere.
 */
QString serviceBaseUrl(const QString& settingsKey, const char* envVar, const QString& defaultUrl);

/**
 * The address of an endpoint below a service's base URL: PATH (starting with
 * "/") follows BASE's own path, whose trailing slashes are dropped, so a base
 * given with or without a final "/" leads to the same place.
 */
QUrl serviceEndpoint(const QUrl& base, const char* path);

/** The User-Agent every request carries: "Kalvora/<version> (desktop flight logbook)". */
QByteArray userAgent();

} // namespace kalvora
