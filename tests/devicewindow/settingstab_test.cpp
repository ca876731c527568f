#include <QTabBar>
#include <QTabWidget>

#include "devicesettings/settingsfixture.h"
#include "devicewindowfixture.h"

using namespace kalvora;
using namespace kalvora::test;
using kalvora::sim::BraeunigerSim;
using kalvora::sim::FlytecInstrument;
using kalvora::sim::FlytecSim;

namespace {

class DeviceSettingsTab : public DeviceWindowTest
{
protected:
    /** Waits for the settings read of the chain, then brings the Settings tab up by its tab. */
    DeviceSettingsView* openSettingsTab()
    {
        QStackedWidget* settings = stack("settingsStack");
        if (!QTest::qWaitFor(
                [&] { return qobject_cast<DeviceSettingsView*>(settings->currentWidget()) != nullptr; },
                kWaitMs))
            return nullptr;
        for (QWidget* w = settings; w; w = w->parentWidget())
            if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
                QTabBar* bar = tabs->tabBar();
                QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tabs->indexOf(settings)).center());
                break;
            }
        settle(50);
        return qobject_cast<DeviceSettingsView*>(settings->currentWidget());
    }
};

} // namespace

TEST_F(DeviceSettingsTab, AChoiceInTheSettingsTabReachesTheInstrument)
{
    auto sim = std::make_shared<BraeunigerSim>("COMPEO", std::vector<sim::IgcFile>{});
    plugIn(sim);
    ASSERT_TRUE(loadAndScan());
    DeviceSettingsView* view = openSettingsTab();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->objectName(), QStringLiteral("CompeoView"));
    EXPECT_TRUE(view->isVisible());

    chooseItem(view->findChild<QComboBox*>(QStringLiteral("speedUnit")), QStringLiteral("mph"));
    EXPECT_TRUE(waitUntil([&] { return ((sim->memory()[0x08D] >> 2) & 3) == 1; }));
}

TEST_F(DeviceSettingsTab, ClosingTheWindowRightAfterAChangeEndsCleanly)
{
    auto sim = std::make_shared<FlytecSim>("Flytec 6015 V3.14");
    plugIn(sim);
    ASSERT_TRUE(loadAndScan());
    DeviceSettingsView* view = openSettingsTab();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->objectName(), QStringLiteral("FlytecView"));

    chooseItem(view->findChild<QComboBox*>(QStringLiteral("unitTime")), QStringLiteral("12 hours"));
    // The view and its write end before the driver goes; the window's cancel may stop the write.
    m_window.reset();
    const auto units = sim->withInstrument([](FlytecInstrument& i) { return i.parameterBytes(0x03); });
    ASSERT_TRUE(units.has_value());
    EXPECT_TRUE(*units == (std::vector<std::uint8_t>{0x21, 0x02}) ||
                *units == (std::vector<std::uint8_t>{0x21, 0x03}))
        << "the old word or the new one, nothing between";
}
