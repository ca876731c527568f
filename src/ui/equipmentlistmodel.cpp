#include "ui/equipmentlistmodel.h"

#include <algorithm>

#include <QLocale>

#include "model/equipment.h"
#include "store/objectcontext.h"

namespace kalvora {

namespace {

const char* keyOf(int column)
{
    switch (column) {
    case EquipmentListModel::ModelColumn: return "model";
    case EquipmentListModel::ManufacturerColumn: return "manufacturer";
    case EquipmentListModel::TypeColumn: return "type";
    case EquipmentListModel::SizeColumn: return "size";
    case EquipmentListModel::SerialNumberColumn: return "serialNumber";
    case EquipmentListModel::BoughtColumn: return "boughtDate";
    case EquipmentListModel::SoldColumn: return "soldDate";
    case EquipmentListModel::NextCheckColumn: return "nextCheckDate";
    case EquipmentListModel::NoticeColumn: return "notice";
    default: return nullptr;
    }
}

bool isDateColumn(int column)
{
    return column == EquipmentListModel::BoughtColumn || column == EquipmentListModel::SoldColumn
           || column == EquipmentListModel::NextCheckColumn;
}

} // namespace

EquipmentListModel::EquipmentListModel(ObjectContext* context, bool editable, QObject* parent)
    : QAbstractTableModel(parent), m_context(context), m_editable(editable)
{
    reload();
}

EquipmentListModel::~EquipmentListModel() = default;

void EquipmentListModel::reload()
{
    beginResetModel();
    m_items.clear();
    if (m_context) {
        QList<Equipment*> items = m_context->fetch<Equipment>();
        std::stable_sort(items.begin(), items.end(),
                         [](const Equipment* a, const Equipment* b) { return a->boughtDate() > b->boughtDate(); });
        for (Equipment* item : items)
            if (!item->isDeleted())
                m_items << item;
    }
    endResetModel();
}

Equipment* EquipmentListModel::equipmentAt(int row) const
{
    return row >= 0 && row < m_items.size() ? m_items.at(row).data() : nullptr;
}

int EquipmentListModel::rowOf(const Equipment* equipment) const
{
    for (int row = 0; row < m_items.size(); ++row)
        if (m_items.at(row) == equipment)
            return row;
    return -1;
}

int EquipmentListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

int EquipmentListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant EquipmentListModel::data(const QModelIndex& index, int role) const
{
    const Equipment* item = equipmentAt(index.row());
    const char* key = keyOf(index.column());
    if (!item || !key)
        return {};
    const QString name = QLatin1String(key);
    if (isDateColumn(index.column())) {
        const bool set = item->hasValue(name);
        const QDate date = set ? Equipment::dateFromSeconds(item->value(name).toDouble()).date() : QDate();
        switch (role) {
        case Qt::DisplayRole: return set ? QLocale().toString(date, QLocale::ShortFormat) : QString();
        case Qt::EditRole: return set ? date : QDate::currentDate();
        case SortRole: return set ? item->value(name).toDouble() : -1e18;
        default: return {};
        }
    }
    if (role == Qt::DisplayRole || role == Qt::EditRole || role == SortRole)
        return item->stringValue(name);
    return {};
}

bool EquipmentListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    Equipment* item = equipmentAt(index.row());
    const char* key = keyOf(index.column());
    if (!item || !key || role != Qt::EditRole || !m_editable)
        return false;
    const QString name = QLatin1String(key);
    QVariant stored;
    if (isDateColumn(index.column())) {
        const QDate date = value.toDate();
        if (date.isValid())
            stored = Equipment::secondsFromDate(QDateTime(date, QTime(12, 0), Qt::UTC));
    } else if (!value.toString().trimmed().isEmpty()) {
        stored = value.toString().trimmed();
    }
    if (item->value(name) != stored)
        item->setValue(name, stored);
    emit dataChanged(index, index);
    return true;
}

Qt::ItemFlags EquipmentListModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (m_editable && index.isValid())
        flags |= Qt::ItemIsEditable;
    return flags;
}

QVariant EquipmentListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case ModelColumn: return tr("Model");
    case ManufacturerColumn: return tr("Manufacturer");
    case TypeColumn: return tr("Type");
    case SizeColumn: return tr("Size");
    case SerialNumberColumn: return tr("Serial number");
    case BoughtColumn: return tr("Bought");
    case SoldColumn: return tr("Sold");
    case NextCheckColumn: return tr("Next check");
    case NoticeColumn: return tr("Notice");
    default: return {};
    }
}

} // namespace kalvora
