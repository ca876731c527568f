#pragma once

#include <memory>

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QVariantMap>

#include "logbook/flightimporter.h"
#include "ui/waypoints/waypointservices.h"
#include "model/flight.h"

class QAction;
class QComboBox;
class QDateEdit;
class QDateTimeEdit;
class QItemSelection;
class QLabel;
class QMenu;
class QModelIndex;
class QProcess;
class QSortFilterProxyModel;
class QSplitter;
class QTableView;
class QToolBar;

namespace kalvora {

class AddFlightSheet;
class Equipment;
class FlightDetailPane;
class SelectEquipmentSheet;
class SelectWaypointController;
class FlightListModel;
class LogBookImport;
class LogBookOutput;
class ObjectContext;
class WindowInteraction;
struct FlightSelectionState;

/**
 * The logbook window "LogBook": the flight list of one logbook, sortable by its
 * columns, the selected flight's times and UTC offset, and the toolbar whose
 * items follow the tag rules. GUI thread.
 *
 * It posts "KalvoraFlightControllersDidChange" ("Add" true once loaded, false when
 * destroyed) and redraws on "KalvoraSettingsUnitTypeChanged" and
 * "KalvoraSettingsXCPointsTypeChanged".
 */
class LogBookWindowController final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LogBookWindowController)

public:
    struct LoadOptions
    {
        /** the application started without a recent logbook: ask for the pilot */
        bool openPilotWindow = false;
    };

    explicit LogBookWindowController(ObjectContext* context, QWidget* parent = nullptr);
    ~LogBookWindowController() override;

    /**
     * The steps taken once the window exists: notifications, offsets, sort,
     * pilot window request, XC re-queue, list, last selection, KML lookup.
     */
    void windowDidLoad(const LoadOptions& options);

    [[nodiscard]] ObjectContext* managedObjectContext() const;
    /** Whether the logbook was opened read-only: no import, entry, deletion or edit is offered. */
    [[nodiscard]] bool isReadOnly() const;
    [[nodiscard]] FlightListModel* flightModel() const { return m_model; }
    [[nodiscard]] QTableView* flightTable() const { return m_table; }
    /** The flights in list order. */
    [[nodiscard]] QList<Flight*> flightList() const;
    /** The selected flights in list order. */
    [[nodiscard]] QList<Flight*> selectedFlights() const;
    /** Selects that flight alone and scrolls to it; false when no listed flight has that URI. */
    bool selectFlight(const QString& uri);
    /** Selects exactly @p flights (those listed) and scrolls to the first. */
    void selectFlights(const QList<Flight*>& flights);
    void addFlightToSelection(Flight* flight);
    void deselectFlights();

    /** Sort by one of the six sort types (0 to 5), newest/largest first; other values keep the sort. */
    void sortFlights(int sortType);
    [[nodiscard]] int sortType() const { return m_sortType; }

    /** The toolbar item carrying @p tag's rule, for callers that add their own items. */
    [[nodiscard]] QList<QAction*> toolbarActions() const;
    /** Re-applies the tag rules, e.g. after the flights' IGC records changed. */
    void updateToolbarItems();
    [[nodiscard]] FlightSelectionState selectionState() const;

    /** The Google Earth item; its tag is 5 while no application opens KML files. */
    [[nodiscard]] QAction* googleEarthAction() const { return m_googleEarthAction; }
    /** Applies the answer of the KML application lookup (nullopt: none registered). */
    void setKmlApplication(const std::optional<QString>& applicationName);

    /** Removes the flights from the list, which deletes them from the logbook. */
    void removeFlights(const QList<Flight*>& flights);

    /**
     * Sets up the import with the place finder and global store it may use
     * (both optional). Without a call the import runs without either.
     */
    void setImportServices(const ImportServices& services);
    /** What the imports into this logbook use (place finder, global store). */
    [[nodiscard]] const ImportServices& importServices() const { return m_importServices; }
    /** The import of this window, created on first use. */
    [[nodiscard]] LogBookImport* logBookImport();
    /**
     * While DEFERRED, the list keeps its order as flights change (new ones at
     * the end); ending it sorts once. Used while an import scores thousands of
     * flights, each of which would otherwise re-sort the whole list.
     */
    void setListSortingDeferred(bool deferred);
    /** Imports IGC files into this logbook, as a drop would; false while an import runs. */
    bool importFiles(const QStringList& paths);

    /** Shows the add-flight sheet: from IGC files or by hand. */
    void addFlight();
    [[nodiscard]] AddFlightSheet* addFlightSheet();
    /** A new flight by hand with the last used glider and harness, selected alone; nullptr without a logbook. */
    Flight* addFlightManually();
    /** Opens the equipment chooser for the selected flights' glider (1) or harness (2); nothing without a selection. */
    void chooseEquipment(int mark);
    /**
     * Opens the waypoint picker for the selected flights' take-off or landing
     * place, near the first selected flight's position; nullptr without a
     * selection or a global store.
     */
    SelectWaypointController* choosePlace(bool takeOff);
    /** What the waypoint picker may use (addresses, upload, the waypoint window). */
    void setWaypointServices(const WaypointServices& services);
    /** Closes an open waypoint picker and forgets both. */
    void closeWaypointPicker();
    /** The chooser, once there is a global store; nullptr before. */
    [[nodiscard]] SelectEquipmentSheet* equipmentSheet();
    /** The global store's main context from the import services; nullptr without. */
    [[nodiscard]] ObjectContext* globalContext() const;
    /** Export, Google Earth and printing of the selected flights. */
    [[nodiscard]] LogBookOutput* output() const { return m_output; }

    /** The UTC offset list of the detail area. */
    [[nodiscard]] QComboBox* utcOffsetList() const;
    [[nodiscard]] FlightDetailPane* detailPane() const { return m_details; }

    /** Where the window's questions and alerts go (window-modal boxes unless replaced). */
    void setInteraction(std::shared_ptr<WindowInteraction> interaction);
    [[nodiscard]] const std::shared_ptr<WindowInteraction>& interaction() const { return m_interaction; }

    /** The Edit menu: undo and redo over the logbook, select all, delete. */
    [[nodiscard]] QMenu* createEditMenu(QWidget* parent);
    [[nodiscard]] QAction* undoAction() const { return m_undoAction; }
    [[nodiscard]] QAction* redoAction() const { return m_redoAction; }
    [[nodiscard]] QAction* deleteAction() const { return m_deleteAction; }
    [[nodiscard]] QAction* selectAllAction() const { return m_selectAllAction; }
    /** Selects the flight at @p index (of the shown list) alone and puts the focus on its details. */
    void editFlight(const QModelIndex& index);

signals:
    void pilotWindowRequested();
    void googleEarthRequested();
    /** The flights with freeDistance < 0 found when the window loaded. */
    void xcComputationRequested(const QList<kalvora::Flight*>& flights);
    /** The window is closing; the document follows it. */
    void windowClosing();
    /** The equipment window is to show the item with this object address (a new one to fill in). */
    void equipmentWindowRequested(const QString& uri);
    /** The selected flights are to be shown on the flight map. */
    void flightMapRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QAction* addToolbarItem(const QString& text, const char* name, int tag);
    void notified(const QString& name, QObject* object, const QVariantMap& userInfo);
    void selectionDidChange();
    void showSelectedFlight();
    void unitsDidChange();
    void xcPointsTypeDidChange();
    void deleteSelectedFlights();
    void storeLastSelection();
    void lookUpKmlApplication();
    void createEditActions();
    void restoreLayout();
    void saveLayout() const;
    void fitColumnsToView();
    int expectedValueWidth(int column) const;
    /** The list's width [px] with every title and value whole and room for the vertical scroll bar. */
    int widthForWholeTitles() const;
    void equipmentChosen(kalvora::Equipment* equipment, int mark);
    void showContextMenu(const QPoint& position);
    QVariantMap controllerInfo(bool add) const;

    QPointer<ObjectContext> m_context;
    FlightListModel* m_model = nullptr;
    QSortFilterProxyModel* m_proxy = nullptr;
    QTableView* m_table = nullptr;
    bool m_columnsRestored = false;
    QToolBar* m_toolbar = nullptr;
    QAction* m_googleEarthAction = nullptr;
    FlightDetailPane* m_details = nullptr;
    QSplitter* m_splitter = nullptr;
    AddFlightSheet* m_addFlightSheet = nullptr;
    SelectEquipmentSheet* m_equipmentSheet = nullptr;
    WaypointServices m_waypointServices;
    QPointer<SelectWaypointController> m_selectStartWaypointController;
    QPointer<SelectWaypointController> m_selectLandingWaypointController;
    std::shared_ptr<WindowInteraction> m_interaction;
    QAction* m_undoAction = nullptr;
    QAction* m_redoAction = nullptr;
    QAction* m_selectAllAction = nullptr;
    QAction* m_deleteAction = nullptr;
    QAction* m_editFlightAction = nullptr;
    QPointer<QProcess> m_kmlLookup;
    ImportServices m_importServices;
    LogBookImport* m_import = nullptr;
    bool m_selectionUpdatePending = false;
    LogBookOutput* m_output = nullptr;
    int m_sortType = 0;
    bool m_loaded = false;
    bool m_showingFlight = false;
};

/** The application name from `xdg-mime query default` output ("x%20y.desktop" -> "x y"); nullopt for none. */
[[nodiscard]] std::optional<QString> kmlApplicationFromDesktopId(const QByteArray& xdgMimeOutput);

} // namespace kalvora
