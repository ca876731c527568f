#include "map/tilecache.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimeZone>

#include <algorithm>
#include <vector>

namespace kalvora::map {
namespace {

constexpr QByteArrayView kMagic = "KALVORA-TILE 1";
constexpr qint64 kMaxHeaderBytes = 1024;

QDateTime parseHttpDate(const QByteArray& value)
{
    // "Wed, 21 Oct 2015 07:28:00 GMT", the form RFC 9110 asks senders to use.
    QDateTime parsed = QLocale::c().toDateTime(QString::fromLatin1(value.trimmed()),
                                               QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
    if (parsed.isValid())
        parsed.setTimeZone(QTimeZone::utc());
    return parsed;
}

} // namespace

QDateTime tileExpiry(const QList<std::pair<QByteArray, QByteArray>>& headers, const QDateTime& now,
                     qint64 defaultLifetimeS)
{
    QByteArray cacheControl;
    QByteArray expires;
    for (const auto& [name, value] : headers) {
        if (name.compare("cache-control", Qt::CaseInsensitive) == 0)
            cacheControl = value.toLower();
        else if (name.compare("expires", Qt::CaseInsensitive) == 0)
            expires = value;
    }
    for (QByteArray directive : cacheControl.split(',')) {
        directive = directive.trimmed();
        if (directive == "no-cache" || directive == "no-store")
            return now;
        if (directive.startsWith("max-age=")) {
            bool ok = false;
            const qint64 seconds = directive.mid(8).trimmed().toLongLong(&ok);
            if (ok && seconds >= 0)
                return now.addSecs(seconds);
        }
    }
    if (!expires.isEmpty()) {
        const QDateTime date = parseHttpDate(expires);
        // An unreadable Expires means "already expired" (RFC 9111 5.3).
        return date.isValid() ? date : now;
    }
    return now.addSecs(defaultLifetimeS);
}

std::optional<qint64> retryAfterMs(const QByteArray& value, const QDateTime& now)
{
    if (value.trimmed().isEmpty())
        return std::nullopt;
    bool ok = false;
    const qint64 seconds = value.trimmed().toLongLong(&ok);
    if (ok)
        return seconds >= 0 ? std::optional<qint64>(seconds * 1000) : std::nullopt;
    const QDateTime date = parseHttpDate(value);
    if (!date.isValid())
        return std::nullopt;
    return std::max<qint64>(0, now.msecsTo(date));
}

TileDiskCache::TileDiskCache(QString folder, qint64 maxBytes)
    : m_folder(std::move(folder)), m_maxBytes(maxBytes)
{}

QString TileDiskCache::defaultFolder(const QString& sourceKey)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/kalvora/tiles/") + sourceKey;
}

QString TileDiskCache::pathOf(const TileKey& key) const
{
    return QStringLiteral("%1/%2/%3/%4%5.tile")
        .arg(m_folder)
        .arg(key.z)
        .arg(key.x)
        .arg(key.y)
        .arg(key.hiDpi ? QStringLiteral("@2x") : QString());
}

std::optional<StoredTile> TileDiskCache::read(const TileKey& key) const
{
    QFile file(pathOf(key));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray header = file.readLine(kMaxHeaderBytes).trimmed();
    const QList<QByteArray> fields = header.split(' ');
    // "KALVORA-TILE 1 <expiry, ms since 1970 UTC> [etag]"
    if (fields.size() < 3 || !header.startsWith(kMagic))
        return std::nullopt;
    bool ok = false;
    const qint64 expiresMs = fields[2].toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    StoredTile tile;
    tile.expires = QDateTime::fromMSecsSinceEpoch(expiresMs, QTimeZone::utc());
    if (fields.size() > 3)
        tile.etag = QByteArray::fromHex(fields[3]);
    tile.data = file.readAll();
    if (tile.data.isEmpty())
        return std::nullopt;
    // The least recently used tiles go first when the cache is trimmed.
    file.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime);
    return tile;
}

bool TileDiskCache::write(const TileKey& key, const StoredTile& tile)
{
    const QString path = pathOf(key);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    const qint64 before = QFileInfo(path).exists() ? QFileInfo(path).size() : 0;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray header = kMagic.toByteArray() + ' ' + QByteArray::number(tile.expires.toMSecsSinceEpoch());
    if (!tile.etag.isEmpty())
        header += ' ' + tile.etag.toHex();
    header += '\n';
    file.write(header);
    file.write(tile.data);
    if (!file.commit())
        return false;
    if (m_usedBytes >= 0)
        m_usedBytes += header.size() + tile.data.size() - before;
    if (usedBytes() > m_maxBytes)
        trim();
    return true;
}

qint64 TileDiskCache::usedBytes()
{
    if (m_usedBytes < 0) {
        m_usedBytes = 0;
        QDirIterator it(m_folder, {QStringLiteral("*.tile")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            m_usedBytes += it.nextFileInfo().size();
    }
    return m_usedBytes;
}

void TileDiskCache::trim()
{
    struct Entry
    {
        QString path;
        QDateTime used;
        qint64 bytes;
    };
    std::vector<Entry> entries;
    qint64 total = 0;
    QDirIterator it(m_folder, {QStringLiteral("*.tile")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        entries.push_back({info.filePath(), info.lastModified(), info.size()});
        total += info.size();
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.used < b.used; });
    const qint64 target = m_maxBytes / 10 * 9;
    for (const Entry& entry : entries) {
        if (total <= target)
            break;
        if (QFile::remove(entry.path))
            total -= entry.bytes;
    }
    m_usedBytes = total;
}

} // namespace kalvora::map
