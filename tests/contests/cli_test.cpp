#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "cli/clirunner.h"
#include "contestflight.h"
#include "contestserver.h"
#include "model/contestsubmission.h"
#include "model/flight.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"

namespace kalvora::test {
namespace {

class SubmitCommand : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.isRunning()) << server.problem().toStdString();
        ASSERT_TRUE(m_dir.isValid());
        auto opened = PersistentStore::open(logbook(), ObjectModel::logBook());
        ASSERT_TRUE(opened.ok());
        auto* flight = (*opened)->mainContext()->insert<Flight>();
        flight->setIgcData(QString::fromLatin1(sampleIGC()));
        flight->setStartUTC(sampleFlight().startUTC);
        flight->setGlider(QStringLiteral("Rush 5 (M), blue"));
        flight->setStartLocation(QStringLiteral("Brauneck, Germany"));
        flight->setNotice(QStringLiteral("Thermals & wind"));
        ASSERT_TRUE((*opened)->mainContext()->save().ok());
        m_id = flight->objectId().uriString();
    }

    QString logbook() const { return m_dir.filePath(QStringLiteral("log.kalvora")); }

    CliRun submit(const QString& contest, const QStringList& extra, const QByteArray& password)
    {
        QStringList args{QStringLiteral("submit"), contest, logbook(), QStringLiteral("--flight"), m_id};
        args += extra;
        return runCli(args, freshUserEnvironment(m_dir.filePath(QStringLiteral("home"))), 60000, password);
    }

    QList<ContestSubmission*> storedSubmissions()
    {
        m_reopened.reset();
        auto opened = PersistentStore::open(logbook(), ObjectModel::logBook());
        EXPECT_TRUE(opened.ok());
        if (!opened.ok())
            return {};
        m_reopened = std::move(*opened);
        return m_reopened->mainContext()->fetch<ContestSubmission>();
    }

    ContestServer server;
    QTemporaryDir m_dir;
    QString m_id;
    std::unique_ptr<PersistentStore> m_reopened;
};

TEST_F(SubmitCommand, SendsToDHVXCOnceAndNotesIt)
{
    const QStringList fields{"--field", "user=" + kContestUser, "--field", "firstname=Jérôme", "--field",
                             "lastname=Müller", "--field", "birth=1980-02-29", "--field", "class=6", "--field",
                             "category=LFT A", "--field", "manufacturer=other", "--field", "comment=no",
                             "--password-stdin"};
    const CliRun run = submit(QStringLiteral("dhvxc"), fields, kContestPassword.toUtf8() + "\n");
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    const QJsonObject result = QJsonDocument::fromJson(run.out).object();
    EXPECT_TRUE(result.value(QLatin1String("submitted")).toBool());
    EXPECT_EQ(result.value(QLatin1String("answer")).toString(), QStringLiteral("Flight received."));

    const QJsonObject request = server.requests(QStringLiteral("dhvxc")).value(0);
    EXPECT_FALSE(request.contains(QLatin1String("problems")));
    const QJsonObject fieldsSent = request.value(QLatin1String("fields")).toObject();
    EXPECT_EQ(fieldsSent.value(QLatin1String("pass")).toString(), kContestPassword);
    EXPECT_EQ(fieldsSent.value(QLatin1String("OLCvnolc")).toString(), QStringLiteral("Jérôme"));
    EXPECT_EQ(fieldsSent.value(QLatin1String("gliderCertCategory")).toString(), QStringLiteral("32"));
    EXPECT_FALSE(fieldsSent.contains(QLatin1String("gliderBrandID"))) << "\"Other\" has no identifier";
    EXPECT_EQ(fieldsSent.value(QLatin1String("glider")).toString(), QStringLiteral("Rush 5"));
    EXPECT_EQ(fieldsSent.value(QLatin1String("comments")).toString(), QString());
    EXPECT_EQ(base64Field(request, "igc"), sampleIGC());
    ASSERT_EQ(storedSubmissions().size(), 1);
    EXPECT_EQ(storedSubmissions().first()->contest(), QStringLiteral("dhvxc"));
    m_reopened.reset();

    // A second time only when asked for.
    const CliRun twice = submit(QStringLiteral("dhvxc"), fields, kContestPassword.toUtf8() + "\n");
    EXPECT_EQ(twice.exitCode, 1);
    EXPECT_TRUE(twice.err.contains("--again")) << twice.err.constData();
    EXPECT_EQ(server.requests(QStringLiteral("dhvxc")).size(), 1);
    const CliRun again = submit(QStringLiteral("dhvxc"), fields + QStringList{"--again"}, kContestPassword.toUtf8() + "\n");
    EXPECT_EQ(again.exitCode, 0) << again.err.constData();
    EXPECT_EQ(storedSubmissions().size(), 2);
}

TEST_F(SubmitCommand, SendsToXContestAndReportsRefusals)
{
    const QStringList fields{"--field", "user=" + kContestUser, "--field", "category=Z", "--field", "activate=no",
                             "--password-stdin"};
    server.setAnswer(QStringLiteral("upload"), {{"status", 500}, {"body", "oops"}});
    const CliRun refused = submit(QStringLiteral("xcontest"), fields, kContestPassword.toUtf8() + "\n");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_FALSE(QJsonDocument::fromJson(refused.out).object().value(QLatin1String("submitted")).toBool());
    EXPECT_TRUE(storedSubmissions().isEmpty());
    m_reopened.reset();

    server.setAnswer(QStringLiteral("upload"), {});
    const CliRun run = submit(QStringLiteral("xcontest"), fields, kContestPassword.toUtf8() + "\n");
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_EQ(QJsonDocument::fromJson(run.out).object().value(QLatin1String("link")).toString(),
              QStringLiteral("https://www.xcontest.org/world/en/flights/detail:4711"));
    const QJsonObject upload = server.requests(QStringLiteral("upload")).last();
    EXPECT_FALSE(upload.contains(QLatin1String("problems")));
    const QJsonObject sent = upload.value(QLatin1String("fields")).toObject();
    EXPECT_EQ(sent.value(QLatin1String("flight[glider_catg]")).toString(), QStringLiteral("Z"));
    EXPECT_EQ(sent.value(QLatin1String("flight[is_active]")).toString(), QStringLiteral("N"));
    EXPECT_EQ(sent.value(QLatin1String("flight[takeoff_name]")).toString(), QStringLiteral("Brauneck, Germany"));
    EXPECT_EQ(sent.value(QLatin1String("flight[glider_name]")).toString(), QStringLiteral("Rush 5"));
    ASSERT_EQ(storedSubmissions().size(), 1);
    EXPECT_EQ(storedSubmissions().first()->link(), QStringLiteral("https://www.xcontest.org/world/en/flights/detail:4711"));
}

TEST_F(SubmitCommand, RefusesNumbersOutsideTheFormsLists)
{
    const CliRun badClass = submit(QStringLiteral("dhvxc"), {"--field", "class=10"}, {});
    EXPECT_EQ(badClass.exitCode, 2);
    EXPECT_TRUE(badClass.err.contains("class: 10 is not 1 to 9")) << badClass.err.constData();
    const CliRun badStart = submit(QStringLiteral("dhvxc"), {"--field", "start=0"}, {});
    EXPECT_EQ(badStart.exitCode, 2);
    EXPECT_TRUE(badStart.err.contains("start: 0 is not 1 to 3")) << badStart.err.constData();
    const CliRun notANumber = submit(QStringLiteral("dhvxc"), {"--field", "start=winch"}, {});
    EXPECT_EQ(notANumber.exitCode, 2);
    EXPECT_TRUE(notANumber.err.contains("start: winch is not 1 to 3")) << notANumber.err.constData();
    EXPECT_TRUE(storedSubmissions().isEmpty());
}

TEST_F(SubmitCommand, RefusesPasswordsOnTheCommandLineAndPlainHttp)
{
    const CliRun asField = submit(QStringLiteral("dhvxc"), {"--field", "password=secret"}, {});
    EXPECT_EQ(asField.exitCode, 2);
    EXPECT_TRUE(asField.err.contains("never taken from the command line"));

    QProcessEnvironment env = freshUserEnvironment(m_dir.filePath(QStringLiteral("home")));
    env.insert(QStringLiteral("KALVORA_DHVXC_URL"), server.baseUrl().toString().replace("https:", "http:"));
    const CliRun plain = runCli({QStringLiteral("submit"), QStringLiteral("dhvxc"), logbook(), QStringLiteral("--flight"),
                                 m_id, QStringLiteral("--field"), "user=" + kContestUser, QStringLiteral("--password-stdin")},
                                env, 60000, "pw\n");
    EXPECT_EQ(plain.exitCode, 1);
    EXPECT_TRUE(plain.err.contains("https://")) << plain.err.constData();
    EXPECT_TRUE(server.requests().isEmpty());
}

} // namespace
} // namespace kalvora::test
