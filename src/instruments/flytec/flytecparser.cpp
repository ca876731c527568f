#include "instruments/flytec/flytecparser.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "instruments/coordinateparser.h"
#include "instruments/flytectextformatter.h"
#include "instruments/textfields.h"

namespace kalvora::flytec {

namespace {

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

/** A whole field of decimal digits (after trimming), at most 9 of them. */
std::optional<int> wholeNumber(std::string_view s)
{
    s = trim(s);
    if (s.empty() || s.size() > 9)
        return std::nullopt;
    int value = 0;
    for (char c : s) {
        if (!isDigit(c))
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

/** Leading signed integer, like the instrument's numbers "  2100" or "-120"; 0 when unreadable. */
double leadingNumber(std::string_view s)
{
    s = trim(s);
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    double value = 0;
    bool any = false;
    while (!s.empty() && isDigit(s.front())) {
        value = value * 10 + (s.front() - '0');
        s.remove_prefix(1);
        any = true;
    }
    if (any && s.size() >= 2 && s.front() == '.' && isDigit(s[1])) {
        s.remove_prefix(1);
        double scale = 0.1;
        while (!s.empty() && isDigit(s.front())) {
            value += (s.front() - '0') * scale;
            scale /= 10;
            s.remove_prefix(1);
        }
    }
    return negative ? -value : value;
}

/** Three numbers separated by SEP, e.g. "26.12.06" or "001:30:00". */
std::optional<std::array<int, 3>> triple(std::string_view s, char sep)
{
    const auto parts = splitFields(trim(s), std::string_view(&sep, 1));
    if (parts.size() != 3)
        return std::nullopt;
    std::array<int, 3> out{};
    for (int i = 0; i < 3; ++i) {
        const auto v = wholeNumber(parts[static_cast<std::size_t>(i)]);
        if (!v)
            return std::nullopt;
        out[static_cast<std::size_t>(i)] = *v;
    }
    return out;
}

std::string hex2(unsigned value)
{
    char buf[3];
    std::snprintf(buf, sizeof buf, "%02X", value & 0xFFu);
    return buf;
}

} // namespace

std::string downloadCommand(std::int64_t trackNumber)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "ACT_21_%02llx\r\n", static_cast<unsigned long long>(trackNumber));
    return buf;
}

std::optional<std::string> identificationName(std::string_view answer)
{
    const std::string_view body = trim(answer);
    if (body.empty() ||
        answer.substr(answer.find_last_not_of(" \t\r\n")).find('\n') == std::string_view::npos)
        return std::nullopt;
    for (const char c : body)
        if (c < 0x20 || c > 0x7E)
            return std::nullopt; // also a CR or LF inside: a second line
    if (body.front() == '$' || body.size() > maxIdentificationLength)
        return std::nullopt;
    return std::string(body);
}

bool isDone(std::string_view answer)
{
    return answer.find("Done") != std::string_view::npos;
}

std::vector<std::string> linesUntil(std::string_view answer, bool stopAtNoData)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < answer.size()) {
        std::size_t end = answer.find("\r\n", start);
        const std::size_t next = end == std::string_view::npos ? answer.size() : end + 2;
        if (end == std::string_view::npos)
            end = answer.size();
        const std::string_view line = answer.substr(start, end - start);
        if (line.find("Done") != std::string_view::npos ||
            (stopAtNoData && line.find("No Data") != std::string_view::npos))
            break;
        if (!line.empty())
            lines.emplace_back(line);
        start = next;
    }
    return lines;
}

std::optional<TrackEntry> parseTrackLine(std::string_view line)
{
    const auto fields = splitFields(line, ";");
    if (fields.size() < 5)
        return std::nullopt;
    const auto number = wholeNumber(fields[0]);
    const auto date = triple(fields[1], '.');
    const auto time = triple(fields[2], ':');
    const auto duration = triple(fields[4], ':');
    if (!number || !date || !time || !duration)
        return std::nullopt;
    const auto [yy, month, day] = *date;
    const auto [hh, mm, ss] = *time;
    using namespace std::chrono;
    const year_month_day ymd{year{2000 + yy}, std::chrono::month{static_cast<unsigned>(month)},
                             std::chrono::day{static_cast<unsigned>(day)}};
    if (yy > 99 || !ymd.ok() || hh > 23 || mm > 59 || ss > 60 || (*duration)[1] > 59 || (*duration)[2] > 59)
        return std::nullopt;
    TrackEntry entry;
    entry.number = *number;
    entry.startUtc = sys_days{ymd}.time_since_epoch().count() * 86400LL + hh * 3600LL + mm * 60LL + ss;
    entry.durationS = (*duration)[0] * 3600LL + (*duration)[1] * 60LL + (*duration)[2];
    return entry;
}

std::vector<TrackEntry> parseTrackList(std::string_view answer)
{
    std::vector<TrackEntry> tracks;
    for (const auto& line : linesUntil(answer, false))
        if (auto entry = parseTrackLine(line))
            tracks.push_back(*entry);
    return tracks;
}

namespace {

/** The list's coordinate text with every run of ".", " " and "'" removed. */
std::string squeezeCoordinate(std::string_view field)
{
    std::string out;
    for (char c : field)
        if (c != '.' && c != ' ' && c != '\'')
            out.push_back(c);
    return out;
}

} // namespace

std::optional<WaypointEntry> parseWaypointLine(std::string_view line)
{
    const auto fields = splitFields(line, ";");
    if (fields.size() < 5)
        return std::nullopt;
    WaypointEntry wp;
    std::string_view name = fields[0];
    while (!name.empty() && (name.front() == ' ' || name.front() == '\t'))
        name.remove_prefix(1);
    wp.name = std::string(name);
    wp.latitudeDeg = static_cast<double>(coordinateE6FromString(squeezeCoordinate(fields[1]))) / 1e6;
    wp.longitudeDeg = static_cast<double>(coordinateE6FromString(squeezeCoordinate(fields[2]))) / 1e6;
    wp.altitudeM = leadingNumber(fields[3]);
    wp.radiusM = leadingNumber(fields[4]);
    return wp;
}

std::vector<WaypointEntry> parseWaypointList(std::string_view answer)
{
    std::vector<WaypointEntry> list;
    for (const auto& line : linesUntil(answer, true))
        if (auto wp = parseWaypointLine(line))
            list.push_back(std::move(*wp));
    std::stable_sort(list.begin(), list.end(),
                     [](const WaypointEntry& a, const WaypointEntry& b) { return a.name < b.name; });
    return list;
}

std::string fixedName(std::string_view utf8, int length)
{
    return padOrCut(removeForbiddenChars(utf8), static_cast<std::size_t>(length));
}

namespace {

int clampToInt(double v, int lo, int hi)
{
    if (!(v >= lo)) // NaN goes to the lower bound too
        return lo;
    if (v > hi)
        return hi;
    return static_cast<int>(v);
}

} // namespace

std::string dataLine(std::string_view nameUtf8, double latitudeDeg, double longitudeDeg, double altitudeM,
                     double radiusM)
{
    const MinuteThousandths lat = minuteThousandths(latitudeDeg);
    const MinuteThousandths lon = minuteThousandths(longitudeDeg);
    char buf[128];
    std::snprintf(buf, sizeof buf, ";%s%2d'%02d.%03d;%s%3d'%02d.%03d;%6d;%6d\r\n",
                  latitudeDeg >= 0 ? "N  " : "S  ", lat.degrees, lat.minutes, lat.thousandths,
                  longitudeDeg >= 0 ? "E " : "W ", lon.degrees, lon.minutes, lon.thousandths,
                  clampToInt(altitudeM, minAltitudeM, maxAltitudeM),
                  clampToInt(radiusM, minRadiusM, maxRadiusM));
    return fixedName(nameUtf8, nameLength) + buf;
}

// ---- parameters ------------------------------------------------------------

const std::vector<int>& parameterAddresses()
{
    static const std::vector<int> addresses{0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08,
                                            0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11,
                                            0x12, 0x13, 0x14, 0x15, 0x16, 0x1A, 0x1C, 0x22};
    return addresses;
}

int parameterWidth(int address)
{
    switch (address) {
    case 0x00:
    case 0x01:
    case 0x02:
        return -1;
    case 0x03:
    case 0x04:
    case 0x08:
    case 0x09:
    case 0x0A:
    case 0x0B:
    case 0x0C:
    case 0x0F:
    case 0x15:
    case 0x1A:
    case 0x22:
        return 16;
    case 0x06:
    case 0x14:
        return 32;
    case 0x05:
    case 0x07:
    case 0x0D:
    case 0x0E:
    case 0x10:
    case 0x11:
    case 0x12:
    case 0x13:
    case 0x16:
    case 0x1C:
        return 8;
    default:
        return 0;
    }
}

std::string readParameterCommand(int address)
{
    return "RFA_" + hex2(static_cast<unsigned>(address)) + "\r\n";
}

bool isParameterAnswer(std::string_view answer, int address)
{
    return answer.size() >= 7 && answer[6] == '_' && hexDigitValue(answer[4]) == ((address >> 4) & 0xF) &&
           hexDigitValue(answer[5]) == (address & 0xF);
}

std::vector<std::uint8_t> parameterBytes(std::string_view answer)
{
    std::vector<std::uint8_t> bytes;
    if (answer.size() < 11)
        return bytes;
    std::string_view data = answer.substr(7);
    const std::size_t end = data.find_first_of("\r\n");
    if (end != std::string_view::npos)
        data = data.substr(0, end);
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        const int hi = hexDigitValue(data[i]);
        const int lo = hexDigitValue(data[i + 1]);
        if (hi < 0 || lo < 0)
            break;
        bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    return bytes;
}

std::string decodeParameterText(std::string_view answer)
{
    std::string text;
    for (std::uint8_t b : parameterBytes(answer))
        if (b >= 0x20 && b < 0x7F)
            text.push_back(static_cast<char>(b));
    return std::string(trim(text));
}

std::uint32_t decodeParameterNumber(std::string_view answer, int widthBits)
{
    const auto bytes = parameterBytes(answer);
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes.size() && i < 4; ++i)
        value |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
    if (widthBits <= 0)
        return 0;
    if (widthBits < 32)
        value &= (std::uint64_t{1} << widthBits) - 1;
    return static_cast<std::uint32_t>(value);
}

std::string writeTextCommand(int address, std::string_view text)
{
    std::string out = "WFA_" + hex2(static_cast<unsigned>(address)) + "_";
    for (int i = 0; i < 16; ++i) {
        unsigned c = 0x20;
        if (static_cast<std::size_t>(i) < text.size())
            c = static_cast<unsigned char>(text[static_cast<std::size_t>(i)]) & 0x7Fu;
        out += hex2(c);
    }
    return out + "\r\n";
}

std::string writeBitFieldCommand(int address, std::uint16_t value)
{
    return "WFA_" + hex2(static_cast<unsigned>(address)) + "_" + hex2(value & 0xFFu) + hex2(value >> 8) +
           "\r\n";
}

std::string writeNumberCommand(int address, std::int64_t value)
{
    const auto v = static_cast<std::uint32_t>(value);
    std::string digits;
    for (int i = 0; i < 4; ++i)
        digits += hex2((v >> (8 * i)) & 0xFFu);
    const int width = std::max(parameterWidth(address), 0);
    digits.resize(static_cast<std::size_t>(width / 4));
    return "WFA_" + hex2(static_cast<unsigned>(address)) + "_" + digits + "\r\n";
}

bool parameterWriteAccepted(std::string_view answer)
{
    return answer.find("No Par") == std::string_view::npos &&
           answer.find("not ready") == std::string_view::npos;
}

std::uint8_t checksum(std::string_view command)
{
    std::uint8_t sum = 0;
    for (std::size_t i = 1; i < command.size(); ++i)
        sum ^= static_cast<std::uint8_t>(command[i]);
    return sum;
}

std::string frame(std::string_view command)
{
    return std::string(command) + "*" + hex2(checksum(command)) + "\r\n";
}

} // namespace kalvora::flytec
