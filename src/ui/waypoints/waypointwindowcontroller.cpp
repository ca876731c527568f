#include "ui/waypoints/waypointwindowcontroller.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QLocale>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QSettings>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <cmath>

#include "model/waypoint.h"
#include "store/notificationcenter.h"
#include "store/objectcontext.h"
#include "store/persistentstore.h"
#include "ui/waypoints/waypointaddressfiller.h"
#include "ui/waypoints/waypointdetailspane.h"
#include "ui/waypoints/waypointfileimport.h"
#include "ui/waypoints/waypointinteraction.h"
#include "ui/waypoints/waypointlistmodel.h"
#include "waypoints/waypointfile.h"
#include "waypoints/wptimporter.h"

static void initWaypointResources()
{
    Q_INIT_RESOURCE(waypoints);
}

namespace kalvora {
namespace {

const QString kSortTypeKey = QStringLiteral("waypointSortType");
const QString kLastSelectedKey = QStringLiteral("LastSelectedWaypointURI");
const char* const kTagProperty = "tag";

int columnFor(WaypointSortType type)
{
    switch (type) {
    case WaypointSortType::Distance:
        return WaypointListModel::DistanceColumn;
    case WaypointSortType::Changed:
        return WaypointListModel::ChangedColumn;
    case WaypointSortType::Name:
        break;
    }
    return WaypointListModel::NameColumn;
}

/** The list's own order of each sort type: names A to Z, nearest first, newest first. */
Qt::SortOrder orderFor(WaypointSortType type)
{
    return type == WaypointSortType::Changed ? Qt::DescendingOrder : Qt::AscendingOrder;
}

std::optional<WaypointSortType> sortTypeForColumn(int column)
{
    switch (column) {
    case WaypointListModel::NameColumn:
        return WaypointSortType::Name;
    case WaypointListModel::DistanceColumn:
        return WaypointSortType::Distance;
    case WaypointListModel::ChangedColumn:
        return WaypointSortType::Changed;
    default:
        return std::nullopt;
    }
}

} // namespace

WaypointWindowController::WaypointWindowController(ObjectContext* context, WaypointServices services,
                                                   std::unique_ptr<WaypointInteraction> interaction,
                                                   std::unique_ptr<CurrentPositionSource> position,
                                                   QWidget* parent)
    : QMainWindow(parent), m_context(context), m_services(std::move(services)),
      m_interaction(interaction ? std::move(interaction) : makeWaypointDialogInteraction()),
      m_position(std::move(position))
{
    initWaypointResources();
    qRegisterMetaType<Waypoint*>();
    setObjectName(QStringLiteral("Waypoint"));
    setWindowTitle(tr("Waypoints"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    resize(1200, 700);

    m_model = new WaypointListModel(context, this);
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("waypointTable"));
    m_table->setAccessibleName(tr("Waypoints"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setAlternatingRowColors(true);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    // Uniform rows: the view never measures 100 000 of them.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 8);
    QHeaderView* header = m_table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSortIndicatorShown(true);
    // Every column wide enough for its values; the name takes what is left, so nothing hides behind a scroll
    // bar.
    const struct
    {
        int column;
        const char* sample;
    } widths[] = {
        {WaypointListModel::SharedColumn, "Online"},
        {WaypointListModel::ShortNameColumn, "HoheSaNo12"},
        {WaypointListModel::AltitudeColumn, "Altitude (ft)"},
        {WaypointListModel::LatitudeColumn, "47.123456° N"},
        {WaypointListModel::LongitudeColumn, "147.123456° E"},
        {WaypointListModel::DistanceColumn, "12345.6 km"},
        {WaypointListModel::CityColumn, "Innsbruck Land"},
        {WaypointListModel::CountryColumn, "Österreich"},
    };
    for (const auto& w : widths)
        m_table->setColumnWidth(w.column,
                                m_table->fontMetrics().horizontalAdvance(QString::fromUtf8(w.sample)) + 24);
    m_table->setColumnWidth(WaypointListModel::ChangedColumn,
                            m_table->fontMetrics().horizontalAdvance(QLocale().toString(
                                QDateTime(QDate(2028, 12, 28), QTime(23, 59)), QLocale::ShortFormat)) +
                                24);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(WaypointListModel::NameColumn, QHeaderView::Stretch);
    header->setMinimumSectionSize(40);
    // Turning sorting on sorts at once by the indicator; with none the rows wait for windowDidLoad(), which
    // sorts them in the remembered order.
    header->setSortIndicator(-1, Qt::AscendingOrder);
    m_table->setSortingEnabled(true);
    connect(header, &QHeaderView::sortIndicatorChanged, this, [this](int column, Qt::SortOrder) {
        const auto type = sortTypeForColumn(column);
        if (!type || !m_loaded)
            return;
        if (*type == WaypointSortType::Distance && !m_location) {
            // No position, no distance order: the list goes back to the order it had.
            QTimer::singleShot(0, this, [this] { sortWaypoints(m_sortType); });
            return;
        }
        m_sortType = *type;
        QSettings().setValue(kSortTypeKey, int(*type));
        if (QAction* chosen = m_sortGroup->actions().value(int(*type)))
            chosen->setChecked(true);
    });
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &WaypointWindowController::selectionDidChange);
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_model, signal, this, &WaypointWindowController::updateToolbarItems);
    connect(m_model, &QAbstractItemModel::modelReset, this, &WaypointWindowController::updateToolbarItems);
    connect(m_model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& first, const QModelIndex& last) {
                const QList<Waypoint*> selected = selectedWaypoints();
                if (!m_details->isShowing() && !selected.isEmpty()) {
                    const int row = m_model->rowOf(selected.first());
                    if (row >= first.row() && row <= last.row())
                        showSelectedWaypoint();
                }
            });
    connect(m_model, &WaypointListModel::sharingTicked, this, &WaypointWindowController::shareTicked);

    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->setObjectName(QStringLiteral("splitter"));
    m_splitter->addWidget(m_table);
    m_details = new WaypointDetailsPane(this);
    m_splitter->addWidget(m_details);
    connect(m_details, &WaypointDetailsPane::waypointEdited, m_model, &WaypointListModel::waypointDidChange);
    m_splitter->setStretchFactor(0, 1);
    setCentralWidget(m_splitter);

    m_addresses = new WaypointAddressFiller(m_services.addresses, this);
    connect(m_addresses, &WaypointAddressFiller::filled, m_model, &WaypointListModel::waypointDidChange);
    if (m_context) {
        m_import = new WaypointFileImport(this, m_context->store(), m_services.addresses, this);
        connect(m_import, &WaypointFileImport::finished, this, [this](const QList<ObjectId>& inserted) {
            QList<Waypoint*> waypoints;
            for (const ObjectId& id : inserted)
                if (auto* w = qobject_cast<Waypoint*>(m_context ? m_context->existingObject(id) : nullptr)) {
                    m_model->addWaypoint(w);
                    waypoints << w;
                }
            setSelectedWaypoints(waypoints);
        });
        connect(m_import, &WaypointFileImport::filesNotFullyRead, this, [this](const QStringList& lines) {
            m_interaction->alert(this, tr("Not every waypoint file could be read completely."),
                                 lines.join(QLatin1Char('\n')));
        });
    }

    m_toolbar = addToolBar(tr("Waypoints"));
    m_toolbar->setObjectName(QStringLiteral("toolbar"));
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QAction* add = addToolbarItem(tr("&Add"), "add", WaypointToolbarTag::Always);
    auto* addMenu = new QMenu(this);
    addMenu->setObjectName(QStringLiteral("addMenu"));
    QAction* byHand = addMenu->addAction(tr("New &Waypoint"), this, [this] { addWaypoint(); });
    byHand->setObjectName(QStringLiteral("addByHand"));
    byHand->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    byHand->setShortcutContext(Qt::WindowShortcut);
    addAction(byHand);
    QAction* fromFiles =
        addMenu->addAction(tr("&Import from File(s)…"), this, &WaypointWindowController::chooseImportFiles);
    fromFiles->setObjectName(QStringLiteral("addFromFiles"));
    add->setMenu(addMenu);
    connect(add, &QAction::triggered, byHand, &QAction::trigger);
    if (auto* button = qobject_cast<QToolButton*>(m_toolbar->widgetForAction(add)))
        button->setPopupMode(QToolButton::MenuButtonPopup);

    QAction* exportAction = addToolbarItem(tr("&Export…"), "export", WaypointToolbarTag::NeedsWaypoints);
    connect(exportAction, &QAction::triggered, this, &WaypointWindowController::chooseExportFile);

    QAction* sort = addToolbarItem(tr("&Sort"), "sort", WaypointToolbarTag::NeedsWaypoints);
    auto* sortMenu = new QMenu(this);
    sortMenu->setObjectName(QStringLiteral("sortMenu"));
    m_sortGroup = new QActionGroup(this);
    const struct
    {
        WaypointSortType type;
        QString text;
        const char* name;
    } sorts[] = {
        {WaypointSortType::Name, tr("By &Name"), "sortByName"},
        {WaypointSortType::Distance, tr("By &Distance"), "sortByDistance"},
        {WaypointSortType::Changed, tr("By &Last Change"), "sortByChange"},
    };
    for (const auto& s : sorts) {
        QAction* a = sortMenu->addAction(s.text);
        a->setObjectName(QLatin1String(s.name));
        a->setCheckable(true);
        m_sortGroup->addAction(a);
        const WaypointSortType type = s.type;
        connect(a, &QAction::triggered, this, [this, type] { sortWaypoints(type); });
    }
    m_sortByDistance = m_sortGroup->actions().at(int(WaypointSortType::Distance));
    m_sortByDistance->setEnabled(false);
    m_sortByDistance->setToolTip(tr("Needs the current position"));
    sort->setMenu(sortMenu);
    if (auto* button = qobject_cast<QToolButton*>(m_toolbar->widgetForAction(sort)))
        button->setPopupMode(QToolButton::InstantPopup);

    QAction* map = addToolbarItem(tr("&Web Map"), "webMap", WaypointToolbarTag::NeedsSingleWaypoint);
    connect(map, &QAction::triggered, this, &WaypointWindowController::openWebMap);

    QAction* undoAction = new QAction(tr("&Undo"), this);
    undoAction->setObjectName(QStringLiteral("undo"));
    undoAction->setShortcut(QKeySequence::Undo);
    connect(undoAction, &QAction::triggered, this, [this] { undo(false); });
    QAction* redoAction = new QAction(tr("&Redo"), this);
    redoAction->setObjectName(QStringLiteral("redo"));
    redoAction->setShortcut(QKeySequence::Redo);
    connect(redoAction, &QAction::triggered, this, [this] { undo(true); });
    addActions({undoAction, redoAction});

    showSelectedWaypoint();
    updateToolbarItems();
}

WaypointWindowController::~WaypointWindowController() = default;

QComboBox* WaypointWindowController::countryList() const
{
    return m_details->countryList();
}

QString WaypointWindowController::countriesResource()
{
    return QStringLiteral(":/kalvora/countries.txt");
}

QAction* WaypointWindowController::addToolbarItem(const QString& text, const char* name,
                                                  WaypointToolbarTag tag)
{
    QAction* action = m_toolbar->addAction(text);
    action->setObjectName(QLatin1String(name));
    action->setProperty(kTagProperty, int(tag));
    return action;
}

void WaypointWindowController::windowDidLoad()
{
    if (m_loaded)
        return;
    // 1. Notifications.
    connect(&NotificationCenter::instance(), &NotificationCenter::notified, this,
            &WaypointWindowController::notified);

    // 2. The countries: every second line of the resource.
    QFile countries(countriesResource());
    m_details->setCountries(countries.open(QIODevice::ReadOnly) ? countryChoices(countries.readAll())
                                                                : QStringList{});

    // 3. The remembered sort order and layout.
    restoreLayout();
    bool ok = false;
    const int stored = QSettings().value(kSortTypeKey).toInt(&ok);
    m_sortType = waypointSortTypeFrom(ok ? stored : 0).value_or(WaypointSortType::Name);

    // 4./5. The current position is asked anew each time the window loads.
    Waypoint::setCurrentLocation(0, 0);
    m_location.reset();
    m_model->setReferencePoint(std::nullopt);
    if (m_position)
        m_position->requestPosition(this, [this](std::optional<GeoDegrees> p) { positionArrived(p); });

    // 6. The list in its order. A distance order restored without a position measures from 0, 0.
    m_loaded = true;
    sortWaypoints(m_sortType);
    postControllerDidChange();

    // 7. The waypoint selected when the window last closed.
    selectWaypoint(QSettings().value(kLastSelectedKey).toString());
    updateToolbarItems();
}

void WaypointWindowController::positionArrived(std::optional<GeoDegrees> position)
{
    if (!position)
        return;
    m_location = MicroPoint{position->latitude * 1000000.0, position->longitude * 1000000.0};
    m_model->setReferencePoint(m_location);
    Waypoint::setCurrentLocation(m_location->latitude, m_location->longitude);
    m_sortByDistance->setEnabled(true);
    m_sortByDistance->setToolTip({});
    // Only the distance order depends on where we are.
    if (m_sortType == WaypointSortType::Distance)
        sortWaypoints(m_sortType);
}

void WaypointWindowController::sortWaypoints(WaypointSortType type)
{
    if (type == WaypointSortType::Distance && !m_location && m_loaded && m_sortType != type)
        return;
    m_sortType = type;
    if (QAction* chosen = m_sortGroup->actions().value(int(type)))
        chosen->setChecked(true);
    // The view sorts when its indicator moves, and QTableView::sortByColumn() would then sort a second
    // time; with the indicator in place already only the model sorts.
    QHeaderView* header = m_table->horizontalHeader();
    const int column = columnFor(type);
    const Qt::SortOrder order = orderFor(type);
    const bool moves = header->sortIndicatorSection() != column || header->sortIndicatorOrder() != order;
    if (moves)
        header->setSortIndicator(column, order);
    if (!moves || !m_table->isSortingEnabled())
        m_model->sort(column, order);
    QSettings().setValue(kSortTypeKey, int(type));
    const QModelIndex current = m_table->selectionModel()->currentIndex();
    if (current.isValid())
        m_table->scrollTo(current);
}

QList<Waypoint*> WaypointWindowController::selectedWaypoints() const
{
    QList<int> rows;
    for (const QModelIndex& index : m_table->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    QList<Waypoint*> waypoints;
    for (int row : rows)
        if (Waypoint* w = m_model->waypointAt(row))
            waypoints << w;
    return waypoints;
}

QList<Waypoint*> WaypointWindowController::waypointList() const
{
    return m_model->waypoints();
}

void WaypointWindowController::selectWaypoint(const QString& uri)
{
    if (uri.isEmpty() || !m_context)
        return;
    auto* w = qobject_cast<Waypoint*>(m_context->existingObject(uri));
    if (!w || w->isDeleted())
        return;
    // A waypoint made elsewhere (the picker) may not be listed yet.
    m_model->addWaypoint(w);
    setSelectedWaypoints({w});
}

void WaypointWindowController::setSelectedWaypoints(const QList<Waypoint*>& waypoints)
{
    QItemSelection selection;
    QModelIndex first;
    for (Waypoint* w : waypoints) {
        const int row = m_model->rowOf(w);
        if (row < 0)
            continue;
        const QModelIndex index = m_model->index(row, 0);
        selection.select(index, index.siblingAtColumn(WaypointListModel::ColumnCount - 1));
        if (!first.isValid())
            first = index;
    }
    m_table->selectionModel()->select(selection,
                                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (first.isValid()) {
        m_table->selectionModel()->setCurrentIndex(first.siblingAtColumn(WaypointListModel::NameColumn),
                                                   QItemSelectionModel::NoUpdate);
        m_table->scrollTo(first);
    }
}

WaypointSelectionState WaypointWindowController::selectionState() const
{
    return {m_model->rowCount(), int(m_table->selectionModel()->selectedRows().size())};
}

void WaypointWindowController::updateToolbarItems()
{
    const WaypointSelectionState state = selectionState();
    for (QAction* action : m_toolbar->actions())
        action->setEnabled(isWaypointToolbarItemEnabled(action->property(kTagProperty).toInt(), state));
    if (m_sendAction)
        m_sendAction->setEnabled(state.selectedCount > 0 && m_send.canSendWaypoints && m_send.canSendWaypoints());
}

void WaypointWindowController::setInstrumentSend(InstrumentSend send)
{
    m_send = std::move(send);
    if (!m_sendAction) {
        m_sendAction = addToolbarItem(tr("Send to &Instrument"), "sendToDevice", WaypointToolbarTag::NeedsWaypoints);
        m_sendAction->setToolTip(tr("Write the selected waypoints to the connected instrument"));
        connect(m_sendAction, &QAction::triggered, this, [this] {
            const QList<Waypoint*> selected = selectedWaypoints();
            if (selected.isEmpty() || !m_send.sendWaypoints)
                return;
            std::vector<DeviceWayPoint> waypoints;
            for (const Waypoint* w : selected)
                waypoints.push_back(deviceWayPointFromWaypoint(w->latitude(), w->longitude(), double(w->altitude()),
                                                               double(w->radius().value_or(0)),
                                                               w->shortName().toStdString(), w->name().toStdString()));
            QPointer<WaypointWindowController> self(this);
            m_send.sendWaypoints(std::move(waypoints), [self](const InstrumentSendResult& result) {
                if (self && !result.error.isEmpty())
                    self->m_interaction->alert(self, tr("The waypoints could not be sent to the instrument."),
                                               result.error);
                if (self)
                    self->updateToolbarItems();
            });
            updateToolbarItems();
        });
    }
    updateToolbarItems();
}

void WaypointWindowController::selectionDidChange()
{
    updateToolbarItems();
    showSelectedWaypoint();
    if (m_loaded)
        postControllerDidChange();
}

void WaypointWindowController::postControllerDidChange()
{
    QObjectList list;
    list.reserve(m_model->rowCount());
    for (Waypoint* w : m_model->waypoints())
        list << w;
    NotificationCenter::instance().post(QLatin1String(notifications::WaypointControllerDidChange), this,
                                        {{QStringLiteral("WaypointController"), QVariant::fromValue(list)}});
}

void WaypointWindowController::showSelectedWaypoint()
{
    const QList<Waypoint*> selected = selectedWaypoints();
    m_details->showWaypoint(selected.isEmpty() ? nullptr : selected.first());
}

void WaypointWindowController::notified(const QString& name, QObject* object, const QVariantMap& userInfo)
{
    Q_UNUSED(object);
    Q_UNUSED(userInfo);
    if (name == QLatin1String(notifications::SettingsUnitTypeChanged))
        // The rows keep their order and the selection stays.
        m_model->reformat();
    else if (name == QLatin1String(notifications::DeviceChanged))
        updateToolbarItems();
}

Waypoint* WaypointWindowController::addWaypoint()
{
    return addWaypointAt(m_location);
}

Waypoint* WaypointWindowController::addWaypointAt(const std::optional<MicroPoint>& position)
{
    if (!m_context)
        return nullptr;
    auto* w = m_context->insert<Waypoint>();
    if (!w)
        return nullptr;
    w->clearWaypoint();
    if (position && (position->latitude != 0 || position->longitude != 0)) {
        w->setLatitude(qint64(std::trunc(position->latitude)));
        w->setLongitude(qint64(std::trunc(position->longitude)));
        m_addresses->fill(w);
    }
    m_model->addWaypoint(w);
    (void)m_context->save();
    sortWaypoints(m_sortType);
    setSelectedWaypoints({w});
    m_details->focusName();
    return w;
}

void WaypointWindowController::chooseImportFiles()
{
    QPointer<WaypointWindowController> self(this);
    m_interaction->chooseImportFiles(this, waypointImportFilters(), [self](const QStringList& paths) {
        if (self && !paths.isEmpty())
            self->importFiles(paths);
    });
}

bool WaypointWindowController::importFiles(const QStringList& paths)
{
    return m_import && m_import->start(paths);
}

void WaypointWindowController::chooseExportFile()
{
    QPointer<WaypointWindowController> self(this);
    m_interaction->chooseExportFile(this, QStringLiteral("Waypoint.wpt"), waypointExportFilters(),
                                    [self](const std::optional<QString>& path) {
                                        if (self && path)
                                            self->exportWaypoints(*path);
                                    });
}

bool WaypointWindowController::exportWaypoints(const QString& path)
{
    QList<Waypoint*> chosen = selectedWaypoints();
    if (chosen.isEmpty())
        chosen = waypointList();
    // The file type decides the format: CUP, GPX or WPT.
    const auto format = waypointExportFormat(path);
    if (!format) {
        m_interaction->alert(this, tr("The waypoints could not be exported."),
                             tr("%1: the file type gives the format; use .cup, .gpx or .wpt").arg(path));
        return false;
    }
    QList<WptEntry> entries;
    for (const Waypoint* w : chosen)
        entries.append(WPTImporter::entryFromWaypoint(*w));
    const Result<Done> written = writeWaypointFile(path, *format, entries);
    if (written)
        return true;
    m_interaction->alert(this, tr("The waypoints could not be exported."),
                         QString::fromStdString(written.error()));
    return false;
}

void WaypointWindowController::openWebMap()
{
    const QList<Waypoint*> selected = selectedWaypoints();
    if (!selected.isEmpty())
        m_interaction->openUrl(webMapUrl(selected.first()->latitude(), selected.first()->longitude()));
}

void WaypointWindowController::shareTicked(Waypoint* waypoint)
{
    QList<QPointer<Waypoint>> targets{waypoint};
    for (Waypoint* w : selectedWaypoints())
        if (w != waypoint)
            targets << w;
    QPointer<WaypointWindowController> self(this);
    m_interaction->askShare(this, [self, targets](bool ok) {
        if (!self || !self->m_context)
            return;
        self->m_context->beginUndoGroup();
        for (const QPointer<Waypoint>& w : targets) {
            if (!w || w->isDeleted())
                continue;
            if (ok)
                w->setSyncStatus(0);
            else
                w->setSyncOnline(0);
            self->m_model->waypointDidChange(w);
        }
        self->m_context->endUndoGroup();
        if (!ok)
            return;
        (void)self->m_context->save();
        if (self->m_services.startUpload)
            self->m_services.startUpload();
    });
}

void WaypointWindowController::undo(bool redo)
{
    if (!m_context)
        return;
    if (redo)
        m_context->redo();
    else
        m_context->undo();
    m_model->reformat();
    showSelectedWaypoint();
}

void WaypointWindowController::restoreLayout()
{
    QSettings settings;
    settings.beginGroup(objectName());
    restoreGeometry(settings.value(QStringLiteral("geometry")).toByteArray());
    m_splitter->restoreState(settings.value(QStringLiteral("splitter")).toByteArray());
    m_table->horizontalHeader()->restoreState(settings.value(QStringLiteral("columns")).toByteArray());
}

void WaypointWindowController::storeLayout()
{
    QSettings settings;
    settings.beginGroup(objectName());
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
    settings.setValue(QStringLiteral("splitter"), m_splitter->saveState());
    settings.setValue(QStringLiteral("columns"), m_table->horizontalHeader()->saveState());
}

void WaypointWindowController::closeEvent(QCloseEvent* event)
{
    // The field being edited is written before the selection is remembered.
    if (QWidget* focused = focusWidget())
        focused->clearFocus();
    const QList<Waypoint*> selected = selectedWaypoints();
    if (!selected.isEmpty() && !selected.first()->objectId().isTemporary()) {
        QSettings settings;
        settings.setValue(kLastSelectedKey, selected.first()->objectId().uriString());
        settings.sync();
    }
    storeLayout();
    event->accept();
}

} // namespace kalvora
