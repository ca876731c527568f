#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "instruments/flytec/flytecparser.h"
#include "instruments/serialgpsdevice.h"

namespace kalvora {

/** The parameters of a Flytec instrument as last read or written. */
struct FlytecParameters
{
    std::string owner;         ///< address 00, up to 16 characters
    std::string instrument;    ///< address 01
    std::string license;       ///< address 02
    std::uint16_t units = 0;   ///< address 03, bit field (flytec::unit*)
    std::uint16_t diverse = 0; ///< address 04, bit field (flytec::diverse*)
    /** The numbers by address (05 .. 22), masked to their width. */
    std::map<int, std::uint32_t> numbers;
    bool operator==(const FlytecParameters&) const = default;
};

/**
 * Driver for the Flytec instruments of the "ACT_"/"RFA_"/"WFA_" command protocol:
 * tracks (list, download, delete all), up to 200 waypoints, the one route, and
 * the parameters. Every command opens the line anew and waits for 0.2 s of
 * silence after the answer; an answer is a success when it contains "Done".
 *
 * Thread use: every operation may run on any thread; commands are serialised
 * by the command lock, so a parameter write from the GUI thread waits for a
 * running list read.
 */
class Flytec final : public SerialGpsDevice
{
    Q_OBJECT

public:
    Flytec(std::unique_ptr<SerialLink> link, std::string pathName, QObject* parent = nullptr);
    ~Flytec() override;

    /**
     * Opens PATH, sends the identification "ACT_BD_DD" and closes the line. Any
     * non-empty answer identifies the instrument and becomes its name.
     * @return nullptr when nothing answered.
     */
    [[nodiscard]] static std::unique_ptr<GpsDevice> open(const std::string& path,
                                                         std::unique_ptr<SerialLink> link);

    [[nodiscard]] std::string driverId() const override { return "flytec"; }
    [[nodiscard]] bool has(DeviceOperation operation) const override;

    [[nodiscard]] std::vector<Track> tracks() override;
    [[nodiscard]] bool igcTrack(Track& track) override;
    [[nodiscard]] Result<Done> deleteAllTracks() override;

    [[nodiscard]] std::optional<int> maxWaypoints() const override { return flytec::maxWaypoints; }
    /** The waypoints sorted by name; also remembered for deleteWaypoints(). */
    [[nodiscard]] std::vector<DeviceWayPoint> waypoints() override;
    /** Errors: "Waypoint list is full", "Waypoint with name already exist", "Undefined error". */
    [[nodiscard]] Result<Done> writeWaypoint(const DeviceWayPoint& waypoint) override;
    /**
     * The instrument deletes only all waypoints at once: the listed ones are taken
     * from the list last read, all are deleted and the rest written back. A failure
     * while writing back leaves the instrument with those written so far. Refused
     * (nothing deleted) unless the list was read whole before.
     */
    [[nodiscard]] Result<Done> deleteWaypoints(const std::vector<DeviceWayPoint>& waypoints) override;
    [[nodiscard]] Result<Done> deleteAllWaypoints() override;

    /** The one route (points in the instrument's order), none for "No Data"; nullopt without an answer. */
    [[nodiscard]] std::optional<std::vector<DeviceRoute>> routes() override;
    [[nodiscard]] std::optional<int> maxRoutes() const override { return flytec::maxRoutes; }
    /** Replaces the instrument's route. Errors: "Error removing old route.", "Route waypoint list is full",
     * "Undefined error". */
    [[nodiscard]] Result<Done> writeRoute(const RouteToWrite& route) override;
    [[nodiscard]] Result<Done> deleteRoutes(const std::vector<DeviceRoute>& routes) override;

    /** Reads every parameter; false when one is missing ("No Par") or nothing answered. */
    [[nodiscard]] bool readSettings() override;
    [[nodiscard]] std::vector<DeviceSetting> settingsValues() const override;

    /** The parameters as last read or successfully written. */
    [[nodiscard]] FlytecParameters parameters() const;

    /**
     * Writes a text parameter (address 00 owner, 01 instrument, 02 license) when it
     * differs from the instrument's value; its first 16 ASCII characters are sent.
     */
    [[nodiscard]] bool setText(int address, const std::string& text);
    /** Replaces FIELD of the units (address 03) or diverse (04) word and writes the word when it changed. */
    [[nodiscard]] bool setBits(int address, flytec::BitField field, int value);
    /** Writes a number parameter (addresses 05 .. 22) with its width. */
    [[nodiscard]] bool setNumber(int address, std::int64_t value);

private:
    /** One command with the Flytec exchange within LIMITS; nullopt when nothing answered. */
    std::optional<std::string> command(std::string_view text, const ExchangeLimits& limits = {});
    /** "ACT_82_00" then WRITE; true when both were accepted. */
    bool writeParameter(const std::string& write);
    Result<Done> deleteRouteOnInstrument();
    Result<Done> rewriteWaypoints(std::vector<DeviceWayPoint> keep);

    mutable std::mutex m_stateMutex;
    std::vector<DeviceWayPoint> m_waypointArray;
    /** The last waypoint read came back whole; only then may a delete rewrite the list. */
    bool m_waypointsKnown = false;
    FlytecParameters m_stored;
};

} // namespace kalvora
