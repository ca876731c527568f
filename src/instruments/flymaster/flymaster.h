#pragma once

#include <array>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "instruments/flymaster/flymasterparser.h"
#include "instruments/serialgpsdevice.h"

namespace kalvora {

/**
 * Driver for Flymaster instruments (B1NAV and the GPS, NAV and LIVE families):
 * "$PFM" sentences for identification, track list and waypoints, and a track
 * download as binary packets that are acknowledged one by one and turned into
 * IGC text marked with the security record.
 *
 * Thread use: every operation may run on any thread; the download holds the
 * command lock for its whole length so no other command enters the packet stream.
 */
class Flymaster final : public SerialGpsDevice
{
    Q_OBJECT

public:
    /** Silence after which a download is given up (the instrument stalled). */
    static constexpr std::chrono::milliseconds kDefaultDownloadStall{40000};

    Flymaster(std::unique_ptr<SerialLink> link, std::string pathName, QObject* parent = nullptr);
    ~Flymaster() override;

    /**
     * Opens PATH, sends "$PFMSNP," and closes the line.
     * @return nullptr unless the answer names a Flymaster model.
     */
    [[nodiscard]] static std::unique_ptr<GpsDevice> open(const std::string& path,
                                                         std::unique_ptr<SerialLink> link);

    [[nodiscard]] std::string driverId() const override { return "flymaster"; }
    [[nodiscard]] bool has(DeviceOperation operation) const override;

    /** -1 unknown, 0 B1NAV, 1 GPS/NAV/LIVE family. */
    [[nodiscard]] int deviceType() const { return m_deviceType; }

    [[nodiscard]] std::vector<Track> tracks() override;
    /**
     * Downloads TRACK as packets and writes its IGC text, marked as written by
     * this program. false when cancelled, when the instrument stalls before the
     * end marker, or when the flight information packet is missing.
     */
    [[nodiscard]] bool igcTrack(Track& track) override;
    [[nodiscard]] std::vector<DeviceWayPoint> waypoints() override;
    /**
     * Sends the waypoint; the instrument's answer is not examined. Fails only when
     * the line cannot be opened.
     */
    [[nodiscard]] Result<Done> writeWaypoint(const DeviceWayPoint& waypoint) override;

    /** The silence that ends a stalled download; tests shorten it. */
    void setDownloadStall(std::chrono::milliseconds stall) { m_downloadStall = stall; }

    /** The packets of the last download, for diagnostics (empty after a failure). */
    [[nodiscard]] std::size_t lastPacketCount() const { return m_lastPacketCount; }

    /** The settings texts kept in the in-memory image (16 bytes each); nothing sends them. */
    void setSettingText(int slot, const std::string& text);
    [[nodiscard]] std::string settingText(int slot) const;

private:
    /** The packets of the download of the track starting at STARTUTC; nullopt on failure. */
    std::optional<std::vector<flymaster::Block>> dataBlocks(std::int64_t startUtc);

    int m_deviceType = -1;
    std::chrono::milliseconds m_downloadStall = kDefaultDownloadStall;
    std::size_t m_lastPacketCount = 0;
    mutable std::mutex m_memoryMutex;
    std::array<char, 64> m_memory{};
};

} // namespace kalvora
