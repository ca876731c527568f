#pragma once

#include <QPointF>
#include <QRectF>
#include <QWidget>

#include <optional>

class QComboBox;

#include "map/tilemap.h"

namespace kalvora {

/**
 * The map on screen: drag to pan, wheel or pinch to zoom around the pointer,
 * arrows to pan and +/- to zoom from the keyboard. It draws through a TileMap
 * and redraws as tiles arrive. GUI thread.
 */
class MapWidget final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MapWidget)

public:
    /** Null OPTIONS take the tile loader's defaults (the XDG cache folder). */
    explicit MapWidget(const map::TileSource& source, const map::TileLoader::Options& options = {},
                       QWidget* parent = nullptr);
    ~MapWidget() override;

    [[nodiscard]] map::TileMap* tileMap() const { return m_map; }
    [[nodiscard]] const map::MapViewport& viewport() const { return m_map->viewport(); }

    /** Shows the world rectangle BOUNDS whole (now, or once the widget has its size). */
    void fitTo(const QRectF& bounds);
    /** Moves the view so that POSITION is in the centre, keeping the zoom. */
    void centerOn(map::GeoPoint position);
    /** Zooms by STEPS levels (fractions allowed) keeping the world point under ANCHOR [px] in place. */
    void zoomBy(double steps, QPointF anchor);

signals:
    /** The pointer moved over the map without a button pressed; nullopt when it left. */
    void hovered(std::optional<QPointF> position);
    /** A click that was not a drag. */
    void clicked(QPointF position, Qt::KeyboardModifiers modifiers);
    /** The context menu was asked for at POSITION (widget pixels), GLOBAL on the screen. */
    void contextMenuRequested(QPointF position, QPoint global);
    /** Centre or zoom changed. */
    void viewChanged();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    map::TileMap* m_map = nullptr;
    std::optional<QRectF> m_pendingFit;
    std::optional<QPointF> m_pressAt;
    QPointF m_lastDrag;
    bool m_dragging = false;
};

/**
 * A list of the built-in tile sources ("tileSource") showing the current one;
 * hidden while a template from the environment overrides the choice, which
 * would then do nothing. Connect it with showChosenTileSource().
 */
[[nodiscard]] QComboBox* createTileSourceChooser(QWidget* parent);
/** Shows the source CHOOSER has chosen in VIEW and remembers it for every map. */
void showChosenTileSource(const QComboBox* chooser, MapWidget* view);

} // namespace kalvora
