#include "instruments/serialport.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kalvora {
namespace {

speed_t speedConstant(int baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    default: return B0;
    }
}

std::string groupOf(const std::string& path)
{
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    if (const group* g = ::getgrgid(st.st_gid))
        return g->gr_name;
    return {};
}

} // namespace

std::string serialPermissionMessage(const std::string& path)
{
    std::string group = groupOf(path);
    if (group.empty() || group == "root")
        group = "dialout";
    return "You may not open the serial device " + path + ". It belongs to the group \"" + group +
           "\": add yourself to it (sudo usermod -aG " + group +
           " $USER) and log in again. Installing Kalvora's udev rule gives the logged-in user access "
           "without the group.";
}

SerialPort::~SerialPort()
{
    close();
}

Result<Done> SerialPort::open(const std::string& path)
{
    close();
    m_fileDescriptor = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_fileDescriptor < 0) {
        const int error = errno;
        if (error == EACCES || error == EPERM)
            return Result<Done>::failure(serialPermissionMessage(path));
        return Result<Done>::failure("Cannot open the serial device " + path + ": " + std::strerror(error));
    }
    // The line opened non-blocking only so that the open cannot hang on carrier;
    // reads must block (for VTIME) from now on.
    if (::fcntl(m_fileDescriptor, F_SETFL, 0) == -1 || ::tcgetattr(m_fileDescriptor, &m_originalOptions) == -1) {
        const int error = errno;
        ::close(m_fileDescriptor);
        m_fileDescriptor = -1;
        return Result<Done>::failure("Cannot set up the serial device " + path + ": " + std::strerror(error));
    }
    termios options{};
    options.c_iflag = 0;
    options.c_oflag = 0;
    options.c_lflag = 0;
    options.c_cflag = CS8 | CSTOPB | CREAD | CLOCAL;
    for (cc_t& c : options.c_cc)
        c = 0;
    options.c_cc[VMIN] = 0;
    options.c_cc[VTIME] = 2;
    ::cfsetispeed(&options, B57600);
    ::cfsetospeed(&options, B57600);
    // A pseudo-terminal or an adapter may refuse parts of this; the line still works.
    (void)::tcsetattr(m_fileDescriptor, TCSANOW, &options);
    return Done{};
}

void SerialPort::close()
{
    if (m_fileDescriptor < 0)
        return;
    ::tcdrain(m_fileDescriptor);
    ::tcsetattr(m_fileDescriptor, TCSANOW, &m_originalOptions);
    ::close(m_fileDescriptor);
    m_fileDescriptor = -1;
}

bool SerialPort::write(std::string_view bytes)
{
    if (m_fileDescriptor < 0)
        return false;
    const ssize_t written = ::write(m_fileDescriptor, bytes.data(), bytes.size());
    return written >= 0 && std::size_t(written) == bytes.size();
}

std::optional<std::string> SerialPort::read(std::size_t maxBytes, std::chrono::milliseconds timeout)
{
    if (m_fileDescriptor < 0)
        return std::nullopt;
    // poll() first so that time-outs other than VTIME's 0.2 s work; with bytes
    // waiting the VMIN 0 read returns them at once.
    pollfd pfd{m_fileDescriptor, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&pfd, 1, int(timeout.count()));
    } while (ready < 0 && errno == EINTR);
    if (ready < 0)
        return std::nullopt;
    if (ready == 0)
        return std::string();
    std::string buffer(maxBytes, '\0');
    ssize_t got;
    do {
        got = ::read(m_fileDescriptor, buffer.data(), maxBytes);
    } while (got < 0 && errno == EINTR);
    if (got < 0)
        return std::nullopt;
    if (got == 0 && (pfd.revents & (POLLHUP | POLLERR)) != 0)
        return std::nullopt;
    buffer.resize(std::size_t(got));
    return buffer;
}

bool SerialPort::drain()
{
    return m_fileDescriptor >= 0 && ::tcdrain(m_fileDescriptor) == 0;
}

bool SerialPort::setBaud(int baud)
{
    const speed_t speed = speedConstant(baud);
    if (m_fileDescriptor < 0 || speed == B0)
        return false;
    termios options{};
    if (::tcgetattr(m_fileDescriptor, &options) != 0)
        return false;
    ::cfsetispeed(&options, speed);
    ::cfsetospeed(&options, speed);
    return ::tcsetattr(m_fileDescriptor, TCSANOW, &options) == 0;
}

} // namespace kalvora
