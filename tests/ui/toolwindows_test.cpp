// The Window menu of a logbook opens the waypoint and route windows of the global store.
#include <QAction>
#include <QMenuBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "app/kalvoraappdelegate.h"
#include "app/logbook.h"
#include "model/waypoint.h"
#include "store/objectcontext.h"
#include "ui/device/gpswindowcontroller.h"
#include "ui/logbookwindowcontroller.h"
#include "ui/waypoints/routewindowcontroller.h"
#include "ui/waypoints/waypointlistmodel.h"
#include "ui/waypoints/waypointwindowcontroller.h"

namespace kalvora::test {
namespace {

class QuietInteraction final : public AppInteraction
{
public:
    bool presentError(const PresentableError&) override { return false; }
    bool askQuitAnyway() override { return true; }
};

/** Points the user's data folder at a temporary one for the test's lifetime. */
class TemporaryDataHome
{
public:
    explicit TemporaryDataHome(const QString& path) : m_old(qgetenv("XDG_DATA_HOME"))
    {
        qputenv("XDG_DATA_HOME", path.toLocal8Bit());
    }
    ~TemporaryDataHome()
    {
        if (m_old.isEmpty())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", m_old);
    }

private:
    QByteArray m_old;
};

TEST(ToolWindows, TheWindowMenuOpensTheWaypointAndRouteWindows)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath(QStringLiteral("config")));
    QSettings().clear();
    const TemporaryDataHome home(dir.filePath(QStringLiteral("data")));
    {
        KalvoraAppDelegate delegate(std::make_unique<QuietInteraction>());
        LogBook* document = delegate.newDocumentAt(dir.filePath(QStringLiteral("menu.kalvora")));
        ASSERT_NE(document, nullptr);
        ASSERT_NE(document->controller(), nullptr);
        auto* stored = delegate.globalManagedObjectContext()->insert<Waypoint>();
        stored->setName(QStringLiteral("Hohe Salve"));
        ASSERT_TRUE(delegate.globalManagedObjectContext()->save().ok());

        QMenuBar* bar = document->controller()->menuBar();
        QAction* waypoints = bar->findChild<QAction*>(QStringLiteral("waypointsWindow"));
        QAction* routes = bar->findChild<QAction*>(QStringLiteral("routesWindow"));
        ASSERT_NE(waypoints, nullptr);
        ASSERT_NE(routes, nullptr);
        EXPECT_TRUE(waypoints->isEnabled());
        EXPECT_TRUE(routes->isEnabled());

        waypoints->trigger();
        WaypointWindowController* window = delegate.waypointWindowController();
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(window->model()->waypoints(), QList<Waypoint*>{stored});
        window->close();
        waypoints->trigger();
        EXPECT_EQ(delegate.waypointWindowController(), window) << "created once, shown again";
        EXPECT_TRUE(window->isVisible());

        // A waypoint made elsewhere (the picker) opens the window on it.
        delegate.waypointServices().showWaypoint(stored->objectId().uriString());
        EXPECT_EQ(window->selectedWaypoints(), QList<Waypoint*>{stored});

        routes->trigger();
        ASSERT_NE(delegate.routeWindowController(), nullptr);
        EXPECT_TRUE(delegate.routeWindowController()->isVisible());
    }
}

TEST(ToolWindows, TheWindowMenuOpensTheGPSWindowWhichImportsIntoTheOpenLogbook)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath(QStringLiteral("config")));
    QSettings().clear();
    const TemporaryDataHome home(dir.filePath(QStringLiteral("data")));
    // No adapter or volume of this machine is scanned.
    qputenv("KALVORA_SERIAL_PORTS", "");
    qputenv("KALVORA_MOUNT_ROOTS", dir.filePath(QStringLiteral("media")).toLocal8Bit());
    {
        KalvoraAppDelegate delegate(std::make_unique<QuietInteraction>());
        LogBook* document = delegate.newDocumentAt(dir.filePath(QStringLiteral("gps.kalvora")));
        ASSERT_NE(document, nullptr);
        QAction* gps = document->controller()->menuBar()->findChild<QAction*>(QStringLiteral("gpsWindow"));
        ASSERT_NE(gps, nullptr);
        gps->trigger();
        GPSWindowController* window = delegate.gpsWindowController();
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(window->objectName(), QStringLiteral("GPS"));
        EXPECT_TRUE(QTest::qWaitFor([window] { return !window->isScanning(); }, 20000));
        // The waypoint and route windows send through it.
        ASSERT_NE(delegate.waypointWindowController(), nullptr);
        EXPECT_NE(delegate.waypointWindowController()->findChild<QAction*>(QStringLiteral("sendToDevice")), nullptr);
        ASSERT_NE(delegate.routeWindowController(), nullptr);
        EXPECT_NE(delegate.routeWindowController()->sendButton(), nullptr);
    }
    qunsetenv("KALVORA_SERIAL_PORTS");
    qunsetenv("KALVORA_MOUNT_ROOTS");
}

} // namespace
} // namespace kalvora::test
