#include "flymastersim.h"

#include <optional>

namespace kalvora::sim {

FlymasterSim::FlymasterSim(std::string model, const std::vector<IgcFile>& tracks)
    : m_instrument(std::move(model))
{
    for (const IgcFile& file : tracks)
        m_instrument.addTrack(file.text);
}

void FlymasterSim::handleLine(const std::string& line, Channel& channel)
{
    const std::size_t dollar = line.find('$');
    if (dollar == std::string::npos)
        return;
    const std::optional<std::string> sentence = unframe(std::string_view(line).substr(dollar));
    if (!sentence)
        return;
    std::string answer;
    std::optional<std::vector<std::string>> packets;
    {
        std::lock_guard lock(m_mutex);
        if (sentence->rfind("$PFMDNL,", 0) == 0 && *sentence != "$PFMDNL,LST,")
            packets = m_instrument.downloadPackets(*sentence);
        else
            answer = m_instrument.answer(*sentence);
    }
    if (packets)
        download(*packets, channel);
    else if (!answer.empty())
        channel.send(answer);
}

void FlymasterSim::download(const std::vector<std::string>& packets, Channel& channel)
{
    const LineOptions options = channel.options();
    LineOptions binary = options;
    if (binary.fault == Fault::XonXoff || binary.fault == Fault::CutOff)
        binary.fault = Fault::None;
    const std::size_t cutAt =
        static_cast<std::size_t>(static_cast<double>(packets.size()) * options.cutFraction);
    m_acknowledged = 0;
    channel.setOptions(binary);
    for (std::size_t i = 0; i < packets.size(); ++i) {
        const bool last = i + 1 == packets.size();
        if (options.fault == Fault::CutOff && i == cutAt) {
            channel.setOptions(options);
            channel.send(packets[i], true);
            break;
        }
        if (!channel.send(packets[i]) || last)
            break;
        std::optional<std::uint8_t> ack;
        do
            ack = channel.readByte(m_ackTimeout);
        while (ack && *ack != 0xB1);
        if (!ack)
            break;
        ++m_acknowledged;
    }
    channel.setOptions(options);
}

} // namespace kalvora::sim
