#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTextBrowser>

#include <gtest/gtest.h>

#include "contestflight.h"
#include "contests/credentialstore.h"
#include "contestserver.h"
#include "model/contestsubmission.h"
#include "model/pilot.h"
#include "ui/contests/contestsheet.h"
#include "ui/export/exportflightsheet.h"
#include "ui/export/logbookoutput.h"
#include "ui/logbookfixture.h"
#include "ui/logbookwindowcontroller.h"
#include "ui/longtimesheet.h"

namespace kalvora::test {
namespace {

class ScriptedContestInteraction final : public ContestInteraction
{
public:
    bool resubmit = false;
    QStringList asked;
    QStringList notices;
    void askResubmit(QWidget*, const QString& question, std::function<void(bool)> reply) override
    {
        asked << question;
        reply(resubmit);
    }
    void showNotice(QWidget*, const QString& message) override { notices << message; }
};

template <typename Predicate>
bool waitFor(Predicate done, int timeoutMs = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QTest::qWait(10);
    }
    return true;
}

class ContestSheetTest : public LogbookTest
{
protected:
    void SetUp() override
    {
        LogbookTest::SetUp();
        ASSERT_TRUE(server.isRunning()) << server.problem().toStdString();
        m_flight = addFlight(utc(2023, 7, 14, 11, 1), 90, 10, QStringLiteral("Brauneck, Germany"));
        m_flight->setIgcData(QString::fromLatin1(sampleIGC()));
        m_flight->setGlider(QStringLiteral("Rush 5 (M), blue"));
        m_flight->setNotice(QStringLiteral("Strong & gusty + fun"));
        auto* pilot = ctx()->insert<Pilot>();
        pilot->setFirstname(QStringLiteral("Jérôme"));
        pilot->setLastname(QStringLiteral("Müller"));
        pilot->setBirth(utc(1980, 2, 29, 0, 0));
        m_other = addFlight(utc(2023, 7, 15, 10, 0), 30);
        ASSERT_TRUE(ctx()->save().ok());
        (void)saveContestLogin(keyring, QStringLiteral("DHV_XC"), {kContestUser, kContestPassword});
        (void)saveContestLogin(keyring, QStringLiteral("XC"), {kContestUser, kContestPassword});
        window = std::make_unique<LogBookWindowController>(ctx());
        window->windowDidLoad({});
        window->output()->setContestServices({nullptr, &keyring, script});
        window->show();
        window->selectFlights({m_flight});
    }

    /** Opens the export sheet and presses the contest's button, as the user does. */
    ContestSheet* openSheet(bool dhvxc)
    {
        window->output()->exportFlight();
        ExportFlightSheet* exportSheet = window->output()->exportSheet();
        QPushButton* button = dhvxc ? exportSheet->dhvxcButton() : exportSheet->xcontestButton();
        EXPECT_TRUE(button->isEnabled());
        QTest::mouseClick(button, Qt::LeftButton);
        ContestSheet* sheet = window->output()->contestSheet();
        EXPECT_NE(sheet, nullptr);
        if (sheet) {
            EXPECT_TRUE(sheet->isVisible());
        }
        return sheet;
    }

    static void choose(QComboBox* list, int index)
    {
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Home);
        for (int i = 0; i < index; ++i)
            QTest::keyClick(list, Qt::Key_Down);
        ASSERT_EQ(list->currentIndex(), index);
    }

    static void retype(QLineEdit* field, const QString& text)
    {
        field->setFocus();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
    }

    QString submissionsShown() const
    {
        auto* label = window->findChild<QLabel*>(QStringLiteral("contestSubmissions"));
        return label ? label->text() : QString();
    }

    ContestServer server;
    MemoryCredentialStore keyring;
    std::shared_ptr<ScriptedContestInteraction> script = std::make_shared<ScriptedContestInteraction>();
    std::unique_ptr<LogBookWindowController> window;
    Flight* m_flight = nullptr;
    Flight* m_other = nullptr;
};

TEST_F(ContestSheetTest, DHVXCIsFilledInSentAndRemembered)
{
    window->selectFlights({m_flight, m_other});
    window->output()->exportFlight();
    EXPECT_FALSE(window->output()->exportSheet()->dhvxcButton()->isEnabled()) << "two flights selected";
    QTest::mouseClick(window->output()->exportSheet()->findChild<QPushButton*>(QStringLiteral("cancelExport")),
                      Qt::LeftButton);
    window->selectFlights({m_flight});

    ContestSheet* sheet = openSheet(true);
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->objectName(), QStringLiteral("DHVXC"));
    auto field = [sheet](const char* name) { return sheet->findChild<QLineEdit*>(QLatin1String(name)); };
    EXPECT_EQ(field("firstName")->text(), QStringLiteral("Jérôme"));
    EXPECT_EQ(field("lastName")->text(), QStringLiteral("Müller"));
    EXPECT_EQ(field("birthText")->text().isEmpty(), false);
    EXPECT_EQ(field("gliderModel")->text(), QStringLiteral("Rush 5"));
    EXPECT_EQ(sheet->userField()->text(), kContestUser);
    EXPECT_EQ(sheet->passwordField()->text(), kContestPassword);

    auto* classes = sheet->findChild<QComboBox*>(QStringLiteral("gliderClass"));
    auto* categories = sheet->findChild<QComboBox*>(QStringLiteral("gliderCategory"));
    auto* makers = sheet->findChild<QComboBox*>(QStringLiteral("manufacturer"));
    choose(classes, 5);
    ASSERT_EQ(categories->count(), 2);
    choose(categories, 1);
    makers->setFocus();
    QTest::keyClicks(makers, QStringLiteral("Ozo"));
    ASSERT_EQ(makers->currentText(), QStringLiteral("Ozone"));
    retype(field("lastName"), QStringLiteral("Mueller & Soehne+"));
    QTest::mouseClick(sheet->okButton(), Qt::LeftButton);

    ContestAnswerSheet* answer = sheet->answerSheet();
    ASSERT_TRUE(waitFor([&] { return answer->isVisible(); }));
    EXPECT_EQ(sheet->progressSheet()->title(), QStringLiteral("Exporting flight(s)..."));
    EXPECT_TRUE(answer->view()->toPlainText().contains(QLatin1String("Flight received.")));
    const QJsonObject fields = server.requests(QStringLiteral("dhvxc")).value(0).value(QLatin1String("fields")).toObject();
    EXPECT_EQ(fields.value(QLatin1String("na")).toString(), QStringLiteral("Mueller & Soehne+"));
    EXPECT_EQ(fields.value(QLatin1String("OLCvnolc")).toString(), QStringLiteral("Jérôme"));
    EXPECT_EQ(fields.value(QLatin1String("geb")).toString(), QStringLiteral("29.02.1980"));
    EXPECT_EQ(fields.value(QLatin1String("klasse")).toString(), QStringLiteral("6"));
    EXPECT_EQ(fields.value(QLatin1String("gliderCertCategory")).toString(), QStringLiteral("32"));
    EXPECT_EQ(fields.value(QLatin1String("gliderBrandID")).toString(), QStringLiteral("19"));
    EXPECT_EQ(fields.value(QLatin1String("comments")).toString(), QStringLiteral("Strong & gusty + fun"));
    EXPECT_EQ(fields.value(QLatin1String("pass")).toString(), kContestPassword);
    EXPECT_EQ(base64Field(server.requests(QStringLiteral("dhvxc")).value(0), "igc"), sampleIGC());

    // The answer sheet's close ends both sheets; the flight's editor shows the submission.
    QTest::mouseClick(answer->closeButton(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return window->output()->contestSheet() == nullptr; }));
    EXPECT_TRUE(submissionsShown().startsWith(QLatin1String("DHV-XC on "))) << submissionsShown().toStdString();
    const QSettings settings;
    EXPECT_EQ(settings.value(QStringLiteral("DHVGliderClass")).toInt(), 5);
    EXPECT_EQ(settings.value(QStringLiteral("DHVGliderCategory")).toInt(), 1);
    EXPECT_EQ(settings.value(QStringLiteral("OLCLastname")).toString(), QStringLiteral("Mueller & Soehne+"));
    EXPECT_EQ(settings.value(QStringLiteral("DHVDoNotSubmitComment")).toInt(), 0);
    for (const QString& key : settings.allKeys())
        EXPECT_NE(settings.value(key).toString(), kContestPassword) << "password in preference " << key.toStdString();

    // Next time the answers come back, and a second submission asks first.
    sheet = openSheet(true);
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->findChild<QComboBox*>(QStringLiteral("gliderClass"))->currentIndex(), 5);
    EXPECT_EQ(sheet->findChild<QComboBox*>(QStringLiteral("manufacturer"))->currentText(), QStringLiteral("Ozone"));
    script->resubmit = false;
    QTest::mouseClick(sheet->okButton(), Qt::LeftButton);
    ASSERT_EQ(script->asked.size(), 1);
    EXPECT_TRUE(script->asked.first().contains(QLatin1String("DHV-XC"))) << script->asked.first().toStdString();
    QTest::qWait(50);
    EXPECT_EQ(server.requests(QStringLiteral("dhvxc")).size(), 1);
    EXPECT_TRUE(sheet->isVisible());
    QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return window->output()->contestSheet() == nullptr; }));
    EXPECT_EQ(server.requests().size(), 1);
}

TEST_F(ContestSheetTest, AFailedSubmissionKeepsTheFormForARetry)
{
    server.setAnswer(QStringLiteral("dhvxc"), {{"status", 500}, {"body", "<p>Database down</p>"}});
    ContestSheet* sheet = openSheet(true);
    ASSERT_NE(sheet, nullptr);
    retype(sheet->userField(), QStringLiteral("other@example.org"));
    QTest::mouseClick(sheet->okButton(), Qt::LeftButton);
    ContestAnswerSheet* answer = sheet->answerSheet();
    ASSERT_TRUE(waitFor([&] { return answer->isVisible(); }));
    EXPECT_TRUE(answer->view()->toPlainText().contains(QLatin1String("500"))) << answer->view()->toPlainText().toStdString();
    QTest::mouseClick(answer->closeButton(), Qt::LeftButton);
    QTest::qWait(20);
    ASSERT_EQ(window->output()->contestSheet(), sheet);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_TRUE(sheet->okButton()->isEnabled());
    EXPECT_EQ(sheet->userField()->text(), QStringLiteral("other@example.org"));
    EXPECT_EQ(submissionsShown(), QStringLiteral("Not submitted"));

    server.setAnswer(QStringLiteral("dhvxc"), {});
    QTest::mouseClick(sheet->okButton(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return answer->isVisible(); }));
    EXPECT_EQ(server.requests(QStringLiteral("dhvxc")).size(), 2);
    EXPECT_EQ(*keyring.read(QStringLiteral("DHV_XC"), QStringLiteral("Login")),
              contestLoginSecret({QStringLiteral("other@example.org"), kContestPassword}));
}

TEST_F(ContestSheetTest, XContestUploadsAndClosesOnSuccess)
{
    ContestSheet* sheet = openSheet(false);
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->objectName(), QStringLiteral("XC"));
    auto* glider = sheet->findChild<QLineEdit*>(QStringLiteral("gliderName"));
    EXPECT_EQ(glider->text(), QStringLiteral("Rush 5"));
    EXPECT_EQ(sheet->findChild<QLineEdit*>(QStringLiteral("takeoff"))->text(), QStringLiteral("Brauneck, Germany"));
    choose(sheet->findChild<QComboBox*>(QStringLiteral("gliderCategory")), 4);
    auto* activate = sheet->findChild<QCheckBox*>(QStringLiteral("activate"));
    activate->setFocus();
    QTest::keyClick(activate, Qt::Key_Space);
    ASSERT_FALSE(activate->isChecked());
    QTest::mouseClick(sheet->okButton(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return window->output()->contestSheet() == nullptr; }));

    const QJsonObject upload = server.requests(QStringLiteral("upload")).value(0);
    EXPECT_FALSE(upload.contains(QLatin1String("problems")));
    const QJsonObject fields = upload.value(QLatin1String("fields")).toObject();
    EXPECT_EQ(fields.value(QLatin1String("flight[glider_catg]")).toString(), QStringLiteral("Z"));
    EXPECT_EQ(fields.value(QLatin1String("flight[is_active]")).toString(), QStringLiteral("N"));
    EXPECT_EQ(fields.value(QLatin1String("flight[comment]")).toString(), QStringLiteral("Strong & gusty + fun"));
    EXPECT_EQ(base64Field(upload, "igc"), sampleIGC());
    EXPECT_TRUE(submissionsShown().contains(QLatin1String("XContest on ")));
    EXPECT_TRUE(submissionsShown().contains(QLatin1String("detail:4711")));
    EXPECT_EQ(QSettings().value(QStringLiteral("XCActivateDirectly")).toInt(), 1);
    EXPECT_EQ(QSettings().value(QStringLiteral("XCGliderCategory")).toInt(), 4);
}

TEST_F(ContestSheetTest, XContestErrorsAreShownAndWithoutKeyringThePasswordIsNotSaved)
{
    keyring.setUnavailable(true);
    server.setAnswer(QStringLiteral("upload"),
                     {{"body", R"({"errors":true,"messages":[{"label":"Flight already claimed"}]})"}});
    server.setAccount(kContestUser, QStringLiteral("Plain+Pass&1"));
    ContestSheet* sheet = openSheet(false);
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->userField()->text().isEmpty());
    retype(sheet->userField(), kContestUser);
    retype(sheet->passwordField(), QStringLiteral("Plain+Pass&1"));
    QTest::mouseClick(sheet->okButton(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return sheet->answerSheet()->isVisible(); }));
    EXPECT_EQ(sheet->answerSheet()->view()->toPlainText(), QStringLiteral("Flight already claimed"));
    ASSERT_EQ(script->notices.size(), 1);
    EXPECT_TRUE(script->notices.first().startsWith(QLatin1String("Password not saved")));
    QTest::mouseClick(sheet->answerSheet()->closeButton(), Qt::LeftButton);
    QTest::qWait(20);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_TRUE(contestSubmissionsOf(*m_flight).isEmpty());
}

} // namespace
} // namespace kalvora::test
