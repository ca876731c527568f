// Taking flights out of a logbook: printing 1,000 flights to PDF, the statistics
// figures of 5,000 flights, and the statistics window's answer to a selection
// change with ten long tracks charted (the goal is below 100 ms).
#include <QApplication>
#include <QDateTime>
#include <QTemporaryDir>
#include <QTimeZone>

#include <benchmark/benchmark.h>

#include "export/flightstats.h"
#include "export/printrender.h"
#include "export/printtemplate.h"
#include "model/flight.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"
#include "ui/export/logbookoutput.h"
#include "ui/logbookwindowcontroller.h"
#include "ui/stats/flightstatswindowcontroller.h"

namespace {

using namespace kalvora;

const QDateTime kBase(QDate(2020, 1, 1), QTime(9, 0), QTimeZone::utc());

void fill(ObjectContext* ctx, int count)
{
    for (int i = 0; i < count; ++i) {
        auto* f = ctx->insert<Flight>();
        f->setStartUTC(kBase.addSecs(qint64(i) * 86400));
        f->setLandingUTC(kBase.addSecs(qint64(i) * 86400 + 3600 + i % 1800));
        f->setUtcOffset(2);
        f->setStartLocation(QStringLiteral("Site %1").arg(i % 50));
        f->setLandingLocation(QStringLiteral("Field %1").arg(i % 30));
        f->setGlider(QStringLiteral("Glider %1").arg(i % 4));
        f->setMaxAltitude(1500 + i % 1000);
        f->setMaxVario(2.5);
        f->setFreeDistance(i % 90);
        f->setNotice(i % 5 == 0 ? QStringLiteral("Good thermals <3 m/s>\nlanded fine") : QString());
    }
}

/** An IGC text of FIXES one-second fixes from 10:00 UTC, wandering north and climbing. */
QString longTrack(int fixes, int seed)
{
    QString text = QStringLiteral("HFDTE010624\r\n");
    text.reserve(fixes * 37 + 20);
    for (int i = 0; i < fixes; ++i) {
        const int t = (36000 + i) % 86400;
        text += QString::asprintf("B%02d%02d%02d46%05dN00715000EA01000%05d\r\n", t / 3600, t % 3600 / 60, t % 60,
                                  (30000 + i / 4) % 60000, 1000 + (i * 7 + seed * 13) % 2000);
    }
    return text;
}

/** The default template filled with 1,000 flights and drawn into a PDF file. */
void BM_PrintThousandFlightsToPdf(benchmark::State& state)
{
    QTemporaryDir dir;
    auto store = PersistentStore::open(dir.filePath(QStringLiteral("bench.kalvora")), ObjectModel::logBook());
    ObjectContext* ctx = (*store)->mainContext();
    fill(ctx, 1000);
    const QList<Flight*> flights = ctx->fetch<Flight>();
    const QString printTemplate = *builtInPrintTemplate();
    int pages = 0;
    for (auto _ : state) {
        QList<PrintFlight> values;
        for (const Flight* flight : flights)
            values << printFlight(*flight);
        const Result<PrintDocument> document = expandPrintTemplate(printTemplate, std::nullopt, values);
        const Result<int> written = writePrintPdf(*document, dir.filePath(QStringLiteral("bench.pdf")));
        pages = written ? *written : -1;
        benchmark::DoNotOptimize(pages);
    }
    state.counters["pages"] = pages;
}
BENCHMARK(BM_PrintThousandFlightsToPdf)->Unit(benchmark::kMillisecond)->Iterations(3);

/** The three figures (and the groups of the command line) over 5,000 stored flights. */
void BM_StatisticsFiveThousandFlights(benchmark::State& state)
{
    QTemporaryDir dir;
    auto store = PersistentStore::open(dir.filePath(QStringLiteral("bench.kalvora")), ObjectModel::logBook());
    ObjectContext* ctx = (*store)->mainContext();
    fill(ctx, 5000);
    const QList<Flight*> flights = ctx->fetch<Flight>();
    for (auto _ : state) {
        QList<StatsFlight> values;
        values.reserve(flights.size());
        for (const Flight* flight : flights)
            values << statsFlight(*flight);
        const FlightStatsFigures figures = flightStatsFigures(values);
        benchmark::DoNotOptimize(totalFlightTimeText(figures.totalS));
    }
}
BENCHMARK(BM_StatisticsFiveThousandFlights)->Unit(benchmark::kMillisecond);

/**
 * Ten flights of 40,000 fixes charted; each iteration swaps one charted flight
 * for another (deselect one, select one more): one track read and drawn anew.
 */
void BM_StatsWindowSelectionChange(benchmark::State& state)
{
    QTemporaryDir dir;
    auto store = PersistentStore::open(dir.filePath(QStringLiteral("bench.kalvora")), ObjectModel::logBook());
    ObjectContext* ctx = (*store)->mainContext();
    fill(ctx, 11);
    QList<Flight*> flights = ctx->fetch<Flight>();
    for (int i = 0; i < flights.size(); ++i)
        flights[i]->setIgcData(longTrack(40000, i));
    (void)ctx->save();
    LogBookWindowController window(ctx);
    window.windowDidLoad({});
    window.output()->openFlightStatsWindow();
    FlightStatsWindowController* stats = window.output()->statisticsWindow();
    flights = window.flightList();
    window.selectFlights(flights.mid(0, 10));
    QApplication::processEvents();
    int swap = 0;
    for (auto _ : state) {
        // Alternate the flight left out: flight 0 or flight 10.
        QList<Flight*> selection = flights.mid(1, 9);
        selection << (swap++ % 2 == 0 ? flights[10] : flights[0]);
        window.selectFlights(selection);
        benchmark::DoNotOptimize(stats->space());
        state.PauseTiming();
        QApplication::processEvents(); // the chart's own repaint is not part of the answer
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StatsWindowSelectionChange)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
