#include "app/kalvoraappdelegate.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QSysInfo>
#include <QVersionNumber>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QWindow>

#include "app/about.h"
#include "app/appinteraction.h"
#include "app/globalstore.h"
#include "app/logbook.h"
#include "app/recentlogbooks.h"
#include "model/equipment.h"
#include "model/settings.h"
#include "services/settingsservice.h"
#include "store/notificationcenter.h"
#include "store/objectcontext.h"
#include "services/httpclient.h"
#include "ui/device/gpswindowcontroller.h"
#include "ui/export/logbookoutput.h"
#include "ui/igcdrop.h"
#include "ui/equipmentwindowcontroller.h"
#include "ui/logbookimport.h"
#include "ui/windowinteraction.h"
#include "ui/windowplacement.h"
#include "ui/logbookwindowcontroller.h"
#include "logbook/placecache.h"
#include "ui/restorebackupsheet.h"
#include "waypoints/placeanswercache.h"
#include "waypoints/placefinderlookup.h"
#include "waypoints/waypointsync.h"
#include "model/flight.h"
#include "ui/waypoints/currentposition.h"
#include "ui/waypoints/routewindowcontroller.h"
#include "ui/waypoints/waypointinteraction.h"
#include "ui/waypoints/waypointservices.h"
#include "ui/waypoints/waypointwindowcontroller.h"
#include "ui/map/flightmapwindowcontroller.h"
#include "ui/map/mapwindowcontroller.h"
#include "model/waypoint.h"
#include "ui/pilotwindowcontroller.h"
#include "ui/settingswindowcontroller.h"
#include "ui/spots/spotswindowcontroller.h"
#include "ui/update/updatecontroller.h"
#include "services/updatecheck.h"
#include "track/version.h"

namespace kalvora {

namespace {

QString logbookFilter()
{
    return KalvoraAppDelegate::tr("Kalvora logbooks (*.%1)").arg(QString::fromLatin1(LogBookFileExtension));
}

/** The logbooks open when the application last quit, the one in use last. */
const QString kOpenAtQuitKey = QStringLiteral("OpenLogbooksAtQuit");

bool isLogbookFile(const QString& path)
{
    return QFileInfo(path).suffix().compare(QString::fromLatin1(LogBookFileExtension), Qt::CaseInsensitive) == 0;
}

} // namespace

KalvoraAppDelegate::KalvoraAppDelegate(std::unique_ptr<AppInteraction> interaction,
                                       std::unique_ptr<StartupServices> services, QObject* parent)
    : QObject(parent),
      m_interaction(interaction ? std::move(interaction) : makeDialogInteraction()),
      m_services(services ? std::move(services) : std::make_unique<StartupServices>())
{
    connect(qApp, &QApplication::focusWindowChanged, this, [this] {
        if (QApplication::activeWindow())
            noteInUse(currentDocument());
    });
}

KalvoraAppDelegate::~KalvoraAppDelegate()
{
    disconnect(&NotificationCenter::instance(), nullptr, this, nullptr);
    m_quitting = true;
    const QList<LogBook*> documents = m_documents;
    for (LogBook* document : documents)
        document->close();
    qDeleteAll(documents);
    m_documents.clear();
    // Tool windows and background passes go before the global store they use.
    delete m_equipmentWindow.data();
    delete m_waypointWindow.data();
    delete m_routeWindow.data();
    delete m_gpsWindow.data();
    delete m_flightMapWindow.data();
    delete m_mapWindow.data();
    m_waypointSync.reset();
    delete m_settingsWindow.data();
    delete m_spotsWindow.data();
    m_updateController.reset();
    m_services->stop();
    Settings::setCurrent(nullptr);
}

void KalvoraAppDelegate::launch(const QStringList& files)
{
    bool openedAtLaunch = false;
    for (const QString& path : files) {
        if (!isLogbookFile(path))
            continue;
        QString error;
        if (openDocumentWithContentsOfFile(path, &error))
            openedAtLaunch = true;
        else if (!error.isEmpty())
            presentErrors({PresentableError{QStringLiteral("KalvoraDocumentError"), 1, error, {}}});
    }
    if (!openedAtLaunch && applicationShouldOpenUntitledFile())
        openUntitledDocument();
    applicationDidFinishLaunching();
    importIGCFiles(files);
}

void KalvoraAppDelegate::openFiles(const QStringList& files)
{
    for (const QString& path : files) {
        if (!isLogbookFile(path))
            continue;
        QString error;
        if (!openDocumentWithContentsOfFile(path, &error) && !error.isEmpty())
            presentErrors({PresentableError{QStringLiteral("KalvoraDocumentError"), 1,
                                            tr("The logbook could not be opened."), error}});
    }
    importIGCFiles(files);
    if (LogBook* document = currentDocument())
        document->openFlightsWindow();
}

void KalvoraAppDelegate::importIGCFiles(const QStringList& files)
{
    QStringList igcFiles;
    for (const QString& path : files)
        if (hasIGCExtension(path))
            igcFiles << path;
    if (igcFiles.isEmpty())
        return;
    LogBook* document = currentDocument();
    if (!document)
        document = openUntitledDocument();
    if (!document || !document->controller())
        return;
    document->openFlightsWindow();
    if (!document->controller()->importFiles(igcFiles))
        // One import at a time per logbook: try again when the running one is over.
        QTimer::singleShot(1000, this, [this, igcFiles] { importIGCFiles(igcFiles); });
}

PlaceFinderLookup* KalvoraAppDelegate::placeFinder()
{
    if (!m_placeFinder) {
        m_placeFinder = std::make_unique<PlaceFinderLookup>(PlaceFinderLookup::fromSettings(defaultHttpClient()));
        // Sites named in earlier sessions are not asked about again.
        ObjectContext* global = globalManagedObjectContext();
        m_placeAnswers = std::make_unique<PlaceAnswerCache>(global ? readPlaceAnswers(*global) : QList<PlaceAnswer>());
        m_placeFinder->setAnswerCache(m_placeAnswers.get());
    }
    return m_placeFinder.get();
}

ImportServices KalvoraAppDelegate::importServices()
{
    PlaceFinderLookup* finder = placeFinder();
    globalManagedObjectContext();
    return ImportServices{finder, m_globalStore.get()};
}

LogBookBackups& KalvoraAppDelegate::backups()
{
    if (!m_backups)
        m_backups = std::make_unique<LogBookBackups>();
    return *m_backups;
}

void KalvoraAppDelegate::showRestoreBackup(LogBook* document)
{
    LogBookWindowController* window = document ? document->controller() : nullptr;
    if (!window)
        return;
    auto* sheet = window->findChild<RestoreBackupSheet*>(QString(), Qt::FindDirectChildrenOnly);
    if (!sheet) {
        sheet = new RestoreBackupSheet(window);
        QPointer<LogBook> owner(document);
        connect(sheet, &RestoreBackupSheet::restoreChosen, this, [this, owner](const BackupCopy& copy) {
            if (owner)
                restoreBackup(owner, copy);
        });
    }
    sheet->ask(document->displayName(), backups().copies(document->filePath()));
}

LogBook* KalvoraAppDelegate::restoreBackup(LogBook* document, const BackupCopy& copy)
{
    // Beside the logbook, where the pilot will look for it; elsewhere when that folder is read-only.
    QString folder = QFileInfo(document->filePath()).absolutePath();
    if (!QFileInfo(folder).isWritable())
        folder = defaultLogbookFolder();
    const Result<QString> restored = LogBookBackups::restore(copy, document->displayName(), folder);
    if (!restored) {
        presentErrors({PresentableError{QStringLiteral("KalvoraDocumentError"), 1,
                                        tr("The backup could not be restored."),
                                        QString::fromStdString(restored.error())}});
        return nullptr;
    }
    QString error;
    LogBook* opened = openDocumentWithContentsOfFile(*restored, &error);
    if (!opened && !error.isEmpty())
        presentErrors({PresentableError{QStringLiteral("KalvoraDocumentError"), 1,
                                        tr("The restored logbook could not be opened."), error}});
    return opened;
}

bool KalvoraAppDelegate::applicationShouldOpenUntitledFile()
{
    if (m_applicationHasStarted)
        return true;
    // The logbooks open at the last quit come back, the one last in use in front.
    bool reopened = false;
    for (const QString& path : QSettings().value(kOpenAtQuitKey).toStringList()) {
        if (QFileInfo::exists(path) && openDocumentWithContentsOfFile(path))
            reopened = true;
    }
    if (reopened)
        return false;
    const QStringList recent = RecentLogbooks::list();
    if (recent.isEmpty()) {
        m_noRecentDocument = true;
        return true;
    }
    return openDocumentWithContentsOfFile(recent.first()) == nullptr;
}

void KalvoraAppDelegate::rememberOpenLogbooks() const
{
    // Oldest first, the one in use last, so reopening them in order leaves it in front.
    QStringList paths;
    for (const LogBook* document : m_documents)
        if (document != m_lastActive)
            paths << document->filePath();
    if (m_lastActive && m_documents.contains(m_lastActive.data()))
        paths << m_lastActive->filePath();
    QSettings().setValue(kOpenAtQuitKey, paths);
}

void KalvoraAppDelegate::noteInUse(LogBook* document)
{
    if (!document || document == m_lastActive)
        return;
    m_lastActive = document;
    // The recent list follows use, not only opening: after a restart the logbook last worked in comes back.
    RecentLogbooks::noteOpened(document->filePath());
}

void KalvoraAppDelegate::applicationDidFinishLaunching()
{
    m_applicationHasStarted = true;
    // Saves of background contexts are merged into each store's main context by the store itself.
    globalManagedObjectContext();
    m_services->startWaypointSync(m_globalStore.get());
    updateController()->checkUpdates(UpdateController::Trigger::AtStart);
    m_services->checkSerialDrivers();
    m_services->storeSecurityKeys();
    loadSettings();
    checkSettings();
    if (LogBook* document = currentDocument(); document && document->pilotWindowController())
        document->openPilotWindow();
}

void KalvoraAppDelegate::loadSettings()
{
    if (ObjectContext* context = globalManagedObjectContext())
        m_settings = fetchOrCreateSettings(*context);
    Settings::setCurrent(m_settings);
}

void KalvoraAppDelegate::checkSettings()
{
    if (m_settings)
        kalvora::checkSettings(*m_settings);
    else
        // Without a global store the windows still draw, in metric units.
        NotificationCenter::instance().post(QString::fromLatin1(notifications::SettingsUnitTypeChanged));
}

ObjectContext* KalvoraAppDelegate::globalManagedObjectContext()
{
    if (!m_globalStore) {
        GlobalStoreOpening opening = openGlobalStore(applicationFilesDirectory());
        if (!opening.store) {
            // The application goes on without; the next request tries again.
            presentErrors(opening.errors);
            return nullptr;
        }
        m_globalStore = std::move(opening.store);
    }
    return m_globalStore->mainContext();
}

bool KalvoraAppDelegate::saveAction()
{
    ObjectContext* context = globalManagedObjectContext();
    if (!context)
        return false;
    auto saved = context->save();
    if (!saved)
        m_interaction->presentError({QStringLiteral("KalvoraStoreError"), 1, QString::fromStdString(saved.error()), {}});
    return saved.ok();
}

bool KalvoraAppDelegate::applicationShouldTerminate()
{
    if (!m_globalStore)
        return true;
    ObjectContext* context = m_globalStore->mainContext();
    if (!context || !context->hasChanges())
        return true;
    auto saved = context->save();
    if (saved)
        return true;
    if (m_interaction->presentError({QStringLiteral("KalvoraStoreError"), 1, QString::fromStdString(saved.error()), {}}))
        return false;
    return m_interaction->askQuitAnyway();
}

void KalvoraAppDelegate::requestQuit()
{
    if (m_quitting)
        return;
    if (!applicationShouldTerminate()) {
        // Staying: a user who closed the last logbook needs a window to come back to.
        if (m_documents.isEmpty())
            openLogBook();
        return;
    }
    m_quitting = true;
    rememberOpenLogbooks();
    const QList<LogBook*> documents = m_documents;
    for (LogBook* document : documents)
        document->close();
    disconnect(&NotificationCenter::instance(), nullptr, this, nullptr);
    QCoreApplication::quit();
}

QList<LogBook*> KalvoraAppDelegate::getOpenDocuments() const
{
    return m_documents;
}

QStringList KalvoraAppDelegate::openDocumentPaths() const
{
    QStringList paths;
    for (const LogBook* document : m_documents)
        paths << document->filePath();
    return paths;
}

LogBook* KalvoraAppDelegate::currentDocument() const
{
    if (QWidget* active = QApplication::activeWindow()) {
        for (LogBook* document : m_documents) {
            if (active == static_cast<QWidget*>(document->controller())
                || active == static_cast<QWidget*>(document->pilotWindowController()))
                return document;
        }
    }
    if (m_lastActive && m_documents.contains(m_lastActive.data()))
        return m_lastActive;
    return m_documents.isEmpty() ? nullptr : m_documents.first();
}

bool KalvoraAppDelegate::isFlightWindow() const
{
    const LogBook* document = currentDocument();
    return document && document->controller();
}

LogBook* KalvoraAppDelegate::adopt(std::unique_ptr<LogBook> owned)
{
    LogBook* document = owned.release();
    document->setParent(this);
    m_documents << document;
    m_lastActive = document;
    connect(document, &LogBook::closed, this, &KalvoraAppDelegate::documentClosed);
    connect(document, &LogBook::activated, this, &KalvoraAppDelegate::noteInUse);
    connect(document, &LogBook::saveFailed, this, [this, document](const QString& message) {
        m_interaction->presentError({QStringLiteral("KalvoraDocumentError"), 1,
                                     tr("The logbook \"%1\" could not be saved.").arg(document->displayName()),
                                     message});
    });
    connect(document, &LogBook::readFailed, this, [this, document](const QString& message) {
        m_interaction->presentError({QStringLiteral("KalvoraDocumentError"), 3,
                                     tr("The logbook \"%1\" could not be read completely.").arg(document->displayName()),
                                     message});
    });
    RecentLogbooks::noteOpened(document->filePath());
    // A copy of the state it was opened in, when that differs from the last copy.
    backups().backUpIfChanged(document->filePath());
    document->setImportServices(importServices());
    document->makeWindowControllers(m_noRecentDocument);
    addMenus(document);
    if (LogBookWindowController* window = document->controller()) {
        connect(window, &LogBookWindowController::equipmentWindowRequested, this,
                &KalvoraAppDelegate::openEquipmentWindowWithEquipmentID);
        connect(window, &LogBookWindowController::flightMapRequested, this, &KalvoraAppDelegate::openFlightMapWindow);
        window->setWaypointServices(waypointServices());
    }
    document->openFlightsWindow();
    emit documentOpened(document);
    emit documentsChanged();
    return document;
}

LogBook* KalvoraAppDelegate::openDocumentWithContentsOfFile(const QString& path, QString* error)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    for (LogBook* document : m_documents) {
        if (QFileInfo(document->filePath()) == QFileInfo(absolute)) {
            document->openFlightsWindow();
            return document;
        }
    }
    PersistentStore::OpenProblem problem = PersistentStore::OpenProblem::None;
    auto opened = LogBook::open(absolute, {PersistentStore::OpenMode::MustExist, PersistentStore::Access::AsAllowed, true},
                                &problem);
    if (!opened && problem == PersistentStore::OpenProblem::Damaged) {
        // Writing into a damaged file could spread the damage; reading it may still
        // rescue flights. The user chooses; the answer is the whole message.
        const PresentableError damaged{QStringLiteral("KalvoraDocumentError"), 2,
                                       tr("The logbook \"%1\" is damaged.").arg(QFileInfo(absolute).fileName()),
                                       QString::fromStdString(opened.error())};
        if (!m_interaction->askOpenDamagedReadOnly(damaged)) {
            if (error)
                error->clear();
            return nullptr;
        }
        opened = LogBook::open(absolute, {PersistentStore::OpenMode::MustExist, PersistentStore::Access::ReadOnly, false});
    }
    if (!opened) {
        if (error)
            *error = QString::fromStdString(opened.error());
        if (!QFileInfo::exists(absolute))
            RecentLogbooks::forget(absolute);
        return nullptr;
    }
    return adopt(std::move(opened).value());
}

QString KalvoraAppDelegate::defaultLogbookFolder()
{
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty())
        documents = QDir::homePath();
    return QDir(documents).filePath(QStringLiteral("Kalvora"));
}

LogBook* KalvoraAppDelegate::openUntitledDocument()
{
    const QDir folder(defaultLogbookFolder());
    const QString extension = QString::fromLatin1(LogBookFileExtension);
    QString path = folder.filePath(QStringLiteral("Untitled.%1").arg(extension));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = folder.filePath(QStringLiteral("Untitled %1.%2").arg(n).arg(extension));
    QString error;
    LogBook* document = newDocumentAt(path, &error);
    if (!document)
        presentErrors({PresentableError{QStringLiteral("KalvoraDocumentError"), 1,
                                        tr("A new logbook could not be created."), error}});
    return document;
}

LogBook* KalvoraAppDelegate::newDocumentAt(const QString& path, QString* error)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        if (error)
            *error = tr("The folder for \"%1\" could not be created.").arg(path);
        return nullptr;
    }
    auto created = LogBook::open(path, PersistentStore::OpenMode::CreateIfMissing);
    if (!created) {
        if (error)
            *error = QString::fromStdString(created.error());
        return nullptr;
    }
    return adopt(std::move(created).value());
}

void KalvoraAppDelegate::openLogBook()
{
    const QStringList recent = RecentLogbooks::list();
    if (recent.size() >= 2 && openDocumentWithContentsOfFile(recent.at(1)))
        return;
    openUntitledDocument();
}

void KalvoraAppDelegate::openPilotWindow()
{
    if (LogBook* document = currentDocument())
        document->openPilotWindow();
}

void KalvoraAppDelegate::openFlightsWindow()
{
    if (LogBook* document = currentDocument())
        document->openFlightsWindow();
}

EquipmentWindowController* KalvoraAppDelegate::equipmentWindowController()
{
    if (!m_equipmentWindow) {
        ObjectContext* global = globalManagedObjectContext();
        if (!global)
            return nullptr;
        m_equipmentWindow = new EquipmentWindowController(global, makeSheetInteraction());
    }
    return m_equipmentWindow;
}

void KalvoraAppDelegate::openEquipmentWindow()
{
    if (EquipmentWindowController* window = equipmentWindowController()) {
        window->reload();
        if (!window->isVisible())
            placeOver(window, QApplication::activeWindow());
        window->show();
        // Once decorated, the whole frame is brought onto the screen.
        QTimer::singleShot(100, window, [window] { keepOnScreen(window); });
        window->raise();
        window->activateWindow();
    }
}

WaypointServices KalvoraAppDelegate::waypointServices()
{
    WaypointServices services;
    if (!globalManagedObjectContext())
        return services;
    if (!m_addressLookup)
        m_addressLookup = std::make_unique<PlaceFinderAddressLookup>(*placeFinder());
    services.addresses = m_addressLookup.get();
    services.startUpload = [this] {
        // The passes of one store run one at a time: through the start-up client when there is one.
        if (WaypointSync* running = m_services->waypointSync()) {
            running->startUploadPass();
            return;
        }
        if (!m_waypointSync && m_globalStore)
            m_waypointSync = std::make_unique<WaypointSync>(*m_globalStore, defaultHttpClient(),
                                                            WaypointSync::baseUrlFromSettings());
        if (m_waypointSync)
            m_waypointSync->startUploadPass();
    };
    services.showWaypoint = [this](const QString& uri) { openWaypointWindowWithWaypointID(uri); };
    return services;
}

namespace {

/** The take-off of the most recent flight of the open logbooks; nullopt when none has one. */
std::optional<GeoDegrees> latestTakeOff(const QList<LogBook*>& documents)
{
    std::optional<GeoDegrees> found;
    QDateTime latest;
    for (LogBook* document : documents) {
        const auto newest = document->store().mainContext()->fetch(
            FetchRequest{QString::fromLatin1(Flight::EntityName), Predicate{},
                         {SortDescriptor{QStringLiteral("startUTC"), false}}, 1});
        if (!newest || newest->isEmpty())
            continue;
        const StoredObject* flight = newest->first();
        const QVariant lat = flight->value(QStringLiteral("startLatitude"));
        const QVariant lon = flight->value(QStringLiteral("startLongitude"));
        const QDateTime start = flight->dateValue(QStringLiteral("startUTC"));
        if (lat.isValid() && lon.isValid() && (!latest.isValid() || start > latest)) {
            latest = start;
            found = GeoDegrees{lat.toDouble(), lon.toDouble()};
        }
    }
    return found;
}

} // namespace

WaypointWindowController* KalvoraAppDelegate::waypointWindowController()
{
    if (!m_waypointWindow) {
        ObjectContext* global = globalManagedObjectContext();
        if (!global)
            return nullptr;
        // The system's position when it has a source, else where the pilot last took off.
        auto position = makeSystemPositionSource([this] { return latestTakeOff(m_documents); });
        m_waypointWindow = new WaypointWindowController(global, waypointServices(), {}, std::move(position));
        m_waypointWindow->windowDidLoad();
        m_waypointWindow->setInstrumentSend(gpsWindowController()->instrumentSend());
    }
    return m_waypointWindow;
}

void KalvoraAppDelegate::openWaypointWindow()
{
    if (WaypointWindowController* window = waypointWindowController()) {
        window->show();
        window->raise();
        window->activateWindow();
    }
}

void KalvoraAppDelegate::openWaypointWindowWithWaypointID(const QString& uri)
{
    openWaypointWindow();
    if (m_waypointWindow)
        m_waypointWindow->selectWaypoint(uri);
}

RouteWindowController* KalvoraAppDelegate::routeWindowController()
{
    if (!m_routeWindow) {
        ObjectContext* global = globalManagedObjectContext();
        if (!global)
            return nullptr;
        m_routeWindow = new RouteWindowController(global);
        m_routeWindow->setInstrumentSend(gpsWindowController()->instrumentSend());
    }
    return m_routeWindow;
}

void KalvoraAppDelegate::openRouteWindow()
{
    if (RouteWindowController* window = routeWindowController()) {
        window->show();
        window->raise();
        window->activateWindow();
    }
}

FlightMapWindowController* KalvoraAppDelegate::flightMapWindowController()
{
    if (!m_flightMapWindow) {
        m_flightMapWindow = new FlightMapWindowController;
        for (LogBook* document : std::as_const(m_documents))
            m_flightMapWindow->addLogbook(document->controller());
    }
    return m_flightMapWindow;
}

void KalvoraAppDelegate::openFlightMapWindow()
{
    FlightMapWindowController* window = flightMapWindowController();
    if (LogBook* document = currentDocument())
        window->followLogbook(document->controller());
    window->showWindow();
}

MapWindowController* KalvoraAppDelegate::mapWindowController()
{
    if (!m_mapWindow) {
        ObjectContext* global = globalManagedObjectContext();
        if (!global)
            return nullptr;
        MapWindowController::Services services;
        services.selectWaypoint = [this](const QString& uri) {
            if (WaypointWindowController* waypoints = waypointWindowController())
                waypoints->selectWaypoint(uri);
        };
        services.createWaypointAt = [this](map::GeoPoint position) {
            openWaypointWindow();
            if (m_waypointWindow)
                m_waypointWindow->addWaypointAt(MicroPoint{position.latitude * 1e6, position.longitude * 1e6});
        };
        m_mapWindow = new MapWindowController(global, std::move(services));
        if (m_waypointWindow) {
            QStringList selected;
            for (const Waypoint* waypoint : m_waypointWindow->selectedWaypoints())
                selected << waypoint->objectId().uriString();
            m_mapWindow->setSelectedWaypoints(selected);
        }
    }
    return m_mapWindow;
}

void KalvoraAppDelegate::openMapWindow()
{
    if (MapWindowController* window = mapWindowController())
        window->showWindow();
}

void KalvoraAppDelegate::openEquipmentWindowWithEquipmentID(const QString& uri)
{
    openEquipmentWindow();
    if (m_equipmentWindow)
        m_equipmentWindow->selectEquipment(uri);
}

GPSWindowController* KalvoraAppDelegate::gpsWindowController()
{
    if (!m_gpsWindow) {
        const WaypointServices services = waypointServices();
        auto targets = [this] {
            QList<LogBookTarget> list;
            for (LogBook* document : m_documents)
                if (!document->isClosed() && document->controller())
                    list.append({document->displayName(), document->controller()});
            return list;
        };
        m_gpsWindow = new GPSWindowController(m_globalStore.get(), targets, {}, services.addresses);
    }
    return m_gpsWindow;
}

void KalvoraAppDelegate::openGPSWindow()
{
    GPSWindowController* window = gpsWindowController();
    if (!window->isVisible())
        placeOver(window, QApplication::activeWindow());
    window->show();
    // Once decorated, the whole frame is brought onto the screen.
    QTimer::singleShot(100, window, [window] { keepOnScreen(window); });
    window->raise();
    window->activateWindow();
    window->windowDidLoad();
}

SettingsWindowController* KalvoraAppDelegate::settingsWindowController()
{
    if (!m_settingsWindow) {
        m_settingsWindow = new SettingsWindowController(m_settings);
        m_settingsWindow->setUpdateCheck([this](QWidget* window) {
            updateController()->checkUpdates(UpdateController::Trigger::Manual, window);
        });
    }
    return m_settingsWindow;
}

void KalvoraAppDelegate::openSettingsWindow()
{
    settingsWindowController()->showWindow();
}

SpotsWindowController* KalvoraAppDelegate::spotsWindowController()
{
    if (!m_spotsWindow)
        m_spotsWindow = new SpotsWindowController;
    return m_spotsWindow;
}

void KalvoraAppDelegate::openSpotsWindow()
{
    spotsWindowController()->showWindow();
}

UpdateController* KalvoraAppDelegate::updateController()
{
    if (!m_updateController)
        m_updateController = std::make_unique<UpdateController>(
            defaultHttpClient(), QVersionNumber::fromString(QString::fromLatin1(versionString())));
    return m_updateController.get();
}

void KalvoraAppDelegate::reportBug()
{
    QDesktopServices::openUrl(bugReportUrl(bugReportAddress(), QString::fromLatin1(versionString()),
                                           QString::fromLatin1(qVersion()), QSysInfo::prettyProductName()));
}

QString KalvoraAppDelegate::lastUsedEquipment(const QString& key)
{
    const QString uri = QSettings().value(key).toString();
    ObjectContext* context = uri.isEmpty() ? nullptr : globalManagedObjectContext();
    if (!context)
        return {};
    auto* equipment = qobject_cast<Equipment*>(context->existingObject(uri));
    return equipment ? equipment->displayName() : QString();
}

QString KalvoraAppDelegate::getLastUsedGlider()
{
    return lastUsedEquipment(QStringLiteral("LastUsedGlider"));
}

QString KalvoraAppDelegate::getLastUsedHarness()
{
    return lastUsedEquipment(QStringLiteral("LastUsedHarness"));
}

void KalvoraAppDelegate::documentClosed(LogBook* document)
{
    // An import into this logbook stops before its store and queue go.
    if (m_gpsWindow)
        m_gpsWindow->logBookClosing(document->controller());
    m_documents.removeAll(document);
    document->deleteLater();
    emit documentsChanged();
    if (m_documents.isEmpty() && !m_quitting)
        requestQuit();
}

void KalvoraAppDelegate::presentErrors(const QList<PresentableError>& errors)
{
    for (const PresentableError& error : errors)
        m_interaction->presentError(error);
}

void KalvoraAppDelegate::addMenus(LogBook* document)
{
    LogBookWindowController* window = document->controller();
    if (!window)
        return;
    QMenuBar* bar = window->menuBar();

    QMenu* file = bar->addMenu(tr("&File"));
    QAction* newLogbook = file->addAction(tr("&New Logbook…"), this, [this, window] {
        const QString path = QFileDialog::getSaveFileName(window, tr("New Logbook"), defaultLogbookFolder(),
                                                          logbookFilter());
        if (path.isEmpty())
            return;
        const QString withExtension = isLogbookFile(path)
                                          ? path
                                          : path + QLatin1Char('.') + QString::fromLatin1(LogBookFileExtension);
        QString error;
        if (!newDocumentAt(withExtension, &error))
            presentErrors({PresentableError{QStringLiteral("KalvoraDocumentError"), 1,
                                            tr("A new logbook could not be created."), error}});
    });
    newLogbook->setShortcut(QKeySequence::New);
    QAction* open = file->addAction(tr("&Open Logbook…"), this, [this, window] {
        const QString path = QFileDialog::getOpenFileName(window, tr("Open Logbook"), defaultLogbookFolder(),
                                                          logbookFilter());
        if (path.isEmpty())
            return;
        QString error;
        if (!openDocumentWithContentsOfFile(path, &error) && !error.isEmpty())
            presentErrors({PresentableError{QStringLiteral("KalvoraDocumentError"), 1,
                                            tr("The logbook could not be opened."), error}});
    });
    open->setShortcut(QKeySequence::Open);
    QMenu* recent = file->addMenu(tr("Open &Recent"));
    connect(recent, &QMenu::aboutToShow, this, [this, recent] {
        recent->clear();
        for (const QString& path : RecentLogbooks::list()) {
            recent->addAction(QFileInfo(path).fileName(), this, [this, path] {
                QString error;
                if (!openDocumentWithContentsOfFile(path, &error) && !error.isEmpty())
                    presentErrors({PresentableError{QStringLiteral("KalvoraDocumentError"), 1,
                                                    tr("The logbook could not be opened."), error}});
            });
        }
        if (recent->isEmpty())
            recent->addAction(tr("No recent logbooks"))->setEnabled(false);
    });
    QAction* restore = file->addAction(tr("Restore from backup..."), this, [this, document] {
        showRestoreBackup(document);
    });
    restore->setObjectName(QStringLiteral("restoreBackup"));
    file->addSeparator();
    if (!document->isReadOnly()) {
        QAction* import = file->addAction(tr("&Import IGC file(s)…"), window, [window] {
            window->logBookImport()->getIGCFlight();
        });
        import->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
        QAction* importFolder = file->addAction(tr("Import IGC &Folder…"), window, [window] {
            window->logBookImport()->getIGCFolder();
        });
        importFolder->setObjectName(QStringLiteral("importFolder"));
        importFolder->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_I));
    }
    if (LogBookOutput* output = window->output()) {
        file->addActions({output->exportIGCAction(), output->exportPdfAction()});
        file->addSeparator();
        file->addAction(output->printAction());
        output->setPrintTemplateSource([this]() -> std::optional<QString> {
            if (!m_settings || !m_settings->printTemplateUserDefined() || m_settings->printTemplateBookmark().isEmpty())
                return std::nullopt;
            return QString::fromUtf8(m_settings->printTemplateBookmark());
        });
    }
    file->addSeparator();
    QAction* close = file->addAction(tr("&Close"), window, &QWidget::close);
    close->setShortcut(QKeySequence::Close);
    QAction* quit = file->addAction(tr("&Quit"), this, &KalvoraAppDelegate::requestQuit);
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);

    bar->addMenu(window->createEditMenu(bar));

    // Only windows that exist have an entry; each tool window adds its own as it lands.
    QMenu* windows = bar->addMenu(tr("&Window"));
    windows->setObjectName(QStringLiteral("windowMenu"));
    windows->addAction(tr("&Pilot"), document, &LogBook::openPilotWindow);
    windows->addAction(tr("&Logbook"), document, &LogBook::openFlightsWindow);
    if (LogBookOutput* output = window->output())
        windows->addAction(output->statisticsAction());
    QAction* flightMap = windows->addAction(tr("Flight &Map"), this, &KalvoraAppDelegate::openFlightMapWindow);
    flightMap->setObjectName(QStringLiteral("flightMapWindow"));
    flightMap->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
    windows->addSeparator();
    windows->addAction(tr("&Equipment"), this, &KalvoraAppDelegate::openEquipmentWindow);
    windows->addAction(tr("&Waypoints"), this, &KalvoraAppDelegate::openWaypointWindow)
        ->setObjectName(QStringLiteral("waypointsWindow"));
    windows->addAction(tr("&Routes"), this, &KalvoraAppDelegate::openRouteWindow)
        ->setObjectName(QStringLiteral("routesWindow"));
    windows->addAction(tr("M&ap"), this, &KalvoraAppDelegate::openMapWindow)
        ->setObjectName(QStringLiteral("mapWindow"));
    windows->addAction(tr("&Spots"), this, &KalvoraAppDelegate::openSpotsWindow)
        ->setObjectName(QStringLiteral("spotsWindow"));
    windows->addAction(tr("&GPS"), this, &KalvoraAppDelegate::openGPSWindow)
        ->setObjectName(QStringLiteral("gpsWindow"));
    windows->addSeparator();
    QAction* preferences = windows->addAction(tr("P&references…"), this, &KalvoraAppDelegate::openSettingsWindow);
    preferences->setObjectName(QStringLiteral("preferences"));
    preferences->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    preferences->setMenuRole(QAction::PreferencesRole);

    QMenu* help = bar->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("helpMenu"));
    QAction* bug = help->addAction(tr("&Report a Bug…"), this, &KalvoraAppDelegate::reportBug);
    bug->setObjectName(QStringLiteral("reportBug"));
    QAction* about = help->addAction(tr("&About Kalvora"), this, [window] { showAboutBox(window); });
    about->setObjectName(QStringLiteral("about"));
    about->setMenuRole(QAction::AboutRole);
}

} // namespace kalvora
