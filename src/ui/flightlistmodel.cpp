#include "ui/flightlistmodel.h"

#include <algorithm>

#include <QLocale>
#include <QSet>
#include <QTimeZone>

#include "model/flight.h"
#include "model/settings.h"
#include "store/objectcontext.h"
#include "ui/unitdisplay.h"

namespace kalvora {

namespace {

// Sort type -> column holding its key (take-off, flight time, distance, altitude, climb, points).
constexpr int kSortTypeColumns[] = {
    FlightListModel::DateColumn,        FlightListModel::FlightTimeColumn, FlightListModel::DistanceColumn,
    FlightListModel::MaxAltitudeColumn, FlightListModel::MaxClimbColumn,   FlightListModel::XCPointsColumn,
};

QString utcDateText(const QDateTime& instant)
{
    if (!instant.isValid())
        return {};
    return QLocale().toString(instant.toTimeZone(QTimeZone::utc()).date(), QLocale::ShortFormat);
}

QString utcTimeText(const QDateTime& instant)
{
    if (!instant.isValid())
        return {};
    return instant.toTimeZone(QTimeZone::utc()).time().toString(QStringLiteral("HH:mm"));
}

QString xcPointsText(const Flight& flight)
{
    if (flight.freeDistance() < -1)
        return FlightListModel::tr("calc");
    if (flight.freeDistance() <= 0)
        return FlightListModel::tr("n/a");
    return QString::number(flight.xcPoints(), 'f', 2);
}

QString distanceText(const Flight& flight, const UnitDisplay& units)
{
    if (flight.freeDistance() < -1)
        return FlightListModel::tr("calc");
    if (flight.freeDistance() <= 0)
        return FlightListModel::tr("n/a");
    return units.distance(flight.distance());
}

} // namespace

FlightListModel::FlightListModel(ObjectContext* context, QObject* parent)
    : QAbstractTableModel(parent), m_context(context)
{
    if (m_context)
        connect(m_context, &ObjectContext::objectsDidChange, this, [this](const SaveNotice& notice) {
            // Changed flights redraw through their own change signals; only
            // flights coming or going change the rows. Scoring a large import
            // saves once per flight, and fetching every flight each time
            // would make the list slower the longer the logbook gets.
            // Only the flights named in the notice are read: fetching every
            // flight after each save of a large import would make the window
            // slower with every flight it gains.
            if (notice.isEmpty())
                refresh();
            else
                applyNotice(notice);
        });
    refresh();
}

FlightListModel::~FlightListModel() = default;

int FlightListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_flights.size());
}

int FlightListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FlightListModel::data(const QModelIndex& index, int role) const
{
    const Flight* flight = flightAt(index.row());
    if (!flight || index.column() < 0 || index.column() >= ColumnCount)
        return {};

    if (role == FlightRole)
        return QVariant::fromValue(static_cast<QObject*>(const_cast<Flight*>(flight)));

    if (role == SortRole) {
        switch (index.column()) {
        case DateColumn: return flight->startUTC();
        case TakeOffTimeColumn: return flight->startLocal().toTimeZone(QTimeZone::utc()).time();
        case TakeOffPlaceColumn: return flight->startLocation();
        case LandingPlaceColumn: return flight->landingLocation();
        case FlightTimeColumn: return flight->flightTime();
        case XCPointsColumn: return flight->xcPoints();
        case FlightTypeColumn: return flight->flightType();
        case DistanceColumn: return flight->distance();
        case MaxAltitudeColumn: return flight->maxAltitude();
        case MaxClimbColumn: return flight->maxVario();
        case MaxSpeedColumn: return flight->maxSpeed();
        case GliderColumn: return flight->glider();
        default: return {};
        }
    }

    if (role == Qt::TextAlignmentRole) {
        switch (index.column()) {
        case TakeOffPlaceColumn:
        case LandingPlaceColumn:
        case FlightTypeColumn:
        case GliderColumn: return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        default: return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        }
    }

    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};

    const UnitDisplay units = UnitDisplay::current();
    switch (index.column()) {
    // The day flown, as the take-off time beside it: the local take-off date.
    case DateColumn: return utcDateText(flight->startLocal());
    case TakeOffTimeColumn: return utcTimeText(flight->startLocal());
    case TakeOffPlaceColumn: return flight->startLocation();
    case LandingPlaceColumn: return flight->landingLocation();
    case FlightTimeColumn: return flight->flightTimeString();
    case XCPointsColumn: return xcPointsText(*flight);
    case FlightTypeColumn: return flight->flightType();
    case DistanceColumn: return distanceText(*flight, units);
    case MaxAltitudeColumn: return units.altitude(flight->maxAltitude());
    case MaxClimbColumn: return units.vario(flight->maxVario());
    case MaxSpeedColumn: return units.speed(flight->maxSpeed());
    case GliderColumn: return flight->glider();
    default: return {};
    }
}

QVariant FlightListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    // The title again as a tip: in a narrow window a title gives way before a value does.
    if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return QAbstractTableModel::headerData(section, orientation, role);
    const UnitDisplay units = UnitDisplay::current();
    switch (section) {
    case DateColumn: return tr("Date");
    case TakeOffTimeColumn: return tr("Take-off");
    case TakeOffPlaceColumn: return tr("Take-off place");
    case LandingPlaceColumn: return tr("Landing place");
    case FlightTimeColumn: return tr("Flight time");
    case XCPointsColumn: return tr("XC points");
    case FlightTypeColumn: return tr("Type");
    case DistanceColumn: return tr("Distance (%1)").arg(units.distanceUnit());
    case MaxAltitudeColumn: return tr("Max. alt. (%1)").arg(units.altitudeUnit());
    case MaxClimbColumn: return tr("Max. climb (%1)").arg(units.varioUnit());
    case MaxSpeedColumn: return tr("Max. speed (%1)").arg(units.speedUnit());
    case GliderColumn: return tr("Glider");
    default: return {};
    }
}

Flight* FlightListModel::flightAt(int row) const
{
    return row >= 0 && row < m_flights.size() ? m_flights.at(row) : nullptr;
}

int FlightListModel::rowOf(const Flight* flight) const
{
    return static_cast<int>(m_flights.indexOf(const_cast<Flight*>(flight)));
}

void FlightListModel::refresh()
{
    QList<Flight*> current;
    if (m_context)
        current = m_context->fetch<Flight>();
    QSet<Flight*> wanted(current.cbegin(), current.cend());

    for (int row = static_cast<int>(m_flights.size()) - 1; row >= 0; --row) {
        Flight* flight = m_flights.at(row);
        if (!wanted.contains(flight) || flight->isDeleted()) {
            beginRemoveRows({}, row, row);
            m_flights.removeAt(row);
            endRemoveRows();
        }
    }

    const QSet<Flight*> listed(m_flights.cbegin(), m_flights.cend());
    QList<Flight*> added;
    for (Flight* flight : current) {
        if (!listed.contains(flight) && !flight->isDeleted())
            added << flight;
    }
    appendFlights(added);
}

void FlightListModel::appendFlights(const QList<Flight*>& added)
{
    if (added.isEmpty())
        return;
    const int first = static_cast<int>(m_flights.size());
    beginInsertRows({}, first, first + static_cast<int>(added.size()) - 1);
    for (Flight* flight : added) {
        m_flights << flight;
        watch(flight);
    }
    endInsertRows();
}

void FlightListModel::applyNotice(const SaveNotice& notice)
{
    const auto isFlight = [](const ObjectId& id) { return id.entity() == QLatin1String(Flight::EntityName); };
    QSet<qint64> deleted;
    for (const ObjectId& id : notice.deleted) {
        if (isFlight(id))
            deleted.insert(id.key());
    }
    if (!deleted.isEmpty()) {
        for (int row = static_cast<int>(m_flights.size()) - 1; row >= 0; --row) {
            const Flight* flight = m_flights.at(row);
            if (flight->isDeleted() || (!flight->objectId().isTemporary() && deleted.contains(flight->objectId().key()))) {
                beginRemoveRows({}, row, row);
                m_flights.removeAt(row);
                endRemoveRows();
            }
        }
    }
    QList<Flight*> added;
    QSet<Flight*> listed;
    for (const ObjectId& id : notice.inserted) {
        if (!isFlight(id) || !m_context)
            continue;
        auto* flight = qobject_cast<Flight*>(m_context->existingObject(id));
        if (!flight || flight->isDeleted())
            continue;
        if (listed.isEmpty())
            listed = QSet<Flight*>(m_flights.cbegin(), m_flights.cend());
        if (!listed.contains(flight)) {
            listed.insert(flight);
            added << flight;
        }
    }
    appendFlights(added);
}

void FlightListModel::reformat()
{
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
    if (!m_flights.isEmpty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

int FlightListModel::columnForSortType(int sortType)
{
    if (sortType < 0 || sortType >= static_cast<int>(std::size(kSortTypeColumns)))
        return -1;
    return kSortTypeColumns[sortType];
}

int FlightListModel::sortTypeForColumn(int column)
{
    for (int type = 0; type < static_cast<int>(std::size(kSortTypeColumns)); ++type) {
        if (kSortTypeColumns[type] == column)
            return type;
    }
    return -1;
}

void FlightListModel::watch(Flight* flight)
{
    connect(flight, &StoredObject::valueChanged, this, [this, flight] { flightValueChanged(flight); });
    // A record lives as long as its context; this only guards a context torn down before the model.
    connect(flight, &QObject::destroyed, this, [this, flight] {
        const int row = static_cast<int>(m_flights.indexOf(flight));
        if (row >= 0) {
            beginRemoveRows({}, row, row);
            m_flights.removeAt(row);
            endRemoveRows();
        }
    });
}

void FlightListModel::flightValueChanged(Flight* flight)
{
    const int row = rowOf(flight);
    if (row >= 0)
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

} // namespace kalvora
