#include "instruments/devices.h"

#include <QMetaObject>
#include <QSettings>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "instruments/serialport.h"

namespace kalvora {
namespace {

constexpr const char* kExtraPortsKey = "ExtraSerialPorts";
constexpr const char* kSuppressKey = "SuppressInstallDriverAlert";

std::vector<std::string> splitPaths(const std::string& text)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(':', start), text.size());
        if (end > start)
            out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

/** ttyUSB10 after ttyUSB9: by prefix, then by number. */
bool naturalLess(const std::string& a, const std::string& b)
{
    const auto split = [](const std::string& s) {
        std::size_t i = s.size();
        while (i > 0 && std::isdigit(static_cast<unsigned char>(s[i - 1])))
            --i;
        return std::pair{s.substr(0, i), i < s.size() ? std::stoll(s.substr(i)) : -1LL};
    };
    return split(a) < split(b);
}

std::unique_ptr<SerialLink> makeSerialPort()
{
    // KALVORA_SERIAL_SILENT_READ_MS: how long a read waits for a byte (default
    // 200 ms, the instruments' VTIME); for simulators and unusual adapters.
    static const std::chrono::milliseconds silentRead = [] {
        if (const char* env = std::getenv("KALVORA_SERIAL_SILENT_READ_MS")) {
            const long ms = std::strtol(env, nullptr, 10);
            if (ms >= 10 && ms <= 5000)
                return std::chrono::milliseconds(ms);
        }
        return kSilentRead;
    }();
    return std::make_unique<SerialPort>(silentRead);
}

} // namespace

bool isExcludedSerialPath(const std::string& path)
{
    for (const char* word : {"bluetooth", "Bluetooth", "Apple", "iPhone", "iPad"})
        if (path.find(word) != std::string::npos)
            return true;
    return false;
}

std::vector<std::string> serialCandidatePaths()
{
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/tty", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0)
            found.push_back(name);
    }
    std::sort(found.begin(), found.end(), naturalLess);
    std::vector<std::string> paths;
    for (const std::string& name : found)
        paths.push_back("/dev/" + name);

    const QString extra = QSettings().value(QString::fromLatin1(kExtraPortsKey)).toString();
    for (const std::string& p : splitPaths(extra.toStdString()))
        paths.push_back(p);
    if (const char* env = std::getenv("KALVORA_SERIAL_PORTS"))
        for (const std::string& p : splitPaths(env))
            paths.push_back(p);

    std::vector<std::string> unique;
    for (const std::string& p : paths)
        if (!isExcludedSerialPath(p) && std::find(unique.begin(), unique.end(), p) == unique.end())
            unique.push_back(p);
    return unique;
}

std::vector<std::string> serialAccessProblems(const std::vector<std::string>& paths)
{
    std::vector<std::string> problems;
    for (const std::string& p : paths)
        if (::access(p.c_str(), F_OK) == 0 && ::access(p.c_str(), R_OK | W_OK) != 0)
            problems.push_back(serialPermissionMessage(p));
    return problems;
}

bool suppressInstallDriverAlert()
{
    return QSettings().value(QString::fromLatin1(kSuppressKey), false).toBool();
}

void setSuppressInstallDriverAlert(bool suppress)
{
    QSettings settings;
    settings.setValue(QString::fromLatin1(kSuppressKey), suppress);
    settings.sync();
}

ScanResult probeSerialPort(const std::string& path, SerialLinkFactory linkFactory)
{
    ScanResult result;
    if (!linkFactory)
        linkFactory = &makeSerialPort;
    {
        // A port the user may not open is reported once, not tried by every driver.
        std::unique_ptr<SerialLink> probe = linkFactory();
        Result<Done> opened = probe->open(path);
        if (!opened) {
            result.problems.push_back(opened.error());
            return result;
        }
        probe->close();
    }
    for (const SerialDriverEntry& entry : serialDrivers()) {
        if (std::unique_ptr<GpsDevice> device = entry.open(path, linkFactory())) {
            result.device = std::move(device);
            return result;
        }
    }
    return result;
}

Devices::Devices(QObject* parent) : QObject(parent) {}

void Devices::getGPSDevices()
{
    m_canceled = false;
    if (m_delegate)
        m_delegate->setMaxDeviceCount(1);
    QMetaObject::invokeMethod(this, [this] { getDevices(); }, Qt::QueuedConnection);
}

void Devices::getDevices()
{
    ScanResult result = scan();
    std::vector<std::unique_ptr<GpsDevice>> list;
    if (result.device) {
        if (m_delegate)
            m_delegate->setActualDeviceCount(1);
        list.push_back(std::move(result.device));
    }
    if (m_delegate)
        m_delegate->devicesRead(std::move(list));
}

ScanResult Devices::scan(const std::vector<std::string>& ports)
{
    m_canceled = false;
    ScanResult result;
    if (ports.empty()) {
        for (const VolumeDriverEntry& entry : volumeDrivers()) {
            if (std::unique_ptr<GpsDevice> device = entry.open()) {
                result.device = std::move(device);
                return result;
            }
        }
    }
    const std::vector<std::string> paths = ports.empty() ? serialCandidatePaths() : ports;
    for (const std::string& path : paths) {
        if (isExcludedSerialPath(path))
            continue;
        ScanResult one = probeSerialPort(path);
        result.problems.insert(result.problems.end(), one.problems.begin(), one.problems.end());
        if (one.device) {
            result.device = std::move(one.device);
            return result;
        }
        if (m_canceled)
            break;
    }
    return result;
}

} // namespace kalvora
