#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kalvora::sim {

/** How a simulated instrument misbehaves. */
enum class Fault
{
    None,
    /** Answers nothing at all. */
    Silence,
    /** Answers as many random bytes as the answer would have had. */
    Garbage,
    /** Stops a download (bulk answer) in the middle of a line and says nothing more of it. */
    CutOff,
    /** Sends every byte after a pause (longer than the driver's silent read by default). */
    Slow,
    /** Puts XOFF/XON bytes between the bytes of every answer. */
    XonXoff,
};

/** "none", "silence", "garbage", "cut", "slow", "xonxoff"; nullopt for anything else. */
[[nodiscard]] std::optional<Fault> faultFromName(std::string_view name);

struct LineOptions
{
    /** Paces the bytes as a serial line of this speed would, 11 bits a byte [baud]; 0: as fast as possible. */
    int baud = 0;
    Fault fault = Fault::None;
    /** Pause before each byte under Fault::Slow. */
    std::chrono::milliseconds slowByteGap{300};
    /** Share of a download sent before Fault::CutOff stops it (0..1). */
    double cutFraction = 0.5;
};

/**
 * The simulator's end of the line (the pty master): reads what the driver sends
 * and sends answers with pacing and faults. One thread uses it; stop() may be
 * called from any thread and wakes every wait.
 */
class Channel
{
public:
    Channel(int masterFd, LineOptions options);
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;
    ~Channel();

    [[nodiscard]] const LineOptions& options() const { return m_options; }
    void setOptions(const LineOptions& options) { m_options = options; }

    /** One line up to LF, CR dropped; nullopt when TIMEOUT passes first or on stop. */
    [[nodiscard]] std::optional<std::string> readLine(std::chrono::milliseconds timeout);
    /** One byte; nullopt on time-out or stop. */
    [[nodiscard]] std::optional<std::uint8_t> readByte(std::chrono::milliseconds timeout);
    /** Forgets bytes received but not yet read. */
    void discardInput() { m_in.clear(); }
    /** Reads and forgets whatever the driver sent so far, without waiting. */
    void drainInput();
    /** Waits DURATION or until stop(); false once stopped. */
    bool idle(std::chrono::nanoseconds duration) { return sleepFor(duration); }

    /**
     * Sends an answer, paced and faulted. BULK marks a download (the cut-off fault
     * applies to it only). False when the answer was cut or the channel stopped;
     * the simulator then gives up the rest of the answer.
     */
    bool send(std::string_view bytes, bool bulk = false);

    void stop();
    [[nodiscard]] bool stopped() const { return m_stopped.load(); }
    [[nodiscard]] std::uint64_t bytesSent() const { return m_bytesSent.load(); }

private:
    bool fill(std::chrono::milliseconds timeout);
    bool writeRaw(std::string_view bytes);
    bool sleepFor(std::chrono::nanoseconds duration);

    int m_master;
    int m_wake[2] = {-1, -1};
    LineOptions m_options;
    std::string m_in;
    std::atomic<bool> m_stopped{false};
    std::atomic<std::uint64_t> m_bytesSent{0};
    std::uint32_t m_garbageSeed = 0x2545F491u;
};

} // namespace kalvora::sim
