#include "ui/waypoints/routelistmodels.h"

#include <algorithm>
#include <cmath>

#include "model/route.h"
#include "model/routewaypoint.h"
#include "store/objectcontext.h"

namespace kalvora {

RouteListModel::RouteListModel(ObjectContext* context, QObject* parent)
    : QAbstractTableModel(parent), m_context(context)
{
    if (m_context)
        connect(m_context, &ObjectContext::objectsDidChange, this, &RouteListModel::reload);
    reload();
}

RouteListModel::~RouteListModel() = default;

int RouteListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_routes.size());
}

int RouteListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant RouteListModel::data(const QModelIndex& index, int role) const
{
    const Route* route = routeAt(index.row());
    if (!route)
        return {};
    if (role == Qt::TextAlignmentRole)
        return index.column() == DistanceColumn || index.column() == PointsColumn
                   ? QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter)
                   : QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (index.column()) {
    case NameColumn:
        return route->name();
    case TypeColumn:
        return route->routeTypeString();
    case DistanceColumn:
        return route->distanceString();
    case PointsColumn:
        return route->relatedObjects(QStringLiteral("waypoints")).size();
    default:
        return {};
    }
}

QVariant RouteListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case NameColumn:
        return tr("Name");
    case TypeColumn:
        return tr("Type");
    case DistanceColumn:
        return tr("Distance (km)");
    case PointsColumn:
        return tr("Points");
    default:
        return {};
    }
}

Route* RouteListModel::routeAt(int row) const
{
    return row >= 0 && row < int(m_routes.size()) ? m_routes[row] : nullptr;
}

int RouteListModel::rowOf(const Route* route) const
{
    return int(m_routes.indexOf(const_cast<Route*>(route)));
}

void RouteListModel::reload()
{
    QList<Route*> routes;
    if (m_context)
        for (Route* r : m_context->fetch<Route>())
            if (!r->isDeleted())
                routes << r;
    std::stable_sort(routes.begin(), routes.end(), [](const Route* a, const Route* b) {
        return a->name().compare(b->name(), Qt::CaseInsensitive) < 0;
    });
    if (routes == m_routes) {
        if (!m_routes.isEmpty())
            emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
        return;
    }
    beginResetModel();
    for (Route* r : std::as_const(m_routes))
        disconnect(r, nullptr, this, nullptr);
    m_routes = routes;
    for (Route* r : std::as_const(m_routes))
        connect(r, &StoredObject::valueChanged, this, [this, r] {
            const int row = rowOf(r);
            if (row >= 0)
                emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
        });
    endResetModel();
}

RouteEntryModel::RouteEntryModel(QObject* parent) : QAbstractTableModel(parent) {}

RouteEntryModel::~RouteEntryModel() = default;

int RouteEntryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

int RouteEntryModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

RouteWaypoint* RouteEntryModel::entryAt(int row) const
{
    return row >= 0 && row < int(m_entries.size()) ? m_entries[row] : nullptr;
}

QVariant RouteEntryModel::data(const QModelIndex& index, int role) const
{
    const RouteWaypoint* e = entryAt(index.row());
    if (!e)
        return {};
    if (role == Qt::TextAlignmentRole)
        return index.column() == NameColumn ? QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter)
                                            : QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::EditRole) {
        // Texts, so that the editor is a plain field keeping every decimal (a spin box would round to two).
        switch (index.column()) {
        case NameColumn:
            return e->newName();
        case LatitudeColumn:
            return QString::number(e->latitude(), 'f', 7);
        case LongitudeColumn:
            return QString::number(e->longitude(), 'f', 7);
        case AltitudeColumn:
            return QString::number(e->altitude(), 'f', 0);
        case RadiusColumn:
            return QString::number(e->radius(), 'f', 0);
        default:
            return {};
        }
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (index.column()) {
    case IndexColumn:
        return e->index() + 1;
    case NameColumn:
        return e->newName();
    case LatitudeColumn:
        return QString::number(e->latitude(), 'f', 6);
    case LongitudeColumn:
        return QString::number(e->longitude(), 'f', 6);
    case AltitudeColumn:
        return QString::number(e->altitude(), 'f', 0);
    case RadiusColumn:
        return QString::number(e->radius(), 'f', 0);
    default:
        return {};
    }
}

bool RouteEntryModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    RouteWaypoint* e = entryAt(index.row());
    if (!e || role != Qt::EditRole)
        return false;
    bool ok = true;
    const double number = index.column() == NameColumn ? 0 : value.toString().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return false;
    switch (index.column()) {
    case NameColumn:
        e->setNewName(value.toString());
        break;
    case LatitudeColumn:
        if (number < -90 || number > 90)
            return false;
        e->setLatitude(number);
        break;
    case LongitudeColumn:
        if (number < -180 || number > 180)
            return false;
        e->setLongitude(number);
        break;
    case AltitudeColumn:
        e->setAltitude(number);
        break;
    case RadiusColumn:
        if (number < 0)
            return false;
        e->setRadius(number);
        break;
    default:
        return false;
    }
    emit dataChanged(index.siblingAtColumn(0), index.siblingAtColumn(ColumnCount - 1));
    return true;
}

Qt::ItemFlags RouteEntryModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() != IndexColumn)
        f |= Qt::ItemIsEditable;
    return f;
}

QVariant RouteEntryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case IndexColumn:
        return tr("#");
    case NameColumn:
        return tr("Name");
    case LatitudeColumn:
        return tr("Latitude (°)");
    case LongitudeColumn:
        return tr("Longitude (°)");
    case AltitudeColumn:
        return tr("Altitude (m)");
    case RadiusColumn:
        return tr("Radius (m)");
    default:
        return {};
    }
}

Route* RouteEntryModel::route() const
{
    return m_route;
}

void RouteEntryModel::setRoute(Route* route)
{
    beginResetModel();
    m_route = route;
    m_entries = route ? route->sortedWaypoints() : QList<RouteWaypoint*>{};
    endResetModel();
}

} // namespace kalvora
