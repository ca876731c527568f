#include "ui/waypoints/selectwaypointcontroller.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <cmath>

#include "model/waypoint.h"
#include "store/objectcontext.h"
#include "ui/waypoints/waypointaddressfiller.h"
#include "ui/waypoints/waypointlistmodel.h"
#include "waypoints/machineidentity.h"

namespace kalvora {

SelectWaypointController::SelectWaypointController(ObjectContext* context, double latitude, double longitude,
                                                   double altitude, WaypointServices services,
                                                   QWidget* parent)
    : QDialog(parent), m_context(context), m_reference{latitude * 1000000.0, longitude * 1000000.0},
      m_altitude(altitude), m_services(std::move(services))
{
    setObjectName(QStringLiteral("SelectWaypoint"));
    qRegisterMetaType<Waypoint*>();
    qRegisterMetaType<SelectWaypointController*>();
    setWindowTitle(tr("Choose Waypoint"));
    setWindowModality(Qt::WindowModal);
    resize(720, 420);
    Waypoint::setFlightReferencePoint(m_reference.latitude, m_reference.longitude);

    m_addresses = new WaypointAddressFiller(m_services.addresses, this);
    m_model = new WaypointListModel(context, this);
    m_model->setReferencePoint(m_reference);
    connect(m_addresses, &WaypointAddressFiller::filled, m_model, &WaypointListModel::waypointDidChange);

    auto* intro = new QLabel(tr("Waypoints nearest to %1, %2 first:")
                                 .arg(QString::number(latitude, 'f', 5), QString::number(longitude, 'f', 5)),
                             this);
    intro->setObjectName(QStringLiteral("reference"));

    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("waypointTable"));
    m_table->setAccessibleName(tr("Waypoints"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setAlternatingRowColors(true);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    for (int column : {WaypointListModel::SharedColumn, WaypointListModel::LatitudeColumn,
                       WaypointListModel::LongitudeColumn, WaypointListModel::CityColumn,
                       WaypointListModel::ChangedColumn})
        m_table->hideColumn(column);
    // Nearest first, as the sort indicator shows (turning sorting on sorts by it); a click on the distance
    // header reverses it.
    m_table->horizontalHeader()->setSortIndicator(WaypointListModel::DistanceColumn, Qt::AscendingOrder);
    m_table->setSortingEnabled(true);
    m_table->setColumnWidth(WaypointListModel::NameColumn, 220);
    m_table->setColumnWidth(WaypointListModel::ShortNameColumn, 120);
    m_table->setColumnWidth(WaypointListModel::AltitudeColumn, 100);
    m_table->setColumnWidth(WaypointListModel::DistanceColumn, 90);
    connect(m_table, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            choose();
    });

    auto* buttons = new QDialogButtonBox(this);
    m_createNew = buttons->addButton(tr("Create &New"), QDialogButtonBox::ActionRole);
    m_createNew->setObjectName(QStringLiteral("createNew"));
    m_createNew->setToolTip(tr("A new waypoint at this point, to be named in the waypoint window"));
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("cancel"));
    m_choose = buttons->addButton(tr("&Choose"), QDialogButtonBox::AcceptRole);
    m_choose->setObjectName(QStringLiteral("choose"));
    m_choose->setDefault(true);
    connect(m_createNew, &QPushButton::clicked, this, [this] { createNew(); });
    connect(cancel, &QPushButton::clicked, this, &SelectWaypointController::reject);
    connect(m_choose, &QPushButton::clicked, this, &SelectWaypointController::choose);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(m_table, 1);
    layout->addWidget(buttons);

    if (m_model->rowCount() > 0)
        selectRow(0);
}

SelectWaypointController::~SelectWaypointController() = default;

void SelectWaypointController::setHideCreateNewButton(bool hide)
{
    m_hideCreateNew = hide;
    m_createNew->setVisible(!hide);
}

QList<Waypoint*> SelectWaypointController::listedWaypoints() const
{
    return m_model->waypoints();
}

void SelectWaypointController::selectRow(int row)
{
    const QModelIndex index = m_model->index(row, WaypointListModel::NameColumn);
    m_table->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
    m_table->scrollTo(index);
}

void SelectWaypointController::choose()
{
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    if (Waypoint* w = m_model->waypointAt(rows.first().row()))
        emit didSelectWaypoint(this, w);
}

void SelectWaypointController::reject()
{
    // Escape and the window's close button cancel; the caller closes the picker.
    emit didCancel(this);
}

Waypoint* SelectWaypointController::createNew()
{
    if (!m_context)
        return nullptr;
    auto* w = m_context->insert<Waypoint>();
    if (!w)
        return nullptr;
    w->clearWaypoint();
    w->setLatitude(qint64(std::trunc(m_reference.latitude)));
    w->setLongitude(qint64(std::trunc(m_reference.longitude)));
    w->setAltitude(qint64(std::trunc(m_altitude)));
    const std::optional<QString> identity =
        m_services.machineIdentity ? m_services.machineIdentity() : machineIdentity();
    if (identity)
        w->setMacaddress(*identity);

    m_model->addWaypoint(w);
    const QHeaderView* header = m_table->horizontalHeader();
    m_model->sort(header->sortIndicatorSection(), header->sortIndicatorOrder());
    selectRow(m_model->rowOf(w));

    // A failed save leaves the waypoint pending in the context; it has no identity to open the window on.
    if (m_context->save().ok() && !w->objectId().isTemporary() && m_services.showWaypoint)
        m_services.showWaypoint(w->objectId().uriString());
    m_addresses->fill(w);
    return w;
}

} // namespace kalvora
