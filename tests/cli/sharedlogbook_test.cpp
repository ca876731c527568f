// One logbook in the hands of several processes, of a damaged disk, of a read-only
// folder; what `list` prints of it and by which points rule.
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "clirunner.h"
#include "support/readonlypath.h"
#include "support/testdata.h"

namespace kalvora::test {
namespace {

QString igc(const char* name)
{
    return QString::fromStdString(igcPath(name));
}

QByteArray fingerprint(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256) +
           QByteArray::number(QFileInfo(path).lastModified().toMSecsSinceEpoch());
}

class SharedLogbook : public ::testing::Test
{
protected:
    void SetUp() override
    {
        KALVORA_REQUIRE_TESTDATA();
        ASSERT_TRUE(m_home.isValid());
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("HOME"), m_home.path());
        m_env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        // Nothing leaves the machine, whatever a command would look up.
        const QString closed = QStringLiteral("http://127.0.0.1:9");
        for (const char* key : {"KALVORA_NOMINATIM_URL", "KALVORA_TIMEZONE_URL", "KALVORA_WAYPOINTDB_URL"})
            m_env.insert(QString::fromLatin1(key), closed);
    }

    QString path(const QString& name) const { return m_home.filePath(name); }

    CliRun cli(const QStringList& args) { return runCli(args, m_env, 120000); }

    /** A logbook made by importing FILES. */
    QString importedLogbook(const QString& name, const QStringList& files)
    {
        const QString logbook = path(name);
        const CliRun run = cli(QStringList{QStringLiteral("import"), logbook} + files + QStringList{"--offline"});
        EXPECT_EQ(run.exitCode, 0) << run.err.constData();
        return logbook;
    }

    static QJsonArray array(const QByteArray& out)
    {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(out, &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << out.left(300).constData();
        EXPECT_TRUE(doc.isArray());
        return doc.array();
    }

    QTemporaryDir m_home;
    QProcessEnvironment m_env;
};

TEST_F(SharedLogbook, ParallelReadersAndWritersAllFinishWithWholeResults)
{
    const QString logbook = importedLogbook(QStringLiteral("busy.kalvora"), {igc("d3p.igc"), igc("tri.igc")});
    struct Child
    {
        std::unique_ptr<QProcess> process;
        bool import = false;
    };
    std::vector<Child> children;
    auto start = [&](const QStringList& args, bool import) {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(m_env);
        p->start(QStringLiteral(KALVORA_CLI), args);
        children.push_back({std::move(p), import});
    };
    // Two writers, each with flights of its own, among a crowd of readers.
    start({QStringLiteral("import"), logbook, igc("line.igc"), QStringLiteral("--offline")}, true);
    for (int i = 0; i < 6; ++i)
        start({QStringLiteral("list"), logbook}, false);
    start({QStringLiteral("import"), logbook, igc("marcourt.igc"), QStringLiteral("--offline")}, true);
    for (int i = 0; i < 6; ++i)
        start({QStringLiteral("list"), logbook}, false);

    for (Child& c : children) {
        ASSERT_TRUE(c.process->waitForFinished(180000));
        const QByteArray out = c.process->readAllStandardOutput();
        const QByteArray err = c.process->readAllStandardError();
        EXPECT_EQ(c.process->exitCode(), 0) << (c.import ? "import: " : "list: ") << err.constData();
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(out, &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << out.left(300).constData() << err.constData();
        if (c.import) {
            EXPECT_EQ(doc.object()[QStringLiteral("imported")].toArray().size(), 1) << out.constData();
            EXPECT_TRUE(doc.object()[QStringLiteral("failed")].toArray().isEmpty()) << out.constData();
        } else {
            // Two flights before the imports, four after; whatever it saw was whole.
            const qsizetype n = doc.array().size();
            EXPECT_TRUE(n >= 2 && n <= 4) << n;
        }
    }
    const CliRun after = cli({QStringLiteral("list"), logbook});
    ASSERT_EQ(after.exitCode, 0) << after.err.constData();
    EXPECT_EQ(array(after.out).size(), 4);
}

TEST_F(SharedLogbook, ListingLeavesTheFileAsItWas)
{
    const QString logbook = importedLogbook(QStringLiteral("kept.kalvora"), {igc("d3p.igc")});
    const QByteArray before = fingerprint(logbook);
    QThread::msleep(1100); // modification times may count whole seconds
    for (const QStringList& args : {QStringList{QStringLiteral("list"), logbook},
                                    QStringList{QStringLiteral("list"), logbook, QStringLiteral("--with-igc")}}) {
        const CliRun run = cli(args);
        ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    }
    EXPECT_EQ(fingerprint(logbook), before);
}

TEST_F(SharedLogbook, TheIgcRecordIsPrintedOnlyWhenAskedFor)
{
    const QString logbook = importedLogbook(QStringLiteral("igc.kalvora"), {igc("d3p.igc"), igc("tri.igc")});
    const QJsonArray plain = array(cli({QStringLiteral("list"), logbook}).out);
    const QJsonArray full = array(cli({QStringLiteral("list"), logbook, QStringLiteral("--with-igc")}).out);
    ASSERT_EQ(plain.size(), 2);
    ASSERT_EQ(full.size(), 2);
    for (qsizetype i = 0; i < plain.size(); ++i) {
        QJsonObject withIgc = full[i].toObject();
        EXPECT_FALSE(plain[i].toObject().contains(QStringLiteral("igcData")));
        const QString text = withIgc.take(QStringLiteral("igcData")).toString();
        EXPECT_TRUE(text.contains(QStringLiteral("\nB"))) << text.left(200).toStdString();
        // Apart from the record, the same values.
        EXPECT_EQ(withIgc, plain[i].toObject());
    }
    const CliRun wrong = cli({QStringLiteral("list"), logbook, QStringLiteral("--with-everything")});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_TRUE(wrong.out.isEmpty());
}

TEST_F(SharedLogbook, ADamagedLogbookIsAnErrorAndIsNotWrittenOver)
{
    const QString logbook =
        importedLogbook(QStringLiteral("damaged.kalvora"), {igc("fai.igc"), igc("d3p.igc"), igc("tri.igc")});
    // A fix from the middle of one track: the page that holds it is in use.
    const QByteArray track = QByteArray::fromStdString(readFile(igcPath("fai.igc")));
    const qsizetype middle = track.indexOf("\nB", track.size() / 2) + 1;
    ASSERT_GT(damagePagesHolding(logbook, track.mid(middle, track.indexOf('\n', middle) - middle)), 0);
    const QByteArray damaged = fingerprint(logbook);
    for (const QStringList& args : {QStringList{QStringLiteral("list"), logbook, QStringLiteral("--with-igc")},
                                    QStringList{QStringLiteral("rescore"), logbook, QStringLiteral("--offline")},
                                    QStringList{QStringLiteral("import"), logbook, igc("line.igc"),
                                                QStringLiteral("--offline")}}) {
        const CliRun run = cli(args);
        EXPECT_NE(run.exitCode, 0) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.err.contains("is damaged")) << run.err.constData();
        // No result, or (a list streamed up to the damage) none that reads as complete.
        QJsonParseError error;
        QJsonDocument::fromJson(run.out, &error);
        EXPECT_TRUE(run.out.isEmpty() || error.error != QJsonParseError::NoError) << run.out.left(300).constData();
    }
    EXPECT_EQ(fingerprint(logbook), damaged);

    // The start of a track lies beside its flight's values, in the page `list` reads.
    const QByteArray start = QByteArray::fromStdString(readFile(igcPath("d3p.igc")));
    ASSERT_GT(damagePagesHolding(logbook, start.left(start.indexOf('\n'))), 0);
    const CliRun listed = cli({QStringLiteral("list"), logbook});
    EXPECT_NE(listed.exitCode, 0);
    EXPECT_TRUE(listed.err.contains("is damaged")) << listed.err.constData();
    // Never a complete-looking list: whatever was printed is no valid array.
    QJsonParseError error;
    QJsonDocument::fromJson(listed.out, &error);
    EXPECT_NE(error.error, QJsonParseError::NoError) << listed.out.left(300).constData();
}

TEST_F(SharedLogbook, AnotherProgramsDatabaseKeepsItsJournal)
{
    const QString other = path(QStringLiteral("other.sqlite"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        db.setDatabaseName(other);
        ASSERT_TRUE(db.open());
        ASSERT_TRUE(QSqlQuery(db).exec(QStringLiteral("CREATE TABLE notes (text TEXT)")));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
    const QByteArray before = fingerprint(other);
    for (const QStringList& args : {QStringList{QStringLiteral("list"), other},
                                    QStringList{QStringLiteral("import"), other, igc("d3p.igc"),
                                                QStringLiteral("--offline")}}) {
        const CliRun run = cli(args);
        EXPECT_NE(run.exitCode, 0);
        EXPECT_TRUE(run.err.contains("not a Kalvora data file")) << run.err.constData();
    }
    // The header's two version bytes say "rollback journal" (1), not "write-ahead log" (2).
    EXPECT_EQ(fingerprint(other), before);
    EXPECT_FALSE(QFile::exists(other + QStringLiteral("-wal")));
}

TEST_F(SharedLogbook, AReadOnlyFolderIsListedAndImportsIntoItSaySo)
{
    const QString folder = path(QStringLiteral("archive"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString logbook = QDir(folder).filePath(QStringLiteral("2019.kalvora"));
    importedLogbook(QStringLiteral("archive/2019.kalvora"), {igc("d3p.igc")});
    ReadOnlyPath locked(folder);
    if (!locked.isActive())
        GTEST_SKIP() << "no way to make a folder read-only here";

    const CliRun listed = cli({QStringLiteral("list"), logbook});
    ASSERT_EQ(listed.exitCode, 0) << listed.err.constData();
    EXPECT_EQ(array(listed.out).size(), 1);

    const CliRun imported = cli({QStringLiteral("import"), logbook, igc("tri.igc"), QStringLiteral("--offline")});
    EXPECT_NE(imported.exitCode, 0);
    EXPECT_TRUE(imported.err.contains("read-only")) << imported.err.constData();
    EXPECT_FALSE(imported.err.contains("not a Kalvora data file")) << imported.err.constData();
}

TEST_F(SharedLogbook, ScoreAndListUseOnePointsRuleFromTheFirstRun)
{
    const QString logbook = importedLogbook(QStringLiteral("rule.kalvora"), {igc("tri.igc")});
    const CliRun scored = cli({QStringLiteral("score"), igc("tri.igc")});
    ASSERT_EQ(scored.exitCode, 0) << scored.err.constData();
    const QJsonObject score = QJsonDocument::fromJson(scored.out).object();
    const QJsonArray listed = array(cli({QStringLiteral("list"), logbook}).out);
    ASSERT_EQ(listed.size(), 1);
    const QJsonObject flight = listed[0].toObject();
    ASSERT_GT(score[QStringLiteral("xcPoints")].toDouble(), 0);
    EXPECT_NEAR(flight[QStringLiteral("xcPoints")].toDouble(), score[QStringLiteral("xcPoints")].toDouble(), 1e-9);
    // The settings record the application's first start makes: the first points system.
    const double free = flight[QStringLiteral("freeDistance")].toDouble();
    const double flat = flight[QStringLiteral("flatDistance")].toDouble();
    const double fai = flight[QStringLiteral("faiDistance")].toDouble();
    EXPECT_NEAR(flight[QStringLiteral("xcPoints")].toDouble(), std::max({free * 1.0, flat * 1.2, fai * 1.4}), 1e-9);

    const QString global = path(QStringLiteral("data/Kalvora/Kalvora.storedata"));
    ASSERT_TRUE(QFile::exists(global));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("settings"));
        db.setDatabaseName(global);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral("SELECT xcPointsType, varioUnitIndex FROM Settings")));
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0).toInt(), 0);
        EXPECT_NE(q.value(1).toInt(), -1); // units chosen, as at the first start
        EXPECT_FALSE(q.next());
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("settings"));
}

} // namespace
} // namespace kalvora::test
