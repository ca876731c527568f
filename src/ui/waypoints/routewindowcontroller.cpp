#include "ui/waypoints/routewindowcontroller.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include "model/route.h"
#include "model/routewaypoint.h"
#include "store/notificationcenter.h"
#include "store/objectcontext.h"
#include "ui/waypoints/routelistmodels.h"

namespace kalvora {
namespace {

QTableView* makeTable(QWidget* parent, const char* name, const QString& accessibleName)
{
    auto* table = new QTableView(parent);
    table->setObjectName(QLatin1String(name));
    table->setAccessibleName(accessibleName);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setAlternatingRowColors(true);
    table->setWordWrap(false);
    table->verticalHeader()->hide();
    return table;
}

} // namespace

RouteWindowController::RouteWindowController(ObjectContext* context, QWidget* parent)
    : QMainWindow(parent), m_context(context)
{
    setObjectName(QStringLiteral("Route"));
    setWindowTitle(tr("Routes"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    resize(820, 560);

    m_routes = new RouteListModel(context, this);
    m_entries = new RouteEntryModel(this);

    m_routeTable = makeTable(this, "routeTable", tr("Routes"));
    m_routeTable->setModel(m_routes);
    m_routeTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_routeTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    const QFontMetrics metrics = fontMetrics();
    m_routeTable->setColumnWidth(RouteListModel::NameColumn,
                                 metrics.horizontalAdvance(QStringLiteral("Zillertal FAI 120 km")) + 40);
    m_routeTable->setColumnWidth(RouteListModel::TypeColumn,
                                 metrics.horizontalAdvance(QStringLiteral("Freeflight")) + 40);
    m_routeTable->setColumnWidth(RouteListModel::DistanceColumn,
                                 metrics.horizontalAdvance(QStringLiteral("Distance (km)")) + 30);
    m_routeTable->horizontalHeader()->setSectionResizeMode(RouteListModel::NameColumn, QHeaderView::Stretch);
    connect(m_routeTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &RouteWindowController::routeSelectionChanged);
    connect(m_routes, &QAbstractItemModel::modelReset, this, &RouteWindowController::routeSelectionChanged);

    m_entryTable = makeTable(this, "entryTable", tr("Points of the route"));
    m_entryTable->setModel(m_entries);
    m_entryTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_entryTable->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                  QAbstractItemView::AnyKeyPressed);
    m_entryTable->setColumnWidth(RouteEntryModel::IndexColumn,
                                 metrics.horizontalAdvance(QStringLiteral("999")) + 24);
    m_entryTable->setColumnWidth(RouteEntryModel::NameColumn,
                                 metrics.horizontalAdvance(QStringLiteral("Sued_Startplat_A")) + 40);
    for (int column : {RouteEntryModel::LatitudeColumn, RouteEntryModel::LongitudeColumn})
        m_entryTable->setColumnWidth(column, metrics.horizontalAdvance(QStringLiteral("Longitude (°)")) + 40);
    m_entryTable->setColumnWidth(RouteEntryModel::AltitudeColumn,
                                 metrics.horizontalAdvance(QStringLiteral("Altitude (m)")) + 30);

    m_entryTable->horizontalHeader()->setSectionResizeMode(RouteEntryModel::NameColumn, QHeaderView::Stretch);
    m_entryTable->setColumnWidth(RouteEntryModel::RadiusColumn,
                                 metrics.horizontalAdvance(QStringLiteral("Radius (m)")) + 30);

    auto* lower = new QWidget(this);
    auto* lowerLayout = new QVBoxLayout(lower);
    m_lowerLayout = lowerLayout;
    lowerLayout->setContentsMargins(0, 6, 0, 0);
    m_entryTitle = new QLabel(lower);
    m_entryTitle->setObjectName(QStringLiteral("entryTitle"));
    m_entryTitle->setIndent(6);
    lowerLayout->addWidget(m_entryTitle);
    lowerLayout->addWidget(m_entryTable, 1);

    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->setObjectName(QStringLiteral("splitter"));
    m_splitter->addWidget(m_routeTable);
    m_splitter->addWidget(lower);
    m_splitter->setStretchFactor(1, 1);
    setCentralWidget(m_splitter);

    restoreLayout();
    if (m_routes->rowCount() > 0)
        selectRoute(m_routes->routeAt(0));
    else
        routeSelectionChanged();
}

RouteWindowController::~RouteWindowController() = default;

Route* RouteWindowController::selectedRoute() const
{
    const QModelIndexList rows = m_routeTable->selectionModel()->selectedRows();
    return rows.isEmpty() ? nullptr : m_routes->routeAt(rows.first().row());
}

void RouteWindowController::selectRoute(Route* route)
{
    const int row = m_routes->rowOf(route);
    if (row < 0) {
        m_routeTable->clearSelection();
        return;
    }
    const QModelIndex index = m_routes->index(row, 0);
    m_routeTable->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                               QItemSelectionModel::Rows);
    m_routeTable->scrollTo(index);
}

void RouteWindowController::setInstrumentSend(InstrumentSend send)
{
    m_send = std::move(send);
    if (!m_sendButton) {
        auto* row = new QWidget(this);
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(6, 0, 6, 6);
        m_sendStatus = new QLabel(row);
        m_sendStatus->setObjectName(QStringLiteral("sendStatus"));
        m_sendStatus->setWordWrap(true);
        m_sendButton = new QPushButton(tr("Send to &Instrument"), row);
        m_sendButton->setObjectName(QStringLiteral("sendToDevice"));
        m_sendButton->setToolTip(tr("Write the selected route to the connected instrument"));
        layout->addWidget(m_sendStatus, 1);
        layout->addWidget(m_sendButton);
        m_lowerLayout->addWidget(row);
        connect(m_sendButton, &QPushButton::clicked, this, &RouteWindowController::sendSelectedRoute);
        connect(&NotificationCenter::instance(), &NotificationCenter::notified, this, [this](const QString& name) {
            if (name == QLatin1String(notifications::DeviceChanged))
                updateSendButton();
        });
    }
    updateSendButton();
}

void RouteWindowController::updateSendButton()
{
    if (m_sendButton)
        m_sendButton->setEnabled(selectedRoute() && m_send.canSendRoutes && m_send.canSendRoutes());
}

void RouteWindowController::sendSelectedRoute()
{
    Route* route = selectedRoute();
    if (!route || !m_send.sendRoute)
        return;
    RouteToWrite toWrite;
    toWrite.name = route->name().toStdString();
    for (const RouteWaypoint* entry : route->sortedWaypoints())
        toWrite.entries.push_back({entry->index(), entry->name().toStdString(), entry->latitude(), entry->longitude(),
                                   entry->altitude(), entry->radius()});
    m_sendStatus->setText(tr("Sending %1...").arg(route->name()));
    QPointer<RouteWindowController> self(this);
    const QString name = route->name();
    m_send.sendRoute(std::move(toWrite), [self, name](const InstrumentSendResult& result) {
        if (!self)
            return;
        if (result.sent)
            self->m_sendStatus->setText(tr("%1 was sent to the instrument.").arg(name));
        else if (result.error.isEmpty())
            self->m_sendStatus->setText(tr("%1 was not sent.").arg(name));
        else
            self->m_sendStatus->setText(tr("%1 could not be sent: %2").arg(name, result.error));
        self->updateSendButton();
    });
    updateSendButton();
}

void RouteWindowController::routeSelectionChanged()
{
    updateSendButton();
    Route* route = selectedRoute();
    if (route == m_entries->route() && route)
        return;
    // Shown, so scored: its stored figures may predate the optimiser in use or an edit made elsewhere.
    if (route)
        route->calcDistance();
    m_entries->setRoute(route);
    m_entryTitle->setText(route ? tr("Points of %1 (double-click a value to change it):").arg(route->name())
                                : tr("No route selected"));
}

void RouteWindowController::restoreLayout()
{
    QSettings settings;
    settings.beginGroup(objectName());
    restoreGeometry(settings.value(QStringLiteral("geometry")).toByteArray());
    m_splitter->restoreState(settings.value(QStringLiteral("splitter")).toByteArray());
}

void RouteWindowController::closeEvent(QCloseEvent* event)
{
    QSettings settings;
    settings.beginGroup(objectName());
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
    settings.setValue(QStringLiteral("splitter"), m_splitter->saveState());
    event->accept();
}

} // namespace kalvora
