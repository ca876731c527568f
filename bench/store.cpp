// Store throughput: how long a logbook of many flights takes to list and to save.
#include <QCoreApplication>
#include <QDateTime>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "model/flight.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"

namespace {

using namespace kalvora;

void fill(ObjectContext* ctx, int count)
{
    const QDateTime base(QDate(2020, 1, 1), QTime(9, 0), Qt::UTC);
    for (int i = 0; i < count; ++i) {
        auto* f = ctx->insert<Flight>();
        f->setStartUTC(base.addSecs(qint64(i) * 7200));
        f->setLandingUTC(base.addSecs(qint64(i) * 7200 + 3600));
        f->setStartLocation(QStringLiteral("Site %1").arg(i % 50));
        f->setFreeDistance(i % 90);
        f->setIgcData(QString(20000, QLatin1Char('B')));
    }
}

/** Opening a logbook of N flights and fetching them in take-off order (what the logbook window does). */
void BM_OpenAndListFlights(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.kalvora"));
    {
        auto store = PersistentStore::open(path, ObjectModel::logBook());
        fill((*store)->mainContext(), int(state.range(0)));
        (void)(*store)->mainContext()->save();
    }
    {
        // The first opening after the bulk save folds the write-ahead log into the file; not what is measured.
        auto warm = PersistentStore::open(path, ObjectModel::logBook());
    }
    for (auto _ : state) {
        auto store = PersistentStore::open(path, ObjectModel::logBook());
        auto flights = (*store)->mainContext()->fetch<Flight>({}, {{QStringLiteral("startUTC"), true, false}});
        benchmark::DoNotOptimize(flights.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_OpenAndListFlights)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);

/** One save of one changed flight: the cost of a durable commit. */
void BM_SaveOneChange(benchmark::State& state)
{
    QTemporaryDir dir;
    auto store = PersistentStore::open(dir.filePath(QStringLiteral("bench.kalvora")), ObjectModel::logBook());
    ObjectContext* ctx = (*store)->mainContext();
    ctx->setUndoEnabled(false);
    fill(ctx, 1);
    (void)ctx->save();
    Flight* f = ctx->fetch<Flight>().first();
    int i = 0;
    for (auto _ : state) {
        f->setNotice(QString::number(++i));
        (void)ctx->save();
    }
}
BENCHMARK(BM_SaveOneChange)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
