#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QToolBar>

#include "logbookfixture.h"
#include "scriptedinteraction.h"
#include "ui/flightdetailpane.h"
#include "ui/flightlistmodel.h"
#include "ui/logbookwindowcontroller.h"

namespace kalvora::test {
namespace {

/** The logbook window shown offscreen, driven through its controls, questions answered by script. */
class FlightEditingTest : public LogbookTest
{
protected:
    void SetUp() override
    {
        LogbookTest::SetUp();
        first = addFlight(utc(2024, 5, 1, 10, 0), 60, 10, QStringLiteral("Alpha"));
        second = addFlight(utc(2024, 5, 2, 11, 0), 90, 10, QStringLiteral("Bravo"));
        third = addFlight(utc(2024, 5, 3, 12, 0), 30, 10, QStringLiteral("Charlie"));
        ASSERT_TRUE(ctx()->save().ok());
        ctx()->clearUndoHistory();
        window = std::make_unique<LogBookWindowController>(ctx());
        window->setInteraction(interaction);
        window->windowDidLoad({});
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void TearDown() override
    {
        window.reset();
        LogbookTest::TearDown();
    }

    template <typename T>
    T* field(const char* name)
    {
        auto* found = window->findChild<T*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    void selectAllByKey()
    {
        window->flightTable()->setFocus();
        QTest::keyClick(window->flightTable(), Qt::Key_A, Qt::ControlModifier);
    }

    /** Types @p text into a line edit as a user would, replacing its content, and presses Enter. */
    void typeInto(QLineEdit* edit, const QString& text)
    {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    }

    void undoByKey() { QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier); }

    std::shared_ptr<ScriptedInteraction> interaction = std::make_shared<ScriptedInteraction>();
    std::unique_ptr<LogBookWindowController> window;
    Flight* first = nullptr;
    Flight* second = nullptr;
    Flight* third = nullptr;
};

TEST_F(FlightEditingTest, SeveralFlightsShowMultipleValuesAndLeavingAFieldChangesNothing)
{
    selectAllByKey();
    ASSERT_EQ(window->selectedFlights().size(), 3);
    auto* date = field<QDateTimeEdit>("date");
    auto* place = field<QLineEdit>("startLocation");
    auto* landing = field<QLineEdit>("landingLocation");
    EXPECT_EQ(date->text(), FlightDetailPane::multipleValuesText());
    EXPECT_TRUE(place->text().isEmpty());
    EXPECT_EQ(place->placeholderText(), FlightDetailPane::multipleValuesText());
    EXPECT_EQ(landing->text(), QStringLiteral("Field")) << "a value all flights share is shown";
    EXPECT_EQ(field<QComboBox>("utcOffset")->currentText(), QStringLiteral("0"));

    // Once three flights moved to one date here: visiting the date field is no edit.
    date->setFocus();
    QTest::keyClick(date, Qt::Key_Return);
    place->setFocus();
    EXPECT_EQ(first->startUTC(), utc(2024, 5, 1, 10, 0));
    EXPECT_EQ(second->startUTC(), utc(2024, 5, 2, 11, 0));
    EXPECT_EQ(third->startUTC(), utc(2024, 5, 3, 12, 0));
    EXPECT_EQ(first->startLocation(), QStringLiteral("Alpha"));
}

TEST_F(FlightEditingTest, AValueForSeveralFlightsIsOneUndoStep)
{
    selectAllByKey();
    typeInto(field<QLineEdit>("startLocation"), QStringLiteral("Niesen"));
    for (Flight* flight : {first, second, third})
        EXPECT_EQ(flight->startLocation(), QStringLiteral("Niesen"));
    EXPECT_EQ(field<QLineEdit>("startLocation")->text(), QStringLiteral("Niesen"));

    window->flightTable()->setFocus();
    undoByKey();
    EXPECT_EQ(first->startLocation(), QStringLiteral("Alpha"));
    EXPECT_EQ(second->startLocation(), QStringLiteral("Bravo"));
    EXPECT_EQ(third->startLocation(), QStringLiteral("Charlie"));
    EXPECT_FALSE(ctx()->canUndo()) << "one gesture, one step";
    EXPECT_EQ(field<QLineEdit>("startLocation")->placeholderText(), FlightDetailPane::multipleValuesText());

    QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(second->startLocation(), QStringLiteral("Niesen"));
}

TEST_F(FlightEditingTest, ATimeOfDayForSeveralFlightsKeepsEachFlightsDay)
{
    window->selectFlights({first, third});
    auto* start = field<QDateTimeEdit>("startUTC");
    EXPECT_EQ(start->text(), FlightDetailPane::multipleValuesText());
    start->setFocus();
    start->setTime(QTime(9, 15)); // what the arrows or typing leave in the field
    QTest::keyClick(start, Qt::Key_Return);
    EXPECT_EQ(first->startUTC(), utc(2024, 5, 1, 9, 15));
    EXPECT_EQ(third->startUTC(), utc(2024, 5, 3, 9, 15));
    EXPECT_EQ(second->startUTC(), utc(2024, 5, 2, 11, 0)) << "not selected";
}

TEST_F(FlightEditingTest, LocalTimeAndOffsetOfOneFlight)
{
    window->selectFlights({first});
    auto* offsets = field<QComboBox>("utcOffset");
    offsets->setFocus();
    // Two steps down from "0": "+2".
    QTest::keyClick(offsets, Qt::Key_Down);
    QTest::keyClick(offsets, Qt::Key_Down);
    EXPECT_DOUBLE_EQ(first->utcOffset(), 2.0);

    auto* local = field<QDateTimeEdit>("startLocal");
    EXPECT_EQ(local->text(), QStringLiteral("12:00:00"));
    local->setFocus();
    local->setTime(QTime(13, 0));
    QTest::keyClick(local, Qt::Key_Return);
    EXPECT_EQ(first->startUTC(), utc(2024, 5, 1, 11, 0));
    EXPECT_EQ(field<QDateTimeEdit>("startUTC")->text(), QStringLiteral("11:00:00"));
}

TEST_F(FlightEditingTest, NothingSelectedEmptiesAndDisablesThePanel)
{
    window->selectFlights({second});
    EXPECT_EQ(field<QLineEdit>("startLocation")->text(), QStringLiteral("Bravo"));
    window->deselectFlights();
    auto* place = field<QLineEdit>("startLocation");
    EXPECT_TRUE(place->text().isEmpty());
    EXPECT_FALSE(place->isEnabled());
    EXPECT_TRUE(field<QDateTimeEdit>("startUTC")->text().trimmed().isEmpty()) << "no time of the old flight";
    EXPECT_TRUE(field<QDateTimeEdit>("date")->text().trimmed().isEmpty());
    EXPECT_EQ(field<QLabel>("summary")->text(), QStringLiteral("No flight selected"));
}

TEST_F(FlightEditingTest, SummaryHasNoLoneArrow)
{
    first->setValue(QStringLiteral("startLocation"), {});
    first->setValue(QStringLiteral("landingLocation"), {});
    window->selectFlights({first});
    EXPECT_FALSE(field<QLabel>("summary")->text().contains(QChar(0x2192)));
    window->selectFlights({second});
    EXPECT_TRUE(field<QLabel>("summary")->text().startsWith(QStringLiteral("Bravo \u2192 Field")));
}

TEST_F(FlightEditingTest, AltitudesAreEnteredInTheUsersUnit)
{
    Settings::setCurrentUnits(UnitSettings{1, 0, 0, 0, 0}); // feet
    window->selectFlights({first});
    auto* altitude = field<QLineEdit>("startAltitude");
    typeInto(altitude, QStringLiteral("3281"));
    EXPECT_NEAR(first->startAltitude(), 1000.0, 0.1);
    typeInto(altitude, QStringLiteral("high"));
    EXPECT_NEAR(first->startAltitude(), 1000.0, 0.1) << "unreadable text keeps the altitude";
    EXPECT_EQ(altitude->text(), QStringLiteral("3281"));
}

TEST_F(FlightEditingTest, NoticeIsWrittenWhenTheFieldIsLeft)
{
    window->selectFlights({first, second});
    auto* notice = field<QPlainTextEdit>("notice");
    notice->setFocus();
    QTest::keyClicks(notice, QStringLiteral("Thermal at the ridge"));
    EXPECT_FALSE(first->hasValue(QStringLiteral("notice")));
    window->flightTable()->setFocus();
    EXPECT_EQ(first->notice(), QStringLiteral("Thermal at the ridge"));
    EXPECT_EQ(second->notice(), QStringLiteral("Thermal at the ridge"));
}

TEST_F(FlightEditingTest, DeleteKeyAsksAndSelectAllSelectsEveryFlight)
{
    selectAllByKey();
    interaction->confirm = false;
    QTest::keyClick(window->flightTable(), Qt::Key_Delete);
    EXPECT_EQ(interaction->asked, QStringList{QStringLiteral("delete 3")});
    EXPECT_EQ(window->flightList().size(), 3);

    window->selectFlights({second});
    window->flightTable()->setFocus();
    interaction->confirm = true;
    QTest::keyClick(window->flightTable(), Qt::Key_Delete);
    EXPECT_EQ(window->flightList().size(), 2);
    EXPECT_FALSE(window->flightList().contains(second));

    // Delete in a text field deletes text, never flights.
    window->selectFlights({first});
    auto* place = field<QLineEdit>("startLocation");
    place->setFocus();
    place->setCursorPosition(0);
    QTest::keyClick(place, Qt::Key_Delete);
    EXPECT_EQ(window->flightList().size(), 2);
    EXPECT_EQ(place->text(), QStringLiteral("lpha"));
}

TEST_F(FlightEditingTest, ToolbarDeleteSaysWhatItNeedsAndIsOffInAnEmptyLogbook)
{
    QAction* remove = nullptr;
    for (QAction* a : window->toolbarActions())
        if (a->objectName() == QLatin1String("deleteFlights"))
            remove = a;
    ASSERT_NE(remove, nullptr);
    QToolBar* toolbar = window->findChild<QToolBar*>(QStringLiteral("toolbar"));
    ASSERT_NE(toolbar, nullptr);
    QWidget* button = toolbar->widgetForAction(remove);
    ASSERT_NE(button, nullptr);

    window->flightTable()->clearSelection();
    ASSERT_TRUE(remove->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(interaction->asked.isEmpty()) << "nothing to ask about";
    ASSERT_EQ(interaction->alerts.size(), 1) << "a click on Delete never passes in silence";
    EXPECT_TRUE(interaction->alerts.first().startsWith(QStringLiteral("No flight is selected.")));

    selectAllByKey();
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(interaction->asked, QStringList{QStringLiteral("delete 3")});
    EXPECT_TRUE(window->flightList().isEmpty());
    EXPECT_FALSE(remove->isEnabled()) << "an empty logbook has nothing to delete";
}

TEST_F(FlightEditingTest, DoubleClickAndContextMenuOpenTheFlight)
{
    QTableView* table = window->flightTable();
    const int row = window->flightList().indexOf(second);
    const QRect cell = table->visualRect(table->model()->index(row, 0));
    QSignalSpy doubleClicked(table, &QAbstractItemView::doubleClicked);
    // A double-click as the window system delivers it: press, release, double-click, release.
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(doubleClicked.size(), 1);
    EXPECT_EQ(window->selectedFlights(), QList<Flight*>{second});
    EXPECT_TRUE(QTest::qWaitFor([this] { return QApplication::focusWidget() == field<QLineEdit>("startLocation"); }, 500))
        << "the flight's first field takes the keyboard";

    const int other = window->flightList().indexOf(third);
    const QRect thirdCell = table->visualRect(table->model()->index(other, 0));
    emit table->customContextMenuRequested(thirdCell.center());
    EXPECT_EQ(window->selectedFlights(), QList<Flight*>{third}) << "right-click selects the row under it";
    auto* menu = window->findChild<QMenu*>(QStringLiteral("flightContextMenu"));
    ASSERT_NE(menu, nullptr);
    QStringList entries;
    for (QAction* action : menu->actions())
        if (!action->isSeparator())
            entries << action->objectName();
    EXPECT_EQ(entries, (QStringList{QStringLiteral("editFlight"), QStringLiteral("deleteSelected")}));
    menu->close();
}

TEST_F(FlightEditingTest, CancelledInvalidationKeepsEachFlightsOwnValidity)
{
    for (Flight* flight : {first, second}) {
        flight->setIgcData(QStringLiteral("AXXX\r\n"));
        flight->setValidIGC(flight == first);
    }
    window->selectFlights({first, second});
    auto* valid = field<QCheckBox>("validIGC");
    EXPECT_EQ(valid->checkState(), Qt::PartiallyChecked);
    ASSERT_TRUE(valid->isEnabled());

    interaction->confirm = false;
    QTest::mouseClick(valid, Qt::LeftButton, {}, QPoint(8, valid->height() / 2));
    EXPECT_EQ(interaction->asked, QStringList{QStringLiteral("invalidate")});
    EXPECT_TRUE(first->validIGC());
    EXPECT_FALSE(second->validIGC()) << "Cancel puts back each flight's value, not true for all";
    EXPECT_EQ(valid->checkState(), Qt::PartiallyChecked);

    interaction->confirm = true;
    QTest::mouseClick(valid, Qt::LeftButton, {}, QPoint(8, valid->height() / 2));
    EXPECT_FALSE(first->validIGC());
    EXPECT_FALSE(valid->isEnabled()) << "validity is never given back by hand";
}

TEST_F(FlightEditingTest, GliderTypeOfAFlightWithoutRecordDoesNotStayBeingComputed)
{
    Flight* byHand = addFlight(utc(2024, 5, 4, 9, 0), 45, -1, QStringLiteral("Delta"));
    window->flightModel()->refresh();
    window->selectFlights({byHand});
    auto* types = field<QComboBox>("gliderType");
    types->setFocus();
    QTest::keyClick(types, Qt::Key_Down);
    EXPECT_EQ(byHand->glidertype(), 1);
    EXPECT_EQ(QSettings().value(QStringLiteral("LastFlightGliderType")).toInt(), 1);
    EXPECT_EQ(byHand->freeDistance(), -1);
    EXPECT_NE(byHand->flightType(), QStringLiteral("calc"));
}

} // namespace
} // namespace kalvora::test
