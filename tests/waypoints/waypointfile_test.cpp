#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <zip.h>

#include <cmath>

#include "waypoints/waypointfile.h"
#include "waypoints/waypointformats.h"
#include "waypoints/wptimporter.h"

using kalvora::WaypointFileFormat;
using kalvora::WaypointFileReading;
using kalvora::WaypointRecord;
using kalvora::WptEntry;
namespace formats = kalvora::waypointformats;

namespace {

QString dataPath(const char* name)
{
    return QStringLiteral(KALVORA_SOURCE_DIR "/tests/waypoints/data/") + QLatin1String(name);
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString writeTemp(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

/** A zip archive of ENTRIES (name, content) built by libzip, as a KMZ is. */
QByteArray zipArchive(const QTemporaryDir& dir, const QList<std::pair<const char*, QByteArray>>& entries)
{
    const QString path = dir.filePath(QStringLiteral("archive.zip"));
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return {};
    for (const auto& [name, content] : entries) {
        zip_source_t* source =
            zip_source_buffer(archive, content.constData(), zip_uint64_t(content.size()), 0);
        zip_file_add(archive, name, source, ZIP_FL_ENC_UTF_8);
    }
    zip_close(archive);
    return fileBytes(path);
}

kalvora::Result<WaypointFileReading> read(const QByteArray& bytes, bool routes = false)
{
    return kalvora::readWaypointData(bytes, QStringLiteral("test.file"),
                                     kalvora::WaypointReadOptions{routes});
}

/** The hand-written turnpoints, from their degrees and minutes. */
struct Turnpoint
{
    QString name;
    double latitude;
    double longitude;
    double altitude;
};

const QList<Turnpoint>& turnpoints()
{
    static const QList<Turnpoint> points{
        {QStringLiteral("Hohe Salve, Gipfel"), 47 + 27.407 / 60, 12 + 7.407 / 60, 1829},
        {QStringLiteral("Hopfgarten Öd"), 47 + 26.850 / 60, 12 + 9.360 / 60, 620},
        {QStringLiteral("Bright"), -(36 + 43.5 / 60), 146 + 57.420 / 60, 330},
        {QStringLiteral("Torrey Pines – Gliderport"), 32 + 53.376 / 60, -(117 + 15.084 / 60), 304.8},
    };
    return points;
}

const QByteArray cupHeader = "name,code,country,lat,lon,elev,style,rwdir,rwlen,freq,desc\r\n";

} // namespace

TEST(WaypointFileFormats, EveryReaderGivesTheSameTurnpoints)
{
    QTemporaryDir dir;
    const QString kmz = writeTemp(dir, QStringLiteral("turnpoints.kmz"),
                                  zipArchive(dir, {{"files/readme.txt", "not the document"},
                                                   {"doc.kml", fileBytes(dataPath("turnpoints.kml"))}}));
    const struct
    {
        QString path;
        WaypointFileFormat format;
    } files[] = {
        {dataPath("turnpoints.wpt"), WaypointFileFormat::Wpt},
        {dataPath("turnpoints_ozi.wpt"), WaypointFileFormat::OziExplorer},
        {dataPath("turnpoints.cup"), WaypointFileFormat::SeeYouCup},
        {dataPath("turnpoints.gpx"), WaypointFileFormat::Gpx},
        {dataPath("turnpoints.kml"), WaypointFileFormat::Kml},
        {kmz, WaypointFileFormat::Kmz},
    };
    for (const auto& file : files) {
        SCOPED_TRACE(file.path.toStdString());
        const auto reading = kalvora::readWaypointFile(file.path);
        ASSERT_TRUE(reading.ok()) << reading.error();
        EXPECT_EQ(reading->format, file.format);
        EXPECT_EQ(reading->skipped, 0);
        ASSERT_EQ(reading->waypoints.size(), size_t(turnpoints().size()));
        for (size_t i = 0; i < reading->waypoints.size(); ++i) {
            const WaypointRecord& got = reading->waypoints[i];
            const Turnpoint& want = turnpoints()[qsizetype(i)];
            EXPECT_EQ(got.shortName, want.name);
            EXPECT_NEAR(got.latitude, want.latitude, 1e-6) << i;
            EXPECT_NEAR(got.longitude, want.longitude, 1e-6) << i;
            EXPECT_NEAR(got.altitude, want.altitude, 0.01) << i;
            EXPECT_EQ(got.gpsaltitude, got.altitude);
        }
    }
}

TEST(WaypointFileFormats, EveryWriterReadsBackWhatItWrote)
{
    const QList<WptEntry> entries{
        {QStringLiteral("HOHESA"), QStringLiteral("Hohe Salve, \"Gipfel\""), 47456783, 12123450, 1829},
        {QStringLiteral("SYD"), QStringLiteral("Sydney & <Harbour>"), -33500000, 151250000, 0},
        {QStringLiteral("W"), QStringLiteral("West"), 1, -179999999, -5},
        {QStringLiteral("EDGE"), QStringLiteral("Almost 48"), 47999999, 9999999, 8848},
        {QStringLiteral("Ödenwinkel"), QString(), 47000000, 12000000, 2000},
    };
    QTemporaryDir dir;
    for (const WaypointFileFormat format :
         {WaypointFileFormat::SeeYouCup, WaypointFileFormat::Gpx, WaypointFileFormat::Wpt}) {
        SCOPED_TRACE(kalvora::waypointFormatName(format).toStdString());
        const QString path = dir.filePath(QStringLiteral("out.") + kalvora::waypointFileSuffix(format));
        const auto written = kalvora::writeWaypointFile(path, format, entries);
        ASSERT_TRUE(written.ok()) << written.error();
        const auto back = kalvora::readWaypointFile(path);
        ASSERT_TRUE(back.ok()) << back.error();
        EXPECT_EQ(back->format, format);
        EXPECT_EQ(back->skipped, 0);
        ASSERT_EQ(back->waypoints.size(), size_t(entries.size()));
        // CUP holds thousandths of a minute: at most half of one off.
        const double tolerance = format == WaypointFileFormat::SeeYouCup ? 0.0005 / 60 + 1e-9 : 1e-6;
        for (size_t i = 0; i < back->waypoints.size(); ++i) {
            const WptEntry& e = entries[qsizetype(i)];
            const WaypointRecord& r = back->waypoints[i];
            EXPECT_NEAR(r.latitude, double(e.latitude) / 1e6, tolerance) << i;
            EXPECT_NEAR(r.longitude, double(e.longitude) / 1e6, tolerance) << i;
            EXPECT_EQ(r.altitude, double(e.altitude)) << i;
            EXPECT_EQ(r.shortName, e.name.isEmpty() ? e.shortName : e.name) << i;
        }
        if (format == WaypointFileFormat::Gpx) {
            // Written to the microdegree, the stored value comes back exactly.
            EXPECT_EQ(std::llround(back->waypoints[2].longitude * 1e6), -179999999);
        }
    }
    const QByteArray cup = *kalvora::waypointFileBytes(WaypointFileFormat::SeeYouCup, entries);
    EXPECT_TRUE(cup.startsWith(cupHeader)) << cup.constData();
    EXPECT_TRUE(
        cup.contains("\"Hohe Salve, \"\"Gipfel\"\"\",\"HOHESA\",,4727.407N,01207.407E,1829.0m,1,,,,\r\n"))
        << cup.constData();
    // 47.999999 deg is 47 deg 59.99994 min: rounded to 48 deg 00.000, never to 47 deg 60.000.
    EXPECT_TRUE(cup.contains(",4800.000N,01000.000E,")) << cup.constData();
    EXPECT_TRUE(cup.contains(",0000.000N,18000.000W,")) << cup.constData();
    EXPECT_FALSE(kalvora::waypointFileBytes(WaypointFileFormat::Kml, entries).has_value());
}

TEST(WaypointFileFormats, WritersKeepEveryFileWellFormed)
{
    const QList<WptEntry> hostile{
        {QStringLiteral("a\"b"), QStringLiteral("Line\r\nbreak,\t\"quoted\"\x01"), 0, 0, 0},
        {QStringLiteral("K"), QStringLiteral("Київ ]]> </name> &amp;"), 50450000, 30523000, 179},
    };
    for (const WaypointFileFormat format : {WaypointFileFormat::SeeYouCup, WaypointFileFormat::Gpx}) {
        SCOPED_TRACE(kalvora::waypointFormatName(format).toStdString());
        const auto back = read(*kalvora::waypointFileBytes(format, hostile));
        ASSERT_TRUE(back.ok()) << back.error();
        ASSERT_EQ(back->waypoints.size(), 2u);
        EXPECT_EQ(back->skipped, 0);
        EXPECT_EQ(back->waypoints[0].shortName, QStringLiteral("Line  break, \"quoted\""));
        EXPECT_EQ(back->waypoints[1].shortName, QStringLiteral("Київ ]]> </name> &amp;"));
    }
}

TEST(WaypointFileDetection, ByContentNotByName)
{
    const struct
    {
        const char* what;
        QByteArray bytes;
        std::optional<WaypointFileFormat> format;
    } cases[] = {
        {"WPT dialect", "G  WGS 84\r\nU  1\r\n", WaypointFileFormat::Wpt},
        {"WPT dialect after other lines", "\r\nexported by hand\r\nG  WGS 84\r\nU  1\r\n",
         WaypointFileFormat::Wpt},
        {"WPT dialect with a byte-order mark", "\xEF\xBB\xBFG  WGS 84\nU  1\n", WaypointFileFormat::Wpt},
        {"OziExplorer", "OziExplorer Waypoint File Version 1.1\r\nWGS 84\r\n",
         WaypointFileFormat::OziExplorer},
        {"OziExplorer 1.0 in lower case", "oziexplorer waypoint file version 1.0\n",
         WaypointFileFormat::OziExplorer},
        {"CUP header", cupHeader, WaypointFileFormat::SeeYouCup},
        {"CUP old header",
         "Title,Code,Country,Latitude,Longitude,Elevation,Style,Direction,Length,Frequency,"
         "Description\r\n",
         WaypointFileFormat::SeeYouCup},
        {"CUP newer header",
         "name,code,country,lat,lon,elev,style,rwdir,rwlen,rwwidth,freq,desc,userdata,pics\n",
         WaypointFileFormat::SeeYouCup},
        {"CUP quoted header", "\"Name\",\"Code\",\"Country\",\"Lat\",\"Lon\",\"Elev\"\n",
         WaypointFileFormat::SeeYouCup},
        {"CUP without header", "\"Hohe Salve\",HS,AT,4727.407N,01207.407E,1829m,1\n",
         WaypointFileFormat::SeeYouCup},
        {"GPX 1.1",
         "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" xmlns=\"http://www.topografix.com/GPX/1/1\"/>",
         WaypointFileFormat::Gpx},
        {"GPX 1.0", "<gpx version=\"1.0\" xmlns=\"http://www.topografix.com/GPX/1/0\"></gpx>",
         WaypointFileFormat::Gpx},
        {"GPX without namespace", "  \n<gpx><wpt lat=\"1\" lon=\"2\"/></gpx>", WaypointFileFormat::Gpx},
        {"GPX with a comment and doctype first", "<!-- x --><!DOCTYPE gpx><gpx/>", WaypointFileFormat::Gpx},
        {"KML", "<?xml version=\"1.0\"?><kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document/></kml>",
         WaypointFileFormat::Kml},
        {"zip archive", QByteArray("PK\x03\x04", 4) + QByteArray(40, '\0'), WaypointFileFormat::Kmz},
        {"other XML", "<?xml version=\"1.0\"?><html/>", std::nullopt},
        {"plain text", "Hohe Salve 47.5 12.1\nLanding 47.4 12.2\n", std::nullopt},
        {"comma text without coordinates", "a,b,c,d,e,f\n", std::nullopt},
        {"W lines without a datum line",
         "W  X A 47.5000000000\xBAN 11.0000000000\xBA"
         "E 27-MAR-62 00:00:00 1 X\n",
         std::nullopt},
        {"binary",
         QByteArray("\x7F"
                    "ELF\x02\x01\x01\0\0\0G  WGS 84\n",
                    20),
         std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kalvora::detectWaypointFormat(c.bytes), c.format) << c.what;
}

TEST(WaypointFileDetection, EmptyAndUnknownFilesNameTheFileAndTheFormatsTried)
{
    for (const QByteArray& bytes : {QByteArray(), QByteArray("\xEF\xBB\xBF"), QByteArray(" \r\n\t\n"),
                                    QByteArray("just some notes\n"), QByteArray(1000, '\0')}) {
        const auto reading = read(bytes);
        ASSERT_FALSE(reading.ok());
        EXPECT_NE(reading.error().find("test.file: "), std::string::npos) << reading.error();
        EXPECT_NE(reading.error().find("WPT, OziExplorer WPT, SeeYou CUP, GPX, KML and KMZ"),
                  std::string::npos)
            << reading.error();
    }
    EXPECT_NE(read("").error().find("empty"), std::string::npos);

    QTemporaryDir dir;
    const auto missing = kalvora::readWaypointFile(dir.filePath(QStringLiteral("none.cup")));
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.error().find("none.cup: cannot read the file"), std::string::npos) << missing.error();
    const auto folder = kalvora::readWaypointFile(dir.path());
    EXPECT_FALSE(folder.ok());
}

TEST(WaypointFileDetection, RefusalsSayWhy)
{
    QTemporaryDir dir;
    const struct
    {
        const char* what;
        QByteArray bytes;
        const char* message;
    } cases[] = {
        {"Ozi datum", "OziExplorer Waypoint File Version 1.1\r\nNorth American 1927\r\nReserved 2\r\n",
         "OziExplorer WPT: the datum \"North American 1927\" is not supported"},
        {"WPT datum", "G  NAD27 CONUS\r\nU  1\r\n",
         "WPT: the datum line \"G  NAD27 CONUS\" names another datum"},
        {"WPT unit", "G  WGS 84\r\nU  2\r\n", "WPT: the unit line \"U  2\""},
        {"GPX broken", "<gpx>\n<wpt lat=\"1\" lon=\"2\">\n</gpx>", "GPX: the XML is broken at line 3"},
        {"KML cut short", "<kml><Placemark><name>x</name>", "KML: the XML is broken at line 1"},
        {"zip without KML", zipArchive(dir, {{"doc.txt", "x"}}), "KMZ: the archive holds no KML file"},
        {"broken zip", QByteArray("PK\x03\x04garbage", 11), "KMZ: the archive cannot be opened"},
    };
    for (const auto& c : cases) {
        const auto reading = read(c.bytes);
        ASSERT_FALSE(reading.ok()) << c.what;
        EXPECT_NE(reading.error().find(std::string("test.file: ") + c.message), std::string::npos)
            << c.what << ": " << reading.error();
    }
}

TEST(WaypointFileReading, UnreadableEntriesAreSkippedAndCounted)
{
    const QByteArray ozi = "OziExplorer Waypoint File Version 1.1\r\nWGS 84\r\nReserved 2\r\nReserved 3\r\n";
    const QByteArray oziGood = "1,Good,47.5,12.1,36161.5,0,1,3,0,65535,Desc,0,0,0,3280.84\r\n";
    const QByteArray cupGood = "\"Good\",G,AT,4730.000N,01206.000E,1000m,1,,,,\r\n";
    const char* gpxGood = "<wpt lat=\"47.5\" lon=\"12.1\"><name>Good</name></wpt>";
    const char* kmlGood =
        "<Placemark><name>Good</name><Point><coordinates>12.1,47.5</coordinates></Point></Placemark>";
    const QByteArray wptHead = "G  WGS 84\r\nU  1\r\n";
    const QByteArray wptGood = "W  G A 47.5000000000\xBAN 12.1000000000\xBA"
                               "E 27-MAR-62 00:00:00 1000.000000 Good\r\n";
    const struct
    {
        const char* what;
        QByteArray bytes;
        int skipped;
    } cases[] = {
        {"Ozi latitude 91", ozi + "2,BAD,91,12,0\r\n" + oziGood, 1},
        {"Ozi longitude 400 and nan", ozi + "2,BAD,47,400,0\r\n3,BAD,nan,1,0\r\n" + oziGood, 2},
        {"Ozi 1e308 and text", ozi + "2,BAD,1e308,12\r\n3,BAD,north,12\r\n" + oziGood, 2},
        {"Ozi too few fields", ozi + "2,BAD,47.5\r\n" + oziGood, 1},
        {"Ozi altitude garbage and absurd",
         ozi +
             "2,B,47,12,0,0,1,3,0,0,B,0,0,0,high\r\n"
             "3,B,47,12,0,0,1,3,0,0,B,0,0,0,1e12\r\n" +
             oziGood,
         2},
        {"Ozi -777 is no altitude", ozi + "2,NONE,47,12,0,0,1,3,0,0,N,0,0,0,-777\r\n" + oziGood, 0},
        {"CUP hemisphere Q", cupHeader + "\"Bad\",B,,4730.000Q,01206.000E,0m\r\n" + cupGood, 1},
        {"CUP 60 minutes and 91 degrees",
         cupHeader + "\"Bad\",B,,4760.000N,01206.000E,0m\r\n\"Bad\",B,,9100.000N,01206.000E,0m\r\n" + cupGood,
         2},
        {"CUP too few fields", cupHeader + "\"Bad\",B,,4730.000N\r\n" + cupGood, 1},
        {"CUP bad elevation", cupHeader + "\"Bad\",B,,4730.000N,01206.000E,tall\r\n" + cupGood, 1},
        {"CUP latitude in degrees", cupHeader + "\"Bad\",B,,47.5,12.1,0m\r\n" + cupGood, 1},
        {"GPX bad attributes",
         QByteArray("<gpx>") + "<wpt lat=\"95\" lon=\"1\"/><wpt lat=\"x\" lon=\"1\"/><wpt/>" + gpxGood +
             "</gpx>",
         3},
        {"GPX bad elevation",
         QByteArray("<gpx><wpt lat=\"1\" lon=\"1\"><ele>inf</ele></wpt>") + gpxGood + "</gpx>", 1},
        {"KML line and polygon placemarks",
         QByteArray(
             "<kml><Placemark><LineString><coordinates>1,2 3,4</coordinates></LineString></Placemark>") +
             kmlGood + "<Placemark><name>P</name></Placemark></kml>",
         2},
        {"KML latitude first or out of range",
         QByteArray("<kml><Placemark><Point><coordinates>47.5,120.1</coordinates></Point></Placemark>"
                    "<Placemark><Point><coordinates>a,b</coordinates></Point></Placemark>") +
             kmlGood + "</kml>",
         2},
        {"WPT too few fields and lone W", wptHead + "W  X A 47.5N\r\nW\r\n" + wptGood, 2},
    };
    for (const auto& c : cases) {
        const auto reading = read(c.bytes);
        ASSERT_TRUE(reading.ok()) << c.what << ": " << reading.error();
        EXPECT_EQ(reading->skipped, c.skipped) << c.what;
        ASSERT_FALSE(reading->waypoints.empty()) << c.what;
        EXPECT_EQ(reading->waypoints.back().shortName, QStringLiteral("Good")) << c.what;
        EXPECT_NEAR(reading->waypoints.back().latitude, 47.5, 1e-9) << c.what;
        EXPECT_NEAR(reading->waypoints.back().longitude, 12.1, 1e-9) << c.what;
    }
    EXPECT_EQ(kalvora::waypointReadingSummary(QStringLiteral("a.cup"), *read(cupHeader + "x\r\n" + cupGood)),
              QStringLiteral("a.cup: 1 waypoint (SeeYou CUP), 1 unreadable entry skipped"));
}

TEST(WaypointFileReading, HostileFilesEndCleanly)
{
    // 20 MB lines: one giant field, and one of nothing but separators.
    const QByteArray giant(20 * 1024 * 1024, 'x');
    const QByteArray commas(20 * 1024 * 1024, ',');
    const QByteArray cupGood = "\"Good\",G,AT,4730.000N,01206.000E,1000m,1,,,,\r\n";
    for (const QByteArray& line : {giant, commas}) {
        const auto cup = read(cupHeader + line + "\r\n" + cupGood);
        ASSERT_TRUE(cup.ok()) << cup.error();
        EXPECT_EQ(cup->waypoints.size(), 1u);
        EXPECT_EQ(cup->skipped, 1);
        const auto ozi = read("OziExplorer Waypoint File Version 1.1\r\nWGS 84\r\nx\r\ny\r\n1," + line +
                              "\r\n2,OK,47.5,12.1\r\n");
        ASSERT_TRUE(ozi.ok()) << ozi.error();
        EXPECT_EQ(ozi->waypoints.size(), 1u);
        EXPECT_EQ(ozi->skipped, 1);
    }
    // A name as long as the line is cut to something a list can show.
    const auto longName = read(cupHeader + "\"" + giant + "\",G,,4730.000N,01206.000E,0m\r\n");
    ASSERT_TRUE(longName.ok());
    ASSERT_EQ(longName->waypoints.size(), 1u);
    EXPECT_LE(longName->waypoints[0].shortName.size(), 255);

    // Random bytes, and bytes behind every format's opening.
    QByteArray noise(64 * 1024, '\0');
    quint32 state = 12345;
    for (char& c : noise) {
        state = state * 1103515245u + 12345u;
        c = char(state >> 24);
    }
    for (const QByteArray& start :
         {QByteArray(), QByteArray("G  WGS 84\nU  1\nW "), QByteArray("OziExplorer Waypoint File\nWGS 84\n"),
          cupHeader, QByteArray("<gpx>"), QByteArray("<kml>"), QByteArray("PK\x03\x04", 4)}) {
        const auto reading = read(start + noise);
        if (reading.ok())
            EXPECT_LE(reading->waypoints.size(), 1000u);
        else
            EXPECT_NE(reading.error().find("test.file"), std::string::npos);
    }
}

TEST(WaypointFileReading, TextEncodings)
{
    const QString name = QStringLiteral("Öd – Ägypten €");
    const QByteArray cp1252 = "\xD6"
                              "d \x96 \xC4gypten \x80";
    const QByteArray latin1Line = "\"\xD6"
                                  "d\",X,,4730.000N,01206.000E,0m\r\n";
    const QByteArray utf8Line = "\"" + name.toUtf8() + "\",X,,4730.000N,01206.000E,0m\r\n";
    const QByteArray cpLine = "\"" + cp1252 + "\",X,,4730.000N,01206.000E,0m\r\n";
    EXPECT_EQ(read(cupHeader + utf8Line)->waypoints.at(0).shortName, name);
    EXPECT_EQ(read("\xEF\xBB\xBF" + cupHeader + utf8Line)->waypoints.at(0).shortName, name);
    EXPECT_EQ(read(cupHeader + cpLine)->waypoints.at(0).shortName, name);
    EXPECT_EQ(read(cupHeader + latin1Line)->waypoints.at(0).shortName, QStringLiteral("Öd"));
    QStringEncoder utf16(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
    const QByteArray wide = utf16.encode(QString::fromUtf8(cupHeader + utf8Line));
    EXPECT_EQ(read(wide)->waypoints.at(0).shortName, name);

    // The WPT dialect reads its lines as before; only the names are decoded as the file was saved.
    const QByteArray wpt = "G  WGS 84\r\nU  1\r\nW  X A 47.5000000000\xBAN 12.1000000000\xBA"
                           "E 27-MAR-62 00:00:00 0.000000 ";
    EXPECT_EQ(read(wpt + cp1252 + "\r\n")->waypoints.at(0).shortName, name);
    const QByteArray wptUtf8 =
        "\xEF\xBB\xBFG  WGS 84\r\nU  1\r\nW  X A 47.5000000000\xC2\xBAN 12.1000000000\xC2\xBA"
        "E 27-MAR-62 00:00:00 0.000000 " +
        name.toUtf8() + "\r\n";
    const auto utf8Wpt = read(wptUtf8);
    ASSERT_TRUE(utf8Wpt.ok());
    ASSERT_EQ(utf8Wpt->waypoints.size(), 1u);
    EXPECT_EQ(utf8Wpt->waypoints[0].shortName, name);
    EXPECT_NEAR(utf8Wpt->waypoints[0].latitude, 47.5, 1e-9);

    // XML says its own encoding; a file that says UTF-8 but is Latin-1 still reads.
    const QByteArray gpxLatin1 =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><gpx><wpt lat=\"1\" lon=\"2\"><name>" + cp1252 +
        "</name></wpt></gpx>";
    EXPECT_EQ(read(gpxLatin1)->waypoints.at(0).shortName, name);
    const QByteArray kmlMislabelled =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><kml><Placemark><name>" + cp1252 +
        "</name><Point><coordinates>2,1</coordinates></Point></Placemark></kml>";
    EXPECT_EQ(read(kmlMislabelled)->waypoints.at(0).shortName, name);
}

TEST(WaypointFileReading, FormatDetails)
{
    // CUP: columns as the header names them, feet, metres without a unit, the task section.
    const auto cup = read("Title,Code,Country,Latitude,Longitude,Elevation,Style\n"
                          "One,ONE,AT,4730.000N,01206.000E,1000ft,1\n"
                          "\"\",TWO,AT,4730.000S,01206.000W,250,1\n"
                          "\n"
                          "-----Related Tasks-----\n"
                          "\"Task\",\"One\",\"TWO\"\n");
    ASSERT_TRUE(cup.ok());
    ASSERT_EQ(cup->waypoints.size(), 2u);
    EXPECT_EQ(cup->skipped, 0);
    EXPECT_NEAR(cup->waypoints[0].altitude, 304.8, 1e-9);
    EXPECT_EQ(cup->waypoints[1].shortName, QStringLiteral("TWO"));
    EXPECT_NEAR(cup->waypoints[1].latitude, -47.5, 1e-9);
    EXPECT_NEAR(cup->waypoints[1].longitude, -12.1, 1e-9);
    EXPECT_EQ(cup->waypoints[1].altitude, 250);
    const auto newer =
        read("name,code,country,lat,lon,elev,style,rwdir,rwlen,rwwidth,freq,desc,userdata,pics\n"
             "\"Hohe Salve\",HS,AT,4727.407N,01207.407E,1829.0m,2,,,,,\"Take-off\",,\n");
    ASSERT_TRUE(newer.ok());
    ASSERT_EQ(newer->waypoints.size(), 1u);
    EXPECT_EQ(newer->waypoints[0].shortName, QStringLiteral("Hohe Salve"));
    EXPECT_EQ(newer->waypoints[0].altitude, 1829);

    // KML written by hand: spaces after the commas, several tuples (the first is the point).
    const auto kml = read("<kml><Placemark><name>K</name><Point><coordinates> 12.1, 47.5, 900 13,48 "
                          "</coordinates></Point></Placemark></kml>");
    ASSERT_TRUE(kml.ok());
    ASSERT_EQ(kml->waypoints.size(), 1u);
    EXPECT_EQ(kml->waypoints[0].latitude, 47.5);
    EXPECT_EQ(kml->waypoints[0].longitude, 12.1);
    EXPECT_EQ(kml->waypoints[0].altitude, 900);

    // GPX: route points only when asked; track points never.
    const QByteArray gpx = "<gpx xmlns=\"http://www.topografix.com/GPX/1/0\"><wpt lat=\"1\" lon=\"2\"/>"
                           "<rte><name>R</name><rtept lat=\"3\" lon=\"4\"><name>TP</name></rtept></rte>"
                           "<trk><trkseg><trkpt lat=\"5\" lon=\"6\"/></trkseg></trk></gpx>";
    const auto withoutRoutes = read(gpx);
    EXPECT_EQ(withoutRoutes->waypoints.size(), 1u);
    EXPECT_EQ(kalvora::waypointReadingSummary(QStringLiteral("r.gpx"), *withoutRoutes),
              QStringLiteral("r.gpx: 1 waypoint (GPX), 1 route point not read"));
    const auto withRoutes = read(gpx, true);
    ASSERT_EQ(withRoutes->waypoints.size(), 2u);
    EXPECT_EQ(withRoutes->waypoints[1].shortName, QStringLiteral("TP"));
    EXPECT_EQ(withRoutes->waypoints[1].latitude, 3);

    // Neither DTD entities nor nested elements in a name break the reader.
    const auto entities =
        read("<!DOCTYPE gpx [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">"
             "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;\">"
             "<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;\">]>"
             "<gpx><wpt lat=\"1\" lon=\"2\"><name>&e;&e;&e;<b>x</b></name></wpt></gpx>");
    if (entities.ok()) {
        ASSERT_EQ(entities->waypoints.size(), 1u);
        EXPECT_LE(entities->waypoints[0].shortName.size(), 255);
    }
}

TEST(WaypointFileChoosers, FiltersAndFormatsForExport)
{
    const QStringList readable = kalvora::waypointImportFilters();
    ASSERT_FALSE(readable.isEmpty());
    for (const char* pattern : {"*.wpt", "*.cup", "*.gpx", "*.kml", "*.kmz"})
        EXPECT_TRUE(readable.first().contains(QLatin1String(pattern))) << pattern;
    EXPECT_EQ(readable.last(), QStringLiteral("All files (*)"));

    const QStringList writable = kalvora::waypointExportFilters();
    ASSERT_EQ(writable.size(), 3);
    const struct
    {
        const char* path;
        QString filter;
        std::optional<WaypointFileFormat> format;
    } cases[] = {
        {"/tmp/a.cup", QString(), WaypointFileFormat::SeeYouCup},
        {"/tmp/a.GPX", writable[0], WaypointFileFormat::Gpx},
        {"a.Wpt", QString(), WaypointFileFormat::Wpt},
        {"/tmp/a", writable[1], WaypointFileFormat::Gpx},
        {"/tmp/a", writable[2], WaypointFileFormat::Wpt},
        {"/tmp/a.txt", writable[0], WaypointFileFormat::SeeYouCup},
        {"/tmp/a.kml", QString(), std::nullopt},
        {"/tmp/a", QString(), std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kalvora::waypointExportFormat(QString::fromUtf8(c.path), c.filter), c.format)
            << c.path << " " << c.filter.toStdString();

    EXPECT_EQ(kalvora::waypointExportPath(QStringLiteral("/tmp/tps"), writable[0]),
              QStringLiteral("/tmp/tps.cup"));
    EXPECT_EQ(kalvora::waypointExportPath(QStringLiteral("/tmp/r.txt"), writable[1]),
              QStringLiteral("/tmp/r.txt.gpx"));
    EXPECT_EQ(kalvora::waypointExportPath(QStringLiteral("/tmp/a.WPT"), writable[1]),
              QStringLiteral("/tmp/a.WPT"));
    EXPECT_EQ(kalvora::waypointExportPath(QStringLiteral("/tmp/a"), QString()), QStringLiteral("/tmp/a"));

    QTemporaryDir dir;
    const auto refused = kalvora::writeWaypointFile(dir.filePath(QStringLiteral("missing/a.gpx")),
                                                    WaypointFileFormat::Gpx, {});
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.error().find("missing/a.gpx: cannot write the file"), std::string::npos)
        << refused.error();
}
