// The route window: its figures against kalvora-cli's route score, editing a point, scoring only when due.
#include <QAbstractItemModelTester>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include <cmath>

#include "model/route.h"
#include "model/routewaypoint.h"
#include "ui/waypoints/routelistmodels.h"
#include "ui/waypoints/routewindowcontroller.h"
#include "waypointfixture.h"

namespace kalvora::test {
namespace {

class RouteWindowTest : public GlobalStoreWindowTest
{
protected:
    /** A saved route through POINTS (lat, lon) [deg] at 1000 m, never scored. */
    Route* addRoute(const QString& name, const QList<QPair<double, double>>& points)
    {
        auto* route = ctx()->insert<Route>();
        route->setName(name);
        int index = 0;
        for (const auto& [lat, lon] : points) {
            auto* entry = ctx()->insert<RouteWaypoint>();
            entry->setIndex(index);
            entry->setNewName(QStringLiteral("%1_P%2").arg(name).arg(++index));
            entry->setAltitude(1000);
            entry->setLongitude(lon);
            entry->setLatitude(lat);
            entry->setRoute(route);
        }
        // Stored unscored, as a route read from an instrument before the window shows it.
        route->setValue(QStringLiteral("distance"), QVariant());
        route->setValue(QStringLiteral("routeType"), QVariant());
        EXPECT_TRUE(ctx()->save().ok());
        return route;
    }

    /** What `kalvora-cli route score` answers for the route's points: "%0.2f" of the distance and the type
     * text. */
    static QPair<QString, QString> cliScore(const Route& route)
    {
        QStringList args{QStringLiteral("route"), QStringLiteral("score")};
        for (const RouteWaypoint* e : route.sortedWaypoints())
            args << QStringLiteral("%1,%2,%3")
                        .arg(e->latitude(), 0, 'f', 7)
                        .arg(e->longitude(), 0, 'f', 7)
                        .arg(e->altitude());
        QProcess cli;
        cli.start(QStringLiteral(KALVORA_CLI_PATH), args);
        EXPECT_TRUE(cli.waitForFinished(60000));
        const QJsonObject out = QJsonDocument::fromJson(cli.readAllStandardOutput()).object();
        return {QString::asprintf("%0.2f", out.value(QStringLiteral("distanceKm")).toDouble()),
                out.value(QStringLiteral("routeTypeString")).toString()};
    }

    static QPair<QString, QString> shown(RouteWindowController& window, const Route* route)
    {
        const int row = window.routeModel()->rowOf(route);
        return {window.routeModel()->index(row, RouteListModel::DistanceColumn).data().toString(),
                window.routeModel()->index(row, RouteListModel::TypeColumn).data().toString()};
    }

    static void clickRow(QTableView* table, int row)
    {
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                          table->visualRect(table->model()->index(row, 0)).center());
    }
};

TEST_F(RouteWindowTest, ShowsEachRouteScoredAsTheCommandLineScoresItAndItsPointsInOrder)
{
    // About 10 km sides: an FAI triangle closed at its start; and a straight line of two legs.
    const double dLat = 10.0 / 6371.0 * 180.0 / M_PI;
    const double dLon = 10.0 / (6371.0 * std::cos(47.0 * M_PI / 180.0)) * 180.0 / M_PI;
    Route* triangle = addRoute(QStringLiteral("Alpha"), {{47.0, 11.0},
                                                         {47.0 + dLat * std::sqrt(3.0) / 2, 11.0 + dLon / 2},
                                                         {47.0, 11.0 + dLon},
                                                         {47.0, 11.0}});
    Route* line = addRoute(QStringLiteral("Bravo"), {{46.5, 10.0}, {46.6, 10.1}, {46.7, 10.3}});
    addRoute(QStringLiteral("Charlie"), {{46.0, 9.0}});

    RouteWindowController window(ctx());
    QAbstractItemModelTester routes(window.routeModel(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    QAbstractItemModelTester entries(window.entryModel(),
                                     QAbstractItemModelTester::FailureReportingMode::Fatal);
    window.show();

    // The first route is shown, so scored; the others are not scored until shown.
    EXPECT_EQ(window.selectedRoute(), triangle);
    EXPECT_EQ(shown(window, triangle), cliScore(*triangle));
    EXPECT_EQ(shown(window, triangle).second, QStringLiteral("FAI \u25B2"));
    EXPECT_EQ(shown(window, line), (QPair<QString, QString>{"n/a", "n/a"}));
    ASSERT_EQ(window.entryModel()->rowCount(), 4);
    EXPECT_EQ(window.entryModel()->index(1, RouteEntryModel::NameColumn).data().toString(),
              QStringLiteral("Alpha_P2"));

    clickRow(window.routeTable(), window.routeModel()->rowOf(line));
    EXPECT_EQ(window.selectedRoute(), line);
    EXPECT_EQ(shown(window, line), cliScore(*line));
    EXPECT_EQ(window.entryModel()->rowCount(), 3);
    EXPECT_EQ(window.entryModel()->index(2, RouteEntryModel::LatitudeColumn).data().toString(),
              QStringLiteral("46.700000"));

    clickRow(window.routeTable(), 2);
    EXPECT_EQ(shown(window, window.selectedRoute()), (QPair<QString, QString>{"0.00", "Freeflight"}));
}

TEST_F(RouteWindowTest, MovingAPointScoresAgainButDrawingDoesNot)
{
    Route* line = addRoute(QStringLiteral("Line"), {{46.5, 10.0}, {46.6, 10.1}, {46.7, 10.3}});
    RouteWindowController window(ctx());
    window.show();
    const QString before = shown(window, line).first;

    QSignalSpy changes(line, &StoredObject::valueChanged);
    window.routeTable()->viewport()->grab();
    window.entryTable()->viewport()->grab();
    EXPECT_TRUE(changes.isEmpty()) << "drawing scored the route";

    // The last point moves east only: the longitude alone must score the route again.
    QTableView* table = window.entryTable();
    const QModelIndex cell = window.entryModel()->index(2, RouteEntryModel::LongitudeColumn);
    table->setCurrentIndex(cell);
    table->setFocus();
    QTest::keyClick(table, Qt::Key_F2);
    auto* editor = table->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), QStringLiteral("10.3000000"));
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("10.6"));
    EXPECT_EQ(editor->text(), QStringLiteral("10.6"));
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents(); // the view commits the editor's text from the event loop
    EXPECT_EQ(window.entryModel()->index(2, RouteEntryModel::LongitudeColumn).data().toString(),
              QStringLiteral("10.600000"));

    ASSERT_DOUBLE_EQ(line->sortedWaypoints().at(2)->longitude(), 10.6);
    EXPECT_NE(shown(window, line).first, before);
    EXPECT_EQ(shown(window, line), cliScore(*line));
}

} // namespace
} // namespace kalvora::test
