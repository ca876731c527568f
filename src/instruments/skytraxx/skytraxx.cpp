#include "instruments/skytraxx/skytraxx.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

#include "track/igc.h"

namespace kalvora {

namespace fs = std::filesystem;

namespace {

std::atomic<SkytraxxConfirmation*> g_confirmation{nullptr};

/** No IGC record comes near this; anything bigger is not a track. [bytes] */
constexpr std::uintmax_t kMaxTrackFileBytes = 64u * 1024u * 1024u;
/** Folders nested deeper than this are not followed (a symlink loop ends here too). */
constexpr int kMaxDepth = 16;

bool isHidden(const fs::path& p)
{
    const std::string name = p.filename().string();
    return !name.empty() && name.front() == '.';
}

/** The visible entries of DIR in name order; empty when it cannot be listed. */
std::vector<fs::directory_entry> sortedEntries(const fs::path& dir)
{
    std::vector<fs::directory_entry> entries;
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec)
        return entries;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec)
            break;
        if (!isHidden(it->path()))
            entries.push_back(*it);
    }
    std::sort(entries.begin(), entries.end(),
              [](const fs::directory_entry& a, const fs::directory_entry& b) { return a.path() < b.path(); });
    return entries;
}

void collectFiles(const fs::path& dir, int depth, std::vector<fs::path>& out)
{
    if (depth > kMaxDepth)
        return;
    for (const fs::directory_entry& e : sortedEntries(dir)) {
        std::error_code ec;
        if (e.is_directory(ec))
            collectFiles(e.path(), depth + 1, out);
        else if (e.is_regular_file(ec))
            out.push_back(e.path());
    }
}

std::optional<std::string> readText(const fs::path& file)
{
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    if (ec || size > kMaxTrackFileBytes)
        return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return std::move(text).str();
}

} // namespace

Skytraxx::Skytraxx(fs::path volume, QObject* parent) : GpsDevice(parent), m_volume(std::move(volume))
{
    setDescriptor("Skytraxx");
}

Skytraxx::~Skytraxx()
{
    waitForWorkers();
}

std::vector<fs::path> Skytraxx::mountRoots()
{
    std::vector<fs::path> roots;
    if (const char* env = std::getenv("KALVORA_MOUNT_ROOTS")) {
        std::string_view list(env);
        while (!list.empty()) {
            const std::size_t colon = list.find(':');
            const std::string_view item = list.substr(0, colon);
            if (!item.empty())
                roots.emplace_back(std::string(item));
            if (colon == std::string_view::npos)
                break;
            list.remove_prefix(colon + 1);
        }
        return roots;
    }
    const char* user = std::getenv("USER");
    if (user && *user) {
        roots.push_back(fs::path("/media") / user);
        roots.push_back(fs::path("/run/media") / user);
    }
    roots.emplace_back("/mnt");
    return roots;
}

std::optional<fs::path> Skytraxx::findVolume(const std::vector<fs::path>& roots)
{
    for (const fs::path& root : roots) {
        for (const fs::directory_entry& e : sortedEntries(root)) {
            std::error_code ec;
            if (!e.is_directory(ec))
                continue;
            const fs::path absolute = fs::absolute(e.path(), ec);
            if (!ec && absolute.string().find("SKYTRAXX") != std::string::npos)
                return absolute;
        }
    }
    return std::nullopt;
}

std::unique_ptr<GpsDevice> Skytraxx::open(const std::vector<fs::path>& roots,
                                          SkytraxxConfirmation* confirmation)
{
    const auto volume = findVolume(roots);
    if (!volume)
        return nullptr;
    if (!confirmation)
        confirmation = g_confirmation.load();
    if (confirmation && !confirmation->confirm(*volume))
        return nullptr;
    return std::make_unique<Skytraxx>(*volume);
}

std::unique_ptr<GpsDevice> Skytraxx::openMounted()
{
    return open(mountRoots());
}

void Skytraxx::setConfirmation(SkytraxxConfirmation* confirmation)
{
    g_confirmation.store(confirmation);
}

bool Skytraxx::has(DeviceOperation operation) const
{
    return operation == DeviceOperation::TrackList || operation == DeviceOperation::IgcTrack;
}

std::vector<Track> Skytraxx::tracks()
{
    std::vector<fs::path> files;
    collectFiles(m_volume / "FLIGHTS", 0, files);
    std::vector<Track> list;
    for (const fs::path& file : files) {
        if (canceled())
            break;
        const auto text = readText(file);
        if (!text)
            continue;
        auto summary = IGC::getTrackFromIGCData(*text);
        if (!summary)
            continue;
        Track t = Track::withUTCDateTime(summary->startUTC, static_cast<double>(summary->flightTimeS),
                                         static_cast<std::int64_t>(list.size()) + 1);
        t.igcData = std::move(summary->igcData);
        list.push_back(std::move(t));
    }
    return list;
}

bool Skytraxx::igcTrack(Track& track)
{
    clearCanceled();
    return !track.igcData.empty();
}

} // namespace kalvora
