#pragma once

#include <optional>
#include <string>

namespace kalvora::sim {

/**
 * A pseudo-terminal pair: the simulator keeps the master, the driver opens the
 * slave path as if it were an adapter's callout device. The simulator also holds
 * the slave open itself so that the master does not hang up while the driver has
 * the line closed between commands.
 */
class Pty
{
public:
    /** posix_openpt + grantpt + unlockpt; the slave starts raw. nullopt when the system refuses. */
    [[nodiscard]] static std::optional<Pty> open();

    Pty(Pty&& other) noexcept;
    Pty& operator=(Pty&& other) noexcept;
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    ~Pty();

    [[nodiscard]] int master() const { return m_master; }
    [[nodiscard]] const std::string& slavePath() const { return m_slavePath; }

    /** Makes LINKPATH a symbolic link to the slave (replacing an old link); false on failure. */
    bool linkTo(const std::string& linkPath);

private:
    Pty() = default;
    void reset();

    int m_master = -1;
    int m_slaveKeepAlive = -1;
    std::string m_slavePath;
    std::string m_linkPath;
};

} // namespace kalvora::sim
