#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <mutex>
#include <optional>
#include <vector>

class QDateTime;

namespace kalvora {

/** The time zone of a place and its offset from UTC at one instant. */
struct TimeZoneAnswer
{
    QByteArray zoneId;    ///< IANA name, e.g. "Europe/Vienna"
    double utcOffset = 0; ///< [h] daylight saving included, e.g. 5.75

    bool operator==(const TimeZoneAnswer&) const = default;
};

/**
 * Finds the local time of a place without a network, from the system's
 * time-zone database. The zone is the one whose representative city in the
 * zone table (zone1970.tab, else zone.tab) lies nearest on the great circle;
 * a country hint limits the choice to the zones of that country when the
 * table lists any. Near borders the nearest city may belong to the
 * neighbour, which is why the hint matters.
 *
 * The table is read once, on first use; every member is safe to call from any
 * thread at once.
 */
class TimeZoneFinder
{
public:
    /** Tried in this order; the first one that yields zones is used. */
    static QStringList defaultTablePaths();

    explicit TimeZoneFinder(QStringList tablePaths = defaultTablePaths());
    TimeZoneFinder(const TimeZoneFinder&) = delete;
    TimeZoneFinder& operator=(const TimeZoneFinder&) = delete;

    /** The process-wide finder over the system's tables. */
    static const TimeZoneFinder& system();

    /**
     * The zone at (latitudeDeg, longitudeDeg) [deg] and its offset at UTCINSTANT.
     * COUNTRYHINT is an ISO 3166 alpha-2 code in any case ("at"); empty for none,
     * and ignored when no zone of the table lists it.
     * @return nullopt when the coordinates are not finite, the instant is
     *         invalid, no table could be read, or the system does not know the
     *         zone the table names. Never throws.
     */
    [[nodiscard]] std::optional<TimeZoneAnswer> find(double latitudeDeg, double longitudeDeg,
                                                     const QString& countryHint,
                                                     const QDateTime& utcInstant) const;

    /** The IANA name of the zone find() would use; nullopt when there is none. */
    [[nodiscard]] std::optional<QByteArray> zoneId(double latitudeDeg, double longitudeDeg,
                                                   const QString& countryHint) const;

    /** How many zones the table gave (reads it if not yet done). */
    [[nodiscard]] std::size_t zoneCount() const;

    /**
     * Reads an ISO 6709 coordinate pair as the zone tables write it,
     * ±DDMM±DDDMM or ±DDMMSS±DDDMMSS, into degrees (latitude, longitude).
     * nullopt for any other form or out-of-range part.
     */
    [[nodiscard]] static std::optional<std::pair<double, double>> parseIso6709(QStringView text);

private:
    struct Zone
    {
        double latitudeRad = 0;
        double longitudeRad = 0;
        QStringList countries; ///< upper case
        QByteArray id;
    };

    const std::vector<Zone>& zones() const;

    QStringList m_tablePaths;
    mutable std::once_flag m_loaded;
    mutable std::vector<Zone> m_zones;
};

} // namespace kalvora
