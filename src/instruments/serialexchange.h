#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kalvora {

class SerialLink;

/**
 * Frames COMMAND as a sentence: the command, '*', the XOR of every byte after the
 * first as two upper-case hex digits, CR LF. Applied to every command, also to
 * commands already ending in CR LF: "ACT_BD_DD\r\n" goes out as
 * "ACT_BD_DD\r\n*16\r\n"; an empty command frames as "*00\r\n".
 */
[[nodiscard]] std::string addCheckSum(std::string_view command);

/** Removes every XON (0x11) and XOFF (0x13) byte; real answers carry them as flow control noise. */
[[nodiscard]] std::string removeXonXoff(std::string_view bytes);

/**
 * The most bytes one answer may bring. A line that streams without pause (a
 * faulty adapter, noise) would otherwise keep the exchange reading for ever.
 */
inline constexpr std::size_t kMaxAnswerBytes = 32u * 1024u * 1024u;

/**
 * The longest an ordinary exchange may read, from its first write: a track of
 * several megabytes at 57600 baud takes minutes, a line that never stops
 * sending is given up here.
 */
inline constexpr std::chrono::milliseconds kMaxAnswerTime = std::chrono::minutes(30);

/** The most bytes an identification answer may bring; real ones are one short sentence. */
inline constexpr std::size_t kMaxIdentificationBytes = 512;

/**
 * How much one exchange may read before it stops, whatever the line does: a
 * silence ends an answer, but a port that keeps sending (NMEA from a GPS,
 * noise, a byte now and then) would never fall silent for long enough.
 * Reaching either bound ends the reading; what came so far is the answer,
 * for the parser to judge, and no further attempt is made.
 */
struct ExchangeLimits
{
    std::size_t maxBytes = kMaxAnswerBytes;
    /** From the first write to the end of the last read, all attempts together. */
    std::chrono::milliseconds deadline = kMaxAnswerTime;
};

/**
 * The limits of an identification during the scan: kMaxIdentificationBytes, and
 * the time SILENTREADS silent reads of SILENTREAD take (what the probe costs on
 * a silent port), so a port that streams costs no more than one that is silent.
 */
[[nodiscard]] ExchangeLimits identificationLimits(int silentReads, std::chrono::milliseconds silentRead);

/** How one family runs its command exchange (see the presets below). */
struct ExchangeOptions
{
    int attempts = 3;
    /** Pause between the write and the first read. */
    std::chrono::milliseconds waitAfterWrite{0};
    /** Bytes asked for per read. */
    std::size_t readChunk = 4096;
    bool removeXonXoff = false;
    /** Open the line anew before the command (false: use the line as it is, never open or close it). */
    bool reopen = true;
    /** Close the line when cancelled (otherwise it is left open). */
    bool closeOnCancel = false;
    /** Close the line after a successful exchange. */
    bool closeAfterSuccess = false;
    ExchangeLimits limits;
};

/** Bräuniger: 3 attempts, read to 0.2 s of silence, XON/XOFF removed, cancel leaves the line open. */
[[nodiscard]] ExchangeOptions braeunigerExchange();
/** Flytec: as Bräuniger but XON/XOFF kept and the line closed on cancel. */
[[nodiscard]] ExchangeOptions flytecExchange();
/** Bräuniger settings-memory writer: 100 ms pause, 2048-byte reads, uses the owner's open line. */
[[nodiscard]] ExchangeOptions memoryWriterExchange();

/**
 * Writes COMMAND framed by addCheckSum to the line at PATH and collects the answer
 * until a read brings no byte or the options' limits are reached. nullopt when
 * the line cannot be opened, when no attempt got a byte before the deadline, or
 * when the link's cancel flag was seen; the answer may be empty when it held only
 * XON/XOFF bytes. Does not lock: the caller holds its
 * driver's command lock. Any thread.
 */
[[nodiscard]] std::optional<std::string> serialCommand(SerialLink& link, const std::string& path,
                                                       std::string_view command, const ExchangeOptions& options);

/**
 * The limits of the Flymaster text exchanges: the answer buffer keeps 4 KB, so
 * reading much past it gains nothing; two minutes for a long list.
 */
[[nodiscard]] ExchangeLimits flymasterLimits();

/**
 * Gathers a Flymaster answer one byte at a time: CR dropped, LF ends a sentence,
 * '$' restarts writing at the end of the last sentence (stray bytes between
 * sentences and a sentence cut off by a new '$' are overwritten). The result is
 * the sentences run together without separators.
 */
class FlymasterLineAssembler
{
public:
    static constexpr std::size_t kCapacity = 4096;

    void add(char byte);
    /** True once a byte was stored. */
    [[nodiscard]] bool hasData() const { return m_moved; }
    /** The text up to the first NUL of the buffer. */
    [[nodiscard]] std::string text() const;

private:
    std::string m_buffer = std::string(kCapacity, '\0');
    std::size_t m_write = 0;
    std::size_t m_lastLineEnd = 0;
    bool m_moved = false;
};

/**
 * The Flymaster exchange: one attempt, one byte per read, the instrument has 1.0 s
 * to start and 0.8 s of silence ends the answer, or LIMITS do; the line is closed
 * afterwards. nullopt when nothing was kept, on cancel (checked after each byte)
 * or when the line cannot be opened.
 */
[[nodiscard]] std::optional<std::string>
flymasterSerialCommand(SerialLink& link, const std::string& path, std::string_view command,
                       const ExchangeLimits& limits = flymasterLimits());

} // namespace kalvora
