#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QFile>

#include <sys/stat.h>

#include "support/germannumbers.h"
#include "waypoints/waypointfile.h"
#include "waypoints/wptimporter.h"

using kalvora::WaypointRecord;
using kalvora::WptEntry;
using kalvora::WPTImporter;

namespace {

WaypointRecord rec(const QString& name, double lat, double lon, double alt)
{
    return WaypointRecord{name, lat, lon, alt, alt, 0};
}

QByteArray latin1(const char* text)
{
    return QByteArray(text);
}

QByteArray file(std::initializer_list<const char*> lines, const char* eol = "\r\n")
{
    QByteArray bytes;
    for (const char* line : lines)
        bytes += QByteArray(line) + eol;
    return bytes;
}

} // namespace

TEST(WptWriting, IdentifierIsShortNameWithoutSpacesCutToSixWhenNineOrMore)
{
    struct Case
    {
        const char* shortName;
        const char* name;
        const char* id;
    } cases[] = {
        {"Hohe Salve", "Take off", "HoheSa"}, {"ABCDEFGH", "x", "ABCDEFGH"},   {"ABCDEFG", "x", "ABCDEFG"},
        {"ABCDEFGHI", "x", "ABCDEF"},         {"", "Landing Field", "Landin"}, {" ", "Lz", "Lz"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WPTImporter::identifierFor(QString::fromUtf8(c.shortName), QString::fromUtf8(c.name)),
                  QString::fromUtf8(c.id))
            << c.shortName;
}

TEST(WptWriting, FileTextHasHeaderWaypointAndExtensionLinesInLatin1)
{
    const QString text = WPTImporter::getWPTFileFromWaypoints(
        {WptEntry{QStringLiteral("Hohe Salve"), QStringLiteral("Take off"), -33500000, 151250000, 1829}});
    const QByteArray bytes = WPTImporter::encodeFile(text);
    EXPECT_EQ(bytes, latin1("G  WGS 84\r\nU  1\r\n"
                            "W  HoheSa A 33.5000000000\xBAS 151.2500000000\xBA"
                            "E 27-MAR-62 00:00:00 1829.000000 Take off\r\n"
                            "w Waypoint,0,-1.0,16777215,255,1,7,,0.0,\r\n"));
    EXPECT_EQ(WPTImporter::getWPTFileFromWaypoints(QList<WptEntry>{}),
              QStringLiteral("G  WGS 84\r\nU  1\r\n"));
}

TEST(WptWriting, CoordinateTokens)
{
    EXPECT_EQ(WPTImporter::latitudeStringFromCoord(47.5), QStringLiteral("47.5000000000\u00BAN"));
    EXPECT_EQ(WPTImporter::longitudeStringFromCoord(-11.25), QStringLiteral("11.2500000000\u00BAW"));
    EXPECT_EQ(WPTImporter::latitudeStringFromCoord(-0.0000001), QStringLiteral("0.0000001000\u00BAS"));
}

TEST(WptWriting, NamelessOrUnencodableWaypointsStayReadable)
{
    const QString text = WPTImporter::getWPTFileFromWaypoints(
        {WptEntry{QString(), QString(), 47000000, 11000000, 0},
         WptEntry{QStringLiteral("Kyiv"), QStringLiteral("Київ\r\nTwo"), 50450000, 30523000, 179}});
    const QByteArray bytes = WPTImporter::encodeFile(text);
    // An empty identifier would shift the tokens; a line break would split the line.
    EXPECT_TRUE(bytes.contains("W  WP1 A 47.0000000000\xBAN"));
    EXPECT_TRUE(bytes.contains("179.000000 ????  Two\r\n"));
    const auto back = WPTImporter::parseWptText(bytes);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].shortName, QStringLiteral("WP1"));
    EXPECT_EQ(back[1].shortName, QStringLiteral("???? Two"));
}

TEST(WptReading, RoundTripKeepsCoordinatesAltitudeAndName)
{
    const QList<WptEntry> entries{
        {QStringLiteral("Hohe Salve"), QStringLiteral("Hohe Salve  Gipfel"), 47123456, 11123456, 1829},
        {QStringLiteral("SYD"), QStringLiteral("Sydney"), -33500000, 151250000, 0},
        {QStringLiteral("W"), QStringLiteral("West"), 1, -179999999, -5},
        {QStringLiteral("Öd"), QStringLiteral("Ödenwinkel"), 47000000, 12000000, 2000},
    };
    const auto points =
        WPTImporter::parseWptText(WPTImporter::encodeFile(WPTImporter::getWPTFileFromWaypoints(entries)));
    ASSERT_EQ(points.size(), size_t(entries.size()));
    for (size_t i = 0; i < points.size(); ++i) {
        const WptEntry& e = entries[qsizetype(i)];
        // The reader keeps 7 decimals (10 characters of the token), well within a micro-degree.
        EXPECT_NEAR(points[i].latitude, double(e.latitude) / 1e6, 1e-6) << i;
        EXPECT_NEAR(points[i].longitude, double(e.longitude) / 1e6, 1e-6) << i;
        EXPECT_EQ(points[i].altitude, double(e.altitude)) << i;
    }
    // Runs of spaces separate tokens, so the description comes back with single spaces.
    EXPECT_EQ(points[0].shortName, QStringLiteral("Hohe Salve Gipfel"));
    EXPECT_EQ(points[3].shortName, QStringLiteral("Ödenwinkel"));
    // 151.2500000000ºE is read as 151.250000E.
    EXPECT_DOUBLE_EQ(points[1].longitude, 151.25);
}

TEST(WptReading, OneWaypointLineGivesOneRecord)
{
    const auto points = WPTImporter::parseWptText(file({"G  WGS 84", "U  1",
                                                        "W  X A 47.1234567000\xBAN 11.1234567000\xBA"
                                                        "E 27-MAR-62 00:00:00 1234.000000 Hohe  Salve",
                                                        "w Waypoint,0,-1.0,16777215,255,1,7,,0.0,"}));
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0], (rec(QStringLiteral("Hohe Salve"), 47.1234567, 11.1234567, 1234)));
}

TEST(WptReading, HeaderRulesAndUnreadableLines)
{
    const char* good = "W  X A 47.5000000000\xBAN 11.2500000000\xBAW 27-MAR-62 00:00:00 100.000000 Good";
    struct Case
    {
        const char* what;
        QByteArray text;
        size_t records;
    } cases[] = {
        {"other datum", file({"G  NAD27 CONUS", "U  1", good}), 0},
        {"datum compared without case", file({"G  wgs 84", "U  1", good}), 1},
        {"unit line without 1", file({"G  WGS 84", "U  2", good}), 0},
        {"waypoint line before unit line ignored", file({"G  WGS 84", good, "U  1"}), 0},
        {"LF line ends", file({"G  WGS 84", "U  1", good}, "\n"), 1},
        {"no final line end", QByteArray("G  WGS 84\r\nU  1\r\n") + good, 1},
        {"junk before the header", file({"", "x", "GX WGS 84", "G  WGS 84", "U  1", good}), 1},
        {"empty file", QByteArray(), 0},
        {"too few tokens skipped, import goes on",
         file({"G  WGS 84", "U  1", "W  X A 47.5N", "W",
               "W  X A 4\xBAN 11\xBA"
               "E 27-MAR-62 00:00:00 5",
               good}),
         1},
        {"lowercase w and others skipped", file({"G  WGS 84", "U  1", "w W  X", "Wx", "X", good}), 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WPTImporter::parseWptText(c.text).size(), c.records) << c.what;

    // A short coordinate token is read whole rather than dropped.
    const auto shortTokens = WPTImporter::parseWptText(
        file({"G  WGS 84", "U  1", "W  X A 4\xBAN 11\xBAW 27-MAR-62 00:00:00 7 Short"}));
    ASSERT_EQ(shortTokens.size(), 1u);
    EXPECT_EQ(shortTokens[0], (rec(QStringLiteral("Short"), 4, -11, 7)));
}

TEST(WptReading, LinesWithValuesNoPlaceCanHaveAreSkippedAndCounted)
{
    const char* good = "W  X A 47.5000000000\xBAN 11.2500000000\xBAW 27-MAR-62 00:00:00 100.000000 Good";
    const char* bad[] = {
        "W  X A 999.5000000000\xBAN 11.2500000000\xBA" "E 27-MAR-62 00:00:00 100.000000 Latitude 999.5",
        "W  X A 1e308\xBAN 11.2500000000\xBA" "E 27-MAR-62 00:00:00 100.000000 Exponent",
        "W  X A 47.5000000000\xBAN 400.0000000000\xBA" "E 27-MAR-62 00:00:00 100.000000 Longitude 400",
        "W  X A 47.5000000000\xBAQ 11.2500000000\xBA" "E 27-MAR-62 00:00:00 100.000000 Hemisphere Q",
        "W  X A 47.5000000000\xBA" "E 11.2500000000\xBAN 27-MAR-62 00:00:00 100.000000 Letters swapped",
        "W  X A \xBAN \xBA" "E 27-MAR-62 00:00:00 100.000000 No digits",
        "W  X A 47.5000000000\xBAN 11.2500000000\xBA" "E 27-MAR-62 00:00:00 1e12 Altitude 1e12",
        "W  X A 47.5000000000\xBAN 11.2500000000\xBA" "E 27-MAR-62 00:00:00 nan Altitude NaN",
        "W  X A 47.5000000000\xBAN 11.2500000000\xBA" "E 27-MAR-62 00:00:00 high Altitude text",
        "W  X A 0\xBAN 0\xBA" "E 27-MAR-62 00:00:00 5", // no name: a nameless place at 0,0
        "W  X A 47.5N",
    };
    for (const char* line : bad) {
        const auto points = WPTImporter::parseWptText(file({"G  WGS 84", "U  1", line, good}));
        ASSERT_EQ(points.size(), 1u) << line;
        EXPECT_EQ(points[0].shortName, QStringLiteral("Good")) << line;
        // The file reader counts what the line reader left out.
        const auto reading = kalvora::readWaypointData(file({"G  WGS 84", "U  1", line, good}), "x.wpt");
        ASSERT_TRUE(reading) << reading.error();
        EXPECT_EQ(reading->waypoints.size(), 1u) << line;
        EXPECT_EQ(reading->skipped, 1) << line;
    }
    // The edges of the globe are places.
    const auto edges = WPTImporter::parseWptText(file(
        {"G  WGS 84", "U  1", "W  X A 90.0000000000\xBAS 180.0000000000\xBAW 27-MAR-62 00:00:00 -400.000000 Edge"}));
    ASSERT_EQ(edges.size(), 1u);
    EXPECT_EQ(edges[0], (rec(QStringLiteral("Edge"), -90, -180, -400)));
}

TEST(WptReading, SpecialFilesAreRefusedWithoutReading)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("pipe.wpt"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString zero = dir.filePath(QStringLiteral("zero.wpt"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    for (const QString& path : {fifo, zero, dir.path()}) {
        EXPECT_TRUE(WPTImporter(path).getDeviceWaypoints().empty()) << path.toStdString();
        EXPECT_FALSE(kalvora::readWaypointFile(path)) << path.toStdString();
    }
}

TEST(WptReading, CoordFromString)
{
    struct Case
    {
        const char* text;
        double value;
    } cases[] = {
        {"", 0},
        {"47.5000000N", 47.5},
        {"47.5000000S", -47.5},
        {"151.250000E", 151.25},
        {"11.2500000W", -11.25},
        {"11.25w", -11.25},
        {"  3.5 n", 3.5},
        {"abc", 0},
        {"12.5x7", 12.5},
        {"N", 0},
        {"1e2N", 12},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(WPTImporter::coordFromString(QString::fromLatin1(c.text)), c.value) << c.text;
}

TEST(WptReading, MissingFileGivesNothing)
{
    EXPECT_TRUE(WPTImporter().getDeviceWaypoints().empty());
    EXPECT_TRUE(WPTImporter(QStringLiteral("/nonexistent/x.wpt")).getDeviceWaypoints().empty());

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.WPT"));
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(WPTImporter::encodeFile(WPTImporter::getWPTFileFromWaypoints(
        {WptEntry{QStringLiteral("A"), QStringLiteral("Alpha"), 1000000, 2000000, 3}})));
    out.close();
    const auto points = WPTImporter(path).getDeviceWaypoints();
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0], (rec(QStringLiteral("Alpha"), 1, 2, 3)));
}

// The file is read back by other programs and by us: its numbers keep a '.'
// whatever the C library's locale of the thread that writes or reads it.
TEST(WptReading, RoundTripUnderAGermanLocale)
{
    const kalvora::test::GermanNumbers german;
    KALVORA_REQUIRE_GERMAN_NUMBERS(german);
    const QList<WptEntry> entries{
        {QStringLiteral("HS"), QStringLiteral("Hohe Salve"), 47300000, 8100000, 1829},
        {QStringLiteral("SYD"), QStringLiteral("Sydney"), -33500000, -151250000, -5},
    };
    const QString text = WPTImporter::getWPTFileFromWaypoints(entries);
    EXPECT_TRUE(text.contains(QStringLiteral(" 47.3000000000")) &&
                text.contains(QStringLiteral(" 1829.000000 ")))
        << text.toStdString();
    const auto points = WPTImporter::parseWptText(WPTImporter::encodeFile(text));
    ASSERT_EQ(points.size(), 2u);
    EXPECT_DOUBLE_EQ(points[0].latitude, 47.3);
    EXPECT_DOUBLE_EQ(points[0].longitude, 8.1);
    EXPECT_EQ(points[0].altitude, 1829);
    EXPECT_DOUBLE_EQ(points[1].latitude, -33.5);
    EXPECT_DOUBLE_EQ(points[1].longitude, -151.25);
    EXPECT_EQ(points[1].altitude, -5);
}
