#include "instruments/flymaster/flymasterparser.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "instruments/coordinateparser.h"
#include "instruments/flytec/flytecparser.h"
#include "instruments/textfields.h"

namespace kalvora::flymaster {

namespace {

/** The non-empty pieces of TEXT between occurrences of HEAD. */
std::vector<std::string_view> piecesAfter(std::string_view text, std::string_view head)
{
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t pos = text.find(head, start);
        const std::string_view piece =
            text.substr(start, pos == std::string_view::npos ? text.npos : pos - start);
        if (!piece.empty())
            pieces.push_back(piece);
        if (pos == std::string_view::npos)
            break;
        start = pos + head.size();
    }
    return pieces;
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

std::optional<int> wholeNumber(std::string_view s)
{
    s = trim(s);
    if (s.empty() || s.size() > 9)
        return std::nullopt;
    int value = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<std::array<int, 3>> triple(std::string_view s, char sep)
{
    const auto parts = splitFields(trim(s), std::string_view(&sep, 1));
    if (parts.size() != 3)
        return std::nullopt;
    std::array<int, 3> out{};
    for (std::size_t i = 0; i < 3; ++i) {
        const auto v = wholeNumber(parts[i]);
        if (!v)
            return std::nullopt;
        out[i] = *v;
    }
    return out;
}

std::optional<double> decimal(std::string_view s)
{
    s = trim(s);
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    double value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

struct CivilDate
{
    int year;
    unsigned month;
    unsigned day;
};

CivilDate civilFromUtc(std::int64_t utc)
{
    using namespace std::chrono;
    std::int64_t days = utc / 86400;
    if (utc % 86400 < 0)
        --days;
    const year_month_day ymd{sys_days{std::chrono::days{days}}};
    return {static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
            static_cast<unsigned>(ymd.day())};
}

std::int64_t secondsOfDay(std::int64_t utc)
{
    const std::int64_t s = utc % 86400;
    return s < 0 ? s + 86400 : s;
}

std::int32_t le32(const Block& b, std::size_t at)
{
    const auto u = static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at])) |
                   static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 1])) << 8 |
                   static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 2])) << 16 |
                   static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24;
    return static_cast<std::int32_t>(u);
}

std::int16_t le16(const Block& b, std::size_t at)
{
    const auto u = static_cast<std::uint16_t>(static_cast<std::uint8_t>(b[at]) |
                                              static_cast<std::uint8_t>(b[at + 1]) << 8);
    return static_cast<std::int16_t>(u);
}

std::int32_t wrappedSum(std::int32_t value, int delta)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value) + static_cast<std::uint32_t>(delta));
}

std::int8_t s8(const Block& b, std::size_t at)
{
    return static_cast<std::int8_t>(static_cast<std::uint8_t>(b[at]));
}

bool isMarker(const Block& b, std::uint8_t marker)
{
    return b.size() >= 3 && static_cast<std::uint8_t>(b[0]) == marker &&
           static_cast<std::uint8_t>(b[1]) == marker;
}

/** The data length of a block: its length byte, bounded by the bytes really kept. */
std::size_t dataLength(const Block& b)
{
    return std::min<std::size_t>(static_cast<std::uint8_t>(b[2]), b.size() - 3);
}

/** Up to 15 bytes from AT, ending at the first NUL; printable ASCII only (no line breaks into the IGC). */
std::string blockText(const Block& b, std::size_t at)
{
    std::string text;
    for (std::size_t i = at; i < at + 15 && i < b.size(); ++i) {
        const auto c = static_cast<unsigned char>(b[i]);
        if (c == 0)
            break;
        if (c >= 0x20 && c < 0x7F)
            text.push_back(static_cast<char>(c));
    }
    return text;
}

std::string sentenceDegreesMinutes(double value, int degreeDigits, char positive, char negative)
{
    const MinuteThousandths field = minuteThousandths(value);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*d%02d.%03d,%c", degreeDigits, field.degrees, field.minutes,
                  field.thousandths, value < 0 ? negative : positive);
    return buf;
}

} // namespace

std::optional<Identification> identify(std::string_view answer)
{
    // Only the instrument's own sentence counts: a port that streams NMEA or noise
    // may well carry "Gps" or "Nav" somewhere.
    const std::size_t sentence = answer.find(identifyCommand);
    if (sentence == std::string_view::npos)
        return std::nullopt;
    answer = answer.substr(sentence);
    answer = answer.substr(0, answer.find('$', 1));
    Identification id;
    std::size_t start = answer.find("B1NAV");
    if (start != std::string_view::npos) {
        id.type = DeviceType::B1Nav;
    } else {
        id.type = DeviceType::GpsNavLive;
        for (std::string_view key : {"Gps", "Nav", "Live"})
            start = std::min(start, answer.find(key));
        if (start == std::string_view::npos)
            return std::nullopt;
    }
    const std::size_t comma = answer.find(',', start);
    if (comma == std::string_view::npos)
        return std::nullopt;
    id.model = std::string(answer.substr(start, comma - start));
    return id;
}

std::vector<TrackEntry> parseTrackList(std::string_view answer)
{
    std::vector<TrackEntry> tracks;
    for (std::string_view piece : piecesAfter(answer, "$PFMLST,")) {
        const auto fields = splitFields(piece, ",*");
        if (fields.size() < 5)
            continue;
        const auto number = wholeNumber(fields[1]);
        const auto date = triple(fields[2], '.');
        const auto time = triple(fields[3], ':');
        const auto duration = triple(fields[4], ':');
        if (!number || !date || !time || !duration)
            continue;
        const auto [day, month, yy] = *date;
        const auto [hh, mm, ss] = *time;
        using namespace std::chrono;
        const year_month_day ymd{year{2000 + yy}, std::chrono::month{static_cast<unsigned>(month)},
                                 std::chrono::day{static_cast<unsigned>(day)}};
        if (yy > 99 || !ymd.ok() || hh > 23 || mm > 59 || ss > 60 || (*duration)[1] > 59 ||
            (*duration)[2] > 59)
            continue;
        TrackEntry entry;
        entry.number = *number;
        entry.startUtc = sys_days{ymd}.time_since_epoch().count() * 86400LL + hh * 3600LL + mm * 60LL + ss;
        entry.durationS = (*duration)[0] * 3600LL + (*duration)[1] * 60LL + (*duration)[2];
        tracks.push_back(entry);
    }
    return tracks;
}

std::string downloadCommand(std::int64_t startUtc)
{
    const CivilDate d = civilFromUtc(startUtc);
    const std::int64_t s = secondsOfDay(startUtc);
    char buf[64];
    std::snprintf(buf, sizeof buf, "$PFMDNL,%02d%02u%02u%02d%02d%02d,", d.year % 100, d.month, d.day,
                  static_cast<int>(s / 3600), static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
    return buf;
}

PacketReader::Event PacketReader::add(std::uint8_t byte)
{
    if (m_expectLength) {
        m_expectLength = false;
        m_buffer.push_back(static_cast<char>(byte));
        m_remaining = byte + 1;
        return Event::None;
    }
    if (m_remaining > 0) {
        if (--m_remaining == 0) {
            // This is the check byte: dropped, not verified (its rule is not known).
            m_block = std::move(m_buffer);
            m_buffer.clear();
            m_previous = -1;
            return Event::Packet;
        }
        m_buffer.push_back(static_cast<char>(byte));
        return Event::None;
    }
    if (byte == m_previous) {
        if (byte == 0xA3) {
            m_previous = -1;
            return Event::End;
        }
        if (byte == 0xA0 || byte == 0xA1 || byte == 0xA2) {
            m_buffer.assign(2, static_cast<char>(byte));
            m_expectLength = true;
            m_previous = -1;
            return Event::None;
        }
    }
    m_previous = byte;
    return Event::None;
}

double Fix::pressureAltitudeM() const
{
    return (1.0 - std::pow(std::fabs(pressure / 10.0 / 1013.25), 0.190284)) * 44307.69;
}

std::optional<std::vector<Fix>> fixesFromBlocks(const std::vector<Block>& blocks)
{
    std::vector<Fix> fixes;
    std::optional<Fix> previous;
    for (const Block& b : blocks) {
        if (isMarker(b, 0xA1)) {
            if (dataLength(b) < 17)
                continue; // too short to hold a position: not a fix
            Fix f;
            f.is3D = (static_cast<std::uint8_t>(b[3]) & 0x7F) != 0;
            f.latitude = le32(b, 4);
            f.longitude = static_cast<std::int32_t>(-static_cast<std::int64_t>(le32(b, 8)));
            f.gpsAltitudeM = le16(b, 12);
            f.pressure = le16(b, 14);
            f.time = static_cast<std::uint32_t>(le32(b, 16));
            fixes.push_back(f);
            previous = f;
        } else if (isMarker(b, 0xA2)) {
            if (!previous)
                return std::nullopt;
            const std::size_t length = dataLength(b);
            if (length == 4)
                continue;
            // Only whole 6-byte records: a partial one at the end would read past the block.
            for (std::size_t r = 0; r + 6 <= length; r += 6) {
                const std::size_t at = 3 + r;
                Fix f = *previous;
                f.is3D = (static_cast<std::uint8_t>(b[at]) & 0x7F) != 0;
                // Deltas on a hostile base value wrap as the instrument's 32-bit registers would,
                // rather than overflow; a position off the globe is refused when the fix is written.
                f.latitude = wrappedSum(f.latitude, s8(b, at + 1));
                f.longitude = wrappedSum(f.longitude, -s8(b, at + 2));
                f.gpsAltitudeM = wrappedSum(f.gpsAltitudeM, s8(b, at + 3));
                f.pressure = wrappedSum(f.pressure, s8(b, at + 4));
                f.time += static_cast<std::uint32_t>(static_cast<std::int32_t>(s8(b, at + 5)));
                fixes.push_back(f);
                previous = f;
            }
        }
    }
    return fixes;
}

std::optional<FlightInfo> flightInfo(const Block& block)
{
    if (!isMarker(block, 0xA0))
        return std::nullopt;
    FlightInfo info;
    auto byteAt = [&](std::size_t i) { return i < block.size() ? static_cast<std::uint8_t>(block[i]) : 0; };
    info.firmwareMajor = byteAt(3);
    info.firmwareMinor = byteAt(4);
    info.hardwareMajor = byteAt(5);
    info.hardwareMinor = byteAt(6);
    info.pilot = blockText(block, 19);
    info.gliderType = blockText(block, 34);
    info.gliderId = blockText(block, 49);
    return info;
}

std::string igcText(const std::vector<Block>& blocks, const std::vector<Fix>& fixes,
                    std::int64_t trackStartUtc, std::string_view descriptor)
{
    if (blocks.empty())
        return {};
    const auto info = flightInfo(blocks.front());
    if (!info)
        return {};
    const CivilDate d = civilFromUtc(trackStartUtc);
    const std::string desc(descriptor);
    std::string out;
    out.reserve(200 + fixes.size() * 37);
    char buf[160];
    std::snprintf(buf, sizeof buf, "HFDTE%02u%02u%02d\r\n", d.day, d.month, d.year % 100);
    out += buf;
    out += "HFFXA100\r\n";
    out += "HFPLTPILOT:" + info->pilot + "\r\n";
    out += "HFGTYGLIDERTYPE:" + info->gliderType + "\r\n";
    out += "HFGIDGLIDERID:" + info->gliderId + "\r\n";
    out += "HFDTM100GPSDATUM:WGS84\r\n";
    out += "HFGPSGPS:" + desc + "\r\n";
    std::snprintf(buf, sizeof buf, "HFRFWFIRMWAREVERSION:%d.%02d\r\nHFRHWHARDWAREVERSION:%d.%02d\r\n",
                  info->firmwareMajor, info->firmwareMinor, info->hardwareMajor, info->hardwareMinor);
    out += buf;
    out += "HFFTYFRTYPE:" + desc + "\r\n";
    for (const Fix& f : fixes) {
        const std::int64_t lat = std::llabs(static_cast<std::int64_t>(f.latitude));
        const std::int64_t lon = std::llabs(static_cast<std::int64_t>(f.longitude));
        // A position outside the globe cannot be written in the fixed B-record columns.
        if (lat > 90 * 60000 || lon > 180 * 60000)
            continue;
        const int s = f.secondsOfDay();
        const double pressureAlt = std::clamp(f.pressureAltitudeM(), -9999.0, 99999.0);
        const double gpsAlt = std::clamp(static_cast<double>(f.gpsAltitudeM), -9999.0, 99999.0);
        std::snprintf(buf, sizeof buf, "B%02d%02d%02d%02d%05d%c%03d%05d%c%c%05.0f%05.0f\r\n", s / 3600,
                      s / 60 % 60, s % 60, static_cast<int>(lat / 60000), static_cast<int>(lat % 60000),
                      f.latitude < 0 ? 'S' : 'N', static_cast<int>(lon / 60000),
                      static_cast<int>(lon % 60000), f.longitude < 0 ? 'W' : 'E', f.is3D ? 'A' : 'V',
                      pressureAlt, gpsAlt);
        out += buf;
    }
    return out;
}

std::vector<WaypointEntry> parseWaypointList(std::string_view answer)
{
    std::vector<WaypointEntry> list;
    for (std::string_view piece : piecesAfter(answer, "$PFMWPL,")) {
        const auto f = splitFields(piece, ",*");
        if (f.size() != 8 || trim(f[6]) != "1")
            continue;
        auto lat = decimal(f[0]);
        auto lon = decimal(f[2]);
        if (!lat || !lon)
            continue;
        // The list gives decimal degrees; a value out of the degree range can only
        // be the NMEA form DDMM.mmm, which is read as such rather than stored as nonsense.
        auto fromNmea = [](double v) {
            const double a = std::fabs(v);
            const double degrees = std::floor(a / 100.0);
            return std::copysign(degrees + (a - degrees * 100.0) / 60.0, v);
        };
        if (std::fabs(*lat) > 90)
            lat = fromNmea(*lat);
        if (std::fabs(*lon) > 180)
            lon = fromNmea(*lon);
        WaypointEntry wp;
        wp.latitudeDeg = trim(f[1]) == "S" ? -*lat : *lat;
        wp.longitudeDeg = trim(f[3]) == "W" ? -*lon : *lon;
        wp.altitudeM = decimal(f[4]).value_or(0.0);
        wp.name = std::string(f[5]);
        list.push_back(std::move(wp));
    }
    std::stable_sort(list.begin(), list.end(),
                     [](const WaypointEntry& a, const WaypointEntry& b) { return a.name < b.name; });
    return list;
}

std::string latitudeField(double latitudeDeg)
{
    return sentenceDegreesMinutes(latitudeDeg, 2, 'N', 'S');
}

std::string longitudeField(double longitudeDeg)
{
    return sentenceDegreesMinutes(longitudeDeg, 3, 'E', 'W');
}

std::string writeWaypointCommand(std::string_view nameUtf8, double latitudeDeg, double longitudeDeg,
                                 double altitudeM)
{
    std::string name = flytec::fixedName(nameUtf8, 17);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    int altitude = 0;
    if (altitudeM >= 9999)
        altitude = 9999;
    else if (altitudeM > 0)
        altitude = static_cast<int>(altitudeM);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d", altitude);
    return "$PFMWPR," + latitudeField(latitudeDeg) + "," + longitudeField(longitudeDeg) + ",," + name + "," +
           buf + ",1";
}

} // namespace kalvora::flymaster
