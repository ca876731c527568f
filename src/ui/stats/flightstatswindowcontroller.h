#pragma once

#include <QColor>
#include <QList>
#include <QPointer>
#include <QWidget>

#include <array>
#include <vector>

#include "export/flightstats.h"

class QChart;
class QCategoryAxis;
class QChartView;
class QLabel;
class QLineSeries;
class QTableView;
class QTimer;
class QValueAxis;

namespace kalvora {

class Flight;
class LogBookWindowController;
class TrackPointModel;

/**
 * The statistics window "FlightStats" of one logbook window: count, total and
 * average flight time of the listed flights, the altitude curves of up to ten
 * selected flights on one time-of-day axis (slot i always in colour i), and
 * the track points of the flight when only one is charted. It follows the
 * list's contents and selection and the unit setting. GUI thread.
 */
class FlightStatsWindowController final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FlightStatsWindowController)

public:
    static constexpr int kSlotCount = 10;

    explicit FlightStatsWindowController(LogBookWindowController* logbook, QWidget* parent = nullptr);
    ~FlightStatsWindowController() override;

    /** The slot colours: black, green, blue, red, yellow, cyan, magenta, orange, brown, white. */
    [[nodiscard]] static const std::array<QColor, kSlotCount>& slotColors();

    /** The flight each slot charts; nullptr for a free slot. */
    [[nodiscard]] QList<Flight*> chartedFlights() const;
    /** The curve of slot I (empty while the slot is free). */
    [[nodiscard]] QLineSeries* series(int slot) const { return m_slots[size_t(slot)].series; }
    [[nodiscard]] QChart* chart() const { return m_chart; }
    [[nodiscard]] QCategoryAxis* timeAxis() const { return m_timeAxis; }
    [[nodiscard]] QValueAxis* altitudeAxis() const { return m_altitudeAxis; }
    [[nodiscard]] TrackPointModel* pointModel() const { return m_points; }
    [[nodiscard]] QTableView* pointTable() const { return m_table; }
    [[nodiscard]] ChartSpace space() const { return m_space; }

    /** Recomputes the three figures from the list. */
    void contentsDidChange();
    /** Frees the slots of deselected flights and charts newly selected ones. */
    void selectionDidChange();

private:
    struct Slot
    {
        QPointer<Flight> flight;
        std::vector<StatsTrackPoint> track;
        QLineSeries* series = nullptr;
    };

    void notified(const QString& name);
    void addFlight(Slot& slot, Flight* flight);
    void clearSlot(Slot& slot);
    void updatePointTable();
    void updateChartSpace();
    void redrawCurve(Slot& slot);

    LogBookWindowController* m_logbook;
    std::array<Slot, kSlotCount> m_slots;
    QLabel* m_count = nullptr;
    QLabel* m_total = nullptr;
    QLabel* m_average = nullptr;
    QChart* m_chart = nullptr;
    QChartView* m_chartView = nullptr;
    QCategoryAxis* m_timeAxis = nullptr;
    QValueAxis* m_altitudeAxis = nullptr;
    TrackPointModel* m_points = nullptr;
    QTableView* m_table = nullptr;
    QTimer* m_contentsTimer = nullptr;
    ChartSpace m_space;
};

/** The clock labels of a time axis from STARTS to ENDS [s]: a round step giving at most about 8 labels. */
[[nodiscard]] QList<std::pair<std::int64_t, QString>> clockTicks(std::int64_t startS, std::int64_t endS);

} // namespace kalvora
