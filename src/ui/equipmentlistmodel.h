#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QPointer>

namespace kalvora {

class Equipment;
class ObjectContext;

/**
 * The equipment of the global store as table rows, newest purchase first. The
 * text and date cells are edited in place and written to the record at once.
 * GUI thread.
 */
class EquipmentListModel final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EquipmentListModel)

public:
    enum Column : int {
        ModelColumn,
        ManufacturerColumn,
        TypeColumn,
        SizeColumn,
        SerialNumberColumn,
        BoughtColumn,
        SoldColumn,
        NextCheckColumn,
        NoticeColumn,
        ColumnCount
    };
    static constexpr int SortRole = Qt::UserRole + 1;

    EquipmentListModel(ObjectContext* context, bool editable, QObject* parent);
    ~EquipmentListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    /** Reads the list again from the store. */
    void reload();
    [[nodiscard]] Equipment* equipmentAt(int row) const;
    [[nodiscard]] int rowOf(const Equipment* equipment) const;

private:
    QPointer<ObjectContext> m_context;
    QList<QPointer<Equipment>> m_items;
    bool m_editable = false;
};

} // namespace kalvora
