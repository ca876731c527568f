#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>

namespace kalvora::map {

/** [deg] The latitude limit of the square Web Mercator world (atan(sinh(pi))). */
inline constexpr double maxLatitude = 85.0511287798066;
/** [px] The edge of one tile at scale factor 1. */
inline constexpr int tileSize = 256;

/**
 * A point of the Web Mercator world in world units: x from 0 at 180 W to 1 at
 * 180 E, y from 0 at the northern limit to 1 at the southern one. x may leave
 * 0..1 by whole turns so that a track over the antimeridian stays continuous.
 */
struct MercatorPoint
{
    double x = 0;
    double y = 0;
    bool operator==(const MercatorPoint&) const = default;
};

/** A position [deg], north and east positive. */
struct GeoPoint
{
    double latitude = 0;
    double longitude = 0;
    bool operator==(const GeoPoint&) const = default;
};

/** Latitudes beyond ±maxLatitude are clamped to it; longitudes map linearly, 180 E to x = 1. */
[[nodiscard]] MercatorPoint toMercator(GeoPoint position);
/** The inverse of toMercator(); x outside 0..1 gives longitudes outside ±180. */
[[nodiscard]] GeoPoint toGeo(MercatorPoint point);
/** [world units per px] at integer or fractional ZOOM: 1 / (256 * 2^zoom). */
[[nodiscard]] double unitsPerPixel(double zoom);
/** [m] the ground length of one pixel at LATITUDE [deg] and ZOOM (sphere of radius 6 378 137 m). */
[[nodiscard]] double metresPerPixel(double latitude, double zoom);
/** The tile column and row holding POINT at integer ZOOM, the column wrapped into 0..2^zoom-1. */
[[nodiscard]] QPoint tileOf(MercatorPoint point, int zoom);
/** COLUMN wrapped into 0..2^zoom-1 (a map repeats east and west). */
[[nodiscard]] int wrapColumn(int column, int zoom);

/**
 * What one view of the map shows: its centre, zoom and size. Pure value type;
 * converts between world units and the view's logical pixels.
 */
struct MapViewport
{
    MercatorPoint center{0.5, 0.5};
    double zoom = 2;       ///< 0 = the world in one 256 px tile
    QSizeF size{256, 256}; ///< [logical px]

    [[nodiscard]] double pixelsPerUnit() const;
    [[nodiscard]] QPointF toScreen(MercatorPoint point) const;
    [[nodiscard]] MercatorPoint toMercator(QPointF screen) const;
    [[nodiscard]] QPointF toScreen(GeoPoint position) const { return toScreen(map::toMercator(position)); }
    [[nodiscard]] GeoPoint toGeo(QPointF screen) const { return map::toGeo(toMercator(screen)); }
    /** The shown world rectangle in world units. */
    [[nodiscard]] QRectF worldRect() const;
    /** Moves the centre by DELTA [px] of the view: the map follows a drag. */
    void panBy(QPointF delta);
    /** Changes the zoom to NEWZOOM (clamped to MINZOOM..MAXZOOM) keeping the world point under ANCHOR [px] in
     * place. */
    void zoomAround(double newZoom, QPointF anchor, double minZoom, double maxZoom);
    /** Keeps the centre within the world's height, and its x within one turn. */
    void normalise();
    bool operator==(const MapViewport&) const = default;
};

/**
 * The largest integer zoom (up to MAXZOOM) at which the world rectangle BOUNDS
 * fits into VIEW less MARGIN [px] on every side; MINZOOM when nothing fits.
 */
[[nodiscard]] int fittingZoom(const QRectF& bounds, QSizeF view, double margin, int minZoom, int maxZoom);

} // namespace kalvora::map
