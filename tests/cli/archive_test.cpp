// kalvora-cli import of a whole archive folder: counts, identical recordings,
// Ctrl-C and going on, and one geocoder request per site across runs.
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>

#include "clirunner.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"
#include "support/httpserver.h"
#include "support/igcarchive.h"

namespace kalvora::test {
namespace {

QJsonObject json(const QByteArray& out)
{
    return QJsonDocument::fromJson(out).object();
}

TEST(ArchiveImportCli, ImportsAFolderTreeSkipsCopiesAndGoesOnAfterCtrlC)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString root = home.filePath("archive");
    const Archive archive = makeArchive(root, 200, 4, 10);
    ASSERT_EQ(archive.files(), 220);

    std::atomic<int> reverse{0};
    // A slow geocoder gives Ctrl-C a moment to land mid-run.
    LocalHttpServer geocoder([&](const HttpServerRequest& request) {
        HttpServerResponse response;
        if (request.path == "/reverse") {
            ++reverse;
            response.body = archiveReverseAnswer(request.query.queryItemValue("lat").toDouble());
            response.delayMs = 700;
        } else {
            response.status = 404;
        }
        return response;
    });
    QProcessEnvironment env = freshUserEnvironment(home.path());
    env.insert("KALVORA_NOMINATIM_URL", geocoder.baseUrl().toString());
    env.insert("KALVORA_TIMEZONE_URL", geocoder.baseUrl().toString());
    // The pilot has used the application: the global store keeps the place answers between runs.
    {
        const QString data = env.value("XDG_DATA_HOME") + QStringLiteral("/Kalvora");
        ASSERT_TRUE(QDir().mkpath(data));
        ASSERT_TRUE(PersistentStore::open(data + QStringLiteral("/Kalvora.storedata"), ObjectModel::global()).ok());
    }
    const QString logbook = home.filePath("archive.kalvora");

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(QStringLiteral(KALVORA_CLI), {"import", logbook, root, "--progress"});
    ASSERT_TRUE(first.waitForStarted());
    first.setReadChannel(QProcess::StandardError);
    QByteArray err;
    while (!err.contains("Imported ") && first.state() == QProcess::Running) {
        first.waitForReadyRead(5000);
        err += first.readAllStandardError();
    }
    ASSERT_EQ(first.state(), QProcess::Running) << "the run ended before it could be interrupted";
    ::kill(static_cast<pid_t>(first.processId()), SIGINT);
    ASSERT_TRUE(first.waitForFinished(120000));
    err += first.readAllStandardError();
    EXPECT_EQ(first.exitCode(), 130) << err.toStdString();
    EXPECT_TRUE(err.contains("Found 220 IGC file(s).")) << err.toStdString();
    EXPECT_TRUE(err.contains(" of 200 files, ")) << "progress counts the files to import";
    const QJsonObject stopped = json(first.readAllStandardOutput());
    EXPECT_TRUE(stopped["stopped"].toBool());
    const int done = int(stopped["imported"].toArray().size());
    EXPECT_GT(done, 0);
    EXPECT_LT(done, 200);
    for (const QJsonValue& flight : stopped["flights"].toArray())
        EXPECT_GE(flight["freeDistance"].toDouble(), 0) << "what was imported is scored";

    // The same command goes on where it stopped; no question, no overlap answer needed.
    const CliRun second = runCli({"import", logbook, root}, env);
    ASSERT_EQ(second.exitCode, 0) << second.err.toStdString();
    const QJsonObject resumed = json(second.out);
    EXPECT_FALSE(resumed["stopped"].toBool());
    EXPECT_EQ(resumed["imported"].toArray().size(), 200 - done);
    EXPECT_EQ(resumed["duplicates"].toArray().size(), done + 20);
    EXPECT_TRUE(resumed["skipped"].toArray().isEmpty());
    EXPECT_TRUE(resumed["failed"].toArray().isEmpty());
    EXPECT_EQ(reverse.load(), 4) << "one request per site, across both runs";
    for (const QJsonValue& flight : resumed["flights"].toArray())
        EXPECT_TRUE(flight["startLocation"].toString().startsWith("Site ")) << flight["startLocation"].toString().toStdString();

    // Nothing is new the third time.
    const CliRun third = runCli({"import", logbook, root}, env);
    ASSERT_EQ(third.exitCode, 0) << third.err.toStdString();
    EXPECT_TRUE(json(third.out)["imported"].toArray().isEmpty());
    EXPECT_EQ(json(third.out)["duplicates"].toArray().size(), 220);
    EXPECT_EQ(reverse.load(), 4);
}

} // namespace
} // namespace kalvora::test
