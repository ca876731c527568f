#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "instruments/deviceroute.h"
#include "instruments/devicewaypoint.h"
#include "instruments/track.h"

// The pure text side of the "$PBR" protocol: reading answers and writing the
// fields of commands. No Qt, no I/O (fuzzed on its own).
namespace kalvora::braeuniger {

/** The model class that selects the settings view and memory map. */
enum class DeviceType
{
    Unknown = -1,
    Competino = 0,
    Compeo = 1,
    CompetinoPlus = 2,
    CompeoPlus = 3,
};

struct Identification
{
    std::string descriptor;
    DeviceType deviceType = DeviceType::Unknown;
    bool operator==(const Identification&) const = default;
};

/** One row of the identification table. */
struct ModelEntry
{
    const char* modelName;
    DeviceType deviceType;
    const char* descriptor;
};

/** The nine model names the instruments answer with. */
[[nodiscard]] const std::vector<ModelEntry>& modelTable();

/**
 * The model of an answer to "$PBRSNP,": the text between the first and the second
 * comma, compared case-insensitively with the table. Sample:
 * "$PBRSNP,COMPEO+,00123,1.23*4F". nullopt for an unknown name or a missing comma.
 */
[[nodiscard]] std::optional<Identification> parseIdentification(std::string_view answer);

/** ANSWER split at every occurrence of HEAD, empty pieces dropped. */
[[nodiscard]] std::vector<std::string> splitAtHead(std::string_view answer, std::string_view head);

/** A sentence split at "," and "*" (the checksum becomes one more field and is not verified). */
[[nodiscard]] std::vector<std::string> splitFields(std::string_view piece);

/**
 * Tracks from "$PBRTLE,"/"$PBRTL," pieces. Sample piece (after the head):
 * "2,01,12.05.15,10:30:12,01:29:48*3C". Field 1 is the number, 2 and 3 the start
 * "dd.MM.yy HH:mm:ss" in UTC (two-digit years as everywhere in the track code: below 81 20xx), 4 the
 * duration. Pieces with fewer than 5 fields or an impossible date are skipped.
 */
[[nodiscard]] std::vector<Track> parseTrackList(const std::vector<std::string>& pieces);

/**
 * Waypoints from "$PBRWPS(E)," pieces. Sample piece:
 * "4730.500,N,00830.000,E,SHORT ,Long name        ,1234*0D". The long name
 * (field 5, with its padding) becomes `shortName`; a waypoint named like a point
 * of one of ROUTES is marked as route waypoint. Sorted by name (stable).
 */
[[nodiscard]] std::vector<DeviceWayPoint> parseWaypointList(const std::vector<std::string>& pieces,
                                                            const std::vector<DeviceRoute>& routes);

/**
 * Routes from "$PBRRTS," pieces: a header "01,03,00,NAME,cs" then count-1 points
 * "01,03,01,SHORT,LONG,cs". An unreadable piece ends the parse with nullopt;
 * FINISHED then holds the routes completed before it (and the full list on success).
 */
[[nodiscard]] std::optional<std::vector<DeviceRoute>> parseRouteList(const std::vector<std::string>& pieces,
                                                                     std::vector<DeviceRoute>& finished);

/**
 * The eight bytes of an answer to "$PBRMEMR,%04x". Sample:
 * "$PBRMEMR,0048,00,1E,32,00,05,64,03,FD*52". nullopt when the answer is too short,
 * names another address or carries a field that is not two hex digits.
 */
[[nodiscard]] std::optional<std::array<std::uint8_t, 8>> parseMemoryAnswer(std::string_view answer,
                                                                          unsigned address);

/**
 * True when a downloaded track reads as a whole IGC record: it starts with the A
 * record, holds a B record, and ends with a line break or inside its last G record
 * line. A download cut off in the middle of a fix fails this.
 */
[[nodiscard]] bool looksLikeCompleteIgc(std::string_view text);

/** The latitude as two protocol fields from degrees: "4715.000,N"; minutes to the nearest thousandth. */
[[nodiscard]] std::string latitudeToString(double degrees);
/** The longitude as two protocol fields: "00730.000,E". */
[[nodiscard]] std::string longitudeToString(double degrees);

/** A name as the instrument stores it: cleaned, padded with spaces and cut to 17 characters. */
[[nodiscard]] std::string nameField(std::string_view name);

/** The waypoint write sentence "$PBRWPR,lat,N,lon,E,,NAME,alt" (altitude truncated, 0..9999). */
[[nodiscard]] std::string writeWaypointCommand(const DeviceWayPoint& waypoint);

/** The memory write sentence for COUNT (1..8) bytes of IMAGE at ADDRESS, padded with ",00". */
[[nodiscard]] std::string memoryWriteCommand(unsigned address, const std::uint8_t* bytes, int count);

} // namespace kalvora::braeuniger
