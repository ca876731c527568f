#include "flytecsim.h"

#include <optional>
#include <utility>

namespace kalvora::sim {

namespace {

/** Longest command gathered before the frame end; more is noise and is dropped. */
constexpr std::size_t kMaxCommand = 4096;

bool isFrameEnd(std::string_view line)
{
    auto hex = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    };
    return line.size() >= 3 && line[line.size() - 3] == '*' && hex(line[line.size() - 2]) && hex(line.back());
}

} // namespace

FlytecSim::FlytecSim(std::string identification, const std::vector<IgcFile>& tracks)
    : m_instrument(std::move(identification))
{
    for (const IgcFile& file : tracks)
        m_instrument.addTrack(file.text);
}

void FlytecSim::handleLine(const std::string& line, Channel& channel)
{
    std::string answer;
    bool bulk = false;
    {
        std::lock_guard lock(m_mutex);
        if (!isFrameEnd(line)) {
            m_pending += line + "\r\n";
            if (m_pending.size() > kMaxCommand)
                m_pending.clear();
            return;
        }
        // "ACT_BD_DD\r\n*16": the frame covers the gathered lines and their CR LF.
        const std::string framed = std::exchange(m_pending, std::string()) + line;
        const std::optional<std::string> command = unframe(framed);
        if (!command)
            return;
        bulk = command->rfind("ACT_21_", 0) == 0;
        answer = m_instrument.answer(*command);
    }
    if (!answer.empty())
        channel.send(answer, bulk);
}

} // namespace kalvora::sim
