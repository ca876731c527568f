#pragma once

#include <QPolygonF>
#include <QWidget>

#include <optional>
#include <vector>

#include "map/flighttrack.h"

namespace kalvora {

/**
 * The altitude over time of one flight, with a cursor on one fix: the pointer
 * (or the arrow keys) move it and report the fix, and setCursor() places it
 * from outside without a report. GUI thread.
 */
class AltitudeProfile final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AltitudeProfile)

public:
    explicit AltitudeProfile(QWidget* parent = nullptr);

    /** Shows TRACK (copied); an empty track leaves a quiet "no flight" text. */
    void setTrack(const map::FlightTrack& track);
    [[nodiscard]] std::size_t fixCount() const { return m_fixes.size(); }
    /** Places the cursor on FIX (nullopt hides it) without emitting cursorMoved(). */
    void setCursor(std::optional<std::size_t> fix);
    [[nodiscard]] std::optional<std::size_t> cursor() const { return m_cursor; }

    /** The fix under widget column X; nullopt without a track or outside the plot. */
    [[nodiscard]] std::optional<std::size_t> fixAt(double x) const;
    /** Where FIX is drawn, in widget pixels. */
    [[nodiscard]] QPointF pointOf(std::size_t fix) const;

    QSize sizeHint() const override { return {600, 160}; }

signals:
    /** The user moved the cursor (nullopt: the pointer left). */
    void cursorMoved(std::optional<std::size_t> fix);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QRectF plotRect() const;
    void rebuildCurve();

    std::vector<map::TrackFix> m_fixes;
    std::vector<float> m_climb;
    std::optional<std::size_t> m_takeoff;
    std::optional<std::size_t> m_landing;
    double m_utcOffsetH = 0;
    double m_minAltitude = 0;
    double m_maxAltitude = 1;
    QPolygonF m_curve; ///< thinned to about two points per pixel column
    std::optional<std::size_t> m_cursor;
};

/** A round step for an axis spanning SPAN with about TARGET labels: 1, 2 or 5 × 10^n. */
[[nodiscard]] double niceAxisStep(double span, int target);

} // namespace kalvora
