#include "instruments/braeuniger/braeunigermemory.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "instruments/coordinateparser.h"

namespace kalvora {
namespace {

enum class Kind
{
    U8,
    S8,
    U16,
    S16,
    Bits, ///< `bits` wide at bit `shift` of the byte
};

/** Which page byte chooses among the three offsets of a page-dependent setting. */
enum class Page
{
    None,
    UserPage,  ///< byte 09C
    UserPagep, ///< byte 096
    Polar,     ///< byte 07F: non-zero the second offset set, 0 the first
};

struct Property
{
    const char* name;
    Kind kind;
    Page page;
    std::array<unsigned, 3> offsets; ///< for Page::None only [0]; for Polar [0] second polar, [1] first polar
    unsigned shift = 0;
    unsigned bits = 8;
    bool negated = false;
};

constexpr unsigned kUserPage = 0x09C;
constexpr unsigned kUserPagep = 0x096;
constexpr unsigned kPolareUsage = 0x07F;

std::vector<Property> makeMap()
{
    std::vector<Property> m;
    const auto plain = [&](const char* name, Kind kind, unsigned offset) {
        m.push_back({name, kind, Page::None, {offset, 0, 0}});
    };
    const auto bits = [&](const char* name, unsigned offset, unsigned shift, unsigned width) {
        m.push_back({name, Kind::Bits, Page::None, {offset, 0, 0}, shift, width});
    };
    plain("lcdContrast", Kind::U16, 0x020);
    plain("displayPlus", Kind::U8, 0x020);
    plain("qnhCorrA1", Kind::S16, 0x036);
    plain("recordGPSSpeed", Kind::U8, 0x040);
    plain("recordAltiDiff", Kind::U8, 0x041);
    plain("speedGainPressure", Kind::U8, 0x048);
    plain("varioResponseDelay", Kind::U8, 0x049);
    plain("baseVolume", Kind::U8, 0x04A);
    plain("tec", Kind::U8, 0x04B);
    plain("varioOffset", Kind::U8, 0x04C);
    plain("sinkAcoustic", Kind::S8, 0x04D);
    plain("temperatureCorr", Kind::S8, 0x04E);
    plain("recordingStopMode", Kind::U8, 0x059);
    plain("speedDisplayMode", Kind::U8, 0x05A);
    plain("utcOffset", Kind::S8, 0x05C);
    plain("stallSpeed", Kind::U8, 0x05E);
    plain("stallAltitude", Kind::U16, 0x05F);
    plain("recordingInterval", Kind::U8, 0x061);
    plain("acousticIntegration", Kind::U8, 0x064);
    plain("upBaseFreq", Kind::U16, 0x066);
    plain("downBaseFreq", Kind::U16, 0x068);
    plain("freqModulation", Kind::U8, 0x06E);
    plain("sinkOnOff", Kind::U8, 0x077);
    plain("varioMode", Kind::U8, 0x078);
    plain("varioIntegrationTime", Kind::U8, 0x079);
    m.push_back({"polSink0Of1", Kind::U8, Page::Polar, {0x055, 0x07A, 0}, 0, 8, true});
    m.push_back({"polSink1Of1", Kind::U8, Page::Polar, {0x056, 0x07B, 0}, 0, 8, true});
    m.push_back({"polSpeed0Of1", Kind::U8, Page::Polar, {0x057, 0x07C, 0}});
    m.push_back({"polSpeed1Of1", Kind::U8, Page::Polar, {0x058, 0x07D, 0}});
    m.push_back({"polAltitudeOf1", Kind::U8, Page::Polar, {0x05B, 0x07E, 0}});
    plain("polareUsage", Kind::U8, kPolareUsage);
    plain("speedGainWindWheel", Kind::U8, 0x080);
    plain("speedOffset", Kind::U8, 0x089);
    plain("userItem0Zoom", Kind::U8, 0x08A);
    plain("userItem1Zoom", Kind::U8, 0x08B);
    plain("userItem2Zoom", Kind::U8, 0x08C);
    bits("altitudeUnit", 0x08D, 0, 1);
    bits("varioUnit", 0x08D, 1, 1);
    bits("speedUnit", 0x08D, 2, 2);
    bits("temperatureUnit", 0x08D, 4, 1);
    bits("distanceUnit", 0x08D, 5, 1);
    plain("waypointFormat", Kind::U8, 0x08E);
    plain("faiStarttime", Kind::U16, 0x091);
    plain("qnhCorrA2", Kind::S16, 0x093);
    plain("pressureSpeedUsage", Kind::U8, 0x095);
    plain("userPagep", Kind::U8, kUserPagep);
    plain("risingAvg", Kind::U8, 0x097);
    plain("userPage", Kind::U8, kUserPage);
    plain("thermalClimb", Kind::U8, 0x09D);
    plain("acousticPitch", Kind::U8, 0x09E);
    plain("softwareVersion", Kind::U8, 0x09F);
    plain("softwareVersionPlus", Kind::U16, 0x09F);
    plain("mccreadyDelay", Kind::U8, 0x0B6);
    plain("mccreadyGap", Kind::U8, 0x0B7);
    plain("lastThermal", Kind::U8, 0x0B9);
    plain("varioDisplay", Kind::U8, 0x0BB);
    plain("speedScaling", Kind::U8, 0x0BC);
    m.push_back({"userField", Kind::U8, Page::UserPage, {0x0BD, 0x0BE, 0x0BF}});
    m.push_back({"userFieldp", Kind::U8, Page::UserPagep, {0x0BD, 0x0BE, 0x0BF}});
    static const char* items[] = {"userItem0", "userItem1", "userItem2", "userItem3",
                                  "userItem4", "userItem5", "userItem6"};
    static const char* itemsP[] = {"userItem0p", "userItem1p", "userItem2p", "userItem3p",
                                   "userItem4p", "userItem5p", "userItem6p"};
    for (unsigned k = 0; k < 7; ++k) {
        m.push_back({items[k], Kind::U8, Page::UserPage, {0x140 + k, 0x14A + k, 0x154 + k}});
        m.push_back({itemsP[k], Kind::U8, Page::UserPagep, {0x181 + k, 0x18F + k, 0x19D + k}});
    }
    plain("bestLD", Kind::U8, 0x15E);
    plain("speedLD", Kind::U8, 0x15F);
    plain("battType", Kind::U8, 0x160);
    plain("freqChange", Kind::U8, 0x17E);
    plain("addUTC", Kind::U8, 0x180);
    plain("varioRespDelay", Kind::U8, 0x1C4);
    plain("flyLinkChannel", Kind::U8, 0x1CA);
    plain("flyLinkMasterDev", Kind::U8, 0x1CB);
    plain("flyLinkNetwork", Kind::U8, 0x1CC);
    plain("useFlyLink", Kind::U8, 0x1CD);
    plain("cTRAlarm", Kind::U8, 0x1D0);
    plain("useFlarm", Kind::U8, 0x1D2);
    plain("mapOrientation", Kind::U8, 0x1D4);
    plain("nearThermalThreshold", Kind::S8, 0x1D5);
    plain("useNearThermal", Kind::U8, 0x1D6);
    plain("zoomDistance", Kind::U16, 0x1D8);
    plain("autoZoom", Kind::U8, 0x1DA);
    plain("nearThermalCycle", Kind::U8, 0x1DB);
    plain("flarmWarning", Kind::U8, 0x1FB);
    plain("userItem0Map", Kind::U8, 0x1FC);
    plain("userItem1Map", Kind::U8, 0x1FD);
    plain("userItem2Map", Kind::U8, 0x1FE);
    static const char* alarms[] = {"cTRAlarm0",  "cTRAlarm1",  "cTRAlarm2",  "cTRAlarm3", "cTRAlarm4",
                                   "cTRAlarm5",  "cTRAlarm6",  "cTRAlarm7",  "cTRAlarm8", "cTRAlarm9",
                                   "cTRAlarm10", "cTRAlarm11", "cTRAlarm12", "cTRAlarm13", "cTRAlarm14"};
    for (unsigned k = 0; k < 15; ++k)
        bits(alarms[k], k < 8 ? 0x215 : 0x214, k < 8 ? k : k - 8, 1);
    return m;
}

const std::vector<Property>& map()
{
    static const std::vector<Property> m = makeMap();
    return m;
}

const Property* find(std::string_view name)
{
    const auto& m = map();
    const auto it = std::find_if(m.begin(), m.end(), [&](const Property& p) { return name == p.name; });
    return it == m.end() ? nullptr : &*it;
}

struct TextProperty
{
    const char* name;
    unsigned offset;
};

constexpr TextProperty kTexts[] = {{"owner", 0x000}, {"gliderType", 0x0C0}, {"gliderID", 0x0E0}};

const TextProperty* findText(std::string_view name)
{
    for (const TextProperty& t : kTexts)
        if (name == t.name)
            return &t;
    return nullptr;
}

} // namespace

const std::vector<std::string>& BraeunigerMemory::propertyNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n;
        for (const Property& p : map())
            n.emplace_back(p.name);
        return n;
    }();
    return names;
}

const std::vector<std::string>& BraeunigerMemory::textPropertyNames()
{
    static const std::vector<std::string> names{"owner", "gliderType", "gliderID"};
    return names;
}

namespace {

/** The offset a property lives at now; nullopt for a page outside 0-2. */
std::optional<unsigned> offsetOf(const Property& p, const BraeunigerMemory& memory)
{
    switch (p.page) {
    case Page::None: return p.offsets[0];
    case Page::Polar: return memory.byte(kPolareUsage) != 0 ? p.offsets[0] : p.offsets[1];
    case Page::UserPage:
    case Page::UserPagep: {
        const unsigned page = memory.byte(p.page == Page::UserPage ? kUserPage : kUserPagep);
        if (page > 2)
            return std::nullopt;
        return p.offsets[page];
    }
    }
    return std::nullopt;
}

} // namespace

std::optional<double> BraeunigerMemory::value(std::string_view name) const
{
    const Property* p = find(name);
    if (!p)
        return std::nullopt;
    const std::optional<unsigned> at = offsetOf(*p, *this);
    if (!at)
        return 0.0;
    const unsigned o = *at;
    double v = 0;
    switch (p->kind) {
    case Kind::U8: v = byte(o); break;
    case Kind::S8: v = std::int8_t(byte(o)); break;
    case Kind::U16: v = (unsigned(byte(o)) << 8) | byte(o + 1); break;
    case Kind::S16: v = std::int16_t(std::uint16_t((unsigned(byte(o)) << 8) | byte(o + 1))); break;
    case Kind::Bits: v = (byte(o) >> p->shift) & ((1u << p->bits) - 1u); break;
    }
    return p->negated ? -v : v;
}

std::optional<BraeunigerMemory::WriteSpan> BraeunigerMemory::setValue(std::string_view name, double value)
{
    const Property* p = find(name);
    if (!p || !std::isfinite(value))
        return std::nullopt;
    if (p->page == Page::Polar && byte(kPolareUsage) == 0)
        return std::nullopt;
    const std::optional<unsigned> at = offsetOf(*p, *this);
    if (!at)
        return std::nullopt;
    const unsigned o = *at;
    if (p->negated)
        value = -value;
    const auto clamped = [&](double lo, double hi) { return long(std::clamp(std::round(value), lo, hi)); };
    switch (p->kind) {
    case Kind::U8: setByte(o, std::uint8_t(clamped(0, 255))); break;
    case Kind::S8: setByte(o, std::uint8_t(std::int8_t(clamped(-128, 127)))); break;
    case Kind::U16:
    case Kind::S16: {
        const long v = p->kind == Kind::U16 ? clamped(0, 65535) : clamped(-32768, 32767);
        const std::uint16_t raw = std::uint16_t(v);
        setByte(o, std::uint8_t(raw >> 8));
        setByte(o + 1, std::uint8_t(raw & 0xFF));
        break;
    }
    case Kind::Bits: {
        const unsigned mask = ((1u << p->bits) - 1u) << p->shift;
        const unsigned v = unsigned(clamped(0, double((1u << p->bits) - 1u))) << p->shift;
        setByte(o, std::uint8_t((byte(o) & ~mask) | (v & mask)));
        // The alarm bits go out as the pair 214-215, the unit bits with their byte.
        if (o == 0x215)
            return WriteSpan{0x214, 2};
        break;
    }
    }
    return WriteSpan{o, 2};
}

std::optional<std::string> BraeunigerMemory::text(std::string_view name) const
{
    const TextProperty* t = findText(name);
    if (!t)
        return std::nullopt;
    std::string out;
    for (unsigned k = 0; k < 16 && m_bytes[t->offset + k] != 0; ++k)
        out += char(m_bytes[t->offset + k]);
    return out;
}

std::optional<BraeunigerMemory::WriteSpan> BraeunigerMemory::setText(std::string_view name, std::string_view text)
{
    const TextProperty* t = findText(name);
    if (!t)
        return std::nullopt;
    for (unsigned k = 0; k < 16; ++k)
        m_bytes[t->offset + k] = k < text.size() ? std::uint8_t(text[k]) : 0;
    return WriteSpan{t->offset, 16};
}

namespace braeuniger::transform {

std::string divBy2(double v)
{
    return fixedText(v * 0.5, 6);
}

std::string cmsToKmh(double v)
{
    return fixedText(v / 100.0 * 3.6, 6);
}

std::string minutesToTimeString(double v)
{
    const long minutes = std::isfinite(v) ? long(v) : 0;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%02ld:%02ld", minutes / 60, minutes % 60);
    return buffer;
}

long qnh(double v)
{
    return (std::isfinite(v) ? long(v) : 0) / 8 + 1013;
}

int baseVolume(double v)
{
    if (v == 25)
        return 1;
    if (v == 50)
        return 2;
    if (v == 75)
        return 3;
    if (v == 100)
        return 4;
    return 0;
}

int baseVolumeReverse(double v)
{
    if (v == 1)
        return 25;
    if (v == 2)
        return 50;
    if (v == 3)
        return 75;
    if (v == 4)
        return 100;
    return 0;
}

} // namespace braeuniger::transform

} // namespace kalvora
