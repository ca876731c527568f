#pragma once

#include <memory>

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include "app/appinteraction.h"
#include "logbook/flightimporter.h"
#include "logbook/logbookbackups.h"

namespace kalvora {

class EquipmentWindowController;
class GPSWindowController;
class FlightMapWindowController;
class MapWindowController;
class PlaceFinderAddressLookup;
class RouteWindowController;
class WaypointSync;
class WaypointWindowController;
struct WaypointServices;
class LogBook;
class ObjectContext;
class PersistentStore;
class PlaceAnswerCache;
class PlaceFinderLookup;
class Settings;
class SettingsWindowController;
class SpotsWindowController;
class UpdateController;

/**
 * The application object: runs the start-up order, owns the global store and
 * the Settings record, opens, creates and tracks the logbook documents, and
 * decides whether the application may quit. GUI thread.
 */
class KalvoraAppDelegate final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(KalvoraAppDelegate)

public:
    /** Null seams take the message boxes and the do-nothing start-up services. */
    explicit KalvoraAppDelegate(std::unique_ptr<AppInteraction> interaction = {},
                                std::unique_ptr<StartupServices> services = {}, QObject* parent = nullptr);
    ~KalvoraAppDelegate() override;

    /**
     * Opens the files given at launch (logbooks; others are left to the import),
     * or else asks applicationShouldOpenUntitledFile(), then finishes launching.
     */
    void launch(const QStringList& files);

    /**
     * Whether to open a new untitled logbook: yes once started; otherwise yes when
     * there is no recent logbook (noRecentDocument is set) or the most recent one
     * fails to open, which this call tries.
     */
    bool applicationShouldOpenUntitledFile();
    /** The steps once launching has finished (settings, seams, pilot window). */
    void applicationDidFinishLaunching();
    /** Saves the global store; false when the application must keep running. */
    bool applicationShouldTerminate();
    /** The quit command: asks applicationShouldTerminate(), closes every logbook and quits. */
    void requestQuit();

    [[nodiscard]] bool applicationHasStarted() const { return m_applicationHasStarted; }
    [[nodiscard]] bool noRecentDocument() const { return m_noRecentDocument; }

    /** The global store's main context, opened on first use; nullptr when it cannot be opened. */
    ObjectContext* globalManagedObjectContext();
    [[nodiscard]] Settings* settings() const { return m_settings; }
    /** Saves the global store; a failure is presented. */
    bool saveAction();

    [[nodiscard]] QList<LogBook*> getOpenDocuments() const;
    [[nodiscard]] QStringList openDocumentPaths() const;
    /** The logbook of the active window, else the one last active, else the first open one. */
    [[nodiscard]] LogBook* currentDocument() const;
    [[nodiscard]] bool isDocument() const { return currentDocument() != nullptr; }
    [[nodiscard]] bool isFlightWindow() const;

    /** Opens a logbook file and shows its windows; an open logbook is only brought to the front. */
    LogBook* openDocumentWithContentsOfFile(const QString& path, QString* error = nullptr);
    /** Creates a new empty logbook file with the next free "Untitled" name and shows it. */
    LogBook* openUntitledDocument();
    /** Creates a new logbook at @p path and shows it. */
    LogBook* newDocumentAt(const QString& path, QString* error = nullptr);
    /** Logbook files are opened, IGC files imported into the current logbook (a new one when none is open). */
    void openFiles(const QStringList& files);
    /** Imports the IGC files among @p files into the current logbook. */
    void importIGCFiles(const QStringList& files);

    /** Opens the second recent logbook; a new one when there are fewer than two or it fails. */
    void openLogBook();
    void openPilotWindow();
    void openFlightsWindow();

    /** The equipment window, created on first use and then kept; nullptr without a global store. */
    [[nodiscard]] EquipmentWindowController* equipmentWindowController();
    void openEquipmentWindow();
    /** Opens the equipment window and selects the item with that object address. */
    void openEquipmentWindowWithEquipmentID(const QString& uri);

    /** The waypoint window, created on first use; nullptr without a global store. */
    [[nodiscard]] WaypointWindowController* waypointWindowController();
    void openWaypointWindow();
    /** Opens the waypoint window on the stored waypoint with this identifier (unknown ones are ignored). */
    void openWaypointWindowWithWaypointID(const QString& uri);
    /** The route window, created on first use; nullptr without a global store. */
    [[nodiscard]] RouteWindowController* routeWindowController();
    void openRouteWindow();
    /**
     * What the waypoint windows and pickers use: the place finder for addresses, an
     * upload pass of the online database, and the waypoint window for new waypoints.
     */
    [[nodiscard]] WaypointServices waypointServices();
    /** The device window "GPS", created on first use and then kept. */
    [[nodiscard]] GPSWindowController* gpsWindowController();
    void openGPSWindow();
    /** The flight map, created on first use; it follows the front logbook window's selection. */
    [[nodiscard]] FlightMapWindowController* flightMapWindowController();
    void openFlightMapWindow();
    /** The map of waypoints and routes, created on first use; nullptr without a global store. */
    [[nodiscard]] MapWindowController* mapWindowController();
    void openMapWindow();
    /** The preferences window, created on first use and then kept. */
    [[nodiscard]] SettingsWindowController* settingsWindowController();
    void openSettingsWindow();
    /** The spots window, created on first use and then kept. */
    [[nodiscard]] SpotsWindowController* spotsWindowController();
    void openSpotsWindow();
    /** The update check and download, made on first use. */
    [[nodiscard]] UpdateController* updateController();
    /** Opens a new e-mail with a prepared bug report in the user's mail program. */
    void reportBug();

    /** "Model, Manufacturer" of the Equipment stored under "LastUsedGlider" / "LastUsedHarness"; empty for none. */
    [[nodiscard]] QString getLastUsedGlider();
    [[nodiscard]] QString getLastUsedHarness();

    /** The logbooks' backup copies. */
    [[nodiscard]] LogBookBackups& backups();
    /** The sheet "Restore from backup..." over DOCUMENT's window, listing its copies. */
    void showRestoreBackup(LogBook* document);
    /** Writes COPY of DOCUMENT as a new logbook beside it and opens it; nullptr after telling why not. */
    LogBook* restoreBackup(LogBook* document, const BackupCopy& copy);

    /** The folder new logbooks go to unless the user chooses another. */
    [[nodiscard]] static QString defaultLogbookFolder();

signals:
    void documentOpened(kalvora::LogBook* document);
    void documentsChanged();

private:
    LogBook* adopt(std::unique_ptr<LogBook> document);
    void documentClosed(LogBook* document);
    void rememberOpenLogbooks() const;
    void noteInUse(kalvora::LogBook* document);
    void loadSettings();
    void checkSettings();
    QString lastUsedEquipment(const QString& key);
    void presentErrors(const QList<PresentableError>& errors);
    void addMenus(LogBook* document);
    ImportServices importServices();
    /** The place finder, with the geocoder's earlier answers from the global store, made on first use. */
    PlaceFinderLookup* placeFinder();

    std::unique_ptr<AppInteraction> m_interaction;
    std::unique_ptr<StartupServices> m_services;
    std::unique_ptr<PersistentStore> m_globalStore;
    std::unique_ptr<PlaceAnswerCache> m_placeAnswers; ///< outlives the place finder that uses it
    std::unique_ptr<PlaceFinderLookup> m_placeFinder;
    std::unique_ptr<LogBookBackups> m_backups;
    Settings* m_settings = nullptr; ///< lives as long as the global store
    QList<LogBook*> m_documents;
    QPointer<LogBook> m_lastActive;
    QPointer<EquipmentWindowController> m_equipmentWindow;
    std::unique_ptr<PlaceFinderAddressLookup> m_addressLookup;
    std::unique_ptr<WaypointSync> m_waypointSync; ///< made on the first upload the user asks for
    QPointer<WaypointWindowController> m_waypointWindow;
    QPointer<RouteWindowController> m_routeWindow;
    QPointer<GPSWindowController> m_gpsWindow;
    QPointer<FlightMapWindowController> m_flightMapWindow;
    QPointer<MapWindowController> m_mapWindow;
    QPointer<SettingsWindowController> m_settingsWindow;
    QPointer<SpotsWindowController> m_spotsWindow;
    std::unique_ptr<UpdateController> m_updateController;
    bool m_applicationHasStarted = false;
    bool m_noRecentDocument = false;
    bool m_quitting = false;
};

} // namespace kalvora
