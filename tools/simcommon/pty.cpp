#include "simcommon/pty.h"

#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace kalvora::sim {

std::optional<Pty> Pty::open()
{
    Pty pty;
    pty.m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (pty.m_master < 0)
        return std::nullopt;
    if (::grantpt(pty.m_master) != 0 || ::unlockpt(pty.m_master) != 0)
        return std::nullopt;
    const char* name = ::ptsname(pty.m_master);
    if (!name)
        return std::nullopt;
    pty.m_slavePath = name;
    pty.m_slaveKeepAlive = ::open(name, O_RDWR | O_NOCTTY);
    if (pty.m_slaveKeepAlive < 0)
        return std::nullopt;
    // Raw from the start: nothing the driver writes before it sets the line up
    // may be echoed back or turned into other bytes.
    termios raw{};
    if (::tcgetattr(pty.m_slaveKeepAlive, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::tcsetattr(pty.m_slaveKeepAlive, TCSANOW, &raw);
    }
    return pty;
}

Pty::Pty(Pty&& other) noexcept
{
    *this = std::move(other);
}

Pty& Pty::operator=(Pty&& other) noexcept
{
    if (this != &other) {
        reset();
        m_master = other.m_master;
        m_slaveKeepAlive = other.m_slaveKeepAlive;
        m_slavePath = std::move(other.m_slavePath);
        m_linkPath = std::move(other.m_linkPath);
        other.m_master = -1;
        other.m_slaveKeepAlive = -1;
        other.m_linkPath.clear();
    }
    return *this;
}

Pty::~Pty()
{
    reset();
}

void Pty::reset()
{
    if (!m_linkPath.empty())
        ::unlink(m_linkPath.c_str());
    if (m_slaveKeepAlive >= 0)
        ::close(m_slaveKeepAlive);
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
    m_slaveKeepAlive = -1;
    m_linkPath.clear();
}

bool Pty::linkTo(const std::string& linkPath)
{
    ::unlink(linkPath.c_str());
    if (::symlink(m_slavePath.c_str(), linkPath.c_str()) != 0)
        return false;
    m_linkPath = linkPath;
    return true;
}

} // namespace kalvora::sim
