#include "ui/selectequipmentsheet.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

#include "model/equipment.h"
#include "store/objectcontext.h"
#include "ui/equipmentlistmodel.h"

namespace kalvora {

SelectEquipmentSheet::SelectEquipmentSheet(ObjectContext* global, QWidget* parent) : QDialog(parent), m_global(global)
{
    setObjectName(QStringLiteral("SelectEquipment"));
    setWindowModality(Qt::WindowModal);
    resize(560, 320);

    m_model = new EquipmentListModel(global, false, this);
    m_proxy = new QSortFilterProxyModel(this);
    m_proxy->setSourceModel(m_model);
    m_proxy->setSortRole(EquipmentListModel::SortRole);
    m_list = new QTableView(this);
    m_list->setObjectName(QStringLiteral("equipmentList"));
    m_list->setAccessibleName(tr("Equipment"));
    m_list->setModel(m_proxy);
    m_list->setSortingEnabled(true);
    m_list->sortByColumn(EquipmentListModel::BoughtColumn, Qt::DescendingOrder);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->verticalHeader()->hide();
    m_list->horizontalHeader()->setStretchLastSection(true);
    for (int column : {EquipmentListModel::SerialNumberColumn, EquipmentListModel::SoldColumn,
                       EquipmentListModel::NextCheckColumn, EquipmentListModel::NoticeColumn})
        m_list->hideColumn(column);
    connect(m_list, &QAbstractItemView::doubleClicked, this, &SelectEquipmentSheet::choose);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* create = buttons->addButton(tr("&New"), QDialogButtonBox::ActionRole);
    create->setObjectName(QStringLiteral("createNewEquipment"));
    create->setAutoDefault(false);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("cancelChooseEquipment"));
    QPushButton* choose = buttons->addButton(tr("C&hoose"), QDialogButtonBox::AcceptRole);
    choose->setObjectName(QStringLiteral("chooseEquipment"));
    choose->setDefault(true);
    connect(create, &QPushButton::clicked, this, &SelectEquipmentSheet::createNew);
    connect(choose, &QPushButton::clicked, this, &SelectEquipmentSheet::choose);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(tr("Choose the equipment for the selected flights."), this);
    intro->setObjectName(QStringLiteral("intro"));
    layout->addWidget(intro);
    layout->addWidget(m_list, 1);
    layout->addWidget(buttons);
}

SelectEquipmentSheet::~SelectEquipmentSheet() = default;

void SelectEquipmentSheet::ask(Mark mark)
{
    m_mark = mark;
    setWindowTitle(mark == Glider ? tr("Choose Glider") : tr("Choose Harness"));
    m_model->reload();
    m_list->resizeColumnsToContents();
    open();
}

void SelectEquipmentSheet::selectEquipment(const Equipment* equipment)
{
    const int row = m_model->rowOf(equipment);
    if (row < 0)
        return;
    const QModelIndex index = m_proxy->mapFromSource(m_model->index(row, 0));
    m_list->selectRow(index.row());
}

void SelectEquipmentSheet::choose()
{
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return; // nothing chosen: the sheet stays
    Equipment* equipment = m_model->equipmentAt(m_proxy->mapToSource(rows.first()).row());
    if (!equipment)
        return;
    accept();
    emit chosen(equipment, m_mark);
}

void SelectEquipmentSheet::createNew()
{
    if (!m_global)
        return;
    auto* equipment = m_global->insert<Equipment>();
    if (!equipment)
        return;
    (void)m_global->save();
    m_model->reload();
    selectEquipment(equipment);
    if (!equipment->objectId().isTemporary())
        emit created(equipment, m_mark);
}

} // namespace kalvora
