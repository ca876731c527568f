// A folder of recordings imported through the logbook window and the File
// menu, cancelled and taken up again; backups restored from the File menu.
#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include "app/kalvoraappdelegate.h"
#include "app/logbook.h"
#include "logbook/xcqueue.h"
#include "logbookfixture.h"
#include "scriptedinteraction.h"
#include "support/igcarchive.h"
#include "ui/flightlistmodel.h"
#include "ui/importfoldersheet.h"
#include "ui/logbookimport.h"
#include "ui/logbookwindowcontroller.h"
#include "ui/longtimesheet.h"
#include "ui/restorebackupsheet.h"

namespace kalvora::test {
namespace {

constexpr int kWaitMs = 60000;

class ArchiveWindowTest : public LogbookTest
{
protected:
    void SetUp() override
    {
        LogbookTest::SetUp();
        m_window = std::make_unique<LogBookWindowController>(ctx());
        m_interaction = std::make_shared<ScriptedInteraction>();
        m_window->setInteraction(m_interaction);
        m_window->windowDidLoad({});
        m_window->show();
    }

    void TearDown() override
    {
        m_window.reset();
        LogbookTest::TearDown();
    }

    /** Chooses FOLDER in the folder chooser as a user would: types its path and presses Enter. */
    void chooseFolder(const QString& folder)
    {
        LogBookImport* import = m_window->logBookImport();
        import->getIGCFolder();
        auto* dialog = m_window->findChild<QFileDialog*>(QStringLiteral("chooseFolder"));
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(QTest::qWaitFor([&] { return dialog->isVisible(); }));
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(folder);
        QTest::keyClick(name, Qt::Key_Return);
    }

    /** Runs a folder import through the window; cancels on the progress sheet after CANCELAFTER flights. */
    ImportSummary importFolder(const QString& folder, int cancelAfter = -1)
    {
        LogBookImport* import = m_window->logBookImport();
        QSignalSpy finished(import, &LogBookImport::importFinished);
        chooseFolder(folder);
        ImportFolderSheet* sheet = import->folderSheet();
        EXPECT_TRUE(QTest::qWaitFor([&] { return sheet->isVisible(); }, kWaitMs)) << "no count before the import";
        m_counted = sheet->message();
        auto* importButton = sheet->findChild<QPushButton*>(QStringLiteral("importButton"));
        EXPECT_TRUE(importButton && importButton->isVisible());
        if (!importButton)
            return {};
        QTest::mouseClick(importButton, Qt::LeftButton);

        LongTimeSheet* progress = import->longTimeSheet();
        int inserted = 0;
        // Pressed as the flight comes in: the worker is quick, and a poll could come too late.
        const auto connection =
            QObject::connect(&import->importer(), &FlightImporter::flightInserted, sheet, [&] {
                if (++inserted != cancelAfter)
                    return;
                m_detail = progress->detail();
                EXPECT_TRUE(progress->isVisible());
                QTest::mouseClick(progress->findChild<QPushButton*>(QStringLiteral("cancelButton")), Qt::LeftButton);
            });
        const bool ended = QTest::qWaitFor([&] { return !finished.isEmpty(); }, kWaitMs);
        QObject::disconnect(connection);
        EXPECT_TRUE(ended) << "the import did not end";
        // The scores of the new flights are computed before the next run.
        EXPECT_TRUE(QTest::qWaitFor([&] { return import->calcXCDataQueue().isIdle(); }, kWaitMs));
        return finished.isEmpty() ? ImportSummary{} : finished.first().first().value<ImportSummary>();
    }

    std::unique_ptr<LogBookWindowController> m_window;
    std::shared_ptr<ScriptedInteraction> m_interaction;
    QString m_counted;
    QString m_detail;
};

TEST_F(ArchiveWindowTest, AFolderIsCountedImportedCancelledAndTakenUpAgain)
{
    const QString root = m_dir.filePath(QStringLiteral("archive"));
    const Archive archive = makeArchive(root, 150, 3, 10);
    ASSERT_EQ(archive.files(), 165);

    const ImportSummary first = importFolder(root, 20);
    EXPECT_EQ(m_counted, QStringLiteral("165 IGC files were found in \u201C%1\u201D.").arg(QDir::toNativeSeparators(root)));
    // The fifteen copies are left out before the flights are made.
    EXPECT_TRUE(m_detail.startsWith(QStringLiteral("19 of 150 files, "))) << m_detail.toStdString();
    EXPECT_TRUE(first.stopped);
    const auto done = first.imported.size();
    EXPECT_GE(done, 20);
    EXPECT_LT(done, 150);
    EXPECT_EQ(m_window->flightModel()->rowCount(), done);

    m_interaction->alerts.clear();
    const ImportSummary second = importFolder(root);
    EXPECT_FALSE(second.stopped);
    EXPECT_EQ(second.imported.size(), 150 - done);
    EXPECT_EQ(second.duplicates.size(), done + 15);
    EXPECT_TRUE(second.skipped.isEmpty());
    EXPECT_EQ(m_window->flightModel()->rowCount(), 150);
    // The summary names how many identical recordings were left out.
    ASSERT_EQ(m_interaction->alerts.size(), 1);
    EXPECT_EQ(m_interaction->alerts.first(),
              QStringLiteral("%1 flights imported|%2 recordings were already in the logbook and were skipped.")
                  .arg(150 - done)
                  .arg(done + 15));
}

TEST_F(ArchiveWindowTest, AFolderWithoutRecordingsSaysSo)
{
    const QString empty = m_dir.filePath(QStringLiteral("empty"));
    QDir().mkpath(empty + QStringLiteral("/deeper"));
    chooseFolder(empty);
    ImportFolderSheet* sheet = m_window->logBookImport()->folderSheet();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sheet->isVisible(); }, kWaitMs));
    EXPECT_TRUE(sheet->message().startsWith(QStringLiteral("No IGC files were found")));
    EXPECT_FALSE(sheet->findChild<QPushButton*>(QStringLiteral("importButton"))->isVisible());
    QTest::mouseClick(sheet->findChild<QPushButton*>(QStringLiteral("cancelButton")), Qt::LeftButton);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_FALSE(m_window->logBookImport()->importer().isRunning());
}

class SilentApp final : public AppInteraction
{
public:
    bool presentError(const PresentableError& error) override
    {
        errors << error.description;
        return false;
    }
    bool askQuitAnyway() override { return true; }
    QStringList errors;
};

TEST(RestoreFromBackup, ListsTheCopiesAndOpensTheChosenOneAsANewLogbook)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath(QStringLiteral("config")));
    QSettings().clear();
    const QByteArray oldHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toLocal8Bit());
    const QString path = dir.filePath(QStringLiteral("Alps.kalvora"));
    {
        auto store = PersistentStore::open(path, ObjectModel::logBook());
        ASSERT_TRUE(store.ok());
        for (int i = 0; i < 3; ++i) {
            auto* flight = (*store)->mainContext()->insert<Flight>();
            flight->setStartUTC(QDateTime(QDate(2026, 6, 1 + i), QTime(10, 0), QTimeZone::utc()));
            flight->setFreeDistance(1);
        }
        ASSERT_TRUE((*store)->mainContext()->save().ok());
    }
    {
        auto interaction = std::make_unique<SilentApp>();
        SilentApp* errors = interaction.get();
        KalvoraAppDelegate delegate(std::move(interaction));
        LogBook* document = delegate.openDocumentWithContentsOfFile(path);
        ASSERT_NE(document, nullptr);
        // Opened with changes never copied: a copy is taken in the background.
        ASSERT_TRUE(QTest::qWaitFor([&] { return delegate.backups().copies(path).size() == 1; }, kWaitMs));
        EXPECT_TRUE(delegate.backups().folderFor(path).startsWith(dir.filePath(QStringLiteral("data/Kalvora/Backups"))));

        QAction* restore = document->controller()->menuBar()->findChild<QAction*>(QStringLiteral("restoreBackup"));
        ASSERT_NE(restore, nullptr);
        EXPECT_EQ(restore->text(), QStringLiteral("Restore from backup..."));
        restore->trigger();
        auto* sheet = document->controller()->findChild<RestoreBackupSheet*>();
        ASSERT_NE(sheet, nullptr);
        ASSERT_TRUE(sheet->isVisible());
        QTreeWidget* list = sheet->list();
        ASSERT_EQ(list->topLevelItemCount(), 1);
        EXPECT_EQ(list->topLevelItem(0)->text(0), QLocale().toString(QDate::currentDate(), QLocale::LongFormat));
        EXPECT_EQ(list->topLevelItem(0)->text(1), QStringLiteral("3"));

        // The pilot deletes a flight, then opens the copy: a second logbook with all three.
        Flight* gone = document->managedObjectContext()->fetch<Flight>().first();
        document->managedObjectContext()->deleteObject(gone);
        ASSERT_TRUE(document->save().ok());
        QTest::mouseClick(sheet->findChild<QPushButton*>(QStringLiteral("restoreButton")), Qt::LeftButton);
        EXPECT_TRUE(errors->errors.isEmpty()) << errors->errors.join('\n').toStdString();
        ASSERT_EQ(delegate.getOpenDocuments().size(), 2);
        LogBook* restored = delegate.getOpenDocuments().last();
        EXPECT_EQ(QFileInfo(restored->filePath()).fileName(),
                  QStringLiteral("Alps (backup %1).kalvora").arg(QDate::currentDate().toString(Qt::ISODate)));
        EXPECT_EQ(restored->flightCount(), 3);
        EXPECT_EQ(document->flightCount(), 2) << "the open logbook stays as it is";
        EXPECT_EQ(document->filePath(), QFileInfo(path).absoluteFilePath());
        for (LogBook* open : delegate.getOpenDocuments())
            open->close();
    }
    qputenv("XDG_DATA_HOME", oldHome);
}

} // namespace
} // namespace kalvora::test
