#include "braeunigersim.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace kalvora::sim {
namespace {

std::vector<std::string> split(const std::string& text)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == ',') {
            fields.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return fields;
}

std::string pad17(const std::string& name)
{
    std::string out = name.substr(0, 17);
    out.resize(17, ' ');
    return out;
}

/** "4715.000" + "N" -> 47.25 */
double degreesFromField(const std::string& value, const std::string& hemisphere)
{
    const double v = std::atof(value.c_str());
    const double degrees = std::floor(v / 100.0);
    double result = degrees + (v - degrees * 100.0) / 60.0;
    if (hemisphere == "S" || hemisphere == "W")
        result = -result;
    return result;
}

std::string coordinateField(double degrees, bool latitude)
{
    const double a = std::fabs(degrees);
    const int whole = int(a);
    const double minutes = (a - whole) * 60.0;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, latitude ? "%02d%06.3f,%c" : "%03d%06.3f,%c", whole, minutes,
                  latitude ? (degrees < 0 ? 'S' : 'N') : (degrees < 0 ? 'W' : 'E'));
    return buffer;
}

std::string twoDigit(long value)
{
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "%02ld", value);
    return buffer;
}

std::string trackLine(const char* head, std::size_t count, std::size_t number, const IgcFile& file)
{
    using namespace std::chrono;
    const sys_days days = floor<std::chrono::days>(file.startUTC);
    const year_month_day ymd{days};
    const hh_mm_ss hms{file.startUTC - days};
    const long duration = std::max<long>(0, long(file.flightTimeS));
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, "%s%zu,%02zu,%02u.%02u.%02d,%02ld:%02ld:%02ld,%02ld:%02ld:%02ld", head, count,
                  number, unsigned(ymd.day()), unsigned(ymd.month()), int(ymd.year()) % 100,
                  long(hms.hours().count()), long(hms.minutes().count()), long(hms.seconds().count()),
                  duration / 3600, duration / 60 % 60, duration % 60);
    return buffer;
}

} // namespace

BraeunigerSim::BraeunigerSim(std::string model, std::vector<IgcFile> tracks)
    : m_model(std::move(model)), m_tracks(std::move(tracks))
{
    for (unsigned i = 0; i < m_memory.size(); ++i)
        m_memory[i] = std::uint8_t((i * 7 + 3) & 0xFF);
    const auto text = [&](unsigned at, const char* value) {
        for (unsigned k = 0; k < 16; ++k)
            m_memory[at + k] = k < std::strlen(value) ? std::uint8_t(value[k]) : 0;
    };
    text(0x000, "SIM PILOT");
    text(0x0C0, "SIM GLIDER");
    text(0x0E0, "D-1234");
    m_memory[0x04A] = 50;  // base volume
    m_memory[0x066] = 0x02; // up base frequency 700 Hz
    m_memory[0x067] = 0xBC;
    m_memory[0x068] = 0x02; // down base frequency 600 Hz
    m_memory[0x069] = 0x58;
    m_memory[0x07F] = 0;    // first polar
    m_memory[0x09C] = 1;    // user page
    m_memory[0x096] = 0;
    m_memory[0x09F] = 0x21;
    m_waypoints = {
        {47.25, 8.5, "STAAA", pad17("Startplatz"), 1520},
        {46.5, 7.25, "LANDE", pad17("Landeplatz"), 610},
    };
}

void BraeunigerSim::setExtendedLists(bool extended)
{
    std::lock_guard lock(m_mutex);
    m_extended = extended;
}

void BraeunigerSim::setWaypointReply(WaypointReply reply)
{
    std::lock_guard lock(m_mutex);
    m_waypointReply = reply;
}

void BraeunigerSim::setWaypoints(std::vector<Waypoint> waypoints)
{
    std::lock_guard lock(m_mutex);
    m_waypoints = std::move(waypoints);
}

void BraeunigerSim::setRoutes(std::vector<Route> routes)
{
    std::lock_guard lock(m_mutex);
    m_routes = std::move(routes);
}

void BraeunigerSim::setMemoryByte(unsigned address, std::uint8_t value)
{
    std::lock_guard lock(m_mutex);
    if (address < m_memory.size())
        m_memory[address] = value;
}

std::vector<BraeunigerSim::Waypoint> BraeunigerSim::waypoints() const
{
    std::lock_guard lock(m_mutex);
    return m_waypoints;
}

std::vector<BraeunigerSim::Route> BraeunigerSim::routes() const
{
    std::lock_guard lock(m_mutex);
    return m_routes;
}

std::array<std::uint8_t, 1024> BraeunigerSim::memory() const
{
    std::lock_guard lock(m_mutex);
    return m_memory;
}

std::vector<std::string> BraeunigerSim::commandLog() const
{
    std::lock_guard lock(m_mutex);
    return m_log;
}

void BraeunigerSim::clearCommandLog()
{
    std::lock_guard lock(m_mutex);
    m_log.clear();
}

void BraeunigerSim::answer(Channel& channel, const std::string& sentence)
{
    channel.send(frame(sentence));
}

void BraeunigerSim::handleLine(const std::string& line, Channel& channel)
{
    // Anything before the sentence start (noise on the line) is ignored.
    const std::size_t dollar = line.find('$');
    if (dollar == std::string::npos)
        return;
    const std::optional<std::string> command = unframe(std::string_view(line).substr(dollar));
    if (!command)
        return;
    std::unique_lock lock(m_mutex);
    m_log.push_back(*command);
    const std::vector<std::string> f = split(*command);
    const std::string& head = f[0];

    if (head == "$PBRSNP") {
        lock.unlock();
        answer(channel, "$PBRSNP," + m_model + ",00421,1.40");
    } else if (head == "$PBRTLE" || head == "$PBRTL") {
        if (head == "$PBRTLE" && !m_extended)
            return;
        std::string out;
        for (std::size_t i = 0; i < m_tracks.size(); ++i)
            out += frame(trackLine((head + ",").c_str(), m_tracks.size(), i + 1, m_tracks[i]));
        lock.unlock();
        if (!out.empty())
            channel.send(out);
    } else if (head == "$PBRTR" && f.size() >= 2) {
        const long number = std::atol(f[1].c_str());
        if (number < 1 || std::size_t(number) > m_tracks.size())
            return;
        const std::string text = m_tracks[std::size_t(number) - 1].text;
        lock.unlock();
        channel.send(text, true);
    } else if (head == "$PBRWPSE" || head == "$PBRWPS") {
        if (head == "$PBRWPSE" && !m_extended)
            return;
        std::string out;
        for (const Waypoint& w : m_waypoints) {
            char alt[16];
            std::snprintf(alt, sizeof alt, "%04d", w.altitude);
            out += frame(head + "," + coordinateField(w.latitude, true) + "," + coordinateField(w.longitude, false) +
                         "," + w.shortName + "," + pad17(w.longName) + "," + alt);
        }
        lock.unlock();
        if (!out.empty())
            channel.send(out);
    } else if (head == "$PBRWPR" && f.size() >= 8) {
        Waypoint w;
        w.latitude = degreesFromField(f[1], f[2]);
        w.longitude = degreesFromField(f[3], f[4]);
        w.shortName = f[5];
        w.longName = pad17(f[6]);
        w.altitude = std::atoi(f[7].c_str());
        const auto same = std::find_if(m_waypoints.begin(), m_waypoints.end(),
                                       [&](const Waypoint& x) { return x.longName == w.longName; });
        const bool full = same == m_waypoints.end() && m_waypoints.size() >= kMaxWaypoints;
        const WaypointReply reply = m_waypointReply;
        if (full || reply == WaypointReply::Full)
            return;
        if (same != m_waypoints.end())
            *same = w;
        else
            m_waypoints.push_back(w);
        lock.unlock();
        if (reply == WaypointReply::FlowControl)
            channel.send("\x13\x11"); // XOFF while the point is stored, XON when done
        else
            answer(channel, *command);
    } else if (head == "$PBRWPX" && f.size() >= 2) {
        if (f.size() >= 3 && f[1].empty() && f[2].empty())
            m_waypoints.clear();
        else
            std::erase_if(m_waypoints, [&](const Waypoint& w) { return w.longName == pad17(f[1]); });
        lock.unlock();
        answer(channel, *command);
    } else if (head == "$PBRRTS") {
        std::string out;
        for (const Route& r : m_routes) {
            const std::string number = twoDigit(r.number);
            const std::string count = twoDigit(long(r.pointNames.size()) + 1);
            out += frame("$PBRRTS," + number + "," + count + ",00," + pad17(r.name));
            for (std::size_t k = 0; k < r.pointNames.size(); ++k)
                out += frame("$PBRRTS," + number + "," + count + "," + twoDigit(long(k) + 1) + ",," +
                             pad17(r.pointNames[k]));
        }
        lock.unlock();
        if (!out.empty())
            channel.send(out);
    } else if (head == "$PBRRTR" && f.size() >= 5) {
        const int number = std::atoi(f[1].c_str());
        const int point = std::atoi(f[3].c_str());
        auto route = std::find_if(m_routes.begin(), m_routes.end(), [&](const Route& r) { return r.number == number; });
        if (point == 0) {
            if (route == m_routes.end()) {
                m_routes.push_back({});
                route = m_routes.end() - 1;
            }
            *route = Route{number, pad17(f[4]), {}};
        } else if (route != m_routes.end() && f.size() >= 6) {
            route->pointNames.push_back(pad17(f[5]));
        }
        lock.unlock();
        answer(channel, *command);
    } else if (head == "$PBRRTX" && f.size() >= 2) {
        if (f.size() >= 3 && f[1].empty() && f[2].empty())
            m_routes.clear();
        else
            std::erase_if(m_routes, [&](const Route& r) { return pad17(r.name) == pad17(f[1]); });
        lock.unlock();
        answer(channel, *command);
    } else if (head == "$PBRMEMR" && f.size() >= 2) {
        const unsigned address = unsigned(std::strtoul(f[1].c_str(), nullptr, 16));
        char out[96];
        int n = std::snprintf(out, sizeof out, "$PBRMEMR,%04X", address);
        for (unsigned k = 0; k < 8; ++k)
            n += std::snprintf(out + n, sizeof out - std::size_t(n), ",%02X",
                               address + k < m_memory.size() ? unsigned(m_memory[address + k]) : 0u);
        lock.unlock();
        answer(channel, out);
    } else if (head == "$PBRMEMW" && f.size() >= 11) {
        const unsigned address = unsigned(std::strtoul(f[1].c_str(), nullptr, 16));
        const int count = std::atoi(f[2].c_str());
        if (!m_hasPending)
            m_pending = m_memory;
        m_hasPending = true;
        for (int k = 0; k < count && k < 8; ++k)
            if (address + unsigned(k) < m_pending.size())
                m_pending[address + unsigned(k)] = std::uint8_t(std::strtoul(f[3 + std::size_t(k)].c_str(), nullptr, 16));
        lock.unlock();
        answer(channel, *command);
    } else if (head == "$PBRCONF") {
        // The instrument takes the written bytes over only now.
        if (m_hasPending)
            m_memory = m_pending;
        m_hasPending = false;
        lock.unlock();
        answer(channel, *command);
    }
}

} // namespace kalvora::sim
