#pragma once

#include <QDialog>
#include <QPointer>

class QPushButton;
class QSortFilterProxyModel;
class QTableView;

namespace kalvora {

class Equipment;
class EquipmentListModel;
class ObjectContext;

/**
 * The equipment chooser "SelectEquipment": the global store's equipment,
 * sortable by its columns, shown window-modal over the logbook window for the
 * glider (mark 1) or the harness (mark 2). "Choose" or a double-click reports
 * the selected item; with none selected nothing happens and the sheet stays.
 * "New" inserts an item, saves the store and reports it. GUI thread.
 */
class SelectEquipmentSheet final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SelectEquipmentSheet)

public:
    enum Mark : int { Glider = 1, Harness = 2 };

    SelectEquipmentSheet(ObjectContext* global, QWidget* parent);
    ~SelectEquipmentSheet() override;

    /** Reloads the list and shows the sheet for @p mark. */
    void ask(Mark mark);
    [[nodiscard]] Mark mark() const { return m_mark; }
    [[nodiscard]] QTableView* list() const { return m_list; }
    /** Selects @p equipment in the list, as a click would. */
    void selectEquipment(const Equipment* equipment);

signals:
    void chosen(kalvora::Equipment* equipment, int mark);
    /** A new item was created (and saved); the user fills it in in the equipment window. */
    void created(kalvora::Equipment* equipment, int mark);

private:
    void choose();
    void createNew();

    QPointer<ObjectContext> m_global;
    EquipmentListModel* m_model = nullptr;
    QSortFilterProxyModel* m_proxy = nullptr;
    QTableView* m_list = nullptr;
    Mark m_mark = Glider;
};

} // namespace kalvora
