#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

#include <vector>

#include "track/result.h"
#include "waypoints/waypointrecord.h"

namespace kalvora {

struct WptEntry;

/**
 * The readers and writers of the waypoint files that pilots are handed
 * besides the WPT dialect of WPTImporter: OziExplorer WPT, SeeYou CUP, GPX,
 * KML and KMZ. Every reader gives degrees north and east positive and metres;
 * an entry that cannot be read (bad or out-of-range coordinates, too few
 * fields, a placemark without a point) is left out and counted, the rest of
 * the file is read on. Records carry the file's waypoint name as their short
 * name, as the WPT reader does. Pure functions over QtCore: any thread.
 */
namespace waypointformats {

/** What a reader found: the waypoints in file order and the entries it could not read. */
struct Reading
{
    std::vector<WaypointRecord> waypoints;
    int skipped = 0;
    int routePointsNotRead = 0; ///< GPX `rtept` elements passed over because they were not asked for
};

/**
 * The text of BYTES: UTF-8 when they are valid UTF-8 (a byte-order mark is
 * dropped), UTF-16 after its byte-order mark, else Windows-1252, which reads
 * Latin-1 text the same for every printable character.
 */
[[nodiscard]] QString decodeText(const QByteArray& bytes);

/** True when BYTES (without a byte-order mark) are valid UTF-8 and hold a non-ASCII character. */
[[nodiscard]] bool isNonAsciiUtf8(const QByteArray& bytes);

/** BYTES decoded as Windows-1252 (Latin-1 with the printable 0x80-0x9F characters). */
[[nodiscard]] QString fromWindows1252(const QByteArray& bytes);

/**
 * An OziExplorer waypoint file. Sample data line after the four header lines:
 *
 *     1,HOHESA,  47.456783,  12.123450,36161.5591782,0,1,3,0,65535,Take-off,0,0,0,6001,6,0,17
 *
 * Field 2 the name (character 209 stands for a comma), 3 and 4 decimal
 * degrees, 11 the description, 15 the altitude in feet (-777: none).
 * Fails when the datum line names another datum than WGS 84.
 */
[[nodiscard]] Result<Reading> readOziExplorer(const QString& text);

/**
 * A SeeYou CUP file. Sample lines (the header names the columns; files
 * without a header use this order):
 *
 *     name,code,country,lat,lon,elev,style,rwdir,rwlen,freq,desc
 *     "Hohe Salve, Gipfel","HOHESA",AT,4727.407N,01207.407E,1829.0m,1,,,,
 *
 * Coordinates DDMM.mmm N/S and DDDMM.mmm E/W, elevation in m or ft (metres
 * without a unit); everything after "-----Related Tasks-----" is a task.
 */
[[nodiscard]] Reading readSeeYouCup(const QString& text);

/** True when LINE, the first line of a file, is a CUP header or a CUP waypoint line. */
[[nodiscard]] bool looksLikeSeeYouCup(QStringView line);

/**
 * The `wpt` elements of a GPX 1.0 or 1.1 file, with or without the
 * namespace, and the `rtept` elements too when ROUTEPOINTS. Sample:
 *
 *     <wpt lat="47.456783" lon="12.123450"><ele>1829</ele><name>Hohe Salve</name></wpt>
 *
 * Fails, naming the line, when the XML is not well-formed.
 */
[[nodiscard]] Result<Reading> readGpx(const QByteArray& xml, bool routePoints);

/**
 * The point placemarks of a KML file; a placemark without a point is
 * counted as skipped. Sample (longitude first):
 *
 *     <Placemark><name>Hohe
 * Salve</name><Point><coordinates>12.12345,47.456783,1829</coordinates></Point></Placemark>
 *
 * Fails, naming the line, when the XML is not well-formed.
 */
[[nodiscard]] Result<Reading> readKml(const QByteArray& xml);

/** The main KML document of a KMZ archive: "doc.kml", else its first .kml file. */
[[nodiscard]] Result<QByteArray> kmlFromKmz(const QByteArray& zip);

/** The archive holds at most this much KML [bytes]; more is refused before it is unpacked. */
inline constexpr qint64 maxKmlBytes = 64 * 1024 * 1024;

/**
 * A SeeYou CUP file for ENTRIES, UTF-8, CR LF: the name (the short name when
 * there is none), the short name as code, coordinates rounded to 1/1000
 * minute and the elevation in metres.
 */
[[nodiscard]] QByteArray writeSeeYouCup(const QList<WptEntry>& entries);

/** A GPX 1.1 file of `wpt` elements for ENTRIES, UTF-8, coordinates to the microdegree. */
[[nodiscard]] QByteArray writeGpx(const QList<WptEntry>& entries);

} // namespace waypointformats
} // namespace kalvora
