#include "map/tilemap.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

#include "map/mapunits.h"

namespace kalvora::map {
namespace {

const QColor kLand(242, 239, 233);
const QColor kGrid(200, 196, 188);

} // namespace

double roundScaleLength(double maxMetres)
{
    if (!(maxMetres > 0))
        return 0;
    const double magnitude = std::pow(10.0, std::floor(std::log10(maxMetres)));
    for (const double step : {5.0, 2.0, 1.0}) {
        if (step * magnitude <= maxMetres)
            return step * magnitude;
    }
    return magnitude;
}

QString scaleLabel(double metres)
{
    if (metres >= 1000)
        return QStringLiteral("%1 km").arg(metres / 1000, 0, 'g', 6);
    return QStringLiteral("%1 m").arg(metres, 0, 'g', 6);
}

double graticuleStep(double spanDegrees)
{
    const double raw = std::max(spanDegrees / 6, 1e-6);
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double step : {1.0, 2.0, 5.0, 10.0}) {
        if (step * magnitude >= raw)
            return std::min(step * magnitude, 30.0);
    }
    return std::min(10 * magnitude, 30.0);
}

TileMap::TileMap(TileSource source, TileLoader::Options options, QObject* parent)
    : QObject(parent), m_options(std::move(options))
{
    makeLoader(source);
}

TileMap::~TileMap() = default;

void TileMap::makeLoader(const TileSource& source)
{
    delete m_loader;
    TileLoader::Options options = m_options;
    if (!options.cacheFolder.isEmpty())
        options.cacheFolder += QLatin1Char('/') + source.key;
    m_loader = new TileLoader(source, options, this);
    connect(m_loader, &TileLoader::tileArrived, this, &TileMap::changed);
    connect(m_loader, &TileLoader::offlineChanged, this, &TileMap::changed);
}

void TileMap::setSource(const TileSource& source)
{
    if (source == m_loader->source())
        return;
    makeLoader(source);
    m_view.zoom = std::min<double>(m_view.zoom, source.maxZoom);
    emit changed();
}

void TileMap::addLayer(const MapLayer* layer)
{
    if (layer && !m_layers.contains(layer))
        m_layers.append(layer);
}

void TileMap::removeLayer(const MapLayer* layer)
{
    m_layers.removeAll(layer);
}

void TileMap::fitTo(const QRectF& bounds, double margin)
{
    if (bounds.width() < 0 || bounds.height() < 0)
        return;
    m_view.center = {bounds.center().x(), bounds.center().y()};
    // A single point (a flight that never moved) gets a close, not an endless, zoom.
    m_view.zoom = fittingZoom(bounds, m_view.size, margin, minZoom, std::min(maxZoom(), 16));
    m_view.normalise();
}

void TileMap::draw(QPainter& painter)
{
    painter.save();
    const QRectF area(QPointF(0, 0), m_view.size);
    painter.setClipRect(area);
    painter.fillRect(area, kLand);
    drawGraticule(painter);
    drawTiles(painter);
    painter.setRenderHint(QPainter::Antialiasing, true);
    for (const MapLayer* layer : m_layers)
        layer->draw(painter, m_view);
    drawScaleBar(painter);
    drawAttribution(painter);
    drawNote(painter);
    painter.restore();
}

bool TileMap::loadTiles(int timeoutMs)
{
    QImage scratch(m_view.size.toSize().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    {
        QPainter painter(&scratch);
        drawTiles(painter);
    }
    return m_loader->waitUntilIdle(timeoutMs);
}

void TileMap::drawTiles(QPainter& painter)
{
    m_loader->beginFrame();
    const int z = std::clamp(int(std::round(m_view.zoom)), 0, maxZoom());
    const double n = std::exp2(z);
    // Tiles of zoom z are drawn scaled when the view sits between two levels.
    const double tilePx = m_view.pixelsPerUnit() / n;
    const QRectF world = m_view.worldRect();
    const int firstColumn = int(std::floor(world.left() * n));
    const int lastColumn = int(std::floor(world.right() * n));
    const int firstRow = std::max(0, int(std::floor(world.top() * n)));
    const int lastRow = std::min(int(n) - 1, int(std::floor(world.bottom() * n)));
    const bool hiDpi = m_devicePixelRatio > 1 && m_loader->source().hasHiDpiTiles();
    const bool scaled = std::abs(m_view.zoom - z) > 1e-6;
    painter.setRenderHint(QPainter::SmoothPixmapTransform, scaled || hiDpi);

    // Nearest the centre first: those are asked for last and so fetched first.
    struct Cell
    {
        int column;
        int row;
        double distance;
    };
    std::vector<Cell> cells;
    const double cx = m_view.center.x * n;
    const double cy = m_view.center.y * n;
    for (int row = firstRow; row <= lastRow; ++row)
        for (int column = firstColumn; column <= lastColumn; ++column)
            cells.push_back({column, row, std::hypot(column + 0.5 - cx, row + 0.5 - cy)});
    std::sort(cells.begin(), cells.end(),
              [](const Cell& a, const Cell& b) { return a.distance > b.distance; });

    for (const Cell& cell : cells) {
        const TileKey key{z, wrapColumn(cell.column, z), cell.row, hiDpi};
        const QPointF topLeft = m_view.toScreen(MercatorPoint{cell.column / n, cell.row / n});
        const QRectF target(topLeft, QSizeF(tilePx, tilePx));
        QImage image = m_loader->tile(key);
        if (!image.isNull()) {
            painter.drawImage(target, image);
            continue;
        }
        // While a tile is on its way, a coarser one already in memory stands in for it.
        for (int up = 1; up <= 3 && z - up >= 0; ++up) {
            const int parentZ = z - up;
            const int scale = 1 << up;
            const int column = wrapColumn(cell.column, z);
            const TileKey parent{parentZ, column / scale, cell.row / scale, hiDpi};
            const QImage coarse = m_loader->cachedTile(parent);
            if (coarse.isNull())
                continue;
            const double part = double(coarse.width()) / scale;
            const QRectF source((column % scale) * part, (cell.row % scale) * part, part, part);
            painter.drawImage(target, coarse, source);
            break;
        }
    }
}

void TileMap::drawGraticule(QPainter& painter) const
{
    const QRectF world = m_view.worldRect();
    const GeoPoint northWest = toGeo({world.left(), std::max(0.0, world.top())});
    const GeoPoint southEast = toGeo({world.right(), std::min(1.0, world.bottom())});
    const double step = graticuleStep(southEast.longitude - northWest.longitude);
    painter.save();
    painter.setPen(QPen(kGrid, 1));
    QFont font = painter.font();
    font.setPointSizeF(7.5);
    painter.setFont(font);
    const double decimals = step >= 1 ? 0 : std::ceil(-std::log10(step));
    for (double lon = std::ceil(northWest.longitude / step) * step; lon <= southEast.longitude; lon += step) {
        const double x = m_view.toScreen(toMercator({0, lon})).x();
        painter.drawLine(QPointF(x, 0), QPointF(x, m_view.size.height()));
        double shown = std::fmod(lon + 540.0, 360.0) - 180.0;
        painter.drawText(QPointF(x + 3, 12), QStringLiteral("%1°").arg(shown, 0, 'f', int(decimals)));
    }
    const double latStep = graticuleStep(northWest.latitude - southEast.latitude);
    for (double lat = std::ceil(southEast.latitude / latStep) * latStep; lat <= northWest.latitude;
         lat += latStep) {
        const double y = m_view.toScreen(toMercator({lat, 0})).y();
        painter.drawLine(QPointF(0, y), QPointF(m_view.size.width(), y));
        painter.drawText(QPointF(3, y - 3), QStringLiteral("%1°").arg(lat, 0, 'f', int(decimals)));
    }
    painter.restore();
}

void TileMap::drawScaleBar(QPainter& painter) const
{
    const double latitude = toGeo(m_view.center).latitude;
    const double metresPerPx = metresPerPixel(latitude, m_view.zoom);
    const bool miles = currentDisplayUnits().miles;
    const double unitM = miles ? 1609.344 : 1.0;
    const double units = roundScaleLength(metresPerPx * std::min(120.0, m_view.size.width() / 3) / unitM);
    if (units <= 0)
        return;
    const double length = units * unitM / metresPerPx;
    const QString label = miles ? QStringLiteral("%1 mi").arg(units, 0, 'g', 6) : scaleLabel(units);
    const QPointF origin(12, m_view.size.height() - 14);
    painter.save();
    QFont font = painter.font();
    font.setPointSizeF(8);
    painter.setFont(font);
    const QRectF box(origin.x() - 4, origin.y() - 18, length + 8, 24);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 190));
    painter.drawRoundedRect(box, 3, 3);
    painter.setPen(QPen(QColor(40, 40, 40), 2, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(origin, origin + QPointF(length, 0));
    painter.drawLine(origin, origin - QPointF(0, 5));
    painter.drawLine(origin + QPointF(length, 0), origin + QPointF(length, -5));
    painter.drawText(QRectF(origin.x(), origin.y() - 17, length, 13), Qt::AlignCenter, label);
    painter.restore();
}

void TileMap::drawAttribution(QPainter& painter) const
{
    const QString text = m_loader->source().attribution;
    if (text.isEmpty())
        return;
    painter.save();
    QFont font = painter.font();
    font.setPointSizeF(7.5);
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    const double width = metrics.horizontalAdvance(text) + 8;
    const QRectF box(m_view.size.width() - width, m_view.size.height() - metrics.height() - 2, width,
                     metrics.height() + 2);
    painter.fillRect(box, QColor(255, 255, 255, 200));
    painter.setPen(QColor(50, 50, 50));
    painter.drawText(box, Qt::AlignCenter, text);
    painter.restore();
}

QString TileMap::offlineNote() const
{
    return m_loader->isOffline() ? tr("Offline: showing saved map tiles only") : QString();
}

void TileMap::drawNote(QPainter& painter) const
{
    const QString note = offlineNote();
    if (note.isEmpty())
        return;
    painter.save();
    QFont font = painter.font();
    font.setPointSizeF(8);
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    const double width = metrics.horizontalAdvance(note) + 12;
    const QRectF box(m_view.size.width() - width - 8, 8, width, metrics.height() + 6);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 200));
    painter.drawRoundedRect(box, 4, 4);
    painter.setPen(QColor(90, 90, 90));
    painter.drawText(box, Qt::AlignCenter, note);
    painter.restore();
}

} // namespace kalvora::map
