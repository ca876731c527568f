#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

#include "waypoints/waypointrecord.h"

namespace kalvora {

class Waypoint;

/** One waypoint to be written: the stored values the file needs. */
struct WptEntry
{
    QString shortName;
    QString name;
    qint64 latitude = 0;  ///< [microdegrees]
    qint64 longitude = 0; ///< [microdegrees]
    qint64 altitude = 0;  ///< [m]
};

/**
 * Reads and writes waypoint files in the WPT text format: a datum line
 * "G  WGS 84", a unit line "U  1", then per waypoint a "W" line and a "w"
 * extension line, CR LF, ISO 8859-1. Sample waypoint line:
 *
 *     W  HoheSa A 47.1234567000ºN 11.1234567000ºE 27-MAR-62 00:00:00 1234.000000 Hohe Salve
 *
 * The identifier (token 1) is not read back: a record read from a file carries
 * the description as its short name. All members may be called on any thread.
 */
class WPTImporter
{
public:
    WPTImporter() = default;
    /** Prepares a reader for the file at PATH. */
    explicit WPTImporter(QString path) : m_path(std::move(path)) {}

    /**
     * The waypoints of the file in file order; empty when there is no file or
     * it cannot be read (not a regular file, or larger than maxWaypointFileBytes).
     */
    [[nodiscard]] std::vector<WaypointRecord> getDeviceWaypoints() const;

    /** The waypoints of FILE TEXT (ISO 8859-1 bytes), in order. Lines that cannot be read are skipped. */
    [[nodiscard]] static std::vector<WaypointRecord> parseWptText(const QByteArray& latin1);

    /**
     * One "W" line as a record. nullopt for any other line, for one without
     * a description (fewer than 9 fields), and for one whose coordinates lack
     * their hemisphere letter (N/S, E/W) or lie off the globe, or whose
     * altitude is no number of the range geo::isAltitude() accepts.
     */
    [[nodiscard]] static std::optional<WaypointRecord> getDeviceWaypointFromLine(const QString& line);

    /** The complete file text for ENTRIES, in order, with CR LF line ends. */
    [[nodiscard]] static QString getWPTFileFromWaypoints(const QList<WptEntry>& entries);

    /** The file text for stored waypoints, in the given order. */
    [[nodiscard]] static QString getWPTFileFromWaypoints(const QList<Waypoint*>& waypoints);
    /** What the file takes of a stored waypoint. */
    [[nodiscard]] static WptEntry entryFromWaypoint(const Waypoint& waypoint);

    /** The file text encoded for disk: ISO 8859-1, characters it cannot hold replaced by "?". */
    [[nodiscard]] static QByteArray encodeFile(const QString& text);

    /** The identifier written for a waypoint: at most 8 characters without spaces. */
    [[nodiscard]] static QString identifierFor(const QString& shortName, const QString& name);

    /** A signed coordinate [deg] from a text like "47.5000000N" or "11.25W"; 0 for an empty text. */
    [[nodiscard]] static double coordFromString(const QString& text);

    /** "%.10fºN" / "%.10fºS" of the absolute value of LATITUDE [deg]. */
    [[nodiscard]] static QString latitudeStringFromCoord(double latitude);
    /** "%.10fºE" / "%.10fºW" of the absolute value of LONGITUDE [deg]. */
    [[nodiscard]] static QString longitudeStringFromCoord(double longitude);

    /** The non-empty tokens of LINE split at spaces, in order. */
    [[nodiscard]] static QStringList seperateLine(const QString& line);

private:
    QString m_path;
};

} // namespace kalvora
