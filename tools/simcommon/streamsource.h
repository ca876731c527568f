#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "simcommon/channel.h"
#include "simcommon/pty.h"

namespace kalvora::sim {

/** What a port that is no instrument sends, unasked. */
enum class StreamKind
{
    /** A GPS receiver: a GGA and an RMC sentence twice a second. */
    Nmea,
    /** Noise without a pause, as fast as the line goes. */
    Garbage,
    /** The NMEA text one byte every 300 ms: often enough to restart every count of silent reads. */
    Drip,
};

/** "nmea", "garbage", "drip"; nullopt for anything else. */
[[nodiscard]] std::optional<StreamKind> streamKindFromName(std::string_view name);

/**
 * A pseudo-terminal that keeps sending whatever the driver writes (which is read
 * and dropped), for the scan's worst cases: a GPS mouse or a noisy adapter on a
 * port that the scan tries like any other.
 */
class StreamSource
{
public:
    /** BAUD paces Nmea and Garbage as a real line would [baud]. */
    explicit StreamSource(StreamKind kind, int baud = 57600);
    StreamSource(const StreamSource&) = delete;
    StreamSource& operator=(const StreamSource&) = delete;
    ~StreamSource();

    /** Opens the pty and starts sending; false when no pty could be had. */
    [[nodiscard]] bool start();
    void stop();
    [[nodiscard]] std::string slavePath() const { return m_pty ? m_pty->slavePath() : std::string(); }
    bool linkTo(const std::string& path) { return m_pty && m_pty->linkTo(path); }

private:
    void run();

    StreamKind m_kind;
    int m_baud;
    std::optional<Pty> m_pty;
    std::unique_ptr<Channel> m_channel;
    std::thread m_thread;
};

} // namespace kalvora::sim
