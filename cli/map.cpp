// kalvora-cli map LOGBOOK --flight ID -o FILE.png [--size WxH] [--tiles URL] [--colour altitude|climb|plain]:
// one flight drawn on map tiles, as the flight map window shows it.
#include <QFileInfo>
#include <QImage>
#include <QJsonObject>
#include <QPainter>
#include <QRegularExpression>

#include "cli/command.h"
#include "cli/logbookflights.h"
#include "map/flightlayer.h"
#include "map/tilemap.h"
#include "model/flight.h"
#include "store/objectcontext.h"

namespace kalvora::cli {
namespace {

constexpr int kTileWaitMs = 30000;

std::optional<QSize> parseSize(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QSize size(match.captured(1).toInt(), match.captured(2).toInt());
    // Large enough for a poster, small enough that the image fits in memory.
    if (size.width() < 64 || size.height() < 64 || size.width() > 8192 || size.height() > 8192)
        return std::nullopt;
    return size;
}

std::optional<map::TrackColouring> parseColouring(const QString& text)
{
    if (text == QLatin1String("altitude"))
        return map::TrackColouring::Altitude;
    if (text == QLatin1String("climb"))
        return map::TrackColouring::Climb;
    if (text == QLatin1String("plain"))
        return map::TrackColouring::Plain;
    return std::nullopt;
}

int runMap(const QStringList& arguments)
{
    static const QString usage =
        QStringLiteral("usage: kalvora-cli map LOGBOOK --flight ID -o FILE.png [--size WxH] [--tiles URL] "
                       "[--colour altitude|climb|plain]");
    QStringList args = arguments;
    QStringList ids, outputs, sizes, tiles, colours;
    if (!takeOption(args, QStringLiteral("--flight"), ids) ||
        !takeOption(args, QStringLiteral("-o"), outputs) ||
        !takeOption(args, QStringLiteral("--output"), outputs) ||
        !takeOption(args, QStringLiteral("--size"), sizes) ||
        !takeOption(args, QStringLiteral("--tiles"), tiles) ||
        !takeOption(args, QStringLiteral("--colour"), colours))
        return 2;
    if (args.size() != 1 || ids.size() != 1 || outputs.size() != 1 || sizes.size() > 1 || tiles.size() > 1 ||
        colours.size() > 1 || args.first().startsWith(QLatin1String("--"))) {
        printError(usage);
        return 2;
    }
    const std::optional<QSize> size = sizes.isEmpty() ? QSize(1024, 768) : parseSize(sizes.first());
    if (!size) {
        printError(QStringLiteral("--size: expected WIDTHxHEIGHT between 64x64 and 8192x8192, got \"%1\"")
                       .arg(sizes.first()));
        return 2;
    }
    const std::optional<map::TrackColouring> colouring =
        colours.isEmpty() ? map::TrackColouring::Altitude : parseColouring(colours.first());
    if (!colouring) {
        printError(QStringLiteral("--colour: expected altitude, climb or plain"));
        return 2;
    }
    if (!tiles.isEmpty() && !tiles.first().contains(QLatin1String("{z}"))) {
        printError(QStringLiteral("--tiles: the URL template needs {z}, {x} and {y}"));
        return 2;
    }
    const QString output = outputs.first();
    if (!output.endsWith(QLatin1String(".png"), Qt::CaseInsensitive)) {
        printError(QStringLiteral("%1: the map is written as PNG; name the file *.png").arg(output));
        return 2;
    }

    const ChosenFlights chosen = openFlights(args.first(), ids);
    if (chosen.failure)
        return chosen.failure;
    const QList<Flight*>& flights = chosen.flights;
    map::FlightLayer layer;
    layer.setTracks({map::flightTrackOf(*flights.first(), QColor(Qt::black))});
    layer.setColouring(*colouring);
    if (layer.tracks().front().fixes.empty()) {
        printError(QStringLiteral("%1: the flight has no track to draw").arg(ids.first()));
        return 1;
    }

    map::TileMap tileMap(tiles.isEmpty() ? map::currentTileSource() : map::customTileSource(tiles.first()));
    tileMap.viewport().size = QSizeF(*size);
    tileMap.addLayer(&layer);
    tileMap.fitTo(layer.bounds(), 40);
    const bool complete = tileMap.loadTiles(kTileWaitMs);

    QImage image(*size, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        tileMap.draw(painter);
    }
    if (!image.save(output, "PNG")) {
        printError(QStringLiteral("%1: cannot write the image").arg(output));
        return 1;
    }
    const map::MapViewport& view = tileMap.viewport();
    printJson(QJsonObject{
        {"file", QFileInfo(output).absoluteFilePath()},
        {"width", size->width()},
        {"height", size->height()},
        {"zoom", view.zoom},
        {"centerLatitude", view.toGeo(QPointF(size->width() / 2.0, size->height() / 2.0)).latitude},
        {"centerLongitude", view.toGeo(QPointF(size->width() / 2.0, size->height() / 2.0)).longitude},
        {"tileRequests", tileMap.loader()->networkRequests()},
        {"offline", tileMap.loader()->isOffline()},
        {"tilesComplete", complete}});
    return 0;
}

const RegisterCommand registered{{"map", "map LOGBOOK --flight ID -o FILE.png [--size WxH] [--tiles URL]",
                                  "draws a flight's track on map tiles into a PNG image", runMap}};

} // namespace
} // namespace kalvora::cli
