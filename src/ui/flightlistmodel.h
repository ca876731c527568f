#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QPointer>

namespace kalvora {

class Flight;
class ObjectContext;
struct SaveNotice;

/**
 * The flights of one logbook as table rows, in fetch order (a sort proxy puts
 * them in list order). Values are shown in the current display units; the
 * SortRole gives the raw value in base units for sorting.
 *
 * Rows follow the context: flights inserted or deleted in it appear and vanish
 * after refresh() or the context's next save or merge; a flight's own changes
 * update its row at once. GUI thread only.
 */
class FlightListModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FlightListModel)

public:
    enum Column : int {
        DateColumn,
        TakeOffTimeColumn,
        TakeOffPlaceColumn,
        LandingPlaceColumn,
        FlightTimeColumn,
        XCPointsColumn,
        FlightTypeColumn,
        DistanceColumn,
        MaxAltitudeColumn,
        MaxClimbColumn,
        MaxSpeedColumn,
        GliderColumn,
        ColumnCount
    };
    static constexpr int SortRole = Qt::UserRole + 1;
    static constexpr int FlightRole = Qt::UserRole + 2; ///< the Flight* as QObject*

    explicit FlightListModel(ObjectContext* context, QObject* parent);
    ~FlightListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    /** The flight of a row; nullptr outside the table. */
    [[nodiscard]] Flight* flightAt(int row) const;
    /** The row of a flight; -1 when it is not listed. */
    [[nodiscard]] int rowOf(const Flight* flight) const;
    [[nodiscard]] const QList<Flight*>& flights() const { return m_flights; }

    /** Brings the rows in line with the context: new flights are appended, deleted ones removed. */
    void refresh();
    /** Every cell and header anew, e.g. after the display units changed. */
    void reformat();

    /** The column that holds the key of a sort type (0 to 5); -1 for any other type. */
    [[nodiscard]] static int columnForSortType(int sortType);
    /** The sort type whose key a column holds; -1 when it holds none. */
    [[nodiscard]] static int sortTypeForColumn(int column);

private:
    void applyNotice(const SaveNotice& notice);
    /** Adds @p added at the end of the list, as one insertion. */
    void appendFlights(const QList<Flight*>& added);
    void watch(Flight* flight);
    void flightValueChanged(Flight* flight);

    QPointer<ObjectContext> m_context;
    QList<Flight*> m_flights;
};

} // namespace kalvora
