#include "instruments/flytec/flytec.h"

#include <algorithm>

#include "instruments/coordinateparser.h"
#include "instruments/flytectextformatter.h"
#include "track/igc.h"

namespace kalvora {

namespace {

constexpr const char* kFull = "Waypoint list is full";
constexpr const char* kExists = "Waypoint with name already exist";
constexpr const char* kUndefined = "Undefined error";
constexpr const char* kRouteRemove = "Error removing old route.";
constexpr const char* kRouteFull = "Route waypoint list is full";

/**
 * Only a whole record is a track: noise, "No Data" (the instrument's word for a
 * track it does not have) and a download that broke off inside a fix would
 * otherwise be stored as the flight. Recordings need not end in a line end, so a
 * last line counts as broken off only when it is a fix shorter than a B record.
 */
bool isWholeRecord(const std::string& text)
{
    if (!IGC::getTrackFromIGCData(text))
        return false;
    const std::size_t lastBreak = text.find_last_of('\n');
    const std::string_view last =
        std::string_view(text).substr(lastBreak == std::string::npos ? 0 : lastBreak + 1);
    return last.empty() || last.front() != 'B' || last.size() >= 35;
}

bool contains(const std::optional<std::string>& answer, std::string_view word)
{
    return answer && answer->find(word) != std::string::npos;
}

DeviceWayPoint toDeviceWayPoint(const flytec::WaypointEntry& entry)
{
    DeviceWayPoint wp;
    wp.shortName = entry.name;
    wp.latitude = entry.latitudeDeg;
    wp.longitude = entry.longitudeDeg;
    wp.altitude = entry.altitudeM;
    wp.gpsaltitude = entry.altitudeM;
    wp.radius = entry.radiusM;
    wp.latitudeString = fixedText(entry.latitudeDeg, 3);
    wp.longitudeString = fixedText(entry.longitudeDeg, 3);
    wp.altitudeString = fixedText(entry.altitudeM, 0, 4);
    return wp;
}

/** The same instrument waypoint: the name as read plus the position. */
bool sameWaypoint(const DeviceWayPoint& a, const DeviceWayPoint& b)
{
    return a.shortName == b.shortName && a.latitude == b.latitude && a.longitude == b.longitude;
}

const char* parameterKey(int address)
{
    switch (address) {
    case 0x00:
        return "owner";
    case 0x01:
        return "instrument";
    case 0x02:
        return "license";
    case 0x03:
        return "units";
    case 0x04:
        return "diverse";
    case 0x05:
        return "filtTyp";
    case 0x06:
        return "alt1Diff";
    case 0x07:
        return "varioDigFk";
    case 0x08:
        return "bFreqRise";
    case 0x09:
        return "bFreqSink";
    case 0x0A:
        return "audioRise";
    case 0x0B:
        return "audioSink";
    case 0x0C:
        return "sinkAlarm";
    case 0x0D:
        return "freqGain";
    case 0x0E:
        return "pitchGain";
    case 0x0F:
        return "maxRiseRejection";
    case 0x10:
        return "varioMinMaxFk";
    case 0x11:
        return "recIntervall";
    case 0x12:
        return "audioVolume";
    case 0x13:
        return "utc_Offset";
    case 0x14:
        return "pressOffset";
    case 0x15:
        return "thermThreshold";
    case 0x16:
        return "powerOffTime";
    case 0x1A:
        return "stallSpeed";
    case 0x1C:
        return "windWhellGain";
    case 0x22:
        return "prethermalThr";
    default:
        return nullptr;
    }
}

} // namespace

Flytec::Flytec(std::unique_ptr<SerialLink> link, std::string pathName, QObject* parent)
    : SerialGpsDevice(std::move(link), std::move(pathName), parent)
{}

Flytec::~Flytec()
{
    waitForWorkers();
}

std::unique_ptr<GpsDevice> Flytec::open(const std::string& path, std::unique_ptr<SerialLink> link)
{
    if (!link || !link->open(path).ok())
        return nullptr;
    auto device = std::make_unique<Flytec>(std::move(link), path);
    const auto answer =
        device->command(flytec::identifyCommand,
                        identificationLimits(flytecExchange().attempts, device->link().silentRead()));
    device->closeLine();
    // The answer becomes the instrument's name in lists and JSON documents, and
    // whatever a port sends is not a name: see identificationName().
    const std::optional<std::string> name = answer ? flytec::identificationName(*answer) : std::nullopt;
    if (!name)
        return nullptr;
    device->setDescriptor(*name);
    return device;
}

bool Flytec::has(DeviceOperation operation) const
{
    switch (operation) {
    case DeviceOperation::TrackList:
    case DeviceOperation::IgcTrack:
    case DeviceOperation::DeleteAllTracks:
    case DeviceOperation::MaxWaypoints:
    case DeviceOperation::WaypointList:
    case DeviceOperation::WriteWaypoint:
    case DeviceOperation::DeleteWaypoints:
    case DeviceOperation::DeleteAllWaypoints:
    case DeviceOperation::RouteList:
    case DeviceOperation::MaxRoutes:
    case DeviceOperation::WriteRoute:
    case DeviceOperation::DeleteRoutes:
    case DeviceOperation::GetSettings:
    case DeviceOperation::SettingsController:
        return true;
    case DeviceOperation::DeleteAllRoutes:
        return false;
    }
    return false;
}

std::optional<std::string> Flytec::command(std::string_view text, const ExchangeLimits& limits)
{
    // The answers are text only, so XON/XOFF bytes in them can only be flow-control
    // noise of the adapter; kept, they would end up inside the downloaded IGC text.
    ExchangeOptions options = flytecExchange();
    options.removeXonXoff = true;
    options.limits = limits;
    return serialCommand(text, options);
}

std::vector<Track> Flytec::tracks()
{
    const auto answer = command(flytec::trackListCommand);
    std::vector<Track> list;
    if (!answer || !flytec::isDone(*answer))
        return list;
    for (const flytec::TrackEntry& e : flytec::parseTrackList(*answer))
        list.push_back(Track::withUTCDateTime(UtcTime{std::chrono::seconds{e.startUtc}},
                                              static_cast<double>(e.durationS), e.number));
    return list;
}

bool Flytec::igcTrack(Track& track)
{
    clearCanceled();
    const auto answer = command(flytec::downloadCommand(track.trackNumber));
    if (!answer || !isWholeRecord(*answer))
        return false;
    track.igcData = *answer;
    return true;
}

Result<Done> Flytec::deleteAllTracks()
{
    if (!flytec::isDone(command(flytec::deleteAllTracksCommand).value_or(std::string())))
        return Result<Done>::failure(kUndefined);
    return Done{};
}

std::vector<DeviceWayPoint> Flytec::waypoints()
{
    std::vector<DeviceWayPoint> list;
    // A list without its end word broke off: keeping the part would let a later
    // delete (which rewrites the list) lose the rest.
    const auto answer = command(flytec::waypointListCommand);
    const bool whole = answer && (flytec::isDone(*answer) || answer->find("No Data") != std::string::npos);
    if (whole)
        for (const flytec::WaypointEntry& e : flytec::parseWaypointList(*answer))
            list.push_back(toDeviceWayPoint(e));
    std::lock_guard lock(m_stateMutex);
    m_waypointArray = list;
    m_waypointsKnown = whole;
    return list;
}

Result<Done> Flytec::writeWaypoint(const DeviceWayPoint& waypoint)
{
    const std::string text = std::string(flytec::writeWaypointCommand) +
                             flytec::dataLine(waypoint.shortName, waypoint.latitude, waypoint.longitude,
                                              waypoint.gpsaltitude, waypoint.radius);
    const auto answer = command(text);
    if (contains(answer, "Done"))
        return Done{};
    if (contains(answer, "full list"))
        return Result<Done>::failure(kFull);
    if (contains(answer, "already exist"))
        return Result<Done>::failure(kExists);
    return Result<Done>::failure(kUndefined);
}

Result<Done> Flytec::rewriteWaypoints(std::vector<DeviceWayPoint> keep)
{
    std::lock_guard commands(commandLock());
    {
        std::lock_guard lock(m_stateMutex);
        m_waypointArray = keep;
        m_waypointsKnown = true;
    }
    if (!contains(command(flytec::deleteAllWaypointsCommand), "Done"))
        return Result<Done>::failure(kUndefined);
    for (const DeviceWayPoint& wp : keep) {
        Result<Done> written = writeWaypoint(wp);
        if (!written)
            return written;
    }
    return Done{};
}

Result<Done> Flytec::deleteWaypoints(const std::vector<DeviceWayPoint>& waypoints)
{
    std::vector<DeviceWayPoint> keep;
    {
        std::lock_guard lock(m_stateMutex);
        if (!m_waypointsKnown)
            return Result<Done>::failure(kUndefined);
        keep = m_waypointArray;
    }
    std::erase_if(keep, [&](const DeviceWayPoint& wp) {
        return std::any_of(waypoints.begin(), waypoints.end(),
                           [&](const DeviceWayPoint& gone) { return sameWaypoint(wp, gone); });
    });
    return rewriteWaypoints(std::move(keep));
}

Result<Done> Flytec::deleteAllWaypoints()
{
    return rewriteWaypoints({});
}

std::optional<std::vector<DeviceRoute>> Flytec::routes()
{
    const auto answer = command(flytec::routeCommand);
    if (!answer)
        return std::nullopt;
    std::vector<DeviceRoute> list;
    if (answer->find("No Data") != std::string::npos)
        return list;
    if (!flytec::isDone(*answer))
        return std::nullopt;
    // Route points keep the instrument's order: sorting them like the waypoint
    // list would scramble the route. Only the name is the first in name order.
    DeviceRoute route;
    for (const std::string& line : flytec::linesUntil(*answer, false))
        if (auto entry = flytec::parseWaypointLine(line)) {
            DeviceWayPoint wp = toDeviceWayPoint(*entry);
            wp.routeWaypoint = true;
            route.waypoints.push_back(std::move(wp));
        }
    if (route.waypoints.empty())
        return list;
    route.name = std::min_element(route.waypoints.begin(), route.waypoints.end(),
                                  [](const DeviceWayPoint& a, const DeviceWayPoint& b) {
                                      return a.shortName < b.shortName;
                                  })
                     ->shortName;
    list.push_back(std::move(route));
    return list;
}

Result<Done> Flytec::deleteRouteOnInstrument()
{
    if (!contains(command(flytec::deleteRouteCommand), "Done"))
        return Result<Done>::failure(kRouteRemove);
    return Done{};
}

Result<Done> Flytec::deleteRoutes(const std::vector<DeviceRoute>&)
{
    return deleteRouteOnInstrument();
}

Result<Done> Flytec::writeRoute(const RouteToWrite& route)
{
    std::lock_guard commands(commandLock());
    Result<Done> removed = deleteRouteOnInstrument();
    if (!removed)
        return removed;
    std::vector<RouteEntry> entries = route.entries;
    std::stable_sort(entries.begin(), entries.end(),
                     [](const RouteEntry& a, const RouteEntry& b) { return a.index < b.index; });
    for (const RouteEntry& e : entries) {
        const auto answer = command(std::string(flytec::writeRoutePointCommand) +
                                    flytec::dataLine(e.name, e.latitude, e.longitude, e.altitude, e.radius));
        if (contains(answer, "full list"))
            return Result<Done>::failure(kRouteFull);
        if (!contains(answer, "Done"))
            return Result<Done>::failure(kUndefined);
    }
    return Done{};
}

bool Flytec::readSettings()
{
    std::lock_guard commands(commandLock());
    FlytecParameters read;
    for (int address : flytec::parameterAddresses()) {
        if (canceled())
            return false;
        const auto answer = command(flytec::readParameterCommand(address));
        // A line that answers nothing, or with something else than this parameter,
        // is as unreadable as one that lacks the parameter.
        if (!answer || flytec::isNoPar(*answer) || !flytec::isParameterAnswer(*answer, address))
            return false;
        switch (address) {
        case 0x00:
            read.owner = flytec::decodeParameterText(*answer);
            break;
        case 0x01:
            read.instrument = flytec::decodeParameterText(*answer);
            break;
        case 0x02:
            read.license = flytec::decodeParameterText(*answer);
            break;
        case 0x03:
            read.units = static_cast<std::uint16_t>(flytec::decodeParameterNumber(*answer, 16));
            break;
        case 0x04:
            read.diverse = static_cast<std::uint16_t>(flytec::decodeParameterNumber(*answer, 16));
            break;
        default:
            read.numbers[address] = flytec::decodeParameterNumber(*answer, flytec::parameterWidth(address));
            break;
        }
    }
    std::lock_guard lock(m_stateMutex);
    m_stored = read;
    return true;
}

FlytecParameters Flytec::parameters() const
{
    std::lock_guard lock(m_stateMutex);
    return m_stored;
}

std::vector<DeviceSetting> Flytec::settingsValues() const
{
    const FlytecParameters p = parameters();
    std::vector<DeviceSetting> out;
    out.push_back({"owner", p.owner});
    out.push_back({"instrument", p.instrument});
    out.push_back({"license", p.license});
    out.push_back({"units", static_cast<double>(p.units)});
    out.push_back({"diverse", static_cast<double>(p.diverse)});
    for (const auto& [address, value] : p.numbers)
        if (const char* key = parameterKey(address))
            out.push_back({key, static_cast<double>(value)});
    return out;
}

bool Flytec::writeParameter(const std::string& write)
{
    std::lock_guard commands(commandLock());
    if (!contains(command(flytec::writeModeCommand), "Done"))
        return false;
    const auto answer = command(write);
    return answer && flytec::parameterWriteAccepted(*answer);
}

bool Flytec::setText(int address, const std::string& text)
{
    if (address < 0 || address > 2)
        return false;
    std::string* stored = nullptr;
    FlytecParameters current = parameters();
    switch (address) {
    case 0:
        stored = &current.owner;
        break;
    case 1:
        stored = &current.instrument;
        break;
    default:
        stored = &current.license;
        break;
    }
    // The instrument keeps ASCII only: umlauts are spelled out as in names.
    const std::string sent = removeForbiddenChars(text).substr(0, 16);
    if (sent == *stored)
        return true;
    if (!writeParameter(flytec::writeTextCommand(address, sent)))
        return false;
    std::lock_guard lock(m_stateMutex);
    (address == 0 ? m_stored.owner : address == 1 ? m_stored.instrument : m_stored.license) = sent;
    return true;
}

bool Flytec::setBits(int address, flytec::BitField field, int value)
{
    if (address != 3 && address != 4)
        return false;
    const FlytecParameters current = parameters();
    const std::uint16_t old = address == 3 ? current.units : current.diverse;
    const std::uint16_t word = flytec::withBitField(old, field, value);
    if (word == old)
        return true;
    if (!writeParameter(flytec::writeBitFieldCommand(address, word)))
        return false;
    std::lock_guard lock(m_stateMutex);
    (address == 3 ? m_stored.units : m_stored.diverse) = word;
    return true;
}

bool Flytec::setNumber(int address, std::int64_t value)
{
    const int width = flytec::parameterWidth(address);
    if (address < 5 || address > 0x2C)
        return false;
    if (!writeParameter(flytec::writeNumberCommand(address, value)))
        return false;
    if (width > 0) {
        const std::uint64_t mask = width >= 32 ? 0xFFFFFFFFu : (std::uint64_t{1} << width) - 1;
        std::lock_guard lock(m_stateMutex);
        m_stored.numbers[address] = static_cast<std::uint32_t>(static_cast<std::uint64_t>(value) & mask);
    }
    return true;
}

} // namespace kalvora
