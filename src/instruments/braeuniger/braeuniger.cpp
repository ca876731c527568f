#include "instruments/braeuniger/braeuniger.h"

#include <algorithm>
#include <cstdio>

#include "instruments/flytectextformatter.h"

namespace kalvora {

using namespace braeuniger;

std::unique_ptr<GpsDevice> Braeuniger::open(const std::string& path, std::unique_ptr<SerialLink> link)
{
    if (!link || !link->open(path).ok())
        return nullptr;
    auto driver = std::make_unique<Braeuniger>(std::move(link), path);
    const bool identified = driver->checkDevice();
    driver->closeLine();
    if (!identified)
        return nullptr;
    return driver;
}

Braeuniger::Braeuniger(std::unique_ptr<SerialLink> link, std::string pathName, QObject* parent)
    : SerialGpsDevice(std::move(link), std::move(pathName), parent)
{
    m_writeThread = std::thread([this] { runWriteQueue(); });
}

Braeuniger::~Braeuniger()
{
    {
        std::lock_guard lock(m_queueMutex);
        m_stopQueue = true;
    }
    m_queueChanged.notify_all();
    m_writeThread.join();
    waitForWorkers();
}

bool Braeuniger::has(DeviceOperation operation) const
{
    switch (operation) {
    case DeviceOperation::DeleteAllTracks:
    case DeviceOperation::MaxRoutes: return false;
    default: return true;
    }
}

std::string Braeuniger::command(std::string_view sentence)
{
    return serialCommand(sentence, braeunigerExchange()).value_or(std::string());
}

bool Braeuniger::checkDevice()
{
    m_deviceType = DeviceType::Unknown;
    ExchangeOptions options = braeunigerExchange();
    options.limits = identificationLimits(options.attempts, link().silentRead());
    const std::optional<Identification> id =
        parseIdentification(serialCommand("$PBRSNP,", options).value_or(std::string()));
    if (!id)
        return false;
    m_deviceType = id->deviceType;
    setDescriptor(id->descriptor);
    return true;
}

std::vector<Track> Braeuniger::tracks()
{
    std::string head = "$PBRTLE,";
    std::string answer = command(head);
    if (answer.empty()) {
        head = "$PBRTL,";
        answer = command(head);
    }
    return parseTrackList(splitAtHead(answer, head));
}

bool Braeuniger::igcTrack(Track& track)
{
    clearCanceled();
    char sentence[48];
    std::snprintf(sentence, sizeof sentence, "$PBRTR,%02lld", static_cast<long long>(track.trackNumber));
    std::string answer = command(sentence);
    // A download that stopped half-way must not pass for a flight.
    if (answer.empty() || !looksLikeCompleteIgc(answer))
        return false;
    track.igcData = std::move(answer);
    return true;
}

std::vector<DeviceWayPoint> Braeuniger::waypoints()
{
    std::string answer = command("$PBRWPSE,");
    std::vector<std::string> pieces;
    if (!answer.empty())
        pieces = splitAtHead(answer, answer.rfind("$PBRWPSE", 0) == 0 ? "$PBRWPSE," : "$PBRWPS,");
    else
        pieces = splitAtHead(command("$PBRWPS,"), "$PBRWPS,");
    return parseWaypointList(pieces, routeArray());
}

Result<Done> Braeuniger::writeWaypoint(const DeviceWayPoint& waypoint)
{
    // The instruments acknowledge a write with flow control (XOFF, XON) while they
    // store it, not with a sentence, so any answer counts as taken. Only a line
    // that cannot be opened or stays silent through every attempt must not pass
    // for a sent waypoint.
    if (serialCommand(writeWaypointCommand(waypoint), braeunigerExchange()))
        return Done{};
    std::string name = nameField(waypoint.shortName);
    name.erase(name.find_last_not_of(' ') + 1);
    return Result<Done>::failure("The instrument did not answer when the waypoint \"" + name + "\" was written.");
}

Result<Done> Braeuniger::deleteWaypoints(const std::vector<DeviceWayPoint>& waypoints)
{
    std::lock_guard lock(commandLock());
    for (const DeviceWayPoint& w : waypoints)
        (void)command("$PBRWPX," + padOrCut(w.shortName, 17));
    return Done{};
}

Result<Done> Braeuniger::deleteAllWaypoints()
{
    (void)command("$PBRWPX,,");
    return Done{};
}

std::optional<std::vector<DeviceRoute>> Braeuniger::routes()
{
    const std::string answer = command("$PBRRTS,");
    std::vector<std::string> pieces;
    if (answer.rfind("$PBRRTS", 0) == 0)
        pieces = splitAtHead(answer, "$PBRRTS,");
    std::vector<DeviceRoute> finished;
    std::optional<std::vector<DeviceRoute>> result = parseRouteList(pieces, finished);
    std::lock_guard lock(m_stateMutex);
    m_routeArray = std::move(finished);
    return result;
}

std::vector<DeviceRoute> Braeuniger::routeArray() const
{
    std::lock_guard lock(m_stateMutex);
    return m_routeArray;
}

Result<Done> Braeuniger::writeRoute(const RouteToWrite& route)
{
    std::lock_guard lock(commandLock());
    for (const RouteEntry& entry : route.entries) {
        Result<Done> written = writeWaypoint(deviceWayPointFromRouteEntry(entry));
        if (!written)
            return written;
    }
    const long count = long(route.entries.size()) + 1;
    char head[96];
    std::snprintf(head, sizeof head, "$PBRRTR,01,%02ld,00,", count);
    (void)command(head + nameField(route.name));
    std::vector<RouteEntry> sorted = route.entries;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const RouteEntry& a, const RouteEntry& b) { return a.index < b.index; });
    long k = 1;
    for (const RouteEntry& entry : sorted) {
        std::snprintf(head, sizeof head, "$PBRRTR,01,%02ld,%02ld,,", count, k++);
        (void)command(head + nameField(entry.name));
    }
    return Done{};
}

Result<Done> Braeuniger::deleteRoutes(const std::vector<DeviceRoute>& routes)
{
    if (routes.size() == routeArray().size())
        return deleteAllRoutes();
    std::lock_guard lock(commandLock());
    std::vector<DeviceWayPoint> points;
    for (const DeviceRoute& route : routes) {
        points.insert(points.end(), route.waypoints.begin(), route.waypoints.end());
        (void)command("$PBRRTX," + nameField(route.name));
    }
    return deleteWaypoints(points);
}

Result<Done> Braeuniger::deleteAllRoutes()
{
    std::lock_guard lock(commandLock());
    std::vector<DeviceWayPoint> points;
    for (const DeviceRoute& route : routeArray())
        points.insert(points.end(), route.waypoints.begin(), route.waypoints.end());
    if (!serialCommand("$PBRRTX,,", braeunigerExchange()))
        return Result<Done>::failure("The instrument did not answer.");
    return deleteWaypoints(points);
}

Result<Done> Braeuniger::deleteWaypointsFromRoutes(const std::vector<DeviceRoute>& routes)
{
    std::vector<DeviceWayPoint> points;
    for (const DeviceRoute& route : routes)
        points.insert(points.end(), route.waypoints.begin(), route.waypoints.end());
    return deleteWaypoints(points);
}

bool Braeuniger::readSettings()
{
    BraeunigerMemory image;
    for (unsigned address = 0; address < BraeunigerMemory::kReadBytes; address += 8) {
        if (canceled())
            return false;
        char sentence[32];
        std::snprintf(sentence, sizeof sentence, "$PBRMEMR,%04x", address);
        const std::optional<std::array<std::uint8_t, 8>> bytes = parseMemoryAnswer(command(sentence), address);
        if (!bytes)
            return false;
        for (unsigned k = 0; k < 8; ++k)
            image.setByte(address + k, (*bytes)[k]);
    }
    std::lock_guard lock(m_stateMutex);
    m_memory = image;
    m_settingsValid = true;
    return true;
}

std::vector<DeviceSetting> Braeuniger::settingsValues() const
{
    std::lock_guard lock(m_stateMutex);
    std::vector<DeviceSetting> out;
    if (!m_settingsValid)
        return out;
    for (const std::string& name : BraeunigerMemory::textPropertyNames())
        out.push_back({name, *m_memory.text(name)});
    for (const std::string& name : BraeunigerMemory::propertyNames())
        out.push_back({name, *m_memory.value(name)});
    return out;
}

BraeunigerMemory Braeuniger::memory() const
{
    std::lock_guard lock(m_stateMutex);
    return m_memory;
}

bool Braeuniger::settingsValid() const
{
    std::lock_guard lock(m_stateMutex);
    return m_settingsValid;
}

bool Braeuniger::setSetting(const std::string& name, double value)
{
    std::optional<BraeunigerMemory::WriteSpan> span;
    std::optional<BraeunigerMemory::WriteSpan> follow;
    {
        std::lock_guard lock(m_stateMutex);
        span = m_memory.setValue(name, value);
        // The down tone may not start above the up tone.
        if (span && name == "upBaseFreq" && *m_memory.value("downBaseFreq") > *m_memory.value("upBaseFreq"))
            follow = m_memory.setValue("downBaseFreq", *m_memory.value("upBaseFreq"));
    }
    if (!span)
        return false;
    writeMemoryData(span->address, span->length);
    if (follow)
        writeMemoryData(follow->address, follow->length);
    return true;
}

bool Braeuniger::setSettingText(const std::string& name, const std::string& text)
{
    std::optional<BraeunigerMemory::WriteSpan> span;
    {
        std::lock_guard lock(m_stateMutex);
        span = m_memory.setText(name, text);
    }
    return span && writeMemoryData(span->address, span->length);
}

bool Braeuniger::writeMemoryData(unsigned address, unsigned length)
{
    if (address >= BraeunigerMemory::kSize || length == 0)
        return false;
    WriteOperation op;
    op.position = address & ~7u;
    op.length = std::max(address - op.position + length, 8u);
    {
        std::lock_guard lock(m_stateMutex);
        op.image = m_memory;
    }
    {
        std::lock_guard lock(m_queueMutex);
        if (m_stopQueue)
            return false;
        m_queue.push_back(std::move(op));
    }
    m_queueChanged.notify_all();
    return true;
}

bool Braeuniger::sliderWriteMemoryData(unsigned address)
{
    if (memory().byte(0x07F) == 0) {
        if (address >= 85 && address <= 90)
            address += 37;
        else if (address == 91)
            address = 126;
    }
    return writeMemoryData(address);
}

void Braeuniger::waitForWrites()
{
    std::unique_lock lock(m_queueMutex);
    m_queueChanged.wait(lock, [this] { return m_queue.empty() && !m_writing; });
}

void Braeuniger::runWriteQueue()
{
    std::unique_lock lock(m_queueMutex);
    for (;;) {
        m_queueChanged.wait(lock, [this] { return m_stopQueue || !m_queue.empty(); });
        if (m_queue.empty())
            return;
        WriteOperation op = std::move(m_queue.front());
        m_queue.pop_front();
        m_writing = true;
        lock.unlock();
        const bool ok = writeMemory(op);
        emit memoryWritten(op.position, op.length, ok);
        lock.lock();
        m_writing = false;
        m_queueChanged.notify_all();
    }
}

bool Braeuniger::writeMemory(const WriteOperation& op)
{
    // The operation owns the line for its whole length: no other command may
    // come between the pieces and the closing "$PBRCONF,".
    std::lock_guard lock(commandLock());
    if (!link().open(portPath()).ok())
        return false;
    unsigned done = 0;
    long length = long(op.length);
    while (length >= 1) {
        const unsigned address = op.position + done;
        const int count = int(std::min(length, 8L));
        std::uint8_t bytes[8]{};
        for (int k = 0; k < count; ++k)
            bytes[k] = op.image.byte(address + unsigned(k));
        if (!serialCommand(memoryWriteCommand(address, bytes, count), memoryWriterExchange())) {
            closeLine();
            return false;
        }
        length -= 8;
        done += 8;
    }
    (void)command("$PBRCONF,");
    closeLine();
    return true;
}

} // namespace kalvora
