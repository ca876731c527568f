#pragma once

#include <QCache>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>

#include <deque>
#include <memory>

#include "map/tilecache.h"
#include "map/tilesource.h"

class QNetworkAccessManager;
class QNetworkReply;
class QThreadPool;
class QTimer;

namespace kalvora::map {

/**
 * Fetches the tiles of one source as the tile policies ask: every request
 * carries our User-Agent, at most maxConnections run at once and their starts
 * are at least minIntervalMs apart; a tile is asked for once and then kept on
 * disk until the server's expiry (and shown after it while it is fetched
 * again); 404 tiles are not asked for again this session; 429 and 503 pause
 * the loader for the Retry-After time; when the server cannot be reached the
 * loader goes offline (cached tiles only) and tries again after offlineRetryMs.
 *
 * The GUI thread owns it; disk reads and writes run on a worker of its own,
 * one at a time, and hand their results back queued.
 */
class TileLoader final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TileLoader)

public:
    struct Options
    {
        QString cacheFolder;                     ///< empty: the source's folder in the XDG cache
        qint64 cacheBytes = 512LL * 1024 * 1024; ///< [bytes] disk limit
        int memoryTiles = 400;                   ///< decoded tiles kept in memory
        int maxConnections = 2;
        int minIntervalMs = 50;          ///< [ms] between the starts of two requests
        int timeoutMs = 15000;           ///< [ms] per request
        int offlineRetryMs = 30000;      ///< [ms] quiet time after an unreachable server
        int defaultRetryAfterMs = 30000; ///< [ms] pause after 429/503 without Retry-After
    };

    explicit TileLoader(TileSource source, Options options, QObject* parent = nullptr);
    ~TileLoader() override;

    [[nodiscard]] const TileSource& source() const { return m_source; }

    /** Starts a frame: tiles queued but not asked for again before the next frame are dropped from the queue.
     */
    void beginFrame();
    /**
     * The decoded tile when it is in memory, else a null image; a tile not in
     * memory (or expired) is looked up on disk and then on the server, and
     * tileArrived() follows when it comes.
     */
    [[nodiscard]] QImage tile(const TileKey& key);
    /** The tile when it is in memory, without asking for it. */
    [[nodiscard]] QImage cachedTile(const TileKey& key) const;
    /** Whether the server answered "no such tile" (404) for KEY this session. */
    [[nodiscard]] bool isMissing(const TileKey& key) const { return m_missing.contains(key.packed()); }

    /** Whether the last attempt to reach the server failed (and none succeeded since). */
    [[nodiscard]] bool isOffline() const { return m_offline; }
    /** Whether nothing is being read, queued or fetched. */
    [[nodiscard]] bool isIdle() const;
    /**
     * Runs a local event loop until isIdle() or TIMEOUTMS pass; for printing,
     * the command line and tests, never for windows. Returns isIdle().
     */
    bool waitUntilIdle(int timeoutMs);

    /** Requests sent to the server so far. */
    [[nodiscard]] int networkRequests() const { return m_networkRequests; }

signals:
    /** A tile came from disk or server; redraw. */
    void tileArrived();
    /** isOffline() changed. */
    void offlineChanged(bool offline);

private:
    struct Loaded
    {
        QImage image;
        QDateTime expires;
    };
    void diskRead(const TileKey& key);
    void diskReadDone(const TileKey& key, std::optional<StoredTile> stored, QImage image);
    void enqueue(const TileKey& key, QByteArray etag);
    void pump();
    void finished(QNetworkReply* reply, const TileKey& key, const QByteArray& etag);
    void setOffline(bool offline);
    void keep(const TileKey& key, const QImage& image, const QDateTime& expires);

    TileSource m_source;
    Options m_options;
    QNetworkAccessManager* m_network = nullptr;
    std::unique_ptr<QThreadPool> m_diskPool;
    std::shared_ptr<TileDiskCache> m_disk; ///< used on m_diskPool's one thread only
    QCache<quint64, Loaded> m_memory;
    QSet<quint64> m_pending; ///< read from disk, queued or fetching
    QSet<quint64> m_wanted;  ///< asked for since beginFrame()
    QSet<quint64> m_missing;
    std::deque<std::pair<TileKey, QByteArray>> m_queue; ///< newest first; with the cached ETag
    QHash<quint64, QByteArray> m_etags;
    int m_running = 0;
    int m_diskJobs = 0;
    int m_networkRequests = 0;
    QElapsedTimer m_clock;
    qint64 m_nextStartMs = 0; ///< no request starts before this (pacing, back-off)
    QTimer* m_pumpTimer = nullptr;
    bool m_offline = false;
};

} // namespace kalvora::map
