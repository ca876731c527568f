#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include "logbook/flightentry.h"
#include "logbookfixture.h"
#include "model/waypoint.h"
#include "ui/logbookwindowcontroller.h"
#include "ui/waypoints/selectwaypointcontroller.h"
#include "ui/waypoints/waypointlistmodel.h"

namespace kalvora::test {
namespace {

/** The logbook window with waypoints in the global store, places chosen through the picker. */
class WaypointPickerTest : public LogbookTest
{
protected:
    void SetUp() override
    {
        LogbookTest::SetUp();
        auto opened = PersistentStore::open(m_dir.filePath(QStringLiteral("Kalvora.storedata")), ObjectModel::global());
        ASSERT_TRUE(opened.ok());
        global = std::move(opened.value());
        far = waypoint(QStringLiteral("Aaberg"), QStringLiteral("CH"), 46600000, 7250000, 900);     // ~11 km
        niesen = waypoint(QStringLiteral("Niesen"), QStringLiteral("CH"), 46500000, 7250000, 2362); // at the flight
        unnamed = waypoint(QString(), QStringLiteral("CH"), 46510000, 7250000, 1500);              // ~1 km
        ASSERT_TRUE(global->mainContext()->save().ok());

        tracked = addFlight(utc(2024, 5, 1, 10, 0), 60);
        tracked->setStartLatitude(46.5);
        tracked->setStartLongitude(7.25);
        other = addFlight(utc(2024, 4, 30, 10, 0), 60); // listed after the tracked one

        window = std::make_unique<LogBookWindowController>(ctx());
        window->setImportServices({nullptr, global.get()});
        window->windowDidLoad({});
        window->show();
        ctx()->clearUndoHistory();
    }
    void TearDown() override
    {
        window.reset();
        global.reset();
        LogbookTest::TearDown();
    }

    Waypoint* waypoint(const QString& name, const QString& country, qint64 lat, qint64 lon, qint64 alt)
    {
        auto* w = global->mainContext()->insert<Waypoint>();
        w->setName(name);
        w->setCountry(country);
        w->setLatitude(lat);
        w->setLongitude(lon);
        w->setAltitude(alt);
        return w;
    }

    SelectWaypointController* openPicker(const char* button)
    {
        auto* choose = window->findChild<QPushButton*>(QLatin1String(button));
        EXPECT_TRUE(choose && choose->isVisible()) << button;
        if (!choose)
            return nullptr;
        QTest::mouseClick(choose, Qt::LeftButton);
        auto* picker = window->findChild<SelectWaypointController*>(QStringLiteral("SelectWaypoint"));
        EXPECT_TRUE(picker && picker->isVisible());
        return picker;
    }

    void choose(SelectWaypointController* picker, const Waypoint* wanted)
    {
        const int row = int(picker->listedWaypoints().indexOf(const_cast<Waypoint*>(wanted)));
        ASSERT_GE(row, 0);
        QTableView* list = picker->table();
        const QRect cell = list->visualRect(list->model()->index(row, WaypointListModel::NameColumn));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseClick(picker->findChild<QPushButton*>(QStringLiteral("choose")), Qt::LeftButton);
    }

    std::unique_ptr<PersistentStore> global;
    std::unique_ptr<LogBookWindowController> window;
    Waypoint* far = nullptr;
    Waypoint* niesen = nullptr;
    Waypoint* unnamed = nullptr;
    Flight* tracked = nullptr;
    Flight* other = nullptr;
};

TEST_F(WaypointPickerTest, NearestFirstAndTheChoiceGoesToEverySelectedFlightAsOneStep)
{
    window->selectFlights({tracked, other});
    SelectWaypointController* picker = openPicker("chooseStartLocation");
    ASSERT_NE(picker, nullptr);
    EXPECT_EQ(picker->listedWaypoints(), (QList<Waypoint*>{niesen, unnamed, far}));
    EXPECT_FALSE(picker->hideCreateNewButton());

    choose(picker, niesen);
    for (Flight* flight : {tracked, other}) {
        EXPECT_EQ(flight->startLocation(), QStringLiteral("Niesen, CH"));
        // Millionths of a degree, as the import stores a matched waypoint (not 46.5).
        EXPECT_EQ(flight->startWaypointLatitude(), 46500000);
        EXPECT_EQ(flight->startWaypointLongitude(), 7250000);
        EXPECT_EQ(flight->startAltitude(), 2362) << "the waypoint's altitude overwrites the take-off altitude";
    }
    ctx()->undo();
    EXPECT_EQ(other->startLocation(), QStringLiteral("Site 30"));
    EXPECT_EQ(tracked->startLocation(), QStringLiteral("Site 1"));
    EXPECT_FALSE(ctx()->canUndo());
}

TEST_F(WaypointPickerTest, AnUnnamedWaypointGivesNoLeadingComma)
{
    window->selectFlights({tracked});
    choose(openPicker("chooseLandingLocation"), unnamed);
    EXPECT_EQ(tracked->landingLocation(), QStringLiteral("CH"));
    EXPECT_EQ(placeName(QStringLiteral("Niesen"), QString()), QStringLiteral("Niesen"));
    EXPECT_EQ(placeName(QString(), QString()), QString());
}

TEST_F(WaypointPickerTest, WithoutATrackPositionThereIsNoReferencePoint)
{
    window->selectFlights({other});
    SelectWaypointController* picker = openPicker("chooseStartLocation");
    ASSERT_NE(picker, nullptr);
    // Not the distance from 0 deg, 0 deg: by name, and no "new place here".
    EXPECT_TRUE(picker->hideCreateNewButton());
    EXPECT_FALSE(picker->findChild<QPushButton*>(QStringLiteral("createNew"))->isVisible());
    EXPECT_EQ(picker->listedWaypoints(), (QList<Waypoint*>{unnamed, far, niesen}));
    EXPECT_FALSE(picker->findChild<QLabel*>(QStringLiteral("reference"))->text().contains(QStringLiteral("0, 0")));
    QTest::mouseClick(picker->findChild<QPushButton*>(QStringLiteral("cancel")), Qt::LeftButton);
    EXPECT_FALSE(picker->isVisible()) << "closed on cancel";
}

TEST_F(WaypointPickerTest, ANewPlaceIsCreatedAtTheFlightsPosition)
{
    tracked->setStartLatitude(46.1234567);
    tracked->setStartLongitude(-7.7654321);
    tracked->setStartAltitude(1234.4);
    window->selectFlights({tracked});
    SelectWaypointController* picker = openPicker("chooseStartLocation");
    ASSERT_NE(picker, nullptr);
    QTest::mouseClick(picker->findChild<QPushButton*>(QStringLiteral("createNew")), Qt::LeftButton);
    const QList<Waypoint*> stored = global->mainContext()->fetch<Waypoint>();
    ASSERT_EQ(stored.size(), 4);
    Waypoint* created = nullptr;
    for (Waypoint* w : stored)
        if (w != far && w != niesen && w != unnamed)
            created = w;
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->latitude(), 46123456) << "truncated toward zero";
    EXPECT_EQ(created->longitude(), -7765432);
    EXPECT_EQ(created->altitude(), 1234);
    EXPECT_FALSE(created->objectId().isTemporary()) << "saved";
    EXPECT_TRUE(picker->listedWaypoints().contains(created)) << "listed in the picker, which stays open";
}

} // namespace
} // namespace kalvora::test
