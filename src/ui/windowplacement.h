#pragma once

#include <QRect>

class QWidget;

namespace kalvora {

/**
 * @p frame moved and, when larger, shrunk so it lies wholly inside @p available
 * (a screen's work area). An empty frame stays as it is. Any thread.
 */
[[nodiscard]] QRect clampedGeometry(const QRect& frame, const QRect& available);

/** Puts @p window inside the work area of the screen it is on (or the primary one). GUI thread. */
void keepOnScreen(QWidget* window);

/** Places @p window centred over @p over, then keeps it on screen. GUI thread. */
void placeOver(QWidget* window, const QWidget* over);

/** Shrinks a window not yet shown so it fits its screen with room for a title bar. */
void fitToScreen(QWidget* window);

/**
 * Restores the geometry stored under the window's objectName (group key
 * "geometry"); false when none was stored, and the window is then only
 * shrunk to fit its screen.
 */
bool restoreWindowGeometry(QWidget* window);
/** Stores the geometry under the window's objectName. */
void saveWindowGeometry(const QWidget* window);

} // namespace kalvora
