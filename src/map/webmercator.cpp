#include "map/webmercator.h"

#include <QPoint>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kalvora::map {
namespace {

constexpr double kEarthRadiusM = 6378137.0;

} // namespace

MercatorPoint toMercator(GeoPoint position)
{
    const double latitude = std::clamp(position.latitude, -maxLatitude, maxLatitude);
    const double phi = latitude * std::numbers::pi / 180.0;
    const double x = (position.longitude + 180.0) / 360.0;
    const double y = 0.5 - std::log(std::tan(std::numbers::pi / 4 + phi / 2)) / (2 * std::numbers::pi);
    return {x, y};
}

GeoPoint toGeo(MercatorPoint point)
{
    const double longitude = point.x * 360.0 - 180.0;
    const double n = std::numbers::pi * (1 - 2 * point.y);
    const double latitude = std::atan(std::sinh(n)) * 180.0 / std::numbers::pi;
    return {latitude, longitude};
}

double unitsPerPixel(double zoom)
{
    return 1.0 / (tileSize * std::exp2(zoom));
}

double metresPerPixel(double latitude, double zoom)
{
    const double circumference = 2 * std::numbers::pi * kEarthRadiusM;
    return circumference * std::cos(latitude * std::numbers::pi / 180.0) * unitsPerPixel(zoom);
}

int wrapColumn(int column, int zoom)
{
    const int n = 1 << zoom;
    return ((column % n) + n) % n;
}

QPoint tileOf(MercatorPoint point, int zoom)
{
    const double n = std::exp2(zoom);
    const int column = int(std::floor(point.x * n));
    const int row = std::clamp(int(std::floor(point.y * n)), 0, int(n) - 1);
    return {wrapColumn(column, zoom), row};
}

double MapViewport::pixelsPerUnit() const
{
    return tileSize * std::exp2(zoom);
}

QPointF MapViewport::toScreen(MercatorPoint point) const
{
    const double k = pixelsPerUnit();
    return {(point.x - center.x) * k + size.width() / 2, (point.y - center.y) * k + size.height() / 2};
}

MercatorPoint MapViewport::toMercator(QPointF screen) const
{
    const double k = pixelsPerUnit();
    return {center.x + (screen.x() - size.width() / 2) / k, center.y + (screen.y() - size.height() / 2) / k};
}

QRectF MapViewport::worldRect() const
{
    const double k = pixelsPerUnit();
    return {center.x - size.width() / 2 / k, center.y - size.height() / 2 / k, size.width() / k,
            size.height() / k};
}

void MapViewport::panBy(QPointF delta)
{
    const double k = pixelsPerUnit();
    center.x -= delta.x() / k;
    center.y -= delta.y() / k;
    normalise();
}

void MapViewport::zoomAround(double newZoom, QPointF anchor, double minZoom, double maxZoom)
{
    const MercatorPoint fixed = toMercator(anchor);
    zoom = std::clamp(newZoom, minZoom, maxZoom);
    const double k = pixelsPerUnit();
    center.x = fixed.x - (anchor.x() - size.width() / 2) / k;
    center.y = fixed.y - (anchor.y() - size.height() / 2) / k;
    normalise();
}

void MapViewport::normalise()
{
    center.y = std::clamp(center.y, 0.0, 1.0);
    // Keep x near 0..1 so that numbers stay small after many turns around the world.
    if (center.x < -1 || center.x > 2)
        center.x -= std::floor(center.x);
}

int fittingZoom(const QRectF& bounds, QSizeF view, double margin, int minZoom, int maxZoom)
{
    const double width = std::max(1.0, view.width() - 2 * margin);
    const double height = std::max(1.0, view.height() - 2 * margin);
    for (int zoom = maxZoom; zoom > minZoom; --zoom) {
        const double k = tileSize * std::exp2(zoom);
        if (bounds.width() * k <= width && bounds.height() * k <= height)
            return zoom;
    }
    return minZoom;
}

} // namespace kalvora::map
