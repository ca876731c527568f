#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "clirunner.h"
#include "support/testdata.h"

using kalvora::test::runCli;

namespace {

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

TEST(CliAnalyse, OneObjectPerFileAndFailureForTheBadOnes)
{
    KALVORA_REQUIRE_TESTDATA();
    QTemporaryDir dir;
    const QString empty = writeFile(dir, QStringLiteral("empty.igc"), QByteArray("AXXX\r\nHFDTE020715\r\n"));
    const QString good = QString::fromStdString(kalvora::test::igcPath("curvature-of-earth-triangle.igc"));
    const auto run =
        runCli({QStringLiteral("analyse"), empty, good, dir.filePath(QStringLiteral("missing.igc"))});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.err.contains("empty.igc")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("missing.igc")) << run.err.toStdString();

    const QList<QByteArray> lines = run.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 1);
    const QJsonObject flight = QJsonDocument::fromJson(lines[0]).object();
    EXPECT_EQ(flight.value("file").toString(), good);
    EXPECT_EQ(flight.value("date").toString(), "2019-07-16");
    EXPECT_EQ(flight.value("startTime").toString(), "12:52:15");
    EXPECT_EQ(flight.value("endTime").toString(), "16:36:50");
    EXPECT_EQ(flight.value("duration").toInteger(), 13475);
    EXPECT_EQ(flight.value("startUTC").toString(), "2019-07-16T12:52:15Z");
    EXPECT_EQ(flight.value("landingUTC").toString(), "2019-07-16T16:36:50Z");
    EXPECT_EQ(flight.value("takeoff").toObject().value("alt").toDouble(), 1094);
    EXPECT_NEAR(flight.value("takeoff").toObject().value("lat").toDouble(), 48.19601667, 1e-6);
    EXPECT_EQ(flight.value("landing").toObject().value("alt").toDouble(), 498);
    EXPECT_EQ(flight.value("maxAltitude").toDouble(), 2524);
    EXPECT_TRUE(flight.value("valid").toBool());
    EXPECT_EQ(flight.value("glider").toString(), "NIVIUK Artik 5");
    for (const char* key :
         {"minAltitude", "cumulatedClimb", "maxSpeed", "meanSpeed", "maxVario", "minVario", "linearDistance"})
        EXPECT_TRUE(flight.value(key).isDouble()) << key;
}

TEST(CliSign, WritesTheMarkedRecord)
{
    QTemporaryDir dir;
    const QString path =
        writeFile(dir, QStringLiteral("t.igc"),
                  QByteArray("AOLD\nHFDTE020715\nB1101355206343N00006198EA0058700558\nGOLD\n"));
    const auto kept = runCli({QStringLiteral("sign"), path});
    ASSERT_EQ(kept.exitCode, 0) << kept.err.toStdString();
    EXPECT_TRUE(kept.out.startsWith("AXKV Kalvora Software Version 1.0\r\nAOLD\r\n"));
    EXPECT_TRUE(kept.out.contains("\r\nLXKV Kalvora v"));
    EXPECT_TRUE(kept.out.endsWith("\r\n"));
    EXPECT_EQ(kept.out.count("\r\nG"), 3);

    const auto replaced = runCli({QStringLiteral("sign"), path, QStringLiteral("--replace")});
    ASSERT_EQ(replaced.exitCode, 0);
    EXPECT_FALSE(replaced.out.contains("AOLD"));
    EXPECT_EQ(replaced.out.count("\r\nG"), 2);

    EXPECT_NE(runCli({QStringLiteral("sign"), dir.filePath(QStringLiteral("none.igc"))}).exitCode, 0);
    EXPECT_NE(runCli({QStringLiteral("sign"), writeFile(dir, QStringLiteral("e.igc"), QByteArray("\n\n"))})
                  .exitCode,
              0);
}

} // namespace
