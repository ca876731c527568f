#include "logbook/flightdata.h"

#include <cmath>

#include <QStringList>

#include "logbook/waypointfinder.h"
#include "track/igcflight.h"
#include "waypoints/placefinderlookup.h"
#include "waypoints/timezonefinder.h"

namespace kalvora {

namespace {

// A waypoint names the place when it lies less than 251 m away.
constexpr qint64 maxWaypointDistanceM = 250;

QDateTime toDateTime(std::chrono::sys_seconds instant)
{
    return QDateTime::fromSecsSinceEpoch(instant.time_since_epoch().count(), Qt::UTC);
}

qint64 microDegrees(double degrees)
{
    return static_cast<qint64>(degrees * 1000000.0);
}

/** Names the place at the point from the nearest stored waypoint; false when none lies close enough. */
bool nameFromWaypoint(const WaypointFinder* waypoints, qint64 latitudeE6, qint64 longitudeE6,
                      std::optional<QString>& location, std::optional<double>& waypointLatitude,
                      std::optional<double>& waypointLongitude)
{
    if (!waypoints)
        return false;
    const auto found = waypoints->nearest(latitudeE6, longitudeE6);
    if (!found || found->second > maxWaypointDistanceM)
        return false;
    const StoredPlace& place = found->first;
    waypointLatitude = static_cast<double>(place.latitudeE6);
    waypointLongitude = static_cast<double>(place.longitudeE6);
    location = place.country.isEmpty() ? place.name : place.name + QStringLiteral(", ") + place.country;
    return true;
}

/** The glider the recorder's header names; nullopt for an empty field or a recorder's "none". */
std::optional<QString> gliderFromHeader(const std::string& header)
{
    const QString glider = QString::fromLatin1(header.data(), qsizetype(header.size())).trimmed();
    static const QStringList placeholders = {QStringLiteral("none"), QStringLiteral("not set"),
                                             QStringLiteral("unknown"), QStringLiteral("nkn"), QStringLiteral("-")};
    if (glider.isEmpty() || placeholders.contains(glider, Qt::CaseInsensitive))
        return std::nullopt;
    return glider;
}

} // namespace

void clearFlight(FlightData& data, const FlightDataSources& sources)
{
    const std::optional<int> glidertype = data.glidertype;
    const auto free = data.freeDistance;
    const auto flat = data.flatDistance;
    const auto fai = data.faiDistance;
    data = FlightData{};
    data.glidertype = glidertype;
    data.freeDistance = free;
    data.flatDistance = flat;
    data.faiDistance = fai;
    data.glider = sources.lastUsedGlider;
    data.harness = sources.lastUsedHarness;
}

bool getDataFromIGC(FlightData& data, const QString& igc, const FlightDataSources& sources)
{
    if (igc.isEmpty())
        return false;
    // IGC text is ASCII; Latin-1 keeps any other byte of a header as it was.
    const QByteArray bytes = igc.toLatin1();
    const auto flight =
        IGCFlight::flightFromIGC(std::string_view(bytes.constData(), bytes.size()), data.glidertype.value_or(0), true);
    if (!flight)
        return false;

    clearFlight(data, sources);
    data.igcData = igc;

    // The analysis knows on which day after the date record the flight took
    // off and landed, so a flight across 00:00 UTC lands after its take-off.
    if (const auto start = flight->startUTC())
        data.startUTC = toDateTime(*start);
    if (const auto landing = flight->landingUTC())
        data.landingUTC = toDateTime(*landing);

    if (flight->firstTrackPoint) {
        data.startAltitude = flight->firstTrackPoint->getAlt(false);
        data.startLatitude = flight->firstTrackPoint->lat;
        data.startLongitude = flight->firstTrackPoint->lon;
    }
    if (flight->lastTrackPoint) {
        data.landingAltitude = flight->lastTrackPoint->getAlt(false);
        data.landingLatitude = flight->lastTrackPoint->lat;
        data.landingLongitude = flight->lastTrackPoint->lon;
    }
    data.maxAltitude = flight->MAX_ALT;
    data.minAltitude = flight->MIN_ALT;
    data.cummoAltitude = flight->CUMMO_ALT;
    data.maxSpeed = flight->MAX_SPEED;
    data.minSpeed = flight->MEAN_SPEED;
    data.maxVario = flight->MAX_VARIO;
    data.minVario = flight->MIN_VARIO;

    if (data.startLatitude) {
        const qint64 a = microDegrees(*data.startLatitude);
        const qint64 o = microDegrees(*data.startLongitude);
        nameFromWaypoint(sources.waypoints, a, o, data.startLocation, data.startWaypointLatitude,
                         data.startWaypointLongitude);
        // The offset in force at take-off, so that a summer flight shows
        // summer time however long after it is imported.
        if (sources.placeFinder) {
            const PlaceLookupResult place =
                sources.placeFinder->lookup(static_cast<double>(a), static_cast<double>(o), data.startUTC);
            if (!data.startLocation && !place.locationName.isEmpty())
                data.startLocation = place.locationName;
            data.placesMissing = data.placesMissing || (!data.startLocation && place.unanswered);
            if (place.hasUtcOffset)
                data.utcOffset = place.utcOffset;
        } else {
            // Offline there is no country to narrow the choice, but the
            // nearest zone still gives local times the pilot recognises.
            const TimeZoneFinder& timeZones = sources.timeZones ? *sources.timeZones : TimeZoneFinder::system();
            if (const auto zone = timeZones.find(*data.startLatitude, *data.startLongitude, QString(), data.startUTC))
                data.utcOffset = zone->utcOffset;
        }
    }
    if (data.landingLatitude) {
        const qint64 a = microDegrees(*data.landingLatitude);
        const qint64 o = microDegrees(*data.landingLongitude);
        const bool named = nameFromWaypoint(sources.waypoints, a, o, data.landingLocation,
                                            data.landingWaypointLatitude, data.landingWaypointLongitude);
        if (!named && sources.placeFinder) {
            const PlaceLookupResult place = sources.placeFinder->lookup(static_cast<double>(a), static_cast<double>(o));
            if (!place.locationName.isEmpty())
                data.landingLocation = place.locationName;
            data.placesMissing = data.placesMissing || place.unanswered;
        }
    }

    data.validIGC = flight->validFlight;
    data.glidertype = sources.lastFlightGliderType;
    // The recorder's header names the glider flown; the last used one is only a guess.
    if (const std::optional<QString> glider = gliderFromHeader(flight->glider))
        data.glider = *glider;
    return true;
}

bool getDataFromGPSTrack(FlightData& data, IGCTrackSource& source, const FlightDataSources& sources)
{
    const std::optional<QString> igc = source.igcTrack();
    if (!igc)
        return false;
    return getDataFromIGC(data, *igc, sources);
}

} // namespace kalvora
