#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace kalvora::sim {

/** A recording an instrument simulator offers as a track. */
struct IgcFile
{
    std::string name;
    std::string text; ///< the bytes of the file, unchanged
    std::chrono::sys_seconds startUTC{};
    std::int64_t flightTimeS = 0;
};

/** The shared recordings folder given at build time (may not exist). */
[[nodiscard]] std::string defaultIgcDir();

/**
 * Loads NAMES from DIR (all *.igc sorted by name when NAMES is empty), keeping only
 * files that summarise as a track; at most MAXFILES (0: no limit).
 */
[[nodiscard]] std::vector<IgcFile> loadIgcFiles(const std::string& dir, const std::vector<std::string>& names = {},
                                                std::size_t maxFiles = 0);

/** A file made from TEXT (for tests that build their own recordings); empty name when it is no track. */
[[nodiscard]] IgcFile igcFileFromText(const std::string& name, const std::string& text);

} // namespace kalvora::sim
