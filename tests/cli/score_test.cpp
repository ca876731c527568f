#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "clirunner.h"
#include "xc/xcshapes.h"

using kalvora::test::runCli;

namespace {

// A flight around an equilateral triangle of 10 km sides, back at the start,
// one fix every 10 s at 36 km/h, as an instrument would record it.
QByteArray triangleFlight()
{
    using kalvora::test::PlanePoint;
    const PlanePoint a{0, 0}, b{10000, 0}, c = kalvora::test::thirdVertex(10000, 10000, 10000);
    QByteArray text = "AXXX001\r\nHFDTE020715\r\nHFGTYGLIDERTYPE:Test\r\n";
    int t = 36000;
    for (const auto& fix : kalvora::test::fixesAlong({a, b, c, a}, 100)) {
        text += QByteArray::fromStdString(kalvora::test::bRecord(fix, t)) + "\r\n";
        t += 10;
    }
    return text;
}

QJsonObject onlyLine(const QByteArray& out)
{
    const QList<QByteArray> lines = out.trimmed().split('\n');
    EXPECT_EQ(lines.size(), 1);
    return QJsonDocument::fromJson(lines.value(0)).object();
}

} // namespace

TEST(CliScore, ScoresAFlightWithThePointsOfEitherSystem)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("triangle.igc");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(triangleFlight());
    file.close();

    const auto run = runCli({"score", path});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject o = onlyLine(run.out);
    EXPECT_EQ(o["file"].toString(), path);
    EXPECT_GT(o["fixes"].toInt(), 300);
    EXPECT_NEAR(o["faiKm"].toDouble(), 30.0, 0.02);
    EXPECT_EQ(o["scoreType"].toInt(), 2);
    EXPECT_NEAR(o["distanceKm"].toDouble(), 30.0, 0.02);
    EXPECT_NEAR(o["xcPoints"].toDouble(), 1.4 * o["faiKm"].toDouble(), 1e-9);
    EXPECT_GE(o["seconds"].toDouble(), 0.0);
    const QJsonArray points = o["points"].toArray();
    ASSERT_EQ(points.size(), 5);
    for (const auto& p : points) {
        // Around 0° N 0° E, east of the meridian: east positive.
        EXPECT_NEAR(p.toArray()[0].toDouble(), 0.05, 0.1);
        EXPECT_GE(p.toArray()[1].toDouble(), -0.001);
    }

    const auto other = runCli({"score", path, "--points-type", "1"});
    ASSERT_EQ(other.exitCode, 0);
    EXPECT_NEAR(onlyLine(other.out)["xcPoints"].toDouble(), 2.0 * o["faiKm"].toDouble(), 1e-9);
}

TEST(CliScore, BadInputFailsWithAMessage)
{
    QTemporaryDir dir;
    const auto missing = runCli({"score", dir.filePath("missing.igc")});
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_TRUE(missing.out.isEmpty());
    EXPECT_TRUE(missing.err.contains("missing.igc"));

    const QString junk = dir.filePath("junk.igc");
    QFile file(junk);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not an IGC file\n");
    file.close();
    const auto run = runCli({"score", junk});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.err.contains("junk.igc"));

    EXPECT_EQ(runCli({"score"}).exitCode, 2);
    EXPECT_EQ(runCli({"score", junk, "--points-type", "x"}).exitCode, 2);
}
