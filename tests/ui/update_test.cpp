#include <QCheckBox>
#include <QFile>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include "services/httpclient.h"
#include "support/httpserver.h"
#include "ui/settingswindowcontroller.h"
#include "ui/update/updatecontroller.h"

namespace kalvora::test {
namespace {

/** Answers at once: the offer with DOWNLOAD and SUPPRESS, the save question with SAVEAS. */
class ScriptedUpdate final : public UpdateInteraction
{
public:
    void askDownload(QWidget*, const QString& message, std::function<void(bool, bool)> reply) override
    {
        offers << message;
        reply(download, suppress);
    }
    void showAlert(QWidget*, const QString& message, const QString& informative) override
    {
        alerts << message + QLatin1Char('|') + informative;
    }
    void chooseSaveFile(QWidget*, const QString& suggested, std::function<void(const QString&)> reply) override
    {
        suggestions << suggested;
        reply(saveAs);
    }
    bool download = false, suppress = false;
    QString saveAs;
    QStringList offers, alerts, suggestions;
};

/** The real client, noting the thread each request is sent from. */
class WatchedClient final : public HttpClient
{
public:
    HttpResponse send(const HttpRequest& request) override
    {
        threads << QThread::currentThread();
        return m_client.send(request);
    }
    QList<QThread*> threads;

private:
    NetworkHttpClient m_client;
};

/** An update service and a download server on loopback, with what they answer set per test. */
class UpdateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath(QStringLiteral("config")));
        QSettings().clear();
        qputenv("KALVORA_UPDATE_URL", (server.baseUrl().toString() + QStringLiteral("/check")).toUtf8());
    }
    void TearDown() override { qunsetenv("KALVORA_UPDATE_URL"); }

    HttpServerResponse answer(const HttpServerRequest& request)
    {
        HttpServerResponse response;
        response.contentType = "text/plain";
        if (request.path == "/check") {
            response.body = offer;
        } else if (request.method == "HEAD") {
            response.noContentLength = !headLength;
            response.contentLength = archive.size();
        } else {
            response.contentType = "application/vnd.debian.binary-package";
            response.body = archive;
            response.noContentLength = !headLength;
            response.sendBytes = dropAfter;
            response.delayMs = getDelayMs;
        }
        return response;
    }

    QByteArray archiveUrl() const { return (server.baseUrl().toString() + QStringLiteral("/kalvora_0.2.0_amd64.deb")).toUtf8(); }

    /** Runs a check and waits until its outcome has been shown. */
    void check(UpdateController::Trigger trigger)
    {
        QSignalSpy done(&controller, &UpdateController::checkFinished);
        controller.checkUpdates(trigger);
        if (server.requestCount() == 0 && done.isEmpty())
            controller.waitForCheck();
        ASSERT_TRUE(done.wait(5000));
    }

    QTemporaryDir dir;
    QByteArray offer;
    QByteArray archive = QByteArray(200000, 'k');
    bool headLength = true;
    qint64 dropAfter = -1;
    int getDelayMs = 0;
    LocalHttpServer server{[this](const HttpServerRequest& r) { return answer(r); }};
    WatchedClient client;
    std::shared_ptr<ScriptedUpdate> dialogs = std::make_shared<ScriptedUpdate>();
    UpdateController controller{client, QVersionNumber(2, 9), dialogs};
};

TEST_F(UpdateTest, NoAddressMeansNoTrafficAndAManualCheckSaysSo)
{
    qunsetenv("KALVORA_UPDATE_URL");
    controller.checkUpdates(UpdateController::Trigger::AtStart);
    EXPECT_TRUE(dialogs->alerts.isEmpty());
    controller.checkUpdates(UpdateController::Trigger::Manual);
    ASSERT_EQ(dialogs->alerts.size(), 1);
    EXPECT_TRUE(dialogs->alerts.first().startsWith(QStringLiteral("No update address is set.")));
    controller.waitForCheck();
    EXPECT_EQ(server.requestCount(), 0);

    // Switched off: the check at start sends nothing, the one asked for does.
    qputenv("KALVORA_UPDATE_URL", (server.baseUrl().toString() + QStringLiteral("/check")).toUtf8());
    QSettings().setValue(QStringLiteral("NoAutoUpdate"), true);
    controller.checkUpdates(UpdateController::Trigger::AtStart);
    controller.waitForCheck();
    EXPECT_EQ(server.requestCount(), 0);
    offer = "1;FREE;2.9;" + archiveUrl();
    check(UpdateController::Trigger::Manual);
    EXPECT_EQ(server.requestCount(), 1);
}

TEST_F(UpdateTest, AnswersAreToldOnlyWhenTheUserAskedUnlessNewer)
{
    struct Case
    {
        QByteArray offer;
        const char* manualAlert; ///< start of the alert after a manual check; none at start
    };
    const Case cases[] = {
        {"1;FREE;2.9;" + archiveUrl(), "You are up to date|"},
        {"1;FREE;2.8.5;" + archiveUrl(), "You are up to date|"},
        {"1;FREE;2.10", "The update check failed.|"},
        {"ERROR", "The update check failed.|"},
        {"<html>Not found</html>", "The update check failed.|"},
    };
    for (const Case& c : cases) {
        offer = c.offer;
        dialogs->alerts.clear();
        check(UpdateController::Trigger::AtStart);
        EXPECT_TRUE(dialogs->alerts.isEmpty()) << c.offer.constData();
        check(UpdateController::Trigger::Manual);
        ASSERT_EQ(dialogs->alerts.size(), 1) << c.offer.constData();
        EXPECT_TRUE(dialogs->alerts.first().startsWith(QString::fromLatin1(c.manualAlert))) << c.offer.constData();
    }
    EXPECT_TRUE(dialogs->offers.isEmpty());
    // Every request went out from the worker, never from the GUI thread.
    ASSERT_FALSE(client.threads.isEmpty());
    for (QThread* thread : client.threads)
        EXPECT_NE(thread, QThread::currentThread());
}

TEST_F(UpdateTest, DeclinedOfferWithTheBoxTickedStopsTheCheckAtStart)
{
    offer = "1;FREE;2.10;" + archiveUrl(); // 2.10 is newer than 2.9
    dialogs->download = false;
    dialogs->suppress = true;
    check(UpdateController::Trigger::AtStart);
    ASSERT_EQ(dialogs->offers.size(), 1);
    EXPECT_TRUE(dialogs->offers.first().startsWith(QStringLiteral("Kalvora version 2.10 is available as free download.")));
    EXPECT_TRUE(QSettings().value(QStringLiteral("NoAutoUpdate")).toBool());
    EXPECT_EQ(controller.updateWindowController(), nullptr);
    EXPECT_EQ(server.requestCount(), 1);
}

TEST_F(UpdateTest, DownloadIsSavedWhereTheUserChoosesAndNothingRuns)
{
    offer = "1;FREE;2.10;" + archiveUrl();
    dialogs->download = true;
    dialogs->saveAs = dir.filePath(QStringLiteral("saved.deb"));
    check(UpdateController::Trigger::Manual);
    UpdateWindowController* window = controller.updateWindowController();
    ASSERT_NE(window, nullptr);
    QSignalSpy finished(window, &UpdateWindowController::finished);
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_EQ(finished.first().first().toString(), dialogs->saveAs);
    EXPECT_EQ(dialogs->suggestions, QStringList{QStringLiteral("kalvora_0.2.0_amd64.deb")});
    QFile saved(dialogs->saveAs);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), archive);
    EXPECT_FALSE(saved.permissions() & QFileDevice::ExeUser);
    ASSERT_EQ(dialogs->alerts.size(), 1);
    EXPECT_TRUE(dialogs->alerts.first().contains(QStringLiteral("package manager")));
}

TEST_F(UpdateTest, UnknownSizeShowsABusyBarAndStillDownloads)
{
    offer = "1;FREE;2.10;" + archiveUrl();
    headLength = false;
    getDelayMs = 400;
    dialogs->download = true;
    dialogs->saveAs = dir.filePath(QStringLiteral("busy.deb"));
    check(UpdateController::Trigger::Manual);
    QPointer<UpdateWindowController> window = controller.updateWindowController();
    ASSERT_NE(window, nullptr);
    QSignalSpy finished(window.data(), &UpdateWindowController::finished);
    QTRY_COMPARE_WITH_TIMEOUT(server.requestCount(), 3, 5000); // check, HEAD, GET
    EXPECT_EQ(window->downloadLength(), 0);
    EXPECT_EQ(window->progressBar()->minimum(), 0);
    EXPECT_EQ(window->progressBar()->maximum(), 0);
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_EQ(QFile(dialogs->saveAs).size(), archive.size());
    EXPECT_FALSE(dialogs->alerts.first().startsWith(QStringLiteral("Error")));
}

TEST_F(UpdateTest, FailuresAreToldAndEndTheWindow)
{
    offer = "1;FREE;2.10;" + archiveUrl();
    dialogs->download = true;

    // The connection drops half-way: nothing is saved, nobody is asked where to.
    dropAfter = archive.size() / 2;
    dialogs->saveAs = dir.filePath(QStringLiteral("dropped.deb"));
    check(UpdateController::Trigger::Manual);
    {
        QSignalSpy finished(controller.updateWindowController(), &UpdateWindowController::finished);
        ASSERT_TRUE(finished.wait(10000));
        EXPECT_TRUE(finished.first().first().toString().isEmpty());
    }
    ASSERT_EQ(dialogs->alerts.size(), 1);
    EXPECT_TRUE(dialogs->alerts.first().startsWith(QStringLiteral("Error downloading update|")));
    EXPECT_TRUE(dialogs->suggestions.isEmpty());
    EXPECT_FALSE(QFile::exists(dialogs->saveAs));

    // The folder chosen cannot be written: told, and no restart is suggested.
    dropAfter = -1;
    dialogs->alerts.clear();
    dialogs->saveAs = dir.filePath(QStringLiteral("no/such/folder/k.deb"));
    check(UpdateController::Trigger::Manual);
    {
        QSignalSpy finished(controller.updateWindowController(), &UpdateWindowController::finished);
        ASSERT_TRUE(finished.wait(10000));
    }
    ASSERT_EQ(dialogs->alerts.size(), 1);
    EXPECT_TRUE(dialogs->alerts.first().startsWith(QStringLiteral("The update could not be saved.|")));
}

TEST_F(UpdateTest, SettingsWindowChecksNowAndShowsTheBoxAsTheAlertLeftIt)
{
    offer = "1;FREE;2.10;" + archiveUrl();
    dialogs->suppress = true;
    SettingsWindowController window(nullptr, {});
    window.setSerialPortSource([] { return QStringList(); }, {});
    window.setUpdateCheck([this](QWidget* parent) {
        controller.checkUpdates(UpdateController::Trigger::Manual, parent);
        controller.waitForCheck();
        QTest::qWait(50); // the answer comes back through the event loop
    });
    window.showWindow();
    auto* box = window.findChild<QCheckBox*>(QStringLiteral("autoUpdate"));
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isChecked());
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("checkNow")), Qt::LeftButton);
    EXPECT_EQ(dialogs->offers.size(), 1);
    EXPECT_FALSE(box->isChecked());
    box->setChecked(true);
    EXPECT_FALSE(QSettings().value(QStringLiteral("NoAutoUpdate")).toBool());
}

} // namespace
} // namespace kalvora::test
