#include "map/tileloader.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>

#include "services/httpclient.h"

namespace kalvora::map {
namespace {

QImage decodeTile(const QByteArray& data)
{
    QImage image;
    if (!image.loadFromData(data))
        return {};
    // The format the raster engine blends fastest.
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                         : QImage::Format_RGB32);
}

QList<std::pair<QByteArray, QByteArray>> headersOf(const QNetworkReply* reply)
{
    QList<std::pair<QByteArray, QByteArray>> headers;
    for (const auto& pair : reply->rawHeaderPairs())
        headers.append({pair.first, pair.second});
    return headers;
}

} // namespace

TileLoader::TileLoader(TileSource source, Options options, QObject* parent)
    : QObject(parent), m_source(std::move(source)), m_options(std::move(options)),
      m_network(new QNetworkAccessManager(this)), m_diskPool(std::make_unique<QThreadPool>()),
      m_memory(std::max(1, m_options.memoryTiles)), m_pumpTimer(new QTimer(this))
{
    if (m_options.cacheFolder.isEmpty())
        m_options.cacheFolder = TileDiskCache::defaultFolder(m_source.key);
    m_disk = std::make_shared<TileDiskCache>(m_options.cacheFolder, m_options.cacheBytes);
    m_diskPool->setMaxThreadCount(1);
    m_network->setAutoDeleteReplies(true);
    m_network->setTransferTimeout(m_options.timeoutMs);
    m_pumpTimer->setSingleShot(true);
    connect(m_pumpTimer, &QTimer::timeout, this, &TileLoader::pump);
    m_clock.start();
}

TileLoader::~TileLoader()
{
    // Queued hand-backs check the QPointer; waiting here only lets the file writes finish.
    m_diskPool->waitForDone();
}

void TileLoader::beginFrame()
{
    m_wanted.clear();
}

QImage TileLoader::cachedTile(const TileKey& key) const
{
    const Loaded* loaded = m_memory.object(key.packed());
    return loaded ? loaded->image : QImage();
}

QImage TileLoader::tile(const TileKey& key)
{
    const quint64 id = key.packed();
    m_wanted.insert(id);
    const Loaded* loaded = m_memory.object(id);
    if (loaded && (loaded->expires > QDateTime::currentDateTimeUtc() || m_pending.contains(id) || m_offline))
        return loaded->image;
    if (m_missing.contains(id) || m_pending.contains(id))
        return loaded ? loaded->image : QImage();
    m_pending.insert(id);
    if (loaded)
        enqueue(key, m_etags.value(id)); // expired in memory: the disk copy is no newer
    else
        diskRead(key);
    return loaded ? loaded->image : QImage();
}

void TileLoader::diskRead(const TileKey& key)
{
    ++m_diskJobs;
    QPointer<TileLoader> self(this);
    std::shared_ptr<TileDiskCache> disk = m_disk;
    m_diskPool->start([self, disk, key] {
        std::optional<StoredTile> stored = disk->read(key);
        QImage image = stored ? decodeTile(stored->data) : QImage();
        // Handed to the GUI thread through the application object, which outlives the loader.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, key, stored = std::move(stored), image = std::move(image)]() mutable {
                if (self)
                    self->diskReadDone(key, std::move(stored), std::move(image));
            },
            Qt::QueuedConnection);
    });
}

void TileLoader::diskReadDone(const TileKey& key, std::optional<StoredTile> stored, QImage image)
{
    --m_diskJobs;
    const quint64 id = key.packed();
    if (stored && !image.isNull()) {
        keep(key, image, stored->expires);
        m_etags.insert(id, stored->etag);
        emit tileArrived();
        if (stored->expires > QDateTime::currentDateTimeUtc() || m_offline) {
            m_pending.remove(id);
            return;
        }
    }
    enqueue(key, stored ? stored->etag : QByteArray());
}

void TileLoader::enqueue(const TileKey& key, QByteArray etag)
{
    m_queue.emplace_front(key, std::move(etag));
    pump();
}

void TileLoader::pump()
{
    while (!m_queue.empty() && m_running < m_options.maxConnections) {
        // Tiles that scrolled out of view before their turn are not fetched.
        const auto [key, etag] = m_queue.front();
        if (!m_wanted.contains(key.packed())) {
            m_queue.pop_front();
            m_pending.remove(key.packed());
            continue;
        }
        const qint64 now = m_clock.elapsed();
        if (now < m_nextStartMs) {
            m_pumpTimer->start(int(m_nextStartMs - now));
            return;
        }
        m_queue.pop_front();
        m_nextStartMs = now + m_options.minIntervalMs;

        QNetworkRequest request(m_source.tileUrl(key.z, key.x, key.y, key.hiDpi));
        request.setHeader(QNetworkRequest::UserAgentHeader, QString::fromLatin1(userAgent()));
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::NoLessSafeRedirectPolicy);
        if (!etag.isEmpty())
            request.setRawHeader("If-None-Match", etag);
        ++m_running;
        ++m_networkRequests;
        QNetworkReply* reply = m_network->get(request);
        connect(reply, &QNetworkReply::finished, this,
                [this, reply, key, etag] { finished(reply, key, etag); });
    }
}

void TileLoader::finished(QNetworkReply* reply, const TileKey& key, const QByteArray& etag)
{
    --m_running;
    const quint64 id = key.packed();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QDateTime now = QDateTime::currentDateTimeUtc();

    if (status == 0) {
        // No answer at all: unreachable server, refused connection, time-out.
        m_pending.remove(id);
        for (const auto& queued : m_queue)
            m_pending.remove(queued.first.packed());
        m_queue.clear();
        m_nextStartMs = m_clock.elapsed() + m_options.offlineRetryMs;
        setOffline(true);
        emit tileArrived();
        return;
    }
    setOffline(false);
    if (status == 429 || status == 503) {
        const qint64 waitMs =
            retryAfterMs(reply->rawHeader("Retry-After"), now).value_or(m_options.defaultRetryAfterMs);
        m_nextStartMs = std::max(m_nextStartMs, m_clock.elapsed() + waitMs);
        m_queue.emplace_back(key, etag);
        pump();
        return;
    }
    m_pending.remove(id);
    const QDateTime expires = tileExpiry(headersOf(reply), now);
    if (status == 304) {
        if (const Loaded* loaded = m_memory.object(id)) {
            keep(key, QImage(loaded->image), expires);
            // The disk copy keeps its bytes and gets the new expiry.
            std::shared_ptr<TileDiskCache> disk = m_disk;
            m_diskPool->start([disk, key, expires] {
                if (std::optional<StoredTile> stored = disk->read(key)) {
                    stored->expires = expires;
                    disk->write(key, *stored);
                }
            });
        }
        pump();
        return;
    }
    if (status == 404 || status == 410) {
        m_missing.insert(id);
        emit tileArrived();
        pump();
        return;
    }
    if (status >= 200 && status < 300) {
        StoredTile stored{reply->readAll(), expires, reply->rawHeader("ETag")};
        const QImage image = decodeTile(stored.data);
        if (!image.isNull()) {
            keep(key, image, expires);
            m_etags.insert(id, stored.etag);
            std::shared_ptr<TileDiskCache> disk = m_disk;
            m_diskPool->start([disk, key, stored = std::move(stored)] { disk->write(key, stored); });
            emit tileArrived();
        } else {
            m_missing.insert(id); // not an image: nothing to gain by asking again
        }
    }
    // Other statuses (500, 403, ...): the tile stays blank until it is needed again.
    pump();
}

void TileLoader::keep(const TileKey& key, const QImage& image, const QDateTime& expires)
{
    m_memory.insert(key.packed(), new Loaded{image, expires});
}

void TileLoader::setOffline(bool offline)
{
    if (m_offline == offline)
        return;
    m_offline = offline;
    emit offlineChanged(offline);
}

bool TileLoader::isIdle() const
{
    return m_diskJobs == 0 && m_running == 0 && (m_queue.empty() || m_offline);
}

bool TileLoader::waitUntilIdle(int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!isIdle() && timer.elapsed() < timeoutMs) {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return isIdle();
}

} // namespace kalvora::map
