#include "ui/stats/flightstatswindowcontroller.h"

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QFormLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QSplitter>
#include <QTableView>
#include <QTimeZone>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>

#include "model/flight.h"
#include "model/igcscorepoint.h"
#include "model/settings.h"
#include "store/notificationcenter.h"
#include "ui/logbookwindowcontroller.h"
#include "ui/stats/trackpointmodel.h"

namespace kalvora {

namespace {

/** Display altitude per metre in the current unit. */
double altitudeFactor()
{
    const std::optional<UnitSettings> units = Settings::current();
    return units && units->altitudeUnitIndex != 0 ? 1.0 / 0.3048 : 1.0;
}

QString slotName(const Flight& flight)
{
    const QDateTime local = flight.startLocal();
    const QString date = local.isValid() ? local.toTimeZone(QTimeZone::utc()).toString(QStringLiteral("yyyy-MM-dd"))
                                         : QString();
    return flight.startLocation().isEmpty() ? date : date + QLatin1Char(' ') + flight.startLocation();
}

} // namespace

QList<std::pair<std::int64_t, QString>> clockTicks(std::int64_t startS, std::int64_t endS)
{
    static constexpr std::int64_t steps[] = {60, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
    const std::int64_t span = std::max<std::int64_t>(endS - startS, 1);
    std::int64_t step = steps[std::size(steps) - 1];
    for (std::int64_t s : steps) {
        if (span / s <= 8) {
            step = s;
            break;
        }
    }
    QList<std::pair<std::int64_t, QString>> ticks;
    for (std::int64_t t = (startS + step - 1) / step * step; t <= endS; t += step) {
        const std::int64_t clock = ((t % 86400) + 86400) % 86400;
        ticks.append({t, QString::asprintf("%02d:%02d", int(clock / 3600), int(clock % 3600 / 60))});
    }
    return ticks;
}

const std::array<QColor, FlightStatsWindowController::kSlotCount>& FlightStatsWindowController::slotColors()
{
    static const std::array<QColor, kSlotCount> colors{
        QColor::fromRgbF(0, 0, 0),   QColor::fromRgbF(0, 1, 0),      QColor::fromRgbF(0, 0, 1),
        QColor::fromRgbF(1, 0, 0),   QColor::fromRgbF(1, 1, 0),      QColor::fromRgbF(0, 1, 1),
        QColor::fromRgbF(1, 0, 1),   QColor::fromRgbF(1, 0.5f, 0),   QColor::fromRgbF(0.5f, 0.25f, 0),
        QColor::fromRgbF(1, 1, 1),
    };
    return colors;
}

FlightStatsWindowController::FlightStatsWindowController(LogBookWindowController* logbook, QWidget* parent)
    : QWidget(parent, Qt::Window), m_logbook(logbook)
{
    setObjectName(QStringLiteral("FlightStats"));
    setWindowTitle(tr("Statistics — %1").arg(logbook->windowTitle()));
    resize(1040, 740);

    // The three figures.
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("flightCount"));
    m_total = new QLabel(this);
    m_total->setObjectName(QStringLiteral("totalFlightTime"));
    m_average = new QLabel(this);
    m_average->setObjectName(QStringLiteral("avgFlightTime"));
    auto* figures = new QFormLayout;
    figures->addRow(tr("Flights:"), m_count);
    figures->addRow(tr("Total flight time (d:hh:mm:ss):"), m_total);
    figures->addRow(tr("Average flight time:"), m_average);

    // The chart: ten slots, each with its own colour for its whole life.
    m_chart = new QChart;
    m_chart->setBackgroundBrush(QColor::fromRgbF(0.7f, 0.7f, 0.7f));
    m_chart->setPlotAreaBackgroundBrush(QColor::fromRgbF(0.2f, 0.2f, 0.2f, 0.3f));
    m_chart->setPlotAreaBackgroundVisible(true);
    m_chart->setBackgroundRoundness(10);
    m_chart->setMargins(QMargins(20, 20, 20, 20));
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    QFont titleFont = font();
    titleFont.setBold(true);
    titleFont.setPointSize(12);
    m_timeAxis = new QCategoryAxis(m_chart);
    m_timeAxis->setTitleText(tr("Time (UTC)"));
    m_timeAxis->setTitleFont(titleFont);
    m_timeAxis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    m_timeAxis->setShadesVisible(true);
    m_timeAxis->setShadesBrush(QColor::fromRgbF(0, 1, 0, 0.1f));
    m_timeAxis->setShadesPen(Qt::NoPen);
    m_altitudeAxis = new QValueAxis(m_chart);
    m_altitudeAxis->setTitleFont(titleFont);
    m_altitudeAxis->setTickType(QValueAxis::TicksDynamic);
    m_altitudeAxis->setTickAnchor(0);
    m_altitudeAxis->setTickInterval(500);
    m_altitudeAxis->setMinorTickCount(0);
    m_altitudeAxis->setLabelFormat(QStringLiteral("%.0f"));
    m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
    m_chart->addAxis(m_altitudeAxis, Qt::AlignLeft);
    for (int i = 0; i < kSlotCount; ++i) {
        auto* series = new QLineSeries(m_chart);
        series->setObjectName(QString::number(i));
        QPen pen(slotColors()[size_t(i)]);
        pen.setWidthF(1.5);
        series->setPen(pen);
        m_chart->addSeries(series);
        series->attachAxis(m_timeAxis);
        series->attachAxis(m_altitudeAxis);
        series->setVisible(false);
        m_slots[size_t(i)].series = series;
    }
    for (QLegendMarker* marker : m_chart->legend()->markers())
        marker->setVisible(false);
    m_chartView = new QChartView(m_chart, this);
    m_chartView->setObjectName(QStringLiteral("altitudeChart"));
    m_chartView->setRenderHint(QPainter::Antialiasing);
    m_chartView->setAccessibleName(tr("Altitude chart"));
    m_chartView->setMinimumHeight(280);

    // The track points of a single charted flight.
    m_points = new TrackPointModel(this);
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("pointTable"));
    m_table->setAccessibleName(tr("Track points"));
    m_table->setModel(m_points);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_table->horizontalHeader()->setDefaultSectionSize(110);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(m_chartView);
    splitter->addWidget(m_table);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    splitter->setSizes({420, 220});
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(figures);
    layout->addWidget(splitter, 1);

    // Bursts of list changes (an import adds many rows) are counted once.
    m_contentsTimer = new QTimer(this);
    m_contentsTimer->setSingleShot(true);
    m_contentsTimer->setInterval(0);
    connect(m_contentsTimer, &QTimer::timeout, this, &FlightStatsWindowController::contentsDidChange);
    QAbstractItemModel* list = logbook->flightTable()->model();
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(list, signal, m_contentsTimer, qOverload<>(&QTimer::start));
    connect(list, &QAbstractItemModel::modelReset, m_contentsTimer, qOverload<>(&QTimer::start));
    connect(list, &QAbstractItemModel::dataChanged, m_contentsTimer, qOverload<>(&QTimer::start));
    connect(logbook->flightTable()->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &FlightStatsWindowController::selectionDidChange);
    connect(&NotificationCenter::instance(), &NotificationCenter::notified, this,
            [this](const QString& name, QObject*, const QVariantMap&) { notified(name); });

    selectionDidChange();
    contentsDidChange();
}

FlightStatsWindowController::~FlightStatsWindowController() = default;

QList<Flight*> FlightStatsWindowController::chartedFlights() const
{
    QList<Flight*> flights;
    for (const Slot& slot : m_slots)
        flights << slot.flight.data();
    return flights;
}

void FlightStatsWindowController::contentsDidChange()
{
    QList<StatsFlight> flights;
    for (const Flight* flight : m_logbook->flightList())
        flights << statsFlight(*flight);
    const FlightStatsFigures figures = flightStatsFigures(flights);
    m_count->setText(QString::number(figures.count));
    m_total->setText(totalFlightTimeText(figures.totalS));
    m_average->setText(averageFlightTimeText(figures.averageS));
}

void FlightStatsWindowController::selectionDidChange()
{
    const QList<Flight*> selected = m_logbook->selectedFlights();
    bool changed = false;
    for (Slot& slot : m_slots) {
        if (slot.series->isVisible() && (!slot.flight || !selected.contains(slot.flight.data()))) {
            clearSlot(slot);
            changed = true;
        }
    }
    for (Flight* flight : selected) {
        const bool charted = std::any_of(m_slots.begin(), m_slots.end(),
                                         [flight](const Slot& slot) { return slot.flight == flight; });
        if (charted)
            continue;
        auto free = std::find_if(m_slots.begin(), m_slots.end(), [](const Slot& slot) { return !slot.series->isVisible(); });
        if (free == m_slots.end())
            break;
        addFlight(*free, flight);
        changed = true;
    }
    if (changed) {
        updatePointTable();
        updateChartSpace();
    }
}

void FlightStatsWindowController::addFlight(Slot& slot, Flight* flight)
{
    slot.flight = flight;
    const QByteArray igc = flight->igcData().toLatin1();
    slot.track = statsTrackPoints(std::string_view(igc.constData(), size_t(igc.size())));
    slot.series->setName(slotName(*flight));
    redrawCurve(slot);
    slot.series->setVisible(true);
    for (QLegendMarker* marker : m_chart->legend()->markers(slot.series))
        marker->setVisible(true);
}

void FlightStatsWindowController::clearSlot(Slot& slot)
{
    slot.flight.clear();
    slot.track.clear();
    slot.track.shrink_to_fit();
    slot.series->clear();
    slot.series->setVisible(false);
    for (QLegendMarker* marker : m_chart->legend()->markers(slot.series))
        marker->setVisible(false);
}

void FlightStatsWindowController::redrawCurve(Slot& slot)
{
    QList<QPointF> curve = altitudeCurve(slot.track);
    const double factor = altitudeFactor();
    if (factor != 1.0)
        for (QPointF& p : curve)
            p.setY(p.y() * factor);
    slot.series->replace(curve);
}

void FlightStatsWindowController::updatePointTable()
{
    const Slot* only = nullptr;
    int used = 0;
    for (const Slot& slot : m_slots) {
        if (slot.series->isVisible()) {
            ++used;
            only = &slot;
        }
    }
    if (used != 1 || !only->flight) {
        m_points->setPoints({});
        return;
    }
    const Flight& flight = *only->flight;
    std::vector<StatsTrackPoint> rows = only->track;
    const auto position = [&flight](const char* latitude, const char* longitude) -> std::optional<StatsPosition> {
        if (!flight.hasValue(QLatin1String(latitude)) || !flight.hasValue(QLatin1String(longitude)))
            return std::nullopt;
        return StatsPosition{flight.value(QLatin1String(latitude)).toDouble(),
                             flight.value(QLatin1String(longitude)).toDouble()};
    };
    QList<StatsPosition> turnpoints;
    for (const IGCScorePoint* point : flight.igcScorePoints())
        turnpoints << StatsPosition{point->latitude(), point->longitude()};
    markTrackPoints(rows, position("startLatitude", "startLongitude"), position("landingLatitude", "landingLongitude"),
                    turnpoints);
    m_points->setPoints(std::move(rows));
}

void FlightStatsWindowController::updateChartSpace()
{
    QList<const std::vector<StatsTrackPoint>*> tracks;
    QList<double> maxAltitudes;
    for (const Slot& slot : m_slots) {
        if (!slot.series->isVisible())
            continue;
        tracks << &slot.track;
        if (slot.flight)
            maxAltitudes << slot.flight->maxAltitude();
    }
    if (tracks.isEmpty())
        return;
    m_space = chartSpace(tracks, maxAltitudes);
    m_timeAxis->setRange(double(m_space.startS), double(m_space.endS));
    for (const QString& label : m_timeAxis->categoriesLabels())
        m_timeAxis->remove(label);
    m_timeAxis->setStartValue(double(m_space.startS));
    for (const auto& [value, label] : clockTicks(m_space.startS, m_space.endS))
        m_timeAxis->append(label, double(value));
    const double factor = altitudeFactor();
    m_altitudeAxis->setTitleText(tr("Altitude [%1]").arg(factor == 1.0 ? QStringLiteral("m") : QStringLiteral("ft")));
    m_altitudeAxis->setTickInterval(factor == 1.0 ? 500 : 1000);
    m_altitudeAxis->setRange(0, std::ceil(m_space.maxAltitudeM * factor * 1.05 / 100) * 100);
}

void FlightStatsWindowController::notified(const QString& name)
{
    if (name != QLatin1String(notifications::SettingsUnitTypeChanged))
        return;
    for (Slot& slot : m_slots)
        if (slot.series->isVisible())
            redrawCurve(slot);
    updateChartSpace();
    m_points->reformat();
}

} // namespace kalvora
