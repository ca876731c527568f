#include "flymasterinstrument.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "instruments/flymaster/flymasterparser.h"
#include "track/igc.h"

namespace kalvora::sim {

namespace {

constexpr std::int64_t kEpoch2000 = 946684800;
constexpr std::size_t kRecordsPerPacket = 42;

std::vector<std::string_view> split(std::string_view text, char sep)
{
    std::vector<std::string_view> out;
    std::size_t start = 0;
    for (;;) {
        const auto pos = text.find(sep, start);
        out.push_back(text.substr(start, pos == std::string_view::npos ? text.npos : pos - start));
        if (pos == std::string_view::npos)
            return out;
        start = pos + 1;
    }
}

bool digits(std::string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int number(std::string_view s)
{
    int v = 0;
    for (char c : s)
        v = v * 10 + (c - '0');
    return v;
}

/** Signed leading integer of an altitude field ("00587", "-0012"). */
int altitude(std::string_view s)
{
    const bool negative = !s.empty() && s.front() == '-';
    if (negative)
        s.remove_prefix(1);
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            break;
        v = v * 10 + (c - '0');
    }
    return negative ? -v : v;
}

/** The text after the ':' of the first header line starting with PREFIX (at most 15 characters). */
std::string headerValue(std::string_view igc, std::string_view prefix)
{
    for (std::string_view line : IGC::getICGLines(igc)) {
        if (line.rfind(prefix, 0) != 0)
            continue;
        const auto colon = line.find(':');
        if (colon == std::string_view::npos)
            return {};
        auto value = line.substr(colon + 1);
        while (!value.empty() && (value.back() == '\r' || value.back() == ' '))
            value.remove_suffix(1);
        return std::string(value.substr(0, 15));
    }
    return {};
}

void putLe(std::string& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFFu));
}

std::string packet(std::uint8_t marker, const std::string& data)
{
    std::string out(2, static_cast<char>(marker));
    out.push_back(static_cast<char>(data.size()));
    out += data;
    std::uint8_t check = static_cast<std::uint8_t>(data.size());
    for (char c : data)
        check ^= static_cast<std::uint8_t>(c);
    out.push_back(static_cast<char>(check));
    return out;
}

bool fitsByte(std::int64_t v)
{
    return v >= -128 && v <= 127;
}

} // namespace

std::string framedSentence(std::string_view sentence)
{
    std::uint8_t sum = 0;
    for (std::size_t i = 1; i < sentence.size(); ++i)
        sum ^= static_cast<std::uint8_t>(sentence[i]);
    char buf[8];
    std::snprintf(buf, sizeof buf, "*%02X\r\n", sum);
    return std::string(sentence) + buf;
}

FlymasterInstrument::FlymasterInstrument(std::string model) : m_model(std::move(model)) {}

bool FlymasterInstrument::addTrack(std::string_view igc)
{
    const auto summary = IGC::getTrackFromIGCData(igc);
    if (!summary)
        return false;
    const std::int64_t start = summary->startUTC.time_since_epoch().count();
    const std::int64_t dayStart = start - (start % 86400 + 86400) % 86400;
    StoredTrack track;
    track.startUtc = start;
    track.durationS = summary->flightTimeS;
    track.pilot = headerValue(igc, "HFPLT");
    track.gliderType = headerValue(igc, "HFGTY");
    track.gliderId = headerValue(igc, "HFGID");

    std::int64_t previousTod = -1;
    std::int64_t day = dayStart;
    for (std::string_view line : IGC::getICGLines(igc)) {
        if (line.size() < 35 || line.front() != 'B')
            continue;
        const auto t = line.substr(1, 6);
        const auto lat = line.substr(7, 7);
        const auto lon = line.substr(15, 8);
        if (!digits(t) || !digits(lat) || !digits(lon) || (line[14] != 'N' && line[14] != 'S') ||
            (line[23] != 'E' && line[23] != 'W'))
            continue;
        const std::int64_t tod =
            number(t.substr(0, 2)) * 3600 + number(t.substr(2, 2)) * 60 + number(t.substr(4, 2));
        if (previousTod >= 0 && tod + 3600 < previousTod)
            day += 86400; // passed midnight UTC
        previousTod = tod;
        Fix f;
        f.latitude = number(lat.substr(0, 2)) * 60000 + number(lat.substr(2));
        if (line[14] == 'S')
            f.latitude = -f.latitude;
        f.longitude = number(lon.substr(0, 3)) * 60000 + number(lon.substr(3));
        if (line[23] == 'W')
            f.longitude = -f.longitude;
        f.valid = line[24] == 'A';
        const int pressureAlt = altitude(line.substr(25, 5));
        f.gpsAltitudeM = static_cast<std::int16_t>(std::clamp(altitude(line.substr(30, 5)), -32768, 32767));
        const double hPa = 1013.25 * std::pow(std::max(1.0 - pressureAlt / 44307.69, 0.0), 1.0 / 0.190284);
        f.pressure = static_cast<std::int16_t>(std::clamp(std::lround(hPa * 10.0), 0L, 32767L));
        f.time = static_cast<std::uint32_t>(day + tod - kEpoch2000);
        track.fixes.push_back(f);
    }
    if (track.fixes.empty())
        return false;
    m_tracks.push_back(std::move(track));
    return true;
}

std::vector<std::string> FlymasterInstrument::packetsOf(const StoredTrack& track)
{
    std::vector<std::string> packets;
    std::string info;
    info += static_cast<char>(2); // firmware 2.03
    info += static_cast<char>(3);
    info += static_cast<char>(1); // hardware 1.10
    info += static_cast<char>(10);
    info.resize(16, '\0'); // serial number and reserved bytes
    for (const std::string* text : {&track.pilot, &track.gliderType, &track.gliderId}) {
        std::string field = text->substr(0, 15);
        field.resize(15, '\0');
        info += field;
    }
    packets.push_back(packet(0xA0, info));

    std::string diffs;
    std::size_t records = 0;
    auto flush = [&]() {
        if (records > 0)
            packets.push_back(packet(0xA2, diffs));
        diffs.clear();
        records = 0;
    };
    const Fix* previous = nullptr;
    for (const Fix& f : track.fixes) {
        bool asDiff = previous != nullptr;
        std::int64_t dLat = 0, dLonWest = 0, dAlt = 0, dPress = 0, dTime = 0;
        if (previous) {
            dLat = static_cast<std::int64_t>(f.latitude) - previous->latitude;
            dLonWest = -(static_cast<std::int64_t>(f.longitude) - previous->longitude);
            dAlt = f.gpsAltitudeM - previous->gpsAltitudeM;
            dPress = f.pressure - previous->pressure;
            dTime = static_cast<std::int64_t>(f.time) - previous->time;
            asDiff =
                fitsByte(dLat) && fitsByte(dLonWest) && fitsByte(dAlt) && fitsByte(dPress) && fitsByte(dTime);
        }
        if (asDiff) {
            diffs += static_cast<char>(f.valid ? 3 : 0);
            for (std::int64_t d : {dLat, dLonWest, dAlt, dPress, dTime})
                diffs += static_cast<char>(static_cast<std::int8_t>(d));
            if (++records == kRecordsPerPacket)
                flush();
        } else {
            flush();
            std::string key;
            key += static_cast<char>(f.valid ? 3 : 0);
            putLe(key, static_cast<std::uint32_t>(f.latitude), 4);
            putLe(key, static_cast<std::uint32_t>(-static_cast<std::int64_t>(f.longitude)), 4);
            putLe(key, static_cast<std::uint16_t>(f.gpsAltitudeM), 2);
            putLe(key, static_cast<std::uint16_t>(f.pressure), 2);
            putLe(key, f.time, 4);
            packets.push_back(packet(0xA1, key));
        }
        previous = &f;
    }
    flush();
    packets.emplace_back("\xA3\xA3");
    return packets;
}

std::string FlymasterInstrument::answer(std::string_view sentence)
{
    if (sentence == "$PFMSNP,")
        return framedSentence("$PFMSNP," + m_model + ",0,104233,2.03h,");
    if (sentence == "$PFMDNL,LST,") {
        std::string out;
        for (std::size_t i = 0; i < m_tracks.size(); ++i) {
            const StoredTrack& t = m_tracks[i];
            using namespace std::chrono;
            const sys_seconds start{seconds{t.startUtc}};
            const year_month_day ymd{floor<days>(start)};
            const std::int64_t tod = t.startUtc - floor<days>(start).time_since_epoch().count() * 86400;
            char buf[96];
            std::snprintf(
                buf, sizeof buf, "$PFMLST,%03zu,%03zu,%02u.%02u.%02d,%02d:%02d:%02d,%02lld:%02lld:%02lld",
                m_tracks.size(), i + 1, static_cast<unsigned>(ymd.day()), static_cast<unsigned>(ymd.month()),
                static_cast<int>(ymd.year()) % 100, static_cast<int>(tod / 3600),
                static_cast<int>(tod / 60 % 60), static_cast<int>(tod % 60),
                static_cast<long long>(t.durationS / 3600), static_cast<long long>(t.durationS / 60 % 60),
                static_cast<long long>(t.durationS % 60));
            out += framedSentence(buf);
        }
        return out;
    }
    if (sentence == "$PFMWPL,") {
        std::string out;
        for (const Waypoint& w : m_waypoints) {
            char buf[128];
            std::snprintf(buf, sizeof buf, "$PFMWPL,%.6f,%c,%.6f,%c,%d,%s,1", std::fabs(w.latitudeDeg),
                          w.latitudeDeg < 0 ? 'S' : 'N', std::fabs(w.longitudeDeg),
                          w.longitudeDeg < 0 ? 'W' : 'E', w.altitudeM, w.name.c_str());
            out += framedSentence(buf);
        }
        return out;
    }
    if (sentence.rfind("$PFMWPR,", 0) == 0) {
        // "$PFMWPR,4715.000,N,00730.000,E,,NAME,2100,1"
        const auto f = split(sentence.substr(8), ',');
        if (f.size() != 8)
            return framedSentence("$PFMWPR,ERR,");
        auto degrees = [](std::string_view field, int degreeDigits) {
            const double d =
                std::atof(std::string(field.substr(0, static_cast<std::size_t>(degreeDigits))).c_str());
            const double m =
                std::atof(std::string(field.substr(static_cast<std::size_t>(degreeDigits))).c_str());
            return d + m / 60.0;
        };
        Waypoint w;
        w.latitudeDeg = degrees(f[0], 2) * (f[1] == "S" ? -1 : 1);
        w.longitudeDeg = degrees(f[2], 3) * (f[3] == "W" ? -1 : 1);
        w.name = std::string(f[5]);
        w.altitudeM = std::atoi(std::string(f[6]).c_str());
        m_waypoints.push_back(std::move(w));
        return framedSentence("$PFMWPR,OK,");
    }
    return {};
}

std::optional<std::vector<std::string>> FlymasterInstrument::downloadPackets(std::string_view sentence) const
{
    if (sentence.rfind("$PFMDNL,", 0) != 0 || sentence.size() < 8 + 12)
        return std::nullopt;
    const auto stamp = sentence.substr(8, 12);
    for (const StoredTrack& t : m_tracks) {
        std::string expected = flymaster::downloadCommand(t.startUtc);
        if (expected.substr(8, 12) == stamp)
            return packetsOf(t);
    }
    return std::nullopt;
}

} // namespace kalvora::sim
