#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "simcommon/simulator.h"

namespace kalvora::sim {

/**
 * A simulated instrument of the "$PBR" protocol: identification with any model
 * name, track list and download from real IGC files, waypoints, routes and the
 * settings memory, writes and deletes that change its state. Sentences with a
 * wrong checksum are ignored, as an instrument would.
 */
class BraeunigerSim final : public Simulator
{
public:
    struct Waypoint
    {
        double latitude = 0;  ///< degrees, north positive
        double longitude = 0; ///< degrees, east positive
        std::string shortName; ///< 6 characters on the instrument
        std::string longName;  ///< 17 characters, space padded
        int altitude = 0;      ///< [m]
        bool operator==(const Waypoint&) const = default;
    };
    struct Route
    {
        int number = 1;
        std::string name;
        std::vector<std::string> pointNames; ///< long names
        bool operator==(const Route&) const = default;
    };

    static constexpr std::size_t kMaxWaypoints = 200;

    /** How the instrument answers a waypoint write. */
    enum class WaypointReply
    {
        /** Stores the point and echoes the sentence (with a full memory: as Full). */
        Echo,
        /** Stores nothing and says nothing, as a full memory does. */
        Full,
        /** Stores the point and answers with flow control alone (XOFF, XON), as some models do. */
        FlowControl,
    };

    /** MODEL is what the identification answers (for example "COMPEO+"). */
    BraeunigerSim(std::string model, std::vector<IgcFile> tracks);

    void handleLine(const std::string& line, Channel& channel) override;

    /** Instruments without the extended lists answer nothing to "$PBRTLE," and "$PBRWPSE,". */
    void setExtendedLists(bool extended);
    void setWaypointReply(WaypointReply reply);
    void setWaypoints(std::vector<Waypoint> waypoints);
    void setRoutes(std::vector<Route> routes);
    void setMemoryByte(unsigned address, std::uint8_t value);

    [[nodiscard]] std::vector<Waypoint> waypoints() const;
    [[nodiscard]] std::vector<Route> routes() const;
    [[nodiscard]] std::array<std::uint8_t, 1024> memory() const;
    /** Every sentence received with a good checksum, without the framing. */
    [[nodiscard]] std::vector<std::string> commandLog() const;
    void clearCommandLog();

private:
    void answer(Channel& channel, const std::string& sentence);

    mutable std::mutex m_mutex;
    std::string m_model;
    std::vector<IgcFile> m_tracks;
    bool m_extended = true;
    WaypointReply m_waypointReply = WaypointReply::Echo;
    std::vector<Waypoint> m_waypoints;
    std::vector<Route> m_routes;
    std::array<std::uint8_t, 1024> m_memory{};
    std::array<std::uint8_t, 1024> m_pending{};
    bool m_hasPending = false;
    std::vector<std::string> m_log;
};

} // namespace kalvora::sim
