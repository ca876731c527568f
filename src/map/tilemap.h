#pragma once

#include <QList>
#include <QObject>
#include <QRectF>

#include "map/tileloader.h"
#include "map/webmercator.h"

class QPainter;

namespace kalvora::map {

/** Something drawn over the tiles: a track, waypoints, a marker. */
class MapLayer
{
public:
    virtual ~MapLayer() = default;
    /** Draws onto PAINTER, whose coordinates are VIEW's logical pixels. */
    virtual void draw(QPainter& painter, const MapViewport& view) const = 0;
};

/**
 * The map without a widget: the viewport, the tiles of one source with a
 * graticule where there are none, the layers, a scale bar, the source's
 * attribution and a quiet note while offline. The map window and the command
 * line both draw through it. GUI thread (or the thread of a QGuiApplication
 * without windows).
 */
class TileMap final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TileMap)

public:
    static constexpr int minZoom = 1;

    explicit TileMap(TileSource source, TileLoader::Options options = {}, QObject* parent = nullptr);
    ~TileMap() override;

    [[nodiscard]] MapViewport& viewport() { return m_view; }
    [[nodiscard]] const MapViewport& viewport() const { return m_view; }
    [[nodiscard]] TileLoader* loader() const { return m_loader; }
    [[nodiscard]] const TileSource& source() const { return m_loader->source(); }
    [[nodiscard]] int maxZoom() const { return m_loader->source().maxZoom; }
    /** Replaces the tile source (a new loader with its own cache folder); the view stays. */
    void setSource(const TileSource& source);

    /** Device pixels per logical pixel; above 1 the source's "@2x" tiles are used where it has them. */
    void setDevicePixelRatio(double ratio) { m_devicePixelRatio = ratio; }

    /** Layers are drawn in the order added, over the tiles; the map does not own them. */
    void addLayer(const MapLayer* layer);
    void removeLayer(const MapLayer* layer);

    /** Centres the world rectangle BOUNDS at the largest zoom that shows it with MARGIN [px] to spare. */
    void fitTo(const QRectF& bounds, double margin);

    /** Draws the whole view (tiles, layers, scale bar, attribution, note) into the view's rectangle. */
    void draw(QPainter& painter);
    /** Asks for the tiles of the current view without drawing, then waits up to TIMEOUTMS for them. */
    bool loadTiles(int timeoutMs);

    /** The note drawn while tiles cannot be fetched; empty while online. */
    [[nodiscard]] QString offlineNote() const;

signals:
    /** Tiles arrived or the availability changed: draw again. */
    void changed();

private:
    void drawTiles(QPainter& painter);
    void drawGraticule(QPainter& painter) const;
    void drawScaleBar(QPainter& painter) const;
    void drawAttribution(QPainter& painter) const;
    void drawNote(QPainter& painter) const;
    void makeLoader(const TileSource& source);

    MapViewport m_view;
    TileLoader::Options m_options;
    TileLoader* m_loader = nullptr;
    QList<const MapLayer*> m_layers;
    double m_devicePixelRatio = 1;
};

/** A round length for a scale bar: the largest 1, 2 or 5 × 10^n metres not longer than MAXMETRES. */
[[nodiscard]] double roundScaleLength(double maxMetres);
/** "500 m", "2 km", "20 km". */
[[nodiscard]] QString scaleLabel(double metres);
/** [deg] The graticule step for a view whose width spans SPANDEGREES: 1, 2 or 5 × 10^n, about six lines. */
[[nodiscard]] double graticuleStep(double spanDegrees);

} // namespace kalvora::map
