#include "instruments/flymaster/flymaster.h"

#include <algorithm>

#include "instruments/coordinateparser.h"
#include "track/securityrecord.h"
#include "track/utcdate.h"
#include "track/version.h"

namespace kalvora {

namespace {

/** Bytes asked for per read during a download; the instrument sends no more than one packet before our ack.
 */
constexpr std::size_t kDownloadChunk = 512;

SecurityStamp currentStamp()
{
    SecurityStamp stamp;
    stamp.versionText = SecurityStamp::makeVersionText(versionString(), 0);
    stamp.writtenAt =
        utc::fullDateShortTime(std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()));
    return stamp;
}

} // namespace

Flymaster::Flymaster(std::unique_ptr<SerialLink> link, std::string pathName, QObject* parent)
    : SerialGpsDevice(std::move(link), std::move(pathName), parent)
{}

Flymaster::~Flymaster()
{
    waitForWorkers();
}

std::unique_ptr<GpsDevice> Flymaster::open(const std::string& path, std::unique_ptr<SerialLink> link)
{
    if (!link)
        return nullptr;
    auto device = std::make_unique<Flymaster>(std::move(link), path);
    std::optional<std::string> answer;
    {
        std::lock_guard lock(device->commandLock());
        // 1.0 s to start answering and one silent read more to finish a sentence
        // that started late; past that, a port that keeps sending is no Flymaster.
        answer = flymasterSerialCommand(device->link(), path, flymaster::identifyCommand,
                                        identificationLimits(6, device->link().silentRead()));
    }
    device->closeLine();
    if (!answer)
        return nullptr;
    const auto id = flymaster::identify(removeXonXoff(*answer));
    if (!id)
        return nullptr;
    device->m_deviceType = id->type == flymaster::DeviceType::B1Nav ? 0 : 1;
    device->setDescriptor(id->descriptor());
    return device;
}

bool Flymaster::has(DeviceOperation operation) const
{
    switch (operation) {
    case DeviceOperation::TrackList:
    case DeviceOperation::IgcTrack:
    case DeviceOperation::WaypointList:
    case DeviceOperation::WriteWaypoint:
    case DeviceOperation::SettingsController:
        return true;
    default:
        return false;
    }
}

std::vector<Track> Flymaster::tracks()
{
    std::optional<std::string> answer;
    {
        std::lock_guard lock(commandLock());
        answer = flymasterSerialCommand(link(), portPath(), flymaster::trackListCommand);
    }
    std::vector<Track> list;
    if (!answer)
        return list;
    for (const flymaster::TrackEntry& e : flymaster::parseTrackList(removeXonXoff(*answer)))
        list.push_back(Track::withUTCDateTime(UtcTime{std::chrono::seconds{e.startUtc}},
                                              static_cast<double>(e.durationS), e.number));
    return list;
}

std::optional<std::vector<flymaster::Block>> Flymaster::dataBlocks(std::int64_t startUtc)
{
    std::lock_guard lock(commandLock());
    SerialLink& line = link();
    if (!line.open(portPath()).ok())
        return std::nullopt;
    auto fail = [&]() -> std::optional<std::vector<flymaster::Block>> {
        line.close();
        return std::nullopt;
    };
    if (!line.write(addCheckSum(flymaster::downloadCommand(startUtc))))
        return fail();

    flymaster::PacketReader reader;
    std::vector<flymaster::Block> blocks;
    auto lastByte = std::chrono::steady_clock::now();
    // Each byte keeps the stall timer from running out, so a line that sends
    // without ever ending the transfer is bounded by these.
    const auto giveUpAt = lastByte + kMaxAnswerTime;
    std::size_t received = 0;
    for (;;) {
        if (line.isCanceled() || received >= kMaxAnswerBytes || std::chrono::steady_clock::now() >= giveUpAt)
            return fail();
        const std::optional<std::string> chunk = line.read(kDownloadChunk);
        if (!chunk)
            return fail();
        if (chunk->empty()) {
            if (std::chrono::steady_clock::now() - lastByte >= m_downloadStall)
                return fail();
            continue;
        }
        lastByte = std::chrono::steady_clock::now();
        received += chunk->size();
        for (char c : *chunk) {
            switch (reader.add(static_cast<std::uint8_t>(c))) {
            case flymaster::PacketReader::Event::None:
                break;
            case flymaster::PacketReader::Event::Packet:
                if (!line.write(std::string_view(&flymaster::ackByte, 1)))
                    return fail();
                blocks.push_back(reader.takeBlock());
                break;
            case flymaster::PacketReader::Event::End:
                line.close();
                return blocks;
            }
        }
    }
}

bool Flymaster::igcTrack(Track& track)
{
    clearCanceled();
    m_lastPacketCount = 0;
    const std::int64_t start = track.utcDateTime.time_since_epoch().count();
    const auto blocks = dataBlocks(start);
    if (!blocks || canceled())
        return false;
    m_lastPacketCount = blocks->size();
    const auto fixes = flymaster::fixesFromBlocks(*blocks);
    if (!fixes)
        return false;
    const std::string text = flymaster::igcText(*blocks, *fixes, start, descriptor());
    if (text.empty())
        return false;
    auto marked = Strings::getDestString(text, false, currentStamp());
    if (!marked || marked->empty())
        return false;
    track.igcData = std::move(*marked);
    return true;
}

std::vector<DeviceWayPoint> Flymaster::waypoints()
{
    std::optional<std::string> answer;
    {
        std::lock_guard lock(commandLock());
        answer = flymasterSerialCommand(link(), portPath(), flymaster::waypointListCommand);
    }
    std::vector<DeviceWayPoint> list;
    if (!answer)
        return list;
    for (const flymaster::WaypointEntry& e : flymaster::parseWaypointList(removeXonXoff(*answer))) {
        DeviceWayPoint wp;
        wp.shortName = e.name;
        wp.latitude = e.latitudeDeg;
        wp.longitude = e.longitudeDeg;
        wp.altitude = e.altitudeM;
        wp.gpsaltitude = e.altitudeM;
        wp.latitudeString = fixedText(e.latitudeDeg, 3);
        wp.longitudeString = fixedText(e.longitudeDeg, 3);
        wp.altitudeString = fixedText(e.altitudeM, 0, 4);
        list.push_back(std::move(wp));
    }
    return list;
}

Result<Done> Flymaster::writeWaypoint(const DeviceWayPoint& waypoint)
{
    std::lock_guard lock(commandLock());
    // The instrument's answer says nothing we could use, but a line that cannot
    // even be opened must not be reported as a stored waypoint.
    if (const Result<Done> opened = link().open(portPath()); !opened)
        return opened;
    (void)flymasterSerialCommand(link(), portPath(),
                                 flymaster::writeWaypointCommand(waypoint.shortName, waypoint.latitude,
                                                                 waypoint.longitude, waypoint.gpsaltitude));
    return Done{};
}

void Flymaster::setSettingText(int slot, const std::string& text)
{
    if (slot < 0 || slot > 3)
        return;
    std::lock_guard lock(m_memoryMutex);
    auto* at = m_memory.data() + slot * 16;
    std::fill(at, at + 16, '\0');
    std::copy_n(text.begin(), std::min<std::size_t>(text.size(), 16), at);
}

std::string Flymaster::settingText(int slot) const
{
    if (slot < 0 || slot > 3)
        return {};
    std::lock_guard lock(m_memoryMutex);
    const char* at = m_memory.data() + slot * 16;
    return std::string(at, std::find(at, at + 16, '\0'));
}

} // namespace kalvora
