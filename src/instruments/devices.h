#pragma once

#include <QObject>

#include <memory>
#include <string>
#include <vector>

#include "instruments/gpsdevice.h"

namespace kalvora {

class SerialLink;

/** Makes a link for a serial driver (production: a SerialPort). */
using SerialLinkFactory = std::unique_ptr<SerialLink> (*)();

/**
 * Opens the line at PATH with LINK, identifies the instrument and closes the line
 * again; yields the driver only when the instrument answered as this family.
 */
using SerialDriverOpener = std::unique_ptr<GpsDevice> (*)(const std::string& path, std::unique_ptr<SerialLink> link);

/** Yields a driver for a mounted instrument volume, or nothing. */
using VolumeDriverOpener = std::unique_ptr<GpsDevice> (*)();

struct SerialDriverEntry
{
    const char* id; ///< "flymaster", "braeuniger", "flytec"
    SerialDriverOpener open;
};

struct VolumeDriverEntry
{
    const char* id; ///< "skytraxx"
    VolumeDriverOpener open;
};

/** The serial drivers in the order every port is tried: Flymaster, Bräuniger, Flytec. */
[[nodiscard]] const std::vector<SerialDriverEntry>& serialDrivers();
/** The volume drivers, tried before any serial port. */
[[nodiscard]] const std::vector<VolumeDriverEntry>& volumeDrivers();

/** True for paths the scan never opens (Bluetooth and phone ports). */
[[nodiscard]] bool isExcludedSerialPath(const std::string& path);

/**
 * The serial callout devices of USB-serial adapters (/dev/ttyUSB*, /dev/ttyACM*,
 * found through /sys/class/tty), followed by the extra paths of the setting
 * "ExtraSerialPorts" and of the environment variable KALVORA_SERIAL_PORTS (both
 * separated by ':'), without duplicates and without excluded paths.
 */
[[nodiscard]] std::vector<std::string> serialCandidatePaths();

/**
 * The ports among PATHS that exist but that the user may not open, each with the
 * message that says how to get access. Used by the start-up check, which shows
 * nothing when the preference "SuppressInstallDriverAlert" is set.
 */
[[nodiscard]] std::vector<std::string> serialAccessProblems(const std::vector<std::string>& paths);

/** The preference "SuppressInstallDriverAlert": the start-up access check stays quiet. */
[[nodiscard]] bool suppressInstallDriverAlert();
void setSuppressInstallDriverAlert(bool suppress);

/** What a scan found: at most one driver, plus the reasons ports could not be used. */
struct ScanResult
{
    std::unique_ptr<GpsDevice> device;
    /** Messages for ports that could not be opened (permission), for the user. */
    std::vector<std::string> problems;
};

/**
 * Tries the serial drivers of serialDrivers() in order on one port, each with a
 * fresh link from LINKFACTORY (null: a SerialPort). A port the user may not open
 * gives no driver and the permission message. A port without an instrument takes
 * about 2.2 s with 0.2 s silent reads, one that keeps sending (a GPS streaming
 * NMEA, noise) at most 2.4 s: each identification is bounded in time and bytes.
 */
[[nodiscard]] ScanResult probeSerialPort(const std::string& path, SerialLinkFactory linkFactory = nullptr);

/** Receives the scan's progress and result, on the GUI thread. */
class DevicesDelegate
{
public:
    virtual ~DevicesDelegate() = default;
    virtual void setMaxDeviceCount(int count) = 0;
    virtual void setActualDeviceCount(int count) = 0;
    /** At most one driver; ownership passes to the delegate. */
    virtual void devicesRead(std::vector<std::unique_ptr<GpsDevice>> devices) = 0;
};

/**
 * The scan for the one connected instrument: a volume driver (Skytraxx) first —
 * when it yields a driver no serial port is opened — then every candidate port
 * with the serial drivers in order; the first driver found ends the scan.
 */
class Devices final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Devices)

public:
    explicit Devices(QObject* parent = nullptr);

    void setDelegate(DevicesDelegate* delegate) { m_delegate = delegate; }

    /** Clears the cancel flag, reports a maximum of 1 and queues the scan on this thread's event loop. */
    void getGPSDevices();
    /** Stops the scan after the port being tried. Any thread. */
    void cancelGetDevices() { m_canceled = true; }

    /**
     * The scan itself, synchronous. PORTS replaces the candidate list when not
     * empty (and then no volume is looked for).
     */
    [[nodiscard]] ScanResult scan(const std::vector<std::string>& ports = {});

private:
    void getDevices();

    DevicesDelegate* m_delegate = nullptr;
    std::atomic<bool> m_canceled{false};
};

} // namespace kalvora
