#pragma once

#include <optional>

#include <QStringList>

namespace kalvora {

/** What the command line asks of one run of the application. */
struct LaunchOptions
{
    /** logbook files to open and IGC files to import, in the order given */
    QStringList files;
    /** print the object name of every shown top-level window once start-up has settled */
    bool reportWindows = false;
    /** quit through the normal quit path this long after start-up [ms]; scripted runs only */
    std::optional<int> quitAfterMs;

    bool operator==(const LaunchOptions&) const = default;
};

/**
 * Reads the application's arguments (the program name first, as in argv).
 * KALVORA_QUIT_AFTER_MS in the environment works like --quit-after-ms. Unknown
 * options are ignored, so the platform's own (-platform, -style ...) pass through.
 * Main thread.
 */
[[nodiscard]] LaunchOptions parseLaunchOptions(const QStringList& arguments);

} // namespace kalvora
