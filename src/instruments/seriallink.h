#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "track/result.h"

namespace kalvora {

/** Speed of every serial instrument; there is no per-model speed. [baud] */
inline constexpr int kInstrumentBaud = 57600;

/**
 * One silent read of the instrument line: with VMIN 0 / VTIME 2 a read gives up
 * after 0.2 s without a byte. Every time-out of the protocols counts such reads.
 */
inline constexpr std::chrono::milliseconds kSilentRead{200};

/**
 * A byte stream to one instrument. Drivers talk only to this interface; the
 * production implementation is `SerialPort` (POSIX termios), tests may put a
 * scripted fake in its place.
 *
 * A link is used by one thread at a time (each driver serialises its commands);
 * only the cancel flag may be set from any thread.
 */
class SerialLink
{
public:
    SerialLink() = default;
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;
    virtual ~SerialLink() = default;

    /**
     * Opens PATH and sets the line up, closing a line left open first. The error
     * is a sentence for the user (for a device the user may not open it says how
     * to get access).
     */
    [[nodiscard]] virtual Result<Done> open(const std::string& path) = 0;

    /** Waits until all output is sent, restores the line's old settings and closes it; no-op when closed. */
    virtual void close() = 0;

    [[nodiscard]] virtual bool isOpen() const = 0;

    /** Writes all BYTES with one write; false when the write failed or was short. */
    [[nodiscard]] virtual bool write(std::string_view bytes) = 0;

    /**
     * Reads at most MAXBYTES, waiting at most TIMEOUT for the first one. An empty
     * string means silence; nullopt a read error or a hung-up line.
     */
    [[nodiscard]] virtual std::optional<std::string> read(std::size_t maxBytes,
                                                          std::chrono::milliseconds timeout = kSilentRead) = 0;

    /** Blocks until every written byte has left (tcdrain); false on error. */
    virtual bool drain() = 0;

    /**
     * How long one read waits for a byte before it counts as silence (the line's
     * VTIME). The exchanges count their time-outs in such reads.
     */
    [[nodiscard]] virtual std::chrono::milliseconds silentRead() const { return kSilentRead; }

    /** Sets input and output speed of an open line [baud]; false when the speed is refused. */
    virtual bool setBaud(int baud) = 0;

    /**
     * The cancel flag: set by the user's cancel button on the GUI thread, read by
     * the worker between reads, cleared when a driver operation starts. A stale
     * read only delays cancelling by one read.
     */
    void setCanceled(bool canceled) { m_canceled.store(canceled, std::memory_order_relaxed); }
    [[nodiscard]] bool isCanceled() const { return m_canceled.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> m_canceled{false};
};

} // namespace kalvora
