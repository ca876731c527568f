#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kalvora::sim {

/**
 * What a Flymaster instrument knows and how it answers: its model name, tracks
 * loaded from IGC files (sent as binary packets on download), and waypoints
 * that "$PFMWPR" sentences add. Plain state machine without I/O.
 */
class FlymasterInstrument
{
public:
    /** One fix as the instrument records it. */
    struct Fix
    {
        std::int32_t latitude = 0;  ///< thousandths of a minute, north positive
        std::int32_t longitude = 0; ///< thousandths of a minute, east positive
        std::int16_t gpsAltitudeM = 0;
        std::int16_t pressure = 0; ///< tenths of a hPa
        std::uint32_t time = 0;    ///< [s] since 2000-01-01 UTC
        bool valid = true;
    };

    struct StoredTrack
    {
        std::int64_t startUtc = 0;
        std::int64_t durationS = 0;
        std::string pilot;
        std::string gliderType;
        std::string gliderId;
        std::vector<Fix> fixes;
    };

    struct Waypoint
    {
        std::string name;
        double latitudeDeg = 0;
        double longitudeDeg = 0;
        int altitudeM = 0;
    };

    explicit FlymasterInstrument(std::string model = "GpsSD");

    /** Adds a track from IGC text (its date record and B records); false without both. */
    bool addTrack(std::string_view igc);
    void addWaypoint(Waypoint waypoint) { m_waypoints.push_back(std::move(waypoint)); }

    /**
     * The answer to a text sentence (without the frame), each sentence framed
     * with its checksum and CR LF. Empty for an unknown sentence.
     */
    std::string answer(std::string_view sentence);

    /**
     * The packets of a download sentence "$PFMDNL,yyMMddHHmmss,", each with its
     * check byte, ending with the end marker A3 A3 as its own entry.
     * nullopt when the sentence asks for no known track.
     */
    std::optional<std::vector<std::string>> downloadPackets(std::string_view sentence) const;

    const std::vector<StoredTrack>& tracks() const { return m_tracks; }
    const std::vector<Waypoint>& waypoints() const { return m_waypoints; }

    /** Packets of one track (for tests and the benchmark). */
    static std::vector<std::string> packetsOf(const StoredTrack& track);

private:
    std::string m_model;
    std::vector<StoredTrack> m_tracks;
    std::vector<Waypoint> m_waypoints;
};

/** SENTENCE + "*" + XOR checksum + CR LF. */
std::string framedSentence(std::string_view sentence);

} // namespace kalvora::sim
