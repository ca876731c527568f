#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "flymasterinstrument.h"
#include "simcommon/simulator.h"

namespace kalvora::sim {

/**
 * A simulated Flymaster instrument on a pseudo-terminal: "$PFM" sentences, and
 * track downloads as binary packets, each sent only after the previous one was
 * acknowledged with the byte B1.
 *
 * Faults apply as on every simulator, with two differences for the packets: the
 * cut-off stops the download inside the packet at the cut fraction of the
 * packets, and XON/XOFF bytes go into text answers only (a line that carries
 * binary packets cannot use software flow control).
 */
class FlymasterSim final : public Simulator
{
public:
    explicit FlymasterSim(std::string model, const std::vector<IgcFile>& tracks = {});

    void handleLine(const std::string& line, Channel& channel) override;

    /** How long the instrument waits for an acknowledgement before it gives up the download. */
    void setAckTimeout(std::chrono::milliseconds timeout) { m_ackTimeout = timeout; }

    template <typename Fn> auto withInstrument(Fn&& fn)
    {
        std::lock_guard lock(m_mutex);
        return fn(m_instrument);
    }

    /** Packets acknowledged in the last download. */
    [[nodiscard]] std::size_t acknowledged() const { return m_acknowledged.load(); }

private:
    void download(const std::vector<std::string>& packets, Channel& channel);

    std::mutex m_mutex;
    FlymasterInstrument m_instrument;
    std::chrono::milliseconds m_ackTimeout{5000};
    std::atomic<std::size_t> m_acknowledged{0};
};

} // namespace kalvora::sim
