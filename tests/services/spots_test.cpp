#include <gtest/gtest.h>

#include "services/spots.h"

namespace kalvora {
namespace {

QByteArray kml(const QByteArray& body)
{
    return R"(<?xml version="1.0" encoding="UTF-8"?><kml xmlns="http://www.opengis.net/kml/2.2" )"
           R"(xmlns:atom="http://www.w3.org/2005/Atom"><Document><name>Sites</name>)"
           + body + "</Document></kml>";
}

QByteArray placemark(const QByteArray& name, const QByteArray& coordinates)
{
    return "<Placemark><name>" + name + "</name><description>x</description><Point><coordinates>" + coordinates
           + "</coordinates></Point></Placemark>";
}

TEST(SpotsKml, FoldersNestAndTopLevelSitesStandBeside)
{
    const SpotList list = readSpotsKml(kml("<Folder><name>Alps</name><Folder><name>Tirol</name>"
                                           + placemark("Hoher Zaun", "11.5,47.2,1650") + "</Folder></Folder>"
                                           + "<Folder><description>no name</description></Folder>"
                                           + placemark("Lone Hill", "7.0,46.0")));
    ASSERT_TRUE(list.problems.isEmpty()) << list.problems.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(list.root->name, QStringLiteral("Root"));
    ASSERT_EQ(list.root->children.size(), 3u);
    const SpotItem& alps = *list.root->children[0];
    EXPECT_EQ(alps.name, QStringLiteral("Alps"));
    ASSERT_EQ(alps.children.size(), 1u);
    const SpotItem& tirol = *alps.children[0];
    ASSERT_EQ(tirol.children.size(), 1u);
    const SpotItem& zaun = *tirol.children[0];
    EXPECT_EQ(zaun.name, QStringLiteral("Hoher Zaun"));
    EXPECT_FALSE(zaun.isFolder());
    EXPECT_TRUE(zaun.children.empty());
    EXPECT_EQ(zaun.parent, &tirol);
    // The document's own name is not a folder's; a folder without one shows nothing.
    EXPECT_TRUE(list.root->children[1]->isFolder());
    EXPECT_EQ(list.root->children[1]->name, QString());
    EXPECT_EQ(list.root->children[2]->name, QStringLiteral("Lone Hill"));
    EXPECT_EQ(list.placemarks, 2);
    EXPECT_EQ(list.folders, 3);
}

TEST(SpotsKml, CoordinatesAreLongitudeLatitudeAltitudeWithinTheGlobe)
{
    const SpotList list = readSpotsKml(kml(placemark("Triple", " 11.5 , 47.25 , 1650 ")      //
                                           + placemark("Pair", "-121.75,45.5")               //
                                           + placemark("Pole", "180,-90")                    //
                                           + placemark("Swapped", "47.2,111.5")              // latitude 111.5
                                           + placemark("Lon", "181,10")                      //
                                           + placemark("One", "11.5")                        //
                                           + placemark("Four", "1,2,3,4")                    //
                                           + placemark("Words", "east,north")                //
                                           + placemark("Two points", "1,2,0 3,4,0")          //
                                           + "<Placemark><name>Nowhere</name></Placemark>"));
    ASSERT_EQ(list.placemarks, 3);
    const SpotItem& triple = *list.root->children[0];
    EXPECT_DOUBLE_EQ(triple.longitude, 11.5);
    EXPECT_DOUBLE_EQ(triple.latitude, 47.25);
    EXPECT_DOUBLE_EQ(triple.altitude, 1650);
    EXPECT_TRUE(triple.hasAltitude);
    const SpotItem& pair = *list.root->children[1];
    EXPECT_DOUBLE_EQ(pair.longitude, -121.75);
    EXPECT_DOUBLE_EQ(pair.latitude, 45.5);
    EXPECT_FALSE(pair.hasAltitude);
    EXPECT_EQ(list.root->children[2]->name, QStringLiteral("Pole"));
    // Every site left out is named with its reason; none is put at 0,0.
    ASSERT_EQ(list.problems.size(), 7);
    EXPECT_TRUE(list.problems[0].startsWith(QStringLiteral("Swapped")));
    EXPECT_TRUE(list.problems[0].contains(QStringLiteral("off the globe")));
    EXPECT_TRUE(list.problems[6].startsWith(QStringLiteral("Nowhere")));
}

TEST(SpotsKml, BrokenFilesKeepWhatWasReadAndForeignFilesAreUnreadable)
{
    const QByteArray whole = kml("<Folder><name>A</name>" + placemark("First", "7,46") + "</Folder>");
    const SpotList cut = readSpotsKml(whole.left(whole.indexOf("</Folder>")) + "<Placemark><na");
    EXPECT_FALSE(cut.unreadable);
    EXPECT_EQ(cut.placemarks, 1);
    ASSERT_FALSE(cut.problems.isEmpty());
    EXPECT_TRUE(cut.problems.last().startsWith(QStringLiteral("The file breaks off")));

    EXPECT_TRUE(readSpotsKml("PK\x03\x04 not xml").unreadable);
    EXPECT_TRUE(readSpotsKml("<gpx><wpt lat='1' lon='2'/></gpx>").unreadable);
    EXPECT_TRUE(readSpotsKml("").unreadable);

    // A site's own page, when the file names one.
    const SpotList linked = readSpotsKml(kml(
        "<Placemark><name>L</name><atom:link href=\"https://sites.example.org/l\"/><Point><coordinates>1,2"
        "</coordinates></Point></Placemark>"));
    ASSERT_EQ(linked.placemarks, 1);
    EXPECT_EQ(linked.root->children[0]->link, QUrl(QStringLiteral("https://sites.example.org/l")));
}

} // namespace
} // namespace kalvora
