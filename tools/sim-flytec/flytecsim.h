#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "flytecinstrument.h"
#include "simcommon/simulator.h"

namespace kalvora::sim {

/**
 * A simulated Flytec instrument of the command protocol on a pseudo-terminal.
 * Its commands end in CR LF before the frame, so a command arrives as several
 * lines: they are gathered until the line with the '*' and checksum. Frames with
 * a wrong checksum and commands of other families are ignored (silence).
 */
class FlytecSim final : public Simulator
{
public:
    explicit FlytecSim(std::string identification, const std::vector<IgcFile>& tracks = {});

    void handleLine(const std::string& line, Channel& channel) override;

    /** Runs FN with the instrument under the simulator's lock (set-up and inspection by tests). */
    template <typename Fn> auto withInstrument(Fn&& fn)
    {
        std::lock_guard lock(m_mutex);
        return fn(m_instrument);
    }

private:
    std::mutex m_mutex;
    FlytecInstrument m_instrument;
    std::string m_pending;
};

} // namespace kalvora::sim
