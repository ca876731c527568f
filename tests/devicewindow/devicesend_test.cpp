// The waypoint and route windows send to the instrument through the device window.
#include <QAction>
#include <QSignalSpy>
#include <QToolBar>

#include "braeunigersim.h"
#include "devicewindowfixture.h"
#include "flytecsim.h"
#include "model/route.h"
#include "model/waypoint.h"
#include "ui/waypoints/currentposition.h"
#include "ui/waypoints/routewindowcontroller.h"
#include "ui/waypoints/waypointinteraction.h"
#include "ui/waypoints/waypointservices.h"
#include "ui/waypoints/waypointwindowcontroller.h"

namespace kalvora::test {
namespace {

class QuietWaypointInteraction final : public WaypointInteraction
{
public:
    void chooseImportFiles(QWidget*, const QStringList&, std::function<void(const QStringList&)>) override {}
    void chooseExportFile(QWidget*, const QString&, const QStringList&,
                          std::function<void(const std::optional<QString>&)>) override
    {
    }
    void askShare(QWidget*, std::function<void(bool)>) override {}
    void alert(QWidget*, const QString& message, const QString& informative) override
    {
        alerts << message + QLatin1Char('|') + informative;
    }
    void openUrl(const QUrl&) override {}
    QStringList alerts;
};

class NoPosition final : public CurrentPositionSource
{
public:
    void requestPosition(QObject*, std::function<void(std::optional<GeoDegrees>)>) override {}
};

Route* storedRoute(ObjectContext* context, const QString& name, const QString& goal)
{
    auto* route = context->insert<Route>();
    route->setName(name);
    route->appendWaypoint(46.5, 7.25, 2100, 400, QStringLiteral("Grat"));
    route->appendWaypoint(46.6, 7.30, 600, 400, goal);
    EXPECT_TRUE(context->save().ok());
    return route;
}

class DeviceSend : public DeviceWindowTest
{
protected:
    /** Until the read chain has ended, its settings read included: it shares the line with a send. */
    bool waitUntilIdle()
    {
        return QTest::qWaitFor(
            [this] {
                const bool settingsPending = m_window->settingsRead() == 2 && stack("settingsStack")->count() > 1;
                return !m_window->isBusy() && !settingsPending && stack("routeTableStack")->currentIndex() != 1 &&
                       stack("waypointTableStack")->currentIndex() != 1;
            },
            kWaitMs);
    }
};

TEST_F(DeviceSend, SelectedWaypointsGoToTheInstrumentAndItsListIsReadAgain)
{
    auto sim = std::make_shared<sim::BraeunigerSim>("COMPEO+", std::vector<sim::IgcFile>{});
    plugIn(sim);
    ASSERT_TRUE(loadAndScan());
    ASSERT_TRUE(waitUntilIdle());

    ObjectContext* global = m_global->mainContext();
    for (const auto& [name, lat] : {std::pair{"Gipfel", 46500000}, std::pair{"Wiese", 46600000}}) {
        auto* w = global->insert<Waypoint>();
        w->setName(QString::fromLatin1(name));
        w->setShortName(QString::fromLatin1(name));
        w->setLatitude(lat);
        w->setLongitude(7250000);
        w->setAltitude(1500);
    }
    ASSERT_TRUE(global->save().ok());
    auto interaction = std::make_unique<QuietWaypointInteraction>();
    WaypointWindowController waypoints(global, WaypointServices{}, std::move(interaction),
                                       std::make_unique<NoPosition>());
    waypoints.windowDidLoad();
    waypoints.setInstrumentSend(m_window->instrumentSend());
    waypoints.show();
    QAction* send = waypoints.findChild<QAction*>(QStringLiteral("sendToDevice"));
    ASSERT_NE(send, nullptr);
    EXPECT_FALSE(send->isEnabled()); // nothing selected
    waypoints.setSelectedWaypoints(waypoints.waypointList());
    ASSERT_TRUE(send->isEnabled());
    send->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim->waypoints().size() == 2; }, kWaitMs));
    ASSERT_TRUE(QTest::qWaitFor([this] { return table("waypointTable")->model()->rowCount() == 2; }, kWaitMs));

    // Without an instrument the entry stays, but off.
    control<QTableWidget>("deviceTable")->clearSelection();
    EXPECT_FALSE(send->isEnabled());
}

TEST_F(DeviceSend, ASecondRouteForAnInstrumentWithOneSlotIsAskedAboutFirst)
{
    auto sim = std::make_shared<sim::FlytecSim>("Flytec 6015");
    plugIn(sim);
    ASSERT_TRUE(loadAndScan());
    ASSERT_TRUE(waitUntilIdle());
    EXPECT_EQ(table("routeTable")->model()->rowCount(), 0);

    ObjectContext* global = m_global->mainContext();
    Route* first = storedRoute(global, QStringLiteral("Morning"), QStringLiteral("Lande"));
    Route* second = storedRoute(global, QStringLiteral("Evening"), QStringLiteral("Wiese"));
    RouteWindowController routes(global);
    routes.setInstrumentSend(m_window->instrumentSend());
    routes.show();
    auto* status = routes.findChild<QLabel*>(QStringLiteral("sendStatus"));
    ASSERT_NE(status, nullptr);

    // The slot is free: no question.
    routes.selectRoute(first);
    ASSERT_TRUE(routes.sendButton()->isEnabled());
    QTest::mouseClick(routes.sendButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return status->text().contains(QStringLiteral("was sent")); }, kWaitMs))
        << status->text().toStdString();
    EXPECT_TRUE(m_interaction->warnings.isEmpty());
    ASSERT_TRUE(waitUntilIdle());
    ASSERT_EQ(table("routeTable")->model()->rowCount(), 1);
    const auto routeLines = [&] { return sim->withInstrument([](sim::FlytecInstrument& i) { return i.routeLines(); }); };
    const auto before = routeLines();

    // Taken: "Cancel" sends nothing.
    m_interaction->agree = false;
    routes.selectRoute(second);
    QTest::mouseClick(routes.sendButton(), Qt::LeftButton);
    ASSERT_EQ(m_interaction->warnings.size(), 1);
    EXPECT_EQ(m_interaction->warnings.first(),
              QStringLiteral("The device is not able to save more then one route at a time."));
    EXPECT_TRUE(status->text().contains(QStringLiteral("was not sent")));
    EXPECT_EQ(routeLines(), before);

    // "Ok" replaces it.
    m_interaction->agree = true;
    QTest::mouseClick(routes.sendButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return status->text().contains(QStringLiteral("Evening was sent")); }, kWaitMs))
        << status->text().toStdString();
    EXPECT_NE(routeLines(), before);
}

TEST_F(DeviceSend, WithoutAnInstrumentTheSendSaysNoDeviceConnected)
{
    ASSERT_TRUE(loadAndScan());
    InstrumentSendResult result;
    m_window->instrumentSend().sendWaypoints({DeviceWayPoint{}}, [&](const InstrumentSendResult& r) { result = r; });
    EXPECT_FALSE(result.sent);
    EXPECT_EQ(result.error, QStringLiteral("No device connected"));
    m_window->instrumentSend().sendRoute(RouteToWrite{}, [&](const InstrumentSendResult& r) { result = r; });
    EXPECT_EQ(result.error, QStringLiteral("No device connected"));
}

} // namespace
} // namespace kalvora::test
