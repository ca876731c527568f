// The waypoint window driven through its toolbar, table, sheets and fields.
#include <QAbstractItemModelTester>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include "services/httpclient.h"
#include "store/notificationcenter.h"
#include "ui/longtimesheet.h"
#include "ui/waypoints/waypointaddressfiller.h"
#include "ui/waypoints/waypointduplicatesheet.h"
#include "ui/waypoints/waypointfileimport.h"
#include "ui/waypoints/waypointinteraction.h"
#include "ui/waypoints/waypointlistmodel.h"
#include "ui/waypoints/waypointwindowcontroller.h"
#include "waypointfixture.h"
#include "waypoints/placefinderlookup.h"
#include "waypoints/waypointfile.h"
#include "waypoints/waypointsync.h"
#include "waypoints/wptimporter.h"

namespace kalvora::test {
namespace {

/** Canned answers; each reply comes from the event loop, as a real dialog's would. */
class ScriptedInteraction final : public WaypointInteraction
{
public:
    QStringList importFiles;
    std::optional<QString> exportPath;
    bool shareAnswer = true;
    int shareQuestions = 0;
    QList<QUrl> openedUrls;
    QStringList alerts;
    QStringList alertDetails;
    QStringList importFilters;
    QStringList exportFilters;

    void chooseImportFiles(QWidget*, const QStringList& filters,
                           std::function<void(const QStringList&)> reply) override
    {
        importFilters = filters;
        QTimer::singleShot(0, [reply, files = importFiles] { reply(files); });
    }
    void chooseExportFile(QWidget*, const QString&, const QStringList& filters,
                          std::function<void(const std::optional<QString>&)> reply) override
    {
        exportFilters = filters;
        QTimer::singleShot(0, [reply, path = exportPath] { reply(path); });
    }
    void askShare(QWidget*, std::function<void(bool)> reply) override
    {
        ++shareQuestions;
        QTimer::singleShot(0, [reply, ok = shareAnswer] { reply(ok); });
    }
    void alert(QWidget*, const QString& message, const QString& informative) override
    {
        alerts << message;
        alertDetails << informative;
    }
    void openUrl(const QUrl& url) override { openedUrls << url; }
};

class ScriptedPosition final : public CurrentPositionSource
{
public:
    explicit ScriptedPosition(std::optional<GeoDegrees> answer) : m_answer(answer) {}
    void requestPosition(QObject* receiver, std::function<void(std::optional<GeoDegrees>)> reply) override
    {
        QTimer::singleShot(0, receiver, [reply, answer = m_answer] { reply(answer); });
    }

private:
    std::optional<GeoDegrees> m_answer;
};

class WaypointWindowTest : public GlobalStoreWindowTest
{
protected:
    void TearDown() override
    {
        m_window.reset();
        GlobalStoreWindowTest::TearDown();
    }

    /** Opens the window as the application does; POSITION nullopt: the system knows none. */
    WaypointWindowController& open(std::optional<GeoDegrees> position = {}, WaypointServices services = {})
    {
        auto interaction = std::make_unique<ScriptedInteraction>();
        m_interaction = interaction.get();
        m_window = std::make_unique<WaypointWindowController>(ctx(), services, std::move(interaction),
                                                              std::make_unique<ScriptedPosition>(position));
        m_tester = std::make_unique<QAbstractItemModelTester>(
            m_window->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        m_window->windowDidLoad();
        m_window->show();
        QCoreApplication::processEvents();
        return *m_window;
    }

    QAction* action(const char* name) const { return m_window->findChild<QAction*>(QLatin1String(name)); }

    QStringList rowNames() const
    {
        QStringList names;
        for (Waypoint* w : m_window->waypointList())
            names << w->name();
        return names;
    }

    void clickRow(int row, Qt::KeyboardModifiers modifiers = {})
    {
        QTableView* table = m_window->table();
        const QRect rect = table->visualRect(m_window->model()->index(row, WaypointListModel::NameColumn));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, modifiers, rect.center());
    }

    /** Clicks the sharing box of ROW where the style draws it. */
    void clickShareBox(int row)
    {
        QTableView* table = m_window->table();
        const QModelIndex index = m_window->model()->index(row, WaypointListModel::SharedColumn);
        QStyleOptionViewItem option;
        option.initFrom(table->viewport());
        option.rect = table->visualRect(index);
        option.features |= QStyleOptionViewItem::HasCheckIndicator;
        const QRect box =
            table->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, table);
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, box.center());
    }

    QString writeWpt(const QString& name, const QList<std::tuple<QString, QString, QString>>& lines)
    {
        QByteArray text = "G  WGS 84\r\nU  1\r\n";
        for (const auto& [id, lat, lon] : lines)
            text += QStringLiteral("W  %1 A %2\u00BAN %3\u00BAE 27-MAR-62 00:00:00 1000.000000 %1\r\n"
                                   "w Waypoint,0,-1.0,16777215,255,1,7,,0.0,\r\n")
                        .arg(id, lat, lon)
                        .toLatin1();
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return path;
    }

    std::unique_ptr<WaypointWindowController> m_window;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
    ScriptedInteraction* m_interaction = nullptr;
};

// Distance texts sort wrongly as text ("12.0 km" < "1.5 km" < "900 m"); the list sorts by metres.
TEST_F(WaypointWindowTest, SortsByNameDistanceAndLastChangeAndRemembersTheOrder)
{
    Waypoint* twelve = addWaypoint(QStringLiteral("Alpha"), 47108000, 11000000);
    Waypoint* nine = addWaypoint(QStringLiteral("Charlie"), 47008100, 11000000);
    Waypoint* onehalf = addWaypoint(QStringLiteral("bravo"), 47013500, 11000000);
    twelve->setValue(QStringLiteral("lastModified"), 3000.0);
    nine->setValue(QStringLiteral("lastModified"), 1000.0);
    onehalf->setValue(QStringLiteral("lastModified"), 2000.0);
    ASSERT_TRUE(ctx()->save().ok());

    open(GeoDegrees{47.0, 11.0});
    EXPECT_EQ(rowNames(), (QStringList{"Alpha", "bravo", "Charlie"}));
    ASSERT_TRUE(waitFor([&] { return action("sortByDistance")->isEnabled(); }));
    EXPECT_EQ(m_window->model()->index(0, WaypointListModel::DistanceColumn).data().toString(),
              QStringLiteral("12.0 km"));

    action("sortByDistance")->trigger();
    EXPECT_EQ(rowNames(), (QStringList{"Charlie", "bravo", "Alpha"}));
    EXPECT_EQ(QSettings().value(QStringLiteral("waypointSortType")).toInt(), 1);
    action("sortByChange")->trigger();
    EXPECT_EQ(rowNames(), (QStringList{"Alpha", "bravo", "Charlie"}));
    EXPECT_EQ(QSettings().value(QStringLiteral("waypointSortType")).toInt(), 2);

    // A header click sorts too, and the order is the one the window opens with next time.
    QHeaderView* header = m_window->table()->horizontalHeader();
    const int column = WaypointListModel::DistanceColumn;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + 10, header->height() / 2));
    EXPECT_EQ(rowNames(), (QStringList{"Charlie", "bravo", "Alpha"}));
    EXPECT_EQ(QSettings().value(QStringLiteral("waypointSortType")).toInt(), 1);
    m_window.reset();
    open(GeoDegrees{47.0, 11.0});
    ASSERT_TRUE(waitFor([&] { return action("sortByDistance")->isEnabled(); }));
    EXPECT_EQ(rowNames(), (QStringList{"Charlie", "bravo", "Alpha"}));
}

// A list of 100 000 waypoints takes a noticeable moment to order; each sort the user asks for orders it once,
// whether from the menu or from a header.
TEST_F(WaypointWindowTest, EachSortOrdersTheRowsOnce)
{
    addWaypoint(QStringLiteral("Alpha"), 47108000, 11000000);
    addWaypoint(QStringLiteral("Charlie"), 47008100, 11000000);
    addWaypoint(QStringLiteral("bravo"), 47013500, 11000000);
    open(GeoDegrees{47.0, 11.0});
    ASSERT_TRUE(waitFor([&] { return action("sortByDistance")->isEnabled(); }));
    QSignalSpy sorts(m_window->model(), &QAbstractItemModel::layoutChanged);
    for (const char* name : {"sortByDistance", "sortByChange", "sortByName", "sortByName"}) {
        sorts.clear();
        action(name)->trigger();
        EXPECT_EQ(sorts.count(), 1) << name;
    }
    QHeaderView* header = m_window->table()->horizontalHeader();
    for (int column : {int(WaypointListModel::DistanceColumn), int(WaypointListModel::DistanceColumn),
                       int(WaypointListModel::AltitudeColumn)}) {
        sorts.clear();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 10, header->height() / 2));
        EXPECT_EQ(sorts.count(), 1) << column;
    }
}

TEST_F(WaypointWindowTest, WithoutAPositionTheDistanceSortStaysOffAndARestoredOneMeasuresFromZero)
{
    addWaypoint(QStringLiteral("North"), 10000000, 0);
    addWaypoint(QStringLiteral("Near zero"), 1000000, 0);
    QSettings().setValue(QStringLiteral("waypointSortType"), 1);
    open(std::nullopt);
    QCoreApplication::processEvents();
    EXPECT_FALSE(action("sortByDistance")->isEnabled());
    EXPECT_EQ(rowNames(), (QStringList{"Near zero", "North"}));
    EXPECT_TRUE(m_window->model()->index(0, WaypointListModel::DistanceColumn).data().toString().isEmpty());
}

TEST_F(WaypointWindowTest, ImportAsksAboutARecordAt250MetresButNotAt251)
{
    addWaypoint(QStringLiteral("Stored"), 47000000, 11000000);
    // 2249 and 2258 microdegrees north of the stored point: 250 m and 251 m.
    const QString path = writeWpt(QStringLiteral("near.wpt"), {{"At250", "47.0022495000", "11.0000000000"},
                                                               {"At251", "47.0022585000", "11.0000000000"}});
    open();
    m_interaction->importFiles = {path};
    QSignalSpy finished(m_window->fileImport(), &WaypointFileImport::finished);
    action("addFromFiles")->trigger();

    WaypointDuplicateSheet* sheet = m_window->fileImport()->duplicateSheet();
    ASSERT_TRUE(waitFor([&] { return sheet->isVisible(); }));
    EXPECT_EQ(sheet->newWaypointText(), QStringLiteral("At250"));
    EXPECT_EQ(sheet->existingWaypointText(), QStringLiteral("Stored"));
    QTest::mouseClick(sheet->findChild<QPushButton*>(QStringLiteral("importAsWell")), Qt::LeftButton);

    ASSERT_TRUE(waitFor([&] { return !finished.isEmpty(); }));
    EXPECT_FALSE(sheet->isVisible()) << "asked once only";
    EXPECT_FALSE(m_window->fileImport()->progressSheet()->isVisible());
    EXPECT_EQ(m_window->fileImport()->progressSheet()->title(), QStringLiteral("Importing Waypoint(s)..."));
    EXPECT_EQ(m_window->model()->rowCount(), 3);
    QStringList selected;
    for (Waypoint* w : m_window->selectedWaypoints())
        selected << w->name();
    selected.sort();
    EXPECT_EQ(selected, (QStringList{"At250", "At251"}));
}

TEST_F(WaypointWindowTest, SkipForAllLeavesLaterDuplicatesOutWithoutAsking)
{
    addWaypoint(QStringLiteral("Stored"), 47000000, 11000000);
    const QString first = writeWpt(QStringLiteral("a.wpt"), {{"Dup1", "47.0001000000", "11.0000000000"},
                                                             {"Far", "48.0000000000", "11.0000000000"}});
    const QString second = writeWpt(QStringLiteral("b.wpt"), {{"Dup2", "47.0000000000", "11.0001000000"}});
    open();
    QSignalSpy finished(m_window->fileImport(), &WaypointFileImport::finished);
    ASSERT_TRUE(m_window->importFiles({first, second}));
    EXPECT_FALSE(m_window->importFiles({first})) << "one import at a time";

    WaypointDuplicateSheet* sheet = m_window->fileImport()->duplicateSheet();
    ASSERT_TRUE(waitFor([&] { return sheet->isVisible(); }));
    EXPECT_EQ(sheet->newWaypointText(), QStringLiteral("Dup1"));
    QTest::mouseClick(sheet->findChild<QCheckBox*>(QStringLiteral("applyToAll")), Qt::LeftButton);
    QTest::mouseClick(sheet->findChild<QPushButton*>(QStringLiteral("skip")), Qt::LeftButton);

    ASSERT_TRUE(waitFor([&] { return !finished.isEmpty(); }));
    EXPECT_FALSE(sheet->isVisible());
    QStringList names = rowNames();
    names.sort();
    EXPECT_EQ(names, (QStringList{"Far", "Stored"}));
}

TEST_F(WaypointWindowTest, SharingAlertOkUploadsAndCancelMakesTheWaypointPrivateAgain)
{
    Waypoint* salve = addWaypoint(QStringLiteral("Hohe Salve"), 47500000, 12100000);
    Waypoint* kitz = addWaypoint(QStringLiteral("Kitzbuehel"), 47450000, 12390000);
    LocalHttpServer database([](const HttpServerRequest&) {
        HttpServerResponse r;
        r.contentType = "text/plain";
        r.body = "OK dbID=4711";
        return r;
    });
    WaypointSync sync(*m_store, defaultHttpClient(), database.baseUrl(),
                      m_dir.filePath(QStringLiteral("sync.ini")));
    sync.setMachineIdentity(QStringLiteral("00:11:22:33:44:55"));
    WaypointServices services;
    services.startUpload = [&sync] { sync.startUploadPass(); };
    open({}, services);

    clickShareBox(m_window->model()->rowOf(salve));
    ASSERT_TRUE(waitFor([&] { return salve->dbID() == 4711; }));
    EXPECT_EQ(m_interaction->shareQuestions, 1);
    EXPECT_EQ(salve->syncOnline(), 1);
    EXPECT_EQ(salve->syncStatus(), 1);
    ASSERT_EQ(database.requestCount(), 1);
    EXPECT_EQ(database.requests().first().path, QByteArray("/klv_update_waypoint.php"));
    EXPECT_TRUE(database.requests().first().body.contains("&name=Hohe"));

    m_interaction->shareAnswer = false;
    clickShareBox(m_window->model()->rowOf(kitz));
    ASSERT_TRUE(waitFor([&] { return m_interaction->shareQuestions == 2 && kitz->syncOnline() == 0; }));
    sync.waitForPasses();
    EXPECT_EQ(database.requestCount(), 1) << "a cancelled share sends nothing";
    EXPECT_EQ(m_window->model()
                  ->index(m_window->model()->rowOf(kitz), WaypointListModel::SharedColumn)
                  .data(Qt::CheckStateRole)
                  .toInt(),
              Qt::Unchecked);
}

TEST_F(WaypointWindowTest, AddingByHandTakesThePositionAndTheAddressFromThePlaceFinder)
{
    LocalHttpServer nominatim([](const HttpServerRequest&) { return innsbruckAnswer(); });
    const PlaceFinderLookup places(defaultHttpClient(), nominatim.baseUrl(), QUrl());
    PlaceFinderAddressLookup addresses(places);
    WaypointServices services;
    services.addresses = &addresses;
    open(GeoDegrees{47.5, 11.5}, services);
    ASSERT_TRUE(waitFor([&] { return m_window->location().has_value(); }));

    QSignalSpy filled(m_window->addressFiller(), &WaypointAddressFiller::filled);
    action("addByHand")->trigger();
    ASSERT_EQ(m_window->selectedWaypoints().size(), 1);
    Waypoint* added = m_window->selectedWaypoints().first();
    EXPECT_EQ(added->latitude(), 47500000);
    EXPECT_EQ(added->longitude(), 11500000);
    EXPECT_FALSE(added->objectId().isTemporary());
    ASSERT_TRUE(waitFor([&] { return !filled.isEmpty(); }));
    EXPECT_EQ(added->city(), QStringLiteral("Innsbruck"));
    EXPECT_EQ(m_window->findChild<QLineEdit*>(QStringLiteral("city"))->text(), QStringLiteral("Innsbruck"));

    // Named in the fields below the list; an undo takes the name back.
    QLineEdit* name = m_window->findChild<QLineEdit*>(QStringLiteral("name"));
    name->setFocus();
    QTest::keyClicks(name, QStringLiteral("Patscherkofel"));
    QTest::keyClick(name, Qt::Key_Return);
    EXPECT_EQ(added->name(), QStringLiteral("Patscherkofel"));
    EXPECT_EQ(m_window->model()->index(m_window->model()->rowOf(added), WaypointListModel::NameColumn).data(),
              QStringLiteral("Patscherkofel"));
    m_window->table()->setFocus();
    action("undo")->trigger();
    EXPECT_TRUE(added->name().isEmpty());
    EXPECT_TRUE(name->text().isEmpty());
}

TEST_F(WaypointWindowTest, WithoutAPositionAWaypointAddedByHandHasNoCoordinatesAndNoAddress)
{
    LocalHttpServer nominatim([](const HttpServerRequest&) { return innsbruckAnswer(); });
    const PlaceFinderLookup places(defaultHttpClient(), nominatim.baseUrl(), QUrl());
    PlaceFinderAddressLookup addresses(places);
    WaypointServices services;
    services.addresses = &addresses;
    open(std::nullopt, services);
    Waypoint* added = m_window->addWaypoint();
    ASSERT_NE(added, nullptr);
    ASSERT_TRUE(m_window->addressFiller()->waitForDone(5000));
    QCoreApplication::processEvents();
    EXPECT_FALSE(added->hasValue(QStringLiteral("latitude")));
    EXPECT_TRUE(added->city().isEmpty());
    EXPECT_EQ(nominatim.requestCount(), 0);
}

TEST_F(WaypointWindowTest, ToolbarExportAndWebMapFollowTheSelection)
{
    open();
    EXPECT_FALSE(action("export")->isEnabled());
    EXPECT_FALSE(action("sort")->isEnabled());
    addWaypoint(QStringLiteral("Hohe Salve"), 47500000, 12100000);
    addWaypoint(QStringLiteral("Kitzbuehel"), -33500000, 151250000);
    EXPECT_EQ(m_window->model()->rowCount(), 2);
    EXPECT_TRUE(action("export")->isEnabled());
    EXPECT_FALSE(action("webMap")->isEnabled());

    clickRow(0);
    ASSERT_TRUE(action("webMap")->isEnabled());
    action("webMap")->trigger();
    ASSERT_EQ(m_interaction->openedUrls.size(), 1);
    EXPECT_EQ(m_interaction->openedUrls.first().scheme(), QStringLiteral("https"));
    EXPECT_EQ(m_interaction->openedUrls.first().path(), QStringLiteral("/maps"));
    EXPECT_EQ(m_interaction->openedUrls.first().query(), QStringLiteral("q=47.500000,12.100000"));
    clickRow(1, Qt::ControlModifier);
    EXPECT_FALSE(action("webMap")->isEnabled());

    // Both selected go to the file; a path that cannot be written is reported.
    m_interaction->exportPath = m_dir.filePath(QStringLiteral("out.wpt"));
    action("export")->trigger();
    ASSERT_TRUE(waitFor([&] { return QFile::exists(*m_interaction->exportPath); }));
    const std::vector<WaypointRecord> back = WPTImporter(*m_interaction->exportPath).getDeviceWaypoints();
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[1].shortName, QStringLiteral("Kitzbuehel"));
    EXPECT_DOUBLE_EQ(back[1].latitude, -33.5);
    EXPECT_TRUE(m_interaction->alerts.isEmpty());
    EXPECT_FALSE(m_window->exportWaypoints(m_dir.filePath(QStringLiteral("missing/out.wpt"))));
    EXPECT_EQ(m_interaction->alerts, QStringList{QStringLiteral("The waypoints could not be exported.")});
}

TEST_F(WaypointWindowTest, AnnouncesItsListRemembersTheSelectionAndRedrawsOnAUnitChange)
{
    addWaypoint(QStringLiteral("Alpha"), 47000000, 11000000, 1000);
    Waypoint* bravo = addWaypoint(QStringLiteral("Bravo"), 47100000, 11000000, 2000);
    QSignalSpy notices(&NotificationCenter::instance(), &NotificationCenter::notified);
    open();
    const auto announced = [&notices] {
        int n = 0;
        for (const QList<QVariant>& args : notices)
            if (args.at(0).toString() == QLatin1String(notifications::WaypointControllerDidChange)) {
                ++n;
                EXPECT_EQ(args.at(2)
                              .toMap()
                              .value(QStringLiteral("WaypointController"))
                              .value<QObjectList>()
                              .size(),
                          2);
            }
        return n;
    };
    EXPECT_EQ(announced(), 1);
    EXPECT_EQ(m_window->countryList()->findText(QStringLiteral("Austria")) >= 0, true);
    EXPECT_EQ(m_window->countryList()->findText(QStringLiteral("AT")), -1)
        << "the lines between are not offered";

    clickRow(1);
    EXPECT_EQ(announced(), 2);
    const QModelIndex altitude = m_window->model()->index(1, WaypointListModel::AltitudeColumn);
    EXPECT_EQ(altitude.data().toString(), QStringLiteral("2000"));
    Settings::setCurrentUnits(UnitSettings{1, 0, 0, 0, 0});
    NotificationCenter::instance().post(QLatin1String(notifications::SettingsUnitTypeChanged), nullptr);
    EXPECT_EQ(altitude.data().toString(), QStringLiteral("6562"));
    EXPECT_EQ(m_window->selectedWaypoints(), QList<Waypoint*>{bravo});

    m_window->close();
    m_window.reset();
    open();
    EXPECT_EQ(m_window->selectedWaypoints(), QList<Waypoint*>{bravo});
    m_window->selectWaypoint(QStringLiteral("x-kalvora://nowhere/Waypoint/p99"));
    EXPECT_EQ(m_window->selectedWaypoints(), QList<Waypoint*>{bravo});
}

TEST(WaypointWindowRulesTest, CountryChoicesAreEverySecondLine)
{
    EXPECT_EQ(countryChoices("AT\nAustria\nCH\nSwitzerland\n"), (QStringList{"Austria", "Switzerland"}));
    EXPECT_EQ(countryChoices("AT\r\n\xC3\x96sterreich\r\n"),
              QStringList{QString::fromUtf8("\xC3\x96sterreich")});
    EXPECT_TRUE(countryChoices("AT").isEmpty());
    EXPECT_TRUE(countryChoices("").isEmpty());
    EXPECT_EQ(countryChoices("a\nb\nc"), QStringList{"b"});
}

} // namespace
} // namespace kalvora::test

namespace kalvora::test {
namespace {

QString turnpointFile(const char* name)
{
    return QStringLiteral(KALVORA_SOURCE_DIR "/tests/waypoints/data/") + QLatin1String(name);
}

} // namespace

TEST_F(WaypointWindowTest, EveryWaypointFileFormatImportsToTheSamePlaces)
{
    open();
    // The KMZ is the fuzzer's seed, packed by another zip writer than the tests' own.
    m_interaction->importFiles = {
        turnpointFile("turnpoints.wpt"),
        turnpointFile("turnpoints_ozi.wpt"),
        turnpointFile("turnpoints.cup"),
        turnpointFile("turnpoints.gpx"),
        turnpointFile("turnpoints.kml"),
        QStringLiteral(KALVORA_SOURCE_DIR "/fuzz/seeds/waypoints_kmz/turnpoints.kmz")};
    QSignalSpy finished(m_window->fileImport(), &WaypointFileImport::finished);
    action("addFromFiles")->trigger();
    // Records are checked against the stored waypoints only, so the six copies of each place go in unasked.
    ASSERT_TRUE(waitFor([&] { return !finished.isEmpty(); }));

    EXPECT_EQ(m_interaction->importFilters, waypointImportFilters());
    EXPECT_TRUE(m_interaction->alerts.isEmpty()) << m_interaction->alertDetails.join(u'|').toStdString();
    ASSERT_EQ(m_window->model()->rowCount(), 24);
    QMap<QString, QList<Waypoint*>> byName;
    for (Waypoint* w : m_window->waypointList())
        byName[w->name()].append(w);
    ASSERT_EQ(byName.size(), 4) << byName.keys().join(u'|').toStdString();
    for (const QList<Waypoint*>& same : byName) {
        ASSERT_EQ(same.size(), 6);
        for (const Waypoint* w : same) {
            // Truncated to microdegrees: 47.456783 and 47.4567833 may land one apart.
            EXPECT_LE(std::abs(w->latitude() - same.first()->latitude()), 1) << w->name().toStdString();
            EXPECT_LE(std::abs(w->longitude() - same.first()->longitude()), 1) << w->name().toStdString();
            EXPECT_EQ(w->altitude(), same.first()->altitude()) << w->name().toStdString();
        }
    }
}

TEST_F(WaypointWindowTest, ImportSaysWhichFilesWereNotFullyReadAndImportsTheRest)
{
    open();
    const auto write = [&](const char* name, const QByteArray& bytes) {
        QFile file(m_dir.filePath(QLatin1String(name)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    };
    const QString notes = write("notes.wpt", "Hohe Salve 47.5 12.1\n");
    const QString empty = write("empty.gpx", "");
    const QString cup = write("tps.cup", "name,code,country,lat,lon,elev\r\n"
                                         "\"Hohe Salve\",HS,AT,4727.407N,01207.407E,1829m\r\n"
                                         "\"Broken\",BR,AT,4727.407Q,01207.407E,1829m\r\n"
                                         "\"Bright\",BR,AU,3643.500S,14657.420E,330m\r\n");
    m_interaction->importFiles = {notes, empty, cup};
    QSignalSpy finished(m_window->fileImport(), &WaypointFileImport::finished);
    action("addFromFiles")->trigger();
    ASSERT_TRUE(waitFor([&] { return !finished.isEmpty(); }));

    QStringList names = rowNames();
    names.sort();
    EXPECT_EQ(names, (QStringList{"Bright", "Hohe Salve"}));
    ASSERT_EQ(m_interaction->alerts,
              QStringList{QStringLiteral("Not every waypoint file could be read completely.")});
    const QStringList lines = m_interaction->alertDetails.first().split(u'\n');
    ASSERT_EQ(lines.size(), 3) << m_interaction->alertDetails.first().toStdString();
    EXPECT_TRUE(lines[0].startsWith(notes + QStringLiteral(": not a waypoint file")))
        << lines[0].toStdString();
    EXPECT_TRUE(
        lines[0].endsWith(QStringLiteral("tried WPT, OziExplorer WPT, SeeYou CUP, GPX, KML and KMZ")));
    EXPECT_TRUE(lines[1].startsWith(empty + QStringLiteral(": the file is empty"))) << lines[1].toStdString();
    EXPECT_EQ(lines[2], cup + QStringLiteral(": 2 waypoints (SeeYou CUP), 1 unreadable entry skipped"));
}

TEST_F(WaypointWindowTest, ExportWritesTheFormatOfTheFileType)
{
    addWaypoint(QStringLiteral("Hohe Salve"), 47456783, 12123450);
    addWaypoint(QStringLiteral("Bright"), -36725000, 146957000);
    open();
    const struct
    {
        const char* name;
        WaypointFileFormat format;
    } files[] = {{"out.cup", WaypointFileFormat::SeeYouCup},
                 {"out.GPX", WaypointFileFormat::Gpx},
                 {"out.wpt", WaypointFileFormat::Wpt}};
    for (const auto& file : files) {
        m_interaction->exportPath = m_dir.filePath(QLatin1String(file.name));
        action("export")->trigger();
        ASSERT_TRUE(waitFor([&] { return QFile::exists(*m_interaction->exportPath); })) << file.name;
        const auto back = readWaypointFile(*m_interaction->exportPath);
        ASSERT_TRUE(back.ok()) << back.error();
        EXPECT_EQ(back->format, file.format) << file.name;
        ASSERT_EQ(back->waypoints.size(), 2u) << file.name;
        EXPECT_EQ(back->waypoints[0].shortName, QStringLiteral("Bright")) << file.name;
        EXPECT_NEAR(back->waypoints[1].latitude, 47.456783, 1e-5) << file.name;
    }
    EXPECT_EQ(m_interaction->exportFilters, waypointExportFilters());
    EXPECT_TRUE(m_interaction->alerts.isEmpty());

    EXPECT_FALSE(m_window->exportWaypoints(m_dir.filePath(QStringLiteral("out.kml"))));
    EXPECT_FALSE(QFile::exists(m_dir.filePath(QStringLiteral("out.kml"))));
    ASSERT_EQ(m_interaction->alerts, QStringList{QStringLiteral("The waypoints could not be exported.")});
    EXPECT_TRUE(m_interaction->alertDetails.first().contains(QStringLiteral("use .cup, .gpx or .wpt")));
}

} // namespace kalvora::test

namespace kalvora::test {

// The chooser the window shows in production, driven through its type box.
TEST(WaypointDialogInteraction, ExportChooserStartsAtTheProposedTypeAndItsSuffixFollowsTheChosenType)
{
    const QStringList filters = waypointExportFilters();
    QWidget parent;
    parent.show();
    auto interaction = makeWaypointDialogInteraction();
    std::optional<QString> chosen;
    bool replied = false;
    interaction->chooseExportFile(&parent, QStringLiteral("Waypoint.wpt"), filters,
                                  [&](const std::optional<QString>& path) {
                                      chosen = path;
                                      replied = true;
                                  });
    auto* dialog = parent.findChild<QFileDialog*>();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog->isVisible(); }));
    EXPECT_EQ(dialog->selectedNameFilter(), filters.last()) << "Waypoint.wpt proposes the WPT type";
    EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("wpt"));
    auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    ASSERT_NE(types, nullptr);
    QTest::keyClick(types, Qt::Key_Up);
    EXPECT_EQ(types->currentText(), filters[1]);
    EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("gpx"));
    QTest::keyClick(types, Qt::Key_Up);
    EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("cup"));
    QTest::keyClick(dialog, Qt::Key_Escape);
    EXPECT_TRUE(replied);
    EXPECT_FALSE(chosen.has_value());
}

} // namespace kalvora::test
