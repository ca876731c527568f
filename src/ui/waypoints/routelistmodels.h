#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QPointer>

namespace kalvora {

class ObjectContext;
class Route;
class RouteWaypoint;

/**
 * The routes of the global store: name, type and distance as the records
 * give them. Drawing reads the stored score only; scoring is the window's
 * business. Rows follow the context's saves and merges; a route's own
 * changes redraw its row. GUI thread only.
 */
class RouteListModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RouteListModel)

public:
    enum Column : int
    {
        NameColumn,
        TypeColumn,
        DistanceColumn,
        PointsColumn,
        ColumnCount
    };

    explicit RouteListModel(ObjectContext* context, QObject* parent);
    ~RouteListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    [[nodiscard]] Route* routeAt(int row) const;
    [[nodiscard]] int rowOf(const Route* route) const;
    /** Reads the routes of the context anew, sorted by name. */
    void reload();

private:
    QPointer<ObjectContext> m_context;
    QList<Route*> m_routes;
};

/**
 * The entries of one route in `index` order: position, name, latitude and
 * longitude [deg], altitude and radius [m], each editable in place. A changed
 * position scores the route again (the records do that). GUI thread only.
 */
class RouteEntryModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RouteEntryModel)

public:
    enum Column : int
    {
        IndexColumn,
        NameColumn,
        LatitudeColumn,
        LongitudeColumn,
        AltitudeColumn,
        RadiusColumn,
        ColumnCount
    };

    explicit RouteEntryModel(QObject* parent);
    ~RouteEntryModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    /** Shows the entries of ROUTE (nullptr: none). */
    void setRoute(Route* route);
    [[nodiscard]] Route* route() const;
    [[nodiscard]] RouteWaypoint* entryAt(int row) const;

private:
    QPointer<Route> m_route;
    QList<RouteWaypoint*> m_entries;
};

} // namespace kalvora
