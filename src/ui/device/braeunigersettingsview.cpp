#include "ui/device/braeunigersettingsview.h"

#include <cmath>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QSlider>

#include "instruments/braeuniger/braeuniger.h"
#include "instruments/braeuniger/braeunigermemory.h"

namespace kalvora {

namespace {

using braeuniger::DeviceType;
namespace transform = braeuniger::transform;

// Which layouts show a control: one bit per device type.
constexpr unsigned kCompetino = 1u << 0;
constexpr unsigned kCompeo = 1u << 1;
constexpr unsigned kCompetinoPlus = 1u << 2;
constexpr unsigned kCompeoPlus = 1u << 3;
constexpr unsigned kAll = kCompetino | kCompeo | kCompetinoPlus | kCompeoPlus;
constexpr unsigned kClassic = kCompetino | kCompeo;
constexpr unsigned kPlus = kCompetinoPlus | kCompeoPlus;
constexpr unsigned kCompeos = kCompeo | kCompeoPlus;

enum class Tab
{
    Pilot,
    Tones,
    Vario,
    Speed,
    Polar,
    Recording,
    Units,
    Display,
    Map,
    Airspace,
    Radio,
};

QString tabTitle(Tab tab)
{
    switch (tab) {
    case Tab::Pilot:
        return BraeunigerSettingsView::tr("Pilot");
    case Tab::Tones:
        return BraeunigerSettingsView::tr("Tones");
    case Tab::Vario:
        return BraeunigerSettingsView::tr("Vario");
    case Tab::Speed:
        return BraeunigerSettingsView::tr("Speed");
    case Tab::Polar:
        return BraeunigerSettingsView::tr("Polar");
    case Tab::Recording:
        return BraeunigerSettingsView::tr("Recording");
    case Tab::Units:
        return BraeunigerSettingsView::tr("Units");
    case Tab::Display:
        return BraeunigerSettingsView::tr("Display");
    case Tab::Map:
        return BraeunigerSettingsView::tr("Map");
    case Tab::Airspace:
        return BraeunigerSettingsView::tr("Airspace");
    case Tab::Radio:
        return BraeunigerSettingsView::tr("Radio");
    }
    return {};
}

/** How a slider's number reads: the settings views' value transformers. */
enum class Shown
{
    Raw,
    CentiMeterToMeter,
    DezimeterToMeter,
    HalfDezimeterToMeter,
    MulWith100,
    AcousticIntegration,
    DivBy2,
    CmsToKmh,
    MinutesToTime,
    Qnh,
};

/** "%f" texts of the transformers without their trailing zeros. */
QString trimmedNumber(const std::string& fixed)
{
    QString text = QString::fromStdString(fixed);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    return text;
}

QString shownValue(Shown shown, double v)
{
    switch (shown) {
    case Shown::Raw:
        return QString::number(v);
    case Shown::CentiMeterToMeter:
        return QString::number(transform::centiMeterToMeter(v), 'f', 2);
    case Shown::DezimeterToMeter:
        return QString::number(transform::dezimeterToMeter(v), 'f', 1);
    case Shown::HalfDezimeterToMeter:
        return QString::number(transform::halfDezimeterToMeter(v), 'f', 1);
    case Shown::MulWith100:
        return QString::number(transform::mulWith100(v));
    case Shown::AcousticIntegration:
        return QString::number(transform::acousticIntegration(v), 'f', 2);
    case Shown::DivBy2:
        return trimmedNumber(transform::divBy2(v));
    case Shown::CmsToKmh:
        return trimmedNumber(transform::cmsToKmh(v));
    case Shown::MinutesToTime:
        return QString::fromStdString(transform::minutesToTimeString(v));
    case Shown::Qnh:
        return QString::number(transform::qnh(v));
    }
    return {};
}

struct ChoiceEntry
{
    const char* name;
    const char* label;
    Tab tab;
    unsigned models;
    QStringList items; ///< item i stands for value i unless VALUES says otherwise
    QList<int> values = {};
};

struct SliderEntry
{
    const char* name;
    const char* label;
    Tab tab;
    unsigned models;
    unsigned address;
    int minimum;
    int maximum;
    Shown shown = Shown::Raw;
    const char* unit = "";
};

struct TextEntry
{
    const char* name;
    const char* label;
};

const TextEntry kTexts[] = {
    {"owner", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Pilot:")},
    {"gliderType", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Glider:")},
    {"gliderID", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Glider ID:")},
};

QStringList offOn()
{
    return {BraeunigerSettingsView::tr("Off"), BraeunigerSettingsView::tr("On")};
}

QStringList displayItems()
{
    return {BraeunigerSettingsView::tr("Empty"),
            BraeunigerSettingsView::tr("Altitude 1"),
            BraeunigerSettingsView::tr("Altitude 2"),
            BraeunigerSettingsView::tr("Altitude 3"),
            BraeunigerSettingsView::tr("Flight level"),
            BraeunigerSettingsView::tr("Vario"),
            BraeunigerSettingsView::tr("Integrated vario"),
            BraeunigerSettingsView::tr("Ground speed"),
            BraeunigerSettingsView::tr("Air speed"),
            BraeunigerSettingsView::tr("Wind speed"),
            BraeunigerSettingsView::tr("Heading"),
            BraeunigerSettingsView::tr("Bearing"),
            BraeunigerSettingsView::tr("Distance to waypoint"),
            BraeunigerSettingsView::tr("Glide ratio"),
            BraeunigerSettingsView::tr("Required glide ratio"),
            BraeunigerSettingsView::tr("Time"),
            BraeunigerSettingsView::tr("Flight time"),
            BraeunigerSettingsView::tr("Temperature"),
            BraeunigerSettingsView::tr("Battery"),
            BraeunigerSettingsView::tr("Distance to take-off"),
            BraeunigerSettingsView::tr("Thermal gain"),
            BraeunigerSettingsView::tr("Speed to fly")};
}

QList<ChoiceEntry> choiceEntries()
{
    const QStringList pages{BraeunigerSettingsView::tr("Page 1"), BraeunigerSettingsView::tr("Page 2"),
                            BraeunigerSettingsView::tr("Page 3")};
    const QStringList layouts{BraeunigerSettingsView::tr("Layout 1"), BraeunigerSettingsView::tr("Layout 2"),
                              BraeunigerSettingsView::tr("Layout 3"), BraeunigerSettingsView::tr("Layout 4")};
    QList<int> volumes;
    for (int level = 0; level <= 4; ++level)
        volumes << transform::baseVolumeReverse(level);
    QList<ChoiceEntry> entries{
        {"addUTC",
         QT_TR_NOOP("Add UTC offset:"),
         Tab::Pilot,
         kPlus,
         {BraeunigerSettingsView::tr("No"), BraeunigerSettingsView::tr("Yes")}},
        {"battType",
         QT_TR_NOOP("Batteries:"),
         Tab::Pilot,
         kPlus,
         {BraeunigerSettingsView::tr("Alkaline"), BraeunigerSettingsView::tr("NiMH"),
          BraeunigerSettingsView::tr("Lithium")}},
        {"baseVolume",
         QT_TR_NOOP("Volume:"),
         Tab::Tones,
         kAll,
         {BraeunigerSettingsView::tr("Off"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
          QStringLiteral("4")},
         volumes},
        {"freqChange",
         QT_TR_NOOP("Tone change:"),
         Tab::Tones,
         kAll,
         {BraeunigerSettingsView::tr("Continuous"), BraeunigerSettingsView::tr("Stepped")}},
        {"sinkOnOff", QT_TR_NOOP("Sink tone:"), Tab::Tones, kAll, offOn()},
        {"varioMode",
         QT_TR_NOOP("Vario mode:"),
         Tab::Vario,
         kAll,
         {BraeunigerSettingsView::tr("Analog"), BraeunigerSettingsView::tr("Digital")}},
        {"varioDisplay",
         QT_TR_NOOP("Vario display:"),
         Tab::Vario,
         kAll,
         {BraeunigerSettingsView::tr("Needle"), BraeunigerSettingsView::tr("Bar graph")}},
        {"useNearThermal", QT_TR_NOOP("Near thermal:"), Tab::Vario, kPlus, offOn()},
        {"pressureSpeedUsage",
         QT_TR_NOOP("Speed sensor:"),
         Tab::Speed,
         kCompeos,
         {BraeunigerSettingsView::tr("Wind wheel"), BraeunigerSettingsView::tr("Pressure probe")}},
        {"speedDisplayMode",
         QT_TR_NOOP("Speed shown:"),
         Tab::Speed,
         kCompeos,
         {BraeunigerSettingsView::tr("Ground speed"), BraeunigerSettingsView::tr("Air speed")}},
        {"speedScaling",
         QT_TR_NOOP("Speed scale:"),
         Tab::Speed,
         kCompeos,
         {BraeunigerSettingsView::tr("Normal"), BraeunigerSettingsView::tr("Fine")}},
        {"polareUsage",
         QT_TR_NOOP("Polar:"),
         Tab::Polar,
         kCompeos,
         {BraeunigerSettingsView::tr("Factory polar"), BraeunigerSettingsView::tr("Own polar")}},
        {"recordingStopMode",
         QT_TR_NOOP("Recording stops:"),
         Tab::Recording,
         kAll,
         {BraeunigerSettingsView::tr("Automatically"), BraeunigerSettingsView::tr("By hand")}},
        {"altitudeUnit",
         QT_TR_NOOP("Altitude:"),
         Tab::Units,
         kAll,
         {BraeunigerSettingsView::tr("m"), BraeunigerSettingsView::tr("ft")}},
        {"varioUnit",
         QT_TR_NOOP("Vario:"),
         Tab::Units,
         kAll,
         {BraeunigerSettingsView::tr("m/s"), BraeunigerSettingsView::tr("ft/min")}},
        {"speedUnit",
         QT_TR_NOOP("Speed:"),
         Tab::Units,
         kAll,
         {BraeunigerSettingsView::tr("km/h"), BraeunigerSettingsView::tr("mph"),
          BraeunigerSettingsView::tr("kt")}},
        {"temperatureUnit",
         QT_TR_NOOP("Temperature:"),
         Tab::Units,
         kAll,
         {BraeunigerSettingsView::tr("°C"), BraeunigerSettingsView::tr("°F")}},
        {"distanceUnit",
         QT_TR_NOOP("Distance:"),
         Tab::Units,
         kAll,
         {BraeunigerSettingsView::tr("km"), BraeunigerSettingsView::tr("mi")}},
        {"waypointFormat",
         QT_TR_NOOP("Coordinates:"),
         Tab::Units,
         kAll,
         {QStringLiteral("dd°mm'ss\""), QStringLiteral("dd°mm.mmm'"), QStringLiteral("dd.ddddd°")}},
        {"mapOrientation",
         QT_TR_NOOP("Map orientation:"),
         Tab::Map,
         kCompeoPlus,
         {BraeunigerSettingsView::tr("North up"), BraeunigerSettingsView::tr("Track up")}},
        {"autoZoom", QT_TR_NOOP("Automatic zoom:"), Tab::Map, kCompeoPlus, offOn()},
        {"cTRAlarm", QT_TR_NOOP("Airspace alarm:"), Tab::Airspace, kCompeoPlus, offOn()},
        {"useFlyLink", QT_TR_NOOP("FlyLink:"), Tab::Radio, kPlus, offOn()},
        {"useFlarm", QT_TR_NOOP("Flarm:"), Tab::Radio, kPlus, offOn()},
        {"flarmWarning",
         QT_TR_NOOP("Flarm warnings:"),
         Tab::Radio,
         kPlus,
         {BraeunigerSettingsView::tr("Off"), BraeunigerSettingsView::tr("Traffic"),
          BraeunigerSettingsView::tr("Collisions"), BraeunigerSettingsView::tr("All")}},
    };
    // The user pages: the classic models keep their page items at 09C/0BD/140,
    // the plus models at 096/0BD/181.
    entries.append({"userPage", QT_TR_NOOP("User page:"), Tab::Display, kClassic, pages});
    entries.append({"userField", QT_TR_NOOP("Layout:"), Tab::Display, kClassic, layouts});
    entries.append({"userPagep", QT_TR_NOOP("User page:"), Tab::Display, kPlus, pages});
    entries.append({"userFieldp", QT_TR_NOOP("Layout:"), Tab::Display, kPlus, layouts});
    static const char* const itemNames[] = {"userItem0", "userItem1", "userItem2", "userItem3",
                                            "userItem4", "userItem5", "userItem6"};
    static const char* const itemNamesP[] = {"userItem0p", "userItem1p", "userItem2p", "userItem3p",
                                             "userItem4p", "userItem5p", "userItem6p"};
    static const char* const itemLabels[] = {
        QT_TR_NOOP("Item 1:"), QT_TR_NOOP("Item 2:"), QT_TR_NOOP("Item 3:"), QT_TR_NOOP("Item 4:"),
        QT_TR_NOOP("Item 5:"), QT_TR_NOOP("Item 6:"), QT_TR_NOOP("Item 7:")};
    for (int k = 0; k < 7; ++k) {
        entries.append({itemNames[k], itemLabels[k], Tab::Display, kClassic, displayItems()});
        entries.append({itemNamesP[k], itemLabels[k], Tab::Display, kPlus, displayItems()});
    }
    static const char* const zoomNames[] = {"userItem0Zoom", "userItem1Zoom", "userItem2Zoom"};
    static const char* const mapNames[] = {"userItem0Map", "userItem1Map", "userItem2Map"};
    static const char* const zoomLabels[] = {QT_TR_NOOP("Zoom item 1:"), QT_TR_NOOP("Zoom item 2:"),
                                             QT_TR_NOOP("Zoom item 3:")};
    static const char* const mapLabels[] = {QT_TR_NOOP("Map item 1:"), QT_TR_NOOP("Map item 2:"),
                                            QT_TR_NOOP("Map item 3:")};
    for (int k = 0; k < 3; ++k)
        entries.append({zoomNames[k], zoomLabels[k], Tab::Map, kCompeoPlus, displayItems()});
    for (int k = 0; k < 3; ++k)
        entries.append({mapNames[k], mapLabels[k], Tab::Map, kCompeoPlus, displayItems()});
    return entries;
}

const SliderEntry kSliders[] = {
    {"utcOffset", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "UTC offset:"), Tab::Pilot, kAll, 0x05C, -12,
     14, Shown::Raw, "h"},
    {"upBaseFreq", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Climb tone pitch:"), Tab::Tones, kAll, 0x066,
     300, 2000, Shown::Raw, "Hz"},
    {"downBaseFreq", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Sink tone pitch:"), Tab::Tones, kAll, 0x068,
     200, 2000, Shown::Raw, "Hz"},
    {"freqModulation", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Modulation:"), Tab::Tones, kAll, 0x06E, 0,
     255, Shown::Raw, "Hz"},
    {"acousticPitch", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Pitch change:"), Tab::Tones, kAll, 0x09E,
     0, 255},
    {"sinkAcoustic", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Sink tone from:"), Tab::Tones, kAll, 0x04D,
     -128, 0, Shown::DezimeterToMeter, "m/s"},
    {"acousticIntegration", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Tone integration:"), Tab::Tones,
     kAll, 0x064, 0, 250, Shown::AcousticIntegration, "s"},
    {"varioIntegrationTime", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Integration time:"), Tab::Vario,
     kAll, 0x079, 1, 60, Shown::DivBy2, "s"},
    {"varioResponseDelay", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Response delay:"), Tab::Vario,
     kClassic, 0x049, 0, 20, Shown::DivBy2, "s"},
    {"varioRespDelay", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Response delay:"), Tab::Vario, kPlus,
     0x1C4, 0, 20, Shown::DivBy2, "s"},
    {"tec", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "TEC:"), Tab::Vario, kCompeos, 0x04B, 0, 100,
     Shown::Raw, "%"},
    {"varioOffset", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Vario offset:"), Tab::Vario, kAll, 0x04C, 0,
     255},
    {"risingAvg", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Climb average:"), Tab::Vario, kAll, 0x097, 0,
     60, Shown::Raw, "s"},
    {"thermalClimb", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Thermal climb:"), Tab::Vario, kCompeos,
     0x09D, 0, 255, Shown::CentiMeterToMeter, "m/s"},
    {"lastThermal", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Last thermal:"), Tab::Vario, kCompeos, 0x0B9,
     0, 60, Shown::Raw, "min"},
    {"nearThermalThreshold", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Near thermal from:"), Tab::Vario,
     kPlus, 0x1D5, -50, 50, Shown::HalfDezimeterToMeter, "m/s"},
    {"nearThermalCycle", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Near thermal cycle:"), Tab::Vario,
     kPlus, 0x1DB, 0, 60, Shown::Raw, "s"},
    {"speedGainWindWheel", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Wind wheel gain:"), Tab::Speed,
     kCompeos, 0x080, 50, 200, Shown::Raw, "%"},
    {"speedGainPressure", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Pressure gain:"), Tab::Speed, kCompeos,
     0x048, 50, 200, Shown::Raw, "%"},
    {"speedOffset", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Speed offset:"), Tab::Speed, kCompeos, 0x089,
     0, 255, Shown::CmsToKmh, "km/h"},
    {"stallSpeed", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Stall speed:"), Tab::Speed, kCompeos, 0x05E,
     0, 80, Shown::Raw, "km/h"},
    {"stallAltitude", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Stall alarm above:"), Tab::Speed, kCompeos,
     0x05F, 0, 3000, Shown::Raw, "m"},
    {"polSink0Of1", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Sink at speed 1:"), Tab::Polar, kCompeos,
     0x055, -255, 0, Shown::CentiMeterToMeter, "m/s"},
    {"polSpeed0Of1", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Speed 1:"), Tab::Polar, kCompeos, 0x057, 0,
     255, Shown::Raw, "km/h"},
    {"polSink1Of1", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Sink at speed 2:"), Tab::Polar, kCompeos,
     0x056, -255, 0, Shown::CentiMeterToMeter, "m/s"},
    {"polSpeed1Of1", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Speed 2:"), Tab::Polar, kCompeos, 0x058, 0,
     255, Shown::Raw, "km/h"},
    {"polAltitudeOf1", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Polar altitude:"), Tab::Polar, kCompeos,
     0x05B, 0, 60, Shown::MulWith100, "m"},
    {"bestLD", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Best glide:"), Tab::Polar, kCompeos, 0x15E, 0,
     20},
    {"speedLD", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Best glide speed:"), Tab::Polar, kCompeos, 0x15F,
     0, 100, Shown::Raw, "km/h"},
    {"mccreadyDelay", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "McCready delay:"), Tab::Polar, kCompeos,
     0x0B6, 0, 60, Shown::Raw, "s"},
    {"mccreadyGap", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "McCready step:"), Tab::Polar, kCompeos,
     0x0B7, 0, 50, Shown::DezimeterToMeter, "m/s"},
    {"recordingInterval", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Interval:"), Tab::Recording, kAll,
     0x061, 1, 60, Shown::Raw, "s"},
    {"recordGPSSpeed", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Starts above speed:"), Tab::Recording,
     kAll, 0x040, 0, 50, Shown::Raw, "km/h"},
    {"recordAltiDiff", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Starts on height change:"),
     Tab::Recording, kAll, 0x041, 0, 100, Shown::Raw, "m"},
    {"faiStarttime", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Task start:"), Tab::Recording, kCompeos,
     0x091, 0, 1439, Shown::MinutesToTime},
    {"qnhCorrA1", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "QNH altimeter 1:"), Tab::Units, kAll, 0x036,
     -1000, 1000, Shown::Qnh, "hPa"},
    {"qnhCorrA2", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "QNH altimeter 2:"), Tab::Units, kAll, 0x093,
     -1000, 1000, Shown::Qnh, "hPa"},
    {"temperatureCorr", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Temperature correction:"), Tab::Units,
     kAll, 0x04E, -50, 50, Shown::DezimeterToMeter, "°C"},
    {"lcdContrast", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Contrast:"), Tab::Display, kClassic, 0x020,
     0, 255},
    {"displayPlus", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Contrast:"), Tab::Display, kPlus, 0x020, 0,
     255},
    {"zoomDistance", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Zoom distance:"), Tab::Map, kCompeoPlus,
     0x1D8, 0, 10000, Shown::HalfDezimeterToMeter, "m"},
    {"flyLinkChannel", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "FlyLink channel:"), Tab::Radio, kPlus,
     0x1CA, 0, 15},
    {"flyLinkMasterDev", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "FlyLink master:"), Tab::Radio, kPlus,
     0x1CB, 0, 255},
    {"flyLinkNetwork", QT_TRANSLATE_NOOP("BraeunigerSettingsView", "FlyLink network:"), Tab::Radio, kPlus,
     0x1CC, 0, 255},
};

/** The airspace kinds of the alarm bits cTRAlarm0 .. cTRAlarm14. */
const char* const kAirspaceKinds[] = {
    QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Class A"),
    QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Class B"),
    QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Class C"),
    QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Class D"),
    QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Class E"),
    QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Class F"),
    QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Class G"),
    QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Control zone"),
    QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Terminal area"),
    QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Restricted"),
    QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Danger"),
    QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Prohibited"),
    QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Glider sector"),
    QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Wave window"),
    QT_TRANSLATE_NOOP("BraeunigerSettingsView", "Transponder zone"),
};

unsigned modelBit(DeviceType type)
{
    switch (type) {
    case DeviceType::Competino:
        return kCompetino;
    case DeviceType::Compeo:
        return kCompeo;
    case DeviceType::CompetinoPlus:
        return kCompetinoPlus;
    case DeviceType::CompeoPlus:
        return kCompeoPlus;
    case DeviceType::Unknown:
        break;
    }
    return kCompetino;
}

QString layoutFor(DeviceType type)
{
    switch (type) {
    case DeviceType::Compeo:
        return QStringLiteral("CompeoView");
    case DeviceType::CompetinoPlus:
        return QStringLiteral("CompetinoPlusView");
    case DeviceType::CompeoPlus:
        return QStringLiteral("CompeoPlusView");
    case DeviceType::Competino:
    case DeviceType::Unknown:
        break;
    }
    return QStringLiteral("CompetinoView");
}

bool isPageItem(const QString& name)
{
    return name.startsWith(QLatin1String("userField")) ||
           (name.startsWith(QLatin1String("userItem")) && !name.endsWith(QLatin1String("Zoom")) &&
            !name.endsWith(QLatin1String("Map")));
}

bool isPolarValue(const QString& name)
{
    return name.startsWith(QLatin1String("polSink")) || name.startsWith(QLatin1String("polSpeed")) ||
           name == QLatin1String("polAltitudeOf1");
}

QString readout(const SliderEntry& entry, double v)
{
    const QString number = shownValue(entry.shown, v);
    const QString unit = QString::fromUtf8(entry.unit);
    return unit.isEmpty() ? number : number + QLatin1Char(' ') + unit;
}

} // namespace

BraeunigerSettingsView::BraeunigerSettingsView(Braeuniger& device, QWidget* parent)
    : DeviceSettingsView(device, parent), m_driver(device)
{
    setObjectName(layoutFor(device.deviceType()));
    build();
    connect(
        &m_driver, &Braeuniger::memoryWritten, this,
        [this](unsigned address, unsigned length, bool ok) {
            if (!ok)
                reportWriteFailure(tr("The instrument did not answer while %1 bytes at 0x%2 were written.")
                                       .arg(length)
                                       .arg(address, 3, 16, QLatin1Char('0')));
        },
        Qt::QueuedConnection);
    if (m_driver.settingsValid())
        showDeviceSettings();
}

void BraeunigerSettingsView::build()
{
    const unsigned model = modelBit(m_driver.deviceType());

    const auto formFor = [this](Tab tab) { return formPage(int(tab), tabTitle(tab)); };

    // Pages appear in the order of Tab, each only when the model has one of its settings.
    if (model) {
        for (const TextEntry& entry : kTexts) {
            auto* edit = new QLineEdit(this);
            const QString name = QString::fromLatin1(entry.name);
            edit->setObjectName(name);
            guardText(edit, [this, name](const QString& text) { writeText(name, text); });
            formFor(Tab::Pilot)->addRow(tr(entry.label), edit);
            m_texts.append({name, edit});
        }
    }
    for (const ChoiceEntry& entry : choiceEntries()) {
        if (!(entry.models & model))
            continue;
        auto* combo = new QComboBox(this);
        const QString name = QString::fromLatin1(entry.name);
        combo->setObjectName(name);
        for (int i = 0; i < entry.items.size(); ++i)
            combo->addItem(entry.items[i], i < entry.values.size() ? entry.values[i] : i);
        connect(combo, &QComboBox::currentIndexChanged, this, [this, combo, name] {
            if (!isFilling())
                writeValue(name, chosenValue(combo));
        });
        formFor(entry.tab)->addRow(tr(entry.label), combo);
        m_choices.append({name, combo});
    }
    for (const SliderEntry& entry : kSliders) {
        if (!(entry.models & model))
            continue;
        const QString name = QString::fromLatin1(entry.name);
        const auto [row, slider, value] = makeSliderRow(name, entry.minimum, entry.maximum);
        slider->setProperty("address", entry.address);
        const SliderEntry* entryPtr = &entry;
        connect(slider, &QSlider::valueChanged, value,
                [value, entryPtr](int v) { value->setText(readout(*entryPtr, v)); });
        coalesceSlider(slider, [this, name](int v) { writeValue(name, v); });
        const QString label = tr(entry.label);
        formFor(entry.tab)->addRow(label, row);
        slider->setAccessibleName(label);
        m_sliders.append({name, slider});
    }
    if (model & kCompeoPlus) {
        auto* box = new QWidget(this);
        auto* grid = new QGridLayout(box);
        grid->setContentsMargins(0, 0, 0, 0);
        for (int k = 0; k < 15; ++k) {
            const QString name = QStringLiteral("cTRAlarm%1").arg(k);
            auto* check = new QCheckBox(tr(kAirspaceKinds[k]), box);
            check->setObjectName(name);
            connect(check, &QCheckBox::toggled, this, [this, name](bool on) {
                if (!isFilling())
                    writeValue(name, on ? 1 : 0);
            });
            grid->addWidget(check, k / 3, k % 3);
            m_flags.append({name, check});
        }
        formFor(Tab::Airspace)->addRow(tr("Warn of:"), box);
    }
    const QString version = QString::fromLatin1(model & kPlus ? "softwareVersionPlus" : "softwareVersion");
    auto* versionLabel = new QLabel(this);
    versionLabel->setObjectName(version);
    formFor(Tab::Pilot)->addRow(tr("Software:"), versionLabel);
    m_readouts.append({version, versionLabel});

    addFormPages();
}

void BraeunigerSettingsView::showDeviceSettings()
{
    showMemory(m_driver.memory());
}

void BraeunigerSettingsView::showMemory(const BraeunigerMemory& memory)
{
    const auto number = [&](const QString& name) { return memory.value(name.toStdString()).value_or(0.0); };
    const bool pageValid = number(QStringLiteral("userPage")) <= 2;
    const bool pagepValid = number(QStringLiteral("userPagep")) <= 2;
    const bool ownPolar = number(QStringLiteral("polareUsage")) != 0;
    fillControls([&] {
        for (const auto& [name, edit] : m_texts)
            showText(edit, QString::fromStdString(memory.text(name.toStdString()).value_or(std::string())));
        for (const auto& [name, combo] : m_choices) {
            showChoice(combo, int(std::lround(number(name))));
            // An item of a page the instrument has none of reads 0 and takes nothing.
            if (isPageItem(name))
                combo->setEnabled(name.endsWith(QLatin1Char('p')) ? pagepValid : pageValid);
        }
        for (const auto& [name, slider] : m_sliders) {
            if (isPolarValue(name))
                slider->setEnabled(ownPolar);
            showSliderValue(slider, int(std::lround(number(name))), slider->minimum(), slider->maximum());
        }
        for (const auto& [name, check] : m_flags)
            check->setChecked(number(name) != 0);
        for (const auto& [name, label] : m_readouts)
            label->setText(QString::number(number(name)));
    });
}

void BraeunigerSettingsView::writeValue(const QString& name, double value)
{
    if (!m_driver.setSetting(name.toStdString(), value)) {
        // Not taken (a page without items, the factory polar): show what the image holds.
        showMemory(m_driver.memory());
        return;
    }
    refreshAfter(name);
}

void BraeunigerSettingsView::writeText(const QString& name, const QString& text)
{
    (void)m_driver.setSettingText(name.toStdString(), text.toStdString());
}

void BraeunigerSettingsView::refreshAfter(const QString& name)
{
    // The page and the polar choose where other controls read; a higher climb
    // tone pulls the sink tone with it.
    if (name == QLatin1String("userPage") || name == QLatin1String("userPagep") ||
        name == QLatin1String("polareUsage") || name == QLatin1String("upBaseFreq"))
        showMemory(m_driver.memory());
}

} // namespace kalvora
