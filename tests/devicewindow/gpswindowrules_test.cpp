// The device window's tab rules, without widgets.
#include <gtest/gtest.h>

#include <QTimeZone>

#include "ui/device/gpswindowrules.h"

namespace kalvora {
namespace {

using Page = DeviceTabState::Page;

TEST(DeviceTabRules, PagesFollowTheDriverAndTheRead)
{
    EXPECT_EQ(deviceTabState({}).page, Page::NotAvailable); // no device
    DeviceListFacts facts{true, false, false, false, false, 0, false, true};
    EXPECT_EQ(deviceTabState(facts).page, Page::NotAvailable); // no list operation
    facts.canList = true;
    const DeviceTabState reading = deviceTabState(facts);
    EXPECT_EQ(reading.page, Page::Reading);
    EXPECT_FALSE(reading.importAll || reading.importSelected || reading.deleteAll);
    facts.read = true;
    EXPECT_EQ(deviceTabState(facts).page, Page::Table); // read and empty: the empty table
}

TEST(DeviceTabRules, ButtonsFollowTheListTheSelectionAndTheDeleteOperations)
{
    DeviceListFacts facts{true, true, false, true, true, 3, false, true};
    DeviceTabState s = deviceTabState(facts);
    EXPECT_TRUE(s.importAll);
    EXPECT_FALSE(s.importSelected);
    // Only delete-all: some entries cannot be deleted, so only that button is shown.
    EXPECT_FALSE(s.deleteSelectedShown);
    EXPECT_TRUE(s.deleteAllShown && s.deleteAll);
    facts.rowSelected = true;
    EXPECT_TRUE(deviceTabState(facts).importSelected);
    // Single deletes replace delete-all.
    facts.canDeleteSome = true;
    s = deviceTabState(facts);
    EXPECT_TRUE(s.deleteSelectedShown && s.deleteSelected);
    EXPECT_FALSE(s.deleteAllShown);
    // Without a logbook to import into, the track imports stay off.
    facts.importTargetExists = false;
    s = deviceTabState(facts);
    EXPECT_FALSE(s.importAll || s.importSelected);
    EXPECT_TRUE(s.deleteSelected);
}

TEST(DeviceTabRules, SettingsPage)
{
    EXPECT_EQ(settingsPage(false, true, 2), Page::NotAvailable);
    EXPECT_EQ(settingsPage(true, false, 1), Page::NotAvailable);
    EXPECT_EQ(settingsPage(true, true, 2), Page::Reading);
    EXPECT_EQ(settingsPage(true, true, 1), Page::Table);
    EXPECT_EQ(settingsPage(true, true, 0), Page::NotAvailable);
}

TEST(DeviceTabRules, ATrackIsMarkedByTheLogbooksWhoseFlightsItOverlaps)
{
    const QDateTime noon(QDate(2024, 6, 1), QTime(12, 0), QTimeZone::utc());
    const QList<LogBookFlights> logbooks{
        {QStringLiteral("A"), {{noon.addSecs(1800), noon.addSecs(3600)}}},
        {QStringLiteral("B"), {{noon.addSecs(3600), noon.addSecs(7200)}}}, // starts as the track ends
    };
    EXPECT_EQ(logbooksHolding(noon, 3600, logbooks), QStringList{QStringLiteral("A")});
    EXPECT_EQ(logbooksHolding(noon, 3601, logbooks), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
    EXPECT_TRUE(logbooksHolding(noon.addDays(1), 3600, logbooks).isEmpty());
}

TEST(DeviceTabRules, AccessProblemsSayWhatToDo)
{
    EXPECT_TRUE(accessProblemsText({}, false).isEmpty());
    EXPECT_TRUE(accessProblemsText({QStringLiteral("You may not open x")}, false).contains(QStringLiteral("Preferences")));
    EXPECT_TRUE(accessProblemsText({QStringLiteral("You may not open x")}, true).contains(QStringLiteral("unplug")));
}

} // namespace
} // namespace kalvora
