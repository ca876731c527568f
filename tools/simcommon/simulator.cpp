#include "simcommon/simulator.h"

namespace kalvora::sim {
namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

unsigned checksum(std::string_view command)
{
    unsigned sum = 0;
    for (std::size_t i = 1; i < command.size(); ++i)
        sum ^= static_cast<unsigned char>(command[i]);
    return sum;
}

} // namespace

std::optional<std::string> unframe(std::string_view line)
{
    if (line.size() < 3 || line[line.size() - 3] != '*')
        return std::nullopt;
    const int hi = hexValue(line[line.size() - 2]);
    const int lo = hexValue(line[line.size() - 1]);
    if (hi < 0 || lo < 0)
        return std::nullopt;
    const std::string_view command = line.substr(0, line.size() - 3);
    if (checksum(command) != unsigned(hi * 16 + lo))
        return std::nullopt;
    return std::string(command);
}

std::string frame(std::string_view command)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    const unsigned sum = checksum(command);
    std::string out(command);
    out += '*';
    out += hex[(sum >> 4) & 0xF];
    out += hex[sum & 0xF];
    out += "\r\n";
    return out;
}

SimulatorRunner::SimulatorRunner(std::shared_ptr<Simulator> simulator, LineOptions options)
    : m_simulator(std::move(simulator)), m_options(options)
{
}

SimulatorRunner::~SimulatorRunner()
{
    stop();
}

bool SimulatorRunner::start()
{
    m_pty = Pty::open();
    if (!m_pty)
        return false;
    m_channel = std::make_unique<Channel>(m_pty->master(), m_options);
    m_thread = std::thread([this] {
        while (!m_channel->stopped()) {
            if (std::optional<std::string> line = m_channel->readLine(std::chrono::milliseconds(200)))
                m_simulator->handleLine(*line, *m_channel);
        }
    });
    return true;
}

void SimulatorRunner::stop()
{
    if (m_channel)
        m_channel->stop();
    if (m_thread.joinable())
        m_thread.join();
}

void SimulatorRunner::setOptions(const LineOptions& options)
{
    m_options = options;
    if (m_channel)
        m_channel->setOptions(options);
}

} // namespace kalvora::sim
