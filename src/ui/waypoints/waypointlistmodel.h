#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QPointer>

#include <optional>

#include "waypoints/waypointsort.h"

namespace kalvora {

class ObjectContext;
class Waypoint;
struct SaveNotice;

/**
 * The waypoints of the global store as table rows. The rows are the store's
 * own records (pointers into the context, no copies); the order is the
 * model's, set by sort() or sortBy(), and a sort reads each key once, so a
 * list of 100 000 waypoints sorts in tens of milliseconds. The distance
 * column measures from a reference point (the window's current location or
 * the picker's flight position) and sorts by metres.
 *
 * Rows follow the context: a save or merge adds inserted waypoints at the end
 * and drops deleted ones; changed rows are redrawn. Changes that are not
 * saved (edits in a form, undo) reach the rows through waypointDidChange()
 * and reformat(). GUI thread only.
 */
class WaypointListModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WaypointListModel)

public:
    enum Column : int
    {
        SharedColumn,
        NameColumn,
        ShortNameColumn,
        AltitudeColumn,
        LatitudeColumn,
        LongitudeColumn,
        DistanceColumn,
        CityColumn,
        CountryColumn,
        ChangedColumn,
        ColumnCount
    };
    static constexpr int SortRole = Qt::UserRole + 1; ///< the raw key: metres, seconds, microdegrees, text
    static constexpr int WaypointRole = Qt::UserRole + 2; ///< the Waypoint* as QObject*

    explicit WaypointListModel(ObjectContext* context, QObject* parent);
    ~WaypointListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    /** Orders the rows by a column; the distance column by metres from the reference point. */
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    /** Orders the rows by one of the list's sort types (the distance type measures from the reference point).
     */
    void sortBy(WaypointSortType type);

    [[nodiscard]] Waypoint* waypointAt(int row) const;
    /** The row of a waypoint; -1 when it is not listed. */
    [[nodiscard]] int rowOf(const Waypoint* waypoint) const;
    /** The listed waypoints in row order. */
    [[nodiscard]] const QList<Waypoint*>& waypoints() const { return m_waypoints; }

    /** The point the distance column measures from [1e-6 deg]; nullopt leaves the column empty. */
    void setReferencePoint(std::optional<MicroPoint> point);
    [[nodiscard]] std::optional<MicroPoint> referencePoint() const { return m_reference; }
    /** [m] the distance of a listed waypoint from the reference point; nullopt without one. */
    [[nodiscard]] std::optional<qint64> distanceOf(const Waypoint& waypoint) const;

    /** Reads every waypoint of the context anew (in fetch order) and resets the rows. */
    void reload();
    /** Appends WAYPOINT when it is not listed yet (a record just inserted). */
    void addWaypoint(Waypoint* waypoint);
    /** Redraws the row of WAYPOINT. */
    void waypointDidChange(Waypoint* waypoint);
    /** Every cell and header anew, e.g. after the display units changed or an undo. */
    void reformat();

signals:
    /** The user ticked the sharing box of WAYPOINT (`syncOnline` is now 1). */
    void sharingTicked(kalvora::Waypoint* waypoint);

private:
    void contextDidChange(const SaveNotice& notice);
    void moveRows(const QList<Waypoint*>& ordered);

    QPointer<ObjectContext> m_context;
    QList<Waypoint*> m_waypoints;
    std::optional<MicroPoint> m_reference;
};

} // namespace kalvora
