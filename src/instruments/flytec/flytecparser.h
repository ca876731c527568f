#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Text of the Flytec command protocol ("ACT_", "RFA_", "WFA_" commands with
// answers that end in "Done"). Plain C++ without Qt so that the fuzzer can
// drive every parser here; the driver turns the entries into instrument records.

namespace kalvora::flytec {

/** One line of the track list answer to "ACT_20_00". */
struct TrackEntry
{
    std::int64_t number = 0;    ///< as the download command addresses it
    std::int64_t startUtc = 0;  ///< [s] since 1970-01-01 00:00:00 UTC
    std::int64_t durationS = 0; ///< [s]
    bool operator==(const TrackEntry&) const = default;
};

/** One waypoint or route point line ("ACT_31_00", "ACT_41_00"). */
struct WaypointEntry
{
    std::string name;        ///< field 0 without leading white space (padding kept)
    double latitudeDeg = 0;  ///< north positive
    double longitudeDeg = 0; ///< east positive
    double altitudeM = 0;
    double radiusM = 0;
    bool operator==(const WaypointEntry&) const = default;
};

/** Limits of the instrument. */
inline constexpr int maxWaypoints = 200;
inline constexpr int maxRoutes = 1;
inline constexpr int nameLength = 16;
inline constexpr int minAltitudeM = -2000;
inline constexpr int maxAltitudeM = 10000;
inline constexpr int minRadiusM = 20;
inline constexpr int maxRadiusM = 200000;

/** Command texts, each already ending in CR LF (the framing adds its own). */
inline constexpr std::string_view identifyCommand = "ACT_BD_DD\r\n";
inline constexpr std::string_view trackListCommand = "ACT_20_00\r\n";
inline constexpr std::string_view deleteAllTracksCommand = "ACT_22_00\r\n";
inline constexpr std::string_view deleteAllWaypointsCommand = "ACT_30_00\r\n";
inline constexpr std::string_view waypointListCommand = "ACT_31_00\r\n";
inline constexpr std::string_view writeWaypointCommand = "ACT_32_00\r\n";
inline constexpr std::string_view deleteRouteCommand = "ACT_40_00\r\n";
inline constexpr std::string_view routeCommand = "ACT_41_00\r\n";
inline constexpr std::string_view writeRoutePointCommand = "ACT_42_00\r\n";
inline constexpr std::string_view writeModeCommand = "ACT_82_00\r\n";

/** The longest instrument name an identification answer may carry. */
inline constexpr std::size_t maxIdentificationLength = 64;

/**
 * The instrument's name from an answer to identifyCommand, trimmed: one line of
 * printable ASCII ended by LF (CR LF), blank lines around it allowed. nullopt
 * for what merely came down the line: no line end (a byte that trickled in), a
 * second line or a "$" sentence (a GPS streaming NMEA), control or non-ASCII
 * bytes (noise), an empty line or one longer than maxIdentificationLength.
 */
std::optional<std::string> identificationName(std::string_view answer);

/** "ACT_21_%02lx\r\n": the download command of a track (lower-case hex). */
std::string downloadCommand(std::int64_t trackNumber);

/** True when an answer reports success (contains "Done"). */
bool isDone(std::string_view answer);

/**
 * Splits an answer at CR LF and keeps the non-empty lines before the first one
 * that contains one of the stop words ("Done", and for lists also "No Data").
 */
std::vector<std::string> linesUntil(std::string_view answer, bool stopAtNoData);

/**
 * A track list line, e.g. "1;26.12.06;10:30:00;1;001:30:00" (number; date
 * yy.MM.dd; time; unused; duration h:mm:ss with up to three hour digits).
 * nullopt for a line with fewer than 5 fields or an unreadable date/time.
 * Two-digit years are taken as 2000 + yy.
 */
std::optional<TrackEntry> parseTrackLine(std::string_view line);

/** Every readable track line of an "ACT_20_00" answer, in answer order. */
std::vector<TrackEntry> parseTrackList(std::string_view answer);

/**
 * A waypoint line, e.g. "Grat            ;N  46'30.000;E   7'15.000;  2100;   400".
 * nullopt for fewer than 5 fields.
 */
std::optional<WaypointEntry> parseWaypointLine(std::string_view line);

/**
 * Every readable waypoint line of an answer, stably sorted by name (plain
 * byte comparison), as the instrument's list is shown.
 */
std::vector<WaypointEntry> parseWaypointList(std::string_view answer);

/** Cleaned by the instruments' name cleaner, padded with spaces and cut to exactly LENGTH characters. */
std::string fixedName(std::string_view utf8, int length);

/**
 * The data line of a waypoint or route point:
 * "Grat            ;N  46'30.000;E   7'15.000;  2100;   400\r\n".
 * Altitude [m] clamped to -2000..10000, radius [m] to 20..200000.
 */
std::string dataLine(std::string_view nameUtf8, double latitudeDeg, double longitudeDeg, double altitudeM,
                     double radiusM);

// ---- parameters ------------------------------------------------------------

/** Parameter addresses read by the settings, in the order they are read. */
const std::vector<int>& parameterAddresses();

/** Write width in bits of ADDRESS (0 for addresses without a value; -1 for the three texts). */
int parameterWidth(int address);

/** "RFA_%02X\r\n". */
std::string readParameterCommand(int address);

/**
 * The bytes of a parameter answer "RFA_0A_3412\r\n": the text after the 7
 * head characters up to the line end, read as upper- or lower-case hex pairs
 * up to the first pair that is not hex. Empty for answers shorter than 11 characters.
 */
std::vector<std::uint8_t> parameterBytes(std::string_view answer);

/** A text parameter: the bytes as ASCII, white space trimmed, non-printable bytes dropped. */
std::string decodeParameterText(std::string_view answer);

/** A number parameter: bytes least significant first, masked to WIDTHBITS (1..32). */
std::uint32_t decodeParameterNumber(std::string_view answer, int widthBits);

/** "WFA_%02X_" + 32 hex digits: the first 16 characters as ASCII, padded with spaces. */
std::string writeTextCommand(int address, std::string_view text);

/** "WFA_%02X_%02X%02X\r\n" for a 16-bit field, low byte first. */
std::string writeBitFieldCommand(int address, std::uint16_t value);

/**
 * "WFA_%02X_" + the value's four bytes as hex pairs, least significant first,
 * cut to width/4 digits, + CR LF. 0x1234 at a 16-bit address gives "3412".
 */
std::string writeNumberCommand(int address, std::int64_t value);

/** True when a parameter write answer is not a refusal ("No Par", "not ready"). */
bool parameterWriteAccepted(std::string_view answer);

/**
 * True when ANSWER is the answer to reading ADDRESS: "RFA_0A_..." carries the
 * address and an underscore after the four head characters.
 */
bool isParameterAnswer(std::string_view answer, int address);

/** True when a parameter read answer says the instrument lacks the address. */
inline bool isNoPar(std::string_view answer)
{
    return answer.find("No Par") != std::string_view::npos;
}

// ---- bit fields ------------------------------------------------------------

/** A bit or a run of two bits inside the 16-bit units or diverse parameter. */
struct BitField
{
    int shift;
    int bits;
};

inline constexpr BitField unitHeight{0, 1};
inline constexpr BitField unitTemperature{3, 1};
inline constexpr BitField unitPressure{4, 1};
inline constexpr BitField unitVario{5, 1};
inline constexpr BitField unitSpeed{6, 2};
inline constexpr BitField unitTime{8, 1};
inline constexpr BitField unitCoordinates{9, 2};
inline constexpr BitField unitDistance{11, 1};

inline constexpr BitField diverseAutoPower{0, 1};
inline constexpr BitField diverseRisePitch{1, 1};
inline constexpr BitField diverseSinkAlarm{2, 1};
inline constexpr BitField diverseAltiDisplay{4, 1};
inline constexpr BitField diverseLine4Display{5, 1};
inline constexpr BitField diverseAlti2Mode{6, 2};
inline constexpr BitField diverseRiseAccustic{8, 1};
inline constexpr BitField diverseA3Mode{9, 1};
inline constexpr BitField diverseFlightEndDetection{10, 1};
inline constexpr BitField diverseStallAlarm{11, 1};
inline constexpr BitField diverseSpeedDisplay{12, 1};
inline constexpr BitField diversePreThermalFunction{13, 1};

constexpr int bitFieldValue(std::uint16_t word, BitField f)
{
    return (word >> f.shift) & ((1 << f.bits) - 1);
}

constexpr std::uint16_t withBitField(std::uint16_t word, BitField f, int value)
{
    const int mask = ((1 << f.bits) - 1) << f.shift;
    return static_cast<std::uint16_t>((word & ~mask) | ((value << f.shift) & mask));
}

// ---- commands as a simulator sees them ---------------------------------------

/** XOR of every byte after the first. */
std::uint8_t checksum(std::string_view command);

/** COMMAND + "*" + two upper-case hex digits + CR LF. */
std::string frame(std::string_view command);

} // namespace kalvora::flytec
