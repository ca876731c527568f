#include "instruments/serialexchange.h"

#include <algorithm>
#include <thread>

#include "instruments/seriallink.h"

namespace kalvora {
namespace {

/** The end of an exchange's time, counted from its construction. */
class Deadline
{
public:
    explicit Deadline(std::chrono::milliseconds length) : m_end(std::chrono::steady_clock::now() + length) {}

    /** WAIT, shortened to the time left; zero or less once the deadline has passed. */
    [[nodiscard]] std::chrono::milliseconds cap(std::chrono::milliseconds wait) const
    {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(m_end - std::chrono::steady_clock::now());
        return std::min(wait, left);
    }
    [[nodiscard]] bool passed() const { return std::chrono::steady_clock::now() >= m_end; }

private:
    std::chrono::steady_clock::time_point m_end;
};

} // namespace

std::string addCheckSum(std::string_view command)
{
    unsigned checksum = 0;
    for (std::size_t i = 1; i < command.size(); ++i)
        checksum ^= static_cast<unsigned char>(command[i]);
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string framed;
    framed.reserve(command.size() + 5);
    framed.append(command);
    framed += '*';
    framed += hex[(checksum >> 4) & 0xF];
    framed += hex[checksum & 0xF];
    framed += "\r\n";
    return framed;
}

std::string removeXonXoff(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes)
        if (c != '\x11' && c != '\x13')
            out += c;
    return out;
}

ExchangeLimits identificationLimits(int silentReads, std::chrono::milliseconds silentRead)
{
    return {kMaxIdentificationBytes, silentReads * silentRead};
}

ExchangeLimits flymasterLimits()
{
    return {64u * 1024u, std::chrono::minutes(2)};
}

ExchangeOptions braeunigerExchange()
{
    ExchangeOptions o;
    o.removeXonXoff = true;
    return o;
}

ExchangeOptions flytecExchange()
{
    ExchangeOptions o;
    o.closeOnCancel = true;
    return o;
}

ExchangeOptions memoryWriterExchange()
{
    ExchangeOptions o;
    o.waitAfterWrite = std::chrono::milliseconds(100);
    o.readChunk = 2048;
    o.removeXonXoff = true;
    o.reopen = false;
    return o;
}

std::optional<std::string> serialCommand(SerialLink& link, const std::string& path, std::string_view command,
                                         const ExchangeOptions& options)
{
    if (options.reopen && !link.open(path).ok())
        return std::nullopt;
    const std::string framed = addCheckSum(command);
    const auto cancelled = [&]() {
        if (!link.isCanceled())
            return false;
        if (options.closeOnCancel)
            link.close();
        return true;
    };
    const Deadline deadline(options.limits.deadline);
    bool limitReached = false;
    for (int attempt = 0; attempt < options.attempts && !limitReached && !deadline.passed(); ++attempt) {
        if (!link.write(framed))
            continue;
        if (options.waitAfterWrite.count() > 0)
            std::this_thread::sleep_for(options.waitAfterWrite);
        if (cancelled())
            return std::nullopt;
        std::string answer;
        for (;;) {
            const std::chrono::milliseconds wait = deadline.cap(link.silentRead());
            if (wait.count() <= 0) {
                limitReached = true;
                break;
            }
            const std::size_t room = options.limits.maxBytes - answer.size();
            const std::optional<std::string> chunk = link.read(std::min(options.readChunk, room), wait);
            if (cancelled())
                return std::nullopt;
            if (!chunk || chunk->empty())
                break;
            answer += *chunk;
            if (answer.size() >= options.limits.maxBytes) {
                limitReached = true;
                break;
            }
        }
        if (answer.empty())
            continue;
        if (options.closeAfterSuccess)
            link.close();
        return options.removeXonXoff ? removeXonXoff(answer) : answer;
    }
    if (options.reopen)
        link.close();
    return std::nullopt;
}

void FlymasterLineAssembler::add(char byte)
{
    if (byte == '\r')
        return;
    // Keep one byte for the terminating NUL.
    if (m_write >= kCapacity - 1)
        return;
    if (byte == '\n') {
        m_buffer[m_write] = '\0';
        m_lastLineEnd = m_write;
        ++m_write;
        m_moved = true;
        return;
    }
    if (byte == '$') {
        m_write = m_lastLineEnd;
        m_buffer[m_write] = '$';
        ++m_write;
        m_buffer[m_write] = '\0';
        m_moved = true;
        return;
    }
    m_buffer[m_write] = byte;
    ++m_write;
    m_buffer[m_write] = '\0';
    m_moved = true;
}

std::string FlymasterLineAssembler::text() const
{
    // The sentences run together: each LF left a NUL behind that the next '$'
    // overwrote; a NUL not overwritten ends the text.
    const auto end = std::find(m_buffer.begin(), m_buffer.end(), '\0');
    return std::string(m_buffer.begin(), end);
}

std::optional<std::string> flymasterSerialCommand(SerialLink& link, const std::string& path,
                                                  std::string_view command, const ExchangeLimits& limits)
{
    if (!link.open(path).ok())
        return std::nullopt;
    const std::string framed = addCheckSum(command);
    const Deadline deadline(limits.deadline);
    if (!link.write(framed)) {
        link.close();
        return std::nullopt;
    }
    FlymasterLineAssembler assembler;
    std::size_t received = 0;
    int silence = 1;
    // Every byte restarts the silence count, so only the limits end a line that keeps sending.
    while (silence < 6 && received < limits.maxBytes) {
        const std::chrono::milliseconds wait = deadline.cap(link.silentRead());
        if (wait.count() <= 0)
            break;
        const std::optional<std::string> byte = link.read(1, wait);
        if (!byte) {
            ++silence;
            continue;
        }
        if (byte->empty()) {
            ++silence;
            continue;
        }
        assembler.add((*byte)[0]);
        ++received;
        silence = 2;
        if (link.isCanceled()) {
            link.close();
            return std::nullopt;
        }
    }
    link.close();
    if (!assembler.hasData())
        return std::nullopt;
    return assembler.text();
}

} // namespace kalvora
