#pragma once

#include <termios.h>

#include "instruments/seriallink.h"

namespace kalvora {

/**
 * The instrument line on a POSIX terminal device. Every open writes the same
 * settings: 57600 baud in and out, 8 data bits, no parity, 2 stop bits, CREAD |
 * CLOCAL, no flow control, raw input/output/local modes, all control characters
 * 0 but VMIN 0 and VTIME 2 (a read returns what is there, or nothing after
 * 0.2 s). The settings found at open are written back at close.
 */
class SerialPort final : public SerialLink
{
public:
    /**
     * SILENTREAD is how long a read waits for the first byte: 0.2 s as the
     * instruments expect; tests against a simulator on a pseudo-terminal may
     * shorten it.
     */
    explicit SerialPort(std::chrono::milliseconds silentRead = kSilentRead) : m_silentRead(silentRead) {}
    ~SerialPort() override;

    [[nodiscard]] Result<Done> open(const std::string& path) override;
    void close() override;
    [[nodiscard]] bool isOpen() const override { return m_fileDescriptor >= 0; }
    [[nodiscard]] bool write(std::string_view bytes) override;
    [[nodiscard]] std::optional<std::string> read(std::size_t maxBytes,
                                                  std::chrono::milliseconds timeout = kSilentRead) override;
    bool drain() override;
    bool setBaud(int baud) override;
    [[nodiscard]] std::chrono::milliseconds silentRead() const override { return m_silentRead; }

    /** The descriptor of the open line, -1 when closed (for tests of the line settings). */
    [[nodiscard]] int fileDescriptor() const { return m_fileDescriptor; }

private:
    int m_fileDescriptor = -1;
    termios m_originalOptions{};
    std::chrono::milliseconds m_silentRead;
};

/**
 * The message for a device the user may not open: names the group that owns the
 * device node ("dialout" on Debian and Ubuntu, "uucp" on Arch and others) and
 * says to log in again after joining it. PATH is the device path.
 */
[[nodiscard]] std::string serialPermissionMessage(const std::string& path);

} // namespace kalvora
