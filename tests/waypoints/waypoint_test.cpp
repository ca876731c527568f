#include <gtest/gtest.h>

#include <QUrlQuery>

#include <atomic>
#include <cmath>

#include "model/route.h"
#include "model/routewaypoint.h"
#include "model/waypoint.h"
#include "model/waypointdata.h"
#include "store/notificationcenter.h"
#include "storefixture.h"

using namespace kalvora;
using kalvora::test::GlobalStoreTest;

namespace {

/** Counts the notices of one name while it lives. */
class NoticeCounter
{
public:
    explicit NoticeCounter(const char* name)
    {
        m_connection = QObject::connect(&NotificationCenter::instance(), &NotificationCenter::notified,
                                        [this, name](const QString& n, QObject* object, const QVariantMap&) {
                                            if (n == QLatin1String(name)) {
                                                ++count;
                                                last = object;
                                            }
                                        });
    }
    ~NoticeCounter() { QObject::disconnect(m_connection); }
    int count = 0;
    QObject* last = nullptr;

private:
    QMetaObject::Connection m_connection;
};

QMap<QString, QString> formFields(const QByteArray& body)
{
    QMap<QString, QString> fields;
    for (const QByteArray& pair : body.split('&')) {
        const qsizetype eq = pair.indexOf('=');
        fields.insert(QString::fromUtf8(pair.left(eq)), QUrl::fromPercentEncoding(pair.mid(eq + 1)));
    }
    return fields;
}

} // namespace

TEST(WaypointValues, StringFromDistance)
{
    EXPECT_EQ(Waypoint::stringFromDistance(999), QStringLiteral("999 m"));
    EXPECT_EQ(Waypoint::stringFromDistance(1000), QStringLiteral("  1.0 km"));
    EXPECT_EQ(Waypoint::stringFromDistance(5), QStringLiteral("  5 m"));
    EXPECT_EQ(Waypoint::stringFromDistance(12345), QStringLiteral(" 12.3 km"));
    EXPECT_EQ(Waypoint::stringFromDistance(0), QStringLiteral("  0 m"));
}

TEST_F(GlobalStoreTest, DerivedValuesOfAWaypoint)
{
    Waypoint* w = addWaypoint(QStringLiteral("A"), 47000000, 11000000);
    w->setLatitudeRange(3);
    EXPECT_EQ(w->minLatitude(), 46999999);
    EXPECT_EQ(w->maxLatitude(), 47000001);
    w->setLatitudeRange(-3);
    EXPECT_EQ(w->minLatitude(), 47000001);
    EXPECT_EQ(w->maxLatitude(), 46999999);
    EXPECT_EQ(w->value(QStringLiteral("doubleLatitude")).toDouble(), 47.0);

    w->setLatitudeRange(0);
    w->setLongitudeRange(0);
    EXPECT_FALSE(w->size().has_value());
    EXPECT_FALSE(w->value(QStringLiteral("size")).isValid());
    w->setLatitudeRange(20000);
    EXPECT_EQ(w->size(), 2223); // the diagonal, here along one meridian

    EXPECT_EQ(w->value(QStringLiteral("continent")).toString(), QString());
    EXPECT_TRUE(w->value(QStringLiteral("editable")).toBool());

    Waypoint::setCurrentLocation(0, 0);
    EXPECT_EQ(w->distance(), QString());
    Waypoint::setCurrentLocation(47000000, 11010000);
    EXPECT_EQ(w->distance(), QStringLiteral("758 m"));
    Waypoint::setCurrentLocation(0, 0);

    Waypoint::setFlightReferencePoint(std::nullopt, std::nullopt);
    EXPECT_EQ(w->distanceFromFlightWaypoint(), QString());
    Waypoint::setFlightReferencePoint(47010000.0, 11000000.0);
    EXPECT_EQ(w->distanceFromFlightWaypoint(), QStringLiteral("  1.1 km"));
    Waypoint::setFlightReferencePoint(std::nullopt, std::nullopt);
}

TEST_F(GlobalStoreTest, SetDoubleCoordinatesTruncateAndNotify)
{
    Waypoint* w = addWaypoint(QStringLiteral("A"), 0, 0);
    NoticeCounter changed(notifications::WaypointChanged);
    w->setDoubleLatitude(-12.9999999);
    w->setDoubleLongitude(47.1234567);
    EXPECT_EQ(w->latitude(), -12999999);
    EXPECT_EQ(w->longitude(), 47123456);
    // One notice from each call, one from each watched coordinate change.
    EXPECT_EQ(changed.count, 4);
    EXPECT_EQ(changed.last, w);
}

TEST_F(GlobalStoreTest, ChangeTrackingOfSharedAndPrivateWaypoints)
{
    std::atomic<int> passes{0};
    Waypoint::setUploadStarter([&] { ++passes; });

    Waypoint* shared = addWaypoint(QStringLiteral("Shared"), 1, 1, true);
    shared->setSyncStatus(1);
    ASSERT_TRUE(main().save().ok());
    Waypoint* priv = addWaypoint(QStringLiteral("Private"), 2, 2);
    priv->setSyncStatus(1);
    ASSERT_TRUE(main().save().ok());

    NoticeCounter changed(notifications::WaypointChanged);
    const double before = Waypoint::now();
    shared->setName(QStringLiteral("Renamed"));
    EXPECT_EQ(shared->syncStatus(), 0);
    EXPECT_EQ(passes, 1);
    EXPECT_FALSE(main().hasChanges()); // saved before the pass starts
    EXPECT_GE(shared->lastModified(), before);
    EXPECT_EQ(changed.count, 0); // a name is no position change

    priv->setName(QStringLiteral("Renamed too"));
    EXPECT_EQ(priv->syncStatus(), 0);
    EXPECT_EQ(priv->syncOnline(), 0);
    EXPECT_EQ(passes, 1);

    // Unwatched attributes change nothing of the state.
    shared->setSyncStatus(1);
    shared->setMacaddress(QStringLiteral("x"));
    shared->setDbID(5);
    EXPECT_EQ(shared->syncStatus(), 1);
    EXPECT_EQ(passes, 1);

    // Every assignment counts, even of the same value.
    shared->setAltitude(shared->altitude());
    EXPECT_EQ(passes, 2);
    EXPECT_EQ(changed.count, 1);
}

TEST_F(GlobalStoreTest, ApplyingAReceivedRecord)
{
    std::atomic<int> passes{0};
    Waypoint::setUploadStarter([&] { ++passes; });
    Waypoint* w = addWaypoint(QStringLiteral("Old"), 1, 1, true);
    w->setWindFrom(270);

    WaypointData d;
    d.dbID = QStringLiteral("42");
    d.name = QStringLiteral("Hohe Salve");
    d.latitude = QStringLiteral("47123456");
    d.longitude = QStringLiteral("-11123456");
    d.altitude = QStringLiteral("1829");
    d.windFrom = QStringLiteral("-1");
    d.windTo = QStringLiteral("90");
    d.radius = QStringLiteral("abc");
    d.lastModified = QStringLiteral("1000.5");
    d.macaddress = QStringLiteral("AA:BB:CC:DD:EE:FF");
    passes = 0;
    const double before = Waypoint::now();
    w->initWithWaypointData(&d);
    w->initWithWaypointData(nullptr);

    EXPECT_EQ(passes, 0);
    EXPECT_EQ(w->syncOnline(), 1);
    EXPECT_EQ(w->syncStatus(), 1);
    EXPECT_EQ(w->dbID(), 42);
    EXPECT_EQ(w->name(), QStringLiteral("Hohe Salve"));
    EXPECT_EQ(w->latitude(), 47123456);
    EXPECT_EQ(w->longitude(), -11123456);
    EXPECT_EQ(w->altitude(), 1829);
    EXPECT_EQ(w->windFrom(), 270);
    EXPECT_EQ(w->windTo(), 90);
    EXPECT_EQ(w->radius(), 0);
    EXPECT_EQ(w->macaddress(), QStringLiteral("AA:BB:CC:DD:EE:FF"));
    // The change tracking restamps the instant of the application.
    EXPECT_GE(w->lastModified(), before);
}

TEST_F(GlobalStoreTest, UploadFormFields)
{
    Waypoint* w = addWaypoint(QStringLiteral("Fish & Chips = 1+1"), 47000000, -11000000);
    const QMap<QString, QString> f = formFields(w->urlStringForUpload());
    EXPECT_TRUE(w->urlStringForUpload().startsWith("altitude=0&city=&country=&county=&group="));
    EXPECT_EQ(f.value(QStringLiteral("name")), QStringLiteral("Fish & Chips = 1+1"));
    EXPECT_EQ(f.value(QStringLiteral("dbID")), QStringLiteral("-1"));
    EXPECT_EQ(f.value(QStringLiteral("radius")), QStringLiteral("250"));
    EXPECT_EQ(f.value(QStringLiteral("windFrom")), QStringLiteral("-1"));
    EXPECT_EQ(f.value(QStringLiteral("longitude")), QStringLiteral("-11000000"));
    EXPECT_EQ(f.size(), 20);

    w->setRadius(-5);
    EXPECT_TRUE(w->urlStringForUpload().endsWith("&dbID=-1&radius=250"));
    w->setRadius(400);
    w->setDbID(7);
    EXPECT_TRUE(w->urlStringForUpload().endsWith("&dbID=7&radius=400"));
}

TEST(RouteValues, ShortenedNames)
{
    struct Case
    {
        const char* name;
        const char* stored;
    } cases[] = {
        {"Sued_Startplatz_Nord_A", "Sued_Startplat_A"},
        {"ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNOP"},
        {"ABCDEFGHIJKLMNOPQ", "ABCDEFGHIJKLMNOP"},
        {"A_BCDEFGHIJKLMNOPQRSTUVWXYZ", "A_BCDEFGHIJKLMNO"},
        {"", ""},
    };
    for (const Case& c : cases) {
        const QString out = RouteWaypoint::shortenedName(QString::fromUtf8(c.name));
        EXPECT_EQ(out, QString::fromUtf8(c.stored)) << c.name;
        EXPECT_LE(out.size(), 16);
    }
}

TEST(RouteValues, IgcLineAndTexts)
{
    EXPECT_EQ(RouteWaypoint::igcLineFor(47.1234, 11.3760, 1520), "B0000004707404N01122560EA0152001520");
    EXPECT_EQ(RouteWaypoint::igcLineFor(-33.5, -70.25, 0), "B0000003330000S07015000WA0000000000");
    EXPECT_EQ(Route::routeTypeString(std::nullopt), QStringLiteral("n/a"));
    EXPECT_EQ(Route::routeTypeString(0), QStringLiteral("Freeflight"));
    EXPECT_EQ(Route::routeTypeString(1), QStringLiteral("Free \u25B2"));
    EXPECT_EQ(Route::routeTypeString(2), QStringLiteral("FAI \u25B2"));
    EXPECT_EQ(Route::routeTypeString(3), QStringLiteral("calc"));
    EXPECT_EQ(Route::routeTypeString(7), QStringLiteral("Freeflight"));
}

TEST_F(GlobalStoreTest, RouteScoring)
{
    auto* route = main().insert<Route>();
    route->setName(QStringLiteral("R"));
    EXPECT_EQ(route->distanceString(), QStringLiteral("n/a"));
    EXPECT_EQ(route->routeTypeString(), QStringLiteral("n/a"));

    route->calcDistance();
    EXPECT_EQ(route->distance(), 0.0);
    EXPECT_EQ(route->routeType(), 0);
    EXPECT_EQ(route->routeTypeString(), QStringLiteral("Freeflight"));

    NoticeCounter changes(notifications::RouteWaypointChange);
    route->appendWaypoint(47.0, 11.0, 1000, 400, QStringLiteral("Start"));
    EXPECT_EQ(route->distance(), 0.0);
    EXPECT_EQ(route->routeType(), 0);
    EXPECT_EQ(route->distanceString(), QStringLiteral("0.00"));

    // An equilateral triangle closed at its start, sides of about 10 km: an FAI triangle.
    // Vertices 10 km apart on a sphere of 6371 km around (47 N, 11 E).
    const double dLat = 10.0 / 6371.0 * 180.0 / M_PI; // 10 km north-south
    const double dLon = 10.0 / (6371.0 * std::cos(47.0 * M_PI / 180.0)) * 180.0 / M_PI;
    route->appendWaypoint(47.0 + dLat * std::sqrt(3.0) / 2, 11.0 + dLon / 2, 1000, 400,
                          QStringLiteral("Tp1"));
    route->appendWaypoint(47.0, 11.0 + dLon, 1000, 400, QStringLiteral("Tp2"));
    route->appendWaypoint(47.0, 11.0, 1000, 400, QStringLiteral("Goal"));
    EXPECT_EQ(route->fakeIGCLines().size(), 4u);
    EXPECT_EQ(route->routeType(), 2);
    EXPECT_NEAR(*route->distance(), 30.0, 0.1);
    EXPECT_EQ(route->routeTypeString(), QStringLiteral("FAI \u25B2"));
    EXPECT_NE(route->scorePoint(2).first, 0.0);
    EXPECT_GE(changes.count, 4);

    // A route whose entries are written in the wrong order is ordered by index.
    const auto lines = route->fakeIGCLines();
    EXPECT_EQ(lines.front(), RouteWaypoint::igcLineFor(47.0, 11.0, 1000));
}

TEST(RouteValues, TwoPointsAreAFreeDistance)
{
    const RouteScore s =
        Route::score({RouteWaypoint::igcLineFor(0, 0, 0), RouteWaypoint::igcLineFor(0, 1, 0)});
    EXPECT_NEAR(s.distanceKm, 111.195, 0.001);
    EXPECT_EQ(s.routeType, 0);
    EXPECT_EQ(Route::score({}).distanceKm, 0.0);
}
