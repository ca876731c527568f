#include <QRegularExpression>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include "export/kmlexport.h"

namespace kalvora {
namespace {

struct Coordinate
{
    double longitude;
    double latitude;
    double altitude;
};

/** The coordinates of every LineString in a KML document, read back as XML. */
std::vector<Coordinate> lineStringCoordinates(const QString& kml)
{
    std::vector<Coordinate> points;
    QXmlStreamReader xml(kml);
    bool inLine = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("LineString"))
            inLine = true;
        else if (xml.isEndElement() && xml.name() == QLatin1String("LineString"))
            inLine = false;
        else if (inLine && xml.isStartElement() && xml.name() == QLatin1String("coordinates")) {
            for (const QString& tuple : xml.readElementText().split(QRegularExpression("\\s+"), Qt::SkipEmptyParts)) {
                const QStringList v = tuple.split(',');
                EXPECT_EQ(v.size(), 3) << tuple.toStdString();
                if (v.size() == 3)
                    points.push_back({v[0].toDouble(), v[1].toDouble(), v[2].toDouble()});
            }
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return points;
}

TEST(KmlCoordinates, EachUsableFixIsLongitudeLatitudeAltitude)
{
    const std::string igc = "AXXX\r\nHFDTE010624\r\n"
                            "B1000004630000N00715000EA0123401250\r\n"   // 46°30' N, 7°15' E, 1250 m
                            "B1000014630000S00715000WA00000-0012\r\n"   // south and west; below sea level
                            "B1000020000000N00715000EA0123401250\r\n"   // latitude 0: no fix
                            "B10000346300\r\n"                          // cut short: skipped, not read beyond
                            "B1000044630000N00715000EA012340\r\n"       // no GPS altitude field
                            "LXXX B1000054630000N00715000EA0123401250\r\n"
                            "G1234";
    EXPECT_EQ(getCoordStringForKLM(igc).toStdString(),
              "\n7.250000,46.500000,1250\n-7.250000,-46.500000,0");
    EXPECT_TRUE(getCoordStringForKLM("").isEmpty());
    EXPECT_TRUE(getCoordStringForKLM("B100000463").isEmpty());
}

TEST(KmlDocument, TheBuiltInTemplateHoldsOneCoordinatePerFixAndParses)
{
    const std::string igc = "HFDTE010624\n"
                            "B1000004630000N00715000EA0123401250\n"
                            "B1000014631000N00716000EA0123401300\n"
                            "B1000024632000N00717000EA0123401350\n";
    const Result<QString> kml = kmlOfIGC(igc);
    ASSERT_TRUE(kml) << kml.error();
    EXPECT_FALSE(kml->contains("@@coords@@"));
    const std::vector<Coordinate> points = lineStringCoordinates(*kml);
    ASSERT_EQ(points.size(), 3u);
    EXPECT_DOUBLE_EQ(points[0].longitude, 7.25);
    EXPECT_DOUBLE_EQ(points[0].latitude, 46.5);
    EXPECT_DOUBLE_EQ(points[0].altitude, 1250);
    EXPECT_NEAR(points[2].longitude, 7 + 17.0 / 60, 1e-6);
    EXPECT_NEAR(points[2].latitude, 46 + 32.0 / 60, 1e-6);

    // A flight without a record still gives a valid document, with no points.
    const Result<QString> empty = kmlOfIGC("");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(lineStringCoordinates(*empty).empty());
}

TEST(KmlDocument, EveryPlaceholderIsReplaced)
{
    EXPECT_EQ(kmlFromTemplate("<a>@@coords@@</a><b>@@coords@@</b>", "\n1,2,3"), "<a>\n1,2,3</a><b>\n1,2,3</b>");
}

} // namespace
} // namespace kalvora
