#include <QApplication>
#include <QCalendarWidget>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "logbookfixture.h"
#include "model/pilot.h"
#include "scriptedinteraction.h"
#include "ui/datefield.h"
#include "ui/pilotwindowcontroller.h"

namespace kalvora::test {
namespace {

class PilotWindowTest : public LogbookTest
{
protected:
    void SetUp() override
    {
        LogbookTest::SetUp();
        pilot = ctx()->insert<Pilot>();
        window = std::make_unique<PilotWindowController>(pilot, ctx());
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void TearDown() override
    {
        window.reset();
        LogbookTest::TearDown();
    }

    QLineEdit* text(const char* name) { return window->findChild<QLineEdit*>(QLatin1String(name)); }

    /** Types into a field and leaves it with Tab, as a user would. */
    void typeAndTab(QLineEdit* edit, const QString& typed)
    {
        edit->setFocus();
        edit->selectAll();
        if (typed.isEmpty())
            QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, typed);
        QTest::keyClick(edit, Qt::Key_Tab);
    }

    Pilot* pilot = nullptr;
    std::unique_ptr<PilotWindowController> window;
};

TEST_F(PilotWindowTest, TypedDatesAreTakenOrKeptForCorrectingAndTabLeavesTheField)
{
    QLineEdit* born = text("birthText");
    ASSERT_NE(born, nullptr);
    typeAndTab(born, QStringLiteral("12May1985"));
    EXPECT_EQ(pilot->birth(), QDateTime(QDate(1985, 5, 12), QTime(0, 0), QTimeZone::utc()));
    EXPECT_EQ(born->text(), QStringLiteral("12 May 1985"));
    EXPECT_EQ(QApplication::focusWidget(), text("address")) << "Tab goes on to the next row";

    typeAndTab(born, QStringLiteral("31.02.1985"));
    EXPECT_EQ(pilot->birth().date(), QDate(1985, 5, 12)) << "no date: the stored one stays";
    EXPECT_EQ(born->text(), QStringLiteral("31.02.1985")) << "kept for correcting";
    EXPECT_TRUE(window->findChild<DateField*>(QStringLiteral("birth"))->hasInvalidText());

    typeAndTab(born, QString());
    EXPECT_FALSE(pilot->birth().isValid()) << "an emptied field clears the date";

    typeAndTab(text("licensedateText"), QStringLiteral("2001-07-03"));
    EXPECT_EQ(pilot->licensedate().date(), QDate(2001, 7, 3));
}

TEST_F(PilotWindowTest, PhotoIsChosenReducedAndEditsUndoInTheLogbook)
{
    auto interaction = std::make_shared<ScriptedInteraction>();
    window->setInteraction(interaction);
    QImage picture(300, 600, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    interaction->chosenFile = m_dir.filePath(QStringLiteral("me.png"));
    ASSERT_TRUE(picture.save(interaction->chosenFile));
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("photoButton")), Qt::LeftButton);
    EXPECT_EQ(interaction->asked, QStringList{QStringLiteral("Choose pilot photo")});
    QImage stored;
    ASSERT_TRUE(stored.loadFromData(pilot->photo(), "JPEG"));
    EXPECT_EQ(stored.size(), QSize(111, 222));

    ctx()->clearUndoHistory();
    QLineEdit* first = text("firstname");
    first->setFocus();
    QTest::keyClicks(first, QStringLiteral("Anna"));
    EXPECT_EQ(pilot->firstname(), QStringLiteral("Anna"));
    // Ctrl+Z outside a text field goes to the logbook's history.
    window->findChild<QPushButton*>(QStringLiteral("photoButton"))->setFocus();
    for (int i = 0; i < 10 && ctx()->canUndo(); ++i)
        QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(pilot->firstname().isEmpty());
    EXPECT_TRUE(first->text().isEmpty()) << "the field follows the record";
}

TEST_F(PilotWindowTest, TabFollowsTheRowsIncludingBorn)
{
    QLineEdit* last = text("lastname");
    last->setFocus();
    QTest::keyClick(last, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), text("birthText"));
}

TEST_F(PilotWindowTest, AnEmptyDateOpensTheCalendarNearTodayNotAt1900)
{
    auto* born = window->findChild<DateField*>(QStringLiteral("birth"));
    born->showCalendar();
    auto* calendar = born->findChild<QCalendarWidget*>(QStringLiteral("calendar"));
    ASSERT_NE(calendar, nullptr);
    EXPECT_GT(calendar->yearShown(), QDate::currentDate().year() - 60);
    QTest::keyClick(calendar->findChild<QWidget*>(QStringLiteral("qt_calendar_calendarview")), Qt::Key_Return);
    EXPECT_TRUE(pilot->birth().isValid()) << "a date picked in the calendar is stored";
}

} // namespace
} // namespace kalvora::test
