#pragma once

#include <QAbstractTableModel>

#include <vector>

#include "export/flightstats.h"

namespace kalvora {

/**
 * The track points of the one charted flight, with the flight proper and the
 * turnpoints marked; altitudes in the current altitude unit. GUI thread.
 */
class TrackPointModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrackPointModel)

public:
    enum Column { TimeColumn, LatitudeColumn, LongitudeColumn, GpsAltitudeColumn, PressureAltitudeColumn,
                  InFlightColumn, TurnpointColumn, ColumnCount };

    explicit TrackPointModel(QObject* parent = nullptr);

    void setPoints(std::vector<StatsTrackPoint> points);
    [[nodiscard]] const std::vector<StatsTrackPoint>& points() const { return m_points; }
    /** The unit setting changed: every altitude is shown anew. */
    void reformat();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<StatsTrackPoint> m_points;
};

} // namespace kalvora
