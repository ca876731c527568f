#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include "export/igcexport.h"

namespace kalvora {
namespace {

/** A small record with a security line; LOGGER gives the characters 1-4 of its G record. */
QByteArray record(const QByteArray& logger = "4F2A")
{
    return "AXXXABC\r\nHFDTE231114\r\nB1101355206343N00006198WA0058700558\r\nG" + logger + "0123456789\r\n";
}

const QDateTime kStart(QDate(2014, 11, 23), QTime(11, 1, 35), QTimeZone::utc());

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

class IGCExport : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QStringList files() const { return QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

    QTemporaryDir m_dir;
};

TEST_F(IGCExport, WritesTheBytesUnderTheShortNameAndNeverReplacesAFile)
{
    // Latin-1 header bytes must leave as they came in.
    const QByteArray first = record().insert(9, "HFPLTPILOT:J\xfcrg M\xfcller\r\n");
    const Result<QString> written = writeIGCFile(m_dir.path(), first, kStart);
    ASSERT_TRUE(written) << written.error();
    EXPECT_EQ(*written, path("4BN4F2A1.igc"));
    EXPECT_EQ(contents(*written), first);

    // Same day and logger: the next free number; the first file keeps its bytes.
    const QByteArray second = record() + "LXXX second\r\n";
    const Result<QString> again = writeIGCFile(m_dir.path(), second, kStart);
    ASSERT_TRUE(again) << again.error();
    EXPECT_EQ(*again, path("4BN4F2A2.igc"));
    EXPECT_EQ(contents(path("4BN4F2A1.igc")), first);
    EXPECT_EQ(contents(*again), second);

    // A file the user put there under the third name is skipped, not replaced.
    QFile foreign(path("4BN4F2A3.igc"));
    ASSERT_TRUE(foreign.open(QIODevice::WriteOnly));
    foreign.write("mine");
    foreign.close();
    const Result<QString> third = writeIGCFile(m_dir.path(), second, kStart);
    ASSERT_TRUE(third);
    EXPECT_EQ(*third, path("4BN4F2A4.igc"));
    EXPECT_EQ(contents(path("4BN4F2A3.igc")), "mine");

    // No temporary file is left behind.
    EXPECT_EQ(files(), (QStringList{"4BN4F2A1.igc", "4BN4F2A2.igc", "4BN4F2A3.igc", "4BN4F2A4.igc"}));
}

TEST_F(IGCExport, TakesTheDateFromTheRecordWhenTheFlightHasNone)
{
    QByteArray twoFixes = record();
    twoFixes.insert(twoFixes.indexOf("\r\nG") + 2, "B1102355206343N00006198WA0058700558\r\n");
    const Result<QString> written = writeIGCFile(m_dir.path(), twoFixes, QDateTime());
    ASSERT_TRUE(written) << written.error();
    EXPECT_EQ(*written, path("4BN4F2A1.igc"));
}

TEST_F(IGCExport, ListsEveryFlightItCouldNotWriteAndWritesTheOthers)
{
    const QList<IGCExportItem> items{
        {"a", "no record", {}, kStart},
        {"b", "no security line", "AXXX\r\nHFDTE231114\r\nB1101355206343N00006198WA0058700558\r\n", kStart},
        {"c", "fine", record(), kStart},
    };
    std::vector<int> progress;
    const IGCExportResult result = exportIGCFiles(m_dir.path(), items, nullptr, [&](int done) { progress.push_back(done); });
    EXPECT_EQ(progress, (std::vector<int>{1, 2, 3}));
    ASSERT_EQ(result.written.size(), 1);
    EXPECT_EQ(result.written.first(), (IGCExportWritten{"c", path("4BN4F2A1.igc")}));
    ASSERT_EQ(result.failed.size(), 2);
    EXPECT_EQ(result.failed[0].flightId, "a");
    EXPECT_EQ(result.failed[1].flightId, "b");
    EXPECT_EQ(result.failed[1].label, "no security line");
    EXPECT_FALSE(result.failed[1].reason.isEmpty());
    EXPECT_FALSE(result.cancelled);

    // Every name of that day and logger taken: reported, nothing replaced.
    for (int n = 2; n <= 34; ++n)
        ASSERT_TRUE(writeIGCFile(m_dir.path(), record(), kStart));
    const Result<QString> full = writeIGCFile(m_dir.path(), record(), kStart);
    EXPECT_FALSE(full);
}

TEST_F(IGCExport, ALoggerIdentifierThatIsNoPlainNameStaysInsideTheFolder)
{
    ASSERT_TRUE(QDir().mkpath(path("inner")));
    const Result<QString> written = writeIGCFile(path("inner"), record("/../"), kStart);
    ASSERT_TRUE(written) << written.error();
    EXPECT_EQ(*written, QDir(path("inner")).filePath("4BN____1.igc"));
    EXPECT_EQ(files(), QStringList{});
    EXPECT_EQ(QDir(path("inner")).entryList(QDir::Files | QDir::Hidden), QStringList{"4BN____1.igc"});
}

TEST_F(IGCExport, AFolderThatCannotBeWrittenFailsEachFlight)
{
    const QList<IGCExportItem> items{{"a", "one", record(), kStart}, {"b", "two", record("5B3C"), kStart}};
    const IGCExportResult result = exportIGCFiles(path("missing/folder"), items);
    EXPECT_TRUE(result.written.isEmpty());
    ASSERT_EQ(result.failed.size(), 2);
    EXPECT_TRUE(result.failed[0].reason.contains("folder"));
}

TEST_F(IGCExport, CancelStopsBeforeTheNextFlightAndKeepsTheFilesWritten)
{
    std::atomic<bool> cancel = false;
    const QList<IGCExportItem> items{{"a", "one", record(), kStart}, {"b", "two", record("5B3C"), kStart}};
    const IGCExportResult result = exportIGCFiles(m_dir.path(), items, &cancel, [&](int done) {
        if (done == 1)
            cancel = true;
    });
    EXPECT_TRUE(result.cancelled);
    ASSERT_EQ(result.written.size(), 1);
    EXPECT_EQ(files(), QStringList{"4BN4F2A1.igc"});
}

} // namespace
} // namespace kalvora
