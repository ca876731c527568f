/*
 * devicesettingsshow: an instrument's settings view against a simulator on a
 * pseudo-terminal of its own, for screenshots and a look by eye.
 *
 *   build/tools/devicesettingsshow/devicesettingsshow MODEL [--page N] [--grab DIR] [--probe]
 *
 * MODEL is competino, compeo, competino+, compeo+ (a "$PBR" instrument of that
 * model) or flytec. --page shows the Nth page (from 0); --grab saves every page
 * as DIR/MODEL-N.png once the settings are shown. Nothing leaves the machine.
 *
 * --probe measures how late the GUI thread gets while the view works: a
 * precise 10 ms timer records each tick's lateness while 40 choices are made
 * 20 ms apart, a slider takes a burst of keys, the writes drain, and then one
 * write meets a silent line, which alerts and reads every setting again. It
 * prints the changes, the seconds, the largest and 99th-percentile lateness and
 * PASS/FAIL against 50 ms, then quits. Run it offscreen.
 */
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QSlider>
#include <QDir>
#include <QListWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "braeunigersim.h"
#include "flytecsim.h"
#include "instruments/braeuniger/braeuniger.h"
#include "instruments/braeuniger/braeunigermemory.h"
#include "instruments/flytec/flytec.h"
#include "instruments/serialport.h"
#include "simcommon/simulator.h"
#include "ui/device/devicesettingsview.h"

using namespace kalvora;

namespace {

/** Settings a pilot might have made, instead of the simulator's pattern bytes. */
void makePlausible(sim::BraeunigerSim& sim, bool plus)
{
    BraeunigerMemory image;
    const std::array<std::uint8_t, 1024> bytes = sim.memory();
    for (unsigned a = 0; a < bytes.size(); ++a)
        image.setByte(a, bytes[a]);
    const std::pair<const char*, double> values[] = {
        {"addUTC", 1},
        {"battType", 1},
        {"utcOffset", 1},
        {"freqChange", 0},
        {"sinkOnOff", 1},
        {"varioMode", 1},
        {"varioDisplay", 0},
        {"useNearThermal", 1},
        {"pressureSpeedUsage", 0},
        {"speedDisplayMode", 0},
        {"speedScaling", 0},
        {"recordingStopMode", 0},
        {"altitudeUnit", 0},
        {"varioUnit", 0},
        {"speedUnit", 0},
        {"temperatureUnit", 0},
        {"distanceUnit", 0},
        {"waypointFormat", 1},
        {"mapOrientation", 1},
        {"autoZoom", 1},
        {"cTRAlarm", 1},
        {"useFlyLink", 0},
        {"useFlarm", 1},
        {"flarmWarning", 2},
        {"userPage", 0},
        {"userPagep", 0},
        {"userField", 1},
        {"userFieldp", 1},
        {"userItem0", 1},
        {"userItem1", 5},
        {"userItem2", 7},
        {"userItem3", 13},
        {"userItem4", 15},
        {"userItem5", 16},
        {"userItem6", 17},
        {"userItem0p", 1},
        {"userItem1p", 5},
        {"userItem2p", 7},
        {"userItem3p", 13},
        {"userItem4p", 15},
        {"userItem5p", 16},
        {"userItem6p", 17},
        {"userItem0Zoom", 7},
        {"userItem1Zoom", 12},
        {"userItem2Zoom", 13},
        {"userItem0Map", 1},
        {"userItem1Map", 5},
        {"userItem2Map", 10},
        {"sinkAcoustic", -20},
        {"acousticIntegration", 25},
        {"freqModulation", 60},
        {"acousticPitch", 50},
        {"varioIntegrationTime", 4},
        {"varioResponseDelay", 2},
        {"varioRespDelay", 2},
        {"tec", 0},
        {"varioOffset", 0},
        {"risingAvg", 20},
        {"thermalClimb", 50},
        {"lastThermal", 10},
        {"nearThermalThreshold", 5},
        {"nearThermalCycle", 10},
        {"speedGainWindWheel", 100},
        {"speedGainPressure", 100},
        {"speedOffset", 0},
        {"stallSpeed", 25},
        {"stallAltitude", 500},
        {"bestLD", 9},
        {"speedLD", 38},
        {"mccreadyDelay", 10},
        {"mccreadyGap", 5},
        {"recordingInterval", 5},
        {"recordGPSSpeed", 10},
        {"recordAltiDiff", 20},
        {"faiStarttime", 720},
        {"qnhCorrA1", 0},
        {"qnhCorrA2", 16},
        {"temperatureCorr", 0},
        {"zoomDistance", 2500},
        {"flyLinkChannel", 3},
        {"flyLinkMasterDev", 1},
        {"flyLinkNetwork", 7},
        {"polareUsage", 0},
    };
    for (const auto& [name, value] : values)
        (void)image.setValue(name, value);
    // The plus models read the contrast as one byte where the others read two.
    (void)image.setValue(plus ? "displayPlus" : "lcdContrast", 60);
    for (int k = 0; k < 15; ++k)
        (void)image.setValue("cTRAlarm" + std::to_string(k), k % 3 == 0 ? 0 : 1);
    // The factory polar: 1.10 m/s at 38 km/h, 2.00 m/s at 50 km/h, measured at 1000 m.
    const std::pair<unsigned, std::uint8_t> polar[] = {
        {0x7A, 110}, {0x7B, 200}, {0x7C, 38}, {0x7D, 50}, {0x7E, 10}};
    for (const auto& [address, value] : polar)
        image.setByte(address, value);
    for (unsigned a = 0; a < bytes.size(); ++a)
        if (image.byte(a) != bytes[a])
            sim.setMemoryByte(a, image.byte(a));
}

void makePlausible(sim::FlytecSim& sim)
{
    const std::pair<int, std::uint32_t> numbers[] = {
        {0x05, 1},   {0x06, 0},   {0x07, 3},  {0x08, 700},  {0x09, 500}, {0x0A, 10},  {0x0B, 150},
        {0x0C, 400}, {0x0D, 100}, {0x0E, 60}, {0x0F, 1000}, {0x10, 10},  {0x11, 5},   {0x12, 3},
        {0x13, 1},   {0x14, 0},   {0x15, 50}, {0x16, 20},   {0x1A, 30},  {0x1C, 100}, {0x22, 30},
    };
    sim.withInstrument([&](sim::FlytecInstrument& instrument) {
        for (const auto& [address, value] : numbers) {
            std::vector<std::uint8_t> bytes;
            for (int k = 0; k < flytec::parameterWidth(address) / 8; ++k)
                bytes.push_back(std::uint8_t(value >> (8 * k)));
            instrument.setParameterBytes(address, bytes);
        }
        return 0;
    });
}

/** Lateness of a 10 ms timer on the GUI thread. */
class LatencyProbe
{
public:
    void start()
    {
        m_clock.start();
        m_last = 0;
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.elapsed();
            const qint64 late = std::max<qint64>(0, now - m_last - 10);
            if (late > 50 && qEnvironmentVariableIsSet("KALVORA_STALL_TRACE"))
                std::printf("tick %lld ms late at %.2f s\n", static_cast<long long>(late),
                            double(now) / 1000.0);
            m_late.push_back(double(late));
            m_last = now;
        });
        m_timer.start();
    }
    void stop() { m_timer.stop(); }
    [[nodiscard]] double seconds() const { return double(m_clock.elapsed()) / 1000.0; }
    [[nodiscard]] double maxLate() const
    {
        return m_late.empty() ? 0 : *std::max_element(m_late.begin(), m_late.end());
    }
    [[nodiscard]] double percentile99() const
    {
        if (m_late.empty())
            return 0;
        std::vector<double> sorted = m_late;
        std::sort(sorted.begin(), sorted.end());
        return sorted[std::min(sorted.size() - 1, sorted.size() * 99 / 100)];
    }

private:
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    QTimer m_timer;
    std::vector<double> m_late;
};

/** Turns the event loop until DONE or MS have passed. */
bool turnUntil(const std::function<bool()>& done, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

void turnFor(int ms)
{
    (void)turnUntil([] { return false; }, ms);
}

/** The probe run; the exit code is non-zero only when the run itself failed. */
int probe(DeviceSettingsView& view, sim::SimulatorRunner& runner,
          const std::function<std::size_t()>& commandsSeen, const QString& model)
{
    LatencyProbe latency;
    latency.start();
    turnFor(200);
    int changes = 0;
    const QList<QComboBox*> combos = view.findChildren<QComboBox*>();
    for (QComboBox* combo : combos) {
        if (changes == 40)
            break;
        if (!combo->isEnabled() || combo->count() < 2 ||
            combo->objectName().startsWith(QLatin1String("userPage")))
            continue;
        combo->setCurrentIndex((combo->currentIndex() + 1) % combo->count());
        ++changes;
        turnFor(20);
    }
    if (QSlider* slider = view.findChild<QSlider*>()) {
        for (int i = 0; i < 5; ++i) {
            QKeyEvent key(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
            QApplication::sendEvent(slider, &key);
        }
        ++changes;
    }
    // Drained: the instrument has heard nothing new for a while.
    std::size_t seen = commandsSeen();
    QElapsedTimer quiet;
    quiet.start();
    while (quiet.elapsed() < 1500) {
        turnFor(50);
        if (commandsSeen() != seen) {
            seen = commandsSeen();
            quiet.restart();
        }
    }
    const double writeSeconds = latency.seconds();

    bool reread = false;
    QObject::connect(&view, &DeviceSettingsView::settingsWriteFailed, &view,
                     [&runner] { runner.setOptions(sim::LineOptions{}); });
    QObject::connect(&view, &DeviceSettingsView::settingsReread, &view, [&reread] { reread = true; });
    sim::LineOptions silent;
    silent.fault = sim::Fault::Silence;
    runner.setOptions(silent);
    for (QComboBox* combo : combos)
        if (combo->isEnabled() && combo->count() >= 2 &&
            !combo->objectName().startsWith(QLatin1String("userPage"))) {
            combo->setCurrentIndex((combo->currentIndex() + 1) % combo->count());
            break;
        }
    const bool rereadDone = turnUntil([&] { return reread; }, 60000);
    latency.stop();
    std::printf("%s: %d changes written in %.1f s, then a failed write and a re-read in %.1f s\n",
                qPrintable(model), changes, writeSeconds, latency.seconds() - writeSeconds);
    std::printf("GUI thread lateness: max %.0f ms, 99th percentile %.0f ms -> %s (limit 50 ms)\n",
                latency.maxLate(), latency.percentile99(), latency.maxLate() <= 50 ? "PASS" : "FAIL");
    return rereadDone ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr,
                     "usage: devicesettingsshow competino|compeo|competino+|compeo+|flytec [--page N] "
                     "[--grab DIR]\n");
        return 2;
    }
    const QString model = args[1];
    int page = 0;
    QString grabDir;
    const bool probing = args.contains(QStringLiteral("--probe"));
    for (int i = 2; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--page"))
            page = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--grab"))
            grabDir = args[i + 1];
    }

    std::shared_ptr<sim::Simulator> simulator;
    std::function<std::size_t()> commandsSeen;
    if (model == QLatin1String("flytec")) {
        auto flytecSim = std::make_shared<sim::FlytecSim>("Flytec 6015 V3.14");
        makePlausible(*flytecSim);
        simulator = flytecSim;
        commandsSeen = [flytecSim] {
            return flytecSim->withInstrument([](sim::FlytecInstrument& i) { return i.log().size(); });
        };
    } else {
        auto braeunigerSim =
            std::make_shared<sim::BraeunigerSim>(model.toUpper().toStdString(), std::vector<sim::IgcFile>{});
        makePlausible(*braeunigerSim, model.endsWith(QLatin1Char('+')));
        simulator = braeunigerSim;
        commandsSeen = [braeunigerSim] { return braeunigerSim->commandLog().size(); };
    }
    sim::SimulatorRunner runner(simulator);
    if (!runner.start()) {
        std::fprintf(stderr, "devicesettingsshow: no pseudo-terminal\n");
        return 1;
    }
    std::unique_ptr<GpsDevice> device =
        model == QLatin1String("flytec")
            ? Flytec::open(runner.slavePath(), std::make_unique<SerialPort>(std::chrono::milliseconds(40)))
            : Braeuniger::open(runner.slavePath(),
                               std::make_unique<SerialPort>(std::chrono::milliseconds(40)));
    if (!device || !device->readSettings()) {
        std::fprintf(stderr, "devicesettingsshow: the simulated instrument did not answer\n");
        return 1;
    }

    {
        QWidget window;
        window.setWindowTitle(QStringLiteral("Settings - %1").arg(QString::fromStdString(device->name())));
        auto* layout = new QVBoxLayout(&window);
        QWidget* view = createDeviceSettingsView(*device, &window);
        if (!view) {
            std::fprintf(stderr, "devicesettingsshow: the instrument has no settings view\n");
            return 1;
        }
        layout->addWidget(view);
        showDeviceSettings(view);
        auto* tabs = view->findChild<QListWidget*>(QStringLiteral("settingsPages"));
        if (tabs)
            tabs->setCurrentRow(page);
        window.resize(window.sizeHint().expandedTo(QSize(640, 480)));
        window.show();
        if (probing) {
            auto* settingsView = qobject_cast<DeviceSettingsView*>(view);
            return settingsView ? probe(*settingsView, runner, commandsSeen, model) : 1;
        }

        if (!grabDir.isEmpty() && tabs) {
            QTimer::singleShot(500, &window, [&] {
                QDir().mkpath(grabDir);
                const QString stem = QString(model).replace(QLatin1Char('+'), QLatin1String("plus"));
                for (int i = 0; i < tabs->count(); ++i) {
                    tabs->setCurrentRow(i);
                    QApplication::processEvents();
                    const QString path = QStringLiteral("%1/%2-%3.png").arg(grabDir, stem).arg(i);
                    window.grab().save(path);
                    std::printf("%s\n", qPrintable(path));
                }
                std::fflush(stdout);
                tabs->setCurrentRow(page);
            });
        }
        app.exec();
    }
    return 0;
}
