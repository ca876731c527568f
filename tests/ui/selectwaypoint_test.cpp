// The waypoint picker itself, driven through its table and buttons.
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include "services/httpclient.h"
#include "ui/waypoints/selectwaypointcontroller.h"
#include "ui/waypoints/waypointaddressfiller.h"
#include "ui/waypoints/waypointlistmodel.h"
#include "ui/waypoints/waypointtextfieldformatter.h"
#include "waypointfixture.h"
#include "waypoints/placefinderlookup.h"

namespace kalvora::test {
namespace {

class SelectWaypointTest : public GlobalStoreWindowTest
{
protected:
    /** Names of the picker's rows, top to bottom. */
    static QStringList rowNames(const SelectWaypointController& picker)
    {
        QStringList names;
        for (int row = 0; row < picker.model()->rowCount(); ++row)
            names << picker.model()->index(row, WaypointListModel::NameColumn).data().toString();
        return names;
    }

    static void clickHeader(QTableView* table, int column)
    {
        QHeaderView* header = table->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }

    static QPoint rowCentre(QTableView* table, int row)
    {
        return table->visualRect(table->model()->index(row, WaypointListModel::NameColumn)).center();
    }
};

// Distance texts sort wrongly ("12.0 km" < "1.5 km" < "900 m"); the column must sort by metres.
TEST_F(SelectWaypointTest, ListsNearestFirstAndTheDistanceColumnSortsByMetres)
{
    addWaypoint(QStringLiteral("Twelve"), 47108000, 11000000);
    addWaypoint(QStringLiteral("NineHundred"), 47008100, 11000000);
    addWaypoint(QStringLiteral("OneAndHalf"), 47013500, 11000000);
    SelectWaypointController picker(ctx(), 47.0, 11.0, 800);
    QAbstractItemModelTester tester(picker.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    picker.show();

    EXPECT_EQ(rowNames(picker), (QStringList{"NineHundred", "OneAndHalf", "Twelve"}));
    const auto distance = [&](int row) {
        return picker.model()->index(row, WaypointListModel::DistanceColumn).data().toString();
    };
    EXPECT_EQ(distance(0), QStringLiteral("900 m"));
    EXPECT_EQ(distance(1), QStringLiteral("1.5 km"));
    EXPECT_EQ(distance(2), QStringLiteral("12.0 km"));
    // The waypoints' own distance value follows the picker's reference point.
    EXPECT_EQ(picker.listedWaypoints().first()->distanceFromFlightWaypoint(), QStringLiteral("900 m"));

    clickHeader(picker.table(), WaypointListModel::DistanceColumn);
    EXPECT_EQ(rowNames(picker), (QStringList{"Twelve", "OneAndHalf", "NineHundred"}));
    clickHeader(picker.table(), WaypointListModel::DistanceColumn);
    EXPECT_EQ(rowNames(picker), (QStringList{"NineHundred", "OneAndHalf", "Twelve"}));
    clickHeader(picker.table(), WaypointListModel::NameColumn);
    EXPECT_EQ(rowNames(picker), (QStringList{"NineHundred", "OneAndHalf", "Twelve"}));
    clickHeader(picker.table(), WaypointListModel::NameColumn);
    EXPECT_EQ(rowNames(picker), (QStringList{"Twelve", "OneAndHalf", "NineHundred"}));
}

TEST_F(SelectWaypointTest, DoubleClickAndChooseReportTheWaypointCancelAndEscapeReportCancel)
{
    Waypoint* near = addWaypoint(QStringLiteral("Near"), 47018000, 11000000);
    Waypoint* far = addWaypoint(QStringLiteral("Far"), 47045000, 11000000);
    SelectWaypointController picker(ctx(), 47.0, 11.0, 0);
    picker.show();
    QSignalSpy chosen(&picker, &SelectWaypointController::didSelectWaypoint);
    QSignalSpy canceled(&picker, &SelectWaypointController::didCancel);

    // A double click is a press, a release and a second press the view reads as the double click.
    QTest::mouseClick(picker.table()->viewport(), Qt::LeftButton, {}, rowCentre(picker.table(), 1));
    QTest::mouseDClick(picker.table()->viewport(), Qt::LeftButton, {}, rowCentre(picker.table(), 1));
    ASSERT_EQ(chosen.size(), 1);
    EXPECT_EQ(chosen.at(0).at(1).value<Waypoint*>(), far);

    picker.table()->clearSelection();
    QTest::mouseClick(picker.findChild<QPushButton*>(QStringLiteral("choose")), Qt::LeftButton);
    EXPECT_EQ(chosen.size(), 1) << "no selection, no choice";

    QTest::mouseClick(picker.table()->viewport(), Qt::LeftButton, {}, rowCentre(picker.table(), 0));
    QTest::mouseClick(picker.findChild<QPushButton*>(QStringLiteral("choose")), Qt::LeftButton);
    ASSERT_EQ(chosen.size(), 2);
    EXPECT_EQ(chosen.at(1).at(1).value<Waypoint*>(), near);
    EXPECT_TRUE(canceled.isEmpty());

    QTest::mouseClick(picker.findChild<QPushButton*>(QStringLiteral("cancel")), Qt::LeftButton);
    QTest::keyClick(&picker, Qt::Key_Escape);
    EXPECT_EQ(canceled.size(), 2);
    EXPECT_EQ(canceled.at(0).at(0).value<SelectWaypointController*>(), &picker);
}

TEST_F(SelectWaypointTest, CreateNewStoresTheReferencePointAndFillsTheAddressInTheBackground)
{
    addWaypoint(QStringLiteral("Far away"), 46000000, 10000000);
    LocalHttpServer nominatim([](const HttpServerRequest&) { return innsbruckAnswer(200); });
    const PlaceFinderLookup places(defaultHttpClient(), nominatim.baseUrl(), QUrl());
    PlaceFinderAddressLookup addresses(places);
    QStringList opened;
    WaypointServices services;
    services.addresses = &addresses;
    services.machineIdentity = [] { return std::optional<QString>(QStringLiteral("00:11:22:AA:BB:CC")); };
    services.showWaypoint = [&opened](const QString& uri) { opened << uri; };

    SelectWaypointController picker(ctx(), 47.5, 11.5, 1520.7, services);
    picker.show();
    QSignalSpy filled(picker.addressFiller(), &WaypointAddressFiller::filled);
    QTest::mouseClick(picker.findChild<QPushButton*>(QStringLiteral("createNew")), Qt::LeftButton);

    // Saved and shown at once; the address follows when the finder answers.
    ASSERT_EQ(picker.model()->rowCount(), 2);
    Waypoint* created = picker.model()->waypointAt(0);
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->latitude(), 47500000);
    EXPECT_EQ(created->longitude(), 11500000);
    EXPECT_EQ(created->altitude(), 1520);
    EXPECT_EQ(created->macaddress(), QStringLiteral("00:11:22:AA:BB:CC"));
    EXPECT_EQ(created->syncOnline(), 0);
    EXPECT_FALSE(created->objectId().isTemporary());
    EXPECT_EQ(opened, QStringList{created->objectId().uriString()});
    EXPECT_TRUE(picker.table()->selectionModel()->isRowSelected(0, {}));
    EXPECT_TRUE(picker.isVisible());

    ASSERT_TRUE(waitFor([&] { return !filled.isEmpty(); }));
    EXPECT_TRUE(filled.first().at(1).toBool());
    EXPECT_EQ(created->city(), QStringLiteral("Innsbruck"));
    EXPECT_EQ(created->state(), QStringLiteral("Tirol"));
    EXPECT_EQ(created->country(), QString::fromUtf8("\xC3\x96sterreich"));
    EXPECT_FALSE(ctx()->hasChanges()) << "the address is saved";
    ASSERT_GE(nominatim.requestCount(), 1);
    EXPECT_EQ(nominatim.requests().first().query.queryItemValue(QStringLiteral("lat")),
              QStringLiteral("47.500000"));
}

TEST_F(SelectWaypointTest, AnAddressArrivingAfterTheWaypointWasDeletedIsDropped)
{
    LocalHttpServer nominatim([](const HttpServerRequest&) { return innsbruckAnswer(300); });
    const PlaceFinderLookup places(defaultHttpClient(), nominatim.baseUrl(), QUrl());
    PlaceFinderAddressLookup addresses(places);
    WaypointServices services;
    services.addresses = &addresses;
    SelectWaypointController picker(ctx(), 47.5, 11.5, 0, services);
    picker.setHideCreateNewButton(true);
    picker.show();
    EXPECT_FALSE(picker.findChild<QPushButton*>(QStringLiteral("createNew"))->isVisible());

    QSignalSpy filled(picker.addressFiller(), &WaypointAddressFiller::filled);
    Waypoint* created = picker.createNew();
    ASSERT_NE(created, nullptr);
    ctx()->deleteObject(created);
    ASSERT_TRUE(ctx()->save().ok());
    EXPECT_EQ(picker.model()->rowCount(), 0);

    ASSERT_TRUE(picker.addressFiller()->waitForDone(10000));
    QCoreApplication::processEvents();
    EXPECT_TRUE(filled.isEmpty());
    EXPECT_TRUE(ctx()->fetch<Waypoint>().isEmpty());
}

TEST(WaypointTextFieldFormatterTest, RefusesTypingAndPastingBeyondSixteenCharacters)
{
    QLineEdit field;
    field.setValidator(new WaypointTextFieldFormatter(&field));
    field.show();
    QTest::keyClicks(&field, QStringLiteral("Sued_Startplat_A"));
    EXPECT_EQ(field.text(), QStringLiteral("Sued_Startplat_A"));
    QTest::keyClicks(&field, QStringLiteral("B"));
    EXPECT_EQ(field.text(), QStringLiteral("Sued_Startplat_A")) << "a 17th character is refused";

    field.clear();
    QTest::keyClicks(&field, QStringLiteral("Hohe Salve"));
    QApplication::clipboard()->setText(QStringLiteral("Startplatz"));
    field.paste();
    EXPECT_EQ(field.text(), QStringLiteral("Hohe Salve")) << "a paste that makes 20 characters is refused";
    QApplication::clipboard()->setText(QStringLiteral(" Ost"));
    field.paste();
    EXPECT_EQ(field.text(), QStringLiteral("Hohe Salve Ost"));
    QTest::keyClick(&field, Qt::Key_Backspace);
    EXPECT_EQ(field.text(), QStringLiteral("Hohe Salve Os"));
}

} // namespace
} // namespace kalvora::test
