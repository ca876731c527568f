#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "clirunner.h"
#include "export/flightstats.h"
#include "map/webmercator.h"
#include "support/httpserver.h"
#include "support/testdata.h"

namespace kalvora::test {
namespace {

QByteArray whiteTile()
{
    QImage image(256, 256, QImage::Format_RGB32);
    image.fill(Qt::white);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

class MapCommand : public ::testing::Test
{
protected:
    void SetUp() override
    {
        KALVORA_REQUIRE_TESTDATA();
        ASSERT_TRUE(m_dir.isValid());
        m_env = freshUserEnvironment(m_dir.path());
        const CliRun imported =
            runCli({QStringLiteral("import"), logbook(), QString::fromStdString(igcPath("tri.igc")),
                    QStringLiteral("--offline")},
                   m_env, 240000);
        ASSERT_EQ(imported.exitCode, 0) << imported.err.toStdString();
        m_flightId = QJsonDocument::fromJson(imported.out)
                         .object()
                         .value(QStringLiteral("flights"))
                         .toArray()
                         .first()
                         .toObject()
                         .value(QStringLiteral("id"))
                         .toString();
        ASSERT_FALSE(m_flightId.isEmpty());
    }

    QString logbook() const { return m_dir.filePath(QStringLiteral("book.kalvora")); }
    QString image() const { return m_dir.filePath(QStringLiteral("tri.png")); }

    QTemporaryDir m_dir;
    QProcessEnvironment m_env;
    QString m_flightId;
};

TEST_F(MapCommand, DrawsTheTrackWhereTheProjectionPutsItAndCachesTheTiles)
{
    const QByteArray tile = whiteTile();
    LocalHttpServer server([&tile](const HttpServerRequest&) {
        HttpServerResponse response;
        response.contentType = "image/png";
        response.body = tile;
        return response;
    });
    const QString tiles = server.baseUrl().toString() + QStringLiteral("/{z}/{x}/{y}.png");
    const QStringList args{
        QStringLiteral("map"),     logbook(), QStringLiteral("--flight"), m_flightId,
        QStringLiteral("-o"),      image(),   QStringLiteral("--size"),   QStringLiteral("800x600"),
        QStringLiteral("--tiles"), tiles,     QStringLiteral("--colour"), QStringLiteral("plain")};
    const CliRun run = runCli(args, m_env);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject result = QJsonDocument::fromJson(run.out).object();
    EXPECT_FALSE(result.value(QStringLiteral("offline")).toBool());
    const int requests = server.requestCount();
    EXPECT_EQ(result.value(QStringLiteral("tileRequests")).toInt(), requests);
    EXPECT_GE(requests, 12); // 800 x 600 px is at least 4 x 3 tiles

    QImage picture(image());
    ASSERT_EQ(picture.size(), QSize(800, 600));
    map::MapViewport view;
    view.size = QSizeF(800, 600);
    view.zoom = result.value(QStringLiteral("zoom")).toDouble();
    view.center = map::toMercator({result.value(QStringLiteral("centerLatitude")).toDouble(),
                                   result.value(QStringLiteral("centerLongitude")).toDouble()});

    QFile igc(QString::fromStdString(igcPath("tri.igc")));
    ASSERT_TRUE(igc.open(QIODevice::ReadOnly));
    const QByteArray text = igc.readAll();
    const std::vector<StatsTrackPoint> fixes =
        statsTrackPoints(std::string_view(text.constData(), size_t(text.size())));
    ASSERT_GT(fixes.size(), 4000u);
    int onTrack = 0;
    int sampled = 0;
    for (std::size_t i = fixes.size() / 10; i < fixes.size() * 9 / 10; i += fixes.size() / 25) {
        const QPointF at =
            view.toScreen(map::GeoPoint{fixes[i].fix.latitudeE6 / 1e6, fixes[i].fix.longitudeE6 / 1e6});
        ASSERT_TRUE(QRectF(0, 0, 800, 600).contains(at)) << i;
        ++sampled;
        // Plain colouring of one flight: black with a white halo; the tiles are white.
        // The scored triangle's blue legs run along the track in places and lie over it.
        const QColor seen = picture.pixelColor(at.toPoint());
        onTrack += seen.lightness() < 100 || seen.saturation() > 100;
    }
    // The label of the figure may hide a sample or two.
    EXPECT_GE(onTrack, sampled - 2) << onTrack << " of " << sampled;
    EXPECT_EQ(picture.pixelColor(795, 300), QColor(Qt::white));

    // Again, with the tiles on disk: no request.
    const CliRun again = runCli(args, m_env);
    ASSERT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_EQ(server.requestCount(), requests);
}

TEST_F(MapCommand, WithoutTilesTheMapIsStillDrawnAndBadArgumentsAreRefused)
{
    // The environment points the tiles at a closed port.
    const CliRun offline = runCli({QStringLiteral("map"), logbook(), QStringLiteral("--flight"), m_flightId,
                                   QStringLiteral("-o"), image()},
                                  m_env);
    ASSERT_EQ(offline.exitCode, 0) << offline.err.toStdString();
    EXPECT_TRUE(QJsonDocument::fromJson(offline.out).object().value(QStringLiteral("offline")).toBool());
    EXPECT_FALSE(QImage(image()).isNull());

    const QStringList base{QStringLiteral("map"), logbook(), QStringLiteral("--flight"), m_flightId};
    EXPECT_EQ(runCli(base + QStringList{QStringLiteral("-o"), image(), QStringLiteral("--size"),
                                        QStringLiteral("10x10")},
                     m_env)
                  .exitCode,
              2);
    EXPECT_EQ(
        runCli(base + QStringList{QStringLiteral("-o"), m_dir.filePath(QStringLiteral("map.jpg"))}, m_env)
            .exitCode,
        2);
    EXPECT_EQ(runCli(base + QStringList{QStringLiteral("-o"), image(), QStringLiteral("--tiles"),
                                        QStringLiteral("http://127.0.0.1:1/tile.png")},
                     m_env)
                  .exitCode,
              2);
    const CliRun unknown =
        runCli({QStringLiteral("map"), logbook(), QStringLiteral("--flight"),
                QStringLiteral("x-kalvora://nothing/Flight/p99"), QStringLiteral("-o"), image()},
               m_env);
    EXPECT_NE(unknown.exitCode, 0);
    EXPECT_FALSE(unknown.err.isEmpty());
}

} // namespace
} // namespace kalvora::test
