#include <QColumnView>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "ui/spots/spotswindowcontroller.h"

namespace kalvora::test {
namespace {

class ScriptedSpots final : public SpotsInteraction
{
public:
    void chooseKml(QWidget*, std::function<void(const QString&)> reply) override { reply(path); }
    void showAlert(QWidget*, const QString& message, const QString& informative) override
    {
        alerts << message + QLatin1Char('|') + informative;
    }
    QString path;
    QStringList alerts;
};

class SpotsWindowTest : public ::testing::Test
{
protected:
    QString write(const QString& name, const QByteArray& text)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return path;
    }
    /** Clicks "Open KML…" and waits for the list. */
    void open(const QString& path)
    {
        dialogs->path = path;
        QSignalSpy loaded(&window, &SpotsWindowController::loaded);
        QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("openKml")), Qt::LeftButton);
        ASSERT_TRUE(loaded.wait(20000));
    }

    QTemporaryDir dir;
    std::shared_ptr<ScriptedSpots> dialogs = std::make_shared<ScriptedSpots>();
    SpotsWindowController window{dialogs};
};

TEST_F(SpotsWindowTest, FiveThousandSitesAreReadInTheBackgroundAndReadingTwiceGivesOneTree)
{
    QByteArray body;
    for (int region = 0; region < 50; ++region) {
        body += "<Folder><name>Region " + QByteArray::number(region) + "</name>";
        for (int site = 0; site < 100; ++site)
            body += "<Placemark><name>Site " + QByteArray::number(region * 100 + site)
                    + "</name><Point><coordinates>" + QByteArray::number(6 + site * 0.01) + ","
                    + QByteArray::number(45 + region * 0.01) + ",1200</coordinates></Point></Placemark>";
        body += "</Folder>";
    }
    const QString path = write(QStringLiteral("sites.kml"),
                               "<?xml version=\"1.0\"?><kml><Document>" + body + "</Document></kml>");
    window.show();
    for (int round = 0; round < 2; ++round) {
        dialogs->path = path;
        QSignalSpy loaded(&window, &SpotsWindowController::loaded);
        QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("openKml")), Qt::LeftButton);
        // The click returns before the file is read: the window answers while the worker reads.
        EXPECT_TRUE(loaded.isEmpty());
        EXPECT_TRUE(window.findChild<QLabel*>(QStringLiteral("status"))->text().startsWith(QStringLiteral("Reading")));
        ASSERT_TRUE(loaded.wait(20000));
        ASSERT_EQ(window.model()->rowCount(), 50);
        EXPECT_EQ(window.model()->item(49)->rowCount(), 100);
    }
    EXPECT_TRUE(window.findChild<QLabel*>(QStringLiteral("status"))->text().contains(QStringLiteral("5000")));

    // Choosing a site shows its position; the link button falls back on the directory.
    const QModelIndex site = window.model()->index(0, 0, window.model()->index(3, 0));
    window.browser()->setCurrentIndex(site);
    const QString details = window.findChild<QLabel*>(QStringLiteral("details"))->text();
    EXPECT_TRUE(details.contains(QStringLiteral("Latitude: 45.03000"))) << details.toStdString();
    EXPECT_TRUE(details.contains(QStringLiteral("Longitude: 6.00000")));
    EXPECT_TRUE(details.contains(QStringLiteral("1200 m")));
    EXPECT_EQ(window.linkForSelection(), QUrl(QString::fromLatin1(SpotsWindowController::DirectoryUrl)));
}

TEST_F(SpotsWindowTest, AFileThatIsNoKmlIsToldAndKeepsTheListShown)
{
    open(write(QStringLiteral("one.kml"),
               "<kml><Placemark><name>Kept</name><Point><coordinates>7,46</coordinates></Point></Placemark></kml>"));
    ASSERT_EQ(window.model()->rowCount(), 1);
    open(write(QStringLiteral("photo.kml"), QByteArray("\x89PNG\r\n", 6)));
    ASSERT_EQ(dialogs->alerts.size(), 1);
    EXPECT_TRUE(dialogs->alerts.first().startsWith(QStringLiteral("photo.kml could not be read.")));
    EXPECT_EQ(window.model()->rowCount(), 1);
    EXPECT_EQ(window.model()->item(0)->text(), QStringLiteral("Kept"));
}

} // namespace
} // namespace kalvora::test
