// The map's drawing: one frame of panning over a 40,000-fix track with every
// tile cached (the goal is 16 ms, 60 frames a second), across shapes that are
// hard on a track drawer (ridge soaring, back and forth on one line, a noisy
// glide, a 20-hour flight), and opening the flight map for a selected flight
// (the goal is 200 ms), for a generated 40,000-fix track and the largest
// real recording.
#include <QApplication>
#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimeZone>

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <string>

#include "map/flightlayer.h"
#include "map/tilecache.h"
#include "map/tilemap.h"
#include "model/flight.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"
#include "tileserver/tilegen.h"
#include "ui/logbookwindowcontroller.h"
#include "ui/map/altitudeprofile.h"
#include "ui/map/flightmapwindowcontroller.h"
#include "ui/map/mapwidget.h"
#include "xcshapes/xcshapes.h"

namespace {

using namespace kalvora;

constexpr std::size_t kFixes = 40000;
const QSize kFrame(1280, 720);

/** The shape NAME cut or thinned to 40,000 fixes. */
xcshapes::Shape shapeNamed(const std::string& name)
{
    for (const xcshapes::Shape& shape : xcshapes::allShapes()) {
        if (shape.name != name)
            continue;
        xcshapes::Shape cut = shape.fixes.size() > 2 * kFixes
                                  ? xcshapes::thinned(shape, int(shape.fixes.size() / kFixes))
                                  : shape;
        if (cut.fixes.size() > kFixes)
            cut.fixes.resize(kFixes);
        return cut;
    }
    return {};
}

map::FlightTrack trackOf(const xcshapes::Shape& shape)
{
    map::FlightTrack track;
    track.color = Qt::black;
    for (const xcshapes::ShapeFix& fix : shape.fixes)
        track.fixes.push_back({{fix.latitudeDeg, fix.longitudeDeg}, double(fix.altitudeM), fix.timeS});
    track.takeoff = 0;
    track.landing = track.fixes.size() - 1;
    return track;
}

map::TileSource offlineSource()
{
    map::TileSource source;
    source.key = QStringLiteral("bench");
    source.urlTemplate = QStringLiteral("http://127.0.0.1:9/{z}/{x}/{y}.png");
    source.attribution = QStringLiteral("generated tiles");
    source.maxZoom = 18;
    return source;
}

/** Stores one generated tile under every key the view and its panning circle (RADIUS px) can show. */
void cacheTilesAround(const map::MapViewport& view, double radiusPx, const QString& folder)
{
    map::TileDiskCache cache(folder + QStringLiteral("/bench"), 1LL << 32);
    const QByteArray png = tilegen::tilePng(10, 530, 360);
    const int z = int(std::round(view.zoom));
    const double n = std::exp2(z);
    const QRectF world =
        view.worldRect().adjusted(-radiusPx / view.pixelsPerUnit(), -radiusPx / view.pixelsPerUnit(),
                                  radiusPx / view.pixelsPerUnit(), radiusPx / view.pixelsPerUnit());
    const map::StoredTile tile{png, QDateTime::currentDateTimeUtc().addDays(30), {}};
    for (int y = std::max(0, int(world.top() * n)); y <= std::min(int(n) - 1, int(world.bottom() * n)); ++y)
        for (int x = int(std::floor(world.left() * n)); x <= int(std::floor(world.right() * n)); ++x)
            cache.write({z, map::wrapColumn(x, z), y, false}, tile);
}

void panFrame(benchmark::State& state, const std::string& name, map::TrackColouring colouring, int zoomIn)
{
    const xcshapes::Shape shape = shapeNamed(name);
    if (shape.fixes.empty()) {
        state.SkipWithError("no such shape");
        return;
    }
    map::FlightLayer layer;
    layer.setTracks({trackOf(shape)});
    layer.setColouring(colouring);
    QTemporaryDir folder;
    map::TileLoader::Options options;
    options.cacheFolder = folder.path();
    options.memoryTiles = 2000;
    map::TileMap tileMap(offlineSource(), options);
    tileMap.viewport().size = QSizeF(kFrame);
    tileMap.addLayer(&layer);
    tileMap.fitTo(layer.bounds(), 36);
    tileMap.viewport().zoom += zoomIn;
    const double radius = 150;
    cacheTilesAround(tileMap.viewport(), radius + 20, folder.path());
    // Every tile of the panning circle into memory, and the zoom level's simplification made.
    for (int step = 0; step < 8; ++step) {
        const double a = step * std::numbers::pi / 4;
        tileMap.viewport().panBy(QPointF(radius * std::cos(a), radius * std::sin(a)));
        tileMap.loadTiles(20000);
        tileMap.viewport().panBy(-QPointF(radius * std::cos(a), radius * std::sin(a)));
    }
    QImage frame(kFrame, QImage::Format_RGB32);
    {
        QPainter painter(&frame);
        tileMap.draw(painter); // the first frame at this zoom draws the tracks' image
    }
    // A drag: 3 px a frame around a circle.
    int step = 0;
    for (auto _ : state) {
        const double a = step++ * 0.02;
        tileMap.viewport().panBy(QPointF(3 * std::cos(a), 3 * std::sin(a)));
        QPainter painter(&frame);
        tileMap.draw(painter);
        painter.end();
        benchmark::DoNotOptimize(frame.constBits());
    }
    state.counters["fixes"] = double(shape.fixes.size());
    state.counters["drawn"] = double(layer.simplifiedSize(0, int(std::round(tileMap.viewport().zoom))));
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

/** A frame right after a zoom step (wheel or +/-): the tracks are drawn anew at the new level. */
void zoomFrame(benchmark::State& state, const std::string& name)
{
    const xcshapes::Shape shape = shapeNamed(name);
    map::FlightLayer layer;
    layer.setTracks({trackOf(shape)});
    layer.setColouring(map::TrackColouring::Altitude);
    QTemporaryDir folder;
    map::TileLoader::Options options;
    options.cacheFolder = folder.path();
    map::TileMap tileMap(offlineSource(), options);
    tileMap.viewport().size = QSizeF(kFrame);
    tileMap.addLayer(&layer);
    tileMap.fitTo(layer.bounds(), 36);
    const double fitted = tileMap.viewport().zoom;
    QImage frame(kFrame, QImage::Format_RGB32);
    int step = 0;
    for (auto _ : state) {
        // In and out between the fitted level and three further in.
        tileMap.viewport().zoom = fitted + (step++ % 4);
        QPainter painter(&frame);
        tileMap.draw(painter);
        painter.end();
        benchmark::DoNotOptimize(frame.constBits());
    }
}

void openFlightMap(benchmark::State& state, const QString& igc)
{
    QTemporaryDir folder;
    auto opened =
        PersistentStore::open(folder.filePath(QStringLiteral("bench.kalvora")), ObjectModel::logBook());
    if (!opened.ok()) {
        state.SkipWithError("no store");
        return;
    }
    std::unique_ptr<PersistentStore> store = std::move(opened.value());
    auto* flight = store->mainContext()->insert<Flight>();
    flight->setStartUTC(QDateTime(QDate(2026, 6, 21), QTime(10, 0), QTimeZone::utc()));
    flight->setLandingUTC(QDateTime(QDate(2026, 6, 21), QTime(18, 0), QTimeZone::utc()));
    flight->setIgcData(igc);
    flight->setValidIGC(true);
    (void)store->mainContext()->save();

    map::TileLoader::Options options;
    options.cacheFolder = folder.filePath(QStringLiteral("tiles"));
    qputenv("KALVORA_TILE_URL", "http://127.0.0.1:9/{z}/{x}/{y}.png");
    FlightMapWindowController window(options);
    window.resize(kFrame);
    window.show();
    LogBookWindowController logbook(store->mainContext());
    logbook.windowDidLoad({});
    logbook.show();
    QApplication::processEvents();
    std::size_t fixes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        logbook.deselectFlights();
        QApplication::processEvents();
        state.ResumeTiming();
        logbook.selectFlights({flight});
        window.mapView()->repaint();
        window.profile()->repaint();
        fixes = window.flightLayer().tracks().front().fixes.size();
    }
    state.counters["fixes"] = double(fixes);
    qunsetenv("KALVORA_TILE_URL");
}

QString generatedIgc()
{
    const std::vector<std::string> lines = xcshapes::igcLines(shapeNamed("ridge-5km-12h"));
    QString text;
    for (const std::string& line : lines)
        text += QString::fromStdString(line) + QStringLiteral("\r\n");
    return text;
}

QString realIgc(const char* name)
{
    QFile file(QStringLiteral(KALVORA_TESTDATA_DIR "/igc/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
}

void registerAll()
{
    std::vector<std::string> names;
    for (const xcshapes::Shape& shape : xcshapes::allShapes()) {
        if (shape.fixes.size() >= 20000)
            names.push_back(shape.name);
    }
    for (const std::string& name : names) {
        benchmark::RegisterBenchmark(("PanFrame/altitude/fit/" + name).c_str(), panFrame, name,
                                     map::TrackColouring::Altitude, 0)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("PanFrame/plain/zoomed/" + name).c_str(), panFrame, name,
                                     map::TrackColouring::Plain, 3)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("ZoomFrame/altitude/" + name).c_str(), zoomFrame, name)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::RegisterBenchmark("OpenFlightMap/ridge-5km-12h-40000", openFlightMap, generatedIgc())
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(10);
    const QString dup = realIgc("dup-fixes.igc");
    if (!dup.isEmpty()) {
        benchmark::RegisterBenchmark("OpenFlightMap/dup-fixes.igc", openFlightMap, dup)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(10);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
