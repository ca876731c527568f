// The built application started as a user would, twice, in a fresh home.
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include "apprunner.h"
#include "support/httpserver.h"

namespace kalvora::test {
namespace {

const QStringList kScripted = {QStringLiteral("--report-windows"), QStringLiteral("--quit-after-ms"),
                               QStringLiteral("800")};

TEST(AppStart, FirstStartCreatesLogbookWithPilotAndSecondStartReopensIt)
{
    FreshHome home;
    ASSERT_TRUE(home.isValid());

    const AppRun first = runApp(kScripted, home.environment());
    ASSERT_FALSE(first.timedOut) << first.err.constData();
    EXPECT_EQ(first.exitCode, 0) << first.err.constData();
    EXPECT_TRUE(first.windows().contains(QStringLiteral("LogBook"))) << first.out.constData();
    EXPECT_TRUE(first.windows().contains(QStringLiteral("PilotWindowController"))) << first.out.constData();
    ASSERT_EQ(first.logbooks().size(), 1) << first.out.constData();
    const QString logbook = first.logbooks().first();
    EXPECT_TRUE(QFileInfo::exists(logbook));
    EXPECT_TRUE(logbook.startsWith(home.path()));
    EXPECT_TRUE(QFileInfo::exists(home.path() + QStringLiteral("/.local/share/Kalvora/Kalvora.storedata")));

    // Every menu entry works: none is a disabled stand-in for a window still to come.
    const QStringList menus = first.menuEntries();
    EXPECT_TRUE(menus.contains(QStringLiteral("Edit > Undo"))) << first.out.constData();
    EXPECT_TRUE(menus.contains(QStringLiteral("Help > About Kalvora"))) << first.out.constData();
    EXPECT_TRUE(menus.contains(QStringLiteral("Window > Pilot"))) << first.out.constData();
    for (const QString& entry : menus)
        EXPECT_FALSE(entry.endsWith(QLatin1String("(disabled)"))) << entry.toStdString();

    // The logbook now has its pilot, so only the logbook window opens.
    const AppRun second = runApp(kScripted, home.environment());
    ASSERT_FALSE(second.timedOut) << second.err.constData();
    EXPECT_EQ(second.exitCode, 0) << second.err.constData();
    EXPECT_EQ(second.logbooks(), QStringList{logbook});
    EXPECT_EQ(second.windows(), QStringList{QStringLiteral("LogBook")}) << second.out.constData();
}

TEST(AppStart, MissingRecentLogbookGivesNewLogbook)
{
    FreshHome home;
    const AppRun first = runApp(kScripted, home.environment());
    ASSERT_EQ(first.logbooks().size(), 1) << first.out.constData() << first.err.constData();
    ASSERT_TRUE(QFile::remove(first.logbooks().first()));

    const AppRun second = runApp(kScripted, home.environment());
    ASSERT_FALSE(second.timedOut);
    EXPECT_EQ(second.exitCode, 0) << second.err.constData();
    ASSERT_EQ(second.logbooks().size(), 1) << second.out.constData();
    EXPECT_TRUE(QFileInfo::exists(second.logbooks().first()));
    EXPECT_TRUE(second.windows().contains(QStringLiteral("LogBook")));
}

TEST(AppStart, RestartReopensTheLogbooksOpenAtQuitWithTheOneInUseInFront)
{
    FreshHome home;
    const AppRun first = runApp(kScripted, home.environment());
    ASSERT_EQ(first.logbooks().size(), 1) << first.out.constData();
    const QString original = first.logbooks().first();
    const QString other = home.path() + QStringLiteral("/other.kalvora");
    ASSERT_TRUE(QFile::copy(original, other));

    // Both open at quit, the other one opened last and so in use.
    const AppRun both = runApp(kScripted + QStringList{original, other}, home.environment());
    ASSERT_EQ(both.logbooks().size(), 2) << both.out.constData();
    EXPECT_EQ(both.currentLogbook(), other);

    const AppRun again = runApp(kScripted, home.environment());
    ASSERT_FALSE(again.timedOut);
    EXPECT_EQ(again.exitCode, 0) << again.err.constData();
    EXPECT_EQ(again.logbooks(), (QStringList{original, other})) << "not only the most recently opened one";
    EXPECT_EQ(again.currentLogbook(), other);
}

TEST(AppStart, TheWaypointDatabaseIsAskedAtStartUp)
{
    FreshHome home;
    LocalHttpServer database([](const HttpServerRequest&) { return HttpServerResponse{200, "text/xml", ""}; });
    QProcessEnvironment env = home.environment();
    env.insert(QStringLiteral("KALVORA_WAYPOINTDB_URL"), database.baseUrl().toString());
    const AppRun run = runApp(kScripted, env);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_GE(database.requestCount(), 1) << "the download pass ran in the application, not only in the CLI";
}

TEST(AppStart, LogbookNamedOnCommandLineIsOpened)
{
    FreshHome home;
    const AppRun first = runApp(kScripted, home.environment());
    ASSERT_EQ(first.logbooks().size(), 1);
    const QString original = first.logbooks().first();
    // A second logbook, then the first one named explicitly.
    const QString other = home.path() + QStringLiteral("/other.kalvora");
    ASSERT_TRUE(QFile::copy(original, other));

    QStringList args = kScripted;
    args << other;
    const AppRun named = runApp(args, home.environment());
    ASSERT_FALSE(named.timedOut);
    EXPECT_EQ(named.exitCode, 0) << named.err.constData();
    EXPECT_EQ(named.logbooks(), QStringList{other});
}

TEST(AppStart, LaterStartHandsIGCFileToTheRunningOne)
{
    FreshHome home;
    // One fix a minute for half an hour, climbing northwards: enough to be a flight.
    QByteArray igc = "AXXX001\r\nHFDTE010624\r\n";
    for (int i = 0; i <= 30; ++i)
        igc += QString::asprintf("B10%02d00%07dN01122000EA%05d%05d\r\n", i, 4707000 + i * 324, 1500 + i * 10,
                                 1500 + i * 10)
                   .toLatin1();
    const QString igcPath = home.path() + QStringLiteral("/FLIGHT.IGC");
    QFile file(igcPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(igc);
    file.close();

    QProcess running;
    running.setProcessEnvironment(home.environment());
    running.start(QStringLiteral(KALVORA_APP),
                  {QStringLiteral("--report-windows"), QStringLiteral("--quit-after-ms"), QStringLiteral("6000")});
    ASSERT_TRUE(running.waitForStarted(10000));
    // Listening once it has reported its windows.
    QByteArray early;
    for (int i = 0; i < 100 && !early.contains("logbook: "); ++i) {
        running.waitForReadyRead(100);
        early += running.readAllStandardOutput();
    }
    ASSERT_TRUE(early.contains("logbook: ")) << early.constData();

    const AppRun later = runApp({igcPath}, home.environment(), 20000);
    EXPECT_FALSE(later.timedOut);
    EXPECT_EQ(later.exitCode, 0) << later.err.constData();
    EXPECT_TRUE(later.windows().isEmpty()) << "the later start shows nothing itself";

    AppRun first = finishRun(running, 30000);
    first.out.prepend(early);
    EXPECT_FALSE(first.timedOut);
    EXPECT_EQ(first.lastFlightCount(), 1) << first.out.constData() << first.err.constData();
}

} // namespace
} // namespace kalvora::test
