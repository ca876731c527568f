#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>

#include "map/flightlayer.h"
#include "map/flighttrack.h"
#include "map/mapunits.h"
#include "model/settings.h"
#include "map/tilemap.h"
#include "map/webmercator.h"

namespace kalvora::map {
namespace {

// Reference values: the tile formula of the slippy-map convention in its tan + sec form, worked out apart.
struct KnownTile
{
    double latitude;
    double longitude;
    int zoom;
    int column;
    int row;
};

TEST(WebMercator, KnownPlacesFallIntoTheirTilesAtSeveralZooms)
{
    const KnownTile known[] = {
        {47.3769, 8.5417, 10, 536, 358},     // Zurich
        {47.3769, 8.5417, 15, 17161, 11474}, // Zurich, close
        {45.3067, 5.8890, 12, 2115, 1468},   // Grenoble valley
        {-33.8688, 151.2093, 8, 235, 153},   // Sydney
        {64.1466, -21.9426, 6, 28, 17},      // Reykjavik
        {78.2232, 15.6267, 9, 278, 70},      // Longyearbyen
        {-54.8019, -68.3030, 7, 39, 87},     // Ushuaia
    };
    for (const KnownTile& k : known) {
        const QPoint tile = tileOf(toMercator({k.latitude, k.longitude}), k.zoom);
        EXPECT_EQ(tile, QPoint(k.column, k.row)) << k.latitude << " " << k.longitude << " z" << k.zoom;
    }
}

TEST(WebMercator, EdgesPolesAndRoundTrips)
{
    EXPECT_DOUBLE_EQ(toMercator({0, 0}).x, 0.5);
    EXPECT_NEAR(toMercator({0, 0}).y, 0.5, 1e-15);
    EXPECT_DOUBLE_EQ(toMercator({0, -180}).x, 0.0);
    EXPECT_DOUBLE_EQ(toMercator({0, 180}).x, 1.0);
    EXPECT_NEAR(toMercator({maxLatitude, 0}).y, 0.0, 1e-12);
    EXPECT_NEAR(toMercator({-maxLatitude, 0}).y, 1.0, 1e-12);
    // Beyond the square world the map stops, it does not run off to infinity.
    EXPECT_NEAR(toMercator({90, 0}).y, 0.0, 1e-12);
    EXPECT_NEAR(toMercator({-89.9, 0}).y, 1.0, 1e-12);
    for (const GeoPoint p : {GeoPoint{46.5, 7.25}, GeoPoint{-41.3, 174.8}, GeoPoint{84.9, -179.99}}) {
        const GeoPoint back = toGeo(toMercator(p));
        EXPECT_NEAR(back.latitude, p.latitude, 1e-9);
        EXPECT_NEAR(back.longitude, p.longitude, 1e-9);
    }
    // 156 543.03 m a pixel at the equator at zoom 0, half of it a level further in.
    EXPECT_NEAR(metresPerPixel(0, 0), 156543.034, 0.01);
    EXPECT_NEAR(metresPerPixel(60, 1), 156543.034 / 4, 0.01);
}

TEST(WebMercator, ColumnsWrapAroundTheAntimeridian)
{
    EXPECT_EQ(wrapColumn(-1, 3), 7);
    EXPECT_EQ(wrapColumn(8, 3), 0);
    EXPECT_EQ(wrapColumn(-17, 3), 7);
    EXPECT_EQ(tileOf({1.0 + 0.5 / 8, 0.5}, 3), QPoint(0, 4));

    // A flight from Fiji's west to its east crosses 180: the track stays one short line.
    const std::vector<TrackFix> fixes{
        {{-17.0, 179.9}, 0, 0}, {{-17.0, -179.9}, 0, 1}, {{-17.0, -179.8}, 0, 2}};
    const std::vector<MercatorPoint> projected = projectTrack(fixes);
    ASSERT_EQ(projected.size(), 3u);
    EXPECT_NEAR(projected[1].x - projected[0].x, 0.2 / 360, 1e-12);
    EXPECT_NEAR(projected[2].x - projected[1].x, 0.1 / 360, 1e-12);
    EXPECT_GT(projected[1].x, 1.0);
}

TEST(MapViewport, ScreenAndWorldAreInverseAndZoomKeepsTheAnchor)
{
    MapViewport view;
    view.center = toMercator({46.0, 8.0});
    view.zoom = 11;
    view.size = QSizeF(800, 600);
    EXPECT_EQ(view.toScreen(view.center), QPointF(400, 300));
    const GeoPoint under = view.toGeo(QPointF(123, 456));
    const QPointF back = view.toScreen(under);
    EXPECT_NEAR(back.x(), 123, 1e-6);
    EXPECT_NEAR(back.y(), 456, 1e-6);

    view.zoomAround(13, QPointF(123, 456), 1, 19);
    const QPointF still = view.toScreen(under);
    EXPECT_NEAR(still.x(), 123, 1e-6);
    EXPECT_NEAR(still.y(), 456, 1e-6);
    view.zoomAround(40, QPointF(0, 0), 1, 19);
    EXPECT_EQ(view.zoom, 19);

    // One pixel of drag moves the map by exactly one pixel.
    const QPointF before = view.toScreen(under);
    view.panBy(QPointF(10, -5));
    EXPECT_NEAR(view.toScreen(under).x(), before.x() + 10, 1e-6);
    EXPECT_NEAR(view.toScreen(under).y(), before.y() - 5, 1e-6);
}

TEST(MapViewport, FittingZoomShowsTheWholeRectangleAtTheLargestZoom)
{
    const QRectF bounds(QPointF(0.5, 0.5), QPointF(0.5 + 10.0 / 256 / 1024, 0.5 + 5.0 / 256 / 1024));
    // 10 x 5 px at zoom 10: at zoom 15 it is 320 x 160 px, zoom 16 would need 640.
    EXPECT_EQ(fittingZoom(bounds, QSizeF(400, 300), 20, 1, 19), 15);
    EXPECT_EQ(fittingZoom(bounds, QSizeF(400, 300), 20, 1, 12), 12);
    EXPECT_EQ(fittingZoom(QRectF(0, 0, 1, 1), QSizeF(100, 100), 0, 1, 19), 1);
}

TEST(TrackSimplification, KeepsCornersDropsStraightRunsAndSurvivesHugeTracks)
{
    std::vector<MercatorPoint> line;
    for (int i = 0; i <= 1000; ++i)
        line.push_back({i * 1e-6, 0.5});
    EXPECT_EQ(simplifyTrack(line, 1e-9), (std::vector<std::uint32_t>{0, 512, 1000}));

    std::vector<MercatorPoint> zigzag;
    for (int i = 0; i < 70000; ++i)
        zigzag.push_back({i * 1e-7, 0.5 + (i % 2 ? 1e-6 : 0.0)});
    EXPECT_LT(simplifyTrack(zigzag, 1e-5).size(), 200u);
    EXPECT_EQ(simplifyTrack(zigzag, 1e-7).size(), zigzag.size());

    const std::vector<MercatorPoint> corner{{0, 0}, {0.5, 0.0001}, {1, 0}, {1, 0.5}, {1, 1}};
    EXPECT_EQ(simplifyTrack(corner, 0.01), (std::vector<std::uint32_t>{0, 2, 4}));
}

TEST(TrackValues, ClimbIsSmoothedOverTheWindow)
{
    std::vector<TrackFix> fixes;
    for (int t = 0; t <= 60; ++t)
        fixes.push_back({{46, 7}, 1000.0 + 2.0 * t, t});
    fixes[30].altitudeM += 50; // one wild fix
    const std::vector<float> climb = climbRates(fixes, 10);
    EXPECT_NEAR(climb[10], 2.0, 1e-6);
    EXPECT_LT(std::abs(climb[30] - 2.0), 0.5);
    EXPECT_NEAR(climb[0], 2.0, 1e-6);
}

TEST(MapScale, RoundLengthsAndLabels)
{
    EXPECT_EQ(roundScaleLength(1234), 1000);
    EXPECT_EQ(roundScaleLength(2500), 2000);
    EXPECT_EQ(roundScaleLength(99), 50);
    EXPECT_EQ(roundScaleLength(0), 0);
    EXPECT_EQ(scaleLabel(500), QStringLiteral("500 m"));
    EXPECT_EQ(scaleLabel(20000), QStringLiteral("20 km"));
    EXPECT_EQ(graticuleStep(60), 10);
    EXPECT_EQ(graticuleStep(0.3), 0.05);
}

TEST(MapUnits, TextsFollowTheSettingsUnits)
{
    Settings::setCurrentUnits(std::nullopt);
    EXPECT_EQ(currentDisplayUnits(), DisplayUnits{});
    EXPECT_EQ(altitudeText(1234.4, currentDisplayUnits()), QStringLiteral("1234 m"));
    EXPECT_EQ(climbText(-2.34, currentDisplayUnits()), QStringLiteral("-2.3 m/s"));
    UnitSettings imperial;
    imperial.altitudeUnitIndex = 1;
    imperial.distanceUnitIndex = 1;
    imperial.varioUnitIndex = 1;
    Settings::setCurrentUnits(imperial);
    const DisplayUnits units = currentDisplayUnits();
    EXPECT_TRUE(units.feet && units.miles && units.fpm);
    EXPECT_EQ(altitudeText(1000, units), QStringLiteral("3281 ft"));
    EXPECT_EQ(climbText(1, units), QStringLiteral("+197 fpm"));
    Settings::setCurrentUnits(std::nullopt);
}

TEST(FlightLayer, DrawsTheSimplifiedTrackWhereTheProjectionSays)
{
    FlightTrack track;
    track.color = Qt::red;
    for (int i = 0; i <= 40000; ++i) {
        const double t = i / 40000.0;
        track.fixes.push_back({{45.3 + 0.05 * std::sin(t * 20), 5.9 + 0.1 * t}, 1000 + 500 * t, i});
    }
    track.takeoff = 0;
    track.landing = track.fixes.size() - 1;
    FlightLayer layer;
    layer.setTracks({track});
    layer.setColouring(TrackColouring::Plain);

    MapViewport view;
    view.size = QSizeF(600, 400);
    view.center = {layer.bounds().center().x(), layer.bounds().center().y()};
    view.zoom = fittingZoom(layer.bounds(), view.size, 20, 1, 18);
    const std::size_t kept = layer.simplifiedSize(0, int(view.zoom));
    EXPECT_LT(kept, track.fixes.size() / 10);
    EXPECT_GT(kept, 20u);

    QImage image(view.size.toSize(), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        layer.draw(painter, view);
    }
    for (const std::size_t fix : {std::size_t(5000), std::size_t(20000), std::size_t(31234)}) {
        const QPoint at = view.toScreen(track.fixes[fix].position).toPoint();
        const QColor seen = image.pixelColor(at);
        EXPECT_GT(seen.red(), 150) << fix;
        EXPECT_LT(seen.green(), 100) << fix;
    }
    // The map's own corner holds no track.
    EXPECT_EQ(image.pixelColor(590, 200), QColor(Qt::white));

    // The cursor link: the fix nearest a point of the track is found again.
    const QPointF on = layer.fixOnScreen(0, 12345, view);
    const std::optional<std::size_t> found = layer.nearestFix(on, view, 3);
    ASSERT_TRUE(found);
    EXPECT_NEAR(layer.fixOnScreen(0, *found, view).x(), on.x(), 1.5);
    EXPECT_FALSE(layer.nearestFix(QPointF(590, 5), view, 3));
}

} // namespace
} // namespace kalvora::map
