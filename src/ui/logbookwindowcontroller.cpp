#include "ui/logbookwindowcontroller.h"

#include <algorithm>
#include <vector>

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTimeEdit>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMetaMethod>
#include <QProcess>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QTimeZone>
#include <QToolBar>
#include <QUrl>

#include "logbook/xcqueue.h"
#include "model/flight.h"
#include "model/utcoffsets.h"
#include "store/notificationcenter.h"
#include "store/objectcontext.h"
#include "ui/flightlistmodel.h"
#include "ui/igcdrop.h"
#include "ui/export/logbookoutput.h"
#include "ui/logbookimport.h"
#include "ui/toolbarrules.h"
#include "ui/columnfit.h"
#include "logbook/flightentry.h"
#include "model/equipment.h"
#include "store/persistentstore.h"
#include "ui/addflightsheet.h"
#include "ui/flightdetailpane.h"
#include "model/waypoint.h"
#include "ui/selectequipmentsheet.h"
#include "ui/waypoints/selectwaypointcontroller.h"
#include "ui/waypoints/waypointlistmodel.h"
#include "ui/utcoffsetlist.h"
#include "ui/windowinteraction.h"
#include "ui/windowplacement.h"

namespace kalvora {

namespace {

const QString kSortTypeKey = QStringLiteral("flightSortType");
const QString kLastSelectedKey = QStringLiteral("LastSelectedFlightURI");
const char* const kTagProperty = "tag";

} // namespace

std::optional<QString> kmlApplicationFromDesktopId(const QByteArray& xdgMimeOutput)
{
    QString id = QString::fromUtf8(xdgMimeOutput).trimmed();
    if (id.isEmpty())
        return std::nullopt;
    id = id.section(QLatin1Char('\n'), 0, 0).trimmed();
    if (id.endsWith(QLatin1String(".desktop")))
        id.chop(8);
    id = QUrl::fromPercentEncoding(id.toUtf8());
    if (id.isEmpty())
        return std::nullopt;
    return id;
}

LogBookWindowController::LogBookWindowController(ObjectContext* context, QWidget* parent)
    : QMainWindow(parent), m_context(context)
{
    setObjectName(QStringLiteral("LogBook"));
    setWindowTitle(tr("Logbook"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    resize(1100, 650);

    m_model = new FlightListModel(context, this);
    m_proxy = new QSortFilterProxyModel(this);
    m_proxy->setSourceModel(m_model);
    m_proxy->setSortRole(FlightListModel::SortRole);
    m_proxy->setDynamicSortFilter(true);

    m_interaction = makeSheetInteraction();
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("flightTable"));
    m_table->setModel(m_proxy);
    m_table->setSortingEnabled(true);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setAlternatingRowColors(true);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    // Titles of columns narrowed to their values end in an ellipsis instead of losing both ends.
    m_table->horizontalHeader()->setTextElideMode(Qt::ElideRight);
    // Bold titles over selected columns would no longer fit the widths fitted to plain ones.
    m_table->horizontalHeader()->setHighlightSections(false);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setAccessibleName(tr("Flights"));
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    m_table->viewport()->installEventFilter(this);
    connect(m_table, &QWidget::customContextMenuRequested, this, &LogBookWindowController::showContextMenu);
    connect(m_table, &QAbstractItemView::doubleClicked, this, &LogBookWindowController::editFlight);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &LogBookWindowController::selectionDidChange);
    connect(m_table->horizontalHeader(), &QHeaderView::sortIndicatorChanged, this, [this](int column, Qt::SortOrder) {
        const int type = FlightListModel::sortTypeForColumn(column);
        if (type >= 0 && m_loaded) {
            m_sortType = type;
            QSettings settings;
            settings.setValue(kSortTypeKey, type);
            settings.sync();
        }
    });
    connect(m_proxy, &QAbstractItemModel::rowsInserted, this, &LogBookWindowController::updateToolbarItems);
    connect(m_proxy, &QAbstractItemModel::rowsRemoved, this, &LogBookWindowController::updateToolbarItems);
    connect(m_proxy, &QAbstractItemModel::dataChanged, this, [this] {
        // While flights are imported and scored, each scored flight changes
        // several values one after the other, and with thousands of flights
        // selected each look at the selection counts: once per turn of the
        // event loop is enough then.
        const bool busy = m_import && (m_import->importer().isRunning() || !m_import->calcXCDataQueue().isIdle());
        if (!busy && !m_selectionUpdatePending) {
            updateToolbarItems();
            if (!m_showingFlight)
                showSelectedFlight();
            return;
        }
        if (m_selectionUpdatePending)
            return;
        m_selectionUpdatePending = true;
        QTimer::singleShot(0, this, [this] {
            m_selectionUpdatePending = false;
            updateToolbarItems();
            if (!m_showingFlight)
                showSelectedFlight();
        });
    });

    // The selected flights' values, editable.
    m_details = new FlightDetailPane(context, m_interaction, this);
    connect(m_details, &FlightDetailPane::gliderTypeChanged, this, [this](const QList<Flight*>& flights) {
        logBookImport()->startCalcXCOperations(flights);
    });
    connect(m_details, &FlightDetailPane::chooseGliderRequested, this, [this] { chooseEquipment(1); });
    connect(m_details, &FlightDetailPane::chooseStartPlaceRequested, this, [this] { choosePlace(true); });
    connect(m_details, &FlightDetailPane::chooseLandingPlaceRequested, this, [this] { choosePlace(false); });
    connect(m_details, &FlightDetailPane::chooseHarnessRequested, this, [this] { chooseEquipment(2); });

    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->setObjectName(QStringLiteral("splitter"));
    m_splitter->addWidget(m_table);
    m_splitter->addWidget(m_details);
    m_splitter->setStretchFactor(0, 1);
    setCentralWidget(m_splitter);

    m_toolbar = addToolBar(tr("Logbook"));
    m_toolbar->setObjectName(QStringLiteral("toolbar"));
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QAction* add = addToolbarItem(tr("Add Flight…"), "addFlight", static_cast<int>(ToolbarTag::Always));
    connect(add, &QAction::triggered, this, &LogBookWindowController::addFlight);
    QAction* import = addToolbarItem(tr("Import IGC"), "importIGC", static_cast<int>(ToolbarTag::Always));
    connect(import, &QAction::triggered, this, [this] { logBookImport()->getIGCFlight(); });
    // An empty logbook has nothing to delete; with flights but no selection the click says what it needs.
    QAction* remove = addToolbarItem(tr("Delete"), "deleteFlights", static_cast<int>(ToolbarTag::NeedsFlights));
    connect(remove, &QAction::triggered, this, &LogBookWindowController::deleteSelectedFlights);
    createEditActions();
    QAction* recalc = addToolbarItem(tr("Recalculate"), "recalcFlight", static_cast<int>(ToolbarTag::NeedsIGCSelection));
    connect(recalc, &QAction::triggered, this, [this] { logBookImport()->recalcFlight(); });
    m_googleEarthAction = addToolbarItem(tr("Google Earth"), "googleEarth", static_cast<int>(ToolbarTag::Never));
    connect(m_googleEarthAction, &QAction::triggered, this, &LogBookWindowController::googleEarthRequested);
    QAction* pilot = addToolbarItem(tr("Pilot"), "pilot", static_cast<int>(ToolbarTag::Always));
    connect(pilot, &QAction::triggered, this, &LogBookWindowController::pilotWindowRequested);

    m_output = new LogBookOutput(this);

    // A logbook opened read-only shows its flights and offers nothing that would change them.
    if (isReadOnly()) {
        for (QAction* action : {add, import, remove, recalc})
            action->setVisible(false);
        m_details->setEnabled(false);
    }

    showSelectedFlight();
    updateToolbarItems();
}

bool LogBookWindowController::isReadOnly() const
{
    return m_context && m_context->store().isReadOnly();
}

void LogBookWindowController::createEditActions()
{
    m_undoAction = new QAction(tr("&Undo"), this);
    m_undoAction->setObjectName(QStringLiteral("undo"));
    m_undoAction->setShortcut(QKeySequence::Undo);
    connect(m_undoAction, &QAction::triggered, this, [this] {
        if (m_context && m_context->canUndo()) {
            m_details->commitPendingEdits();
            m_context->undo();
        }
    });
    m_redoAction = new QAction(tr("&Redo"), this);
    m_redoAction->setObjectName(QStringLiteral("redo"));
    m_redoAction->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence::Redo});
    connect(m_redoAction, &QAction::triggered, this, [this] {
        if (m_context && m_context->canRedo())
            m_context->redo();
    });
    m_selectAllAction = new QAction(tr("Select &All"), this);
    m_selectAllAction->setObjectName(QStringLiteral("selectAll"));
    m_selectAllAction->setShortcut(QKeySequence::SelectAll);
    // In a text field Ctrl+A selects its text; on the list it selects every flight.
    m_selectAllAction->setShortcutContext(Qt::WidgetShortcut);
    connect(m_selectAllAction, &QAction::triggered, m_table, &QAbstractItemView::selectAll);
    m_deleteAction = new QAction(tr("&Delete Flights…"), this);
    m_deleteAction->setObjectName(QStringLiteral("deleteSelected"));
    m_deleteAction->setShortcuts({QKeySequence::Delete, QKeySequence(Qt::Key_Backspace)});
    // Only on the list: Delete in a field of the details deletes text, not flights.
    m_deleteAction->setShortcutContext(Qt::WidgetShortcut);
    connect(m_deleteAction, &QAction::triggered, this, &LogBookWindowController::deleteSelectedFlights);
    m_editFlightAction = new QAction(tr("&Edit Flight"), this);
    m_editFlightAction->setObjectName(QStringLiteral("editFlight"));
    connect(m_editFlightAction, &QAction::triggered, this, [this] { editFlight(m_table->currentIndex()); });
    m_table->addAction(m_selectAllAction);
    m_table->addAction(m_deleteAction);
    // Undo and redo work anywhere in the window, the menu bar being optional.
    addAction(m_undoAction);
    addAction(m_redoAction);
}

QMenu* LogBookWindowController::createEditMenu(QWidget* parent)
{
    auto* menu = new QMenu(tr("&Edit"), parent);
    menu->setObjectName(QStringLiteral("editMenu"));
    menu->addAction(m_undoAction);
    menu->addAction(m_redoAction);
    menu->addSeparator();
    menu->addAction(m_selectAllAction);
    menu->addAction(m_deleteAction);
    // Shown as they are; triggered by key whatever the state, where the handlers check again.
    connect(menu, &QMenu::aboutToShow, this, [this] {
        m_undoAction->setEnabled(m_context && m_context->canUndo());
        m_redoAction->setEnabled(m_context && m_context->canRedo());
        m_deleteAction->setEnabled(!selectedFlights().isEmpty());
        m_selectAllAction->setEnabled(m_proxy->rowCount() > 0);
    });
    connect(menu, &QMenu::aboutToHide, this, [this] {
        for (QAction* action : {m_undoAction, m_redoAction, m_deleteAction, m_selectAllAction})
            action->setEnabled(true);
    });
    return menu;
}

void LogBookWindowController::setInteraction(std::shared_ptr<WindowInteraction> interaction)
{
    m_interaction = std::move(interaction);
    m_details->setInteraction(m_interaction);
}

void LogBookWindowController::showContextMenu(const QPoint& position)
{
    const QModelIndex index = m_table->indexAt(position);
    if (index.isValid() && !m_table->selectionModel()->isRowSelected(index.row(), {}))
        m_table->selectRow(index.row());
    if (selectedFlights().isEmpty())
        return;
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("flightContextMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(m_editFlightAction);
    // Offered only where the application has a flight map to show.
    if (isSignalConnected(QMetaMethod::fromSignal(&LogBookWindowController::flightMapRequested))) {
        QAction* onMap = menu->addAction(tr("Show on &Map"), this, &LogBookWindowController::flightMapRequested);
        onMap->setObjectName(QStringLiteral("showOnMap"));
    }
    for (QAction* action : m_toolbar->actions()) {
        if (action->objectName() == QLatin1String("recalcFlight") && action->isEnabled())
            menu->addAction(action);
    }
    menu->addSeparator();
    menu->addAction(m_deleteAction);
    menu->popup(m_table->viewport()->mapToGlobal(position));
}

void LogBookWindowController::editFlight(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    if (Flight* flight = m_model->flightAt(m_proxy->mapToSource(index).row()))
        selectFlights({flight});
    m_details->focusFirstField();
}

LogBookWindowController::~LogBookWindowController()
{
    if (m_kmlLookup) {
        m_kmlLookup->disconnect(this);
        m_kmlLookup->kill();
        m_kmlLookup->waitForFinished(1000);
    }
    if (m_loaded)
        NotificationCenter::instance().post(QString::fromLatin1(notifications::FlightControllersDidChange), this,
                                            controllerInfo(false));
}

QAction* LogBookWindowController::addToolbarItem(const QString& text, const char* name, int tag)
{
    QAction* action = m_toolbar->addAction(text);
    action->setObjectName(QLatin1String(name));
    action->setProperty(kTagProperty, tag);
    return action;
}

void LogBookWindowController::windowDidLoad(const LoadOptions& options)
{
    if (m_loaded)
        return;

    // 1. Dropped IGC files are imported.
    setAcceptDrops(!isReadOnly());
    // 2. Notifications.
    connect(&NotificationCenter::instance(), &NotificationCenter::notified, this, &LogBookWindowController::notified);

    // 4./5. Times in UTC (set up in the constructor) and the 40 offsets, "0" selected.
    m_details->fillUtcOffsets();

    // 6. The remembered sort type.
    const QVariant storedSort = QSettings().value(kSortTypeKey);
    bool ok = false;
    const int type = storedSort.toInt(&ok);
    m_loaded = true;
    // 3. Other windows may now use this flight list.
    NotificationCenter::instance().post(QString::fromLatin1(notifications::FlightControllersDidChange), this,
                                        controllerInfo(true));
    sortFlights(storedSort.isValid() && ok ? type : 0);

    // 7. A logbook made because there was no recent one asks for its pilot.
    if (options.openPilotWindow)
        emit pilotWindowRequested();

    // 8. Computations that were queued or interrupted when the logbook was last open.
    QList<Flight*> pending;
    if (m_context && !isReadOnly()) {
        if (auto predicate = Predicate::parse(QStringLiteral("(freeDistance < 0)")))
            pending = m_context->fetch<Flight>(*predicate);
    }
    if (!pending.isEmpty()) {
        logBookImport()->startCalcXCOperations(pending);
        emit xcComputationRequested(pending);
    }

    // 9./10. The list and the flight selected when the logbook was last closed.
    m_model->refresh();
    m_table->resizeColumnsToContents();
    // Room for the values of flights still to come, not only for the headers of an empty list.
    const QFontMetrics metrics = m_table->fontMetrics();
    const int dateWidth = metrics.horizontalAdvance(QLocale().toString(QDate(2028, 12, 28), QLocale::ShortFormat));
    m_table->setColumnWidth(FlightListModel::DateColumn,
                            std::max(m_table->columnWidth(FlightListModel::DateColumn), dateWidth + 24));
    m_table->setColumnWidth(FlightListModel::FlightTypeColumn,
                            std::max(m_table->columnWidth(FlightListModel::FlightTypeColumn),
                                     metrics.horizontalAdvance(tr("Freeflight")) + 24));
    for (int column : {FlightListModel::TakeOffPlaceColumn, FlightListModel::LandingPlaceColumn})
        m_table->setColumnWidth(column, std::max(m_table->columnWidth(column), 150));
    restoreLayout();
    selectFlight(QSettings().value(kLastSelectedKey).toString());

    // 11. Which application shows KML files.
    lookUpKmlApplication();
    updateToolbarItems();
}

QComboBox* LogBookWindowController::utcOffsetList() const
{
    return m_details->utcOffsetList();
}

ObjectContext* LogBookWindowController::managedObjectContext() const
{
    return m_context;
}

QList<Flight*> LogBookWindowController::flightList() const
{
    QList<Flight*> flights;
    for (int row = 0; row < m_proxy->rowCount(); ++row)
        flights << m_model->flightAt(m_proxy->mapToSource(m_proxy->index(row, 0)).row());
    return flights;
}

QList<Flight*> LogBookWindowController::selectedFlights() const
{
    // Read from the selection's ranges: asking the selection row by row
    // walks every range for every row, which thousands of selected flights
    // (a whole import) turn into a stall.
    std::vector<int> rows;
    for (const QItemSelectionRange& range : m_table->selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QList<Flight*> flights;
    flights.reserve(qsizetype(rows.size()));
    for (int row : rows) {
        if (Flight* flight = m_model->flightAt(m_proxy->mapToSource(m_proxy->index(row, 0)).row()))
            flights << flight;
    }
    return flights;
}

bool LogBookWindowController::selectFlight(const QString& uri)
{
    if (uri.isEmpty() || !m_context)
        return false;
    auto* flight = qobject_cast<Flight*>(m_context->existingObject(uri));
    if (!flight || m_model->rowOf(flight) < 0)
        return false;
    selectFlights({flight});
    return true;
}

void LogBookWindowController::selectFlights(const QList<Flight*>& flights)
{
    QHash<const Flight*, int> sourceRows;
    if (flights.size() > 1) {
        const QList<Flight*>& listed = m_model->flights();
        sourceRows.reserve(listed.size());
        for (int row = 0; row < listed.size(); ++row)
            sourceRows.insert(listed.at(row), row);
    }
    std::vector<int> rows;
    QModelIndex first;
    for (Flight* flight : flights) {
        const int row = flights.size() > 1 ? sourceRows.value(flight, -1) : m_model->rowOf(flight);
        if (row < 0)
            continue;
        const QModelIndex index = m_proxy->mapFromSource(m_model->index(row, 0));
        rows.push_back(index.row());
        if (!first.isValid())
            first = index;
    }
    // Neighbouring rows go in as one range: the view asks the selection about
    // every row and column it paints, and a range per row makes each of those
    // questions walk thousands of ranges.
    std::sort(rows.begin(), rows.end());
    QItemSelection selection;
    for (size_t i = 0; i < rows.size();) {
        size_t last = i;
        while (last + 1 < rows.size() && rows[last + 1] <= rows[last] + 1)
            ++last;
        selection.append(QItemSelectionRange(m_proxy->index(rows[i], 0),
                                             m_proxy->index(rows[last], FlightListModel::ColumnCount - 1)));
        i = last + 1;
    }
    m_table->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (first.isValid()) {
        m_table->selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
        m_table->scrollTo(first);
    }
}

void LogBookWindowController::addFlightToSelection(Flight* flight)
{
    const int row = m_model->rowOf(flight);
    if (row < 0)
        return;
    const QModelIndex index = m_proxy->mapFromSource(m_model->index(row, 0));
    m_table->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    m_table->scrollTo(index);
}

void LogBookWindowController::deselectFlights()
{
    m_table->clearSelection();
}

void LogBookWindowController::sortFlights(int sortType)
{
    const int column = FlightListModel::columnForSortType(sortType);
    if (column < 0)
        return;
    m_sortType = sortType;
    QSettings settings;
    settings.setValue(kSortTypeKey, sortType);
    settings.sync();
    m_table->sortByColumn(column, Qt::DescendingOrder);
    const QModelIndex current = m_table->selectionModel()->currentIndex();
    if (current.isValid())
        m_table->scrollTo(current);
}

QList<QAction*> LogBookWindowController::toolbarActions() const
{
    return m_toolbar->actions();
}

FlightSelectionState LogBookWindowController::selectionState() const
{
    FlightSelectionState state;
    state.flightCount = m_proxy->rowCount();
    const QList<Flight*> selected = selectedFlights();
    state.selectedCount = static_cast<int>(selected.size());
    state.allSelectedHaveIGC = std::all_of(selected.cbegin(), selected.cend(), [](const Flight* flight) {
        return flight->hasValue(QStringLiteral("validIGC")) && flight->hasRecording();
    });
    return state;
}

void LogBookWindowController::updateToolbarItems()
{
    const FlightSelectionState state = selectionState();
    for (QAction* action : m_toolbar->actions())
        action->setEnabled(isToolbarItemEnabled(action->property(kTagProperty).toInt(), state));
}

void LogBookWindowController::setKmlApplication(const std::optional<QString>& applicationName)
{
    if (!applicationName) {
        m_googleEarthAction->setProperty(kTagProperty, static_cast<int>(ToolbarTag::Never));
    } else {
        m_googleEarthAction->setProperty(kTagProperty, static_cast<int>(ToolbarTag::NeedsSingleFlight));
        m_googleEarthAction->setText(*applicationName);
    }
    updateToolbarItems();
}

void LogBookWindowController::lookUpKmlApplication()
{
    // Asked without blocking the window; the item stays disabled until the answer arrives.
    auto* process = new QProcess(this);
    m_kmlLookup = process;
    connect(process, &QProcess::finished, this, [this, process](int exitCode, QProcess::ExitStatus status) {
        const bool answered = status == QProcess::NormalExit && exitCode == 0;
        setKmlApplication(answered ? kmlApplicationFromDesktopId(process->readAllStandardOutput()) : std::nullopt);
        process->deleteLater();
    });
    connect(process, &QProcess::errorOccurred, this, [process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            process->deleteLater();
    });
    process->start(QStringLiteral("xdg-mime"),
                   {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("application/vnd.google-earth.kml+xml")});
}

void LogBookWindowController::setImportServices(const ImportServices& services)
{
    m_importServices = services;
    m_details->setChoosersAvailable(globalContext() != nullptr);
}

ObjectContext* LogBookWindowController::globalContext() const
{
    return m_importServices.globalStore ? m_importServices.globalStore->mainContext() : nullptr;
}

AddFlightSheet* LogBookWindowController::addFlightSheet()
{
    if (!m_addFlightSheet) {
        m_addFlightSheet = new AddFlightSheet(this);
        connect(m_addFlightSheet, &AddFlightSheet::addFlightIGC, this, [this] { logBookImport()->getIGCFlight(); });
        connect(m_addFlightSheet, &AddFlightSheet::addFlightManually, this,
                &LogBookWindowController::addFlightManually);
    }
    return m_addFlightSheet;
}

void LogBookWindowController::addFlight()
{
    addFlightSheet()->open();
}

Flight* LogBookWindowController::addFlightManually()
{
    if (!m_context)
        return nullptr;
    const QString glider = lastUsedEquipmentText(globalContext(), QStringLiteral("LastUsedGlider"));
    const QString harness = lastUsedEquipmentText(globalContext(), QStringLiteral("LastUsedHarness"));
    Flight* flight = kalvora::addFlightManually(*m_context, glider, harness);
    if (!flight)
        return nullptr;
    m_model->refresh();
    selectFlights({flight});
    m_details->focusFirstField();
    return flight;
}

SelectEquipmentSheet* LogBookWindowController::equipmentSheet()
{
    if (!m_equipmentSheet && globalContext()) {
        m_equipmentSheet = new SelectEquipmentSheet(globalContext(), this);
        connect(m_equipmentSheet, &SelectEquipmentSheet::chosen, this, &LogBookWindowController::equipmentChosen);
        connect(m_equipmentSheet, &SelectEquipmentSheet::created, this, [this](Equipment* equipment, int) {
            emit equipmentWindowRequested(equipment->objectId().uriString());
        });
    }
    return m_equipmentSheet;
}

void LogBookWindowController::chooseEquipment(int mark)
{
    if (selectedFlights().isEmpty())
        return;
    if (SelectEquipmentSheet* sheet = equipmentSheet())
        sheet->ask(mark == SelectEquipmentSheet::Harness ? SelectEquipmentSheet::Harness : SelectEquipmentSheet::Glider);
}

SelectWaypointController* LogBookWindowController::choosePlace(bool takeOff)
{
    const QList<Flight*> selected = selectedFlights();
    if (selected.isEmpty() || !globalContext())
        return nullptr;
    closeWaypointPicker();
    // The first selected flight's position, when its track gave one; else no reference point at all.
    const Flight* first = selected.first();
    const QString latitude = takeOff ? QStringLiteral("startLatitude") : QStringLiteral("landingLatitude");
    const QString longitude = takeOff ? QStringLiteral("startLongitude") : QStringLiteral("landingLongitude");
    const bool positioned = first->hasValue(latitude) && first->hasValue(longitude);
    auto* picker = new SelectWaypointController(globalContext(), first->value(latitude).toDouble(),
                                                first->value(longitude).toDouble(),
                                                takeOff ? first->startAltitude() : first->landingAltitude(),
                                                m_waypointServices, this);
    if (!positioned) {
        // Not 0 deg, 0 deg: without a position nothing is near, and nothing can be made "here".
        Waypoint::setFlightReferencePoint(std::nullopt, std::nullopt);
        picker->setHideCreateNewButton(true);
        picker->table()->hideColumn(WaypointListModel::DistanceColumn);
        picker->table()->sortByColumn(WaypointListModel::NameColumn, Qt::AscendingOrder);
        if (auto* intro = picker->findChild<QLabel*>(QStringLiteral("reference")))
            intro->setText(tr("The flight has no recorded position: places are listed by name."));
    }
    picker->setTag(takeOff ? 1 : 2);
    (takeOff ? m_selectStartWaypointController : m_selectLandingWaypointController) = picker;
    connect(picker, &SelectWaypointController::didSelectWaypoint, this,
            [this, takeOff](SelectWaypointController*, Waypoint* waypoint) {
        setFlightsPlace(m_context, selectedFlights(), takeOff,
                        {placeName(waypoint->name(), waypoint->country()), waypoint->latitude(), waypoint->longitude(),
                         double(waypoint->altitude())});
        closeWaypointPicker();
        showSelectedFlight();
    });
    connect(picker, &SelectWaypointController::didCancel, this, &LogBookWindowController::closeWaypointPicker);
    picker->open();
    return picker;
}

void LogBookWindowController::setWaypointServices(const WaypointServices& services)
{
    m_waypointServices = services;
}

void LogBookWindowController::closeWaypointPicker()
{
    for (QPointer<SelectWaypointController>* picker : {&m_selectStartWaypointController, &m_selectLandingWaypointController}) {
        if (*picker) {
            (*picker)->hide();
            (*picker)->deleteLater();
        }
        *picker = nullptr;
    }
}

void LogBookWindowController::equipmentChosen(Equipment* equipment, int mark)
{
    if (!equipment)
        return;
    const bool glider = mark == SelectEquipmentSheet::Glider;
    // Only a saved item has an address that lasts; an unsaved one still names the flights.
    if (!equipment->objectId().isTemporary())
        QSettings().setValue(glider ? QStringLiteral("LastUsedGlider") : QStringLiteral("LastUsedHarness"),
                             equipment->objectId().uriString());
    setFlightsValue(m_context, selectedFlights(), glider ? QStringLiteral("glider") : QStringLiteral("harness"),
                    equipmentChoiceText(equipment->model(), equipment->manufacturer()));
    showSelectedFlight();
}

void LogBookWindowController::setListSortingDeferred(bool deferred)
{
    if (m_proxy->dynamicSortFilter() == !deferred)
        return;
    m_proxy->setDynamicSortFilter(!deferred);
}

LogBookImport* LogBookWindowController::logBookImport()
{
    if (!m_import && m_context)
        m_import = new LogBookImport(this, m_context->store(), m_importServices);
    return m_import;
}

bool LogBookWindowController::importFiles(const QStringList& paths)
{
    if (isReadOnly())
        return false;
    LogBookImport* import = logBookImport();
    return import && import->checkIntersectFlightsWithIGC(paths);
}

void LogBookWindowController::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls() && igcFilesFromUrls(event->mimeData()->urls())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void LogBookWindowController::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasUrls() && igcFilesFromUrls(event->mimeData()->urls())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void LogBookWindowController::dropEvent(QDropEvent* event)
{
    const std::optional<QStringList> paths =
        event->mimeData()->hasUrls() ? igcFilesFromUrls(event->mimeData()->urls()) : std::nullopt;
    if (!paths) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    importFiles(*paths);
}

void LogBookWindowController::removeFlights(const QList<Flight*>& flights)
{
    if (!m_context)
        return;
    for (Flight* flight : flights) {
        if (flight && !flight->isDeleted())
            m_context->deleteObject(flight);
    }
    m_model->refresh();
}

void LogBookWindowController::deleteSelectedFlights()
{
    const QList<Flight*> flights = selectedFlights();
    if (flights.isEmpty()) {
        m_interaction->showAlert(this, tr("No flight is selected."),
                                 tr("Select the flights to delete in the list, then choose Delete again."));
        return;
    }
    QList<QPointer<Flight>> asked;
    for (Flight* flight : flights)
        asked << flight;
    m_interaction->askDeleteFlights(this, int(flights.size()), [this, asked, self = QPointer(this)](bool confirmed) {
        if (!self || !confirmed)
            return;
        QList<Flight*> remaining;
        for (const QPointer<Flight>& flight : asked)
            if (flight)
                remaining << flight.data();
        removeFlights(remaining);
    });
}

void LogBookWindowController::notified(const QString& name, QObject* object, const QVariantMap& userInfo)
{
    Q_UNUSED(object);
    Q_UNUSED(userInfo);
    if (name == QLatin1String(notifications::SettingsUnitTypeChanged))
        unitsDidChange();
    else if (name == QLatin1String(notifications::SettingsXCPointsTypeChanged))
        xcPointsTypeDidChange();
}

void LogBookWindowController::unitsDidChange()
{
    // Every shown value is formatted anew; the selection is set again so the details follow.
    const QList<Flight*> selected = selectedFlights();
    m_model->reformat();
    m_proxy->invalidate();
    deselectFlights();
    selectFlights(selected);
}

void LogBookWindowController::xcPointsTypeDidChange()
{
    // Announces xcPoints, distance and flightType of each selected flight as changed.
    for (Flight* flight : selectedFlights()) {
        const double freeDistance = flight->freeDistance();
        const QVariant stored = flight->value(QStringLiteral("freeDistance"));
        flight->setFreeDistance(0);
        flight->setValue(QStringLiteral("freeDistance"), stored.isValid() ? QVariant(freeDistance) : QVariant());
    }
    m_model->reformat();
}

void LogBookWindowController::selectionDidChange()
{
    updateToolbarItems();
    showSelectedFlight();
}

void LogBookWindowController::showSelectedFlight()
{
    m_showingFlight = true;
    const QList<Flight*> selected = selectedFlights();
    if (selected == m_details->flights())
        m_details->refresh();
    else
        m_details->setFlights(selected);
    m_showingFlight = false;
}

void LogBookWindowController::storeLastSelection()
{
    const QList<Flight*> selected = selectedFlights();
    if (selected.isEmpty())
        return;
    const ObjectId id = selected.first()->objectId();
    if (id.isTemporary())
        return;
    QSettings settings;
    settings.setValue(kLastSelectedKey, id.uriString());
    settings.sync();
}

void LogBookWindowController::restoreLayout()
{
    // Size, place, split and column widths as the pilot left them; the computed widths stay for a first start,
    // in a window wide enough for every column title where the screen allows.
    if (const int wanted = widthForWholeTitles(); wanted > width())
        resize(wanted, height());
    restoreWindowGeometry(this);
    QSettings settings;
    settings.beginGroup(objectName());
    m_splitter->restoreState(settings.value(QStringLiteral("splitter")).toByteArray());
    const bool columns = m_table->horizontalHeader()->restoreState(settings.value(QStringLiteral("columns")).toByteArray());
    settings.endGroup();
    m_columnsRestored = columns;
    if (columns)
        sortFlights(m_sortType); // the stored sort type rules over the header's indicator
}

bool LogBookWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (m_loaded && event->type() == QEvent::Resize && watched == m_table->viewport()) {
        // The first size of a window keeps the widths the pilot left; a first start and every later
        // resize make the columns fit. After the event, so the header knows the new width.
        const auto* resize = static_cast<QResizeEvent*>(event);
        const bool firstSize = !resize->oldSize().isValid();
        if ((!firstSize && resize->oldSize().width() != resize->size().width()) || (firstSize && !m_columnsRestored))
            QTimer::singleShot(0, this, &LogBookWindowController::fitColumnsToView);
    }
    return QMainWindow::eventFilter(watched, event);
}

int LogBookWindowController::expectedValueWidth(int column) const
{
    // Room for values still to come, so an empty list does not squeeze a column below what it will show.
    QString sample;
    switch (column) {
    case FlightListModel::DateColumn: sample = QLocale().toString(QDate(2028, 12, 28), QLocale::ShortFormat); break;
    case FlightListModel::TakeOffTimeColumn: sample = QStringLiteral("00:00"); break;
    case FlightListModel::FlightTimeColumn: sample = QStringLiteral("00:00:00"); break;
    case FlightListModel::FlightTypeColumn: sample = tr("Freeflight"); break;
    default: sample = QStringLiteral("8888.88"); break;
    }
    return m_table->fontMetrics().horizontalAdvance(sample) + 16;
}

int LogBookWindowController::widthForWholeTitles() const
{
    const QHeaderView* header = m_table->horizontalHeader();
    int width = 2 * m_table->frameWidth() + m_table->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_table);
    if (!m_table->verticalHeader()->isHidden())
        width += m_table->verticalHeader()->sizeHint().width();
    for (int column = 0; column < header->count(); ++column) {
        if (header->isSectionHidden(column))
            continue;
        // The names keep the header's default room, as the fit gives them.
        const bool text = column == FlightListModel::TakeOffPlaceColumn || column == FlightListModel::LandingPlaceColumn
                          || column == FlightListModel::GliderColumn;
        width += std::max({header->sectionSizeHint(column), expectedValueWidth(column),
                           text ? header->defaultSectionSize() : 0});
    }
    return width;
}

void LogBookWindowController::fitColumnsToView()
{
    // A narrow window takes room from the text columns, which elide, and from headers wider than their
    // values, so no number is cut off at the edge of the list; a wider one gives the titles back first.
    QHeaderView* header = m_table->horizontalHeader();
    const int count = header->count();
    if (count == 0)
        return;
    // The section that stretches: the last one shown, in the order the pilot sees them.
    int stretched = -1;
    for (int visual = count - 1; header->stretchLastSection() && visual >= 0 && stretched < 0; --visual)
        if (!header->isSectionHidden(header->logicalIndex(visual)))
            stretched = header->logicalIndex(visual);
    std::vector<int> widths;
    std::vector<int> minimums; // values whole
    std::vector<int> titles;   // values and titles whole
    for (int column = 0; column < count; ++column) {
        const bool hidden = header->isSectionHidden(column);
        const bool text = column == FlightListModel::TakeOffPlaceColumn || column == FlightListModel::LandingPlaceColumn
                          || column == FlightListModel::GliderColumn;
        const int width = hidden ? 0 : header->sectionSize(column);
        const int values = hidden ? 0
                           : text ? std::min(width, 80)
                                  : std::max(static_cast<QAbstractItemView*>(m_table)->sizeHintForColumn(column),
                                             expectedValueWidth(column));
        widths.push_back(width);
        minimums.push_back(values);
        titles.push_back(hidden ? 0 : std::max(values, header->sectionSizeHint(column)));
    }
    if (stretched >= 0) {
        // The stretched section takes whatever is left but never goes below the header's default size;
        // what it asks for is room for its title.
        const auto last = std::size_t(stretched);
        minimums[last] = std::max(minimums[last], header->defaultSectionSize());
        titles[last] = std::max(titles[last], minimums[last]);
        widths[last] = titles[last];
    }
    // Room for the vertical scroll bar is kept whether it shows yet or not: it comes with the flights of an
    // import, and a title must not be cut when it does.
    const bool barShown = m_table->verticalScrollBar()->isVisibleTo(m_table);
    const int available = m_table->viewport()->width() -
                          (barShown ? 0 : m_table->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_table));
    int used = 0;
    for (const int width : widths)
        used += width;
    // Room that comes back goes first to the titles that were cut.
    if (used < available)
        widths = growColumnWidths(widths, titles, available - used);
    std::vector<int> withTitles(widths.size());
    for (std::size_t i = 0; i < widths.size(); ++i)
        withTitles[i] = std::min(widths[i], titles[i]);
    // The text columns give way first, keeping every title whole; only then do titles elide, the values
    // still whole.
    const std::vector<int> fitted = fitColumnWidths(fitColumnWidths(widths, withTitles, available), minimums, available);
    for (int column = 0; column < count; ++column) {
        const auto i = std::size_t(column);
        if (column != stretched && !header->isSectionHidden(column) && fitted[i] != header->sectionSize(column))
            header->resizeSection(column, fitted[i]);
    }
}

void LogBookWindowController::saveLayout() const
{
    saveWindowGeometry(this);
    QSettings settings;
    settings.beginGroup(objectName());
    settings.setValue(QStringLiteral("splitter"), m_splitter->saveState());
    settings.setValue(QStringLiteral("columns"), m_table->horizontalHeader()->saveState());
    settings.endGroup();
}

void LogBookWindowController::closeEvent(QCloseEvent* event)
{
    if (m_loaded)
        saveLayout();
    // Ends editing and lets the document save, so the selection's identifier is permanent.
    if (QWidget* focused = focusWidget())
        focused->clearFocus();
    emit windowClosing();
    storeLastSelection();
    event->accept();
}

QVariantMap LogBookWindowController::controllerInfo(bool add) const
{
    QObjectList flights;
    if (add)
        for (Flight* flight : flightList())
            flights << flight;
    return {{QStringLiteral("FlightController"), QVariant::fromValue(flights)}, {QStringLiteral("Add"), add}};
}

} // namespace kalvora
