#include "ui/device/flytecparameterview.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>

#include "instruments/flytec/flytec.h"

namespace kalvora {

namespace {

enum class Page
{
    Pilot,
    Units,
    Options,
    Vario,
    Other,
};

QString pageTitle(Page page)
{
    switch (page) {
    case Page::Pilot:
        return FlytecParameterView::tr("Pilot");
    case Page::Units:
        return FlytecParameterView::tr("Units");
    case Page::Options:
        return FlytecParameterView::tr("Options");
    case Page::Vario:
        return FlytecParameterView::tr("Vario");
    case Page::Other:
        return FlytecParameterView::tr("Other");
    }
    return {};
}

struct TextEntry
{
    int address;
    const char* name;
    const char* label;
};

const TextEntry kTexts[] = {
    {0x00, "owner", QT_TRANSLATE_NOOP("FlytecParameterView", "Pilot:")},
    {0x01, "instrument", QT_TRANSLATE_NOOP("FlytecParameterView", "Instrument:")},
    {0x02, "license", QT_TRANSLATE_NOOP("FlytecParameterView", "Licence:")},
};

/** One field of the units (address 03) or option (04) word; without items a check box. */
struct BitEntry
{
    int address;
    const char* name;
    const char* label;
    flytec::BitField field;
    QStringList items;
};

QList<BitEntry> bitEntries()
{
    const auto t = [](const char* text) { return FlytecParameterView::tr(text); };
    return {
        {0x03, "unitHeight", QT_TR_NOOP("Altitude:"), flytec::unitHeight, {t("m"), t("ft")}},
        {0x03, "unitVario", QT_TR_NOOP("Vario:"), flytec::unitVario, {t("m/s"), t("ft/min")}},
        {0x03, "unitSpeed", QT_TR_NOOP("Speed:"), flytec::unitSpeed, {t("km/h"), t("mph"), t("kt")}},
        {0x03, "unitDistance", QT_TR_NOOP("Distance:"), flytec::unitDistance, {t("km"), t("mi")}},
        {0x03, "unitTemperature", QT_TR_NOOP("Temperature:"), flytec::unitTemperature, {t("°C"), t("°F")}},
        {0x03, "unitPressure", QT_TR_NOOP("Pressure:"), flytec::unitPressure, {t("hPa"), t("inHg")}},
        {0x03, "unitTime", QT_TR_NOOP("Time:"), flytec::unitTime, {t("24 hours"), t("12 hours")}},
        {0x03,
         "unitCoordinates",
         QT_TR_NOOP("Coordinates:"),
         flytec::unitCoordinates,
         {QStringLiteral("dd°mm'ss\""), QStringLiteral("dd°mm.mmm'"), QStringLiteral("dd.ddddd°"), t("UTM")}},
        {0x04,
         "diverseAlti2Mode",
         QT_TR_NOOP("Altimeter 2:"),
         flytec::diverseAlti2Mode,
         {t("Relative"), t("Absolute"), t("Flight level"), t("Above take-off")}},
        {0x04, "diverseAutoPower", QT_TR_NOOP("Switch off by itself"), flytec::diverseAutoPower, {}},
        {0x04, "diverseRiseAccustic", QT_TR_NOOP("Climb tone"), flytec::diverseRiseAccustic, {}},
        {0x04,
         "diverseRisePitch",
         QT_TR_NOOP("Climb tone rises with the climb"),
         flytec::diverseRisePitch,
         {}},
        {0x04, "diverseSinkAlarm", QT_TR_NOOP("Sink alarm"), flytec::diverseSinkAlarm, {}},
        {0x04, "diverseStallAlarm", QT_TR_NOOP("Stall alarm"), flytec::diverseStallAlarm, {}},
        {0x04,
         "diversePreThermalFunction",
         QT_TR_NOOP("Pre-thermal tone"),
         flytec::diversePreThermalFunction,
         {}},
        {0x04, "diverseAltiDisplay", QT_TR_NOOP("Second altitude shown"), flytec::diverseAltiDisplay, {}},
        {0x04, "diverseLine4Display", QT_TR_NOOP("Fourth line shown"), flytec::diverseLine4Display, {}},
        {0x04, "diverseA3Mode", QT_TR_NOOP("Altimeter 3 as flight level"), flytec::diverseA3Mode, {}},
        {0x04, "diverseSpeedDisplay", QT_TR_NOOP("Air speed shown"), flytec::diverseSpeedDisplay, {}},
        {0x04,
         "diverseFlightEndDetection",
         QT_TR_NOOP("Flight end found by itself"),
         flytec::diverseFlightEndDetection,
         {}},
    };
}

enum class Edit
{
    Slider,
    Choice,
    Field,
};

/** A number parameter: its control, range (in instrument units) and how it reads. */
struct NumberEntry
{
    int address;
    const char* name;
    const char* label;
    Page page;
    Edit edit;
    int minimum = 0;
    int maximum = 0;
    bool isSigned = false;
    double divisor = 1; ///< shown value = instrument value / divisor
    const char* unit = "";
    QStringList items = {};
};

QList<NumberEntry> numberEntries()
{
    const auto t = [](const char* text) { return FlytecParameterView::tr(text); };
    return {
        {0x05,
         "filtTyp",
         QT_TR_NOOP("Vario filter:"),
         Page::Vario,
         Edit::Choice,
         0,
         0,
         false,
         1,
         "",
         {t("Fast"), t("Normal"), t("Smooth"), t("Very smooth")}},
        {0x07, "varioDigFk", QT_TR_NOOP("Digital vario average:"), Page::Vario, Edit::Slider, 1, 60, false, 1,
         "s"},
        {0x10, "varioMinMaxFk", QT_TR_NOOP("Climb extremes average:"), Page::Vario, Edit::Slider, 1, 60,
         false, 1, "s"},
        {0x08, "bFreqRise", QT_TR_NOOP("Climb tone pitch:"), Page::Vario, Edit::Slider, 300, 2500, false, 1,
         "Hz"},
        {0x09, "bFreqSink", QT_TR_NOOP("Sink tone pitch:"), Page::Vario, Edit::Slider, 200, 2500, false, 1,
         "Hz"},
        {0x0A, "audioRise", QT_TR_NOOP("Climb tone from:"), Page::Vario, Edit::Slider, 0, 200, false, 100,
         "m/s"},
        {0x0B, "audioSink", QT_TR_NOOP("Sink tone from:"), Page::Vario, Edit::Slider, 0, 1000, false, 100,
         "m/s"},
        {0x0C, "sinkAlarm", QT_TR_NOOP("Sink alarm from:"), Page::Vario, Edit::Slider, 0, 2000, false, 100,
         "m/s"},
        {0x0D, "freqGain", QT_TR_NOOP("Tone gain:"), Page::Vario, Edit::Slider, 1, 255},
        {0x0E, "pitchGain", QT_TR_NOOP("Pitch gain:"), Page::Vario, Edit::Slider, 1, 255},
        {0x0F, "maxRiseRejection", QT_TR_NOOP("Climb tone up to:"), Page::Vario, Edit::Slider, 0, 2000, false,
         100, "m/s"},
        {0x15, "thermThreshold", QT_TR_NOOP("Thermal from:"), Page::Vario, Edit::Slider, 0, 500, false, 100,
         "m/s"},
        {0x22, "prethermalThr", QT_TR_NOOP("Pre-thermal tone from:"), Page::Vario, Edit::Slider, 0, 500,
         false, 100, "m/s"},
        {0x12,
         "audioVolume",
         QT_TR_NOOP("Volume:"),
         Page::Vario,
         Edit::Choice,
         0,
         0,
         false,
         1,
         "",
         {t("Off"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4"),
          QStringLiteral("5"), QStringLiteral("6")}},
        {0x11, "recIntervall", QT_TR_NOOP("Recording interval:"), Page::Other, Edit::Slider, 1, 60, false, 1,
         "s"},
        {0x13, "utc_Offset", QT_TR_NOOP("UTC offset:"), Page::Other, Edit::Slider, -12, 14, true, 1, "h"},
        {0x16, "powerOffTime", QT_TR_NOOP("Switch off after:"), Page::Other, Edit::Slider, 1, 60, false, 1,
         "min"},
        {0x1A, "stallSpeed", QT_TR_NOOP("Stall speed:"), Page::Other, Edit::Slider, 0, 100, false, 1, "km/h"},
        {0x1C, "windWhellGain", QT_TR_NOOP("Wind wheel gain:"), Page::Other, Edit::Slider, 50, 200, false, 1,
         "%"},
        {0x06, "alt1Diff", QT_TR_NOOP("Altimeter 1 offset:"), Page::Other, Edit::Field, -100000, 100000, true,
         1, "m"},
        {0x14, "pressOffset", QT_TR_NOOP("Pressure offset:"), Page::Other, Edit::Field, -100000, 100000, true,
         1, "Pa"},
    };
}

/** The number as the instrument means it: the masked bits, two's complement where signed. */
qint64 numberValue(const FlytecParameters& p, int address, bool isSigned)
{
    const auto it = p.numbers.find(address);
    if (it == p.numbers.end())
        return 0;
    const qint64 raw = it->second;
    const int width = flytec::parameterWidth(address);
    if (!isSigned || width <= 0 || width > 32)
        return raw;
    const qint64 top = qint64{1} << (width - 1);
    return raw >= top ? raw - (top << 1) : raw;
}

QString readout(const NumberEntry& entry, int v)
{
    const int decimals = entry.divisor >= 100 ? 2 : entry.divisor >= 10 ? 1 : 0;
    const QString number = QString::number(v / entry.divisor, 'f', decimals);
    const QString unit = QString::fromUtf8(entry.unit);
    return unit.isEmpty() ? number : number + QLatin1Char(' ') + unit;
}

} // namespace

FlytecParameterView::FlytecParameterView(Flytec& device, QWidget* parent)
    : DeviceSettingsView(device, parent), m_driver(device)
{
    setObjectName(QStringLiteral("FlytecView"));
    build();
}

void FlytecParameterView::build()
{
    const auto formFor = [this](Page page) { return formPage(int(page), pageTitle(page)); };

    for (const TextEntry& entry : kTexts) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(entry.name));
        edit->setProperty("tag", entry.address);
        const int address = entry.address;
        const QString label = tr(entry.label);
        guardText(edit, [this, address, label](const QString& text) {
            const std::string sent = text.toStdString();
            write(label, [address, sent](Flytec& driver) { return driver.setText(address, sent); });
        });
        formFor(Page::Pilot)->addRow(label, edit);
        m_texts.append({entry.address, edit});
    }

    const QList<BitEntry> bits = bitEntries();
    for (int i = 0; i < bits.size(); ++i) {
        const BitEntry& entry = bits[i];
        const Page page = entry.address == 0x03 ? Page::Units : Page::Options;
        const QString name = QString::fromLatin1(entry.name);
        const int address = entry.address;
        const flytec::BitField field = entry.field;
        if (entry.items.isEmpty()) {
            auto* check = new QCheckBox(tr(entry.label), this);
            check->setObjectName(name);
            check->setProperty("tag", address);
            connect(check, &QCheckBox::toggled, this, [this, address, field, check](bool on) {
                if (isFilling())
                    return;
                write(check->text(), [address, field, on](Flytec& driver) {
                    return driver.setBits(address, field, on ? 1 : 0);
                });
            });
            formFor(page)->addRow(check);
            m_bitFlags.append({i, check});
        } else {
            auto* combo = new QComboBox(this);
            combo->setObjectName(name);
            combo->setProperty("tag", address);
            for (int k = 0; k < entry.items.size(); ++k)
                combo->addItem(entry.items[k], k);
            const QString label = tr(entry.label);
            connect(combo, &QComboBox::currentIndexChanged, this, [this, address, field, combo, label] {
                if (isFilling())
                    return;
                const int value = chosenValue(combo);
                write(label, [address, field, value](Flytec& driver) {
                    return driver.setBits(address, field, value);
                });
            });
            formFor(page)->addRow(label, combo);
            m_bitChoices.append({i, combo});
        }
    }

    const QList<NumberEntry> numbers = numberEntries();
    for (const NumberEntry& entry : numbers) {
        const QString name = QString::fromLatin1(entry.name);
        const QString label = tr(entry.label);
        const int address = entry.address;
        const auto writeNumber = [this, address, label](qint64 value) {
            write(label, [address, value](Flytec& driver) { return driver.setNumber(address, value); });
        };
        switch (entry.edit) {
        case Edit::Choice: {
            auto* combo = new QComboBox(this);
            combo->setObjectName(name);
            combo->setProperty("tag", 100 + address);
            for (int k = 0; k < entry.items.size(); ++k)
                combo->addItem(entry.items[k], k);
            connect(combo, &QComboBox::currentIndexChanged, this, [this, combo, writeNumber] {
                if (!isFilling())
                    writeNumber(chosenValue(combo));
            });
            formFor(entry.page)->addRow(label, combo);
            m_numberChoices.append({address, combo});
            break;
        }
        case Edit::Slider: {
            const auto [row, slider, value] = makeSliderRow(name, entry.minimum, entry.maximum);
            slider->setProperty("tag", address);
            slider->setAccessibleName(label);
            connect(slider, &QSlider::valueChanged, value,
                    [value, entry](int v) { value->setText(readout(entry, v)); });
            coalesceSlider(slider, [writeNumber](int v) { writeNumber(v); });
            formFor(entry.page)->addRow(label, row);
            m_numberSliders.append({address, slider});
            break;
        }
        case Edit::Field: {
            auto* field = new QSpinBox(this);
            field->setObjectName(name);
            field->setProperty("tag", address);
            field->setRange(entry.minimum, entry.maximum);
            field->setSuffix(QLatin1Char(' ') + QString::fromUtf8(entry.unit));
            field->setKeyboardTracking(false);
            connect(field, &QSpinBox::valueChanged, this, [this, writeNumber](int v) {
                if (!isFilling())
                    writeNumber(v);
            });
            formFor(entry.page)->addRow(label, field);
            m_numberFields.append({address, field});
            break;
        }
        }
    }

    addFormPages();
}

void FlytecParameterView::showDeviceSettings()
{
    showParameters(m_driver.parameters());
}

void FlytecParameterView::showParameters(const FlytecParameters& p)
{
    const QList<BitEntry> bits = bitEntries();
    const QList<NumberEntry> numbers = numberEntries();
    const auto entryOf = [&](int address) {
        return *std::find_if(numbers.begin(), numbers.end(),
                             [&](const NumberEntry& s) { return s.address == address; });
    };
    const auto word = [&](int address) { return address == 0x03 ? p.units : p.diverse; };
    fillControls([&] {
        for (const auto& [address, edit] : m_texts)
            showText(edit, QString::fromStdString(address == 0   ? p.owner
                                                  : address == 1 ? p.instrument
                                                                 : p.license));
        for (const auto& [index, combo] : m_bitChoices)
            showChoice(combo, flytec::bitFieldValue(word(bits[index].address), bits[index].field));
        for (const auto& [index, check] : m_bitFlags)
            check->setChecked(flytec::bitFieldValue(word(bits[index].address), bits[index].field) != 0);
        for (const auto& [address, combo] : m_numberChoices)
            showChoice(combo, int(numberValue(p, address, false)));
        for (const auto& [address, slider] : m_numberSliders) {
            const NumberEntry entry = entryOf(address);
            const int v = int(std::clamp<qint64>(numberValue(p, address, entry.isSigned), INT_MIN, INT_MAX));
            showSliderValue(slider, v, entry.minimum, entry.maximum);
        }
        for (const auto& [address, field] : m_numberFields) {
            const int v = int(std::clamp<qint64>(numberValue(p, address, true), INT_MIN, INT_MAX));
            field->setRange(std::min(v, entryOf(address).minimum), std::max(v, entryOf(address).maximum));
            field->setValue(v);
        }
    });
}

void FlytecParameterView::write(const QString& what, std::function<bool(Flytec&)> write)
{
    Flytec* driver = &m_driver;
    runOnWorker([this, driver, what, write = std::move(write)] {
        if (write(*driver))
            return;
        postToView([this, what] {
            QString name = what;
            if (name.endsWith(QLatin1Char(':')))
                name.chop(1);
            reportWriteFailure(tr("The instrument did not take the new value of \"%1\".").arg(name));
        });
    });
}

} // namespace kalvora
