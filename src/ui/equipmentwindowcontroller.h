#pragma once

#include <memory>

#include <QPointer>
#include <QWidget>

class QAction;
class QLabel;
class QSortFilterProxyModel;
class QTableView;

namespace kalvora {

class Equipment;
class EquipmentListModel;
class ObjectContext;
class WindowInteraction;

/**
 * The equipment window "Equipment": every glider and harness of the global
 * store, newest purchase first, edited in place, with the selected item's
 * picture. Undo goes to the global store's history. GUI thread.
 */
class EquipmentWindowController final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EquipmentWindowController)

public:
    static constexpr int kImageBound = 120;

    EquipmentWindowController(ObjectContext* global, std::shared_ptr<WindowInteraction> interaction,
                              QWidget* parent = nullptr);
    ~EquipmentWindowController() override;

    /** Inserts a new item (bought today, not sold), lists it, and selects it for editing. */
    Equipment* addEquipmentManually();
    /** Asks for a picture and stores it, reduced, as the image of every selected item. */
    void chooseImage();
    /** Stores the picture in @p path as the selected items' image; false when it cannot be loaded. */
    bool setImageFromFile(const QString& path);
    /** Selects the item with that object address alone; false when there is none. */
    bool selectEquipment(const QString& uri);
    /** Reads the list again, e.g. after another window created an item. */
    void reload();

    [[nodiscard]] QTableView* list() const { return m_list; }
    [[nodiscard]] QList<Equipment*> selectedEquipment() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void selectionDidChange();
    void deleteSelected();
    void updateActions();

    QPointer<ObjectContext> m_global;
    std::shared_ptr<WindowInteraction> m_interaction;
    EquipmentListModel* m_model = nullptr;
    QSortFilterProxyModel* m_proxy = nullptr;
    QTableView* m_list = nullptr;
    QLabel* m_image = nullptr;
    QAction* m_chooseImage = nullptr;
    QAction* m_delete = nullptr;
};

} // namespace kalvora
