/*
 * guistallbench: how long the GUI thread stalls while the logbook window
 * imports IGC files. It opens a new logbook in a temporary folder (HOME, XDG
 * folders and preferences all point there; no place finder, and the look-up
 * URLs point at a closed loopback port, so nothing goes to the network), drops
 * every *.igc of the test data folder onto the window, answers each overlap
 * question with "import as well", and runs a latency probe: a precise 10 ms
 * timer on the GUI thread that records how late each tick comes. The probe
 * runs until the import has finished and the XC queue has scored every flight.
 * It prints files, flights, seconds, the largest and the 99th-percentile
 * lateness, the ticks later than 100 ms and PASS/FAIL against 100 ms; the exit
 * code is non-zero only when the run itself failed, not for a FAIL.
 *
 *   QT_QPA_PLATFORM=offscreen build/tools/guistallbench/guistallbench [testdata/igc folder]
 *
 * The folder defaults to $KALVORA_TESTDATA_DIR/igc, then /work/shared/testdata/igc.
 * KALVORA_STALL_TRACE=1 prints every tick later than 50 ms with its time and
 * the events delivered since the tick before (the costliest receivers), and
 * every event whose delivery took longer than 50 ms with its receiver's class.
 * The folder is searched at any depth. KALVORA_STALL_GEOCODER=URL names the
 * places through a reverse geocoder at URL (loopback only), with the place
 * answers kept as the application keeps them.
 */
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include <sys/resource.h>

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QMimeData>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include "logbook/flightimporter.h"
#include "logbook/igcfolder.h"
#include "logbook/placecache.h"
#include "logbook/xcqueue.h"
#include "model/flight.h"
#include "model/settings.h"
#include "services/httpclient.h"
#include "waypoints/placeanswercache.h"
#include "waypoints/placefinderlookup.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"
#include "timedapplication.h"
#include "ui/flightintersectsheet.h"
#include "ui/logbookimport.h"
#include "ui/logbookwindowcontroller.h"

namespace {

constexpr int kTickMs = 10;
constexpr double kLimitMs = 100;
constexpr qint64 kGiveUpMs = 15 * 60 * 1000;

QString testdataFolder(int argc, char** argv)
{
    if (argc > 1)
        return QString::fromLocal8Bit(argv[1]);
    const QByteArray env = qgetenv("KALVORA_TESTDATA_DIR");
    if (!env.isEmpty())
        return QDir(QString::fromLocal8Bit(env)).filePath(QStringLiteral("igc"));
    return QStringLiteral("/work/shared/testdata/igc");
}

/** Sends the drag and the drop of @p paths to @p window; true when it took them. */
bool drop(QWidget* window, const QStringList& paths)
{
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    const QPoint inside(20, 20);
    QDragEnterEvent enter(inside, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent dropEvent(inside, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &dropEvent);
    return dropEvent.isAccepted();
}

} // namespace

int main(int argc, char** argv)
{
    // Everything the application writes stays in a folder of its own; set before Qt reads it.
    QTemporaryDir home;
    if (!home.isValid()) {
        std::fprintf(stderr, "guistallbench: no temporary folder\n");
        return 2;
    }
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.filePath(QStringLiteral("cache"))));
    qputenv("KALVORA_NOMINATIM_URL", "http://127.0.0.1:9");
    qputenv("KALVORA_TIMEZONE_URL", "http://127.0.0.1:9");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    kalvora::bench::TimedApplication app(argc, argv);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.filePath(QStringLiteral("config")));

    const QDir folder(testdataFolder(argc, argv));
    const QStringList files = kalvora::igcFilesInFolder(folder.path());
    if (files.isEmpty()) {
        std::fprintf(stderr, "guistallbench: no IGC files in %s\n", qPrintable(folder.path()));
        return 2;
    }

    auto logbook = kalvora::PersistentStore::open(home.filePath(QStringLiteral("bench.kalvora")),
                                                  kalvora::ObjectModel::logBook());
    auto global = kalvora::PersistentStore::open(home.filePath(QStringLiteral("global.kalvora")),
                                                 kalvora::ObjectModel::global());
    if (!logbook.ok() || !global.ok()) {
        std::fprintf(stderr, "guistallbench: cannot open the stores: %s\n",
                     (!logbook.ok() ? logbook.error() : global.error()).c_str());
        return 2;
    }
    kalvora::Settings::setCurrentUnits(kalvora::UnitSettings{});

    auto window = std::make_unique<kalvora::LogBookWindowController>(logbook.value()->mainContext());
    // Like the application, with a global store and, unless a geocoder is named, no place finder: offline.
    std::unique_ptr<kalvora::PlaceAnswerCache> answers;
    std::unique_ptr<kalvora::PlaceFinderLookup> places;
    if (const QString geocoder = qEnvironmentVariable("KALVORA_STALL_GEOCODER"); !geocoder.isEmpty()) {
        answers = std::make_unique<kalvora::PlaceAnswerCache>(kalvora::readPlaceAnswers(*global.value()->mainContext()));
        places = std::make_unique<kalvora::PlaceFinderLookup>(kalvora::defaultHttpClient(), QUrl(geocoder), QUrl());
        places->setAnswerCache(answers.get());
    }
    window->setImportServices(kalvora::ImportServices{places.get(), global.value().get()});
    window->windowDidLoad({});
    window->show();
    kalvora::LogBookImport* import = window->logBookImport();
    kalvora::XCQueue& queue = import->calcXCDataQueue();
    kalvora::FlightIntersectSheet* sheet = import->intersectSheet();

    bool finished = false;
    kalvora::ImportSummary summary;
    QObject::connect(import, &kalvora::LogBookImport::importFinished, &app,
                     [&](const kalvora::ImportSummary& s) {
                         finished = true;
                         summary = s;
                     });
    int alerts = 0;
    QObject::connect(import, &kalvora::LogBookImport::failuresShown, &app,
                     [&](const QList<kalvora::ImportFileFailure>& failures) {
                         for (const kalvora::ImportFileFailure& failure : failures) {
                             ++alerts;
                             std::fprintf(stderr, "guistallbench: no flight from %s (%s)\n", qPrintable(failure.path),
                                          qPrintable(failure.reason));
                         }
                         // The run's one alert is window-modal; answer it so the run can go on.
                         for (QMessageBox* alert : window->findChildren<QMessageBox*>())
                             QTimer::singleShot(0, alert, &QMessageBox::accept);
                     });

    const bool trace = qEnvironmentVariableIntValue("KALVORA_STALL_TRACE") != 0;
    if (trace)
        app.traceOverMs = kLimitMs / 2;
    std::vector<double> lateness;
    lateness.reserve(20000);
    int questions = 0;
    double lastCpuMs = 0;
    long lastPreempted = 0;
    QElapsedTimer clock;
    QElapsedTimer sinceTick;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(kTickMs);
    QObject::connect(&probe, &QTimer::timeout, &app, [&] {
        const double late = double(sinceTick.nsecsElapsed()) / 1e6 - kTickMs;
        sinceTick.start();
        lateness.push_back(std::max(0.0, late));
        if (trace) {
            const std::string delivered = app.takeDelivered();
            // Whether the thread ran or waited: its own processor time and how often
            // the scheduler took the processor from it since the tick before.
            timespec cpu{};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
            rusage usage{};
            getrusage(RUSAGE_THREAD, &usage);
            const double cpuMs = double(cpu.tv_sec) * 1e3 + double(cpu.tv_nsec) / 1e6;
            if (late > kLimitMs / 2)
                std::fprintf(stderr, "  %8.3f s: tick %.1f ms late, %.1f ms on the processor, %ld preempted; %s\n",
                             double(clock.elapsed()) / 1000, late, cpuMs - lastCpuMs,
                             usage.ru_nivcsw - lastPreempted, delivered.c_str());
            lastCpuMs = cpuMs;
            lastPreempted = usage.ru_nivcsw;
        }
        if (sheet->isVisible()) {
            ++questions;
            sheet->setApplyToAll(true);
            sheet->choose(kalvora::OverlapChoice::ImportAsWell);
        }
        if ((finished && queue.isIdle()) || clock.elapsed() > kGiveUpMs)
            app.quit();
    });

    clock.start();
    sinceTick.start();
    probe.start();
    if (!drop(window.get(), files)) {
        std::fprintf(stderr, "guistallbench: the window refused the drop\n");
        return 2;
    }
    app.exec();
    probe.stop();
    const double seconds = double(clock.elapsed()) / 1000;
    if (!finished || !queue.isIdle()) {
        std::fprintf(stderr, "guistallbench: the import did not end within %lld s\n", kGiveUpMs / 1000);
        return 2;
    }

    int scored = 0;
    const QList<kalvora::Flight*> flights = window->flightList();
    for (const kalvora::Flight* flight : flights)
        scored += flight->freeDistance() >= 0 ? 1 : 0;
    std::vector<double> sorted = lateness;
    std::sort(sorted.begin(), sorted.end());
    const double maxLate = sorted.empty() ? 0 : sorted.back();
    const double p99 = sorted.empty() ? 0 : sorted[std::min(sorted.size() - 1, sorted.size() * 99 / 100)];
    const auto over = std::count_if(sorted.begin(), sorted.end(), [](double l) { return l > kLimitMs; });

    std::printf("%-28s %s\n", "files", qPrintable(QString::number(files.size())));
    std::printf("%-28s %lld (%d scored, %lld skipped, %lld identical, %lld failed, %d overlap questions)\n",
                "flights", static_cast<long long>(flights.size()), scored,
                static_cast<long long>(summary.skipped.size()), static_cast<long long>(summary.duplicates.size()),
                static_cast<long long>(summary.failed.size()), questions);
    std::printf("%-28s %.2f\n", "total seconds", seconds);
    std::printf("%-28s %zu\n", "probe ticks", lateness.size());
    std::printf("%-28s %.1f\n", "probe max gap ms", maxLate);
    std::printf("%-28s %.1f\n", "probe p99 ms", p99);
    std::printf("%-28s %lld\n", "gaps > 100 ms", static_cast<long long>(over));
    std::printf("%-28s %s (limit %.0f ms)\n", "result", maxLate <= kLimitMs ? "PASS" : "FAIL", kLimitMs);

    window.reset();
    kalvora::Settings::setCurrentUnits(std::nullopt);
    return alerts > 0 && flights.isEmpty() ? 2 : 0;
}
