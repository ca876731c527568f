#pragma once

#include <QString>

#include <string>

#include "store/storedobject.h"

namespace kalvora {

class Route;
class Waypoint;

/**
 * One entry of a route: a point in degrees (not microdegrees), its altitude
 * [m] and cylinder radius [m], and its position `index` (from 0) in the route.
 * A change of `radius`, `latitude` or `longitude` posts
 * "KalvoraRouteWaypointChange"; a change of `latitude` or `longitude` also
 * scores the route again. Used on the thread of its context only.
 */
class RouteWaypoint final : public StoredObject
{
    Q_OBJECT

public:
    static constexpr const char* EntityName = "RouteWaypoint";
    /** Longest name an instrument takes for a route point. */
    static constexpr int MaxNameLength = 16;

    explicit RouteWaypoint(QObject* parent = nullptr);

    QString name() const { return stringValue(QStringLiteral("name")); }
    void setName(const QString& v) { setValue(QStringLiteral("name"), v); }
    double latitude() const { return doubleValue(QStringLiteral("latitude")); } ///< [deg]
    void setLatitude(double v) { setValue(QStringLiteral("latitude"), v); }
    double longitude() const { return doubleValue(QStringLiteral("longitude")); } ///< [deg]
    void setLongitude(double v) { setValue(QStringLiteral("longitude"), v); }
    double altitude() const { return doubleValue(QStringLiteral("altitude")); } ///< [m]
    void setAltitude(double v) { setValue(QStringLiteral("altitude"), v); }
    double radius() const { return doubleValue(QStringLiteral("radius")); } ///< [m]
    void setRadius(double v) { setValue(QStringLiteral("radius"), v); }
    QString notice() const { return stringValue(QStringLiteral("notice")); }
    qint64 index() const { return integerValue(QStringLiteral("index")); }
    void setIndex(qint64 v) { setValue(QStringLiteral("index"), v); }
    Route* route() const;
    void setRoute(Route* route);
    Waypoint* waypoint() const;

    /** Reads as `name`. */
    QString newName() const { return name(); }
    /** Stores NAME shortened to 16 characters (see shortenedName()). */
    void setNewName(const QString& name);

    /**
     * The entry as an IGC fix without a time, e.g. for 47.1234 N 11.3760 E at
     * 1520 m: "B0000004707404N01122560EA0152001520".
     */
    std::string igcLine() const;
    /** The IGC fix of a point LATITUDE, LONGITUDE [deg] at ALTITUDE [m]. */
    static std::string igcLineFor(double latitude, double longitude, double altitude);

    /**
     * NAME cut to 16 characters: a longer name keeps its tail from the last "_"
     * and loses the characters just before it ("Sued_Startplatz_Nord_A" gives
     * "Sued_Startplat_A"); without "_", or when that tail alone is longer than
     * 16 characters, the first 16 characters.
     */
    static QString shortenedName(const QString& name);

protected:
    void didChangeValue(const QString& key, const QVariant& oldValue, const QVariant& newValue) override;
    QVariant derivedValue(const QString& key) const override;
};

} // namespace kalvora
