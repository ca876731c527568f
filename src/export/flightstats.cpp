#include "export/flightstats.h"

#include <QCoreApplication>
#include <QMap>
#include <QTimeZone>

#include <algorithm>
#include <cmath>

#include "model/flight.h"

namespace kalvora {

namespace {

constexpr double kSameSpot = 0.00001; // [deg], about a metre
constexpr std::int64_t kDayS = 86400;

bool near(const IGCTrackPoint& fix, const StatsPosition& position)
{
    return std::abs(fix.latitudeE6 / 1e6 - position.latitude) < kSameSpot &&
           std::abs(fix.longitudeE6 / 1e6 - position.longitude) < kSameSpot;
}

} // namespace

StatsFlight statsFlight(const Flight& flight)
{
    StatsFlight f;
    f.flightTimeS = flight.flightTime();
    const QDateTime local = flight.startLocal();
    f.year = local.isValid() ? local.toTimeZone(QTimeZone::utc()).date().year() : 0;
    f.glider = flight.glider();
    return f;
}

FlightStatsFigures flightStatsFigures(const QList<StatsFlight>& flights)
{
    FlightStatsFigures figures;
    QMap<int, StatsGroup> years;
    QMap<QString, StatsGroup> gliders;
    for (const StatsFlight& flight : flights) {
        ++figures.count;
        figures.totalS += flight.flightTimeS;
        StatsGroup& year = years[flight.year];
        year.key = flight.year > 0 ? QString::number(flight.year) : QString();
        ++year.count;
        year.totalS += flight.flightTimeS;
        StatsGroup& glider = gliders[flight.glider];
        glider.key = flight.glider;
        ++glider.count;
        glider.totalS += flight.flightTimeS;
    }
    if (figures.count > 0)
        figures.averageS = figures.totalS / double(figures.count);
    figures.perYear = years.values();
    figures.perGlider = gliders.values();
    return figures;
}

QString totalFlightTimeText(double totalS)
{
    const long long t = std::llround(totalS);
    return QString::asprintf("%lld:%02lld:%02lld:%02lld", t / 86400, t % 86400 / 3600, t % 3600 / 60, t % 60);
}

QString averageFlightTimeText(std::optional<double> averageS)
{
    if (!averageS)
        return QStringLiteral("–");
    const long long a = std::llround(*averageS);
    if (a > kDayS || a < 0)
        return QCoreApplication::translate("FlightStats", "Invalid");
    return QString::asprintf("%02lld:%02lld:%02lld", a / 3600, a % 3600 / 60, a % 60);
}

std::vector<StatsTrackPoint> statsTrackPoints(std::string_view igc)
{
    const std::vector<IGCTrackPoint> fixes = IGC::getWaypoints(igc, false);
    std::vector<StatsTrackPoint> rows;
    rows.reserve(fixes.size());
    std::int64_t dayOffset = 0;
    std::int64_t previous = 0;
    for (const IGCTrackPoint& fix : fixes) {
        // A flight across 00:00 UTC: its clock starts again at 0, the chart goes on.
        if (!rows.empty() && fix.timeS + dayOffset < previous - kDayS / 2)
            dayOffset += kDayS;
        StatsTrackPoint row;
        row.fix = fix;
        row.timeS = fix.timeS + dayOffset;
        previous = row.timeS;
        rows.push_back(row);
    }
    return rows;
}

void markTrackPoints(std::vector<StatsTrackPoint>& rows, std::optional<StatsPosition> takeoff,
                     std::optional<StatsPosition> landing, const QList<StatsPosition>& scorePoints)
{
    std::vector<bool> numbered(static_cast<size_t>(scorePoints.size()), false);
    bool inFlight = false;
    for (StatsTrackPoint& row : rows) {
        row.scorePointNumber = 0;
        // A turnpoint is one fix, even when the logger repeated it.
        for (qsizetype i = 0; i < scorePoints.size(); ++i) {
            if (!numbered[size_t(i)] && near(row.fix, scorePoints[i])) {
                numbered[size_t(i)] = true;
                row.scorePointNumber = static_cast<int>(i + 1);
                break;
            }
        }
        row.used = (takeoff && near(row.fix, *takeoff)) || inFlight;
        inFlight = landing && near(row.fix, *landing) ? false : row.used;
    }
}

QList<QPointF> altitudeCurve(const std::vector<StatsTrackPoint>& track, int maxPoints)
{
    QList<QPointF> curve;
    const size_t n = track.size();
    if (n <= size_t(std::max(maxPoints, 2))) {
        curve.reserve(qsizetype(n));
        for (const StatsTrackPoint& p : track)
            curve.append(QPointF(double(p.timeS), p.fix.gpsAltitudeM));
        return curve;
    }
    const size_t buckets = size_t(std::max(maxPoints / 2, 1));
    curve.reserve(qsizetype(buckets * 2));
    for (size_t b = 0; b < buckets; ++b) {
        const size_t from = b * n / buckets;
        const size_t to = (b + 1) * n / buckets;
        if (from >= to)
            continue;
        size_t low = from;
        size_t high = from;
        for (size_t i = from; i < to; ++i) {
            if (track[i].fix.gpsAltitudeM < track[low].fix.gpsAltitudeM)
                low = i;
            if (track[i].fix.gpsAltitudeM > track[high].fix.gpsAltitudeM)
                high = i;
        }
        for (size_t i : {std::min(low, high), std::max(low, high)}) {
            curve.append(QPointF(double(track[i].timeS), track[i].fix.gpsAltitudeM));
            if (low == high)
                break;
        }
    }
    return curve;
}

ChartSpace chartSpace(const QList<const std::vector<StatsTrackPoint>*>& tracks, const QList<double>& maxAltitudes)
{
    ChartSpace space;
    bool any = false;
    for (const std::vector<StatsTrackPoint>* track : tracks) {
        if (!track)
            continue;
        for (const StatsTrackPoint& p : *track)
            space.maxAltitudeM = std::max(space.maxAltitudeM, p.fix.gpsAltitudeM);
        if (track->size() < 3)
            continue;
        space.startS = any ? std::min(space.startS, track->front().timeS) : track->front().timeS;
        space.endS = any ? std::max(space.endS, track->back().timeS) : track->back().timeS;
        any = true;
    }
    for (double altitude : maxAltitudes)
        space.maxAltitudeM = std::max(space.maxAltitudeM, altitude);
    if (!any) {
        // Nothing to place on the time axis: an hour from midnight rather than a negative span.
        space.startS = 0;
        space.endS = 3600;
    } else if (space.endS <= space.startS) {
        space.endS = space.startS + 60;
    }
    if (space.maxAltitudeM <= 0)
        space.maxAltitudeM = 1000;
    return space;
}

} // namespace kalvora
