#pragma once

#include <QObject>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "instruments/deviceroute.h"
#include "instruments/devicewaypoint.h"
#include "instruments/track.h"
#include "track/result.h"

namespace kalvora {

class GpsDevice;

/**
 * Where a driver's list reads end up (the device window). Every call arrives on
 * the thread that owns the driver object (the GUI thread), never from a worker.
 */
class GpsDeviceDelegate
{
public:
    virtual ~GpsDeviceDelegate() = default;
    /** The track list in the instrument's order; empty when nothing answered. */
    virtual void tracksRead(GpsDevice& device, const std::vector<Track>& tracks);
    virtual void waypointsRead(GpsDevice& device, const std::vector<DeviceWayPoint>& waypoints);
    /** Routes; empty when the instrument has none or the answer could not be read. */
    virtual void routesRead(GpsDevice& device, const std::vector<DeviceRoute>& routes);
    virtual void settingsRead(GpsDevice& device, bool success);
};

/** The operations a driver may offer; the device window offers only what the driver has. */
enum class DeviceOperation
{
    TrackList,
    IgcTrack,
    DeleteAllTracks,
    MaxWaypoints,
    WaypointList,
    WriteWaypoint,
    DeleteWaypoints,
    DeleteAllWaypoints,
    RouteList,
    MaxRoutes,
    WriteRoute,
    DeleteRoutes,
    DeleteAllRoutes,
    GetSettings,
    SettingsController,
};

/** One setting of an instrument as a name and a number or a text (for listings such as the CLI's). */
struct DeviceSetting
{
    std::string key;
    std::variant<double, std::string> value;
    bool operator==(const DeviceSetting&) const = default;
};

/**
 * Base of every instrument driver. The synchronous operations (tracks(),
 * waypoints(), igcTrack(), the writes and deletes) may be called from any thread
 * and block; the list reads trackList(), waypointList(), routeList() and
 * getSettings() run the synchronous read on a worker thread and hand the result to
 * the delegate on the driver's own thread.
 *
 * An operation the driver lacks answers "nothing": has() tells which exist.
 */
class GpsDevice : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GpsDevice)

public:
    explicit GpsDevice(QObject* parent = nullptr);
    ~GpsDevice() override;

    /** "braeuniger", "flytec", "flymaster" or "skytraxx". */
    [[nodiscard]] virtual std::string driverId() const = 0;
    /** The path of the line or volume the instrument was found on. */
    [[nodiscard]] virtual std::string portPath() const = 0;
    [[nodiscard]] virtual bool has(DeviceOperation operation) const = 0;

    /** Clears the cancel flag and answers the display name of the identified model. */
    std::string name();
    [[nodiscard]] const std::string& descriptor() const { return m_descriptor; }

    /** Sets the cancel flag; the running operation stops at its next read. Any thread. */
    virtual void cancelAction();
    [[nodiscard]] virtual bool canceled() const;

    /** Not owned; may be null (results are then dropped). GUI thread. */
    void setDelegate(GpsDeviceDelegate* delegate) { m_delegate = delegate; }
    [[nodiscard]] GpsDeviceDelegate* delegate() const { return m_delegate; }

    // --- synchronous operations (any thread, block) ---------------------------
    /** The instrument's track list; empty when it answered nothing. */
    [[nodiscard]] virtual std::vector<Track> tracks();
    /** Downloads TRACK: true and `igcData` filled on success. */
    [[nodiscard]] virtual bool igcTrack(Track& track);
    [[nodiscard]] virtual Result<Done> deleteAllTracks();
    [[nodiscard]] virtual std::optional<int> maxWaypoints() const { return std::nullopt; }
    [[nodiscard]] virtual std::vector<DeviceWayPoint> waypoints();
    [[nodiscard]] virtual Result<Done> writeWaypoint(const DeviceWayPoint& waypoint);
    [[nodiscard]] virtual Result<Done> deleteWaypoints(const std::vector<DeviceWayPoint>& waypoints);
    [[nodiscard]] virtual Result<Done> deleteAllWaypoints();
    /** The routes; nullopt when the answer could not be read. */
    [[nodiscard]] virtual std::optional<std::vector<DeviceRoute>> routes();
    [[nodiscard]] virtual std::optional<int> maxRoutes() const { return std::nullopt; }
    [[nodiscard]] virtual Result<Done> writeRoute(const RouteToWrite& route);
    [[nodiscard]] virtual Result<Done> deleteRoutes(const std::vector<DeviceRoute>& routes);
    [[nodiscard]] virtual Result<Done> deleteAllRoutes();
    /** Reads the instrument's settings into the driver; true on success. */
    [[nodiscard]] virtual bool readSettings();
    /** The settings last read, as names and values (empty before a read). */
    [[nodiscard]] virtual std::vector<DeviceSetting> settingsValues() const { return {}; }

    // --- list reads with delegate callback (GUI thread) -----------------------
    /** Clears the cancel flag and reads the track list on a worker; result by tracksRead(). */
    void trackList();
    void waypointList();
    void routeList();
    /** Starts the settings read on a worker; result by settingsRead(). Always true. */
    bool getSettings();

protected:
    void setDescriptor(std::string descriptor) { m_descriptor = std::move(descriptor); }
    /** Clears the cancel flag (start of a user-started operation). */
    virtual void clearCanceled();

    /**
     * Runs WORK on a worker thread; WORK hands its result back with
     * postToOwnerThread(). Derived destructors must call waitForWorkers() before
     * their members go away.
     */
    void runInBackground(std::function<void()> work);
    /** Posts FN to this object's thread without waiting; dropped when the object is gone. */
    void postToOwnerThread(std::function<void()> fn);
    /** Sets the cancel flag and joins every worker. */
    void waitForWorkers();

private:
    std::string m_descriptor;
    GpsDeviceDelegate* m_delegate = nullptr;
    std::atomic<bool> m_canceled{false};
    std::mutex m_workersMutex;
    std::vector<std::thread> m_workers;
};

/** The text of a failed write or delete that the driver cannot explain further. */
inline constexpr const char* kUnsupportedOperation = "The instrument does not offer this operation.";

} // namespace kalvora
