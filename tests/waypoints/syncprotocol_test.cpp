#include <gtest/gtest.h>

#include <QUrlQuery>

#include <vector>

#include "model/waypointdata.h"
#include "waypoints/machineidentity.h"
#include "waypoints/waypointsyncprotocol.h"

using namespace kalvora;

TEST(SyncProtocol, DownloadBodyCutsLastSyncToWholeSeconds)
{
    EXPECT_EQ(downloadBody(QStringLiteral("00:11:22:33:44:55"), 0),
              QByteArray("mac=00%3A11%3A22%3A33%3A44%3A55&login=qbxz&password=qbxz&lastSync=0.000000"));
    EXPECT_EQ(downloadBody(std::nullopt, 1367000000.75),
              QByteArray("mac=&login=qbxz&password=qbxz&lastSync=1367000000.000000"));
}

TEST(SyncProtocol, FormValuesSurviveReservedCharacters)
{
    const QString name = QStringLiteral("A&B=C+D %E Ö");
    const QByteArray body = uploadBody(QStringLiteral("X"), "name=" + formValue(name) + "&radius=250");
    // Decoded as a server decodes a form: "+" would turn into a space if it were sent bare.
    QUrlQuery form(QString::fromLatin1(body).replace(QLatin1Char('+'), QStringLiteral("%20")));
    EXPECT_EQ(form.queryItemValue(QStringLiteral("name"), QUrl::FullyDecoded), name);
    EXPECT_EQ(form.queryItemValue(QStringLiteral("radius")), QStringLiteral("250"));
    EXPECT_EQ(form.queryItemValue(QStringLiteral("login")), QStringLiteral("qbxz"));
}

TEST(SyncProtocol, FormRequestIsPostWithLength)
{
    const HttpRequest r = formRequest(QUrl(QStringLiteral("http://127.0.0.1:1/x")), "abc");
    EXPECT_EQ(r.method, QByteArray("POST"));
    EXPECT_EQ(r.body, QByteArray("abc"));
    EXPECT_TRUE(r.headers.contains(std::pair<QByteArray, QByteArray>("Content-Length", "3")));
    EXPECT_TRUE(r.headers.contains(
        std::pair<QByteArray, QByteArray>("Content-Type", "application/x-www-form-urlencoded")));
}

TEST(SyncProtocol, UploadAnswers)
{
    using K = UploadAnswer::Kind;
    struct Case
    {
        const char* answer;
        K kind;
        qint64 id;
    } cases[] = {
        {"dbID=4711", K::Assigned, 4711},
        {"OK dbID= 12\n", K::Assigned, 12},
        {"ERROR: no", K::Failed, 0},
        {"dbID=5 ERROR", K::Failed, 0},
        {"", K::Unknown, 0},
        {"dbID=", K::Unknown, 0},
        {"dbID=abc", K::Unknown, 0},
        {"ok", K::Unknown, 0},
        {"dbID=99999999999999999999", K::Unknown, 0},
    };
    for (const Case& c : cases) {
        const UploadAnswer a = parseUploadAnswer(c.answer);
        EXPECT_EQ(a.kind, c.kind) << c.answer;
        EXPECT_EQ(a.dbID, c.id) << c.answer;
    }
}

TEST(SyncProtocol, DownloadParsing)
{
    std::vector<WaypointData> got;
    const auto collect = [&](const WaypointData& d) { got.push_back(d); };

    const QByteArray pretty = R"(<?xml version="1.0" encoding="UTF-8"?>
<waypoints>
  <waypoint>
    <dbID>7</dbID>
    <name>Hohe &amp; Salve</name>
    <windFrom>-1</windFrom>
    <unknown>zz</unknown>
    <notice></notice>
    <shortName><![CDATA[HS <1>]]></shortName>
  </waypoint>
  <waypoint><dbID>8</dbID><latitude>47000000</latitude></waypoint>
</waypoints>)";
    EXPECT_TRUE(parseDownload(pretty, collect));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].dbID, QStringLiteral("7"));
    EXPECT_EQ(got[0].name, QStringLiteral("Hohe & Salve"));
    EXPECT_EQ(got[0].windFrom, QStringLiteral("-1"));
    EXPECT_EQ(got[0].shortName, QStringLiteral("HS <1>"));
    EXPECT_TRUE(got[0].notice.isNull());
    EXPECT_TRUE(got[0].latitude.isNull());
    EXPECT_EQ(got[1].latitude, QStringLiteral("47000000"));
    EXPECT_TRUE(got[1].name.isNull());

    // Records before an error stay handed over; the error is reported.
    got.clear();
    EXPECT_FALSE(
        parseDownload("<waypoints><waypoint><dbID>1</dbID></waypoint><waypoint><dbID>2</dbI", collect));
    EXPECT_EQ(got.size(), 1u);
    got.clear();
    EXPECT_FALSE(parseDownload("<waypoints><waypoint><dbID>1</name></waypoint></waypoints>", collect));
    EXPECT_FALSE(parseDownload("", collect));
    EXPECT_FALSE(parseDownload("not xml", collect));
    EXPECT_TRUE(parseDownload("<waypoints/>", collect));
    EXPECT_TRUE(got.empty());
}

TEST(MachineIdentity, ChoosesEn0ElseFirstNonLoopbackWithAnAddress)
{
    const InterfaceInfo lo{QStringLiteral("lo"), QStringLiteral("00:00:00:00:00:00"), true};
    const InterfaceInfo tun{QStringLiteral("tun0"), QString(), false};
    const InterfaceInfo eth{QStringLiteral("eth0"), QStringLiteral("0a:1b:2c:3d:4e:5f"), false};
    const InterfaceInfo wl{QStringLiteral("wlan0"), QStringLiteral("aa:bb:cc:dd:ee:ff"), false};
    const InterfaceInfo en0{QStringLiteral("en0"), QStringLiteral("01:02:03:04:05:06"), false};

    EXPECT_EQ(machineIdentityFrom({lo, tun, eth, wl}), QStringLiteral("0A:1B:2C:3D:4E:5F"));
    EXPECT_EQ(machineIdentityFrom({lo, wl, en0}), QStringLiteral("01:02:03:04:05:06"));
    EXPECT_EQ(machineIdentityFrom({lo, tun}), std::nullopt);
    EXPECT_EQ(machineIdentityFrom({}), std::nullopt);
    EXPECT_EQ(formatHardwareAddress(QStringLiteral("1:2:3:4:5:6")), QStringLiteral("01:02:03:04:05:06"));
    EXPECT_EQ(formatHardwareAddress(QStringLiteral("01:02:03:04:05")), std::nullopt);
    EXPECT_EQ(formatHardwareAddress(QStringLiteral("01:02:03:04:05:xyz")), std::nullopt);
    // The identity of this machine, if it has one, has the documented form.
    if (auto id = machineIdentity()) {
        EXPECT_EQ(id->size(), 17);
    }
}
