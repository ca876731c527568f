#include "flytecinstrument.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <utility>

#include "instruments/flytec/flytecparser.h"
#include "track/igc.h"

namespace kalvora::sim {

namespace {

std::string trimmed(std::string_view s)
{
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    const auto last = s.find_last_not_of(" \t\r\n");
    return std::string(s.substr(first, last - first + 1));
}

int hexByte(std::string_view two)
{
    int value = 0;
    for (char c : two.substr(0, 2)) {
        value <<= 4;
        if (c >= '0' && c <= '9')
            value |= c - '0';
        else if (c >= 'A' && c <= 'F')
            value |= c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            value |= c - 'a' + 10;
        else
            return -1;
    }
    return two.size() >= 2 ? value : -1;
}

/** The data line of a write command: the text after the command's own CR LF, without its CR LF. */
std::string dataLineOf(std::string_view command)
{
    const auto first = command.find("\r\n");
    if (first == std::string_view::npos)
        return {};
    std::string_view rest = command.substr(first + 2);
    if (rest.size() >= 2 && rest.substr(rest.size() - 2) == "\r\n")
        rest.remove_suffix(2);
    return std::string(rest);
}

std::string nameOf(const std::string& line)
{
    return trimmed(line.substr(0, line.find(';')));
}

std::string withDone(const std::vector<std::string>& lines)
{
    if (lines.empty())
        return "No Data\r\n";
    std::string out;
    for (const std::string& l : lines)
        out += l + "\r\n";
    return out + "Done\r\n";
}

} // namespace

FlytecInstrument::FlytecInstrument(std::string identification) : m_identification(std::move(identification))
{
    // A plausible parameter memory: owner, instrument, licence texts, then numbers.
    auto text = [](std::string_view s) {
        std::vector<std::uint8_t> bytes(16, ' ');
        std::copy_n(s.begin(), std::min<std::size_t>(s.size(), 16), bytes.begin());
        return bytes;
    };
    m_parameters[0x00] = text("Pilot Example");
    m_parameters[0x01] = text("Flytec 6015");
    m_parameters[0x02] = text("LIC-0001");
    m_parameters[0x03] = {0x21, 0x02};
    m_parameters[0x04] = {0x05, 0x10};
    for (int address : flytec::parameterAddresses()) {
        const int width = flytec::parameterWidth(address);
        if (address > 0x04 && width > 0)
            m_parameters[address] = std::vector<std::uint8_t>(static_cast<std::size_t>(width / 8),
                                                              static_cast<std::uint8_t>(address));
    }
}

bool FlytecInstrument::addTrack(std::string igc)
{
    const auto summary = IGC::getTrackFromIGCData(igc);
    if (!summary)
        return false;
    m_tracks.push_back({std::move(igc), summary->startUTC.time_since_epoch().count(), summary->flightTimeS});
    return true;
}

void FlytecInstrument::addWaypointLine(std::string line)
{
    m_waypoints.push_back(std::move(line));
}

void FlytecInstrument::removeParameter(int address)
{
    m_parameters.erase(address);
}

void FlytecInstrument::setParameterBytes(int address, std::vector<std::uint8_t> bytes)
{
    m_parameters[address] = std::move(bytes);
}

std::optional<std::vector<std::uint8_t>> FlytecInstrument::parameterBytes(int address) const
{
    const auto it = m_parameters.find(address);
    if (it == m_parameters.end())
        return std::nullopt;
    return it->second;
}

std::string FlytecInstrument::answer(std::string_view command)
{
    m_log.emplace_back(command);
    const std::string head(command.substr(0, std::min<std::size_t>(command.size(), 9)));
    const bool writeMode = std::exchange(m_writeMode, false);

    if (head == "ACT_BD_DD")
        return m_identification + "\r\n";
    if (head == "ACT_20_00") {
        std::vector<std::string> lines;
        for (std::size_t i = 0; i < m_tracks.size(); ++i) {
            const StoredTrack& t = m_tracks[i];
            using namespace std::chrono;
            const sys_seconds start{seconds{t.startUtc}};
            const year_month_day ymd{floor<days>(start)};
            const auto tod = t.startUtc - floor<days>(start).time_since_epoch().count() * 86400;
            char buf[96];
            std::snprintf(buf, sizeof buf, "%zu;%02d.%02u.%02u;%02lld:%02lld:%02lld;1;%03lld:%02lld:%02lld",
                          i, static_cast<int>(ymd.year()) % 100, static_cast<unsigned>(ymd.month()),
                          static_cast<unsigned>(ymd.day()), static_cast<long long>(tod / 3600),
                          static_cast<long long>(tod / 60 % 60), static_cast<long long>(tod % 60),
                          static_cast<long long>(t.durationS / 3600),
                          static_cast<long long>(t.durationS / 60 % 60),
                          static_cast<long long>(t.durationS % 60));
            lines.emplace_back(buf);
        }
        return withDone(lines);
    }
    if (head.rfind("ACT_21_", 0) == 0) {
        const int number = hexByte(command.substr(7, 2));
        if (number < 0 || static_cast<std::size_t>(number) >= m_tracks.size())
            return "No Data\r\n";
        return m_tracks[static_cast<std::size_t>(number)].igc;
    }
    if (head == "ACT_22_00") {
        m_tracks.clear();
        return "Done\r\n";
    }
    if (head == "ACT_30_00") {
        m_waypoints.clear();
        return "Done\r\n";
    }
    if (head == "ACT_31_00")
        return withDone(m_waypoints);
    if (head == "ACT_32_00") {
        const std::string line = dataLineOf(command);
        if (!flytec::parseWaypointLine(line))
            return "Error: data\r\n";
        if (m_waypoints.size() >= static_cast<std::size_t>(flytec::maxWaypoints))
            return "Error: full list\r\n";
        const std::string name = nameOf(line);
        if (std::any_of(m_waypoints.begin(), m_waypoints.end(),
                        [&](const std::string& l) { return nameOf(l) == name; }))
            return "Error: name already exist\r\n";
        m_waypoints.push_back(line);
        return "Done\r\n";
    }
    if (head == "ACT_40_00") {
        m_route.clear();
        return "Done\r\n";
    }
    if (head == "ACT_41_00")
        return withDone(m_route);
    if (head == "ACT_42_00") {
        const std::string line = dataLineOf(command);
        if (!flytec::parseWaypointLine(line))
            return "Error: data\r\n";
        if (m_route.size() >= m_routeCapacity)
            return "Error: full list\r\n";
        m_route.push_back(line);
        return "Done\r\n";
    }
    if (head == "ACT_82_00") {
        m_writeMode = true;
        return "Done\r\n";
    }
    if (command.rfind("RFA_", 0) == 0) {
        const int address = hexByte(command.substr(4, 2));
        const auto it = m_parameters.find(address);
        if (address < 0 || it == m_parameters.end())
            return "No Par\r\n";
        std::string out = "RFA_" + std::string(command.substr(4, 2)) + "_";
        for (std::uint8_t b : it->second) {
            char buf[3];
            std::snprintf(buf, sizeof buf, "%02X", b);
            out += buf;
        }
        return out + "\r\n";
    }
    if (command.rfind("WFA_", 0) == 0) {
        const int address = hexByte(command.substr(4, 2));
        const auto it = m_parameters.find(address);
        if (address < 0 || it == m_parameters.end())
            return "No Par\r\n";
        if (!writeMode)
            return "not ready\r\n";
        std::vector<std::uint8_t> bytes;
        std::string_view data = command.substr(std::min<std::size_t>(command.size(), 7));
        for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
            const int b = hexByte(data.substr(i, 2));
            if (b < 0)
                break;
            bytes.push_back(static_cast<std::uint8_t>(b));
        }
        it->second = std::move(bytes);
        return "Done\r\n";
    }
    return {};
}

} // namespace kalvora::sim
