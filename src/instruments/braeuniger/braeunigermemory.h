#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kalvora {

/**
 * The settings memory of a "$PBR" instrument: 1024 bytes, of which 0..535 are
 * read from the instrument. Each setting is a named property decoded from the
 * image (big-endian, signed or unsigned, bit fields, NUL-padded ASCII texts);
 * values travel as doubles. Plain C++ value type.
 */
class BraeunigerMemory
{
public:
    static constexpr std::size_t kSize = 1024;
    /** Bytes the instrument holds: 67 reads of 8 bytes. */
    static constexpr unsigned kReadBytes = 536;

    /** Bytes to send after a change: LENGTH bytes at ADDRESS. */
    struct WriteSpan
    {
        unsigned address = 0;
        unsigned length = 0;
        bool operator==(const WriteSpan&) const = default;
    };

    /** Every numeric property name, in map order. */
    [[nodiscard]] static const std::vector<std::string>& propertyNames();
    /** "owner", "gliderType", "gliderID". */
    [[nodiscard]] static const std::vector<std::string>& textPropertyNames();

    /** The decoded value; nullopt for an unknown name. A page-dependent item on a page other than 0-2 reads 0. */
    [[nodiscard]] std::optional<double> value(std::string_view name) const;
    /**
     * Encodes VALUE (rounded, clamped to the field) and answers the bytes to write;
     * nullopt when nothing changes hands: unknown name, a polar value while the
     * first polar is in use, a page-dependent item on a page other than 0-2.
     */
    std::optional<WriteSpan> setValue(std::string_view name, double value);

    /** Text up to the first NUL of a 16-byte text property; nullopt for an unknown name. */
    [[nodiscard]] std::optional<std::string> text(std::string_view name) const;
    /** Copies the first 16 bytes of TEXT (NUL-padded) and answers the 16 bytes to write. */
    std::optional<WriteSpan> setText(std::string_view name, std::string_view text);

    [[nodiscard]] std::uint8_t byte(unsigned address) const { return address < kSize ? m_bytes[address] : 0; }
    void setByte(unsigned address, std::uint8_t value)
    {
        if (address < kSize)
            m_bytes[address] = value;
    }
    [[nodiscard]] const std::array<std::uint8_t, kSize>& bytes() const { return m_bytes; }

    bool operator==(const BraeunigerMemory&) const = default;

private:
    std::array<std::uint8_t, kSize> m_bytes{};
};

/** Value transformers of the settings views: instrument units to display units. */
namespace braeuniger::transform {
[[nodiscard]] inline double centiMeterToMeter(double v) { return v / 100.0; }
[[nodiscard]] inline double dezimeterToMeter(double v) { return v / 10.0; }
[[nodiscard]] inline double halfDezimeterToMeter(double v) { return v / 5.0; }
[[nodiscard]] inline double mulWith100(double v) { return v * 100.0; }
[[nodiscard]] inline double acousticIntegration(double v) { return v / 25.0; }
/** "%f" of value × 0.5. */
[[nodiscard]] std::string divBy2(double v);
/** "%f" of cm/s as km/h. */
[[nodiscard]] std::string cmsToKmh(double v);
/** "%02ld:%02ld" of minutes as hours and minutes. */
[[nodiscard]] std::string minutesToTimeString(double v);
/** Integer value / 8 + 1013 [hPa]. */
[[nodiscard]] long qnh(double v);
/** 25/50/75/100 -> 1..4, else 0. */
[[nodiscard]] int baseVolume(double v);
/** 1..4 -> 25/50/75/100, else 0. */
[[nodiscard]] int baseVolumeReverse(double v);
} // namespace braeuniger::transform

} // namespace kalvora
