#include "ui/map/mapwidget.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QSettings>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace kalvora {
namespace {

constexpr double kFitMarginPx = 36;
constexpr double kDragThresholdPx = 4;

} // namespace

MapWidget::MapWidget(const map::TileSource& source, const map::TileLoader::Options& options, QWidget* parent)
    : QWidget(parent), m_map(new map::TileMap(source, options, this))
{
    setObjectName(QStringLiteral("mapView"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setMinimumSize(200, 150);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(tr("Map"));
    setToolTip(tr("Drag to move, scroll or +/- to zoom"));
    connect(m_map, &map::TileMap::changed, this, qOverload<>(&QWidget::update));
}

MapWidget::~MapWidget() = default;

void MapWidget::fitTo(const QRectF& bounds)
{
    m_map->viewport().size = QSizeF(size());
    m_map->fitTo(bounds, kFitMarginPx);
    // Before the window is laid out its size is a guess: fit again once it is known.
    if (!isVisible() || width() < 2 || height() < 2)
        m_pendingFit = bounds;
    update();
    emit viewChanged();
}

void MapWidget::centerOn(map::GeoPoint position)
{
    m_map->viewport().center = map::toMercator(position);
    update();
    emit viewChanged();
}

void MapWidget::zoomBy(double steps, QPointF anchor)
{
    map::MapViewport& view = m_map->viewport();
    view.zoomAround(view.zoom + steps, anchor, map::TileMap::minZoom, m_map->maxZoom());
    update();
    emit viewChanged();
}

bool MapWidget::event(QEvent* event)
{
    if (event->type() == QEvent::NativeGesture) {
        const auto* gesture = static_cast<QNativeGestureEvent*>(event);
        if (gesture->gestureType() == Qt::ZoomNativeGesture) {
            // The gesture reports the change of scale; a doubling is one zoom level.
            zoomBy(std::log2(1.0 + gesture->value()), gesture->position());
            return true;
        }
    }
    return QWidget::event(event);
}

void MapWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    m_map->viewport().size = QSizeF(size());
    m_map->setDevicePixelRatio(devicePixelRatioF());
    m_map->draw(painter);
    if (hasFocus()) {
        painter.setPen(QPen(palette().highlight().color(), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    }
}

void MapWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_map->viewport().size = QSizeF(size());
    if (m_pendingFit && width() > 1 && height() > 1) {
        m_map->fitTo(*m_pendingFit, kFitMarginPx);
        m_pendingFit.reset();
        emit viewChanged();
    }
}

void MapWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressAt = event->position();
        m_lastDrag = event->position();
        m_dragging = false;
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void MapWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (m_pressAt && (event->buttons() & Qt::LeftButton)) {
        if (!m_dragging && QLineF(*m_pressAt, event->position()).length() >= kDragThresholdPx) {
            m_dragging = true;
            setCursor(Qt::ClosedHandCursor);
        }
        if (m_dragging) {
            m_map->viewport().panBy(event->position() - m_lastDrag);
            m_lastDrag = event->position();
            update();
            emit viewChanged();
        }
        return;
    }
    emit hovered(event->position());
}

void MapWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_pressAt) {
        if (!m_dragging)
            emit clicked(event->position(), event->modifiers());
        m_pressAt.reset();
        m_dragging = false;
        unsetCursor();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void MapWidget::wheelEvent(QWheelEvent* event)
{
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0)
        return;
    // A mouse wheel's whole notches land on whole zoom levels, where tiles are sharp;
    // a touchpad's small steps zoom smoothly.
    const double current = m_map->viewport().zoom;
    const double target =
        std::abs(notches - std::round(notches)) < 1e-9 ? std::round(current) + notches : current + notches;
    zoomBy(target - current, event->position());
    event->accept();
}

void MapWidget::keyPressEvent(QKeyEvent* event)
{
    const QPointF centre(width() / 2.0, height() / 2.0);
    const double step = std::max(40.0, std::min(width(), height()) / 4.0);
    switch (event->key()) {
    case Qt::Key_Left:
        m_map->viewport().panBy(QPointF(step, 0));
        break;
    case Qt::Key_Right:
        m_map->viewport().panBy(QPointF(-step, 0));
        break;
    case Qt::Key_Up:
        m_map->viewport().panBy(QPointF(0, step));
        break;
    case Qt::Key_Down:
        m_map->viewport().panBy(QPointF(0, -step));
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomBy(std::round(m_map->viewport().zoom) + 1 - m_map->viewport().zoom, centre);
        return;
    case Qt::Key_Minus:
        zoomBy(std::round(m_map->viewport().zoom) - 1 - m_map->viewport().zoom, centre);
        return;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    update();
    emit viewChanged();
}

void MapWidget::contextMenuEvent(QContextMenuEvent* event)
{
    emit contextMenuRequested(event->pos(), event->globalPos());
    event->accept();
}

void MapWidget::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    emit hovered(std::nullopt);
}

QComboBox* createTileSourceChooser(QWidget* parent)
{
    auto* chooser = new QComboBox(parent);
    chooser->setObjectName(QStringLiteral("tileSource"));
    chooser->setToolTip(MapWidget::tr("Map tiles"));
    chooser->setAccessibleName(MapWidget::tr("Map tiles"));
    for (const map::TileSource& builtIn : map::builtInTileSources())
        chooser->addItem(builtIn.name, builtIn.key);
    chooser->setCurrentIndex(std::max(0, chooser->findData(map::currentTileSource().key)));
    chooser->setVisible(qEnvironmentVariableIsEmpty(map::tileUrlEnvironmentVariable));
    return chooser;
}

void showChosenTileSource(const QComboBox* chooser, MapWidget* view)
{
    const QString key = chooser->currentData().toString();
    for (const map::TileSource& builtIn : map::builtInTileSources()) {
        if (builtIn.key == key) {
            QSettings().setValue(QLatin1String(map::tileSourceSettingsKey), key);
            view->tileMap()->setSource(builtIn);
        }
    }
}

} // namespace kalvora
