#include "simcommon/streamsource.h"

#include <cstdio>

#include "simcommon/simulator.h"

namespace kalvora::sim {
namespace {

/** Sample of a 2 Hz GPS receiver; the time field moves on so that no two seconds look alike. */
std::string nmeaBurst(unsigned tick)
{
    const unsigned s = 36000 + tick / 2;
    char time[16];
    std::snprintf(time, sizeof time, "%02u%02u%02u.%02u", s / 3600 % 24, s / 60 % 60, s % 60, tick % 2 * 50);
    return frame(std::string("$GPGGA,") + time + ",4730.500,N,00715.000,E,1,08,0.9,1234.5,M,47.9,M,,") +
           frame(std::string("$GPRMC,") + time + ",A,4730.500,N,00715.000,E,012.4,084.4,061226,,,A");
}

} // namespace

std::optional<StreamKind> streamKindFromName(std::string_view name)
{
    if (name == "nmea")
        return StreamKind::Nmea;
    if (name == "garbage")
        return StreamKind::Garbage;
    if (name == "drip")
        return StreamKind::Drip;
    return std::nullopt;
}

StreamSource::StreamSource(StreamKind kind, int baud) : m_kind(kind), m_baud(baud) {}

StreamSource::~StreamSource()
{
    stop();
}

bool StreamSource::start()
{
    m_pty = Pty::open();
    if (!m_pty)
        return false;
    LineOptions options;
    options.baud = m_baud;
    if (m_kind == StreamKind::Garbage)
        options.fault = Fault::Garbage;
    if (m_kind == StreamKind::Drip) {
        options.fault = Fault::Slow;
        options.slowByteGap = std::chrono::milliseconds(300);
    }
    m_channel = std::make_unique<Channel>(m_pty->master(), options);
    m_thread = std::thread([this] { run(); });
    return true;
}

void StreamSource::stop()
{
    if (m_channel)
        m_channel->stop();
    if (m_thread.joinable())
        m_thread.join();
}

void StreamSource::run()
{
    for (unsigned tick = 0; !m_channel->stopped(); ++tick) {
        m_channel->drainInput();
        const auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        // Garbage is as long as the text it replaces: 256 bytes take 49 ms at 57600 baud, so the line never
        // rests.
        const std::string text = m_kind == StreamKind::Garbage ? std::string(256, ' ') : nmeaBurst(tick);
        if (!m_channel->send(text))
            return;
        if (m_kind == StreamKind::Nmea)
            m_channel->idle(due - std::chrono::steady_clock::now());
    }
}

} // namespace kalvora::sim
