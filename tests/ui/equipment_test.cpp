#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QToolBar>

#include "logbookfixture.h"
#include "model/equipment.h"
#include "scriptedinteraction.h"
#include "ui/addflightsheet.h"
#include "ui/equipmentwindowcontroller.h"
#include "ui/logbookwindowcontroller.h"
#include "ui/selectequipmentsheet.h"

namespace kalvora::test {
namespace {

/** A logbook window with a global store beside it, as the application gives it. */
class EquipmentTest : public LogbookTest
{
protected:
    void SetUp() override
    {
        LogbookTest::SetUp();
        auto opened = PersistentStore::open(m_dir.filePath(QStringLiteral("Kalvora.storedata")), ObjectModel::global());
        ASSERT_TRUE(opened.ok());
        global = std::move(opened.value());
        alpha = global->mainContext()->insert<Equipment>();
        alpha->setModel(QStringLiteral("Alpha"));
        alpha->setManufacturer(QStringLiteral("Beta"));
        solo = global->mainContext()->insert<Equipment>();
        solo->setModel(QStringLiteral("Solo"));
        solo->setBoughtDate(0); // older: listed second
        ASSERT_TRUE(global->mainContext()->save().ok());

        flight = addFlight(utc(2024, 5, 1, 10, 0), 60);
        other = addFlight(utc(2024, 5, 2, 10, 0), 60);
        window = std::make_unique<LogBookWindowController>(ctx());
        window->setInteraction(interaction);
        window->setImportServices({nullptr, global.get()});
        window->windowDidLoad({});
        window->show();
    }
    void TearDown() override
    {
        window.reset();
        global.reset();
        LogbookTest::TearDown();
    }

    void clickButton(QWidget* parent, const char* name)
    {
        auto* button = parent->findChild<QPushButton*>(QLatin1String(name));
        ASSERT_NE(button, nullptr) << name;
        ASSERT_TRUE(button->isVisible()) << name;
        QTest::mouseClick(button, Qt::LeftButton);
    }

    void clickRow(QTableView* list, const QString& text)
    {
        for (int row = 0; row < list->model()->rowCount(); ++row) {
            const QModelIndex index = list->model()->index(row, 0);
            if (index.data().toString() == text) {
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(index).center());
                return;
            }
        }
        ADD_FAILURE() << "no row " << text.toStdString();
    }

    std::shared_ptr<ScriptedInteraction> interaction = std::make_shared<ScriptedInteraction>();
    std::unique_ptr<PersistentStore> global;
    std::unique_ptr<LogBookWindowController> window;
    Equipment* alpha = nullptr;
    Equipment* solo = nullptr;
    Flight* flight = nullptr;
    Flight* other = nullptr;
};

TEST_F(EquipmentTest, ChosenGliderNamesEverySelectedFlightAndIsRemembered)
{
    window->selectFlights({flight, other});
    clickButton(window.get(), "chooseGlider");
    SelectEquipmentSheet* sheet = window->equipmentSheet();
    ASSERT_TRUE(sheet && sheet->isVisible());
    EXPECT_EQ(sheet->list()->model()->index(0, 0).data().toString(), QStringLiteral("Alpha")) << "newest first";

    clickButton(sheet, "chooseEquipment");
    EXPECT_TRUE(sheet->isVisible()) << "nothing selected: the sheet stays";

    clickRow(sheet->list(), QStringLiteral("Alpha"));
    clickButton(sheet, "chooseEquipment");
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(flight->glider(), QStringLiteral("Alpha (Beta)"));
    EXPECT_EQ(other->glider(), QStringLiteral("Alpha (Beta)"));
    EXPECT_EQ(QSettings().value(QStringLiteral("LastUsedGlider")).toString(), alpha->objectId().uriString());
    ctx()->undo();
    EXPECT_EQ(flight->glider(), QStringLiteral("Alpha, Beta")) << "both flights in one undo step";
    EXPECT_EQ(other->glider(), QStringLiteral("Alpha, Beta"));

    // A double-click chooses too; without manufacturer the model stands alone.
    clickButton(window.get(), "chooseHarness");
    const int row = sheet->list()->model()->index(1, 0).data().toString() == QStringLiteral("Solo") ? 1 : 0;
    const QRect cell = sheet->list()->visualRect(sheet->list()->model()->index(row, 0));
    QTest::mouseClick(sheet->list()->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(sheet->list()->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(flight->harness(), QStringLiteral("Solo"));
    EXPECT_EQ(QSettings().value(QStringLiteral("LastUsedHarness")).toString(), solo->objectId().uriString());
}

TEST_F(EquipmentTest, NewItemFromTheChooserGoesToTheEquipmentWindow)
{
    window->selectFlights({flight});
    QSignalSpy requested(window.get(), &LogBookWindowController::equipmentWindowRequested);
    clickButton(window.get(), "chooseGlider");
    clickButton(window->equipmentSheet(), "createNewEquipment");
    ASSERT_EQ(requested.size(), 1);
    auto* created = qobject_cast<Equipment*>(global->mainContext()->existingObject(requested.first().first().toString()));
    ASSERT_NE(created, nullptr);
    EXPECT_FALSE(created->objectId().isTemporary()) << "saved before it is handed on";
    EXPECT_FALSE(created->hasValue(QStringLiteral("soldDate"))) << "new equipment is not sold";
}

TEST_F(EquipmentTest, FlightByHandFromTheAddSheet)
{
    QSettings().setValue(QStringLiteral("LastUsedGlider"), alpha->objectId().uriString());
    QSettings().setValue(QStringLiteral("LastUsedHarness"), QStringLiteral("x-kalvora://gone/Equipment/p99"));
    window->addFlight();
    AddFlightSheet* sheet = window->addFlightSheet();
    ASSERT_TRUE(sheet->isVisible());
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    clickButton(sheet, "addFlightManually");
    EXPECT_FALSE(sheet->isVisible());

    ASSERT_EQ(window->flightList().size(), 3);
    ASSERT_EQ(window->selectedFlights().size(), 1);
    Flight* byHand = window->selectedFlights().first();
    EXPECT_EQ(byHand->glider(), QStringLiteral("Alpha, Beta"));
    EXPECT_FALSE(byHand->hasValue(QStringLiteral("harness"))) << "a vanished harness names nothing";
    EXPECT_FALSE(byHand->validIGC());
    EXPECT_EQ(byHand->freeDistance(), -1);
    EXPECT_EQ(byHand->flightType(), QStringLiteral("n/a"));
    EXPECT_GE(byHand->startUTC(), before);
    EXPECT_EQ(byHand->startUTC(), byHand->landingUTC());

    window->addFlight();
    clickButton(sheet, "cancelAddFlight");
    EXPECT_EQ(window->flightList().size(), 3);
}

TEST_F(EquipmentTest, EquipmentWindowAddsEditsAndTakesPictures)
{
    EquipmentWindowController equipment(global->mainContext(), interaction);
    equipment.show();
    QTableView* list = equipment.list();
    EXPECT_EQ(list->model()->rowCount(), 2);

    auto* toolbar = equipment.findChild<QToolBar*>();
    ASSERT_NE(toolbar, nullptr);
    const auto trigger = [toolbar](const char* name) {
        for (QAction* action : toolbar->actions())
            if (action->objectName() == QLatin1String(name))
                return action->trigger();
        ADD_FAILURE() << name;
    };
    trigger("addEquipment");
    ASSERT_EQ(list->model()->rowCount(), 3);
    ASSERT_EQ(equipment.selectedEquipment().size(), 1);
    Equipment* added = equipment.selectedEquipment().first();
    EXPECT_FALSE(added->hasValue(QStringLiteral("soldDate")));
    // The model name is being edited at once.
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    if (editor) {
        QTest::keyClicks(editor, QStringLiteral("Mentor 7"));
        QTest::keyClick(editor, Qt::Key_Return);
        EXPECT_EQ(added->model(), QStringLiteral("Mentor 7"));
    }

    QImage picture(400, 200, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    interaction->chosenFile = m_dir.filePath(QStringLiteral("wing.png"));
    ASSERT_TRUE(picture.save(interaction->chosenFile));
    trigger("chooseImage");
    EXPECT_TRUE(interaction->asked.contains(QStringLiteral("Select Image")));
    QImage stored;
    ASSERT_TRUE(stored.loadFromData(added->image(), "JPEG"));
    EXPECT_EQ(stored.size(), QSize(240, 120));

    interaction->chosenFile = m_dir.filePath(QStringLiteral("not-a-picture.png"));
    trigger("chooseImage");
    EXPECT_FALSE(added->image().isEmpty()) << "an unreadable file changes nothing";

    EXPECT_TRUE(equipment.selectEquipment(solo->objectId().uriString()));
    EXPECT_EQ(equipment.selectedEquipment(), QList<Equipment*>{solo});
    interaction->confirm = true;
    trigger("deleteEquipment");
    EXPECT_EQ(list->model()->rowCount(), 2);
}

} // namespace
} // namespace kalvora::test
