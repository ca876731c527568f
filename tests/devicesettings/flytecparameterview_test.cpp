#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSpinBox>

#include "settingsfixture.h"

using namespace kalvora;
using namespace kalvora::test;
using kalvora::sim::FlytecInstrument;
using kalvora::sim::FlytecSim;

namespace {

using Line = SimLine<FlytecSim>;
using View = ViewOn<Flytec, FlytecSim>;

std::vector<std::string> parameterWrites(FlytecSim& sim)
{
    return sim.withInstrument([](FlytecInstrument& i) {
        std::vector<std::string> out;
        for (const std::string& c : i.log())
            if (c.rfind("WFA_", 0) == 0)
                out.push_back(c.substr(0, c.find('\r')));
        return out;
    });
}

std::vector<std::uint8_t> bytesAt(FlytecSim& sim, int address)
{
    return sim.withInstrument([address](FlytecInstrument& i) {
        return i.parameterBytes(address).value_or(std::vector<std::uint8_t>{});
    });
}

/** Waits until the instrument holds BYTES at ADDRESS. */
bool waitForBytes(FlytecSim& sim, int address, const std::vector<std::uint8_t>& bytes)
{
    return waitUntil([&] { return bytesAt(sim, address) == bytes; });
}

} // namespace

TEST(FlytecParameterView, FilledFromTheInstrumentWithoutWriting)
{
    Line line("Flytec 6015 V3.14");
    ASSERT_TRUE(line.started);
    View v(line);
    ASSERT_NE(v.view, nullptr);
    EXPECT_EQ(v.view->objectName(), QStringLiteral("FlytecView"));
    showDeviceSettings(v.widget);
    settle(300);
    EXPECT_TRUE(parameterWrites(*line.sim).empty());

    EXPECT_EQ(v.control<QLineEdit>("owner")->text(), QStringLiteral("Pilot Example"));
    EXPECT_EQ(v.control<QLineEdit>("license")->text(), QStringLiteral("LIC-0001"));
    // units 0x0221: height ft (bit 0), vario ft/min (bit 5), coordinates 1 (bits 9-10).
    EXPECT_EQ(v.control<QComboBox>("unitHeight")->currentText(), QStringLiteral("ft"));
    EXPECT_EQ(v.control<QComboBox>("unitVario")->currentText(), QStringLiteral("ft/min"));
    EXPECT_EQ(chosenValueOf(v.control<QComboBox>("unitCoordinates")), 1);
    // diverse 0x1005: auto power (bit 0), sink alarm (bit 2), speed display (bit 12).
    EXPECT_TRUE(v.control<QCheckBox>("diverseAutoPower")->isChecked());
    EXPECT_TRUE(v.control<QCheckBox>("diverseSinkAlarm")->isChecked());
    EXPECT_FALSE(v.control<QCheckBox>("diverseStallAlarm")->isChecked());
    EXPECT_EQ(v.control<QSlider>("bFreqRise")->value(), 0x0808);
    EXPECT_EQ(v.control<QLabel>("bFreqRiseValue")->text(), QStringLiteral("2056 Hz"));
    EXPECT_EQ(v.control<QSlider>("utc_Offset")->value(), 0x13);
    EXPECT_EQ(v.control<QComboBox>("audioVolume")->property("tag").toInt(), 100 + 0x12);
    EXPECT_EQ(v.control<QComboBox>("audioVolume")->currentText(), QStringLiteral("Value 18"));
}

TEST(FlytecParameterView, ChoicesFlagsNumbersAndTextsAreWritten)
{
    Line line("Flytec 6015 V3.14");
    ASSERT_TRUE(line.started);
    View v(line);
    ASSERT_NE(v.view, nullptr);

    chooseItem(v.control<QComboBox>("unitSpeed"), QStringLiteral("kt"));
    EXPECT_TRUE(waitForBytes(*line.sim, 0x03, {0xA1, 0x02}));
    EXPECT_EQ(parameterWrites(*line.sim), std::vector<std::string>{"WFA_03_A102"})
        << "speed bits 6-7 = 2, low byte first";

    clickCheckBox(v.control<QCheckBox>("diverseStallAlarm"));
    EXPECT_TRUE(waitForBytes(*line.sim, 0x04, {0x05, 0x18}));

    chooseItem(v.control<QComboBox>("filtTyp"), QStringLiteral("Smooth"));
    EXPECT_TRUE(waitForBytes(*line.sim, 0x05, {0x02}));

    auto* offset = v.control<QSpinBox>("alt1Diff");
    showPageOf(offset);
    offset->setFocus();
    offset->selectAll();
    QTest::keyClicks(offset, QStringLiteral("-25"));
    QTest::keyClick(offset, Qt::Key_Return);
    EXPECT_TRUE(waitForBytes(*line.sim, 0x06, {0xE7, 0xFF, 0xFF, 0xFF})) << "two's complement";

    auto* owner = v.control<QLineEdit>("owner");
    EXPECT_TRUE(owner->toolTip().startsWith(QStringLiteral("Up to 16 letters"))) << "the field names its rule";
    emptyField(owner);
    typeText(owner, QStringLiteral("Rene Duß"));
    EXPECT_EQ(owner->text(), QStringLiteral("Rene Du")) << "ß is refused while typing";
    QTest::keyClick(owner, Qt::Key_Return);
    const std::string sent = "Rene Du         ";
    EXPECT_TRUE(waitForBytes(*line.sim, 0x00, std::vector<std::uint8_t>(sent.begin(), sent.end())));

    // A fresh read of the instrument shows the same (the first view ends its
    // exchanges before another driver takes the line).
    v.window.reset();
    View again(line);
    ASSERT_NE(again.view, nullptr);
    EXPECT_EQ(again.control<QComboBox>("unitSpeed")->currentText(), QStringLiteral("kt"));
    EXPECT_TRUE(again.control<QCheckBox>("diverseStallAlarm")->isChecked());
    EXPECT_EQ(again.control<QSpinBox>("alt1Diff")->value(), -25);
    EXPECT_EQ(again.control<QLineEdit>("owner")->text(), QStringLiteral("Rene Du"));
}

TEST(FlytecParameterView, ASliderDragIsOneWriteOfItsLastPosition)
{
    Line line("Flytec 6015 V3.14");
    ASSERT_TRUE(line.started);
    View v(line);
    ASSERT_NE(v.view, nullptr);
    auto* rise = v.control<QSlider>("bFreqRise");
    dragSlider(rise, 8, -20);
    const int last = rise->value();
    ASSERT_NE(last, 0x0808);
    ASSERT_TRUE(waitForBytes(*line.sim, 0x08, {std::uint8_t(last & 0xFF), std::uint8_t(last >> 8)}));
    settle(300);
    const auto writes = parameterWrites(*line.sim);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(bytesAt(*line.sim, 0x08),
              (std::vector<std::uint8_t>{std::uint8_t(last & 0xFF), std::uint8_t(last >> 8)}));
}

TEST(FlytecParameterView, ARefusedWriteIsAlertedAndTheControlShowsTheInstrumentAgain)
{
    Line line("Flytec 6015 V3.14");
    ASSERT_TRUE(line.started);
    View v(line);
    ASSERT_NE(v.view, nullptr);
    QSignalSpy reread(v.view, &DeviceSettingsView::settingsReread);
    QObject::connect(v.view, &DeviceSettingsView::settingsWriteFailed, v.view,
                     [&line] { line.fault(sim::Fault::None); });
    line.fault(sim::Fault::Silence);
    auto* height = v.control<QComboBox>("unitHeight");
    chooseItem(height, QStringLiteral("m"));
    ASSERT_TRUE(waitUntil([&] { return reread.count() == 1; }, 20000));
    EXPECT_TRUE(reread.at(0).at(0).toBool());
    ASSERT_EQ(v.interaction->alerts.size(), 1);
    EXPECT_TRUE(v.interaction->alerts[0].contains(QStringLiteral("Altitude")));
    EXPECT_EQ(height->currentText(), QStringLiteral("ft")) << "what the instrument holds";
    EXPECT_EQ(bytesAt(*line.sim, 0x03), (std::vector<std::uint8_t>{0x21, 0x02}));
}
