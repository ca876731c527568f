#include "ui/waypoints/waypointlistmodel.h"

#include <QDateTime>
#include <QHash>
#include <QLocale>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <vector>

#include "model/waypoint.h"
#include "store/notificationcenter.h"
#include "store/objectcontext.h"
#include "ui/unitdisplay.h"

namespace kalvora {
namespace {

QString coordinateText(qint64 micro, char positive, char negative)
{
    return QStringLiteral("%1° %2")
        .arg(QString::number(std::fabs(double(micro)) / 1000000.0, 'f', 6))
        .arg(QLatin1Char(micro < 0 ? negative : positive));
}

QString changedText(double seconds)
{
    if (seconds <= 0)
        return {};
    return QLocale().toString(QDateTime::fromMSecsSinceEpoch(qint64(seconds * 1000.0)), QLocale::ShortFormat);
}

/** Orders WAYPOINTS by keys read once each; DESCENDING reverses the order of unequal keys only. */
template <typename Key, typename ReadKey>
void stableSortBy(QList<Waypoint*>& waypoints, ReadKey readKey, bool descending)
{
    std::vector<std::pair<Key, Waypoint*>> entries;
    entries.reserve(size_t(waypoints.size()));
    for (Waypoint* w : waypoints)
        entries.emplace_back(readKey(*w), w);
    std::stable_sort(entries.begin(), entries.end(), [descending](const auto& a, const auto& b) {
        return descending ? b.first < a.first : a.first < b.first;
    });
    for (qsizetype i = 0; i < waypoints.size(); ++i)
        waypoints[i] = entries[size_t(i)].second;
}

QString foldedText(const QString& text)
{
    return text.toCaseFolded();
}

} // namespace

WaypointListModel::WaypointListModel(ObjectContext* context, QObject* parent)
    : QAbstractTableModel(parent), m_context(context)
{
    if (m_context)
        connect(m_context, &ObjectContext::objectsDidChange, this, &WaypointListModel::contextDidChange);
    // Position, altitude and radius changes are announced, saved or not.
    connect(&NotificationCenter::instance(), &NotificationCenter::notified, this,
            [this](const QString& name, QObject* object) {
                if (name == QLatin1String(notifications::WaypointChanged))
                    if (auto* w = qobject_cast<Waypoint*>(object))
                        waypointDidChange(w);
            });
    reload();
}

WaypointListModel::~WaypointListModel() = default;

int WaypointListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_waypoints.size());
}

int WaypointListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

std::optional<qint64> WaypointListModel::distanceOf(const Waypoint& waypoint) const
{
    if (!m_reference)
        return std::nullopt;
    return distanceToWaypoint(*m_reference, waypoint);
}

QVariant WaypointListModel::data(const QModelIndex& index, int role) const
{
    const Waypoint* w = waypointAt(index.row());
    if (!w || index.column() < 0 || index.column() >= ColumnCount)
        return {};

    if (role == WaypointRole)
        return QVariant::fromValue(static_cast<QObject*>(const_cast<Waypoint*>(w)));

    if (index.column() == SharedColumn) {
        if (role == Qt::CheckStateRole)
            return w->syncOnline() == 1 ? Qt::Checked : Qt::Unchecked;
        if (role == SortRole)
            return w->syncOnline();
        if (role == Qt::ToolTipRole)
            return tr("Shared with the online waypoint database");
        return {};
    }

    if (role == SortRole) {
        switch (index.column()) {
        case NameColumn:
            return w->name();
        case ShortNameColumn:
            return w->shortName();
        case AltitudeColumn:
            return w->altitude();
        case LatitudeColumn:
            return w->latitude();
        case LongitudeColumn:
            return w->longitude();
        case DistanceColumn: {
            const auto d = distanceOf(*w);
            return d ? QVariant(*d) : QVariant();
        }
        case CityColumn:
            return w->city();
        case CountryColumn:
            return w->country();
        case ChangedColumn:
            return w->lastModified();
        default:
            return {};
        }
    }

    if (role == Qt::TextAlignmentRole) {
        switch (index.column()) {
        case AltitudeColumn:
        case LatitudeColumn:
        case LongitudeColumn:
        case DistanceColumn:
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        default:
            return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        }
    }

    if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::EditRole)
        return {};

    switch (index.column()) {
    case NameColumn:
        return w->name();
    case ShortNameColumn:
        return w->shortName();
    case AltitudeColumn:
        return UnitDisplay::current().altitude(double(w->altitude()));
    case LatitudeColumn:
        return coordinateText(w->latitude(), 'N', 'S');
    case LongitudeColumn:
        return coordinateText(w->longitude(), 'E', 'W');
    case DistanceColumn: {
        const auto d = distanceOf(*w);
        return d ? Waypoint::stringFromDistance(*d).trimmed() : QString();
    }
    case CityColumn:
        return w->city();
    case CountryColumn:
        return w->country();
    case ChangedColumn:
        return changedText(w->lastModified());
    default:
        return {};
    }
}

bool WaypointListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    Waypoint* w = waypointAt(index.row());
    if (!w || index.column() != SharedColumn || role != Qt::CheckStateRole)
        return false;
    const bool on = value.toInt() == Qt::Checked;
    if ((w->syncOnline() == 1) == on)
        return false;
    w->setSyncOnline(on ? 1 : 0);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    if (on)
        emit sharingTicked(w);
    return true;
}

Qt::ItemFlags WaypointListModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == SharedColumn)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant WaypointListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::ToolTipRole && section == SharedColumn)
        return tr("Shared with the online waypoint database");
    if (role != Qt::DisplayRole)
        return {};
    switch (section) {
    case SharedColumn:
        return tr("Online");
    case NameColumn:
        return tr("Name");
    case ShortNameColumn:
        return tr("Short name");
    case AltitudeColumn:
        return tr("Altitude (%1)").arg(UnitDisplay::current().altitudeUnit());
    case LatitudeColumn:
        return tr("Latitude");
    case LongitudeColumn:
        return tr("Longitude");
    case DistanceColumn:
        return tr("Distance");
    case CityColumn:
        return tr("City");
    case CountryColumn:
        return tr("Country");
    case ChangedColumn:
        return tr("Last change");
    default:
        return {};
    }
}

void WaypointListModel::moveRows(const QList<Waypoint*>& ordered)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    QList<Waypoint*> owners;
    owners.reserve(before.size());
    for (const QModelIndex& index : before)
        owners << waypointAt(index.row());
    m_waypoints = ordered;
    // A selection of a few rows is looked up directly; a large one through a table of the new rows.
    QHash<const Waypoint*, int> rows;
    if (before.size() > 64) {
        rows.reserve(m_waypoints.size());
        for (int row = 0; row < int(m_waypoints.size()); ++row)
            rows.insert(m_waypoints[row], row);
    }
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i) {
        const int row = rows.isEmpty() ? rowOf(owners[i]) : rows.value(owners[i], -1);
        after << (row < 0 ? QModelIndex() : index(row, before[i].column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void WaypointListModel::sort(int column, Qt::SortOrder order)
{
    QList<Waypoint*> ordered = m_waypoints;
    const bool descending = order == Qt::DescendingOrder;
    switch (column) {
    case NameColumn:
        sortWaypoints(ordered, WaypointSortType::Name);
        if (descending)
            std::reverse(ordered.begin(), ordered.end());
        break;
    case DistanceColumn:
        // Without a reference point the order measures from 0, 0, as a distance order restored at start-up
        // does.
        sortWaypointsByDistance(ordered, m_reference.value_or(MicroPoint{}), descending);
        break;
    case ChangedColumn: {
        // Newest first is the list's own order; ascending puts the oldest first.
        AttributeReader key(QStringLiteral("lastModified"));
        stableSortBy<double>(
            ordered, [&key](const Waypoint& w) { return key.number(w); }, descending);
        break;
    }
    case ShortNameColumn:
    case CityColumn:
    case CountryColumn: {
        AttributeReader key(column == ShortNameColumn ? QStringLiteral("shortName")
                            : column == CityColumn    ? QStringLiteral("city")
                                                      : QStringLiteral("country"));
        stableSortBy<QString>(
            ordered, [&key](const Waypoint& w) { return foldedText(key.string(w)); }, descending);
        break;
    }
    case AltitudeColumn:
    case LatitudeColumn:
    case LongitudeColumn:
    case SharedColumn: {
        AttributeReader key(column == AltitudeColumn   ? QStringLiteral("altitude")
                            : column == LatitudeColumn ? QStringLiteral("latitude")
                            : column == LongitudeColumn ? QStringLiteral("longitude")
                                                        : QStringLiteral("syncOnline"));
        stableSortBy<qint64>(
            ordered, [&key](const Waypoint& w) { return key.integer(w); }, descending);
        break;
    }
    default:
        return;
    }
    moveRows(ordered);
}

void WaypointListModel::sortBy(WaypointSortType type)
{
    QList<Waypoint*> ordered = m_waypoints;
    sortWaypoints(ordered, type, m_reference);
    moveRows(ordered);
}

Waypoint* WaypointListModel::waypointAt(int row) const
{
    return row >= 0 && row < int(m_waypoints.size()) ? m_waypoints[row] : nullptr;
}

int WaypointListModel::rowOf(const Waypoint* waypoint) const
{
    return waypoint ? int(m_waypoints.indexOf(const_cast<Waypoint*>(waypoint))) : -1;
}

void WaypointListModel::setReferencePoint(std::optional<MicroPoint> point)
{
    m_reference = point;
    if (!m_waypoints.isEmpty())
        emit dataChanged(index(0, DistanceColumn), index(rowCount() - 1, DistanceColumn));
}

void WaypointListModel::reload()
{
    beginResetModel();
    // A fetch lists no deleted records.
    m_waypoints = m_context ? m_context->fetch<Waypoint>() : QList<Waypoint*>();
    endResetModel();
}

void WaypointListModel::addWaypoint(Waypoint* waypoint)
{
    if (!waypoint || waypoint->isDeleted() || rowOf(waypoint) >= 0)
        return;
    const int row = rowCount();
    beginInsertRows({}, row, row);
    m_waypoints << waypoint;
    endInsertRows();
}

void WaypointListModel::waypointDidChange(Waypoint* waypoint)
{
    const int row = rowOf(waypoint);
    if (row >= 0)
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void WaypointListModel::reformat()
{
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
    if (!m_waypoints.isEmpty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

void WaypointListModel::contextDidChange(const SaveNotice& notice)
{
    if (!m_context)
        return;
    // Deleted records first, so that rows are looked up in the shorter list.
    for (int row = int(m_waypoints.size()) - 1; row >= 0; --row) {
        if (m_waypoints[row]->isDeleted()) {
            beginRemoveRows({}, row, row);
            m_waypoints.removeAt(row);
            endRemoveRows();
        }
    }
    const QString entity = QString::fromLatin1(Waypoint::EntityName);
    for (const ObjectId& id : notice.inserted) {
        if (id.entity() == entity)
            addWaypoint(qobject_cast<Waypoint*>(m_context->existingObject(id)));
    }
    for (const ObjectId& id : notice.updated) {
        if (id.entity() != entity)
            continue;
        auto* w = qobject_cast<Waypoint*>(m_context->existingObject(id));
        // A record that the main context had not fetched yet (merged from elsewhere) is new here.
        if (rowOf(w) < 0)
            addWaypoint(w);
        else
            waypointDidChange(w);
    }
}

} // namespace kalvora
