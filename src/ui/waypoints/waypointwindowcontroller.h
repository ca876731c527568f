#pragma once

#include "ui/waypoints/instrumentsend.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QVariantMap>

#include <memory>
#include <optional>

#include "store/objectid.h"
#include "ui/waypoints/currentposition.h"
#include "ui/waypoints/waypointinteraction.h"
#include "ui/waypoints/waypointservices.h"
#include "ui/waypoints/waypointwindowrules.h"
#include "waypoints/waypointsort.h"

class QAction;
class QActionGroup;
class QComboBox;
class QSplitter;
class QTableView;
class QToolBar;

namespace kalvora {

class ObjectContext;
class Waypoint;
class WaypointAddressFiller;
class WaypointDetailsPane;
class WaypointFileImport;
class WaypointListModel;

/**
 * The waypoint window "Waypoint": every waypoint of the global store in a
 * list (name, short name, altitude in the display unit, latitude, longitude,
 * distance from the current position, the shared-online box), sortable by
 * name, distance and last change ("waypointSortType"); the selected
 * waypoint's fields below it; adding by hand (at the current position, its
 * address looked up in the background), importing waypoint files with the
 * duplicate question and progress, exporting to a WPT file, the web map and
 * sharing with the online database.
 *
 * It posts "KalvoraWaypointControllerDidChange" when loaded and whenever its
 * selection changes, and redraws on "KalvoraSettingsUnitTypeChanged". The
 * application creates it once and shows it again afterwards. GUI thread.
 */
class WaypointWindowController final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WaypointWindowController)

public:
    /**
     * CONTEXT is the global store's main context. Null INTERACTION takes the
     * dialogs; null POSITION means no current position (the distance sort
     * stays off).
     */
    WaypointWindowController(ObjectContext* context, WaypointServices services,
                             std::unique_ptr<WaypointInteraction> interaction = {},
                             std::unique_ptr<CurrentPositionSource> position = {}, QWidget* parent = nullptr);
    ~WaypointWindowController() override;

    /** The steps taken once the window exists: notifications, countries, sort, position, list, selection. */
    void windowDidLoad();

    /**
     * Offers "Send to Instrument" for the selected waypoints through SEND (the
     * device window); without this call the window has no such entry.
     */
    void setInstrumentSend(InstrumentSend send);

    /** Selects the stored waypoint with this identifier and scrolls to it; an unknown one is ignored. */
    void selectWaypoint(const QString& uri);
    /** Selects the listed ones of WAYPOINTS and scrolls to the first. */
    void setSelectedWaypoints(const QList<Waypoint*>& waypoints);
    /** The selected waypoints in list order. */
    [[nodiscard]] QList<Waypoint*> selectedWaypoints() const;
    /** The waypoints in list order. */
    [[nodiscard]] QList<Waypoint*> waypointList() const;

    /** Sorts by a sort type and remembers it; the distance type only while a position is kept. */
    void sortWaypoints(WaypointSortType type);
    [[nodiscard]] WaypointSortType sortType() const { return m_sortType; }
    /** [1e-6 deg] the position kept for the distance sort; nullopt while there is none. */
    [[nodiscard]] std::optional<MicroPoint> location() const { return m_location; }

    /** Adds a waypoint by hand, at the kept position when there is one; returns it. */
    Waypoint* addWaypoint();
    /**
     * Adds a waypoint at POSITION [1e-6 deg] (none: without a place), its address
     * looked up as for one added by hand, selects it and puts the focus on its name.
     */
    Waypoint* addWaypointAt(const std::optional<MicroPoint>& position);
    /** Imports waypoint files; false while an import runs. */
    bool importFiles(const QStringList& paths);
    /** Writes the selected waypoints (all when none is selected) to PATH as a WPT file; false on failure. */
    bool exportWaypoints(const QString& path);

    [[nodiscard]] WaypointListModel* model() const { return m_model; }
    [[nodiscard]] QTableView* table() const { return m_table; }
    [[nodiscard]] QToolBar* toolbar() const { return m_toolbar; }
    [[nodiscard]] QComboBox* countryList() const;
    [[nodiscard]] WaypointFileImport* fileImport() const { return m_import; }
    [[nodiscard]] WaypointAddressFiller* addressFiller() const { return m_addresses; }
    [[nodiscard]] WaypointSelectionState selectionState() const;
    /** Re-applies the toolbar tag rules. */
    void updateToolbarItems();

    /** The resource the country list is read from. */
    static QString countriesResource();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QAction* addToolbarItem(const QString& text, const char* name, WaypointToolbarTag tag);
    void notified(const QString& name, QObject* object, const QVariantMap& userInfo);
    void selectionDidChange();
    void showSelectedWaypoint();
    void positionArrived(std::optional<GeoDegrees> position);
    void shareTicked(Waypoint* waypoint);
    void chooseImportFiles();
    void chooseExportFile();
    void openWebMap();
    void undo(bool redo);
    void storeLayout();
    void restoreLayout();
    void postControllerDidChange();

    QPointer<ObjectContext> m_context;
    WaypointServices m_services;
    std::unique_ptr<WaypointInteraction> m_interaction;
    std::unique_ptr<CurrentPositionSource> m_position;
    WaypointListModel* m_model = nullptr;
    QTableView* m_table = nullptr;
    QSplitter* m_splitter = nullptr;
    QToolBar* m_toolbar = nullptr;
    InstrumentSend m_send;
    QAction* m_sendAction = nullptr;
    QActionGroup* m_sortGroup = nullptr;
    QAction* m_sortByDistance = nullptr;
    WaypointDetailsPane* m_details = nullptr;
    WaypointAddressFiller* m_addresses = nullptr;
    WaypointFileImport* m_import = nullptr;
    std::optional<MicroPoint> m_location;
    WaypointSortType m_sortType = WaypointSortType::Name;
    bool m_loaded = false;
};

} // namespace kalvora
