#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace kalvora {

class IGCTrackSource;
class PlaceFinderLookup;
class TimeZoneFinder;
class WaypointFinder;

/**
 * The values a new flight starts from: derived from an IGC text (getDataFromIGC)
 * or filled by hand. Units: metres, km/h, m/s, decimal degrees; the matched
 * waypoint's coordinates are copied as the waypoint stores them
 * (integer millionths of a degree). An absent field was not set.
 */
struct FlightData
{
    QDateTime startUTC;
    QDateTime landingUTC;
    std::optional<QString> startLocation;
    std::optional<QString> landingLocation;
    std::optional<double> startAltitude;   ///< [m]
    std::optional<double> landingAltitude; ///< [m]
    std::optional<double> maxAltitude;     ///< [m]
    std::optional<double> minAltitude;     ///< [m]
    std::optional<double> cummoAltitude;   ///< [m] cumulated gain
    std::optional<double> maxSpeed;        ///< [km/h]
    /** [km/h] from a track this is the mean speed (the logbook keeps it under this name). */
    std::optional<double> minSpeed;
    std::optional<double> maxVario; ///< [m/s]
    std::optional<double> minVario; ///< [m/s]
    std::optional<double> startLatitude;
    std::optional<double> startLongitude;
    std::optional<double> landingLatitude;
    std::optional<double> landingLongitude;
    std::optional<double> startWaypointLatitude;    ///< [1e-6 deg] as the waypoint stores it
    std::optional<double> startWaypointLongitude;   ///< [1e-6 deg]
    std::optional<double> landingWaypointLatitude;  ///< [1e-6 deg]
    std::optional<double> landingWaypointLongitude; ///< [1e-6 deg]
    std::optional<double> utcOffset;                ///< [h]
    bool validIGC = false;
    std::optional<int> glidertype; ///< index of the glider category
    std::optional<QString> glider;
    std::optional<QString> harness;
    std::optional<QString> igcData;
    std::optional<QString> notice;
    std::optional<QString> photoDirectory;
    std::optional<double> freeDistance; ///< [km] not set by the derivation
    std::optional<double> flatDistance; ///< [km]
    std::optional<double> faiDistance;  ///< [km]
    /** The place finder was to name the take-off or landing place but did not answer. Not stored. */
    bool placesMissing = false;

    bool operator==(const FlightData&) const = default;
};

/**
 * Where the derivation looks things up. Every member may be absent: no
 * waypoint store means no waypoint match, no place finder means no network
 * look-ups (place names stay absent; the UTC offset comes from the zone
 * database, nearest zone without a country).
 */
struct FlightDataSources
{
    WaypointFinder* waypoints = nullptr;
    const PlaceFinderLookup* placeFinder = nullptr;
    /** The zone database used without a place finder; absent means the system's. */
    const TimeZoneFinder* timeZones = nullptr;
    /** The preference "LastFlightGliderType"; 0 when it cannot be read. */
    int lastFlightGliderType = 0;
    /** The display names of the last used glider and harness; absent without an application. */
    std::optional<QString> lastUsedGlider;
    std::optional<QString> lastUsedHarness;
};

/**
 * Clears DATA for a new flight: every value absent, validIGC false, glider and
 * harness from SOURCES. glidertype and the distances are kept.
 */
void clearFlight(FlightData& data, const FlightDataSources& sources);

/**
 * Fills DATA from the IGC text IGC: analysis, times, take-off and landing,
 * statistics, places (nearest stored waypoint within 250 m, else the place
 * finder), the UTC offset in force at the take-off place and time (from the
 * place finder, else from the zone database) and the glider type from
 * "LastFlightGliderType".
 * @return false, DATA unchanged, when the text is empty or the analysis
 *         yields no flight. Blocks for the place finder's network look-ups
 *         (up to about 14 s): worker threads only. Never throws.
 */
[[nodiscard]] bool getDataFromIGC(FlightData& data, const QString& igc, const FlightDataSources& sources);

/**
 * getDataFromIGC() of the IGC text that SOURCE reads from an instrument.
 * @return false, DATA unchanged, when the instrument gives no IGC text.
 */
[[nodiscard]] bool getDataFromGPSTrack(FlightData& data, IGCTrackSource& source, const FlightDataSources& sources);

/** The small part of an instrument driver that getDataFromGPSTrack() needs, for one track. */
class IGCTrackSource
{
public:
    virtual ~IGCTrackSource() = default;
    /** The track's IGC text; nullopt when the driver cannot produce it. Worker threads. */
    virtual std::optional<QString> igcTrack() = 0;
};

} // namespace kalvora
