#include "ui/device/gpswindowcontroller.h"

#include <QBrush>
#include <QCloseEvent>
#include <QMutex>
#include <QWaitCondition>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QThread>
#include <QThreadPool>
#include <QTimeZone>
#include <QTimer>
#include <QVBoxLayout>

#include "logbook/xcqueue.h"
#include "model/flight.h"
#include "model/route.h"
#include "instruments/skytraxx/skytraxx.h"
#include "store/notificationcenter.h"
#include "store/objectcontext.h"
#include "store/persistentstore.h"
#include "ui/device/deviceinteraction.h"
#include "ui/device/devicesettingsview.h"
#include "ui/device/selectlogbooksheet.h"
#include "ui/flightintersectsheet.h"
#include "ui/flightlistmodel.h"
#include "ui/logbookimport.h"
#include "ui/logbookwindowcontroller.h"
#include "ui/longtimesheet.h"
#include "ui/serialaccess.h"
#include "ui/waypoints/waypointfileimport.h"

namespace kalvora {

namespace {

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

QDateTime toDateTime(UtcTime instant)
{
    return QDateTime::fromSecsSinceEpoch(instant.time_since_epoch().count(), QTimeZone::utc());
}

/** "dd.MM.yyyy HH:mm:ss" of a track's start, as the invalid-flight alert names it. */
QString trackName(const Track& track)
{
    return q(utcDateString(track)) + QLatin1Char(' ') + q(utcTimeString(track));
}

QString deletingText(DeviceList list)
{
    switch (list) {
    case DeviceList::Tracks: return GPSWindowController::tr("Deleting track(s)...");
    case DeviceList::Waypoints: return GPSWindowController::tr("Deleting waypoint(s)...");
    case DeviceList::Routes: return GPSWindowController::tr("Deleting route(s)...");
    }
    return {};
}

QString deleteQuestion(DeviceList list)
{
    switch (list) {
    case DeviceList::Tracks: return GPSWindowController::tr("Delete track(s) from device?\n\nThis can not be undone!");
    case DeviceList::Waypoints:
        return GPSWindowController::tr("Delete waypoint(s) from device?\n\nThis can not be undone!");
    case DeviceList::Routes: return GPSWindowController::tr("Delete route(s) from device?\n\nThis can not be undone!");
    }
    return {};
}

QString deleteFailedText(DeviceList list)
{
    switch (list) {
    case DeviceList::Tracks: return GPSWindowController::tr("Error deleting track(s)");
    case DeviceList::Waypoints: return GPSWindowController::tr("Error deleting waypoint(s)");
    case DeviceList::Routes: return GPSWindowController::tr("Error deleting route(s)");
    }
    return {};
}

QStandardItem* item(const QString& text)
{
    auto* it = new QStandardItem(text);
    it->setEditable(false);
    return it;
}

} // namespace

/** Puts the overlap question of a track import to the window's overlap sheet. */
class GPSWindowController::TrackImportQuestion final : public OverlapQuestion
{
public:
    TrackImportQuestion(FlightIntersectSheet* sheet, QPointer<LogBookWindowController> logbook)
        : m_sheet(sheet), m_logbook(std::move(logbook))
    {
        m_connection = QObject::connect(sheet, &FlightIntersectSheet::answered, sheet, [this](int tag, bool all) {
            if (auto reply = std::exchange(m_reply, nullptr))
                reply({overlapChoiceFromTag(tag), all});
        });
    }
    ~TrackImportQuestion() override
    {
        QObject::disconnect(m_connection);
        if (m_reply && m_sheet->isVisible())
            m_sheet->hide();
    }

    void ask(const OverlapConflict& conflict, std::function<void(OverlapAnswer)> reply) override
    {
        m_reply = std::move(reply);
        ObjectContext* context = m_logbook ? m_logbook->managedObjectContext() : nullptr;
        const auto* flight = qobject_cast<const Flight*>(context ? context->existingObject(conflict.flight) : nullptr);
        const QString oldFlightTime = flight ? flight->flightTimeString()
                                             : durationString(conflict.flightStartUTC.secsTo(conflict.flightLandingUTC));
        m_sheet->ask(conflict.path, conflict.fileStartUTC, durationString(conflict.fileFlightTimeS),
                     conflict.flightStartUTC, oldFlightTime);
    }

private:
    FlightIntersectSheet* m_sheet;
    QPointer<LogBookWindowController> m_logbook;
    std::function<void(OverlapAnswer)> m_reply;
    QMetaObject::Connection m_connection;
};

/**
 * Asks the user about a found instrument volume. The scan calls confirm() on
 * its worker; the question goes to the GUI thread and the worker waits for the
 * answer (or for the window to go, which declines).
 */
class GPSWindowController::VolumeConfirmation final : public SkytraxxConfirmation
{
public:
    explicit VolumeConfirmation(GPSWindowController* window) : m_window(window) {}

    bool confirm(const std::filesystem::path& volume) override
    {
        {
            QMutexLocker lock(&m_mutex);
            if (m_closing)
                return false;
            m_answer.reset();
        }
        const QString folder = QString::fromStdString(volume.string());
        QMetaObject::invokeMethod(
            m_window,
            [this, folder] {
                m_window->m_interaction->confirmVolume(m_window, folder, [this](bool ok) {
                    QMutexLocker lock(&m_mutex);
                    m_answer = ok;
                    m_answered.wakeAll();
                });
            },
            Qt::QueuedConnection);
        QMutexLocker lock(&m_mutex);
        while (!m_answer && !m_closing)
            m_answered.wait(&m_mutex);
        return m_answer.value_or(false);
    }

    /** The window goes: a question in flight is declined. */
    void close()
    {
        QMutexLocker lock(&m_mutex);
        m_closing = true;
        m_answered.wakeAll();
    }

private:
    GPSWindowController* m_window;
    QMutex m_mutex;
    QWaitCondition m_answered;
    std::optional<bool> m_answer;
    bool m_closing = false;
};

GPSWindowController::GPSWindowController(PersistentStore* globalStore, LogBookTargets targets,
                                         std::shared_ptr<DeviceInteraction> interaction,
                                         WaypointAddressLookup* lookup, QWidget* parent)
    : QMainWindow(parent), m_globalStore(globalStore), m_targets(std::move(targets)),
      m_interaction(interaction ? std::move(interaction) : makeDeviceSheetInteraction()), m_lookup(lookup),
      m_scan([](Devices& devices) { return devices.scan(); }), m_worker(std::make_unique<QThreadPool>())
{
    qRegisterMetaType<ImportSummary>();
    m_worker->setMaxThreadCount(1);
    setObjectName(QStringLiteral("GPS"));
    setWindowTitle(tr("GPS"));
    buildWindow();
    m_progress = new LongTimeSheet(this);
    connect(m_progress, &LongTimeSheet::canceled, this, &GPSWindowController::longTimeCanceled);
    m_intersect = new FlightIntersectSheet(this);
    m_selectLogBook = new SelectLogBookSheet(this);
    // The scan asks before it takes a mounted volume as the instrument.
    m_volumeConfirmation = std::make_unique<VolumeConfirmation>(this);
    Skytraxx::setConfirmation(m_volumeConfirmation.get());
    setWatchSnapshot(DeviceWatcher::systemSnapshot(), 1000);
}

GPSWindowController::~GPSWindowController()
{
    m_watcher->stop();
    m_volumeConfirmation->close();
    if (m_scanner)
        m_scanner->cancelGetDevices();
    stopTrackImport();
    if (m_device)
        m_device->cancelAction();
    m_worker->waitForDone();
    Skytraxx::setConfirmation(nullptr);
    // The waypoint import's threads end before the window's sheets go.
    delete m_waypointImport;
    m_waypointImport = nullptr;
    // The settings view's writes run on its own thread with the driver: it goes first.
    delete m_settingsView;
    m_settingsView = nullptr;
    dropDevice(true);
}

void GPSWindowController::setWatchSnapshot(DeviceWatcher::Snapshot snapshot, int intervalMs)
{
    delete m_watcher;
    m_watcher = new DeviceWatcher(std::move(snapshot), intervalMs, this);
    connect(m_watcher, &DeviceWatcher::appeared, this, [this] {
        // A new adapter or volume: offered at once when nothing is connected.
        if (m_scanning)
            m_rescanWanted = true;
        else if (!m_device && !isBusy())
            scanDevices();
    });
    connect(m_watcher, &DeviceWatcher::disappeared, this, [this] {
        if (m_device && !isBusy() && !QFileInfo::exists(q(m_device->portPath())))
            scanDevices();
    });
}

GPSWindowController::ListTab GPSWindowController::makeListTab(DeviceList list, const QStringList& columns,
                                                               const char* importAllName,
                                                               const char* importSelectedName,
                                                               const char* deleteSelectedName,
                                                               const char* deleteAllName)
{
    ListTab tab;
    tab.list = list;
    auto* page = new QWidget(m_tabs);
    auto* layout = new QVBoxLayout(page);
    tab.stack = new QStackedWidget(page);
    tab.notAvailable = new QLabel(notAvailableText(list), tab.stack);
    tab.notAvailable->setAlignment(Qt::AlignCenter);
    tab.stack->addWidget(tab.notAvailable);

    auto* reading = new QWidget(tab.stack);
    auto* readingLayout = new QVBoxLayout(reading);
    readingLayout->addStretch(1);
    tab.reading = new QLabel(readingText(list), reading);
    tab.reading->setAlignment(Qt::AlignCenter);
    auto* busy = new QProgressBar(reading);
    busy->setRange(0, 0); // a busy indicator: the read's length is unknown
    busy->setMaximumWidth(240);
    busy->setTextVisible(false);
    readingLayout->addWidget(tab.reading);
    readingLayout->addWidget(busy, 0, Qt::AlignHCenter);
    readingLayout->addStretch(1);
    tab.stack->addWidget(reading);

    tab.table = new QTableView(tab.stack);
    tab.model = new QStandardItemModel(0, int(columns.size()), tab.table);
    tab.model->setHorizontalHeaderLabels(columns);
    tab.table->setModel(tab.model);
    tab.table->setSelectionBehavior(QAbstractItemView::SelectRows);
    tab.table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tab.table->verticalHeader()->hide();
    tab.table->verticalHeader()->setDefaultSectionSize(tab.table->fontMetrics().height() + 8);
    tab.table->horizontalHeader()->setStretchLastSection(true);
    tab.table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tab.stack->addWidget(tab.table);
    layout->addWidget(tab.stack, 1);

    auto* buttons = new QHBoxLayout;
    const auto button = [page](const QString& text, const char* name) {
        auto* b = new QPushButton(text, page);
        b->setObjectName(QLatin1String(name));
        return b;
    };
    tab.deleteSelected = button(tr("Delete Selected"), deleteSelectedName);
    tab.deleteAll = button(tr("Delete All"), deleteAllName);
    tab.importSelected = button(tr("Import Selected"), importSelectedName);
    tab.importAll = button(tr("Import All"), importAllName);
    buttons->addWidget(tab.deleteSelected);
    buttons->addWidget(tab.deleteAll);
    buttons->addStretch(1);
    buttons->addWidget(tab.importSelected);
    buttons->addWidget(tab.importAll);
    layout->addLayout(buttons);
    return tab;
}

void GPSWindowController::buildWindow()
{
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);

    auto* deviceRow = new QHBoxLayout;
    m_deviceTable = new QTableWidget(0, 1, central);
    m_deviceTable->setObjectName(QStringLiteral("deviceTable"));
    m_deviceTable->setAccessibleName(tr("Instruments"));
    m_deviceTable->setHorizontalHeaderLabels({tr("Instrument")});
    m_deviceTable->horizontalHeader()->setStretchLastSection(true);
    m_deviceTable->verticalHeader()->hide();
    m_deviceTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_deviceTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_deviceTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_deviceTable->setMaximumHeight(90);
    deviceRow->addWidget(m_deviceTable, 1);
    m_scanButton = new QPushButton(tr("&Scan"), central);
    m_scanButton->setObjectName(QStringLiteral("scanDevices"));
    m_scanButton->setToolTip(tr("Search the connected instrument again"));
    deviceRow->addWidget(m_scanButton, 0, Qt::AlignTop);
    layout->addLayout(deviceRow);
    connect(m_scanButton, &QPushButton::clicked, this, &GPSWindowController::scanDevices);
    connect(m_deviceTable, &QTableWidget::itemSelectionChanged, this, [this] {
        const QList<QTableWidgetItem*> chosen = m_deviceTable->selectedItems();
        chooseDevice(chosen.isEmpty() ? -1 : chosen.first()->row());
    });

    m_accessProblems = new QLabel(central);
    m_accessProblems->setObjectName(QStringLiteral("accessProblems"));
    m_accessProblems->setWordWrap(true);
    m_accessProblems->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_accessProblems->hide();
    layout->addWidget(m_accessProblems);

    m_tabs = new QTabWidget(central);
    m_tabs->setObjectName(QStringLiteral("tabs"));
    m_trackTab = makeListTab(DeviceList::Tracks, {tr("Date"), tr("Time (UTC)"), tr("Duration"), tr("In logbook")},
                             "importAllTracks", "importSelectedTrack", "deleteSelectedTracks", "deleteAllTracks");
    m_trackTab.table->setObjectName(QStringLiteral("trackTable"));
    m_trackTab.table->setAccessibleName(tr("Tracks on the instrument"));
    m_waypointTab = makeListTab(DeviceList::Waypoints, {tr("Name"), tr("Latitude"), tr("Longitude"), tr("Altitude")},
                                "importAllWaypoints", "importSelectedWaypoints", "deleteSelectedWaypoints",
                                "deleteAllWaypoints");
    m_waypointTab.table->setObjectName(QStringLiteral("waypointTable"));
    m_waypointTab.table->setAccessibleName(tr("Waypoints on the instrument"));
    m_routeTab = makeListTab(DeviceList::Routes, {tr("Name"), tr("Waypoints")}, "importAllRoutes",
                             "importSelectedRoutes", "deleteSelectedRoutes", "deleteAllRoutes");
    m_routeTab.table->setObjectName(QStringLiteral("routeTable"));
    m_routeTab.table->setAccessibleName(tr("Routes on the instrument"));
    m_tabs->addTab(m_trackTab.stack->parentWidget(), tr("Tracks"));
    m_tabs->addTab(m_waypointTab.stack->parentWidget(), tr("Waypoints"));
    m_tabs->addTab(m_routeTab.stack->parentWidget(), tr("Routes"));

    // No driver reads airspaces: the tab only says so.
    auto* airspace = new QLabel(tr("Airspace not available"), m_tabs);
    airspace->setObjectName(QStringLiteral("airspaceNotAvailable"));
    airspace->setAlignment(Qt::AlignCenter);
    m_tabs->addTab(airspace, tr("Airspace"));

    m_settingsStack = new QStackedWidget(m_tabs);
    m_settingsStack->setObjectName(QStringLiteral("settingsStack"));
    m_settingsLabel = new QLabel(tr("Settings not available"), m_settingsStack);
    m_settingsLabel->setObjectName(QStringLiteral("settingsLabel"));
    m_settingsLabel->setAlignment(Qt::AlignCenter);
    m_settingsStack->addWidget(m_settingsLabel);
    m_tabs->addTab(m_settingsStack, tr("Settings"));
    layout->addWidget(m_tabs, 1);
    setCentralWidget(central);

    for (ListTab* tab : {&m_trackTab, &m_waypointTab, &m_routeTab}) {
        tab->stack->setObjectName(QStringLiteral("%1Stack").arg(tab->table->objectName()));
        connect(tab->table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                &GPSWindowController::setButtonsForSelectedDevice);
    }
    connect(m_trackTab.importAll, &QPushButton::clicked, this, [this] { importTracks(true); });
    connect(m_trackTab.importSelected, &QPushButton::clicked, this, [this] { importTracks(false); });
    connect(m_trackTab.deleteAll, &QPushButton::clicked, this, [this] { deleteEntries(DeviceList::Tracks, true); });
    connect(m_trackTab.deleteSelected, &QPushButton::clicked, this,
            [this] { deleteEntries(DeviceList::Tracks, false); });
    connect(m_waypointTab.importAll, &QPushButton::clicked, this, [this] { importWaypoints(true); });
    connect(m_waypointTab.importSelected, &QPushButton::clicked, this, [this] { importWaypoints(false); });
    connect(m_waypointTab.deleteAll, &QPushButton::clicked, this,
            [this] { deleteEntries(DeviceList::Waypoints, true); });
    connect(m_waypointTab.deleteSelected, &QPushButton::clicked, this,
            [this] { deleteEntries(DeviceList::Waypoints, false); });
    connect(m_routeTab.importAll, &QPushButton::clicked, this, [this] { importRoutes(true); });
    connect(m_routeTab.importSelected, &QPushButton::clicked, this, [this] { importRoutes(false); });
    connect(m_routeTab.deleteAll, &QPushButton::clicked, this, [this] { deleteEntries(DeviceList::Routes, true); });
    connect(m_routeTab.deleteSelected, &QPushButton::clicked, this,
            [this] { deleteEntries(DeviceList::Routes, false); });

    QSettings settings;
    settings.beginGroup(objectName());
    if (!restoreGeometry(settings.value(QStringLiteral("geometry")).toByteArray()))
        resize(720, 520);
}

void GPSWindowController::windowDidLoad()
{
    if (std::exchange(m_loaded, true))
        return;
    connect(&NotificationCenter::instance(), &NotificationCenter::notified, this,
            [this](const QString& name, QObject*, const QVariantMap&) {
                if (name != QLatin1String(notifications::DocCountChanged))
                    return;
                // Posted while a logbook is made or released; its window is ready after this turn.
                QTimer::singleShot(0, this, [this] {
                    setButtonsForSelectedDevice();
                    markTracksInLogbooks();
                });
            });
    m_tabs->setCurrentIndex(0);
    setButtonsForSelectedDevice();
    m_watcher->start();
    scanDevices();
}

bool GPSWindowController::isBusy() const
{
    return m_scanning || m_importer || m_deleting || m_importingRoutes || m_sending ||
           (m_waypointImport && m_waypointImport->isRunning());
}

bool GPSWindowController::isReading() const
{
    GpsDevice* device = m_chosen;
    if (!device)
        return false;
    // Each flag stays clear from the start of its step until the driver calls back.
    return (!m_tracksRead && device->has(DeviceOperation::TrackList)) ||
           (!m_routesRead && device->has(DeviceOperation::RouteList)) ||
           (!m_waypointsRead && device->has(DeviceOperation::WaypointList)) ||
           (m_settingsRead == 2 && m_settingsView && device->has(DeviceOperation::GetSettings));
}

QString GPSWindowController::stillReadingText()
{
    return tr("The instrument is still being read. Send again when its lists and settings have been read.");
}

bool GPSWindowController::writeWaypointsEnabled() const
{
    return device() && device()->has(DeviceOperation::WriteWaypoint);
}

bool GPSWindowController::writeRoutesEnabled() const
{
    return device() && device()->has(DeviceOperation::WriteRoute);
}

void GPSWindowController::dropDevice(bool wait)
{
    if (!m_device)
        return;
    m_chosen = nullptr;
    m_device->setDelegate(nullptr);
    // Its list reads stop at their next read (up to a silent read's time) and are
    // joined in its destructor: off the GUI thread, unless the window is going.
    m_device->cancelAction();
    if (wait) {
        m_device.reset();
        return;
    }
    auto* retiring = new QThread;
    GpsDevice* device = m_device.release();
    device->moveToThread(retiring);
    connect(retiring, &QThread::started, device, [device, retiring] {
        delete device;
        retiring->quit();
    });
    connect(retiring, &QThread::finished, retiring, &QObject::deleteLater);
    retiring->start();
}

void GPSWindowController::scanDevices()
{
    if (isBusy())
        return;
    m_tracks.clear();
    m_waypoints.clear();
    m_routes.clear();
    m_tracksRead = m_waypointsRead = m_routesRead = false;
    {
        const QSignalBlocker quiet(m_deviceTable);
        m_deviceTable->clearSelection();
        m_deviceTable->setRowCount(0);
    }
    delete m_settingsView;
    m_settingsView = nullptr;
    dropDevice();
    fillTracks();
    fillWaypoints();
    fillRoutes();
    NotificationCenter::instance().post(QString::fromLatin1(notifications::DeviceChanged), this);

    m_progress->beginIndeterminate(tr("Searching for Devices..."));
    m_scanning = true;
    m_rescanWanted = false;
    setButtonsForSelectedDevice();
    auto scanner = std::make_shared<Devices>();
    m_scanner = scanner;
    QThread* gui = thread();
    m_worker->start([this, scanner, gui, scan = m_scan] {
        auto result = std::make_shared<ScanResult>(scan(*scanner));
        if (result->device)
            result->device->moveToThread(gui);
        QStringList problems;
        for (const std::string& problem : result->problems)
            problems << q(problem);
        const bool ruleInstalled =
            !problems.isEmpty() && checkSerialAccess({}, udevRuleFolders()).ruleInstalled;
        QMetaObject::invokeMethod(
            this, [this, result, problems, ruleInstalled] { scanFinished(std::move(*result), problems, ruleInstalled); },
            Qt::QueuedConnection);
    });
}

void GPSWindowController::scanFinished(ScanResult result, const QStringList& accessProblems, bool ruleInstalled)
{
    m_scanning = false;
    m_scanner.reset();
    m_progress->end();
    m_device = std::move(result.device);
    QString problems = accessProblemsText(accessProblems, ruleInstalled);
    if (!m_device && problems.isEmpty())
        problems = tr("No instrument found. Connect the instrument, switch it on and press Scan.");
    m_accessProblems->setText(problems);
    m_accessProblems->setVisible(!problems.isEmpty());
    if (m_device) {
        m_deviceTable->setRowCount(1);
        auto* row = new QTableWidgetItem(q(m_device->name()));
        row->setToolTip(q(m_device->portPath()));
        m_deviceTable->setItem(0, 0, row);
        m_deviceTable->selectRow(0);
    } else {
        setButtonsForSelectedDevice();
        if (std::exchange(m_rescanWanted, false))
            QTimer::singleShot(0, this, &GPSWindowController::scanDevices);
    }
}

void GPSWindowController::chooseDevice(int row)
{
    m_tracksRead = m_waypointsRead = m_routesRead = false;
    m_tracks.clear();
    m_waypoints.clear();
    m_routes.clear();
    fillTracks();
    fillWaypoints();
    fillRoutes();
    if (row != 0 || !m_device) {
        if (m_device)
            m_device->setDelegate(nullptr);
        m_chosen = nullptr;
    } else {
        m_chosen = m_device.get();
        m_chosen->setDelegate(this);
    }
    m_settingsRead = 2;
    placeSettingsView();
    readChain(ChainStep::Tracks);
    setButtonsForSelectedDevice();
    NotificationCenter::instance().post(QString::fromLatin1(notifications::DeviceChanged), this);
}

void GPSWindowController::placeSettingsView()
{
    delete m_settingsView;
    m_settingsView = nullptr;
    if (!m_chosen || !m_chosen->has(DeviceOperation::GetSettings) ||
        !m_chosen->has(DeviceOperation::SettingsController))
        return;
    m_settingsView = createDeviceSettingsView(*m_chosen, m_settingsStack);
    if (m_settingsView)
        m_settingsStack->addWidget(m_settingsView);
}

void GPSWindowController::readChain(ChainStep from)
{
    GpsDevice* device = m_chosen;
    if (!device)
        return;
    switch (from) {
    case ChainStep::Tracks:
        if (!m_tracksRead && device->has(DeviceOperation::TrackList)) {
            device->trackList();
            return;
        }
        [[fallthrough]];
    case ChainStep::Routes:
        // Read before the waypoints: a route write asks about the instrument's one slot by this list.
        if (!m_routesRead && device->has(DeviceOperation::RouteList)) {
            device->routeList();
            return;
        }
        [[fallthrough]];
    case ChainStep::Waypoints:
        if (!m_waypointsRead && device->has(DeviceOperation::WaypointList)) {
            device->waypointList();
            return;
        }
        [[fallthrough]];
    case ChainStep::Settings:
        if (m_settingsRead == 2 && m_settingsView && device->has(DeviceOperation::GetSettings)) {
            setButtonsForSelectedDevice();
            (void)device->getSettings();
        }
        return;
    }
}

void GPSWindowController::tracksRead(GpsDevice& device, const std::vector<Track>& tracks)
{
    if (&device != m_chosen)
        return;
    m_tracks = tracks;
    m_tracksRead = true;
    fillTracks();
    setButtonsForSelectedDevice();
    readChain(ChainStep::Routes);
}

void GPSWindowController::routesRead(GpsDevice& device, const std::vector<DeviceRoute>& routes)
{
    if (&device != m_chosen)
        return;
    m_routes = routes;
    m_routesRead = true;
    fillRoutes();
    setButtonsForSelectedDevice();
    readChain(ChainStep::Waypoints);
}

void GPSWindowController::waypointsRead(GpsDevice& device, const std::vector<DeviceWayPoint>& waypoints)
{
    if (&device != m_chosen)
        return;
    m_waypoints = waypoints;
    m_waypointsRead = true;
    fillWaypoints();
    setButtonsForSelectedDevice();
    QTimer::singleShot(0, this, [this] { readChain(ChainStep::Settings); });
}

void GPSWindowController::settingsRead(GpsDevice& device, bool success)
{
    if (&device != m_chosen)
        return;
    m_settingsRead = success ? 1 : 0;
    if (success && m_settingsView)
        showDeviceSettings(m_settingsView);
    setButtonsForSelectedDevice();
}

void GPSWindowController::refreshTrackList()
{
    m_tracksRead = false;
    m_tracks.clear();
    fillTracks();
    setButtonsForSelectedDevice();
    readChain(ChainStep::Tracks);
}

void GPSWindowController::refreshWaypointList()
{
    m_waypointsRead = false;
    m_waypoints.clear();
    fillWaypoints();
    setButtonsForSelectedDevice();
    readChain(ChainStep::Waypoints);
}

void GPSWindowController::refreshRouteList()
{
    m_routesRead = false;
    m_routes.clear();
    fillRoutes();
    setButtonsForSelectedDevice();
    readChain(ChainStep::Routes);
}

void GPSWindowController::fillTracks()
{
    QStandardItemModel* model = m_trackTab.model;
    model->removeRows(0, model->rowCount());
    for (const Track& track : m_tracks)
        model->appendRow({item(q(utcDateString(track))), item(q(utcTimeString(track))), item(q(durationString(track))),
                          item(QString())});
    markTracksInLogbooks();
}

void GPSWindowController::markTracksInLogbooks()
{
    QList<LogBookFlights> logbooks;
    for (const LogBookTarget& target : m_targets ? m_targets() : QList<LogBookTarget>{}) {
        if (!target.window)
            continue;
        LogBookFlights flights{target.displayName, {}};
        for (Flight* flight : target.window->flightList())
            flights.flights.append({flight->startUTC(), flight->landingUTC()});
        logbooks.append(flights);
    }
    QStandardItemModel* model = m_trackTab.model;
    for (int row = 0; row < model->rowCount() && row < int(m_tracks.size()); ++row) {
        const Track& track = m_tracks[std::size_t(row)];
        const QStringList names =
            logbooksHolding(toDateTime(track.utcDateTime), qint64(track.flightTime), logbooks);
        QStandardItem* mark = model->item(row, 3);
        mark->setText(names.join(QStringLiteral(", ")));
        mark->setToolTip(names.isEmpty() ? QString() : tr("A flight of this time is already in %1").arg(mark->text()));
        // A track already imported reads greyed, so new flights stand out.
        for (int column = 0; column < model->columnCount(); ++column)
            model->item(row, column)->setForeground(names.isEmpty() ? QBrush() : QBrush(Qt::gray));
    }
}

void GPSWindowController::fillWaypoints()
{
    QStandardItemModel* model = m_waypointTab.model;
    model->removeRows(0, model->rowCount());
    for (const DeviceWayPoint& w : m_waypoints) {
        model->appendRow({item(q(w.shortName).trimmed()),
                          item(w.latitudeString.empty() ? QString::number(w.latitude, 'f', 5) : q(w.latitudeString)),
                          item(w.longitudeString.empty() ? QString::number(w.longitude, 'f', 5) : q(w.longitudeString)),
                          item(w.altitudeString.empty() ? QString::number(w.altitude, 'f', 0) : q(w.altitudeString))});
    }
}

void GPSWindowController::fillRoutes()
{
    QStandardItemModel* model = m_routeTab.model;
    model->removeRows(0, model->rowCount());
    for (const DeviceRoute& route : m_routes) {
        QStringList points;
        for (const DeviceWayPoint& w : route.waypoints)
            points << q(w.shortName).trimmed();
        model->appendRow({item(q(route.name).trimmed()), item(points.join(QStringLiteral(", ")))});
    }
}

void GPSWindowController::applyTab(ListTab& tab, const DeviceListFacts& facts)
{
    const DeviceTabState state = deviceTabState(facts);
    switch (state.page) {
    case DeviceTabState::Page::NotAvailable: tab.stack->setCurrentIndex(0); break;
    case DeviceTabState::Page::Reading: tab.stack->setCurrentIndex(1); break;
    case DeviceTabState::Page::Table: tab.stack->setCurrentIndex(2); break;
    }
    const bool idle = !isBusy();
    tab.importAll->setEnabled(idle && state.importAll);
    tab.importSelected->setEnabled(idle && state.importSelected);
    tab.deleteSelected->setVisible(state.deleteSelectedShown);
    tab.deleteSelected->setEnabled(idle && state.deleteSelected);
    tab.deleteAll->setVisible(state.deleteAllShown);
    tab.deleteAll->setEnabled(idle && state.deleteAll);
    // A list the window cannot import from offers no import buttons at all.
    const bool importable = tab.list != DeviceList::Tracks || !facts.connected || facts.canList;
    tab.importAll->setVisible(importable);
    tab.importSelected->setVisible(importable);
}

void GPSWindowController::setButtonsForSelectedDevice()
{
    GpsDevice* device = m_chosen;
    const auto has = [device](DeviceOperation operation) { return device && device->has(operation); };
    const auto selected = [](const ListTab& tab) { return tab.table->selectionModel()->hasSelection(); };
    bool logbookOpen = false;
    for (const LogBookTarget& target : m_targets ? m_targets() : QList<LogBookTarget>{})
        logbookOpen = logbookOpen || (target.window && !target.window->isReadOnly());

    DeviceListFacts tracks{device != nullptr, has(DeviceOperation::TrackList), false,
                           has(DeviceOperation::DeleteAllTracks), m_tracksRead, int(m_tracks.size()),
                           selected(m_trackTab), logbookOpen};
    applyTab(m_trackTab, tracks);
    DeviceListFacts waypoints{device != nullptr, has(DeviceOperation::WaypointList),
                              has(DeviceOperation::DeleteWaypoints), has(DeviceOperation::DeleteAllWaypoints),
                              m_waypointsRead, int(m_waypoints.size()), selected(m_waypointTab),
                              m_globalStore != nullptr};
    applyTab(m_waypointTab, waypoints);
    DeviceListFacts routes{device != nullptr, has(DeviceOperation::RouteList), has(DeviceOperation::DeleteRoutes),
                           has(DeviceOperation::DeleteAllRoutes), m_routesRead, int(m_routes.size()),
                           selected(m_routeTab), m_globalStore != nullptr};
    applyTab(m_routeTab, routes);

    const DeviceTabState::Page settings = settingsPage(
        device != nullptr, has(DeviceOperation::GetSettings) && m_settingsView != nullptr, m_settingsRead);
    if (settings == DeviceTabState::Page::Table && m_settingsView) {
        m_settingsStack->setCurrentWidget(m_settingsView);
    } else {
        m_settingsLabel->setText(settings == DeviceTabState::Page::Reading ? tr("Reading settings...")
                                                                           : tr("Settings not available"));
        m_settingsStack->setCurrentWidget(m_settingsLabel);
    }
    m_scanButton->setEnabled(!isBusy());
    // The driver stays chosen while it works for an import, send or delete.
    m_deviceTable->setEnabled(!isBusy());
    // The waypoint and route windows offer their send only while the line is free.
    const bool sendable = device && !isBusy() && !isReading();
    if (std::exchange(m_sendable, sendable) != sendable)
        NotificationCenter::instance().post(QString::fromLatin1(notifications::DeviceChanged), this);
}

QList<int> GPSWindowController::chosenRows(const ListTab& tab, bool all) const
{
    QList<int> rows;
    if (all) {
        for (int row = 0; row < tab.model->rowCount(); ++row)
            rows << row;
        return rows;
    }
    for (const QModelIndex& index : tab.table->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

// --- track import -------------------------------------------------------------

void GPSWindowController::importTracks(bool all)
{
    if (!m_chosen || isBusy())
        return;
    const QList<int> rows = chosenRows(m_trackTab, all);
    if (rows.isEmpty())
        return;
    QList<LogBookTarget> targets;
    for (const LogBookTarget& target : m_targets ? m_targets() : QList<LogBookTarget>{})
        if (target.window && !target.window->isReadOnly())
            targets << target;
    if (targets.isEmpty())
        return;
    if (targets.size() == 1) {
        importTracksInto(targets.first().window, rows);
        return;
    }
    QStringList names;
    QList<QPointer<LogBookWindowController>> windows;
    for (const LogBookTarget& target : targets) {
        names << target.displayName;
        windows << target.window;
    }
    disconnect(m_selectLogBook, &SelectLogBookSheet::chosen, this, nullptr);
    connect(m_selectLogBook, &SelectLogBookSheet::chosen, this, [this, windows, rows](int row) {
        if (row >= 0 && row < windows.size() && windows[row])
            importTracksInto(windows[row], rows);
    });
    m_selectLogBook->ask(names);
}

void GPSWindowController::importTracksInto(LogBookWindowController* logbook, const QList<int>& rows)
{
    if (!m_chosen || isBusy() || !logbook || !logbook->managedObjectContext())
        return;
    LogBookImport* logbookImport = logbook->logBookImport();
    if (!logbookImport)
        return;
    QList<InstrumentTrack> tracks;
    GpsDevice* device = m_chosen;
    for (int row : rows) {
        if (row < 0 || row >= int(m_tracks.size()))
            continue;
        Track track = m_tracks[std::size_t(row)];
        InstrumentTrack entry;
        entry.name = trackName(track);
        entry.startUTC = toDateTime(track.utcDateTime);
        entry.flightTimeS = qint64(track.flightTime);
        // The driver outlives the import: the window neither rescans nor drops it while one runs.
        entry.download = [device, track]() mutable -> std::optional<QString> {
            if (!device->igcTrack(track) || track.igcData.empty())
                return std::nullopt;
            // Latin-1 keeps every byte, as the file import does.
            return QString::fromLatin1(track.igcData.data(), qsizetype(track.igcData.size()));
        };
        tracks << entry;
    }
    if (tracks.isEmpty())
        return;
    m_importTarget = logbook;
    m_question = std::make_unique<TrackImportQuestion>(m_intersect, m_importTarget);
    m_importer = std::make_unique<FlightImporter>(logbook->managedObjectContext()->store(),
                                                  logbookImport->calcXCDataQueue(), *m_question,
                                                  logbook->importServices());
    connect(m_importer.get(), &FlightImporter::progressStarted, this, [this](const QString& title, int maximum) {
        if (m_importTarget)
            m_importTarget->deselectFlights();
        m_progress->begin(title, maximum);
    });
    connect(m_importer.get(), &FlightImporter::progressChanged, m_progress, &LongTimeSheet::setProgress);
    connect(m_importer.get(), &FlightImporter::flightInserted, this, [this] {
        if (m_importTarget)
            m_importTarget->flightModel()->refresh();
    });
    connect(m_importer.get(), &FlightImporter::finished, this, &GPSWindowController::trackImportFinished);
    setButtonsForSelectedDevice();
    m_importer->startTracks(tracks);
}

void GPSWindowController::trackImportFinished(const ImportSummary& summary)
{
    m_progress->end();
    // The importer is inside its own signal: it goes once this turn is over.
    m_importer.release()->deleteLater();
    LogBookWindowController* logbook = m_importTarget;
    m_importTarget = nullptr;
    if (!summary.failed.isEmpty()) {
        QStringList reasons;
        for (const ImportFileFailure& failure : summary.failed)
            reasons << failure.reason;
        const QString message =
            reasons.size() == 1 ? reasons.first() : tr("%n track(s) could not be imported", nullptr, int(reasons.size()));
        m_interaction->showAlert(this, message, reasons.size() == 1 ? QString() : reasons.join(QLatin1Char('\n')));
    }
    if (logbook) {
        logbook->flightModel()->refresh();
        logbook->sortFlights(logbook->sortType());
        QList<Flight*> flights;
        ObjectContext* context = logbook->managedObjectContext();
        for (const ObjectId& id : summary.newFlights)
            if (auto* flight = qobject_cast<Flight*>(context ? context->existingObject(id) : nullptr))
                flights << flight;
        if (!flights.isEmpty())
            logbook->selectFlights(flights);
    }
    markTracksInLogbooks();
    setButtonsForSelectedDevice();
    emit importFinished(summary);
}

void GPSWindowController::stopTrackImport()
{
    if (!m_importer)
        return;
    if (m_chosen)
        m_chosen->cancelAction();
    m_importer->cancel();
    // Joins the worker: nothing touches the logbook's store or queue after this.
    m_importer.reset();
    m_question.reset();
    m_importTarget = nullptr;
    m_progress->end();
    setButtonsForSelectedDevice();
}

void GPSWindowController::logBookClosing(LogBookWindowController* logbook)
{
    if (m_importer && m_importTarget == logbook)
        stopTrackImport();
    if (m_selectLogBook->isVisible())
        m_selectLogBook->reject();
    QTimer::singleShot(0, this, [this] {
        setButtonsForSelectedDevice();
        markTracksInLogbooks();
    });
}

// --- waypoints and routes --------------------------------------------------------

WaypointFileImport* GPSWindowController::waypointImport()
{
    if (!m_waypointImport && m_globalStore) {
        m_waypointImport = new WaypointFileImport(this, *m_globalStore, m_lookup, this);
        connect(m_waypointImport, &WaypointFileImport::finished, this,
                &GPSWindowController::setButtonsForSelectedDevice);
    }
    return m_waypointImport;
}

void GPSWindowController::importWaypoints(bool all)
{
    WaypointFileImport* import = waypointImport();
    if (!import || isBusy())
        return;
    std::vector<WaypointRecord> records;
    for (int row : chosenRows(m_waypointTab, all)) {
        const DeviceWayPoint& w = m_waypoints[std::size_t(row)];
        records.push_back({q(w.shortName).trimmed(), w.latitude, w.longitude, w.altitude, w.gpsaltitude, w.radius});
    }
    if (records.empty())
        return;
    import->startRecords(std::move(records));
    setButtonsForSelectedDevice();
}

void GPSWindowController::importRoutes(bool all)
{
    if (!m_globalStore || isBusy())
        return;
    struct RouteToStore
    {
        QString name;
        std::vector<RouteEntry> entries;
    };
    QList<RouteToStore> routes;
    for (int row : chosenRows(m_routeTab, all)) {
        const DeviceRoute& route = m_routes[std::size_t(row)];
        routes.append({q(route.name).trimmed(), routeEntriesForImport(route, m_waypoints)});
    }
    if (routes.isEmpty())
        return;
    m_importingRoutes = true;
    m_progress->begin(tr("Importing route(s)..."), int(routes.size()));
    setButtonsForSelectedDevice();
    const std::shared_ptr<std::atomic<bool>> canceled = m_progress->cancelFlag();
    PersistentStore* store = m_globalStore;
    m_worker->start([this, routes, canceled, store] {
        int stored = 0;
        auto opened = store->newBackgroundContext();
        if (opened) {
            ObjectContext& context = **opened;
            for (const RouteToStore& route : routes) {
                if (canceled->load())
                    break;
                QMetaObject::invokeMethod(
                    m_progress, [this, done = stored + 1] { m_progress->setProgress(done); }, Qt::QueuedConnection);
                auto* stored_route = context.insert<Route>();
                bool ok = stored_route != nullptr;
                if (ok) {
                    stored_route->setName(route.name);
                    for (const RouteEntry& e : route.entries)
                        ok = ok && stored_route->appendWaypoint(e.latitude, e.longitude, e.altitude, e.radius,
                                                                q(e.name).trimmed()) != nullptr;
                }
                if (ok) {
                    stored_route->calcDistance();
                    ok = context.save().ok();
                }
                if (!ok) {
                    // The route in hand is dropped; those saved before stay.
                    context.rollback();
                    break;
                }
                ++stored;
            }
        }
        QMetaObject::invokeMethod(
            this,
            [this, stored] {
                m_importingRoutes = false;
                m_progress->end();
                setButtonsForSelectedDevice();
                emit routesImported(stored);
            },
            Qt::QueuedConnection);
    });
}

// --- deletes ---------------------------------------------------------------------

void GPSWindowController::deleteEntries(DeviceList list, bool all)
{
    if (!m_chosen || isBusy())
        return;
    ListTab& tab = list == DeviceList::Tracks ? m_trackTab : list == DeviceList::Waypoints ? m_waypointTab : m_routeTab;
    const QList<int> rows = chosenRows(tab, all);
    if (rows.isEmpty())
        return;
    QPointer<GpsDevice> device(m_chosen);
    m_interaction->askWarning(this, deleteQuestion(list), [this, list, rows, device](bool ok) {
        if (!ok || !device || device != m_chosen || isBusy())
            return;
        const int total = list == DeviceList::Tracks      ? int(m_tracks.size())
                          : list == DeviceList::Waypoints ? int(m_waypoints.size())
                                                          : int(m_routes.size());
        const bool everything = rows.size() == total;
        std::vector<DeviceWayPoint> waypoints;
        std::vector<DeviceRoute> routes;
        for (int row : rows) {
            if (list == DeviceList::Waypoints)
                waypoints.push_back(m_waypoints[std::size_t(row)]);
            else if (list == DeviceList::Routes)
                routes.push_back(m_routes[std::size_t(row)]);
        }
        m_deleting = true;
        m_progress->beginIndeterminate(deletingText(list));
        setButtonsForSelectedDevice();
        GpsDevice* driver = device;
        m_worker->start([this, driver, list, everything, waypoints, routes] {
            Result<Done> result = Result<Done>::failure(kUnsupportedOperation);
            switch (list) {
            case DeviceList::Tracks:
                if (driver->has(DeviceOperation::DeleteAllTracks))
                    result = driver->deleteAllTracks();
                break;
            case DeviceList::Waypoints:
                result = everything && driver->has(DeviceOperation::DeleteAllWaypoints) ? driver->deleteAllWaypoints()
                                                                                         : driver->deleteWaypoints(waypoints);
                break;
            case DeviceList::Routes:
                result = everything && driver->has(DeviceOperation::DeleteAllRoutes) ? driver->deleteAllRoutes()
                                                                                      : driver->deleteRoutes(routes);
                break;
            }
            const QString error = result ? QString() : q(result.error());
            QMetaObject::invokeMethod(
                this,
                [this, list, error] {
                    m_deleting = false;
                    m_progress->end();
                    if (!error.isEmpty())
                        m_interaction->showAlert(this, deleteFailedText(list), error);
                    if (list == DeviceList::Tracks)
                        refreshTrackList();
                    else if (list == DeviceList::Waypoints)
                        refreshWaypointList();
                    else
                        refreshRouteList();
                    emit deleteFinished(error);
                },
                Qt::QueuedConnection);
        });
    });
}

// --- sending -----------------------------------------------------------------------

void GPSWindowController::moveWaypointsToDevice(std::vector<DeviceWayPoint> waypoints,
                                                std::function<void(const InstrumentSendResult&)> done)
{
    if (!m_chosen) {
        done({false, tr("No device connected")});
        return;
    }
    if (isReading()) {
        done({false, stillReadingText()});
        return;
    }
    if (isBusy() || !m_chosen->has(DeviceOperation::WriteWaypoint)) {
        done({false, tr("The instrument is busy or takes no waypoints.")});
        return;
    }
    m_sending = true;
    m_progress->begin(tr("Sending waypoint(s)..."), int(waypoints.size()));
    setButtonsForSelectedDevice();
    GpsDevice* device = m_chosen;
    const std::shared_ptr<std::atomic<bool>> canceled = m_progress->cancelFlag();
    m_worker->start([this, device, waypoints = std::move(waypoints), canceled, done = std::move(done)] {
        InstrumentSendResult result{true, {}};
        int sent = 0;
        for (const DeviceWayPoint& w : waypoints) {
            if (canceled->load()) {
                result = {false, {}};
                break;
            }
            const Result<Done> written = device->writeWaypoint(w);
            if (!written) {
                // A write cut short by the cancel button is no failure to report.
                result = {false, canceled->load() ? QString() : q(written.error())};
                break;
            }
            QMetaObject::invokeMethod(m_progress, [this, n = ++sent] { m_progress->setProgress(n); },
                                      Qt::QueuedConnection);
        }
        QMetaObject::invokeMethod(
            this,
            [this, result, done] {
                m_sending = false;
                m_progress->end();
                refreshWaypointList();
                done(result);
            },
            Qt::QueuedConnection);
    });
}

void GPSWindowController::moveRouteToDevice(RouteToWrite route,
                                            std::function<void(const InstrumentSendResult&)> done)
{
    if (!m_chosen) {
        done({false, tr("No device connected")});
        return;
    }
    if (isReading()) {
        done({false, stillReadingText()});
        return;
    }
    if (isBusy() || !m_chosen->has(DeviceOperation::WriteRoute)) {
        done({false, tr("The instrument is busy or takes no routes.")});
        return;
    }
    // The route list is read in the chain, so the one slot is known to be taken.
    const bool oneSlot = m_chosen->has(DeviceOperation::MaxRoutes) && m_chosen->maxRoutes() == 1;
    if (oneSlot && !m_routes.empty()) {
        QPointer<GpsDevice> device(m_chosen);
        m_interaction->askWarning(this, tr("The device is not able to save more then one route at a time."),
                                  [this, device, route = std::move(route), done](bool ok) mutable {
                                      if (!ok) {
                                          done({false, {}});
                                          return;
                                      }
                                      if (!device || device != m_chosen || isBusy()) {
                                          done({false, tr("No device connected")});
                                          return;
                                      }
                                      if (isReading()) {
                                          done({false, stillReadingText()});
                                          return;
                                      }
                                      writeRoute(std::move(route), std::move(done));
                                  });
        return;
    }
    writeRoute(std::move(route), std::move(done));
}

void GPSWindowController::writeRoute(RouteToWrite route, std::function<void(const InstrumentSendResult&)> done)
{
    m_sending = true;
    m_progress->beginIndeterminate(tr("Sending route..."));
    setButtonsForSelectedDevice();
    GpsDevice* device = m_chosen;
    m_worker->start([this, device, route = std::move(route), done = std::move(done)] {
        const Result<Done> written = device->writeRoute(route);
        const InstrumentSendResult result = written ? InstrumentSendResult{true, {}}
                                                    : InstrumentSendResult{false, q(written.error())};
        QMetaObject::invokeMethod(
            this,
            [this, result, done] {
                m_sending = false;
                m_progress->end();
                // A route write also stores its points as waypoints on some instruments.
                m_waypointsRead = false;
                m_waypoints.clear();
                fillWaypoints();
                refreshRouteList();
                done(result);
            },
            Qt::QueuedConnection);
    });
}

InstrumentSend GPSWindowController::instrumentSend()
{
    QPointer<GPSWindowController> self(this);
    InstrumentSend send;
    send.canSendWaypoints = [self] {
        return self && self->writeWaypointsEnabled() && !self->isBusy() && !self->isReading();
    };
    send.canSendRoutes = [self] {
        return self && self->writeRoutesEnabled() && !self->isBusy() && !self->isReading();
    };
    send.sendWaypoints = [self](std::vector<DeviceWayPoint> waypoints,
                                std::function<void(const InstrumentSendResult&)> done) {
        if (self)
            self->moveWaypointsToDevice(std::move(waypoints), std::move(done));
        else
            done({false, tr("No device connected")});
    };
    send.sendRoute = [self](RouteToWrite route, std::function<void(const InstrumentSendResult&)> done) {
        if (self)
            self->moveRouteToDevice(std::move(route), std::move(done));
        else
            done({false, tr("No device connected")});
    };
    return send;
}

void GPSWindowController::longTimeCanceled()
{
    if (m_chosen)
        m_chosen->cancelAction();
    if (m_importer)
        m_importer->cancel();
    if (m_scanner)
        m_scanner->cancelGetDevices();
}

void GPSWindowController::closeEvent(QCloseEvent* event)
{
    QSettings settings;
    settings.beginGroup(objectName());
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
    QMainWindow::closeEvent(event);
}

} // namespace kalvora
