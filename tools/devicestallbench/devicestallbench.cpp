/*
 * devicestallbench: how long the GUI thread stalls while the device window
 * scans for an instrument and imports a 10,000-fix track from it, and how
 * the download's time compares with the time the line needs for its bytes.
 *
 * The simulated Flymaster is paced at 57600 baud on a pseudo-terminal and
 * found through KALVORA_SERIAL_PORTS; HOME, the XDG folders and the mount
 * roots point at a temporary folder, and the logbook has no place finder, so
 * nothing goes to the network. A precise 10 ms timer on the GUI thread records
 * how late each tick comes. Printed per phase: seconds, the largest and the
 * 99th-percentile lateness and PASS/FAIL against 50 ms; for the download also
 * the bytes on the line, the line time (bytes x 11 bits / 57600) and the ratio
 * of the download time (import start to the line's last byte) to it, PASS/FAIL
 * against 1.10. The exit code is non-zero only when a run itself failed.
 * KALVORA_STALL_TRACE=1 names every event whose delivery took longer than 25 ms.
 *
 *   QT_QPA_PLATFORM=offscreen build/tools/devicestallbench/devicestallbench
 */
#include <algorithm>
#include <cstdio>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include "benchtrack.h"
#include "flymastersim.h"
#include "model/flight.h"
#include "model/settings.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"
#include "timedapplication.h"
#include "ui/device/deviceinteraction.h"
#include "ui/device/gpswindowcontroller.h"
#include "ui/logbookwindowcontroller.h"

namespace {

constexpr int kTickMs = 10;
constexpr double kLimitMs = 50;
constexpr double kRatioLimit = 1.10;
constexpr int kFixes = 10000;
constexpr int kBaud = 57600;

/** Lateness of a 10 ms GUI-thread timer, and the time the line last carried a byte. */
class Probe
{
public:
    explicit Probe(const kalvora::sim::SimulatorRunner& line) : m_line(line)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(kTickMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
    }

    void start()
    {
        m_late.clear();
        m_clock.start();
        m_last = 0;
        m_lastBytes = m_line.bytesSent();
        m_lastByteMs = 0;
        m_timer.start();
    }
    void stop() { m_timer.stop(); }

    [[nodiscard]] double elapsedS() const { return double(m_clock.elapsed()) / 1000.0; }
    [[nodiscard]] double lastByteS() const { return double(m_lastByteMs) / 1000.0; }
    [[nodiscard]] double maxLateMs() const { return m_late.empty() ? 0 : *std::max_element(m_late.begin(), m_late.end()); }
    [[nodiscard]] double percentileLateMs(double p) const
    {
        if (m_late.empty())
            return 0;
        std::vector<double> sorted = m_late;
        std::sort(sorted.begin(), sorted.end());
        return sorted[std::min(sorted.size() - 1, std::size_t(p * double(sorted.size())))];
    }

private:
    void tick()
    {
        const qint64 now = m_clock.elapsed();
        if (m_last > 0)
            m_late.push_back(std::max<double>(0, double(now - m_last - kTickMs)));
        m_last = now;
        const std::uint64_t bytes = m_line.bytesSent();
        if (bytes != m_lastBytes) {
            m_lastBytes = bytes;
            m_lastByteMs = now;
        }
    }

    const kalvora::sim::SimulatorRunner& m_line;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    std::uint64_t m_lastBytes = 0;
    qint64 m_lastByteMs = 0;
    std::vector<double> m_late;
};

class QuietInteraction final : public kalvora::DeviceInteraction
{
public:
    void askWarning(QWidget*, const QString&, std::function<void(bool)> reply) override { reply(true); }
    void confirmVolume(QWidget*, const QString&, std::function<void(bool)> reply) override { reply(false); }
    void showAlert(QWidget*, const QString& message, const QString& informative) override
    {
        std::fprintf(stderr, "devicestallbench: alert: %s %s\n", qPrintable(message), qPrintable(informative));
    }
};

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

void report(const char* phase, const Probe& probe)
{
    std::printf("%-9s %7.2f s  max stall %6.1f ms  p99 %5.1f ms  %s\n", phase, probe.elapsedS(), probe.maxLateMs(),
                probe.percentileLateMs(0.99), probe.maxLateMs() <= kLimitMs ? "PASS" : "FAIL");
}

} // namespace

int main(int argc, char** argv)
{
    using namespace kalvora;
    QTemporaryDir home;
    if (!home.isValid())
        return 2;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
    qputenv("KALVORA_MOUNT_ROOTS", QFile::encodeName(home.filePath(QStringLiteral("media"))));
    kalvora::bench::TimedApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("KALVORA_STALL_TRACE"))
        app.traceOverMs = kLimitMs / 2;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.filePath(QStringLiteral("config")));
    Settings::setCurrentUnits(UnitSettings{});

    const sim::IgcFile file = sim::igcFileFromText("bench.igc", bench::syntheticIgc(kFixes));
    auto simulator = std::make_shared<sim::FlymasterSim>("GpsSD", std::vector<sim::IgcFile>{file});
    sim::LineOptions options;
    options.baud = kBaud;
    sim::SimulatorRunner line(simulator, options);
    if (!line.start()) {
        std::fprintf(stderr, "devicestallbench: no pseudo-terminal\n");
        return 1;
    }
    qputenv("KALVORA_SERIAL_PORTS", QByteArray::fromStdString(line.slavePath()));

    auto logbookStore = PersistentStore::open(home.filePath(QStringLiteral("bench.kalvora")), ObjectModel::logBook());
    auto globalStore = PersistentStore::open(home.filePath(QStringLiteral("Kalvora.storedata")), ObjectModel::global());
    if (!logbookStore || !globalStore) {
        std::fprintf(stderr, "devicestallbench: stores not opened\n");
        return 1;
    }
    LogBookWindowController logbook((*logbookStore)->mainContext());
    logbook.windowDidLoad({});
    GPSWindowController window(
        globalStore->get(), [&logbook] { return QList<LogBookTarget>{{QStringLiteral("Bench"), &logbook}}; },
        std::make_shared<QuietInteraction>());
    window.show();

    Probe probe(line);
    probe.start();
    window.windowDidLoad();
    const bool listed = waitUntil([&] { return !window.isScanning() && window.trackList().size() == 1; }, 60000);
    probe.stop();
    if (!listed) {
        std::fprintf(stderr, "devicestallbench: the simulator was not found or listed nothing\n");
        return 1;
    }
    std::printf("devicestallbench: Flymaster simulator, %d fixes, %d baud\n", kFixes, kBaud);
    report("scan+list", probe);
    // The chain's other reads end before the download is timed.
    waitUntil([&] { return !window.isBusy(); }, 10000);
    QElapsedTimer settle;
    settle.start();
    waitUntil([&] { return settle.elapsed() > 1000; }, 2000);

    bool finished = false;
    QObject::connect(&window, &GPSWindowController::importFinished, [&] { finished = true; });
    const std::uint64_t before = line.bytesSent();
    probe.start();
    window.findChild<QPushButton*>(QStringLiteral("importAllTracks"))->click();
    const bool done = waitUntil([&] { return finished; }, 15 * 60 * 1000);
    probe.stop();
    if (!done || logbook.flightList().size() != 1) {
        std::fprintf(stderr, "devicestallbench: the import did not bring the flight in\n");
        return 1;
    }
    report("import", probe);
    const double bytes = double(line.bytesSent() - before);
    const double lineS = bytes * 11.0 / kBaud;
    const double ratio = probe.lastByteS() / lineS;
    std::printf("download  %7.2f s  %.0f bytes  line time %.2f s  ratio %.3f  %s\n", probe.lastByteS(), bytes, lineS,
                ratio, ratio <= kRatioLimit ? "PASS" : "FAIL");
    return 0;
}
