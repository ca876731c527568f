#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "clirunner.h"
#include "support/httpserver.h"
#include "support/testdata.h"

using kalvora::test::HttpServerRequest;
using kalvora::test::HttpServerResponse;
using kalvora::test::LocalHttpServer;
using kalvora::test::runCli;
using kalvora::test::runCliOnTerminal;

namespace {

/** One fix a minute flying north at 36 km/h on 1 June 2024, from START [s of day] for DURATION [s]. */
QByteArray syntheticIGC(int startS, int durationS)
{
    QByteArray text = "AXXX001\r\nHFDTE010624\r\n";
    for (int i = 0; i <= durationS / 60; ++i) {
        const int t = startS + i * 60;
        text += QString::asprintf("B%02d%02d%02d%07dN01122000EA%05d%05d\r\n", t / 3600, t % 3600 / 60, t % 60,
                                  4715000 + i * 324, 1500 + i, 1500 + i)
                    .toLatin1();
    }
    return text;
}

class ImportCommand : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_env = kalvora::test::freshUserEnvironment(m_dir.path());
    }

    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        QFile file(m_dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }

    QString logbook() const { return m_dir.filePath("book.kalvora"); }

    /** Runs a command whose stdout is one JSON object. */
    QJsonObject run(const QStringList& args, int expectedExit = 0, const QByteArray& input = {})
    {
        const auto result = runCli(args, m_env, 240000, input);
        EXPECT_EQ(result.exitCode, expectedExit) << result.err.toStdString();
        return QJsonDocument::fromJson(result.out).object();
    }

    QTemporaryDir m_dir;
    QProcessEnvironment m_env;
};

/** Every line of stdout as a JSON object, keyed by its "file". */
QHash<QString, QJsonObject> byFile(const QByteArray& out)
{
    QHash<QString, QJsonObject> result;
    for (const QByteArray& line : out.split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (!object.isEmpty())
            result.insert(object.value("file").toString(), object);
    }
    return result;
}

TEST_F(ImportCommand, EveryRecordingIsImportedWithTheValuesOfAnalyseAndScore)
{
    KALVORA_REQUIRE_TESTDATA();
    const QDir igc(QString::fromStdString(kalvora::test::testdataDir()) + "/igc");
    QStringList files;
    for (const QString& name : igc.entryList({"*.igc"}))
        files.append(igc.filePath(name));
    ASSERT_EQ(files.size(), 16);

    const QJsonObject summary = run(QStringList{"import", logbook()} + files + QStringList{"--offline"});
    EXPECT_EQ(summary.value("imported").toArray().size(), 16);
    EXPECT_TRUE(summary.value("failed").toArray().isEmpty());
    const QJsonArray flights = summary.value("flights").toArray();
    ASSERT_EQ(flights.size(), 16);

    // Hand-checked from each take-off's place and date: England before the
    // clocks went forward, France, Belgium and the Julian Alps in March
    // (winter time), north-east Brazil (no daylight saving), the Alps, the
    // Pyrenees and France in summer.
    const QHash<QString, double> localOffsetH{
        {"MurphyJ-2022-03-26.igc", 0},
        {"curvature-of-earth-triangle.igc", 2},
        {"d3p.igc", 2},
        {"discontinuity.igc", 1},
        {"dup-fixes.igc", 2},
        {"fai.igc", 2},
        {"flat-xcontest-106.82.igc", 1},
        {"flat-xcontest-8.01.igc", 2},
        {"freeflight-xcontest-66.46.igc", -3},
        {"hiking-up.igc", 2},
        {"line.igc", -3},
        {"marcourt.igc", 1},
        {"record_de_france.igc", 2},
        {"tri.igc", 2},
        {"trifai-xcontest-189.65.igc", 2},
        {"zigzag.igc", 2},
    };
    const bool haveZoneinfo =
        QFile::exists("/usr/share/zoneinfo/zone1970.tab") || QFile::exists("/usr/share/zoneinfo/zone.tab");

    const auto analysed = byFile(runCli(QStringList{"analyse"} + files, m_env).out);
    const auto scored = byFile(runCli(QStringList{"score"} + files, m_env, 240000).out);
    for (const QJsonValue& value : flights) {
        const QJsonObject flight = value.toObject();
        const QString file = flight.value("file").toString();
        SCOPED_TRACE(file.toStdString());
        ASSERT_TRUE(analysed.contains(file));
        ASSERT_TRUE(scored.contains(file));
        const QJsonObject a = analysed[file];
        const QJsonObject s = scored[file];
        EXPECT_EQ(QDateTime::fromString(flight.value("startUTC").toString(), Qt::ISODate),
                  QDateTime::fromString(a.value("startUTC").toString(), Qt::ISODate));
        EXPECT_EQ(QDateTime::fromString(flight.value("landingUTC").toString(), Qt::ISODate),
                  QDateTime::fromString(a.value("landingUTC").toString(), Qt::ISODate));
        for (const auto& [mine, theirs] : {std::pair{"maxAltitude", "maxAltitude"}, {"minAltitude", "minAltitude"},
                                           {"cummoAltitude", "cumulatedClimb"}, {"maxSpeed", "maxSpeed"},
                                           {"meanSpeed", "meanSpeed"}, {"maxVario", "maxVario"},
                                           {"minVario", "minVario"}})
            EXPECT_EQ(flight.value(mine).toDouble(), a.value(theirs).toDouble()) << mine;
        EXPECT_EQ(flight.value("startLatitude").toDouble(), a.value("takeoff").toObject().value("lat").toDouble());
        EXPECT_EQ(flight.value("landingAltitude").toDouble(), a.value("landing").toObject().value("alt").toDouble());
        EXPECT_EQ(flight.value("validIGC").toBool(), a.value("valid").toBool());
        EXPECT_EQ(flight.value("freeDistance").toDouble(), s.value("freeKm").toDouble());
        EXPECT_EQ(flight.value("flatDistance").toDouble(), s.value("flatKm").toDouble());
        EXPECT_EQ(flight.value("faiDistance").toDouble(), s.value("faiKm").toDouble());
        const QJsonArray mine = flight.value("scorePoints").toArray();
        const QJsonArray theirs = s.value("points").toArray();
        ASSERT_EQ(mine.size(), theirs.size());
        for (qsizetype i = 0; i < mine.size(); ++i) {
            EXPECT_EQ(mine[i].toObject().value("lat").toDouble(), theirs[i].toArray()[0].toDouble());
            EXPECT_EQ(mine[i].toObject().value("lon").toDouble(), theirs[i].toArray()[1].toDouble());
        }
        // Offline: no names, but the offset of the nearest time zone on the day.
        EXPECT_TRUE(flight.value("startLocation").isNull());
        if (haveZoneinfo) {
            const QString name = QFileInfo(file).fileName();
            ASSERT_TRUE(localOffsetH.contains(name)) << name.toStdString();
            EXPECT_EQ(flight.value("utcOffset").toDouble(), localOffsetH.value(name));
        }
    }

    // The same file again is known by its bytes and left out unasked; a copy
    // with one more line overlaps its own flight and is skipped.
    const QString changed = m_dir.filePath("changed.igc");
    {
        QFile original(files.first());
        QFile copy(changed);
        ASSERT_TRUE(original.open(QIODevice::ReadOnly) && copy.open(QIODevice::WriteOnly));
        copy.write(original.readAll() + "LXXXcopied\r\n");
    }
    const QJsonObject again =
        run(QStringList{"import", logbook(), files.first(), changed, "--overlap", "skip", "--offline"});
    EXPECT_EQ(again.value("duplicates").toArray(), QJsonArray{files.first()});
    EXPECT_EQ(again.value("skipped").toArray(), QJsonArray{changed});
    EXPECT_TRUE(again.value("imported").toArray().isEmpty());
}

TEST_F(ImportCommand, NamesPlacesAndOffsetThroughTheConfiguredServices)
{
    LocalHttpServer services([](const HttpServerRequest& request) {
        if (request.path.startsWith("/timezone/"))
            return HttpServerResponse{200, "text/xml", "<timezone><offset>1</offset><dst>True</dst></timezone>"};
        return HttpServerResponse{200, "text/xml; charset=utf-8",
                                  "<reversegeocode><addressparts><city>Innsbruck</city><county>Innsbruck</county>"
                                  "<state>Tirol</state><country>\xc3\x96sterreich</country></addressparts>"
                                  "</reversegeocode>"};
    });
    m_env.insert("KALVORA_NOMINATIM_URL", services.baseUrl().toString());
    m_env.insert("KALVORA_TIMEZONE_URL", services.baseUrl().toString());
    const QString file = writeFile("a.igc", syntheticIGC(10 * 3600, 1800));
    const QJsonObject summary = run({"import", logbook(), file, "--overlap", "import"});
    const QJsonObject flight = summary.value("flights").toArray().at(0).toObject();
    EXPECT_EQ(flight.value("startLocation").toString(), QStringLiteral("Innsbruck, Tirol, Österreich"));
    EXPECT_EQ(flight.value("landingLocation").toString(), QStringLiteral("Innsbruck, Tirol, Österreich"));
    EXPECT_EQ(flight.value("utcOffset").toDouble(), 2);
    // Two look-ups of two requests each: take-off and landing.
    EXPECT_EQ(services.requestCount(), 4);
}

TEST_F(ImportCommand, UnreachableServicesLeaveThePlacesEmptyWithoutFailing)
{
    const QString file = writeFile("a.igc", syntheticIGC(10 * 3600, 1800));
    const QJsonObject summary = run({"import", logbook(), file});
    const QJsonObject flight = summary.value("flights").toArray().at(0).toObject();
    EXPECT_TRUE(flight.value("startLocation").isNull());
    EXPECT_GE(flight.value("freeDistance").toDouble(), 0);
}

TEST_F(ImportCommand, OverlapAnswersFromTheOptionAndTheTerminal)
{
    const QString old = writeFile("old.igc", syntheticIGC(10 * 3600, 3600));
    ASSERT_EQ(run({"import", logbook(), old, "--offline"}).value("imported").toArray().size(), 1);
    const QString overlapping = writeFile("new.igc", syntheticIGC(10 * 3600 + 1800, 3600));
    const QString touching = writeFile("touch.igc", syntheticIGC(9 * 3600, 3600));

    // Terminal: an answer that is no choice is asked again; end of input cancels.
    const auto asked = runCliOnTerminal({"import", logbook(), touching, overlapping, "--offline"}, m_env, "x\ns\n");
    ASSERT_EQ(asked.exitCode, 0) << asked.err.toStdString();
    const QJsonObject askedSummary = QJsonDocument::fromJson(asked.out).object();
    EXPECT_EQ(askedSummary.value("imported").toArray(), QJsonArray{touching});
    EXPECT_EQ(askedSummary.value("skipped").toArray(), QJsonArray{overlapping});
    const auto cancelled = runCliOnTerminal({"import", logbook(), overlapping, "--offline"}, m_env, "\x04");
    EXPECT_EQ(cancelled.exitCode, 0) << cancelled.err.toStdString();
    EXPECT_TRUE(QJsonDocument::fromJson(cancelled.out).object().value("cancelled").toBool());

    // Without a terminal there is nobody to ask: the run is refused, naming
    // the option, and answers piped in are not taken for the pilot's.
    const auto piped = runCli({"import", logbook(), overlapping, "--offline"}, m_env, 60000, "r\n");
    EXPECT_EQ(piped.exitCode, 2);
    EXPECT_TRUE(piped.err.contains("--overlap")) << piped.err.toStdString();
    EXPECT_TRUE(QJsonDocument::fromJson(piped.out).object().value("imported").toArray().isEmpty());

    const QJsonObject replaced = run({"import", logbook(), overlapping, "--overlap", "replace", "--offline"});
    EXPECT_EQ(replaced.value("replaced").toInt(), 1);
    EXPECT_EQ(replaced.value("imported").toArray(), QJsonArray{overlapping});

    const QJsonObject rescored = run({"rescore", logbook(), "--offline"});
    EXPECT_EQ(rescored.value("rescored").toInt(), 2);
    for (const QJsonValue& flight : rescored.value("flights").toArray())
        EXPECT_GE(flight.toObject().value("freeDistance").toDouble(), 0);
}

TEST_F(ImportCommand, BadInputIsReported)
{
    const QString notes = writeFile("notes.igc", "no flight here\n");
    const QJsonObject summary = run({"import", logbook(), notes, "--offline"}, 1);
    ASSERT_EQ(summary.value("failed").toArray().size(), 1);
    EXPECT_EQ(summary.value("failed").toArray()[0].toObject().value("file").toString(), notes);
    EXPECT_FALSE(summary.value("failed").toArray()[0].toObject().value("reason").toString().isEmpty());

    struct Case
    {
        const char* name;
        QStringList args;
        int exitCode;
    };
    const Case cases[] = {
        {"NoFiles", {"import", logbook()}, 2},
        {"BadOverlapChoice", {"import", logbook(), notes, "--overlap", "maybe"}, 2},
        {"UnknownOption", {"import", logbook(), notes, "--fast"}, 2},
        {"LogbookIsAFolder", {"import", m_dir.path(), notes, "--offline"}, 1},
        {"RescoreMissingLogbook", {"rescore", m_dir.filePath("none.kalvora")}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto result = runCli(c.args, m_env);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_FALSE(result.err.isEmpty());
    }
}

} // namespace
