#include "track/securityrecord.h"

#include <algorithm>
#include <cstdio>

#include <openssl/evp.h>

#include "track/igc.h"

namespace kalvora {

namespace {

void removeLinesStartingWith(std::vector<std::string>& lines, std::string_view firstCharacters,
                             bool alsoEmpty)
{
    std::erase_if(lines, [&](const std::string& line) {
        if (line.empty())
            return alsoEmpty;
        return firstCharacters.find(line.front()) != std::string_view::npos;
    });
}

std::vector<std::string> ownedLines(std::string_view text)
{
    const std::vector<std::string_view> views = IGC::getICGLines(text);
    return {views.begin(), views.end()};
}

} // namespace

std::string SHA256::encrypt(std::string_view text)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr) != 1)
        return {};
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * length);
    for (unsigned int i = 0; i < length; ++i) {
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 0x0f];
    }
    return out;
}

std::string SecurityStamp::makeVersionText(std::string_view shortVersion, int buildNumber)
{
    char number[16];
    std::snprintf(number, sizeof number, "%04d", buildNumber);
    return "v" + std::string(shortVersion) + "r" + number;
}

void Strings::removeoldIGCValues(std::vector<std::string>& lines)
{
    removeLinesStartingWith(lines, "AG", false);
}

void Strings::removeUnusedLines(std::vector<std::string>& lines)
{
    removeLinesStartingWith(lines, "FELKG", true);
}

std::string Strings::appendString(const std::vector<std::string>& lines)
{
    std::string joined;
    std::size_t size = 0;
    for (const std::string& line : lines)
        size += line.size();
    joined.reserve(size);
    for (const std::string& line : lines)
        joined += line;
    return "G" + SHA256::encrypt(joined);
}

std::optional<std::string> Strings::getDestString(std::string_view text, bool replace,
                                                  const SecurityStamp& stamp)
{
    std::vector<std::string> digestInput = ownedLines(text);
    if (digestInput.empty())
        return std::nullopt;
    if (replace)
        removeoldIGCValues(digestInput);
    removeUnusedLines(digestInput);
    digestInput.insert(digestInput.begin(), std::string(aRecord));
    digestInput.insert(digestInput.begin(), stamp.firstString);
    digestInput.push_back(stamp.secondString);
    const std::string g1 = appendString(digestInput);

    digestInput.front() = stamp.secondString;
    digestInput.back() = stamp.firstString;
    const std::string g2 = appendString(digestInput);

    std::vector<std::string> output = ownedLines(text);
    if (replace)
        removeoldIGCValues(output);
    output.insert(output.begin(), std::string(aRecord));
    output.push_back("LXKV Kalvora " + stamp.versionText);
    output.push_back("LXKV " + stamp.writtenAt);
    output.push_back(g1);
    output.push_back(g2);

    std::string result;
    for (const std::string& line : output) {
        result += line;
        result += "\r\n";
    }
    return result;
}

} // namespace kalvora
