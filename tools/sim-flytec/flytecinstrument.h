#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kalvora::sim {

/**
 * What a Flytec instrument of the command protocol knows and how it answers:
 * tracks loaded from IGC files, up to 200 waypoints, one route (30 points
 * unless set otherwise), and the parameter memory. Writes and deletes change it.
 * Plain state machine without I/O: the simulator program feeds it the
 * unframed commands and sends the answers.
 */
class FlytecInstrument
{
public:
    struct StoredTrack
    {
        std::string igc;
        std::int64_t startUtc = 0;
        std::int64_t durationS = 0;
    };

    static constexpr int defaultRouteCapacity = 30;

    explicit FlytecInstrument(std::string identification = "Flytec 6015 V3.14");

    /** Adds a track from IGC text; false when the text has no date and fixes. */
    bool addTrack(std::string igc);
    /** Adds a waypoint as the instrument stores it (a data line without CR LF). */
    void addWaypointLine(std::string line);
    /** Removes the parameter at ADDRESS: reads and writes of it answer "No Par". */
    void removeParameter(int address);
    void setParameterBytes(int address, std::vector<std::uint8_t> bytes);
    /** Points the one route may hold. */
    void setRouteCapacity(std::size_t points) { m_routeCapacity = points; }

    /**
     * The answer to one command (the text before the '*' of the frame, CR LF
     * included). Empty for a command the instrument does not know: it stays silent.
     */
    std::string answer(std::string_view command);

    const std::vector<StoredTrack>& tracks() const { return m_tracks; }
    const std::vector<std::string>& waypointLines() const { return m_waypoints; }
    const std::vector<std::string>& routeLines() const { return m_route; }
    std::optional<std::vector<std::uint8_t>> parameterBytes(int address) const;
    /** Every command received, in order (without framing). */
    const std::vector<std::string>& log() const { return m_log; }

private:
    std::string m_identification;
    std::vector<StoredTrack> m_tracks;
    std::vector<std::string> m_waypoints;
    std::vector<std::string> m_route;
    std::map<int, std::vector<std::uint8_t>> m_parameters;
    std::size_t m_routeCapacity = defaultRouteCapacity;
    bool m_writeMode = false;
    std::vector<std::string> m_log;
};

} // namespace kalvora::sim
