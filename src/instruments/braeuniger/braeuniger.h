#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "instruments/braeuniger/braeunigermemory.h"
#include "instruments/braeuniger/braeunigerparser.h"
#include "instruments/serialgpsdevice.h"

namespace kalvora {

/**
 * Driver for the instruments of the "$PBR" sentence protocol: Bräuniger Galileo,
 * Competino(+), Compeo(+) and Flytec 5020/5030/6020/6030. Identifies the model,
 * lists and downloads tracks (IGC text as the instrument sends it), reads, writes
 * and deletes waypoints and routes, and reads and writes the settings memory.
 *
 * Each command reopens the line and runs under the recursive command lock.
 * Settings writes run one at a time, in order, on the driver's write queue.
 */
class Braeuniger final : public SerialGpsDevice
{
    Q_OBJECT

public:
    /** Limits of the instruments. */
    static constexpr int kMaxWaypoints = 200;

    /**
     * Opens the line at PATH, identifies the instrument and closes the line;
     * nullptr when it is no "$PBR" instrument. Any thread.
     */
    [[nodiscard]] static std::unique_ptr<GpsDevice> open(const std::string& path, std::unique_ptr<SerialLink> link);

    Braeuniger(std::unique_ptr<SerialLink> link, std::string pathName, QObject* parent = nullptr);
    ~Braeuniger() override;

    [[nodiscard]] std::string driverId() const override { return "braeuniger"; }
    [[nodiscard]] bool has(DeviceOperation operation) const override;
    [[nodiscard]] braeuniger::DeviceType deviceType() const { return m_deviceType; }

    /** Sends "$PBRSNP," and stores model and display name; false when the answer names no known model. */
    [[nodiscard]] bool checkDevice();

    [[nodiscard]] std::vector<Track> tracks() override;
    [[nodiscard]] bool igcTrack(Track& track) override;
    [[nodiscard]] std::optional<int> maxWaypoints() const override { return kMaxWaypoints; }
    [[nodiscard]] std::vector<DeviceWayPoint> waypoints() override;
    /** Always succeeds: the instrument's answer is not examined. */
    [[nodiscard]] Result<Done> writeWaypoint(const DeviceWayPoint& waypoint) override;
    [[nodiscard]] Result<Done> deleteWaypoints(const std::vector<DeviceWayPoint>& waypoints) override;
    [[nodiscard]] Result<Done> deleteAllWaypoints() override;
    /** Also remembers the routes to mark route waypoints and to delete routes. */
    [[nodiscard]] std::optional<std::vector<DeviceRoute>> routes() override;
    [[nodiscard]] Result<Done> writeRoute(const RouteToWrite& route) override;
    [[nodiscard]] Result<Done> deleteRoutes(const std::vector<DeviceRoute>& routes) override;
    [[nodiscard]] Result<Done> deleteAllRoutes() override;
    /** Deletes the waypoints of each listed route. */
    [[nodiscard]] Result<Done> deleteWaypointsFromRoutes(const std::vector<DeviceRoute>& routes);
    /** The routes of the last route read. */
    [[nodiscard]] std::vector<DeviceRoute> routeArray() const;

    /** Reads the 536 bytes of settings memory (67 reads of 8 bytes). False on a missing answer or cancel. */
    [[nodiscard]] bool readSettings() override;
    [[nodiscard]] std::vector<DeviceSetting> settingsValues() const override;

    /** The memory image (a copy; valid after a successful readSettings()). */
    [[nodiscard]] BraeunigerMemory memory() const;
    [[nodiscard]] bool settingsValid() const;

    /**
     * Changes one setting as the settings view does: encodes VALUE into the image
     * and queues the write of its bytes (texts by setSettingText). Changing
     * `upBaseFreq` below `downBaseFreq` also lowers `downBaseFreq`. False for an
     * unknown name or a value that is not written (for example a polar value
     * while the first polar is in use). GUI thread.
     */
    bool setSetting(const std::string& name, double value);
    /** `owner`, `gliderType` or `gliderID`: 16 ASCII bytes, written as two 8-byte pieces. */
    bool setSettingText(const std::string& name, const std::string& text);

    /**
     * Queues the write of LENGTH bytes of the image at ADDRESS: the start is
     * aligned down to a multiple of 8 and at least 8 bytes go out, each piece as
     * "$PBRMEMW", then "$PBRCONF,". True when queued.
     */
    bool writeMemoryData(unsigned address, unsigned length = 2);
    /** The slider path: on a model using the first polar, 85-90 become 122-127 and 91 becomes 126. */
    bool sliderWriteMemoryData(unsigned address);
    /** Blocks until every queued write has finished (tests, the CLI). */
    void waitForWrites();

signals:
    /**
     * A queued write has ended: OK false when the line could not be opened or a
     * piece got no answer (the pieces before it stay written, "$PBRCONF," is not
     * sent). Emitted on the write queue's thread.
     */
    void memoryWritten(unsigned address, unsigned length, bool ok);

private:
    struct WriteOperation
    {
        BraeunigerMemory image;
        unsigned position = 0;
        unsigned length = 0;
    };

    [[nodiscard]] std::string command(std::string_view sentence);
    void runWriteQueue();
    bool writeMemory(const WriteOperation& operation);

    braeuniger::DeviceType m_deviceType = braeuniger::DeviceType::Unknown;

    mutable std::mutex m_stateMutex;
    std::vector<DeviceRoute> m_routeArray;
    BraeunigerMemory m_memory;
    bool m_settingsValid = false;

    std::mutex m_queueMutex;
    std::condition_variable m_queueChanged;
    std::deque<WriteOperation> m_queue;
    bool m_writing = false;
    bool m_stopQueue = false;
    std::thread m_writeThread;
};

} // namespace kalvora
