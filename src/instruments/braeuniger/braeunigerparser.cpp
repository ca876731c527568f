#include "instruments/braeuniger/braeunigerparser.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "instruments/coordinateparser.h"
#include "instruments/flytectextformatter.h"
#include "instruments/textfields.h"
#include "track/utcdate.h"

namespace kalvora::braeuniger {
namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const unsigned char x = static_cast<unsigned char>(a[i]);
        const unsigned char y = static_cast<unsigned char>(b[i]);
        if (std::tolower(x) != std::tolower(y))
            return false;
    }
    return true;
}

/** Two digits at POS of TEXT; -1 when they are not digits or missing. */
int twoDigits(std::string_view text, std::size_t pos)
{
    if (pos + 2 > text.size())
        return -1;
    const char a = text[pos];
    const char b = text[pos + 1];
    if (a < '0' || a > '9' || b < '0' || b > '9')
        return -1;
    return (a - '0') * 10 + (b - '0');
}

/** Digits at POS as a number (as many as there are, at most 2); 0 without any. */
int durationPart(std::string_view text, std::size_t pos)
{
    if (pos >= text.size())
        return 0;
    return int(leadingInteger(text.substr(pos, 2)));
}

std::string coordinateField(double degrees, const char* pattern, char positive, char negative)
{
    const MinuteThousandths field = minuteThousandths(degrees);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, pattern, field.degrees, field.minutes, field.thousandths);
    std::string out = buffer;
    out += ',';
    out += degrees < 0 ? negative : positive;
    return out;
}

} // namespace

const std::vector<ModelEntry>& modelTable()
{
    static const std::vector<ModelEntry> table{
        {"GALILEO", DeviceType::Compeo, "Bräuniger Galileo"},
        {"COMPETINO", DeviceType::Competino, "Bräuniger Competino"},
        {"5020", DeviceType::Competino, "Flytec 5020"},
        {"COMPEO", DeviceType::Compeo, "Bräuniger Compeo"},
        {"5030", DeviceType::Compeo, "Flytec 5030"},
        {"COMPETINO+", DeviceType::CompetinoPlus, "Bräuniger Compeo+"},
        {"6020", DeviceType::CompetinoPlus, "Bräuniger Compeo+"},
        {"COMPEO+", DeviceType::CompeoPlus, "Bräuniger Compeo+"},
        {"6030", DeviceType::CompeoPlus, "Bräuniger Compeo+"},
    };
    return table;
}

std::optional<Identification> parseIdentification(std::string_view answer)
{
    const std::size_t first = answer.find(',');
    if (first == std::string_view::npos)
        return std::nullopt;
    const std::size_t second = answer.find(',', first + 1);
    if (second == std::string_view::npos)
        return std::nullopt;
    const std::string_view model = answer.substr(first + 1, second - first - 1);
    for (const ModelEntry& entry : modelTable())
        if (equalsIgnoringCase(model, entry.modelName))
            return Identification{entry.descriptor, entry.deviceType};
    return std::nullopt;
}

std::vector<std::string> splitAtHead(std::string_view answer, std::string_view head)
{
    std::vector<std::string> pieces;
    if (head.empty()) {
        if (!answer.empty())
            pieces.emplace_back(answer);
        return pieces;
    }
    std::size_t start = 0;
    while (start <= answer.size()) {
        const std::size_t next = answer.find(head, start);
        const std::size_t end = next == std::string_view::npos ? answer.size() : next;
        if (end > start)
            pieces.emplace_back(answer.substr(start, end - start));
        if (next == std::string_view::npos)
            break;
        start = next + head.size();
    }
    return pieces;
}

std::vector<std::string> splitFields(std::string_view piece)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= piece.size(); ++i) {
        if (i == piece.size() || piece[i] == ',' || piece[i] == '*') {
            fields.emplace_back(piece.substr(start, i - start));
            start = i + 1;
        }
    }
    return fields;
}

std::vector<Track> parseTrackList(const std::vector<std::string>& pieces)
{
    std::vector<Track> tracks;
    for (const std::string& piece : pieces) {
        const std::vector<std::string> f = splitFields(piece);
        if (f.size() < 5)
            continue;
        const std::string& date = f[2];
        const std::string& time = f[3];
        const int day = twoDigits(date, 0), month = twoDigits(date, 3), yy = twoDigits(date, 6);
        const int hour = twoDigits(time, 0), minute = twoDigits(time, 3), second = twoDigits(time, 6);
        if (date.size() < 8 || time.size() < 8 || date[2] != '.' || date[5] != '.' || time[2] != ':' || time[5] != ':')
            continue;
        const int year = utc::fullYearFromTwoDigits(yy);
        if (yy < 0 || !isValidDateTime(year, month, day, hour, minute, second))
            continue;
        const std::string& d = f[4];
        const double duration = 3600.0 * durationPart(d, 0) + 60.0 * durationPart(d, 3) + durationPart(d, 6);
        tracks.push_back(Track::withUTCDateTime(utcTimeFromFields(year, month, day, hour, minute, second), duration,
                                                leadingInteger(f[1])));
    }
    return tracks;
}

std::vector<DeviceWayPoint> parseWaypointList(const std::vector<std::string>& pieces,
                                              const std::vector<DeviceRoute>& routes)
{
    std::vector<DeviceWayPoint> list;
    for (const std::string& piece : pieces) {
        const std::vector<std::string> f = splitFields(piece);
        if (f.size() < 7)
            continue;
        const auto coordinate = [](std::string text) {
            text.erase(std::remove(text.begin(), text.end(), '.'), text.end());
            return double(coordinateE6FromString(text)) / 1000000.0;
        };
        DeviceWayPoint w;
        w.latitude = coordinate(f[0] + f[1]);
        w.longitude = coordinate(f[2] + f[3]);
        w.latitudeString = fixedText(w.latitude, 3);
        w.longitudeString = fixedText(w.longitude, 3);
        w.shortName = f[5];
        w.altitude = leadingNumber(f[6]);
        w.gpsaltitude = w.altitude;
        w.altitudeString = fixedText(w.altitude, 0, 4);
        w.radius = 0;
        for (const DeviceRoute& route : routes)
            for (const DeviceWayPoint& p : route.waypoints)
                if (p.shortName == w.shortName)
                    w.routeWaypoint = true;
        const auto at = std::upper_bound(list.begin(), list.end(), w,
                                         [](const DeviceWayPoint& a, const DeviceWayPoint& b) {
                                             return a.shortName < b.shortName;
                                         });
        list.insert(at, std::move(w));
    }
    return list;
}

std::optional<std::vector<DeviceRoute>> parseRouteList(const std::vector<std::string>& pieces,
                                                       std::vector<DeviceRoute>& finished)
{
    finished.clear();
    std::size_t i = 0;
    while (i < pieces.size()) {
        const std::vector<std::string> header = splitFields(pieces[i++]);
        if (header.size() != 5 || leadingInteger(header[2]) != 0 || header[2].find_first_not_of(" 0") != std::string::npos)
            return std::nullopt;
        DeviceRoute route;
        route.name = header[3];
        const long long count = leadingInteger(header[1]);
        for (long long k = 1; k < count; ++k) {
            if (i >= pieces.size())
                return std::nullopt;
            const std::vector<std::string> point = splitFields(pieces[i++]);
            if (point.size() != 6)
                return std::nullopt;
            DeviceWayPoint w;
            w.shortName = point[4];
            route.waypoints.push_back(std::move(w));
        }
        finished.push_back(std::move(route));
    }
    return finished;
}

std::optional<std::array<std::uint8_t, 8>> parseMemoryAnswer(std::string_view answer, unsigned address)
{
    static constexpr std::string_view head = "$PBRMEMR,";
    const std::size_t at = answer.find(head);
    if (at == std::string_view::npos)
        return std::nullopt;
    answer.remove_prefix(at);
    if (answer.size() < 37)
        return std::nullopt;
    unsigned echoed = 0;
    for (std::size_t i = 9; i < 13; ++i) {
        const int d = hexDigitValue(answer[i]);
        if (d < 0)
            return std::nullopt;
        echoed = echoed * 16 + unsigned(d);
    }
    if (echoed != address)
        return std::nullopt;
    std::array<std::uint8_t, 8> bytes{};
    for (std::size_t k = 0; k < 8; ++k) {
        const std::size_t pos = 14 + 3 * k;
        const int hi = hexDigitValue(answer[pos]);
        const int lo = hexDigitValue(answer[pos + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        bytes[k] = std::uint8_t(hi * 16 + lo);
    }
    return bytes;
}

bool looksLikeCompleteIgc(std::string_view text)
{
    if (text.empty() || text.front() != 'A')
        return false;
    if (text.find("\nB") == std::string_view::npos)
        return false;
    if (text.back() == '\n')
        return true;
    // Recordings may end without a line break after their last G record.
    const std::size_t lineStart = text.find_last_of('\n');
    return lineStart != std::string_view::npos && lineStart + 1 < text.size() && text[lineStart + 1] == 'G';
}

std::string latitudeToString(double degrees)
{
    return coordinateField(degrees, "%02d%02d.%03d", 'N', 'S');
}

std::string longitudeToString(double degrees)
{
    return coordinateField(degrees, "%03d%02d.%03d", 'E', 'W');
}

std::string nameField(std::string_view name)
{
    return padOrCut(removeForbiddenChars(name), 17);
}

std::string writeWaypointCommand(const DeviceWayPoint& waypoint)
{
    double altitude = std::trunc(waypoint.gpsaltitude);
    if (!(altitude >= 0.0))
        altitude = 0.0;
    altitude = std::min(altitude, 9999.0);
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04d", int(altitude));
    return "$PBRWPR," + latitudeToString(waypoint.latitude) + "," + longitudeToString(waypoint.longitude) + ",," +
           nameField(waypoint.shortName) + "," + buffer;
}

std::string memoryWriteCommand(unsigned address, const std::uint8_t* bytes, int count)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "$PBRMEMW,%04x,%1d", address & 0xFFFFu, count);
    std::string out = buffer;
    for (int k = 0; k < 8; ++k) {
        std::snprintf(buffer, sizeof buffer, ",%02x", k < count ? unsigned(bytes[k]) : 0u);
        out += buffer;
    }
    return out;
}

} // namespace kalvora::braeuniger
