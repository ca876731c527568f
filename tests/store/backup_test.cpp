// Backups of a store file that another process keeps writing.
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "model/flight.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"
#include "store/storebackup.h"

using namespace kalvora;

namespace {

/** The highest "saved N" line in OUTPUT; -1 for none. */
int lastSaved(const QByteArray& output)
{
    static const QRegularExpression saved(QStringLiteral("saved (\\d+) "));
    int last = -1;
    auto it = saved.globalMatch(QString::fromLatin1(output));
    while (it.hasNext())
        last = std::max(last, it.next().captured(1).toInt());
    return last;
}

TEST(StoreBackup, ACopyTakenWhileAnotherProcessWritesHoldsEveryCommittedFlight)
{
    QTemporaryDir dir;
    const QString logbook = dir.filePath("busy.kalvora");
    QProcess writer;
    writer.start(QStringLiteral(KALVORA_CRASH_WRITER), {logbook, QStringLiteral("4000")});
    ASSERT_TRUE(writer.waitForStarted());
    QByteArray output;
    while (lastSaved(output) < 20 && writer.state() == QProcess::Running) {
        writer.waitForReadyRead(5000);
        output += writer.readAllStandardOutput();
    }

    int copies = 0;
    while (writer.state() == QProcess::Running && copies < 4) {
        writer.waitForReadyRead(1000);
        output += writer.readAllStandardOutput();
        // Every flight reported before the copy began was committed then.
        const int committed = lastSaved(output) + 1;
        const QString target = dir.filePath(QStringLiteral("copy-%1.kalvora").arg(copies));
        const Result<Done> done = backupDatabase(logbook, target);
        ASSERT_TRUE(done.ok()) << done.error();
        auto opened = PersistentStore::open(target, ObjectModel::logBook(), PersistentStore::OpenMode::MustExist);
        ASSERT_TRUE(opened.ok()) << opened.error();
        const QList<Flight*> flights = (*opened)->mainContext()->fetch<Flight>();
        EXPECT_GE(flights.size(), committed);
        for (Flight* flight : flights)
            EXPECT_EQ(flight->igcData().size(), 2000) << "whole records only";
        const Result<qint64> rows = countRows(target, QStringLiteral("Flight"));
        ASSERT_TRUE(rows.ok()) << rows.error();
        EXPECT_EQ(*rows, flights.size());
        ++copies;
    }
    EXPECT_EQ(copies, 4) << "the writer ended before the copies could be taken while it wrote";
    if (writer.state() != QProcess::NotRunning) {
        ASSERT_TRUE(writer.waitForFinished(120000));
    }
    EXPECT_EQ(writer.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(writer.exitCode(), 0);

    // Once it is done, a copy holds all of it; no half-written file is left behind.
    const QString last = dir.filePath("last.kalvora");
    ASSERT_TRUE(backupDatabase(logbook, last).ok());
    EXPECT_EQ(*countRows(last, QStringLiteral("Flight")), 4000);
    EXPECT_TRUE(QDir(dir.path()).entryList({QStringLiteral("*.part")}).isEmpty());
}

TEST(StoreBackup, AFileThatIsNoStoreGivesAReasonAndNoCopy)
{
    QTemporaryDir dir;
    QFile text(dir.filePath("notes.kalvora"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write(QByteArray(8192, 'x'));
    text.close();
    const Result<Done> done = backupDatabase(text.fileName(), dir.filePath("copy.kalvora"));
    EXPECT_FALSE(done.ok());
    EXPECT_FALSE(QFile::exists(dir.filePath("copy.kalvora")));
    EXPECT_FALSE(QFile::exists(dir.filePath("copy.kalvora.part")));
    EXPECT_FALSE(backupDatabase(dir.filePath("missing.kalvora"), dir.filePath("copy.kalvora")).ok());
    EXPECT_FALSE(countRows(text.fileName(), QStringLiteral("Flight")).ok());
}

} // namespace
