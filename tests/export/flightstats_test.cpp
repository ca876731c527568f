#include <gtest/gtest.h>

#include "export/flightstats.h"

namespace kalvora {
namespace {

TEST(FlightStatsFigures, CountSumAndAverage)
{
    // 30 hours in all, as 20 flights of 1.5 h.
    QList<StatsFlight> flights(20, StatsFlight{5400, 2023, "Alpha"});
    flights[0].year = 2024;
    flights[1].glider = "Beta";
    const FlightStatsFigures figures = flightStatsFigures(flights);
    EXPECT_EQ(figures.count, 20);
    EXPECT_EQ(totalFlightTimeText(figures.totalS), "1:06:00:00");
    EXPECT_EQ(averageFlightTimeText(figures.averageS), "01:30:00");
    EXPECT_EQ(figures.perYear, (QList<StatsGroup>{{"2023", 19, 19 * 5400.0}, {"2024", 1, 5400}}));
    EXPECT_EQ(figures.perGlider, (QList<StatsGroup>{{"Alpha", 19, 19 * 5400.0}, {"Beta", 1, 5400}}));

    const FlightStatsFigures two = flightStatsFigures({{5400, 2024, ""}, {1800, 2024, ""}});
    EXPECT_EQ(averageFlightTimeText(two.averageS), "01:00:00");
    EXPECT_EQ(totalFlightTimeText(two.totalS), "0:02:00:00");
    EXPECT_EQ(totalFlightTimeText(59.6), "0:00:01:00");

    // No flights: no average rather than a division by zero.
    const FlightStatsFigures none = flightStatsFigures({});
    EXPECT_EQ(none.count, 0);
    EXPECT_FALSE(none.averageS.has_value());
    EXPECT_EQ(averageFlightTimeText(none.averageS), "–");
    EXPECT_EQ(averageFlightTimeText(90000), "Invalid");
}

std::string fixLine(int timeS, int latMilliMinutes, int gpsAltitude)
{
    return QString::asprintf("B%02d%02d%02d46%05dN00715000EA01000%05d\n", timeS / 3600 % 24, timeS % 3600 / 60,
                             timeS % 60, latMilliMinutes, gpsAltitude)
        .toStdString();
}

TEST(StatsTrackPoints, AFlightAcrossMidnightGoesOnInsteadOfFoldingBack)
{
    std::string igc = "HFDTE010624\n";
    for (int t = 86400 - 120; t < 86400 + 120; t += 60)
        igc += fixLine(t, 30000, 1000);
    const std::vector<StatsTrackPoint> rows = statsTrackPoints(igc);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].timeS, 86280);
    EXPECT_EQ(rows[2].timeS, 86400);
    EXPECT_EQ(rows[3].timeS, 86460);
    EXPECT_EQ(rows[3].fix.timeS, 60);
}

TEST(StatsTrackPoints, MarksTheFlightProperAndEachTurnpointOnce)
{
    std::string igc = "HFDTE010624\n";
    // Positions 46°30.000' + i thousandths of a minute; fix 4 is logged three times.
    const int positions[] = {0, 1, 2, 3, 4, 4, 4, 5, 6, 7, 8};
    for (int i = 0; i < 11; ++i)
        igc += fixLine(36000 + i, 30000 + positions[i] * 100, 1000 + i);
    std::vector<StatsTrackPoint> rows = statsTrackPoints(igc);
    ASSERT_EQ(rows.size(), 11u);
    const auto at = [](int position) { return StatsPosition{46.5 + position * 0.1 / 60, 7.25}; };
    markTrackPoints(rows, at(2), at(7), {at(4), at(6), at(3)});
    std::vector<bool> used;
    std::vector<int> numbers;
    for (const StatsTrackPoint& row : rows) {
        used.push_back(row.used);
        numbers.push_back(row.scorePointNumber);
    }
    EXPECT_EQ(used, (std::vector<bool>{false, false, true, true, true, true, true, true, true, true, false}));
    EXPECT_EQ(numbers, (std::vector<int>{0, 0, 0, 3, 1, 0, 0, 0, 2, 0, 0}));

    // Without take-off and landing nothing is marked as flown.
    markTrackPoints(rows, std::nullopt, std::nullopt, {});
    EXPECT_TRUE(std::none_of(rows.begin(), rows.end(), [](const StatsTrackPoint& r) { return r.used || r.scorePointNumber; }));
}

std::vector<StatsTrackPoint> track(std::int64_t from, int count, double altitude = 1000)
{
    std::vector<StatsTrackPoint> rows(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        rows[size_t(i)].timeS = from + i;
        rows[size_t(i)].fix.gpsAltitudeM = altitude + i;
    }
    return rows;
}

TEST(ChartSpace, SpansTheChartableTracksAndNeverGoesNegative)
{
    const auto morning = track(36000, 100, 800);
    const auto evening = track(60000, 50, 2500);
    const auto stub = track(10, 2, 4000); // too short to place on the axis
    const ChartSpace both = chartSpace({&morning, &evening, &stub}, {1200, 2600});
    EXPECT_EQ(both.startS, 36000);
    EXPECT_EQ(both.endS, 60049);
    EXPECT_DOUBLE_EQ(both.maxAltitudeM, 4001);

    const ChartSpace none = chartSpace({&stub}, {});
    EXPECT_GT(none.endS, none.startS);
    const std::vector<StatsTrackPoint> empty;
    const ChartSpace nothing = chartSpace({&empty}, {0});
    EXPECT_GT(nothing.endS, nothing.startS);
    EXPECT_GT(nothing.maxAltitudeM, 0);
}

TEST(AltitudeCurve, DrawsShortTracksAsTheyAreAndThinsLongOnesKeepingTheExtremes)
{
    const auto small = track(100, 5);
    const QList<QPointF> curve = altitudeCurve(small, 2000);
    ASSERT_EQ(curve.size(), 5);
    EXPECT_EQ(curve[4], QPointF(104, 1004));

    auto big = track(0, 40000);
    big[12345].fix.gpsAltitudeM = 9000;
    big[23456].fix.gpsAltitudeM = -50;
    const QList<QPointF> thin = altitudeCurve(big, 2000);
    EXPECT_LE(thin.size(), 2000);
    EXPECT_GT(thin.size(), 1000);
    EXPECT_TRUE(thin.contains(QPointF(12345, 9000)));
    EXPECT_TRUE(thin.contains(QPointF(23456, -50)));
    EXPECT_TRUE(std::is_sorted(thin.begin(), thin.end(), [](QPointF a, QPointF b) { return a.x() < b.x(); }));
}

} // namespace
} // namespace kalvora
