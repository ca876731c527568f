#include "ui/map/altitudeprofile.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

#include "map/mapunits.h"

namespace kalvora {
namespace {

constexpr double kLeftPx = 48;
constexpr double kRightPx = 12;
constexpr double kTopPx = 10;
constexpr double kBottomPx = 22;

/** "HH:MM" (or "HH:MM:SS") of SECONDS from some midnight, wrapped into one day. */
QString clockText(std::int64_t seconds, bool withSeconds = false)
{
    const std::int64_t s = ((seconds % 86400) + 86400) % 86400;
    QString text = QStringLiteral("%1:%2")
                       .arg(s / 3600, 2, 10, QLatin1Char('0'))
                       .arg(s / 60 % 60, 2, 10, QLatin1Char('0'));
    if (withSeconds)
        text += QStringLiteral(":%1").arg(s % 60, 2, 10, QLatin1Char('0'));
    return text;
}

} // namespace

double niceAxisStep(double span, int target)
{
    const double raw = std::max(span, 1e-9) / std::max(1, target);
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double step : {1.0, 2.0, 5.0, 10.0}) {
        if (step * magnitude >= raw)
            return step * magnitude;
    }
    return 10 * magnitude;
}

AltitudeProfile::AltitudeProfile(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("altitudeProfile"));
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumHeight(110);
    setAccessibleName(tr("Altitude profile"));
    setToolTip(tr("Point at the profile to see the place on the map; arrow keys step through the flight"));
}

void AltitudeProfile::setTrack(const map::FlightTrack& track)
{
    m_fixes = track.fixes;
    m_climb = map::climbRates(m_fixes);
    m_takeoff = track.takeoff;
    m_landing = track.landing;
    m_utcOffsetH = track.utcOffsetH;
    m_cursor.reset();
    if (!m_fixes.empty()) {
        const auto [low, high] = std::minmax_element(
            m_fixes.begin(), m_fixes.end(),
            [](const map::TrackFix& a, const map::TrackFix& b) { return a.altitudeM < b.altitudeM; });
        // Round numbers in the unit shown.
        const double f = map::currentDisplayUnits().altitudeFactor();
        const double step = niceAxisStep(std::max(50.0 * f, (high->altitudeM - low->altitudeM) * f), 4);
        m_minAltitude = std::floor(low->altitudeM * f / step) * step / f;
        m_maxAltitude = std::ceil(high->altitudeM * f / step) * step / f;
        if (m_maxAltitude <= m_minAltitude)
            m_maxAltitude = m_minAltitude + step / f;
    }
    rebuildCurve();
    update();
}

void AltitudeProfile::setCursor(std::optional<std::size_t> fix)
{
    if (fix && *fix >= m_fixes.size())
        fix.reset();
    if (fix == m_cursor)
        return;
    m_cursor = fix;
    update();
}

QRectF AltitudeProfile::plotRect() const
{
    return QRectF(kLeftPx, kTopPx, std::max(1.0, width() - kLeftPx - kRightPx),
                  std::max(1.0, height() - kTopPx - kBottomPx));
}

QPointF AltitudeProfile::pointOf(std::size_t fix) const
{
    if (fix >= m_fixes.size())
        return {};
    const QRectF plot = plotRect();
    const double start = double(m_fixes.front().timeS);
    const double span = std::max(1.0, double(m_fixes.back().timeS) - start);
    const double x = plot.left() + (double(m_fixes[fix].timeS) - start) / span * plot.width();
    const double y = plot.bottom() - (m_fixes[fix].altitudeM - m_minAltitude) /
                                         (m_maxAltitude - m_minAltitude) * plot.height();
    return {x, y};
}

std::optional<std::size_t> AltitudeProfile::fixAt(double x) const
{
    const QRectF plot = plotRect();
    if (m_fixes.empty() || x < plot.left() - 1 || x > plot.right() + 1)
        return std::nullopt;
    const double start = double(m_fixes.front().timeS);
    const double span = std::max(1.0, double(m_fixes.back().timeS) - start);
    const double time = start + std::clamp((x - plot.left()) / plot.width(), 0.0, 1.0) * span;
    const auto after = std::lower_bound(m_fixes.begin(), m_fixes.end(), time,
                                        [](const map::TrackFix& f, double t) { return double(f.timeS) < t; });
    if (after == m_fixes.end())
        return m_fixes.size() - 1;
    const std::size_t index = std::size_t(after - m_fixes.begin());
    if (index > 0 && time - double(m_fixes[index - 1].timeS) < double(after->timeS) - time)
        return index - 1;
    return index;
}

void AltitudeProfile::rebuildCurve()
{
    m_curve.clear();
    if (m_fixes.empty())
        return;
    // The lowest and highest fix of each pixel column: no peak vanishes.
    const QRectF plot = plotRect();
    const int columns = std::max(1, int(plot.width()));
    m_curve.reserve(2 * columns + 2);
    std::size_t i = 0;
    for (int column = 0; column < columns && i < m_fixes.size(); ++column) {
        const double limit = plot.left() + column + 1;
        std::size_t low = i, high = i;
        while (i < m_fixes.size() && (pointOf(i).x() < limit || column == columns - 1)) {
            if (m_fixes[i].altitudeM < m_fixes[low].altitudeM)
                low = i;
            if (m_fixes[i].altitudeM > m_fixes[high].altitudeM)
                high = i;
            ++i;
        }
        if (low == high && i > 0 && pointOf(low).x() >= limit)
            continue;
        const std::size_t first = std::min(low, high), second = std::max(low, high);
        m_curve << pointOf(first);
        if (second != first)
            m_curve << pointOf(second);
    }
}

void AltitudeProfile::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    rebuildCurve();
}

void AltitudeProfile::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF plot = plotRect();
    QFont font = painter.font();
    font.setPointSizeF(8);
    painter.setFont(font);
    if (m_fixes.empty()) {
        painter.setPen(palette().placeholderText().color());
        painter.drawText(rect(), Qt::AlignCenter,
                         tr("Select a flight with a track to see its altitude profile"));
        return;
    }
    const std::int64_t offsetS = std::int64_t(std::llround(m_utcOffsetH * 3600));

    // Grid and labels.
    painter.setPen(QPen(QColor(0, 0, 0, 30), 1));
    const map::DisplayUnits units = map::currentDisplayUnits();
    const double f = units.altitudeFactor();
    const double altitudeStep = niceAxisStep((m_maxAltitude - m_minAltitude) * f, 4) / f;
    for (double a = m_minAltitude; a <= m_maxAltitude + 0.5 / f; a += altitudeStep) {
        const double y =
            plot.bottom() - (a - m_minAltitude) / (m_maxAltitude - m_minAltitude) * plot.height();
        painter.setPen(QPen(QColor(0, 0, 0, 30), 1));
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(palette().text().color());
        painter.drawText(QRectF(0, y - 8, kLeftPx - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
                         map::altitudeText(a, units));
    }
    const std::int64_t start = m_fixes.front().timeS;
    const std::int64_t end = m_fixes.back().timeS;
    const std::int64_t timeStep =
        std::max<std::int64_t>(300, std::int64_t(niceAxisStep(double(end - start) / 60.0, 6) * 60));
    for (std::int64_t t = (start + offsetS + timeStep - 1) / timeStep * timeStep - offsetS; t <= end;
         t += timeStep) {
        const double x =
            plot.left() + double(t - start) / std::max<double>(1, double(end - start)) * plot.width();
        painter.setPen(QPen(QColor(0, 0, 0, 30), 1));
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        painter.setPen(palette().text().color());
        painter.drawText(QRectF(x - 30, plot.bottom() + 3, 60, 16), Qt::AlignCenter, clockText(t + offsetS));
    }

    // The flown part darker than walking before take-off and after landing.
    QPainterPath area;
    area.moveTo(m_curve.first().x(), plot.bottom());
    for (const QPointF& p : m_curve)
        area.lineTo(p);
    area.lineTo(m_curve.last().x(), plot.bottom());
    area.closeSubpath();
    QLinearGradient fill(plot.topLeft(), plot.bottomLeft());
    fill.setColorAt(0, QColor(70, 130, 220, 150));
    fill.setColorAt(1, QColor(70, 130, 220, 40));
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawPath(area);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(30, 80, 170), 1.6));
    painter.drawPolyline(m_curve);

    const auto mark = [&](std::optional<std::size_t> fix, const QColor& colour) {
        if (!fix || *fix >= m_fixes.size())
            return;
        const QPointF at = pointOf(*fix);
        painter.setPen(QPen(colour, 1, Qt::DashLine));
        painter.drawLine(QPointF(at.x(), plot.top()), QPointF(at.x(), plot.bottom()));
    };
    mark(m_takeoff, QColor(20, 150, 60));
    mark(m_landing, QColor(200, 30, 40));

    if (m_cursor) {
        const QPointF at = pointOf(*m_cursor);
        painter.setPen(QPen(QColor(230, 0, 140), 1.5));
        painter.drawLine(QPointF(at.x(), plot.top()), QPointF(at.x(), plot.bottom()));
        painter.setPen(QPen(Qt::white, 2));
        painter.setBrush(QColor(230, 0, 140));
        painter.drawEllipse(at, 5, 5);
        const map::TrackFix& fix = m_fixes[*m_cursor];
        const QString text = map::altitudeText(fix.altitudeM, units) + QStringLiteral("   ") +
                             clockText(fix.timeS + offsetS, true) + QStringLiteral("   ") +
                             map::climbText(m_climb[*m_cursor], units);
        const QFontMetricsF metrics(painter.font());
        const double w = metrics.horizontalAdvance(text) + 12;
        double left = at.x() + 8;
        if (left + w > plot.right())
            left = at.x() - 8 - w;
        const QRectF box(left, plot.top() + 2, w, metrics.height() + 4);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 255, 255, 230));
        painter.drawRoundedRect(box, 3, 3);
        painter.setPen(QColor(40, 40, 40));
        painter.drawText(box, Qt::AlignCenter, text);
    }
    if (hasFocus()) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(palette().highlight().color(), 1));
        painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

void AltitudeProfile::mouseMoveEvent(QMouseEvent* event)
{
    const std::optional<std::size_t> fix = fixAt(event->position().x());
    if (fix == m_cursor)
        return;
    m_cursor = fix;
    update();
    emit cursorMoved(fix);
}

void AltitudeProfile::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    mouseMoveEvent(event);
}

void AltitudeProfile::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    // A cursor placed with the keyboard stays; one that followed the pointer goes with it.
    if (!hasFocus() && m_cursor) {
        m_cursor.reset();
        update();
        emit cursorMoved(std::nullopt);
    }
}

void AltitudeProfile::keyPressEvent(QKeyEvent* event)
{
    if (m_fixes.empty() || (event->key() != Qt::Key_Left && event->key() != Qt::Key_Right)) {
        QWidget::keyPressEvent(event);
        return;
    }
    // One step is about a pixel of the plot; Shift takes ten.
    const std::size_t step = std::max<std::size_t>(1, m_fixes.size() / std::max(1, int(plotRect().width()))) *
                             ((event->modifiers() & Qt::ShiftModifier) ? 10 : 1);
    std::size_t at = m_cursor.value_or(m_takeoff.value_or(0));
    if (event->key() == Qt::Key_Left)
        at = at > step ? at - step : 0;
    else if (m_cursor)
        at = std::min(m_fixes.size() - 1, at + step);
    m_cursor = at;
    update();
    emit cursorMoved(at);
}

} // namespace kalvora
