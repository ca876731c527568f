#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

#include "store/storedobject.h"

namespace kalvora {

struct WaypointData;

/**
 * A named place of the global store: take-off, landing field, turnpoint.
 * Coordinates are integers in microdegrees (degrees x 1 000 000, north and
 * east positive), altitudes and radii in metres, `lastModified` in seconds
 * since 1970-01-01 00:00 UTC.
 *
 * Change tracking: every assignment to one of the 18 watched attributes (the
 * place's description, coordinates, ranges, radius and wind sector) stamps
 * `lastModified`, drops `syncStatus` from 1 to 0, posts "KalvoraWaypointChanged"
 * for altitude, latitude, longitude and radius, and - for a waypoint shared
 * with the online database (`syncOnline` 1) - saves its context and starts one
 * upload pass through the starter set with setUploadStarter().
 *
 * Used on the thread of its context only.
 */
class Waypoint final : public StoredObject
{
    Q_OBJECT

public:
    static constexpr const char* EntityName = "Waypoint";

    explicit Waypoint(QObject* parent = nullptr);

    /** The 18 attributes whose assignment the change tracking watches. */
    static const QStringList& watchedKeys();

    // Stored attributes; an absent number reads as 0 and an absent text as empty.
    std::optional<qint64> dbID() const;
    void setDbID(std::optional<qint64> id);
    QString name() const { return stringValue(QStringLiteral("name")); }
    void setName(const QString& v) { setValue(QStringLiteral("name"), v); }
    QString shortName() const { return stringValue(QStringLiteral("shortName")); }
    void setShortName(const QString& v) { setValue(QStringLiteral("shortName"), v); }
    qint64 altitude() const { return integerValue(QStringLiteral("altitude")); } ///< [m]
    void setAltitude(qint64 v) { setValue(QStringLiteral("altitude"), v); }
    qint64 latitude() const { return integerValue(QStringLiteral("latitude")); } ///< [1e-6 deg]
    void setLatitude(qint64 v) { setValue(QStringLiteral("latitude"), v); }
    qint64 longitude() const { return integerValue(QStringLiteral("longitude")); } ///< [1e-6 deg]
    void setLongitude(qint64 v) { setValue(QStringLiteral("longitude"), v); }
    qint64 latitudeRange() const { return integerValue(QStringLiteral("latitudeRange")); }
    void setLatitudeRange(qint64 v) { setValue(QStringLiteral("latitudeRange"), v); }
    qint64 longitudeRange() const { return integerValue(QStringLiteral("longitudeRange")); }
    void setLongitudeRange(qint64 v) { setValue(QStringLiteral("longitudeRange"), v); }
    std::optional<qint64> radius() const; ///< [m]
    void setRadius(qint64 v) { setValue(QStringLiteral("radius"), v); }
    std::optional<qint64> windFrom() const; ///< [deg]; nullopt when none is given
    void setWindFrom(qint64 v) { setValue(QStringLiteral("windFrom"), v); }
    std::optional<qint64> windTo() const;
    void setWindTo(qint64 v) { setValue(QStringLiteral("windTo"), v); }
    QString street() const { return stringValue(QStringLiteral("street")); }
    QString house() const { return stringValue(QStringLiteral("house")); }
    QString city() const { return stringValue(QStringLiteral("city")); }
    void setCity(const QString& v) { setValue(QStringLiteral("city"), v); }
    QString county() const { return stringValue(QStringLiteral("county")); }
    void setCounty(const QString& v) { setValue(QStringLiteral("county"), v); }
    QString state() const { return stringValue(QStringLiteral("state")); }
    void setState(const QString& v) { setValue(QStringLiteral("state"), v); }
    QString country() const { return stringValue(QStringLiteral("country")); }
    void setCountry(const QString& v) { setValue(QStringLiteral("country"), v); }
    QString group() const { return stringValue(QStringLiteral("group")); }
    QString notice() const { return stringValue(QStringLiteral("notice")); }
    double lastModified() const { return doubleValue(QStringLiteral("lastModified")); } ///< [s since 1970]
    qint64 syncOnline() const { return integerValue(QStringLiteral("syncOnline")); }
    void setSyncOnline(qint64 v) { setValue(QStringLiteral("syncOnline"), v); }
    qint64 syncStatus() const { return integerValue(QStringLiteral("syncStatus")); }
    void setSyncStatus(qint64 v) { setValue(QStringLiteral("syncStatus"), v); }
    QString macaddress() const { return stringValue(QStringLiteral("macaddress")); }
    void setMacaddress(const QString& v) { setValue(QStringLiteral("macaddress"), v); }

    // Derived values.
    double doubleLatitude() const { return double(latitude()) / 1000000.0; }   ///< [deg]
    double doubleLongitude() const { return double(longitude()) / 1000000.0; } ///< [deg]
    qint64 minLatitude() const { return latitude() - latitudeRange() / 2; }
    qint64 maxLatitude() const { return latitude() + latitudeRange() / 2; }
    qint64 minLongitude() const { return longitude() - longitudeRange() / 2; }
    qint64 maxLongitude() const { return longitude() + longitudeRange() / 2; }
    /** [m] diagonal of the place's extent; nullopt when it is 0 or less. */
    std::optional<qint64> size() const;
    /** Distance from the current location as text; empty while either point is unknown. */
    QString distance() const;
    /** Distance from the flight reference point as text; empty while either point is unknown. */
    QString distanceFromFlightWaypoint() const;

    /** Prepares a freshly inserted waypoint: private (`syncOnline` 0), stamped now. */
    void clearWaypoint();
    /** Applies a record received from the online database; nullptr does nothing. Starts no upload. */
    void initWithWaypointData(const WaypointData* data);
    /** Posts "KalvoraWaypointChanged", then stores DEGREES x 1 000 000 truncated toward zero. */
    void setDoubleLatitude(double degrees);
    void setDoubleLongitude(double degrees);

    /** The waypoint's form fields for an upload, values percent-encoded ("altitude=..&city=..&..&radius=..").
     */
    QByteArray urlStringForUpload() const;

    /** "%5.1f km" of METRES / 1000 above 999 m, else "%3ld m". */
    static QString stringFromDistance(qint64 metres);

    /** [s since 1970] the instant the change tracking stamps. */
    static double now();

    /**
     * Who starts an upload pass after a watched change of a shared waypoint
     * (the online database client registers itself at start-up). The starter
     * must return at once and do its work elsewhere. Thread-safe.
     */
    static void setUploadStarter(std::function<void()> starter);

    /**
     * The application-wide reference points behind `distance` and
     * `distanceFromFlightWaypoint`, in microdegrees: the current location
     * (0, 0 = unknown) and the position of the flight whose places are being
     * chosen. Thread-safe.
     */
    static void setCurrentLocation(double latitudeMicro, double longitudeMicro);
    static void setFlightReferencePoint(std::optional<double> latitudeMicro,
                                        std::optional<double> longitudeMicro);

protected:
    void didChangeValue(const QString& key, const QVariant& oldValue, const QVariant& newValue) override;
    QVariant derivedValue(const QString& key) const override;
    QStringList derivedKeysAffectedBy(const QString& key) const override;

private:
    std::optional<qint64> optionalInteger(const char* key) const;
};

} // namespace kalvora
