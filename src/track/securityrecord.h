#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kalvora {

/** SHA-256 digest (FIPS 180-4). */
struct SHA256
{
    /** 64 lower-case hexadecimal digits of the digest of TEXT's bytes. Thread-safe, never throws. */
    [[nodiscard]] static std::string encrypt(std::string_view text);
};

/**
 * What the security record of a written IGC record says about its writer.
 * The salt lines frame the digest input; records can only be checked against
 * records marked with the same pair.
 */
struct SecurityStamp
{
    /** "v%@r%04d": application short version and build number, e.g. "v1.0r0042". */
    std::string versionText;
    /** Date and time of writing as the user reads it (second L record). */
    std::string writtenAt;
    std::string firstString = "5A0C3E7F19B24D68C0E1F2A3B4C5D6E7F8091A2B";  ///< salt S1
    std::string secondString = "C7D8E9F0A1B2C3D4E5F60718293A4B5C6D7E8F90"; ///< salt S2
    bool operator==(const SecurityStamp&) const = default;

    /** "v" + SHORTVERSION + "r" + the build number in four digits (zero-padded). */
    [[nodiscard]] static std::string makeVersionText(std::string_view shortVersion, int buildNumber);
};

/** Marks IGC text that the system writes as its own (A record, two L records, two G records). */
struct Strings
{
    /** The A record put first in every marked record. */
    static constexpr std::string_view aRecord = "AXKV Kalvora Software Version 1.0";

    /**
     * The marked record, every line ending in CR LF: our A record, the lines
     * (without old A and G records when REPLACE is set), "LXKV Kalvora <version>",
     * "LXKV <writtenAt>" and two G records, each "G" + SHA-256 hex over the
     * salt-framed lines without F, E, L, K, G and empty lines (S1 ... S2, then
     * S2 ... S1).
     * @return nullopt when TEXT has no lines. Never throws.
     */
    [[nodiscard]] static std::optional<std::string> getDestString(std::string_view text, bool replace,
                                                                  const SecurityStamp& stamp);

    /** Removes every line whose first character is 'A' or 'G'. */
    static void removeoldIGCValues(std::vector<std::string>& lines);
    /** Removes every line whose first character is 'F', 'E', 'L', 'K' or 'G', and every empty line. */
    static void removeUnusedLines(std::vector<std::string>& lines);
    /** "G" + SHA-256 hex of the lines joined with nothing between them. */
    [[nodiscard]] static std::string appendString(const std::vector<std::string>& lines);
};

} // namespace kalvora
