#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QListWidget>

#include "settingsfixture.h"

using namespace kalvora;
using namespace kalvora::test;
using kalvora::sim::BraeunigerSim;

namespace {

using Line = SimLine<BraeunigerSim>;
using View = ViewOn<Braeuniger, BraeunigerSim>;

Line makeLine(const char* model)
{
    return Line(std::string(model), std::vector<sim::IgcFile>{});
}

std::size_t sentWith(const BraeunigerSim& sim, const std::string& head)
{
    std::size_t n = 0;
    for (const std::string& c : sim.commandLog())
        n += c.rfind(head, 0) == 0 ? 1 : 0;
    return n;
}

int u16At(const std::array<std::uint8_t, 1024>& image, unsigned at)
{
    return (image[at] << 8) | image[at + 1];
}

QStringList tabTitles(QWidget* view)
{
    QStringList titles;
    auto* pages = view->findChild<QListWidget*>(QStringLiteral("settingsPages"));
    for (int i = 0; pages && i < pages->count(); ++i)
        titles << pages->item(i)->text();
    return titles;
}

} // namespace

TEST(BraeunigerSettingsView, EachModelGetsItsOwnLayout)
{
    struct Case
    {
        const char* model;
        const char* layout;
        QStringList tabs;
        std::vector<const char*> present;
        std::vector<const char*> absent;
    } cases[] = {
        {"COMPETINO",
         "CompetinoView",
         {"Pilot", "Tones", "Vario", "Recording", "Units", "Display"},
         {"owner", "userPage", "userItem6", "lcdContrast", "softwareVersion"},
         {"polareUsage", "userItem0p", "cTRAlarm0", "useFlyLink", "softwareVersionPlus", "faiStarttime"}},
        {"COMPEO",
         "CompeoView",
         {"Pilot", "Tones", "Vario", "Speed", "Polar", "Recording", "Units", "Display"},
         {"polareUsage", "polSink0Of1", "faiStarttime", "userItem0", "speedGainWindWheel"},
         {"userItem0p", "cTRAlarm0", "useFlarm", "mapOrientation"}},
        {"COMPETINO+",
         "CompetinoPlusView",
         {"Pilot", "Tones", "Vario", "Recording", "Units", "Display", "Radio"},
         {"userPagep", "userItem6p", "displayPlus", "useFlyLink", "addUTC", "softwareVersionPlus"},
         {"userItem0", "polareUsage", "cTRAlarm0", "mapOrientation", "lcdContrast"}},
        {"COMPEO+",
         "CompeoPlusView",
         {"Pilot", "Tones", "Vario", "Speed", "Polar", "Recording", "Units", "Display", "Map", "Airspace",
          "Radio"},
         {"userItem0p", "polareUsage", "cTRAlarm14", "mapOrientation", "userItem2Map", "zoomDistance"},
         {"userItem0", "lcdContrast"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        Line line = makeLine(c.model);
        ASSERT_TRUE(line.started);
        View v(line);
        ASSERT_NE(v.view, nullptr);
        EXPECT_EQ(v.view->objectName(), QString::fromLatin1(c.layout));
        EXPECT_EQ(tabTitles(v.view), c.tabs);
        for (const char* name : c.present)
            EXPECT_NE(v.widget->findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
        for (const char* name : c.absent)
            EXPECT_EQ(v.widget->findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
    }
}

TEST(BraeunigerSettingsView, FillingShowsTheInstrumentAndWritesNothing)
{
    Line line = makeLine("COMPEO");
    ASSERT_TRUE(line.started);
    View v(line);
    ASSERT_NE(v.view, nullptr);
    line.sim->clearCommandLog();
    showDeviceSettings(v.widget); // a second fill, as after a re-read
    v.flushWrites(300);
    EXPECT_EQ(sentWith(*line.sim, "$PBRMEMW"), 0u);
    EXPECT_EQ(sentWith(*line.sim, "$PBRCONF"), 0u);

    EXPECT_EQ(v.control<QLineEdit>("owner")->text(), QStringLiteral("SIM PILOT"));
    EXPECT_EQ(v.control<QLineEdit>("gliderID")->text(), QStringLiteral("D-1234"));
    EXPECT_EQ(v.control<QComboBox>("baseVolume")->currentText(), QStringLiteral("2")) << "50 is level 2";
    EXPECT_EQ(v.control<QSlider>("upBaseFreq")->value(), 700);
    EXPECT_EQ(v.control<QLabel>("upBaseFreqValue")->text(), QStringLiteral("700 Hz"));
    EXPECT_EQ(v.control<QSlider>("downBaseFreq")->value(), 600);
    EXPECT_EQ(v.control<QSlider>("upBaseFreq")->property("address").toUInt(), 0x066u);
    // The factory polar is in use: its values show negated and cannot be edited.
    auto* sink = v.control<QSlider>("polSink0Of1");
    EXPECT_EQ(sink->value(), -int(line.sim->memory()[0x07A]));
    EXPECT_FALSE(sink->isEnabled());
}

TEST(BraeunigerSettingsView, ChoicesAndFlagsAreWrittenToTheInstrument)
{
    Line line = makeLine("COMPEO+");
    ASSERT_TRUE(line.started);
    View v(line);
    ASSERT_NE(v.view, nullptr);

    chooseItem(v.control<QComboBox>("speedUnit"), QStringLiteral("kt"));
    chooseItem(v.control<QComboBox>("baseVolume"), QStringLiteral("4"));
    const bool wasOn = v.control<QCheckBox>("cTRAlarm9")->isChecked();
    clickCheckBox(v.control<QCheckBox>("cTRAlarm9"));
    EXPECT_NE(v.control<QCheckBox>("cTRAlarm9")->isChecked(), wasOn);
    v.flushWrites();

    const auto image = line.sim->memory();
    EXPECT_EQ((image[0x08D] >> 2) & 3, 2) << "speed unit bits only";
    EXPECT_EQ(image[0x04A], 100) << "level 4 is 100";
    EXPECT_EQ(((image[0x214] >> 1) & 1) != 0, !wasOn);

    // A fresh read of the instrument shows the same.
    View again(line);
    ASSERT_NE(again.view, nullptr);
    EXPECT_EQ(again.control<QComboBox>("speedUnit")->currentText(), QStringLiteral("kt"));
    EXPECT_EQ(again.control<QComboBox>("baseVolume")->currentText(), QStringLiteral("4"));
}

TEST(BraeunigerSettingsView, TextsFollowTheCharacterRules)
{
    Line line = makeLine("COMPETINO");
    ASSERT_TRUE(line.started);
    View v(line);
    ASSERT_NE(v.view, nullptr);
    auto* owner = v.control<QLineEdit>("owner");
    EXPECT_TRUE(owner->toolTip().startsWith(QStringLiteral("Up to 16 letters"))) << "the field names its rule";
    emptyField(owner);
    typeText(owner, QStringLiteral("  Jörg Müller*"));
    EXPECT_EQ(owner->text(), QStringLiteral("  Jrg Mller")) << "umlauts and * are refused while typing";
    QTest::keyClick(owner, Qt::Key_Return);
    EXPECT_EQ(owner->text(), QStringLiteral("Jrg Mller")) << "trimmed on commit";
    v.flushWrites();
    auto image = line.sim->memory();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&image[0]), 10), std::string("Jrg Mller\0", 10));

    auto* glider = v.control<QLineEdit>("gliderType");
    emptyField(glider);
    QTest::keyClicks(glider, QStringLiteral("ABCDEFGHIJKLMNOPQRS"));
    EXPECT_EQ(glider->text(), QStringLiteral("ABCDEFGHIJKLMNOP")) << "16 characters at most";
    line.sim->clearCommandLog();
    QTest::keyClick(glider, Qt::Key_Return);
    v.flushWrites();
    image = line.sim->memory();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&image[0x0C0]), 16), "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(sentWith(*line.sim, "$PBRMEMW,00c0"), 1u);
    EXPECT_EQ(sentWith(*line.sim, "$PBRMEMW,00c8"), 1u);

    // Return again without a change writes nothing more.
    line.sim->clearCommandLog();
    QTest::keyClick(glider, Qt::Key_Return);
    v.flushWrites();
    EXPECT_EQ(sentWith(*line.sim, "$PBRMEMW"), 0u);
}

TEST(BraeunigerSettingsView, SliderMovesAreWrittenOnceAtTheirLastPosition)
{
    Line line = makeLine("COMPEO");
    ASSERT_TRUE(line.started);
    View v(line);
    ASSERT_NE(v.view, nullptr);
    auto* up = v.control<QSlider>("upBaseFreq");
    line.sim->clearCommandLog();

    dragSlider(up, 6, 25);
    const int dragged = up->value();
    EXPECT_NE(dragged, 700) << "the drag moved the slider";
    EXPECT_EQ(sentWith(*line.sim, "$PBRMEMW"), 0u) << "nothing during the drag";
    v.flushWrites();
    EXPECT_EQ(sentWith(*line.sim, "$PBRMEMW,0060"), 1u);
    EXPECT_EQ(u16At(line.sim->memory(), 0x066), dragged);

    // A burst of key presses in one turn of the event loop is one write too.
    line.sim->clearCommandLog();
    up->setFocus();
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(up, Qt::Key_Left);
    v.flushWrites();
    EXPECT_EQ(sentWith(*line.sim, "$PBRMEMW,0060"), 1u);
    EXPECT_EQ(u16At(line.sim->memory(), 0x066), dragged - 4);
}

TEST(BraeunigerSettingsView, ALowerClimbTonePullsTheSinkToneWithIt)
{
    Line line = makeLine("COMPETINO");
    ASSERT_TRUE(line.started);
    View v(line);
    ASSERT_NE(v.view, nullptr);
    auto* up = v.control<QSlider>("upBaseFreq");
    showPageOf(up);
    up->setFocus();
    for (int i = 0; i < 2; ++i)
        QTest::keyClick(up, Qt::Key_PageDown); // 700 - 2 * page step
    const int target = up->value();
    ASSERT_LT(target, 600);
    v.flushWrites();
    EXPECT_EQ(v.control<QSlider>("downBaseFreq")->value(), target);
    EXPECT_EQ(u16At(line.sim->memory(), 0x068), target);
}

TEST(BraeunigerSettingsView, PageItemsFollowTheChosenPage)
{
    Line line = makeLine("COMPETINO");
    ASSERT_TRUE(line.started);
    line.sim->setMemoryByte(0x09C, 5); // a page the instrument has no items for
    line.sim->setMemoryByte(0x140, 3); // page 1, item 1
    line.sim->setMemoryByte(0x14B, 4); // page 2, item 2
    View v(line);
    ASSERT_NE(v.view, nullptr);
    auto* page = v.control<QComboBox>("userPage");
    auto* item0 = v.control<QComboBox>("userItem0");
    auto* item1 = v.control<QComboBox>("userItem1");
    EXPECT_FALSE(item0->isEnabled());
    EXPECT_FALSE(v.control<QComboBox>("userField")->isEnabled());
    EXPECT_EQ(page->currentText(), QStringLiteral("Value 5"));

    line.sim->clearCommandLog();
    chooseItem(page, QStringLiteral("Page 1"));
    v.flushWrites();
    EXPECT_TRUE(item0->isEnabled());
    EXPECT_EQ(chosenValueOf(item0), 3);
    EXPECT_EQ(line.sim->memory()[0x09C], 0);
    EXPECT_EQ(sentWith(*line.sim, "$PBRMEMW"), 1u) << "only the page byte";
    EXPECT_EQ(page->findText(QStringLiteral("Value 5")), -1) << "the stray value leaves the list";

    chooseItem(page, QStringLiteral("Page 2"));
    EXPECT_EQ(chosenValueOf(item1), 4);
    chooseItem(item1, item1->itemText(7));
    v.flushWrites();
    EXPECT_EQ(line.sim->memory()[0x14B], 7) << "page 2's item";
    EXPECT_EQ(line.sim->memory()[0x141], std::uint8_t((0x141 * 7 + 3) & 0xFF)) << "page 1's item untouched";
}

TEST(BraeunigerSettingsView, PolarValuesAreEditableOnlyWithTheOwnPolar)
{
    Line line = makeLine("COMPEO+");
    ASSERT_TRUE(line.started);
    View v(line);
    ASSERT_NE(v.view, nullptr);
    auto* speed = v.control<QSlider>("polSpeed0Of1");
    EXPECT_FALSE(speed->isEnabled());
    EXPECT_EQ(speed->value(), line.sim->memory()[0x07C]);

    chooseItem(v.control<QComboBox>("polareUsage"), QStringLiteral("Own polar"));
    v.flushWrites();
    EXPECT_EQ(line.sim->memory()[0x07F], 1);
    EXPECT_TRUE(speed->isEnabled());
    EXPECT_EQ(speed->value(), line.sim->memory()[0x057]) << "now the second polar's value";
    EXPECT_EQ(v.control<QSlider>("polSink0Of1")->value(), -int(line.sim->memory()[0x055]));

    speed->setFocus();
    QTest::keyClick(speed, Qt::Key_Right);
    const int moved = speed->value();
    v.flushWrites();
    EXPECT_EQ(line.sim->memory()[0x057], moved);
}

TEST(BraeunigerSettingsView, AFailedWriteIsAlertedAndTheInstrumentReadAgain)
{
    Line line = makeLine("COMPETINO");
    ASSERT_TRUE(line.started);
    View v(line);
    ASSERT_NE(v.view, nullptr);
    const auto before = line.sim->memory();
    QSignalSpy failed(v.view, &DeviceSettingsView::settingsWriteFailed);
    QSignalSpy reread(v.view, &DeviceSettingsView::settingsReread);
    // The line comes back before the view reads again.
    QObject::connect(v.view, &DeviceSettingsView::settingsWriteFailed, v.view,
                     [&line] { line.fault(sim::Fault::None); });
    line.fault(sim::Fault::Silence);
    auto* volume = v.control<QComboBox>("baseVolume");
    chooseItem(volume, QStringLiteral("4"));
    ASSERT_TRUE(waitUntil([&] { return reread.count() == 1; }, 20000));
    EXPECT_EQ(failed.count(), 1);
    EXPECT_TRUE(reread.at(0).at(0).toBool());
    ASSERT_EQ(v.interaction->alerts.size(), 1);
    EXPECT_TRUE(v.interaction->alerts[0].startsWith(QStringLiteral("The setting could not be written")));
    EXPECT_EQ(line.sim->memory(), before);
    EXPECT_EQ(volume->currentText(), QStringLiteral("2")) << "the value the instrument holds";
    EXPECT_TRUE(v.control<QWidget>("settingsBody")->isEnabled());
}

TEST(DeviceSettingsView, DriversWithoutSettingsHaveNoView)
{
    class NoSettings final : public GpsDevice
    {
    public:
        std::string driverId() const override { return "skytraxx"; }
        std::string portPath() const override { return "/media/none"; }
        bool has(DeviceOperation) const override { return false; }
    } device;
    QWidget parent;
    EXPECT_EQ(createDeviceSettingsView(device, &parent), nullptr);
    showDeviceSettings(&parent); // not a settings view: nothing happens
}
