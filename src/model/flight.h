#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

#include "model/recordmacros.h"
#include "store/storedobject.h"

namespace kalvora {

class IGCScorePoint;

/**
 * The values a flight made from track data starts from, as the flight-data
 * derivation produces them (same names and units as the attributes; absent stays absent).
 */
struct FlightValues
{
    std::optional<double> cummoAltitude; ///< [m]
    std::optional<QString> glider;
    std::optional<QString> harness;
    std::optional<QString> igcData;
    std::optional<double> landingAltitude; ///< [m]
    std::optional<QString> landingLocation;
    QDateTime landingUTC;               ///< invalid: absent
    std::optional<double> maxAltitude;  ///< [m]
    std::optional<double> maxSpeed;     ///< [km/h]
    std::optional<double> maxVario;     ///< [m/s]
    std::optional<double> minAltitude;  ///< [m]
    std::optional<double> minSpeed;     ///< mean ground speed [km/h]
    std::optional<double> minVario;     ///< strongest sink, negative [m/s]
    std::optional<double> startAltitude; ///< [m]
    std::optional<QString> startLocation;
    QDateTime startUTC;                 ///< invalid: absent
    std::optional<double> utcOffset;    ///< [h]
    bool validIGC = false;
    std::optional<double> startLatitude; ///< [deg]
    std::optional<double> startLongitude;
    std::optional<double> landingLatitude;
    std::optional<double> landingLongitude;
    std::optional<double> startWaypointLatitude; ///< [1e-6 deg] when matched during import
    std::optional<double> startWaypointLongitude;
    std::optional<double> landingWaypointLatitude;
    std::optional<double> landingWaypointLongitude;
    std::optional<qint64> glidertype;
};

/** The result of the XC computation as the flight stores it. */
struct XCData
{
    struct Point
    {
        double latitude = 0;  ///< [deg]
        double longitude = 0; ///< [deg]
        bool operator==(const Point&) const = default;
    };
    double freeDistance = 0; ///< [km]
    double flatDistance = 0; ///< [km]
    double faiDistance = 0;  ///< [km]
    QList<Point> scorePoints;
};

/** How a flight's XC distances score (the classification of the XC optimiser). */
enum class ScoreType
{
    FreeDistance,
    FlatTriangle,
    FAITriangle,
};

/**
 * Classifies three XC distances [km] with the fixed factors 1.5, 1.75 and 2.0:
 * free distance when 1.5 f exceeds both 1.75 t and 2 a (and whenever f is 0),
 * otherwise flat triangle when 1.75 t exceeds 2 a, otherwise FAI triangle.
 */
ScoreType scoreTypeOf(double freeDistance, double flatDistance, double faiDistance);
/**
 * XC points of three distances [km]: f itself when f <= 0; otherwise the largest of
 * the distances times their factors: 1.0/1.2/1.4 for `xcPointsType` 0, else
 * (and with no settings, nullopt) 1.5/1.75/2.0.
 */
double xcPointsOf(double freeDistance, double flatDistance, double faiDistance, std::optional<int> xcPointsType);

/**
 * One flight of a logbook. Times are UTC instants; `utcOffset` [h] gives local
 * times, which are themselves instants shifted by the offset (format them in UTC).
 *
 * A change of startUTC, igcData, landingUTC, igcScorePoints or the three distances
 * posts "KalvoraFlightChanged" (object: the flight). A new take-off date moves the
 * landing by the same number of days (see changeDate()).
 */
class Flight final : public StoredObject
{
    Q_OBJECT

public:
    static constexpr const char* EntityName = "Flight";
    Flight() = default;

    KALVORA_DOUBLE_ATTRIBUTE(cummoAltitude, CummoAltitude)
    KALVORA_STRING_ATTRIBUTE(glider, Glider)
    KALVORA_STRING_ATTRIBUTE(harness, Harness)
    KALVORA_STRING_ATTRIBUTE(igcData, IgcData)
    /** Hex SHA-256 of the recording's bytes; empty for flights entered by hand or imported before it was kept. */
    KALVORA_STRING_ATTRIBUTE(contentHash, ContentHash)
    KALVORA_DOUBLE_ATTRIBUTE(landingAltitude, LandingAltitude)
    KALVORA_STRING_ATTRIBUTE(landingLocation, LandingLocation)
    KALVORA_DATE_ATTRIBUTE(landingUTC, LandingUTC)
    KALVORA_DOUBLE_ATTRIBUTE(maxAltitude, MaxAltitude)
    KALVORA_DOUBLE_ATTRIBUTE(minAltitude, MinAltitude)
    KALVORA_DOUBLE_ATTRIBUTE(maxSpeed, MaxSpeed)
    KALVORA_DOUBLE_ATTRIBUTE(minSpeed, MinSpeed)
    KALVORA_DOUBLE_ATTRIBUTE(maxVario, MaxVario)
    KALVORA_DOUBLE_ATTRIBUTE(minVario, MinVario)
    KALVORA_STRING_ATTRIBUTE(notice, Notice)
    KALVORA_STRING_ATTRIBUTE(photoDirectory, PhotoDirectory)
    KALVORA_DOUBLE_ATTRIBUTE(startAltitude, StartAltitude)
    KALVORA_STRING_ATTRIBUTE(startLocation, StartLocation)
    KALVORA_DATE_ATTRIBUTE(startUTC, StartUTC)
    KALVORA_DOUBLE_ATTRIBUTE(utcOffset, UtcOffset)
    KALVORA_BOOL_ATTRIBUTE(validIGC, ValidIGC)
    KALVORA_DOUBLE_ATTRIBUTE(startLatitude, StartLatitude)
    KALVORA_DOUBLE_ATTRIBUTE(startLongitude, StartLongitude)
    KALVORA_DOUBLE_ATTRIBUTE(landingLatitude, LandingLatitude)
    KALVORA_DOUBLE_ATTRIBUTE(landingLongitude, LandingLongitude)
    KALVORA_DOUBLE_ATTRIBUTE(startWaypointLatitude, StartWaypointLatitude)
    KALVORA_DOUBLE_ATTRIBUTE(startWaypointLongitude, StartWaypointLongitude)
    KALVORA_DOUBLE_ATTRIBUTE(landingWaypointLatitude, LandingWaypointLatitude)
    KALVORA_DOUBLE_ATTRIBUTE(landingWaypointLongitude, LandingWaypointLongitude)
    KALVORA_INTEGER_ATTRIBUTE(glidertype, Glidertype)
    KALVORA_DOUBLE_ATTRIBUTE(freeDistance, FreeDistance)
    KALVORA_DOUBLE_ATTRIBUTE(flatDistance, FlatDistance)
    KALVORA_DOUBLE_ATTRIBUTE(faiDistance, FaiDistance)

    /** The scored turnpoints, ordered by their `index`. */
    QList<IGCScorePoint*> igcScorePoints() const;

    // Derived values (also readable by name through value()).
    QDateTime startLocal() const;
    QDateTime landingLocal() const;
    QDateTime date() const { return startUTC(); }
    /** glider, " / " when both are set, harness. */
    QString equipment() const;
    /** landingUTC - startUTC [s]; 0 when either is absent. */
    double flightTime() const;
    /** "HH:MM:SS" of the rounded flight time; "Invalid" above 24 h and below 0. */
    QString flightTimeString() const;
    /**
     * Whether the flight keeps its IGC record. The recording's fingerprint is in
     * memory and answers for most flights; only older ones ask the file, and
     * never read the record itself.
     */
    bool hasRecording() const;
    /** XC points by the current settings' `xcPointsType`. */
    double xcPoints() const;
    /** The largest distance [km]; 0 when freeDistance is exactly 0. */
    double distance() const;
    /** "calc" (queued), "n/a" (nothing), "Freeflight", "Free ▲" or "FAI ▲"; localised. */
    QString flightType() const;
    /** startAltitude - landingAltitude [m]. */
    double altitudeDifference() const { return startAltitude() - landingAltitude(); }

    /** Sets startUTC = local - utcOffset; an invalid date makes startUTC absent. */
    void setStartLocal(const QDateTime& local);
    void setLandingLocal(const QDateTime& local);

    /** Copies a new flight's values; distances become -1 (not computed). Keeps notice, photos, score points. */
    void initFromFlightData(const FlightValues& data);
    /** Clears everything but the distances, glidertype and score points; validIGC becomes false. */
    void clearFlight();
    /** Stores an XC result and replaces the score points; nullptr does nothing. */
    void setXCData(const XCData* data);

    /**
     * Keeps the landing consistent after the take-off instant changed. When the
     * take-off's UTC date moved from that of `previousStartUTC`, the landing moves
     * by the same number of days, so a flight that lands after 00:00 UTC keeps
     * landing after it took off. Without a previous take-off the landing is put on
     * the take-off's UTC date (the next day when it would otherwise precede it).
     * Nothing happens unless both instants are present.
     */
    void changeDate(const QDateTime& previousStartUTC = {});

    /** Altitude [m] as text in the current altitude unit: "" for 0, else "%0.0f" (feet: × 3.2808). */
    static QString altitudeString(double altitudeM);
    /** Text in the current altitude unit back to metres; nullopt for empty or unreadable text. */
    [[nodiscard]] static std::optional<double> altitudeFromString(const QString& text);

protected:
    void didChangeValue(const QString& key, const QVariant& oldValue, const QVariant& newValue) override;
    QVariant derivedValue(const QString& key) const override;
    QStringList derivedKeysAffectedBy(const QString& key) const override;
};

} // namespace kalvora
