#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The Flymaster protocol: "$PFM" text sentences and the binary packets of a
// track download. Plain C++ without Qt so that the fuzzer drives every decoder
// here; the driver turns the results into instrument records.

namespace kalvora::flymaster {

/** Model class from the identification answer. */
enum class DeviceType
{
    B1Nav,
    GpsNavLive,
};

struct Identification
{
    std::string model; ///< e.g. "GpsSD", "B1NAV"
    DeviceType type = DeviceType::GpsNavLive;
    /** "Flymaster %@" with the model. */
    std::string descriptor() const { return "Flymaster " + model; }
    bool operator==(const Identification&) const = default;
};

inline constexpr std::string_view identifyCommand = "$PFMSNP,";
inline constexpr std::string_view trackListCommand = "$PFMDNL,LST,";
inline constexpr std::string_view waypointListCommand = "$PFMWPL,";

/** Acknowledgement byte the driver sends after each packet. */
inline constexpr char ackByte = static_cast<char>(0xB1);

/**
 * The model from the "$PFMSNP," sentence of an answer (other sentences and
 * bytes around it are not looked at): "B1NAV..." up to the next comma, or else
 * the text from the first of "Gps", "Nav", "Live" (earliest in the sentence)
 * up to the next comma. nullopt without that sentence, a match or the comma.
 */
std::optional<Identification> identify(std::string_view answer);

/** One "$PFMLST," sentence. */
struct TrackEntry
{
    std::int64_t number = 0;
    std::int64_t startUtc = 0; ///< [s] since 1970-01-01 UTC
    std::int64_t durationS = 0;
    bool operator==(const TrackEntry&) const = default;
};

/**
 * The sentences of a track list answer, run together as the line assembly gives
 * them: "$PFMLST,002,001,06.12.26,10:30:00,01:30:00*5C$PFMLST,...". Fields:
 * count, number, date dd.MM.yy (2000 + yy), time, duration. Unreadable pieces are skipped.
 */
std::vector<TrackEntry> parseTrackList(std::string_view answer);

/** "$PFMDNL,%@%@," with the start as "yyMMdd" and "HHmmss", UTC. */
std::string downloadCommand(std::int64_t startUtc);

// ---- packets ---------------------------------------------------------------

/** A packet as kept: the two marker bytes, the length byte and the data (check byte dropped). */
using Block = std::string;

/**
 * Splits the byte stream of a download into packets. Fed one byte at a time;
 * tells when a packet is complete (the caller then acknowledges it) and when
 * the end marker A3 A3 arrived. Bytes outside a packet that do not form a
 * marker pair are ignored.
 */
class PacketReader
{
public:
    enum class Event
    {
        None,
        Packet, ///< a block is complete: acknowledge it, then take it with takeBlock()
        End,    ///< A3 A3: transfer complete
    };

    Event add(std::uint8_t byte);
    /** The last complete block (valid after Event::Packet). */
    Block takeBlock() { return std::move(m_block); }
    /** True while inside a packet (a cut-off answer stalls here). */
    bool inPacket() const { return m_remaining > 0 || m_expectLength; }

private:
    std::string m_buffer;
    Block m_block;
    int m_previous = -1;
    bool m_expectLength = false;
    int m_remaining = 0;
};

/** One fix of a download; units of the instrument. */
struct Fix
{
    std::int32_t latitude = 0;  ///< thousandths of a minute, north positive
    std::int32_t longitude = 0; ///< thousandths of a minute, east positive
    std::int32_t gpsAltitudeM = 0;
    std::int32_t pressure = 0; ///< tenths of a hPa
    std::uint32_t time = 0;    ///< [s] since 2000-01-01 00:00:00 UTC
    bool is3D = false;
    bool operator==(const Fix&) const = default;

    /** [s] since that day's midnight, UTC. */
    int secondsOfDay() const { return static_cast<int>(time % 86400u); }
    /** Pressure altitude [m] of the standard atmosphere. */
    double pressureAltitudeM() const;
};

/**
 * The fixes of a download in order: key fix blocks set the running values,
 * difference blocks add fixes relative to the previous one. nullopt for a
 * difference block before any key fix.
 */
std::optional<std::vector<Fix>> fixesFromBlocks(const std::vector<Block>& blocks);

/** Texts and versions of the flight information block (A0 A0). */
struct FlightInfo
{
    int firmwareMajor = 0;
    int firmwareMinor = 0;
    int hardwareMajor = 0;
    int hardwareMinor = 0;
    std::string pilot;
    std::string gliderType;
    std::string gliderId;
};

/** nullopt unless BLOCK is a flight information block. Texts keep printable ASCII only. */
std::optional<FlightInfo> flightInfo(const Block& block);

/**
 * The IGC text of a download, not yet marked: headers from the first block
 * (which must be the flight information block, else the text is empty), the
 * date from TRACKSTARTUTC, one B record per fix, CR LF line ends.
 */
std::string igcText(const std::vector<Block>& blocks, const std::vector<Fix>& fixes,
                    std::int64_t trackStartUtc, std::string_view descriptor);

// ---- waypoints -------------------------------------------------------------

struct WaypointEntry
{
    std::string name;
    double latitudeDeg = 0;
    double longitudeDeg = 0;
    double altitudeM = 0;
    bool operator==(const WaypointEntry&) const = default;
};

/**
 * The sentences of a waypoint list answer: lat,N|S,lon,E|W,alt,name,1*cs.
 * Exactly 8 fields with field 6 equal to 1, else skipped. Sorted by name.
 */
std::vector<WaypointEntry> parseWaypointList(std::string_view answer);

/**
 * "$PFMWPR,4715.000,N,00730.000,E,,NAME             ,2100,1": name cleaned,
 * padded and cut to 17 characters and upper-cased; altitude truncated and
 * clamped to 0..9999.
 */
std::string writeWaypointCommand(std::string_view nameUtf8, double latitudeDeg, double longitudeDeg,
                                 double altitudeM);

/** "%02d%02d.%03d,N" of a latitude in degrees (minutes to the nearest thousandth). */
std::string latitudeField(double latitudeDeg);
/** "%03d%02d.%03d,E" of a longitude in degrees. */
std::string longitudeField(double longitudeDeg);

} // namespace kalvora::flymaster
