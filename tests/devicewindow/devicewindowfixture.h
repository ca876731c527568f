#pragma once

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "model/settings.h"
#include "simcommon/igcfiles.h"
#include "simcommon/simulator.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"
#include "support/testdata.h"
#include "ui/device/deviceinteraction.h"
#include "ui/device/gpswindowcontroller.h"
#include "ui/logbookwindowcontroller.h"

namespace kalvora::test {

/** Answers the device window's questions at once and records them. */
class ScriptedDeviceInteraction final : public DeviceInteraction
{
public:
    void askWarning(QWidget*, const QString& message, std::function<void(bool)> reply) override
    {
        warnings << message;
        reply(agree);
    }
    void confirmVolume(QWidget*, const QString& volume, std::function<void(bool)> reply) override
    {
        volumes << volume;
        reply(takeVolume);
    }
    void showAlert(QWidget*, const QString& message, const QString& informative) override
    {
        alerts << message + QLatin1Char('|') + informative;
    }
    bool agree = true;
    bool takeVolume = true;
    QStringList volumes;
    QStringList warnings;
    QStringList alerts;
};

/** A logbook store with its window, as an open document would have them. */
struct OpenLogBook
{
    QString name;
    std::unique_ptr<PersistentStore> store;
    std::unique_ptr<LogBookWindowController> window;
};

/**
 * The device window over a temporary global store and logbooks, with the
 * scan pointed at simulators through KALVORA_SERIAL_PORTS and at an empty
 * mount folder, so no real adapter or volume of this machine is touched.
 */
class DeviceWindowTest : public ::testing::Test
{
protected:
    static constexpr int kWaitMs = 30000;

    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.filePath(QStringLiteral("config")));
        QSettings().clear();
        // The drivers wait 0.1 s for a silent line instead of 0.2 s: the simulators answer at once.
        qputenv("KALVORA_SERIAL_SILENT_READ_MS", "100");
        QDir(m_dir.path()).mkpath(QStringLiteral("media"));
        qputenv("KALVORA_MOUNT_ROOTS", QFile::encodeName(m_dir.filePath(QStringLiteral("media"))));
        qputenv("KALVORA_SERIAL_PORTS", "");
        QDir(m_dir.path()).mkpath(QStringLiteral("tty"));
        Settings::setCurrentUnits(UnitSettings{});
        auto global = PersistentStore::open(m_dir.filePath(QStringLiteral("Kalvora.storedata")), ObjectModel::global());
        ASSERT_TRUE(global.ok());
        m_global = std::move(global.value());
    }

    void TearDown() override
    {
        m_window.reset();
        m_logbooks.clear();
        m_runners.clear();
        Settings::setCurrentUnits(std::nullopt);
    }

    OpenLogBook& openLogBook(const QString& name)
    {
        auto opened = PersistentStore::open(m_dir.filePath(name + QStringLiteral(".kalvora")), ObjectModel::logBook());
        EXPECT_TRUE(opened.ok());
        auto logbook = std::make_unique<OpenLogBook>();
        logbook->name = name;
        logbook->store = std::move(opened.value());
        logbook->window = std::make_unique<LogBookWindowController>(logbook->store->mainContext());
        logbook->window->windowDidLoad({});
        m_logbooks.push_back(std::move(logbook));
        return *m_logbooks.back();
    }

    /** Starts SIM on a pseudo-terminal and makes it the one port the scan tries. */
    sim::SimulatorRunner& plugIn(std::shared_ptr<sim::Simulator> sim, sim::LineOptions options = {})
    {
        m_runners.push_back(std::make_unique<sim::SimulatorRunner>(std::move(sim), options));
        EXPECT_TRUE(m_runners.back()->start());
        qputenv("KALVORA_SERIAL_PORTS", QByteArray::fromStdString(m_runners.back()->slavePath()));
        return *m_runners.back();
    }

    /** Makes the window (not yet loaded); its hot-plug watch looks at the test's folders. */
    GPSWindowController& makeWindow()
    {
        m_interaction = std::make_shared<ScriptedDeviceInteraction>();
        const auto targets = [this] {
            QList<LogBookTarget> list;
            for (const auto& logbook : m_logbooks)
                list.append({logbook->name, logbook->window.get()});
            return list;
        };
        m_window = std::make_unique<GPSWindowController>(m_global.get(), targets, m_interaction);
        m_window->setWatchSnapshot(DeviceWatcher::systemSnapshot(m_dir.filePath(QStringLiteral("tty"))), 50);
        return *m_window;
    }

    /** Loads the window and waits for the scan and the read chain's track list. */
    bool loadAndScan()
    {
        makeWindow();
        m_window->show();
        m_window->windowDidLoad();
        return QTest::qWaitFor([this] { return !m_window->isScanning(); }, kWaitMs);
    }

    bool waitForTracks()
    {
        return QTest::qWaitFor([this] { return stack("trackTableStack")->currentIndex() == 2; }, kWaitMs);
    }

    template <typename T> T* control(const char* name) const
    {
        T* found = m_window->findChild<T*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QStackedWidget* stack(const char* name) const { return control<QStackedWidget>(name); }
    QPushButton* button(const char* name) const { return control<QPushButton>(name); }
    QTableView* table(const char* name) const { return control<QTableView>(name); }

    static std::vector<sim::IgcFile> recordings(const std::vector<std::string>& names)
    {
        return sim::loadIgcFiles(testdataDir() + "/igc", names);
    }

    QTemporaryDir m_dir;
    std::unique_ptr<PersistentStore> m_global;
    std::vector<std::unique_ptr<OpenLogBook>> m_logbooks;
    std::vector<std::unique_ptr<sim::SimulatorRunner>> m_runners;
    std::shared_ptr<ScriptedDeviceInteraction> m_interaction;
    std::unique_ptr<GPSWindowController> m_window;
};

} // namespace kalvora::test
