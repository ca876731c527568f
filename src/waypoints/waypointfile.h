#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

#include "track/result.h"
#include "waypoints/waypointrecord.h"

namespace kalvora {

struct WptEntry;

/** The waypoint file formats known to the reader (all) and the writer (WPT, CUP, GPX). */
enum class WaypointFileFormat
{
    Wpt,         ///< the "G / U / W" lines of WPTImporter
    OziExplorer, ///< "OziExplorer Waypoint File Version 1.1", also ending in .wpt
    SeeYouCup,
    Gpx,
    Kml,
    Kmz,
};

/** "WPT", "OziExplorer WPT", "SeeYou CUP", "GPX", "KML" or "KMZ". */
[[nodiscard]] QString waypointFormatName(WaypointFileFormat format);

struct WaypointReadOptions
{
    bool routePointsAsWaypoints = false; ///< GPX: the points of routes (`rtept`) too
};

/** A waypoint file as read: its format, its waypoints in file order, the entries it could not read. */
struct WaypointFileReading
{
    WaypointFileFormat format = WaypointFileFormat::Wpt;
    std::vector<WaypointRecord> waypoints;
    int skipped = 0;            ///< lines or entries left out because they could not be read
    int routePointsNotRead = 0; ///< GPX route points, read only when asked
};

/**
 * The format of BYTES, judged by their content and never by a file name (two
 * formats end in .wpt); nullopt when they are none of the known formats.
 */
[[nodiscard]] std::optional<WaypointFileFormat> detectWaypointFormat(const QByteArray& bytes);

/**
 * The waypoints of BYTES in whatever known format they are. Text may be
 * UTF-8 (with or without byte-order mark), Latin-1 or Windows-1252.
 * @return the reading, or a message that starts with FILENAME and, for an
 *         empty or unknown file, names the formats tried. Any thread.
 */
[[nodiscard]] Result<WaypointFileReading> readWaypointData(const QByteArray& bytes, const QString& fileName,
                                                           const WaypointReadOptions& options = {});

/** readWaypointData() of the file at PATH; fails, naming PATH, when it cannot be read. Any thread. */
[[nodiscard]] Result<WaypointFileReading> readWaypointFile(const QString& path,
                                                           const WaypointReadOptions& options = {});

/**
 * One line for the user about a reading: how many waypoints in which format,
 * and how many entries were skipped, e.g. "a.cup: 12 waypoints (SeeYou CUP),
 * 2 unreadable entries skipped".
 */
[[nodiscard]] QString waypointReadingSummary(const QString& fileName, const WaypointFileReading& reading);

/**
 * Name filters for a file chooser that imports waypoints: all readable
 * formats together first, then each one, then all files.
 */
[[nodiscard]] QStringList waypointImportFilters();

/** Name filters for a file chooser that exports waypoints, one per writable format; CUP first. */
[[nodiscard]] QStringList waypointExportFilters();

/**
 * The format to write to PATH: from its extension (.cup, .gpx, .wpt, any
 * case), else from SELECTEDFILTER (one of waypointExportFilters()); nullopt
 * when neither names a writable format.
 */
[[nodiscard]] std::optional<WaypointFileFormat> waypointExportFormat(const QString& path,
                                                                     const QString& selectedFilter = {});

/**
 * PATH as the export writes it: unchanged when its extension names a
 * writable format, else with the extension of SELECTEDFILTER's format added
 * ("route.txt" with the GPX filter gives "route.txt.gpx"), so that the path
 * alone tells the format.
 */
[[nodiscard]] QString waypointExportPath(const QString& path, const QString& selectedFilter);

/** The extension of files written in FORMAT, without the dot ("cup", "gpx", "wpt"). */
[[nodiscard]] QString waypointFileSuffix(WaypointFileFormat format);

/** The file content for ENTRIES in FORMAT; nullopt for a format that is not written (Ozi, KML, KMZ). */
[[nodiscard]] std::optional<QByteArray> waypointFileBytes(WaypointFileFormat format,
                                                          const QList<WptEntry>& entries);

/** Writes ENTRIES to PATH in FORMAT, atomically; fails with a message naming PATH. Any thread. */
[[nodiscard]] Result<Done> writeWaypointFile(const QString& path, WaypointFileFormat format,
                                             const QList<WptEntry>& entries);

} // namespace kalvora
