#include "simcommon/channel.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace kalvora::sim {

std::optional<Fault> faultFromName(std::string_view name)
{
    if (name == "none")
        return Fault::None;
    if (name == "silence")
        return Fault::Silence;
    if (name == "garbage")
        return Fault::Garbage;
    if (name == "cut")
        return Fault::CutOff;
    if (name == "slow")
        return Fault::Slow;
    if (name == "xonxoff")
        return Fault::XonXoff;
    return std::nullopt;
}

Channel::Channel(int masterFd, LineOptions options) : m_master(masterFd), m_options(options)
{
    if (::pipe(m_wake) != 0)
        m_wake[0] = m_wake[1] = -1;
    // Writes must not block for ever when the driver stops reading; they wait in poll() instead.
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
}

Channel::~Channel()
{
    for (int fd : m_wake)
        if (fd >= 0)
            ::close(fd);
}

void Channel::stop()
{
    m_stopped = true;
    if (m_wake[1] >= 0) {
        const char c = 1;
        (void)!::write(m_wake[1], &c, 1);
    }
}

bool Channel::fill(std::chrono::milliseconds timeout)
{
    if (m_stopped)
        return false;
    pollfd fds[2] = {{m_master, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    const int ready = ::poll(fds, m_wake[0] >= 0 ? 2 : 1, int(timeout.count()));
    if (ready <= 0 || m_stopped)
        return false;
    if ((fds[0].revents & POLLIN) == 0) {
        // A hang-up without data: nobody holds the slave; wait a little instead of spinning.
        if (fds[0].revents & (POLLHUP | POLLERR))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return false;
    }
    char buffer[4096];
    const ssize_t got = ::read(m_master, buffer, sizeof buffer);
    if (got <= 0)
        return false;
    m_in.append(buffer, std::size_t(got));
    return true;
}

std::optional<std::string> Channel::readLine(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const std::size_t lf = m_in.find('\n');
        if (lf != std::string::npos) {
            std::string line = m_in.substr(0, lf);
            m_in.erase(0, lf + 1);
            std::erase(line, '\r');
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || m_stopped)
            return std::nullopt;
        fill(left);
    }
}

std::optional<std::uint8_t> Channel::readByte(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (m_in.empty()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || m_stopped)
            return std::nullopt;
        fill(left);
    }
    const std::uint8_t b = std::uint8_t(m_in.front());
    m_in.erase(0, 1);
    return b;
}

void Channel::drainInput()
{
    while (fill(std::chrono::milliseconds(0)))
        m_in.clear();
    m_in.clear();
}

bool Channel::sleepFor(std::chrono::nanoseconds duration)
{
    if (duration.count() <= 0)
        return !m_stopped;
    pollfd fd{m_wake[0], POLLIN, 0};
    const int ms = int(std::chrono::duration_cast<std::chrono::milliseconds>(duration).count());
    if (ms >= 2 && m_wake[0] >= 0)
        ::poll(&fd, 1, ms);
    else
        std::this_thread::sleep_for(duration);
    return !m_stopped;
}

bool Channel::writeRaw(std::string_view bytes)
{
    while (!bytes.empty()) {
        if (m_stopped)
            return false;
        const ssize_t n = ::write(m_master, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(std::size_t(n));
            m_bytesSent += std::uint64_t(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO)
            return false;
        pollfd fds[2] = {{m_master, POLLOUT, 0}, {m_wake[0], POLLIN, 0}};
        ::poll(fds, 2, 50);
    }
    return true;
}

bool Channel::send(std::string_view bytes, bool bulk)
{
    const LineOptions o = m_options;
    std::string data;
    switch (o.fault) {
    case Fault::Silence: return true;
    case Fault::Garbage: {
        // Deterministic noise; never starts like an answer.
        data.resize(std::max<std::size_t>(bytes.size(), 16));
        for (char& c : data) {
            m_garbageSeed = m_garbageSeed * 1664525u + 1013904223u;
            c = char(m_garbageSeed >> 24);
        }
        data[0] = '\xFE';
        break;
    }
    case Fault::XonXoff: {
        data.reserve(bytes.size() + bytes.size() / 4 + 2);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (i % 9 == 0)
                data += (i % 2 == 0) ? '\x13' : '\x11';
            data += bytes[i];
        }
        data += '\x11';
        break;
    }
    default: data.assign(bytes); break;
    }
    bool cut = false;
    if (o.fault == Fault::CutOff && bulk) {
        std::size_t end = std::size_t(double(data.size()) * std::clamp(o.cutFraction, 0.0, 1.0));
        // Mid-line, so that the receiver cannot mistake the piece for a whole record.
        while (end > 0 && end < data.size() && (data[end - 1] == '\n' || data[end - 1] == '\r'))
            ++end;
        if (end > 0 && end < data.size() && data[end] == '\r')
            --end;
        data.resize(std::min(end, data.size()));
        cut = true;
    }

    if (o.fault == Fault::Slow) {
        for (char c : data) {
            if (!sleepFor(o.slowByteGap) || !writeRaw(std::string_view(&c, 1)))
                return false;
        }
        return true;
    }
    if (o.baud <= 0)
        return writeRaw(data) && !cut;

    // Pacing: each byte takes 11 bit times (start, 8 data, 2 stop); write small
    // pieces and sleep to the time the line would have needed.
    using clock = std::chrono::steady_clock;
    const double secondsPerByte = 11.0 / double(o.baud);
    const std::size_t piece = std::max<std::size_t>(1, std::size_t(0.002 / secondsPerByte));
    const auto start = clock::now();
    std::size_t sent = 0;
    while (sent < data.size()) {
        const std::size_t n = std::min(piece, data.size() - sent);
        if (!writeRaw(std::string_view(data).substr(sent, n)))
            return false;
        sent += n;
        const auto due = start + std::chrono::nanoseconds(std::int64_t(double(sent) * secondsPerByte * 1e9));
        if (!sleepFor(due - clock::now()))
            return false;
    }
    return !cut;
}

} // namespace kalvora::sim
