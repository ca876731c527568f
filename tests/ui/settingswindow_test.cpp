#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <unistd.h>

#include "logbookfixture.h"
#include "services/settingsservice.h"
#include "ui/flightlistmodel.h"
#include "ui/logbookwindowcontroller.h"
#include "ui/serialaccess.h"
#include "ui/settingswindowcontroller.h"

namespace kalvora::test {
namespace {

/** Answers at once; records the privileged command instead of running it. */
class ScriptedSettings final : public SettingsInteraction
{
public:
    void chooseTemplate(QWidget*, std::function<void(std::optional<QString>)> reply) override
    {
        asked << QStringLiteral("template");
        reply(templatePath);
    }
    void askInstallRule(QWidget*, const QString&, std::function<void(bool)> reply) override
    {
        asked << QStringLiteral("rule");
        reply(agree);
    }
    void runPrivileged(const QStringList& command, std::function<void(const QString&)> reply) override
    {
        ran = command;
        // What pkexec would read: the file named last, while the window still holds it.
        QFile file(command.last());
        if (file.open(QIODevice::ReadOnly))
            ruleBytes = file.readAll();
        if (!installInto.isEmpty())
            QFile::copy(command.last(), QDir(installInto).filePath(QString::fromLatin1(UdevRuleFileName)));
        reply(error);
    }
    void showAlert(QWidget*, const QString& message, const QString& informative) override
    {
        alerts << message + QLatin1Char('|') + informative;
    }

    std::optional<QString> templatePath;
    bool agree = true;
    QString installInto;
    QString error;
    QStringList asked, alerts, ran;
    QByteArray ruleBytes;
};

class SettingsWindowTest : public LogbookTest
{
protected:
    void SetUp() override
    {
        LogbookTest::SetUp();
        auto opened = PersistentStore::open(m_dir.filePath(QStringLiteral("Kalvora.storedata")), ObjectModel::global());
        ASSERT_TRUE(opened.ok());
        global = std::move(opened.value());
        settings = fetchOrCreateSettings(*global->mainContext());
        ASSERT_NE(settings, nullptr);
        checkSettings(*settings, QLocale(QLocale::German, QLocale::Germany));
        window = std::make_unique<SettingsWindowController>(settings, dialogs);
        window->setSerialPortSource([] { return QStringList(); }, {});
        window->reload();
    }
    void TearDown() override
    {
        window.reset();
        Settings::setCurrent(nullptr);
        LogbookTest::TearDown();
    }

    template <typename T> T* control(const char* name) { return window->findChild<T*>(QString::fromLatin1(name)); }

    std::unique_ptr<PersistentStore> global;
    Settings* settings = nullptr;
    std::shared_ptr<ScriptedSettings> dialogs = std::make_shared<ScriptedSettings>();
    std::unique_ptr<SettingsWindowController> window;
};

TEST_F(SettingsWindowTest, UnitChoiceRedrawsAnOpenLogbookWindowAndIsSaved)
{
    Flight* flight = addFlight(utc(2024, 5, 1, 10, 0), 60);
    flight->setMaxAltitude(1000);
    LogBookWindowController logbook(ctx());
    logbook.windowDidLoad({});
    const QAbstractItemModel* shown = logbook.flightTable()->model();
    const auto altitudeShown = [&] {
        return shown->data(shown->index(0, FlightListModel::MaxAltitudeColumn)).toString();
    };
    EXPECT_EQ(shown->headerData(FlightListModel::MaxAltitudeColumn, Qt::Horizontal).toString(),
              QStringLiteral("Max. alt. (m)"));
    EXPECT_EQ(altitudeShown(), QStringLiteral("1000"));

    auto* altitude = control<QComboBox>("altitudeUnit");
    ASSERT_NE(altitude, nullptr);
    altitude->setCurrentIndex(1);
    // No redraw was asked of the logbook window: the settings window announced it.
    EXPECT_EQ(shown->headerData(FlightListModel::MaxAltitudeColumn, Qt::Horizontal).toString(),
              QStringLiteral("Max. alt. (ft)"));
    EXPECT_EQ(altitudeShown(), QStringLiteral("3281"));

    control<QComboBox>("speedUnit")->setCurrentIndex(2);
    control<QComboBox>("varioUnit")->setCurrentIndex(1);
    control<QComboBox>("distanceUnit")->setCurrentIndex(1);
    EXPECT_FALSE(global->mainContext()->hasChanges());
    // Reopened, the store holds every choice with its unit text.
    const QString path = m_dir.filePath(QStringLiteral("Kalvora.storedata"));
    window.reset();
    Settings::setCurrent(nullptr);
    global.reset();
    auto reopened = PersistentStore::open(path, ObjectModel::global());
    ASSERT_TRUE(reopened.ok());
    Settings* stored = fetchOrCreateSettings(*(*reopened)->mainContext());
    EXPECT_EQ(stored->altitudeUnitIndex(), 1);
    EXPECT_EQ(stored->altitudeUnitString(), QStringLiteral("ft"));
    EXPECT_EQ(stored->speedUnitString(), QStringLiteral("kn"));
    EXPECT_EQ(stored->varioUnitString(), QStringLiteral("fpm"));
    EXPECT_EQ(stored->distanceUnitString(), QStringLiteral("mil"));
    // A window opened on the record shows the stored choices, not the first entries.
    SettingsWindowController again(stored, dialogs);
    again.reload();
    EXPECT_EQ(again.findChild<QComboBox*>(QStringLiteral("speedUnit"))->currentIndex(), 2);
}

TEST_F(SettingsWindowTest, XCPointsChoiceScoresFlightsWithTheOtherFactors)
{
    Flight* flight = addFlight(utc(2024, 5, 1, 10, 0), 60, 10);
    flight->setFaiDistance(10);
    EXPECT_DOUBLE_EQ(flight->xcPoints(), 14.0);
    control<QComboBox>("xcPointsType")->setCurrentIndex(1);
    EXPECT_NE(settings->xcPointsType(), 0);
    EXPECT_DOUBLE_EQ(flight->xcPoints(), 20.0);
    EXPECT_FALSE(global->mainContext()->hasChanges());
}

TEST_F(SettingsWindowTest, PrintTemplateIsChosenKeptAndGivenUp)
{
    auto* row = control<QComboBox>("printTemplate");
    auto* button = control<QPushButton>("templateButton");
    EXPECT_EQ(button->text(), QStringLiteral("..."));

    // Own template without a file: the chooser opens at once; cancelling keeps the built-in one.
    dialogs->templatePath = std::nullopt;
    row->setCurrentIndex(1);
    EXPECT_EQ(dialogs->asked, QStringList{QStringLiteral("template")});
    EXPECT_FALSE(settings->printTemplateUserDefined());
    EXPECT_EQ(row->currentIndex(), 0);

    const QString file = m_dir.filePath(QStringLiteral("My Pages.html"));
    QFile(file).open(QIODevice::WriteOnly);
    dialogs->templatePath = file;
    row->setCurrentIndex(1);
    EXPECT_TRUE(settings->printTemplateUserDefined());
    EXPECT_EQ(QString::fromUtf8(settings->printTemplateBookmark()), file);
    EXPECT_EQ(button->text(), QStringLiteral("My Pages.html"));

    // Back to the built-in one and again to the own one: the file is remembered, nothing asked.
    row->setCurrentIndex(0);
    EXPECT_EQ(button->text(), QStringLiteral("..."));
    dialogs->asked.clear();
    row->setCurrentIndex(1);
    EXPECT_TRUE(dialogs->asked.isEmpty());
    EXPECT_EQ(button->text(), QStringLiteral("My Pages.html"));

    // A template deleted since is named as missing rather than silently replaced.
    QFile::remove(file);
    window->reload();
    EXPECT_EQ(button->text(), QStringLiteral("My Pages.html (missing)"));
    // Confirming the chooser without a file goes back to the built-in template.
    dialogs->templatePath = QString();
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_FALSE(settings->printTemplateUserDefined());
    EXPECT_EQ(row->currentIndex(), 0);
}

TEST_F(SettingsWindowTest, SerialAccessSaysWhatToDoAndInstallsTheRuleWhenAgreed)
{
    QTemporaryDir rules;
    const QString open = m_dir.filePath(QStringLiteral("ttyUSB0"));
    const QString closed = m_dir.filePath(QStringLiteral("ttyUSB1"));
    QFile(open).open(QIODevice::WriteOnly);
    QFile(closed).open(QIODevice::WriteOnly);
    QStringList ports;
    // Root may open anything, so the closed port is told apart by name there.
    const bool root = ::geteuid() == 0;
    if (!root)
        QFile::setPermissions(closed, QFileDevice::Permissions());
    const SerialAccessProbe probe = [root, closed](const QString& path) {
        if (root && path == closed)
            return QStringLiteral("You may not open the serial device %1. It belongs to the group \"dialout\"").arg(path);
        return permissionProbe()(path);
    };
    window->setSerialPortSource([&ports] { return ports; }, {rules.path()}, probe);
    window->show();
    auto* summary = control<QLabel>("accessSummary");
    auto* install = control<QPushButton>("installUdevRule");
    EXPECT_TRUE(summary->text().startsWith(QStringLiteral("No USB-serial adapter")));
    EXPECT_FALSE(install->isVisible());

    ports = {open, m_dir.filePath(QStringLiteral("ttyUSB9")), closed}; // the second is unplugged
    QTest::mouseClick(control<QPushButton>("checkSerialAccess"), Qt::LeftButton);
    ASSERT_EQ(window->serialAccess().ports.size(), 2);
    auto* list = control<QListWidget>("accessPorts");
    ASSERT_EQ(list->count(), 2);
    EXPECT_TRUE(list->item(1)->text().contains(QStringLiteral("\"dialout\"")));
    EXPECT_TRUE(summary->text().contains(QStringLiteral("udev rule")));
    ASSERT_TRUE(install->isVisible());

    // Declined: nothing runs.
    dialogs->agree = false;
    QTest::mouseClick(install, Qt::LeftButton);
    EXPECT_TRUE(dialogs->ran.isEmpty());

    // Agreed: pkexec gets the shipped rule and, once it is in place, the panel says to re-plug.
    dialogs->agree = true;
    dialogs->installInto = rules.path();
    QTest::mouseClick(install, Qt::LeftButton);
    ASSERT_FALSE(dialogs->ran.isEmpty());
    EXPECT_EQ(dialogs->ran.first(), QStringLiteral("pkexec"));
    EXPECT_TRUE(dialogs->ran.join(QLatin1Char(' ')).contains(QString::fromLatin1(UdevRuleTarget)));
    QFile shipped(QStringLiteral(KALVORA_SOURCE_DIR "/data/udev/60-kalvora-instruments.rules"));
    ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
    EXPECT_EQ(dialogs->ruleBytes, shipped.readAll());
    EXPECT_TRUE(window->serialAccess().ruleInstalled);
    EXPECT_FALSE(install->isVisible());
    EXPECT_TRUE(summary->text().contains(QStringLiteral("plug it in again")));

    // A refused authentication is told, not swallowed.
    QFile::remove(QDir(rules.path()).filePath(QString::fromLatin1(UdevRuleFileName)));
    dialogs->installInto.clear();
    dialogs->error = QStringLiteral("The authentication was cancelled.");
    QTest::mouseClick(control<QPushButton>("checkSerialAccess"), Qt::LeftButton);
    QTest::mouseClick(install, Qt::LeftButton);
    ASSERT_EQ(dialogs->alerts.size(), 1);
    EXPECT_TRUE(dialogs->alerts.first().contains(QStringLiteral("cancelled")));
}

} // namespace
} // namespace kalvora::test
