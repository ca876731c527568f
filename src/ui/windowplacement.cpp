#include "ui/windowplacement.h"

#include <algorithm>

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>

namespace kalvora {

QRect clampedGeometry(const QRect& frame, const QRect& available)
{
    if (frame.isEmpty() || available.isEmpty())
        return frame;
    QRect result(frame.topLeft(), QSize(std::min(frame.width(), available.width()),
                                        std::min(frame.height(), available.height())));
    if (result.right() > available.right())
        result.moveRight(available.right());
    if (result.bottom() > available.bottom())
        result.moveBottom(available.bottom());
    if (result.left() < available.left())
        result.moveLeft(available.left());
    if (result.top() < available.top())
        result.moveTop(available.top());
    return result;
}

void keepOnScreen(QWidget* window)
{
    if (!window)
        return;
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    // The frame counts: a title bar pushed above the screen cannot be grabbed.
    const QRect frame = window->frameGeometry();
    const QMargins decoration(window->geometry().left() - frame.left(), window->geometry().top() - frame.top(),
                              frame.right() - window->geometry().right(),
                              frame.bottom() - window->geometry().bottom());
    const QRect clamped = clampedGeometry(frame, available);
    if (clamped == frame)
        return;
    const QRect inner = clamped.marginsRemoved(decoration);
    window->resize(inner.size());
    window->move(clamped.topLeft());
}

void placeOver(QWidget* window, const QWidget* over)
{
    if (!window)
        return;
    if (over && over->isVisible()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(over->frameGeometry().center());
        window->move(frame.topLeft());
    }
    keepOnScreen(window);
}

bool restoreWindowGeometry(QWidget* window)
{
    QSettings settings;
    settings.beginGroup(window->objectName());
    // Qt puts a stored geometry that lies off the screens back onto one.
    const bool restored = window->restoreGeometry(settings.value(QStringLiteral("geometry")).toByteArray());
    settings.endGroup();
    if (!restored)
        fitToScreen(window);
    return restored;
}

void fitToScreen(QWidget* window)
{
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // Before the window is shown its frame is unknown: room is left for a title bar.
    const QSize room = screen->availableGeometry().size() - QSize(0, 40);
    const QSize size = window->size().boundedTo(room);
    if (size != window->size())
        window->resize(size);
}

void saveWindowGeometry(const QWidget* window)
{
    QSettings settings;
    settings.beginGroup(window->objectName());
    settings.setValue(QStringLiteral("geometry"), window->saveGeometry());
    settings.endGroup();
}

} // namespace kalvora
