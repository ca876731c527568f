#include "simcommon/igcfiles.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "track/igc.h"

namespace kalvora::sim {

std::string defaultIgcDir()
{
#ifdef KALVORA_SIM_IGC_DIR
    return KALVORA_SIM_IGC_DIR;
#else
    return "../shared/testdata/igc";
#endif
}

IgcFile igcFileFromText(const std::string& name, const std::string& text)
{
    IgcFile file;
    const std::optional<IGCTrackSummary> summary = IGC::getTrackFromIGCData(text);
    if (!summary)
        return file;
    file.name = name;
    file.text = text;
    file.startUTC = summary->startUTC;
    file.flightTimeS = summary->flightTimeS;
    return file;
}

std::vector<IgcFile> loadIgcFiles(const std::string& dir, const std::vector<std::string>& names, std::size_t maxFiles)
{
    std::vector<std::string> wanted = names;
    std::error_code ec;
    if (wanted.empty()) {
        for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
            if (entry.path().extension() == ".igc")
                wanted.push_back(entry.path().filename().string());
        std::sort(wanted.begin(), wanted.end());
    }
    std::vector<IgcFile> files;
    for (const std::string& name : wanted) {
        if (maxFiles != 0 && files.size() >= maxFiles)
            break;
        std::ifstream in(std::filesystem::path(dir) / name, std::ios::binary);
        if (!in)
            continue;
        std::ostringstream text;
        text << in.rdbuf();
        IgcFile file = igcFileFromText(name, text.str());
        if (!file.name.empty())
            files.push_back(std::move(file));
    }
    return files;
}

} // namespace kalvora::sim
