#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QTimeZone>
#include <QImage>
#include <QMutex>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>

#include "map/tilecache.h"
#include "map/tilemap.h"
#include "support/httpserver.h"
#include "tileserver/tilegen.h"

namespace kalvora::map {
namespace {

using test::HttpServerRequest;
using test::HttpServerResponse;
using test::LocalHttpServer;

/** A loopback tile server whose answers a test can shape, recording when each request came. */
class TileServer
{
public:
    std::function<void(HttpServerResponse&, const QByteArray& path)> shape;

    TileServer()
        : m_server([this](const HttpServerRequest& request) {
              HttpServerResponse response;
              {
                  QMutexLocker lock(&m_mutex);
                  m_arrivalsMs.append(m_clock.elapsed());
              }
              static const QRegularExpression tilePath(QStringLiteral("^/(\\d+)/(\\d+)/(\\d+)(@2x)?\\.png$"));
              const QRegularExpressionMatch match = tilePath.match(QString::fromLatin1(request.path));
              if (!match.hasMatch()) {
                  response.status = 404;
                  return response;
              }
              response.contentType = "image/png";
              response.body = m_png;
              response.headers = {{"Cache-Control", "max-age=3600"}};
              if (shape)
                  shape(response, request.path);
              return response;
          })
    {
        QImage image(256, 256, QImage::Format_RGB32);
        image.fill(QColor(10, 200, 10));
        QBuffer buffer(&m_png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        m_clock.start();
    }

    TileSource source() const
    {
        TileSource source;
        source.key = QStringLiteral("loopback");
        source.urlTemplate = m_server.baseUrl().toString() + QStringLiteral("/{z}/{x}/{y}.png");
        source.attribution = QStringLiteral("test tiles");
        source.maxZoom = 18;
        return source;
    }
    LocalHttpServer& server() { return m_server; }
    QList<qint64> arrivalsMs() const
    {
        QMutexLocker lock(&m_mutex);
        return m_arrivalsMs;
    }

private:
    QByteArray m_png;
    QElapsedTimer m_clock;
    mutable QMutex m_mutex;
    QList<qint64> m_arrivalsMs;
    LocalHttpServer m_server;
};

TileLoader::Options fastOptions(const QString& folder)
{
    TileLoader::Options options;
    options.cacheFolder = folder;
    options.minIntervalMs = 0;
    options.maxConnections = 2;
    options.timeoutMs = 3000;
    return options;
}

QImage drawn(TileMap& map)
{
    QImage image(map.viewport().size.toSize(), QImage::Format_RGB32);
    QPainter painter(&image);
    map.draw(painter);
    return image;
}

void showAlps(TileMap& map)
{
    map.viewport().size = QSizeF(500, 300);
    map.viewport().center = toMercator({46.0, 8.0});
    map.viewport().zoom = 9;
}

TEST(TileLoader, AsksOnceWithItsUserAgentThenServesFromTheDiskCache)
{
    TileServer tiles;
    QTemporaryDir cache;
    int firstRun = 0;
    {
        TileMap map(tiles.source(), fastOptions(cache.path()));
        showAlps(map);
        ASSERT_TRUE(map.loadTiles(10000));
        firstRun = tiles.server().requestCount();
        // 500 x 300 px at a fractional offset: a 3 x 2 to 4 x 3 block of tiles.
        EXPECT_GE(firstRun, 6);
        EXPECT_LE(firstRun, 12);
        const QImage image = drawn(map);
        EXPECT_EQ(image.pixelColor(250, 150), QColor(10, 200, 10));
        // Drawing again asks for nothing: the tiles are in memory.
        (void)drawn(map);
        ASSERT_TRUE(map.loader()->waitUntilIdle(5000));
        EXPECT_EQ(tiles.server().requestCount(), firstRun);
    }
    for (const HttpServerRequest& request : tiles.server().requests())
        EXPECT_TRUE(request.headers.value("user-agent").startsWith("Kalvora/"))
            << request.headers.value("user-agent").toStdString();

    // A new session (a restart) reads the same tiles from disk.
    TileMap again(tiles.source(), fastOptions(cache.path()));
    showAlps(again);
    ASSERT_TRUE(again.loadTiles(10000));
    EXPECT_EQ(tiles.server().requestCount(), firstRun);
    EXPECT_EQ(drawn(again).pixelColor(250, 150), QColor(10, 200, 10));
}

TEST(TileLoader, PacesRequestsAndNeverRunsMoreThanTwoAtOnce)
{
    TileServer tiles;
    tiles.shape = [](HttpServerResponse& response, const QByteArray&) {
        response.delayMs = 150; // slow answers keep both connections busy
    };
    QTemporaryDir cache;
    TileLoader::Options options = fastOptions(cache.path());
    options.minIntervalMs = 80;
    TileMap map(tiles.source(), options);
    showAlps(map);
    ASSERT_TRUE(map.loadTiles(20000));
    const QList<qint64> arrivals = tiles.arrivalsMs();
    ASSERT_GE(arrivals.size(), 6);
    for (qsizetype i = 1; i < arrivals.size(); ++i)
        EXPECT_GE(arrivals[i] - arrivals[i - 1], 70) << "request " << i;
    // With 150 ms answers and two connections, at most two requests start within any 150 ms.
    for (qsizetype i = 2; i < arrivals.size(); ++i)
        EXPECT_GE(arrivals[i] - arrivals[i - 2], 140) << "request " << i;
}

TEST(TileLoader, MissingTilesAreNotAskedAgainAndTooManyRequestsPause)
{
    TileServer tiles;
    std::atomic<int> calls{0};
    tiles.shape = [&](HttpServerResponse& response, const QByteArray& path) {
        if (path.startsWith("/9/267/"))
            response.status = 404;
        else if (++calls == 1) {
            response.status = 429;
            response.headers = {{"Retry-After", "1"}};
        }
    };
    QTemporaryDir cache;
    TileLoader::Options options = fastOptions(cache.path());
    options.maxConnections = 1;
    TileMap map(tiles.source(), options);
    showAlps(map);
    ASSERT_TRUE(map.loadTiles(20000));
    const QList<qint64> arrivals = tiles.arrivalsMs();
    ASSERT_GE(arrivals.size(), 3);
    // After the 429 nothing is asked for a second.
    EXPECT_GE(arrivals[1] - arrivals[0], 950);
    const int settled = tiles.server().requestCount();
    (void)drawn(map);
    ASSERT_TRUE(map.loader()->waitUntilIdle(5000));
    EXPECT_EQ(tiles.server().requestCount(), settled);
    EXPECT_FALSE(map.loader()->isOffline());
    // The missing column keeps the graticule's plain land colour.
    const QImage image = drawn(map);
    const QPointF missing = map.viewport().toScreen(MercatorPoint{(267 + 0.5) / 512.0, (179 + 0.5) / 512.0});
    if (QRectF(0, 0, 500, 300).contains(missing)) {
        EXPECT_NE(image.pixelColor(missing.toPoint()), QColor(10, 200, 10));
    }
}

TEST(TileLoader, ExpiredTilesAreShownAndAskedForAgainWithTheirETag)
{
    TileServer tiles;
    std::atomic<bool> fresh{false};
    tiles.shape = [&](HttpServerResponse& response, const QByteArray&) {
        response.headers = {{"Cache-Control", fresh ? "max-age=3600" : "max-age=0"}, {"ETag", "\"v1\""}};
    };
    QTemporaryDir cache;
    {
        TileMap map(tiles.source(), fastOptions(cache.path()));
        showAlps(map);
        ASSERT_TRUE(map.loadTiles(10000));
    }
    const int first = tiles.server().requestCount();
    tiles.shape = [&](HttpServerResponse& response, const QByteArray&) {
        response.status = 304;
        response.body.clear();
        response.headers = {{"Cache-Control", "max-age=3600"}};
    };
    {
        TileMap map(tiles.source(), fastOptions(cache.path()));
        showAlps(map);
        ASSERT_TRUE(map.loadTiles(10000));
        EXPECT_EQ(tiles.server().requestCount(), 2 * first);
        EXPECT_EQ(drawn(map).pixelColor(250, 150), QColor(10, 200, 10));
    }
    const QList<HttpServerRequest> requests = tiles.server().requests();
    EXPECT_EQ(requests.last().headers.value("if-none-match"), QByteArray("\"v1\""));
    // The 304 renewed the stored expiry: a third session asks for nothing.
    TileMap map(tiles.source(), fastOptions(cache.path()));
    showAlps(map);
    ASSERT_TRUE(map.loadTiles(10000));
    EXPECT_EQ(tiles.server().requestCount(), 2 * first);
}

TEST(TileLoader, ADeadServerLeavesAGraticuleMapWithSavedTilesAndANote)
{
    QTemporaryDir cache;
    TileServer tiles;
    TileSource source = tiles.source();
    {
        TileMap map(source, fastOptions(cache.path()));
        showAlps(map);
        ASSERT_TRUE(map.loadTiles(10000));
    }
    source.urlTemplate = LocalHttpServer::closedPortUrl().toString() + QStringLiteral("/{z}/{x}/{y}.png");
    TileMap map(source, fastOptions(cache.path()));
    showAlps(map);
    map.viewport().panBy(QPointF(-300, 0)); // half the view now lies on tiles never fetched
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(map.loadTiles(10000));
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_TRUE(map.loader()->isOffline());
    EXPECT_FALSE(map.offlineNote().isEmpty());
    const QImage image = drawn(map);
    EXPECT_EQ(image.pixelColor(20, 150), QColor(10, 200, 10));    // saved tile
    EXPECT_EQ(image.pixelColor(480, 200), QColor(242, 239, 233)); // plain land of the graticule
    // Still a map: panning and zooming keep working offline.
    map.viewport().zoomAround(11, QPointF(100, 100), 1, 18);
    EXPECT_TRUE(map.loadTiles(5000));
    EXPECT_FALSE(drawn(map).isNull());
}

TEST(TileLoader, ASlowServerTimesOutInsteadOfHanging)
{
    TileServer tiles;
    tiles.shape = [](HttpServerResponse& response, const QByteArray&) { response.delayMs = 4000; };
    QTemporaryDir cache;
    TileLoader::Options options = fastOptions(cache.path());
    options.timeoutMs = 300;
    TileMap map(tiles.source(), options);
    showAlps(map);
    EXPECT_TRUE(map.loadTiles(10000));
    EXPECT_TRUE(map.loader()->isOffline());
}

TEST(TileLoader, HighResolutionTilesWhereTheSourceHasThem)
{
    TileServer tiles;
    QTemporaryDir cache;
    TileSource source = tiles.source();
    source.urlTemplate = tiles.server().baseUrl().toString() + QStringLiteral("/{z}/{x}/{y}{r}.png");
    {
        TileMap map(source, fastOptions(cache.path()));
        showAlps(map);
        map.setDevicePixelRatio(2);
        ASSERT_TRUE(map.loadTiles(10000));
    }
    const int sharp = tiles.server().requestCount();
    ASSERT_GT(sharp, 0);
    for (const HttpServerRequest& request : tiles.server().requests())
        EXPECT_TRUE(request.path.endsWith("@2x.png")) << request.path.toStdString();
    // A source without them is asked for its ordinary tiles on the same screen.
    TileMap plain(tiles.source(), fastOptions(cache.path() + QStringLiteral("/plain")));
    showAlps(plain);
    plain.setDevicePixelRatio(2);
    ASSERT_TRUE(plain.loadTiles(10000));
    const QList<HttpServerRequest> requests = tiles.server().requests();
    for (qsizetype i = sharp; i < requests.size(); ++i)
        EXPECT_FALSE(requests[i].path.contains("@2x")) << requests[i].path.toStdString();
}

TEST(TileDiskCache, StaysWithinItsLimitDroppingTheLeastRecentlyUsed)
{
    QTemporaryDir folder;
    TileDiskCache cache(folder.path(), 20000);
    const StoredTile tile{QByteArray(3000, 'x'), QDateTime::currentDateTimeUtc().addDays(1), "\"e\""};
    ASSERT_TRUE(cache.write({5, 1, 1, false}, tile));
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(cache.write({5, 2, i, false}, tile));
    EXPECT_LE(cache.usedBytes(), 20000);
    EXPECT_FALSE(cache.read({5, 1, 1, false}));
    const std::optional<StoredTile> last = cache.read({5, 2, 19, false});
    ASSERT_TRUE(last);
    EXPECT_EQ(last->data, tile.data);
    EXPECT_EQ(last->etag, tile.etag);
    // A damaged file reads as absent.
    QFile damaged(folder.filePath(QStringLiteral("5/2/18.tile")));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("garbage");
    damaged.close();
    EXPECT_FALSE(cache.read({5, 2, 18, false}));
}

TEST(TileExpiry, HeadersDecideHowLongATileIsKept)
{
    const QDateTime now(QDate(2026, 6, 21), QTime(12, 0), QTimeZone::utc());
    EXPECT_EQ(tileExpiry({{"Cache-Control", "public, max-age=600"}}, now), now.addSecs(600));
    EXPECT_EQ(tileExpiry({{"cache-control", "no-cache"}}, now), now);
    EXPECT_EQ(tileExpiry({{"Expires", "Sun, 21 Jun 2026 13:30:00 GMT"}}, now), now.addSecs(5400));
    EXPECT_EQ(tileExpiry({{"Expires", "0"}}, now), now);
    EXPECT_EQ(tileExpiry({}, now), now.addDays(7));
    EXPECT_EQ(
        tileExpiry({{"Cache-Control", "max-age=60"}, {"Expires", "Sun, 21 Jun 2026 13:30:00 GMT"}}, now),
        now.addSecs(60));
    EXPECT_EQ(retryAfterMs("2", now), 2000);
    EXPECT_EQ(retryAfterMs("Sun, 21 Jun 2026 12:00:05 GMT", now), 5000);
    EXPECT_FALSE(retryAfterMs("soon", now));
    EXPECT_FALSE(retryAfterMs("", now));
}

TEST(TileSources, UrlsAndTheEnvironmentOverride)
{
    const TileSource osm = builtInTileSources().first();
    EXPECT_EQ(osm.tileUrl(3, 4, 5, true), QUrl(QStringLiteral("https://tile.openstreetmap.org/3/4/5.png")));
    EXPECT_FALSE(osm.hasHiDpiTiles());
    const TileSource custom = customTileSource(QStringLiteral("http://127.0.0.1:1/{s}/{z}/{x}/{y}{r}.png"));
    EXPECT_TRUE(custom.hasHiDpiTiles());
    EXPECT_EQ(custom.tileUrl(3, 4, 5, true).toString(), QStringLiteral("http://127.0.0.1:1/a/3/4/5@2x.png"));
    EXPECT_EQ(custom.tileUrl(3, 4, 4, false).toString(), QStringLiteral("http://127.0.0.1:1/c/3/4/4.png"));
    qputenv(tileUrlEnvironmentVariable, "http://127.0.0.1:9/{z}/{x}/{y}.png");
    EXPECT_EQ(currentTileSource().urlTemplate, QStringLiteral("http://127.0.0.1:9/{z}/{x}/{y}.png"));
    qunsetenv(tileUrlEnvironmentVariable);
    EXPECT_EQ(currentTileSource().key, QStringLiteral("osm"));
}

TEST(GeneratedTiles, NeighboursJoinWithoutASeam)
{
    QImage left, right;
    ASSERT_TRUE(left.loadFromData(tilegen::tilePng(10, 530, 360)));
    ASSERT_TRUE(right.loadFromData(tilegen::tilePng(10, 531, 360)));
    int close = 0;
    for (int y = 0; y < 256; y += 8) {
        const QColor a = left.pixelColor(255, y);
        const QColor b = right.pixelColor(0, y);
        close += std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) < 60;
    }
    EXPECT_GE(close, 20); // contour lines may meet the edge
}

} // namespace
} // namespace kalvora::map
