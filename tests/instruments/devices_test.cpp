#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "braeunigersim.h"
#include "instruments/devices.h"
#include "instruments/serialport.h"
#include "simcommon/pty.h"

using namespace kalvora;

namespace {

/** Sets an environment variable for one scope. */
struct ScopedEnv
{
    ScopedEnv(const char* name, const std::string& value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (m_old)
            ::setenv(m_name, m_old->c_str(), 1);
        else
            ::unsetenv(m_name);
    }
    const char* m_name;
    std::optional<std::string> m_old;
};

} // namespace

TEST(DeviceDiscovery, ExcludedPaths)
{
    for (const char* path : {"/dev/cu.Bluetooth-Incoming-Port", "/dev/rfcomm-bluetooth0", "/dev/cu.iPhone-Wireless",
                             "/dev/cu.iPad", "/dev/cu.Apple-Serial"})
        EXPECT_TRUE(isExcludedSerialPath(path)) << path;
    for (const char* path : {"/dev/ttyUSB0", "/dev/ttyACM3", "/tmp/kalvora-sim"})
        EXPECT_FALSE(isExcludedSerialPath(path)) << path;
}

TEST(DeviceDiscovery, ExtraPathsFromTheEnvironmentWithoutDuplicatesOrExclusions)
{
    ScopedEnv env("KALVORA_SERIAL_PORTS", "/tmp/a:/tmp/bluetooth-x::/tmp/a:/tmp/b");
    const std::vector<std::string> paths = serialCandidatePaths();
    const auto count = [&](const std::string& p) { return std::count(paths.begin(), paths.end(), p); };
    EXPECT_EQ(count("/tmp/a"), 1);
    EXPECT_EQ(count("/tmp/b"), 1);
    EXPECT_EQ(count("/tmp/bluetooth-x"), 0);
    for (const std::string& p : paths)
        EXPECT_TRUE(p.rfind("/dev/tty", 0) == 0 || p.rfind("/tmp/", 0) == 0) << p;
}

TEST(DeviceDiscovery, ScanFindsTheSimulatedInstrumentOnAnExtraPort)
{
    auto simulator = std::make_shared<sim::BraeunigerSim>("GALILEO", std::vector<sim::IgcFile>{});
    sim::SimulatorRunner runner(simulator);
    ASSERT_TRUE(runner.start());
    // A pty where nobody answers comes first: it costs its time-outs, then the scan goes on.
    std::optional<sim::Pty> mute = sim::Pty::open();
    ASSERT_TRUE(mute);
    ScopedEnv env("KALVORA_SERIAL_PORTS", mute->slavePath() + ":" + runner.slavePath());
    Devices devices;
    const ScanResult result = devices.scan();
    ASSERT_NE(result.device, nullptr);
    EXPECT_EQ(result.device->driverId(), "braeuniger");
    EXPECT_EQ(result.device->portPath(), runner.slavePath());
    EXPECT_EQ(result.device->descriptor(), "Bräuniger Galileo");
}

TEST(DeviceDiscovery, ScanOfOnePortWithoutInstrument)
{
    std::optional<sim::Pty> mute = sim::Pty::open();
    ASSERT_TRUE(mute);
    Devices devices;
    const auto start = std::chrono::steady_clock::now();
    const ScanResult result = devices.scan({mute->slavePath()});
    EXPECT_EQ(result.device, nullptr);
    EXPECT_TRUE(result.problems.empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(devices.scan({"/dev/no-such-port"}).device, nullptr);
}

TEST(DeviceDiscovery, PermissionMessageNamesTheGroupAndTheFix)
{
    const std::string message = serialPermissionMessage("/dev/ttyUSB7");
    EXPECT_NE(message.find("/dev/ttyUSB7"), std::string::npos);
    EXPECT_NE(message.find("usermod -aG"), std::string::npos);
    EXPECT_NE(message.find("log in again"), std::string::npos);
}

TEST(DeviceDiscovery, PortTheUserMayNotOpenGivesThePermissionMessage)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run the command as another user";
    std::optional<sim::Pty> pty = sim::Pty::open();
    ASSERT_TRUE(pty);
    ASSERT_EQ(::chmod(pty->slavePath().c_str(), 0600), 0);
    QProcess cli;
    cli.setChildProcessModifier([] {
        // nobody: no access to a root-owned device of mode 0600.
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(99);
    });
    QTemporaryDir home;
    home.setAutoRemove(true);
    ::chmod(home.path().toLocal8Bit().constData(), 0777);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(KALVORA_CLI),
              {QStringLiteral("device"), QStringLiteral("scan"), QStringLiteral("--port"),
               QString::fromStdString(pty->slavePath())});
    ASSERT_TRUE(cli.waitForFinished(20000));
    ASSERT_NE(cli.exitCode(), 99) << "could not switch user";
    EXPECT_NE(cli.exitCode(), 0);
    const QString err = QString::fromUtf8(cli.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("You may not open the serial device"))) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("log in again"))) << err.toStdString();
    EXPECT_TRUE(cli.readAllStandardOutput().isEmpty());
}

namespace {

struct ScanDelegate : DevicesDelegate
{
    int maxCount = -1;
    int actualCount = -1;
    std::vector<std::unique_ptr<GpsDevice>> devices;
    bool done = false;
    void setMaxDeviceCount(int count) override { maxCount = count; }
    void setActualDeviceCount(int count) override { actualCount = count; }
    void devicesRead(std::vector<std::unique_ptr<GpsDevice>> list) override
    {
        devices = std::move(list);
        done = true;
    }
};

} // namespace

TEST(DeviceDiscovery, QueuedScanReportsThroughTheDelegate)
{
    auto simulator = std::make_shared<sim::BraeunigerSim>("COMPETINO+", std::vector<sim::IgcFile>{});
    sim::SimulatorRunner runner(simulator);
    ASSERT_TRUE(runner.start());
    ScopedEnv env("KALVORA_SERIAL_PORTS", runner.slavePath());
    Devices devices;
    ScanDelegate delegate;
    devices.setDelegate(&delegate);
    devices.getGPSDevices();
    EXPECT_EQ(delegate.maxCount, 1);
    EXPECT_FALSE(delegate.done) << "the scan is queued, not run inside the call";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!delegate.done && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(delegate.done);
    ASSERT_EQ(delegate.devices.size(), 1u);
    EXPECT_EQ(delegate.actualCount, 1);
    EXPECT_EQ(delegate.devices[0]->descriptor(), "Bräuniger Compeo+");
}
