#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include "clirunner.h"
#include "model/flight.h"
#include "model/pilot.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"
#include "support/httpserver.h"
#include "support/testdata.h"

namespace kalvora::test {
namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class OutputCommands : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_env = kalvora::test::freshUserEnvironment(m_dir.path());
    }

    QString logbook() const { return m_dir.filePath("book.kalvora"); }

    QJsonObject run(const QStringList& args, int expectedExit = 0)
    {
        const CliRun result = runCli(args, m_env, 240000);
        EXPECT_EQ(result.exitCode, expectedExit) << result.err.toStdString();
        m_lastError = result.err;
        return QJsonDocument::fromJson(result.out).object();
    }

    QTemporaryDir m_dir;
    QProcessEnvironment m_env;
    QByteArray m_lastError;
};

TEST_F(OutputCommands, ExportedFilesAreByteIdenticalToTheImportedOnesAndNeverReplaced)
{
    KALVORA_REQUIRE_TESTDATA();
    // Every shared recording, and one whose header holds Latin-1 bytes beside its security record.
    QHash<QByteArray, QByteArray> originals; // hash -> bytes
    QStringList files;
    for (const QString& name : QDir(QString::fromStdString(testdataDir()) + "/igc").entryList({"*.igc"}, QDir::Files))
        files << QString::fromStdString(igcPath(name.toStdString()));
    QByteArray latin1 = readAll(files.first());
    latin1.insert(latin1.indexOf('\n') + 1, "HFPLTPILOTINCHARGE:J\xfcrg M\xfcller \xe9t\xe9\r\n");
    ASSERT_GT(latin1.indexOf("\nG"), 0);
    const QString latin1Path = m_dir.filePath("latin1.igc");
    {
        QFile file(latin1Path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(latin1);
    }
    files << latin1Path;
    for (const QString& path : files) {
        const QByteArray bytes = readAll(path);
        originals.insert(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256), bytes);
    }
    const QJsonObject imported = run(QStringList{"import", logbook()} + files + QStringList{"--offline"});
    ASSERT_FALSE(imported.isEmpty());

    const QString out = m_dir.filePath("out");
    ASSERT_TRUE(QDir().mkpath(out));
    const QJsonObject exported = run({"export", logbook(), "--igc", out});
    EXPECT_TRUE(exported["failed"].toArray().isEmpty());
    const QJsonArray written = exported["written"].toArray();
    ASSERT_EQ(written.size(), files.size());
    QSet<QByteArray> seen;
    for (const QJsonValue& entry : written) {
        const QString path = entry["file"].toString();
        EXPECT_TRUE(path.startsWith(out)) << path.toStdString();
        const QByteArray hash = QCryptographicHash::hash(readAll(path), QCryptographicHash::Sha256);
        EXPECT_TRUE(originals.contains(hash)) << path.toStdString() << " differs from every imported file";
        seen.insert(hash);
    }
    EXPECT_EQ(seen.size(), originals.size());

    // A second export into the same folder takes new names and leaves the first files as they are.
    const QString oneId = written[0]["id"].toString();
    const QString firstFile = written[0]["file"].toString();
    const QJsonObject again = run({"export", logbook(), "--igc", out, "--flight", oneId});
    ASSERT_EQ(again["written"].toArray().size(), 1);
    const QString secondFile = again["written"][0]["file"].toString();
    EXPECT_NE(secondFile, firstFile);
    EXPECT_EQ(readAll(secondFile), readAll(firstFile));
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden).size(), files.size() + 1);

    // KML of one flight: one coordinate per fix, longitude first.
    const QString kmlPath = m_dir.filePath("track.kml");
    const QJsonObject kml = run({"kml", logbook(), "--flight", oneId, "-o", kmlPath});
    EXPECT_GT(kml["points"].toInt(), 100);
    QXmlStreamReader xml(readAll(kmlPath));
    int points = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("coordinates")) {
            const QStringList tuples = xml.readElementText().split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
            points += tuples.size();
            const QStringList first = tuples.first().split(',');
            ASSERT_EQ(first.size(), 3);
            EXPECT_LT(std::abs(first[0].toDouble()), 180);
            EXPECT_LT(std::abs(first[1].toDouble()), 90);
        }
    }
    EXPECT_FALSE(xml.hasError());
    EXPECT_EQ(points, kml["points"].toInt());
}

TEST_F(OutputCommands, FlightsThatCannotBeExportedAreListedUnderFailed)
{
    {
        auto store = PersistentStore::open(logbook(), ObjectModel::logBook());
        ASSERT_TRUE(store.ok());
        ObjectContext* ctx = (*store)->mainContext();
        auto* manual = ctx->insert<Flight>();
        manual->setStartUTC(QDateTime(QDate(2024, 8, 1), QTime(9, 0), QTimeZone::utc()));
        manual->setStartLocation("Hand entry");
        auto* unsigned_ = ctx->insert<Flight>();
        unsigned_->setStartUTC(QDateTime(QDate(2024, 8, 2), QTime(9, 0), QTimeZone::utc()));
        unsigned_->setIgcData("AXXX\r\nHFDTE020824\r\nB0900004630000N00715000EA0123401250\r\n");
        ASSERT_TRUE(ctx->save().ok());
    }
    const QString out = m_dir.filePath("out");
    ASSERT_TRUE(QDir().mkpath(out));
    const QJsonObject result = run({"export", logbook(), "--igc", out}, 1);
    EXPECT_TRUE(result["written"].toArray().isEmpty());
    const QJsonArray failed = result["failed"].toArray();
    ASSERT_EQ(failed.size(), 2);
    EXPECT_TRUE(failed[0]["flight"].toString().contains("Hand entry"));
    EXPECT_FALSE(failed[1]["reason"].toString().isEmpty());

    run({"export", logbook(), "--igc", out, "--flight", "x-kalvora://nothing/Flight/p99"}, 2);
    run({"export", logbook()}, 2);
}

/** The text of a PDF as poppler's pdftotext reads it. */
QString pdfText(const QString& pdf)
{
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        return {};
    QProcess process;
    process.start("pdftotext", {"-layout", pdf, "-"});
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

TEST_F(OutputCommands, PrintWritesAPdfWithThePilotAndEveryFlight)
{
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    const QStringList places{"Fiesch", "Grindelwald", "Niesen"};
    {
        auto store = PersistentStore::open(logbook(), ObjectModel::logBook());
        ASSERT_TRUE(store.ok());
        ObjectContext* ctx = (*store)->mainContext();
        auto* pilot = ctx->insert<Pilot>();
        pilot->setFirstname("Zoraida");
        pilot->setLastname("Quistgaard");
        pilot->setCity("Thun");
        for (int i = 0; i < places.size(); ++i) {
            auto* flight = ctx->insert<Flight>();
            flight->setStartUTC(QDateTime(QDate(2024, 7, 10 + i), QTime(10, 0), QTimeZone::utc()));
            flight->setLandingUTC(QDateTime(QDate(2024, 7, 10 + i), QTime(11, 30), QTimeZone::utc()));
            flight->setStartLocation(places[i]);
            flight->setNotice(i == 0 ? "Strong <thermals> & wind" : "");
            flight->setFreeDistance(-1);
        }
        ASSERT_TRUE(ctx->save().ok());
    }
    const QString pdf = m_dir.filePath("book.pdf");
    const QJsonObject result = run({"print", logbook(), "--pdf", pdf});
    EXPECT_EQ(result["flights"].toInt(), 3);
    EXPECT_EQ(result["pages"].toInt(), 1);
    const QString text = pdfText(pdf);
    EXPECT_TRUE(text.contains("Zoraida Quistgaard")) << text.toStdString();
    for (const QString& place : places)
        EXPECT_TRUE(text.contains(place)) << place.toStdString();
    EXPECT_TRUE(text.contains("<thermals>")) << text.toStdString();
    EXPECT_FALSE(text.contains("-1"));

    // The user's own template; an unknown token is refused and writes nothing.
    const QString tmpl = m_dir.filePath("mine.htm");
    QFile file(tmpl);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<p>@@@@@pilot_lastname@@@@@ @@@@@pilot_country@@@@@</p>\n@@@@@flight_data_start@@@@@\n"
               "<p>Site @@@@@flight_start_location@@@@@</p>\n@@@@@flight_data_end@@@@@\n");
    file.close();
    const QString mine = m_dir.filePath("mine.pdf");
    run({"print", logbook(), "--template", tmpl, "--pdf", mine});
    EXPECT_TRUE(pdfText(mine).contains("Site Grindelwald"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<p>@@@@@pilot_nickname@@@@@</p>\n@@@@@flight_data_start@@@@@\nx\n@@@@@flight_data_end@@@@@\n");
    file.close();
    const QString refused = m_dir.filePath("refused.pdf");
    run({"print", logbook(), "--template", tmpl, "--pdf", refused}, 1);
    EXPECT_TRUE(m_lastError.contains("Error while printing."));
    EXPECT_FALSE(QFile::exists(refused));
}

TEST_F(OutputCommands, FiveHundredFlightsArePrintedOnManyPages)
{
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    {
        auto store = PersistentStore::open(logbook(), ObjectModel::logBook());
        ASSERT_TRUE(store.ok());
        ObjectContext* ctx = (*store)->mainContext();
        for (int i = 0; i < 500; ++i) {
            auto* flight = ctx->insert<Flight>();
            flight->setStartUTC(QDateTime(QDate(2020, 1, 1).addDays(i), QTime(10, 0), QTimeZone::utc()));
            flight->setLandingUTC(QDateTime(QDate(2020, 1, 1).addDays(i), QTime(11, 0), QTimeZone::utc()));
            flight->setStartLocation(QStringLiteral("Site%1").arg(i, 3, 10, QLatin1Char('0')));
        }
        ASSERT_TRUE(ctx->save().ok());
    }
    const QString pdf = m_dir.filePath("many.pdf");
    const QJsonObject result = run({"print", logbook(), "--pdf", pdf});
    EXPECT_GE(result["pages"].toInt(), 500 / 20);
    const QString text = pdfText(pdf);
    EXPECT_TRUE(text.contains("Site000"));
    EXPECT_TRUE(text.contains("Site499"));
    EXPECT_EQ(text.count(QRegularExpression("Site\\d{3}")), 500);
}

TEST_F(OutputCommands, StatsCountsTheFlightTimePerYearAndGlider)
{
    ASSERT_TRUE(PersistentStore::open(logbook(), ObjectModel::logBook()).ok()); // a logbook without flights
    const QJsonObject none = run({"stats", logbook()});
    EXPECT_EQ(none["count"].toInt(), 0);
    EXPECT_TRUE(none["averageSeconds"].isNull());
    {
        auto store = PersistentStore::open(logbook(), ObjectModel::logBook());
        ASSERT_TRUE(store.ok());
        ObjectContext* ctx = (*store)->mainContext();
        const struct
        {
            QDate date;
            int minutes;
            const char* glider;
        } flights[] = {{{2023, 5, 1}, 90, "Alpha"}, {{2024, 6, 1}, 30, "Alpha"}, {{2024, 7, 1}, 60, "Beta"}};
        for (const auto& f : flights) {
            auto* flight = ctx->insert<Flight>();
            flight->setStartUTC(QDateTime(f.date, QTime(10, 0), QTimeZone::utc()));
            flight->setLandingUTC(QDateTime(f.date, QTime(10, 0), QTimeZone::utc()).addSecs(f.minutes * 60));
            flight->setGlider(f.glider);
        }
        // New Year's Eve at 23:30 UTC is already the next year at +2.
        auto* late = ctx->insert<Flight>();
        late->setStartUTC(QDateTime(QDate(2024, 12, 31), QTime(23, 30), QTimeZone::utc()));
        late->setLandingUTC(QDateTime(QDate(2025, 1, 1), QTime(0, 0), QTimeZone::utc()));
        late->setUtcOffset(2);
        late->setGlider("Beta");
        ASSERT_TRUE(ctx->save().ok());
    }
    const QJsonObject stats = run({"stats", logbook()});
    EXPECT_EQ(stats["count"].toInt(), 4);
    EXPECT_EQ(stats["totalSeconds"].toInt(), 210 * 60);
    EXPECT_EQ(stats["averageSeconds"].toInt(), 210 * 60 / 4);
    EXPECT_EQ(stats["total"].toString(), "0:03:30:00");
    EXPECT_EQ(stats["average"].toString(), "00:52:30");
    const QJsonArray years = stats["perYear"].toArray();
    ASSERT_EQ(years.size(), 3);
    EXPECT_EQ(years[0].toObject(), (QJsonObject{{"year", 2023}, {"count", 1}, {"totalSeconds", 5400}}));
    EXPECT_EQ(years[1].toObject(), (QJsonObject{{"year", 2024}, {"count", 2}, {"totalSeconds", 5400}}));
    EXPECT_EQ(years[2].toObject(), (QJsonObject{{"year", 2025}, {"count", 1}, {"totalSeconds", 1800}}));
    const QJsonArray gliders = stats["perGlider"].toArray();
    ASSERT_EQ(gliders.size(), 2);
    EXPECT_EQ(gliders[1].toObject(), (QJsonObject{{"glider", "Beta"}, {"count", 2}, {"totalSeconds", 5400}}));
}

} // namespace
} // namespace kalvora::test
