#pragma once

#include <QList>
#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

#include "instruments/devices.h"
#include "instruments/gpsdevice.h"
#include "logbook/flightimporter.h"
#include "ui/device/devicewatcher.h"
#include "ui/device/gpswindowrules.h"
#include "ui/waypoints/instrumentsend.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QStandardItemModel;
class QTabWidget;
class QTableView;
class QTableWidget;
class QThreadPool;

namespace kalvora {

class DeviceInteraction;
class FlightIntersectSheet;
class LogBookWindowController;
class LongTimeSheet;
class PersistentStore;
class SelectLogBookSheet;
class WaypointAddressLookup;
class WaypointFileImport;

/** An open logbook the window may import into. */
struct LogBookTarget
{
    QString displayName;
    QPointer<LogBookWindowController> window;
};

/** The open logbooks, in the order the application lists them. */
using LogBookTargets = std::function<QList<LogBookTarget>()>;

/** The scan the window runs on its worker (production: Devices::scan() over every candidate). */
using DeviceScan = std::function<ScanResult(Devices& devices)>;

/**
 * The device window "GPS": scans for the connected instrument, reads its
 * tracks, routes, waypoints and settings through the driver, imports tracks
 * into an open logbook (with the overlap question), waypoints and routes into
 * the global store, and deletes on the instrument. It knows no protocol: it
 * offers what the driver's has() names. Scans, downloads and deletes run on
 * workers; the window stays responsive. GUI thread.
 */
class GPSWindowController final : public QMainWindow, private GpsDeviceDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GPSWindowController)

public:
    /**
     * GLOBALSTORE (may be null: no waypoint or route import) and LOOKUP (may be
     * null) must outlive the window; TARGETS lists the open logbooks.
     */
    GPSWindowController(PersistentStore* globalStore, LogBookTargets targets,
                        std::shared_ptr<DeviceInteraction> interaction, WaypointAddressLookup* lookup = nullptr,
                        QWidget* parent = nullptr);
    ~GPSWindowController() override;

    /** Replaces the scan (tests); set before windowDidLoad(). */
    void setScan(DeviceScan scan) { m_scan = std::move(scan); }
    /** Replaces what the hot-plug watch looks at and how often [ms]; set before windowDidLoad(). */
    void setWatchSnapshot(DeviceWatcher::Snapshot snapshot, int intervalMs);

    /** Empty lists, the first tab, the hot-plug watch, and a scan; once (later calls do nothing). */
    void windowDidLoad();

    void scanDevices();
    [[nodiscard]] bool isScanning() const { return m_scanning; }
    [[nodiscard]] bool isBusy() const;
    /**
     * The read chain is still reading a list or the settings of the chosen
     * instrument: the line is taken, and a send would talk across the read.
     */
    [[nodiscard]] bool isReading() const;
    /** The chosen driver; null when no row of the device table is chosen. */
    [[nodiscard]] GpsDevice* device() const { return m_chosen; }
    [[nodiscard]] bool deviceConnected() const { return m_chosen != nullptr; }
    [[nodiscard]] bool writeWaypointsEnabled() const;
    [[nodiscard]] bool writeRoutesEnabled() const;

    [[nodiscard]] const std::vector<Track>& trackList() const { return m_tracks; }
    [[nodiscard]] const std::vector<DeviceWayPoint>& waypointList() const { return m_waypoints; }
    [[nodiscard]] const std::vector<DeviceRoute>& routeList() const { return m_routes; }
    [[nodiscard]] int settingsRead() const { return m_settingsRead; }

    /** Clears that list's read flag and reads it again (after a change on the instrument). */
    void refreshTrackList();
    void refreshWaypointList();
    void refreshRouteList();

    /**
     * Writes WAYPOINTS to the instrument one at a time on the window's worker,
     * under the progress sheet; the first failure ends the send. Without a
     * device the error is "No device connected". DONE runs on the GUI thread.
     */
    void moveWaypointsToDevice(std::vector<DeviceWayPoint> waypoints,
                               std::function<void(const InstrumentSendResult&)> done);
    /**
     * Writes ROUTE. An instrument that keeps one route and holds one already asks
     * first ("Cancel" sends nothing). DONE runs on the GUI thread.
     */
    void moveRouteToDevice(RouteToWrite route, std::function<void(const InstrumentSendResult&)> done);
    /** The send operations for the waypoint and route windows. */
    [[nodiscard]] InstrumentSend instrumentSend();

    /**
     * The logbook LOGBOOK is closing: an import into it stops (its worker is
     * joined) before the logbook's store and queue go away.
     */
    void logBookClosing(LogBookWindowController* logbook);

    [[nodiscard]] LongTimeSheet* longTimeSheet() const { return m_progress; }
    [[nodiscard]] FlightIntersectSheet* intersectSheet() const { return m_intersect; }
    [[nodiscard]] SelectLogBookSheet* selectLogBookSheet() const { return m_selectLogBook; }
    [[nodiscard]] WaypointFileImport* waypointImport();
    [[nodiscard]] QWidget* settingsView() const { return m_settingsView; }

signals:
    /** A track import ended (after the flights were selected in the logbook window). */
    void importFinished(const kalvora::ImportSummary& summary);
    /** A route import ended: how many routes were stored. */
    void routesImported(int count);
    /** A delete ended; MESSAGE is empty on success. */
    void deleteFinished(const QString& message);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct ListTab
    {
        DeviceList list;
        QStackedWidget* stack = nullptr;
        QLabel* notAvailable = nullptr;
        QLabel* reading = nullptr;
        QTableView* table = nullptr;
        QStandardItemModel* model = nullptr;
        QPushButton* importAll = nullptr;
        QPushButton* importSelected = nullptr;
        QPushButton* deleteSelected = nullptr;
        QPushButton* deleteAll = nullptr;
    };
    enum class ChainStep
    {
        Tracks,
        Routes,
        Waypoints,
        Settings,
    };

    /** Why a send is refused while the read chain runs. */
    static QString stillReadingText();

    void buildWindow();
    ListTab makeListTab(DeviceList list, const QStringList& columns, const char* importAllName,
                        const char* importSelectedName, const char* deleteSelectedName, const char* deleteAllName);
    void scanFinished(ScanResult result, const QStringList& accessProblems, bool ruleInstalled);
    void chooseDevice(int row);
    void readChain(ChainStep from);
    void setButtonsForSelectedDevice();
    void applyTab(ListTab& tab, const DeviceListFacts& facts);
    void placeSettingsView();
    void fillTracks();
    void fillWaypoints();
    void fillRoutes();
    void markTracksInLogbooks();
    QList<int> chosenRows(const ListTab& tab, bool all) const;
    /** Lets the scanned driver go; WAIT joins its list reads here, else on a thread of its own. */
    void dropDevice(bool wait = false);

    // GpsDeviceDelegate
    void tracksRead(GpsDevice& device, const std::vector<Track>& tracks) override;
    void waypointsRead(GpsDevice& device, const std::vector<DeviceWayPoint>& waypoints) override;
    void routesRead(GpsDevice& device, const std::vector<DeviceRoute>& routes) override;
    void settingsRead(GpsDevice& device, bool success) override;

    void importTracks(bool all);
    void importTracksInto(LogBookWindowController* logbook, const QList<int>& rows);
    void trackImportFinished(const ImportSummary& summary);
    void stopTrackImport();
    void importWaypoints(bool all);
    void importRoutes(bool all);
    void deleteEntries(DeviceList list, bool all);
    void longTimeCanceled();
    void writeRoute(RouteToWrite route, std::function<void(const InstrumentSendResult&)> done);

    PersistentStore* m_globalStore;
    LogBookTargets m_targets;
    std::shared_ptr<DeviceInteraction> m_interaction;
    WaypointAddressLookup* m_lookup;
    DeviceScan m_scan;
    DeviceWatcher* m_watcher = nullptr;

    std::unique_ptr<QThreadPool> m_worker;
    std::shared_ptr<Devices> m_scanner;
    bool m_loaded = false;
    bool m_scanning = false;
    bool m_rescanWanted = false;
    std::unique_ptr<GpsDevice> m_device; ///< found by the last scan
    GpsDevice* m_chosen = nullptr;       ///< m_device while its row is chosen
    std::vector<Track> m_tracks;
    std::vector<DeviceWayPoint> m_waypoints;
    std::vector<DeviceRoute> m_routes;
    bool m_tracksRead = false;
    bool m_waypointsRead = false;
    bool m_routesRead = false;
    int m_settingsRead = 2;
    bool m_deleting = false;
    bool m_importingRoutes = false;
    bool m_sending = false;
    /** What the send entries of other windows were last told (see setButtonsForSelectedDevice). */
    bool m_sendable = false;

    QTableWidget* m_deviceTable = nullptr;
    QPushButton* m_scanButton = nullptr;
    QLabel* m_accessProblems = nullptr;
    QTabWidget* m_tabs = nullptr;
    ListTab m_trackTab;
    ListTab m_waypointTab;
    ListTab m_routeTab;
    QStackedWidget* m_settingsStack = nullptr;
    QLabel* m_settingsLabel = nullptr;
    QWidget* m_settingsView = nullptr;
    LongTimeSheet* m_progress = nullptr;
    FlightIntersectSheet* m_intersect = nullptr;
    SelectLogBookSheet* m_selectLogBook = nullptr;
    WaypointFileImport* m_waypointImport = nullptr;

    // The running track import.
    class TrackImportQuestion;
    class VolumeConfirmation;
    std::unique_ptr<VolumeConfirmation> m_volumeConfirmation;
    std::unique_ptr<TrackImportQuestion> m_question;
    std::unique_ptr<FlightImporter> m_importer;
    QPointer<LogBookWindowController> m_importTarget;
    QList<int> m_pendingImportRows;
};

} // namespace kalvora
