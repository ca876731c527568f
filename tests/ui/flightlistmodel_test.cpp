#include <QAbstractItemModelTester>
#include <QLocale>
#include <QSortFilterProxyModel>
#include <QTest>

#include "logbookfixture.h"
#include "ui/flightlistmodel.h"

namespace kalvora::test {
namespace {

using Model = FlightListModel;

class FlightListModelTest : public LogbookTest
{
protected:
    QString text(const Model& model, int row, int column) { return model.index(row, column).data().toString(); }
};

TEST_F(FlightListModelTest, RowsFollowInsertsAndDeletesOfTheContext)
{
    Model model(ctx(), nullptr);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(model.rowCount(), 0);

    Flight* a = addFlight(utc(2024, 5, 1, 10, 0), 90);
    Flight* b = addFlight(utc(2024, 5, 2, 11, 0), 30);
    model.refresh();
    ASSERT_EQ(model.rowCount(), 2);
    ASSERT_TRUE(ctx()->save().ok());
    EXPECT_EQ(model.rowCount(), 2) << "a save must not duplicate rows";

    ctx()->deleteObject(a);
    ASSERT_TRUE(ctx()->save().ok());
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.flightAt(0), b);
    EXPECT_EQ(model.rowOf(a), -1);
}

TEST_F(FlightListModelTest, FlightsSavedElsewhereComeAndGoAsTheSaveSays)
{
    Flight* here = addFlight(utc(2024, 5, 1, 10, 0), 90);
    ASSERT_TRUE(ctx()->save().ok());
    Model model(ctx(), nullptr);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    ASSERT_EQ(model.rowCount(), 1);

    // An importer's context on the same thread stands in for the worker's.
    auto other = m_store->newBackgroundContext();
    ASSERT_TRUE(other.ok());
    QList<ObjectId> imported;
    for (int day = 2; day <= 4; ++day) {
        auto* flight = (*other)->insert<Flight>();
        flight->setStartUTC(utc(2024, 5, day, 10, 0));
        flight->setStartLocation(QStringLiteral("Imported %1").arg(day));
    }
    ASSERT_TRUE((*other)->save().ok());
    QTRY_COMPARE(model.rowCount(), 4);
    QStringList places;
    for (int row = 0; row < model.rowCount(); ++row)
        places << model.flightAt(row)->startLocation();
    EXPECT_EQ(places, (QStringList{QStringLiteral("Site 1"), QStringLiteral("Imported 2"), QStringLiteral("Imported 3"),
                                   QStringLiteral("Imported 4")}));

    // A save that only changes flights adds no rows; a delete there removes exactly that row here.
    auto changed = (*other)->fetch<Flight>();
    ASSERT_EQ(changed.size(), 4);
    for (Flight* flight : changed)
        flight->setGlider(QStringLiteral("Changed"));
    ASSERT_TRUE((*other)->save().ok());
    (*other)->deleteObject(changed.at(2));
    ASSERT_TRUE((*other)->save().ok());
    QTRY_COMPARE(model.rowCount(), 3);
    EXPECT_EQ(model.rowOf(here), 0);
    for (int row = 0; row < model.rowCount(); ++row)
        EXPECT_NE(model.flightAt(row)->startLocation(), changed.at(2)->startLocation());
}

TEST_F(FlightListModelTest, ShowsListValuesInMetricUnits)
{
    Flight* flight = addFlight(utc(2024, 5, 1, 10, 0), 90, 12.5, QStringLiteral("Niesen"));
    flight->setUtcOffset(5.75);
    Model model(ctx(), nullptr);
    ASSERT_EQ(model.rowCount(), 1);

    EXPECT_EQ(text(model, 0, Model::TakeOffTimeColumn), QStringLiteral("15:45")) << "local time = UTC + 5:45";
    EXPECT_EQ(text(model, 0, Model::TakeOffPlaceColumn), QStringLiteral("Niesen"));
    EXPECT_EQ(text(model, 0, Model::LandingPlaceColumn), QStringLiteral("Field"));
    EXPECT_EQ(text(model, 0, Model::FlightTimeColumn), QStringLiteral("01:30:00"));
    EXPECT_EQ(text(model, 0, Model::XCPointsColumn), QStringLiteral("12.50"));
    EXPECT_EQ(text(model, 0, Model::DistanceColumn), QStringLiteral("12.50"));
    EXPECT_EQ(text(model, 0, Model::MaxAltitudeColumn), QStringLiteral("1090"));
    EXPECT_EQ(text(model, 0, Model::MaxSpeedColumn), QStringLiteral("40.0"));
    EXPECT_EQ(text(model, 0, Model::GliderColumn), QStringLiteral("Alpha, Beta"));
    EXPECT_EQ(model.headerData(Model::MaxAltitudeColumn, Qt::Horizontal).toString(), QStringLiteral("Max. alt. (m)"));
}

TEST_F(FlightListModelTest, ShowsChosenUnitsAfterReformat)
{
    addFlight(utc(2024, 5, 1, 10, 0), 0, 100);
    ctx()->fetch<Flight>().first()->setMaxAltitude(1000);
    ctx()->fetch<Flight>().first()->setMaxSpeed(100);
    Model model(ctx(), nullptr);

    Settings::setCurrentUnits(UnitSettings{1, 2, 1, 1, 0});
    model.reformat();
    EXPECT_EQ(text(model, 0, Model::MaxAltitudeColumn), QStringLiteral("3281"));
    EXPECT_EQ(text(model, 0, Model::MaxSpeedColumn), QStringLiteral("54.0")) << "knots";
    EXPECT_EQ(text(model, 0, Model::DistanceColumn), QStringLiteral("62.14")) << "distance factor 0.6214";
    EXPECT_EQ(text(model, 0, Model::MaxClimbColumn), QStringLiteral("492")) << "2.5 m/s in fpm";
    EXPECT_EQ(model.headerData(Model::MaxAltitudeColumn, Qt::Horizontal).toString(), QStringLiteral("Max. alt. (ft)"));
    EXPECT_EQ(model.headerData(Model::MaxSpeedColumn, Qt::Horizontal, Qt::ToolTipRole).toString(),
              QStringLiteral("Max. speed (kn)"))
        << "a title cut by a narrow window can still be read whole";
}

TEST_F(FlightListModelTest, XCStateTexts)
{
    const struct
    {
        double freeDistance;
        const char* points;
    } cases[] = {{-2, "calc"}, {-1, "n/a"}, {0, "n/a"}, {10, "10.00"}};
    for (const auto& c : cases) {
        Flight* flight = addFlight(utc(2024, 6, 1, 10, 0), 60, c.freeDistance);
        Model model(ctx(), nullptr);
        const int row = model.rowOf(flight);
        EXPECT_EQ(text(model, row, Model::XCPointsColumn), QLatin1String(c.points)) << c.freeDistance;
        ctx()->deleteObject(flight);
    }
}

TEST_F(FlightListModelTest, ChangedFlightUpdatesItsRow)
{
    Flight* flight = addFlight(utc(2024, 5, 1, 10, 0), 60, -2);
    Model model(ctx(), nullptr);
    int changes = 0;
    QObject::connect(&model, &QAbstractItemModel::dataChanged, [&changes] { ++changes; });
    flight->setFreeDistance(20);
    EXPECT_GT(changes, 0);
    EXPECT_EQ(text(model, 0, Model::XCPointsColumn), QStringLiteral("20.00"));
}

TEST_F(FlightListModelTest, SortTypesSortDescendingThroughTheProxy)
{
    addFlight(utc(2024, 5, 1, 10, 0), 30, 5);
    addFlight(utc(2024, 5, 3, 10, 0), 120, 2);
    addFlight(utc(2024, 5, 2, 10, 0), 60, 40);
    Model model(ctx(), nullptr);
    QSortFilterProxyModel proxy;
    proxy.setSourceModel(&model);
    proxy.setSortRole(Model::SortRole);
    QAbstractItemModelTester tester(&proxy, QAbstractItemModelTester::FailureReportingMode::Fatal);

    const auto firstPlace = [&proxy] {
        return proxy.index(0, Model::TakeOffPlaceColumn).data().toString();
    };
    const struct
    {
        int sortType;
        const char* first;
    } cases[] = {{0, "Site 3"}, {1, "Site 3"}, {2, "Site 2"}, {3, "Site 3"}, {5, "Site 2"}};
    for (const auto& c : cases) {
        proxy.sort(Model::columnForSortType(c.sortType), Qt::DescendingOrder);
        EXPECT_EQ(firstPlace(), QLatin1String(c.first)) << "sort type " << c.sortType;
    }
    EXPECT_EQ(Model::columnForSortType(6), -1);
    EXPECT_EQ(Model::sortTypeForColumn(Model::columnForSortType(4)), 4);
}

} // namespace
} // namespace kalvora::test

namespace kalvora::test {
namespace {

TEST_F(FlightListModelTest, TheDateIsTheLocalTakeOffDateBesideTheLocalTime)
{
    // 23:30 UTC at +2 is 01:30 the next day where the pilot flew; west of UTC the day before.
    Flight* east = addFlight(utc(2024, 6, 1, 23, 30), 60);
    east->setUtcOffset(2);
    Flight* west = addFlight(utc(2024, 6, 1, 2, 0), 60);
    west->setUtcOffset(-5);
    Model model(ctx(), nullptr);
    const QLocale locale;
    EXPECT_EQ(text(model, model.rowOf(east), Model::DateColumn), locale.toString(QDate(2024, 6, 2), QLocale::ShortFormat));
    EXPECT_EQ(text(model, model.rowOf(east), Model::TakeOffTimeColumn), QStringLiteral("01:30"));
    EXPECT_EQ(text(model, model.rowOf(west), Model::DateColumn), locale.toString(QDate(2024, 5, 31), QLocale::ShortFormat));
}

} // namespace
} // namespace kalvora::test
