#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <optional>

#include "waypoints/addresslookup.h"

class QDateTime;

namespace kalvora {

class HttpClient;
struct HttpRequest;
class PlaceAnswerCache;
class TimeZoneFinder;

/** What one place look-up found. Absent parts were not in the answers. */
struct PlaceLookupResult
{
    double latitude = 0;  ///< [deg] the looked-up point
    double longitude = 0; ///< [deg]
    std::optional<QString> city;
    std::optional<QString> county;
    std::optional<QString> state;
    std::optional<QString> country;
    /** ISO 3166 alpha-2 code as the reverse answer gives it, e.g. "at". */
    std::optional<QString> countryCode;
    /** The address parts joined with ", "; empty when none was found. */
    QString locationName;
    /** [h] local offset from UTC, daylight saving included; 0 when not found. */
    double utcOffset = 0;
    /** True when the time-zone service, or the zone database without one, gave an offset. */
    bool hasUtcOffset = false;
    /** The last answer received (the time-zone one when it came). */
    QByteArray downloadData;
    /** The reverse service gave no answer, or was not asked after failing again and again. */
    bool unanswered = false;

    bool operator==(const PlaceLookupResult&) const = default;
};

/**
 * Names a place and gives its local UTC offset by asking a reverse-geocoding
 * service (Nominatim's reverse interface, XML) and a time-zone service. With
 * no time-zone service configured (empty base URL, the default) the offset
 * comes from the system's zone database instead (TimeZoneFinder), narrowed by
 * the country the reverse answer names.
 *
 * lookup() blocks: call it from worker threads only. Each of the two requests
 * is bounded by a 3 s time-out, and look-ups of the whole process are spaced
 * at least one second apart (the public Nominatim service allows one request
 * per second), so one look-up takes at most about 7 s.
 */
class PlaceFinderLookup
{
public:
    /** Settings keys and environment variables that point the services elsewhere. */
    static constexpr const char* nominatimSettingsKey = "placeFinder/nominatimUrl";
    static constexpr const char* timezoneSettingsKey = "placeFinder/timezoneUrl";
    static constexpr const char* nominatimEnvVar = "KALVORA_NOMINATIM_URL";
    static constexpr const char* timezoneEnvVar = "KALVORA_TIMEZONE_URL";
    static constexpr int requestTimeoutMs = 3000;
    /** [bytes] An answer names one place; anything longer is not one. */
    static constexpr qint64 maxAnswerBytes = 1024 * 1024;
    /** [characters] The longest place name (and address part) taken from an answer. */
    static constexpr qsizetype maxPlaceNameLength = 200;
    /** Look-ups failing in a row after which the services are no longer asked. */
    static constexpr int failuresBeforeGivingUp = 3;

    /**
     * HTTP and TIMEZONES must outlive this object. An empty TIMEZONEBASEURL
     * means no time-zone service: offsets come from TIMEZONES.
     */
    PlaceFinderLookup(HttpClient& http, QUrl nominatimBaseUrl, QUrl timezoneBaseUrl, const TimeZoneFinder& timeZones);
    /** As above with the system's zone database. */
    PlaceFinderLookup(HttpClient& http, QUrl nominatimBaseUrl, QUrl timezoneBaseUrl);
    /** The same services, and the failures counted so far. */
    PlaceFinderLookup(const PlaceFinderLookup& other);
    PlaceFinderLookup& operator=(const PlaceFinderLookup&) = delete;

    /**
     * With the base URLs from the environment, else the settings, else the
     * public Nominatim service and no time-zone service.
     */
    static PlaceFinderLookup fromSettings(HttpClient& http);

    /**
     * Looks up the point (latitudeMicroDeg, longitudeMicroDeg) [1e-6 deg].
     * Always returns a result; a service that fails or does not answer in time
     * contributes nothing to it. Without a time-zone service no offset is
     * looked up. After failuresBeforeGivingUp failed look-ups in a row the
     * services are not asked any more (the result is marked unanswered) until
     * resetFailures(). Any thread but the GUI thread.
     */
    PlaceLookupResult lookup(double latitudeMicroDeg, double longitudeMicroDeg) const;

    /**
     * As lookup() above, and the offset is the one in force at OFFSETAT (UTC):
     * without a time-zone service it comes from the zone database, using the
     * reverse answer's country code when there is one. The time-zone service,
     * when configured, answers for the time of asking, as it always did; when
     * it fails, the zone database answers instead.
     */
    PlaceLookupResult lookup(double latitudeMicroDeg, double longitudeMicroDeg, const QDateTime& offsetAt) const;

    /** GET BASE/reverse?format=xml&lat=..&lon=..&zoom=18&addressdetails=1 */
    static HttpRequest reverseRequest(const QUrl& base, double latitudeDeg, double longitudeDeg);
    /** GET BASE/timezone/LAT/LON, both with six decimals. */
    static HttpRequest timezoneRequest(const QUrl& base, double latitudeDeg, double longitudeDeg);

    /**
     * Reads the tags of one answer into RESULT. Tags are found without regard
     * to case; a tag that is missing, or whose closing tag comes before its
     * opening one, leaves its field as it was. Bytes that are not UTF-8 become
     * replacement characters; the five XML entities and numeric character
     * references are decoded. Rebuilds locationName.
     */
    static void readAnswer(const QByteArray& answer, PlaceLookupResult& result);

    /** city, county (unless equal to city), state (unless equal to county), country, joined with ", ". */
    static QString joinLocationName(const PlaceLookupResult& result);

    /**
     * Waits until one second has passed since the previous look-up of the
     * process began and claims the next slot; concurrent callers get
     * successive slots. Returns how long it waited. Thread-safe.
     */
    static std::chrono::milliseconds pace();

    /**
     * Reuses and keeps the reverse geocoder's answers in CACHE (nullptr: none):
     * a point near one asked about before is named without a request, and its
     * offset comes from the zone database. CACHE must outlive this object and
     * its copies. Set before the look-ups start.
     */
    void setAnswerCache(PlaceAnswerCache* cache) { m_cache = cache; }
    [[nodiscard]] PlaceAnswerCache* answerCache() const { return m_cache; }

    /** True once the look-ups failed failuresBeforeGivingUp times in a row. Any thread. */
    [[nodiscard]] bool hasGivenUp() const;
    /** Asks the services again from the next look-up on (a new run starts). Any thread. */
    void resetFailures() const;

private:
    PlaceLookupResult lookupAt(double latitudeMicroDeg, double longitudeMicroDeg, const QDateTime* offsetAt) const;

    HttpClient& m_http;
    QUrl m_nominatimBaseUrl;
    QUrl m_timezoneBaseUrl;
    const TimeZoneFinder* m_timeZones;
    PlaceAnswerCache* m_cache = nullptr;
    // Shared by every thread using this object; a run's failures tell the next look-up to skip.
    mutable std::atomic<int> m_failuresInARow{0};
};

/** The waypoint importer's address look-up answered by the place finder. */
class PlaceFinderAddressLookup final : public WaypointAddressLookup
{
public:
    /** LOOKUP must outlive this object. */
    explicit PlaceFinderAddressLookup(const PlaceFinderLookup& lookup) : m_lookup(lookup) {}

    /** The address parts found; nullopt when neither service named any. Worker threads. */
    std::optional<WaypointAddress> lookup(double latitudeMicro, double longitudeMicro) override;

private:
    const PlaceFinderLookup& m_lookup;
};

} // namespace kalvora
