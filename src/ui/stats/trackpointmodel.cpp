#include "ui/stats/trackpointmodel.h"

#include <QBrush>
#include <QColor>
#include <QFont>

#include "ui/unitdisplay.h"

namespace kalvora {

namespace {

QString clockText(std::int64_t timeS)
{
    const long long t = ((timeS % 86400) + 86400) % 86400;
    return QString::asprintf("%02lld:%02lld:%02lld", t / 3600, t % 3600 / 60, t % 60);
}

} // namespace

TrackPointModel::TrackPointModel(QObject* parent) : QAbstractTableModel(parent) {}

void TrackPointModel::setPoints(std::vector<StatsTrackPoint> points)
{
    beginResetModel();
    m_points = std::move(points);
    endResetModel();
}

void TrackPointModel::reformat()
{
    if (!m_points.empty())
        emit dataChanged(index(0, GpsAltitudeColumn), index(rowCount() - 1, PressureAltitudeColumn));
    emit headerDataChanged(Qt::Horizontal, GpsAltitudeColumn, PressureAltitudeColumn);
}

int TrackPointModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_points.size());
}

int TrackPointModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TrackPointModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= ColumnCount)
        return {};
    const StatsTrackPoint& p = m_points[size_t(index.row())];
    if (role == Qt::BackgroundRole)
        return p.used ? QVariant(QBrush(QColor(210, 240, 210))) : QVariant();
    if (role == Qt::FontRole && p.scorePointNumber > 0) {
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    const UnitDisplay units = UnitDisplay::current();
    switch (index.column()) {
    case TimeColumn: return clockText(p.timeS);
    case LatitudeColumn: return QString::number(p.fix.latitudeE6 / 1e6, 'f', 5);
    case LongitudeColumn: return QString::number(p.fix.longitudeE6 / 1e6, 'f', 5);
    case GpsAltitudeColumn: return units.altitude(p.fix.gpsAltitudeM);
    case PressureAltitudeColumn: return units.altitude(p.fix.altitudeM);
    case InFlightColumn: return p.used ? QStringLiteral("✓") : QString();
    case TurnpointColumn: return p.scorePointNumber > 0 ? QString::number(p.scorePointNumber) : QString();
    default: return {};
    }
}

QVariant TrackPointModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    const UnitDisplay units = UnitDisplay::current();
    switch (section) {
    case TimeColumn: return tr("Time (UTC)");
    case LatitudeColumn: return tr("Latitude");
    case LongitudeColumn: return tr("Longitude");
    case GpsAltitudeColumn: return tr("GPS alt. [%1]").arg(units.altitudeUnit());
    case PressureAltitudeColumn: return tr("Baro alt. [%1]").arg(units.altitudeUnit());
    case InFlightColumn: return tr("In flight");
    case TurnpointColumn: return tr("Turnpoint");
    default: return {};
    }
}

} // namespace kalvora
