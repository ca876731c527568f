#pragma once

#include <QMutex>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QUrl>

#include <optional>

namespace kalvora {

class HttpClient;
class ObjectContext;
class PersistentStore;
struct WaypointData;

/**
 * The client of the online waypoint database: a download pass fetches the
 * places changed since "lastWaypointSync" and applies them to the global
 * store; an upload pass sends every shared waypoint waiting for upload
 * (`syncOnline` 1, `syncStatus` 0) and marks those the database took.
 *
 * Passes never overlap: they share one lock, and the start...() calls queue
 * them on one worker thread in the order asked. Each pass works in its own
 * context of the store, whose saves the store merges into the main context
 * (so the thread that opened the store must run its event loop meanwhile).
 * Network and store failures end or skip quietly, as described per pass.
 */
class WaypointSync final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WaypointSync)

public:
    /**
     * STORE and HTTP must outlive this object. BASEURL is the database's base
     * (see baseUrlFromSettings()). SETTINGSFILE names an INI file for the sync
     * position; empty means the user's preferences.
     */
    WaypointSync(PersistentStore& store, HttpClient& http, QUrl baseUrl, QString settingsFile = {},
                 QObject* parent = nullptr);
    ~WaypointSync() override;

    /** KALVORA_WAYPOINTDB_URL, else the preference "waypointDatabase/url", else the public database. */
    static QUrl baseUrlFromSettings();

    /** The identity sent as "mac"; machineIdentity() unless set. */
    void setMachineIdentity(std::optional<QString> identity) { m_identity = std::move(identity); }
    std::optional<QString> identity() const { return m_identity; }

    /**
     * One download pass on the calling thread (not the thread that opened the
     * store). Returns true when an answer came and parsed without error; only
     * then does "lastWaypointSync" move to now. Records applied before a parse
     * error stay applied.
     */
    bool downloadWaypoints();

    /**
     * One upload pass on the calling thread (not the thread that opened the
     * store). Returns how many waypoints the database took. Stops at the first
     * request without an answer; an "ERROR" answer skips that waypoint.
     */
    int uploadWaypoints();

    /** Queue a pass on the worker thread; return at once. Any thread. */
    void startUploadPass();
    void startDownloadPass();
    /** The start-up passes: an upload, then a download, one after the other. */
    void startStartupPasses();
    /** Waits for every queued pass; true when all ended within TIMEOUTMS. */
    bool waitForPasses(int timeoutMs = 60000);

    /** Makes change-tracked shared waypoints start upload passes here (until this object ends). */
    void installAsUploadStarter();

    /** [s since 1970] the instant of the last error-free download; 0 before the first. */
    double lastWaypointSync() const;
    void setLastWaypointSync(double seconds);

    /** Applies one downloaded record in CONTEXT: matched by dbID, else by position, else new. */
    static void applyDownloadedRecord(ObjectContext& context, const WaypointData& record);

signals:
    /** After each pass, on the worker thread (connect queued). */
    void downloadFinished(bool parsed);
    void uploadFinished(int uploaded);

private:
    PersistentStore& m_store;
    HttpClient& m_http;
    QUrl m_baseUrl;
    QString m_settingsFile;
    std::optional<QString> m_identity;
    QMutex m_passLock;
    QThreadPool m_worker;
    bool m_isUploadStarter = false;
};

} // namespace kalvora
