#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "simcommon/channel.h"
#include "simcommon/igcfiles.h"
#include "simcommon/pty.h"

namespace kalvora::sim {

/** One simulated instrument family: answers what the driver sends. */
class Simulator
{
public:
    virtual ~Simulator() = default;
    /** A line the driver sent (CR LF removed); answer through CHANNEL. */
    virtual void handleLine(const std::string& line, Channel& channel) = 0;
};

/**
 * Checks and strips the framing of a sentence: "CMD*HH" where HH is the XOR of
 * every byte after the first. nullopt when there is no '*' + two hex digits at the
 * end or the checksum is wrong.
 */
[[nodiscard]] std::optional<std::string> unframe(std::string_view line);

/** COMMAND + "*" + checksum + CR LF, as instruments frame their answers. */
[[nodiscard]] std::string frame(std::string_view command);

/**
 * Runs a simulator on a fresh pseudo-terminal in a thread of its own (tests and
 * the simulator programs). The driver opens slavePath().
 */
class SimulatorRunner
{
public:
    SimulatorRunner(std::shared_ptr<Simulator> simulator, LineOptions options = {});
    SimulatorRunner(const SimulatorRunner&) = delete;
    SimulatorRunner& operator=(const SimulatorRunner&) = delete;
    ~SimulatorRunner();

    /** Opens the pty and starts answering; false when no pty could be had. */
    [[nodiscard]] bool start();
    void stop();
    [[nodiscard]] std::string slavePath() const { return m_pty ? m_pty->slavePath() : std::string(); }
    bool linkTo(const std::string& path) { return m_pty && m_pty->linkTo(path); }
    /** Changes pacing or fault for the next answers (call between commands). */
    void setOptions(const LineOptions& options);
    [[nodiscard]] std::uint64_t bytesSent() const { return m_channel ? m_channel->bytesSent() : 0; }

private:
    std::shared_ptr<Simulator> m_simulator;
    LineOptions m_options;
    std::optional<Pty> m_pty;
    std::unique_ptr<Channel> m_channel;
    std::thread m_thread;
};

/** What the shared main read from the command line. */
struct SimArgs
{
    LineOptions line;
    std::string link;
    /** IGC recordings the instrument holds, in order. */
    std::vector<IgcFile> igcFiles;
    /** --model NAME (the family's identification). */
    std::string model;
    /** Every other "--key value" pair. */
    std::map<std::string, std::string> extra;
};

/**
 * The main of a simulator program. Options: --link PATH (symlink to the slave),
 * --baud N (pacing), --fault none|silence|garbage|cut|slow, --byte-gap-ms N,
 * --cut-fraction F, --igc-dir DIR, --igc NAME (repeatable; default: every *.igc of
 * the folder), --max-tracks N, --model NAME, other --key value pairs for the family.
 * Prints the slave path on the first line of stdout, then serves until SIGINT or
 * SIGTERM.
 */
int simulatorMain(int argc, char** argv, const char* programName, std::string_view extraUsage,
                  const std::function<std::shared_ptr<Simulator>(const SimArgs&)>& make);

} // namespace kalvora::sim
