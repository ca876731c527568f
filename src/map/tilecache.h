#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>
#include <utility>

namespace kalvora::map {

/** One tile of a source: zoom, column, row, and whether it is the double-resolution one. */
struct TileKey
{
    int z = 0;
    int x = 0;
    int y = 0;
    bool hiDpi = false;
    bool operator==(const TileKey&) const = default;
    /** A number unique for every key of zoom up to 26. */
    [[nodiscard]] quint64 packed() const
    {
        return (quint64(z) << 58) | (quint64(x) << 30) | (quint64(y) << 2) | (hiDpi ? 1u : 0u);
    }
};

/** A tile as it came from the server, with what the server said about keeping it. */
struct StoredTile
{
    QByteArray data;   ///< the image file as sent (PNG, JPEG)
    QDateTime expires; ///< UTC; a tile read after this is shown but fetched again
    QByteArray etag;   ///< for a conditional request; empty when the server sent none
    bool operator==(const StoredTile&) const = default;
};

/**
 * [UTC] When a tile fetched at NOW expires, from the answer's headers (names
 * case-insensitive): Cache-Control max-age first, else Expires, else NOW plus
 * DEFAULTLIFETIMES (the tile policies ask for a week without a header).
 * "no-cache" and "no-store" count as expired at once.
 */
[[nodiscard]] QDateTime tileExpiry(const QList<std::pair<QByteArray, QByteArray>>& headers,
                                   const QDateTime& now, qint64 defaultLifetimeS = 7 * 24 * 3600);
/** [ms] The wait asked for by a Retry-After header (seconds or an HTTP date); nullopt when absent or
 * unreadable. */
[[nodiscard]] std::optional<qint64> retryAfterMs(const QByteArray& value, const QDateTime& now);

/**
 * Tiles on disk under one folder ("z/x/y.tile", "y@2x.tile" for double
 * resolution), each file a header line with expiry and ETag and then the image
 * bytes. The folder never grows past its byte limit: a write that passes it
 * deletes the least recently used tiles down to nine tenths of the limit.
 *
 * Not thread-safe: the loader uses it from one worker at a time.
 */
class TileDiskCache
{
public:
    TileDiskCache(QString folder, qint64 maxBytes);

    /** The tile, or nullopt when it is not stored or its file is unreadable or damaged. Touches it as used.
     */
    [[nodiscard]] std::optional<StoredTile> read(const TileKey& key) const;
    /** Stores TILE, replacing the file atomically; false when the folder cannot be written. */
    bool write(const TileKey& key, const StoredTile& tile);
    /** [bytes] The size of the stored tiles (counted on first use, then kept up to date). */
    [[nodiscard]] qint64 usedBytes();
    [[nodiscard]] const QString& folder() const { return m_folder; }
    [[nodiscard]] qint64 maxBytes() const { return m_maxBytes; }

    /** The cache folder of source SOURCEKEY under the user's XDG cache folder. */
    [[nodiscard]] static QString defaultFolder(const QString& sourceKey);

private:
    QString pathOf(const TileKey& key) const;
    void trim();

    QString m_folder;
    qint64 m_maxBytes;
    qint64 m_usedBytes = -1; ///< -1: not counted yet
};

} // namespace kalvora::map
