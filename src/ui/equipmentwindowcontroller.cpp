#include "ui/equipmentwindowcontroller.h"

#include <QAction>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>

#include "model/equipment.h"
#include "store/objectcontext.h"
#include "ui/equipmentlistmodel.h"
#include "ui/imagereduction.h"
#include "ui/windowinteraction.h"

namespace kalvora {

EquipmentWindowController::EquipmentWindowController(ObjectContext* global,
                                                     std::shared_ptr<WindowInteraction> interaction, QWidget* parent)
    : QWidget(parent, Qt::Window), m_global(global), m_interaction(std::move(interaction))
{
    setObjectName(QStringLiteral("Equipment"));
    setWindowTitle(tr("Equipment - Kalvora"));
    resize(900, 420);

    m_model = new EquipmentListModel(global, true, this);
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
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                            | QAbstractItemView::AnyKeyPressed);
    m_list->verticalHeader()->hide();
    m_list->horizontalHeader()->setStretchLastSection(true);
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &EquipmentWindowController::selectionDidChange);
    connect(m_proxy, &QAbstractItemModel::dataChanged, this, &EquipmentWindowController::selectionDidChange);

    m_image = new QLabel(this);
    m_image->setObjectName(QStringLiteral("image"));
    m_image->setAccessibleName(tr("Picture"));
    m_image->setFixedSize(kImageBound + 40, kImageBound + 40);
    m_image->setAlignment(Qt::AlignCenter);
    m_image->setFrameShape(QFrame::StyledPanel);

    auto* toolbar = new QToolBar(this);
    toolbar->setObjectName(QStringLiteral("toolbar"));
    toolbar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QAction* add = toolbar->addAction(tr("&Add"), this, [this] { addEquipmentManually(); });
    add->setObjectName(QStringLiteral("addEquipment"));
    m_chooseImage = toolbar->addAction(tr("Choose &Picture…"), this, &EquipmentWindowController::chooseImage);
    m_chooseImage->setObjectName(QStringLiteral("chooseImage"));
    m_delete = toolbar->addAction(tr("&Delete"), this, &EquipmentWindowController::deleteSelected);
    m_delete->setObjectName(QStringLiteral("deleteEquipment"));

    auto* bar = new QMenuBar(this);
    QMenu* edit = bar->addMenu(tr("&Edit"));
    QAction* undo = edit->addAction(tr("&Undo"), this, [this] {
        if (m_global && m_global->canUndo()) {
            m_global->undo();
            m_model->reload();
        }
    });
    undo->setShortcut(QKeySequence::Undo);
    undo->setObjectName(QStringLiteral("undo"));
    QAction* redo = edit->addAction(tr("&Redo"), this, [this] {
        if (m_global && m_global->canRedo()) {
            m_global->redo();
            m_model->reload();
        }
    });
    redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence::Redo});
    redo->setObjectName(QStringLiteral("redo"));

    auto* pictureColumn = new QVBoxLayout;
    pictureColumn->addWidget(m_image);
    pictureColumn->addStretch();
    auto* body = new QHBoxLayout;
    body->addWidget(m_list, 1);
    body->addLayout(pictureColumn);
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(bar);
    layout->addWidget(toolbar);
    layout->addLayout(body, 1);

    m_list->resizeColumnsToContents();
    selectionDidChange();
}

EquipmentWindowController::~EquipmentWindowController() = default;

void EquipmentWindowController::reload()
{
    const QList<Equipment*> selected = selectedEquipment();
    m_model->reload();
    for (Equipment* item : selected)
        if (const int row = m_model->rowOf(item); row >= 0)
            m_list->selectionModel()->select(m_proxy->mapFromSource(m_model->index(row, 0)),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selectionDidChange();
}

QList<Equipment*> EquipmentWindowController::selectedEquipment() const
{
    QList<Equipment*> items;
    for (const QModelIndex& index : m_list->selectionModel()->selectedRows())
        if (Equipment* item = m_model->equipmentAt(m_proxy->mapToSource(index).row()))
            items << item;
    return items;
}

Equipment* EquipmentWindowController::addEquipmentManually()
{
    if (!m_global)
        return nullptr;
    auto* item = m_global->insert<Equipment>();
    if (!item)
        return nullptr;
    (void)m_global->save();
    m_model->reload();
    const int row = m_model->rowOf(item);
    const QModelIndex index = m_proxy->mapFromSource(m_model->index(row, EquipmentListModel::ModelColumn));
    m_list->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_list->setCurrentIndex(index);
    m_list->scrollTo(index);
    m_list->setFocus();
    m_list->edit(index);
    return item;
}

bool EquipmentWindowController::selectEquipment(const QString& uri)
{
    auto* item = m_global ? qobject_cast<Equipment*>(m_global->existingObject(uri)) : nullptr;
    if (!item)
        return false;
    m_model->reload();
    const int row = m_model->rowOf(item);
    if (row < 0)
        return false;
    const QModelIndex index = m_proxy->mapFromSource(m_model->index(row, 0));
    m_list->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_list->setCurrentIndex(index);
    m_list->scrollTo(index);
    return true;
}

void EquipmentWindowController::chooseImage()
{
    if (selectedEquipment().isEmpty() || !m_interaction)
        return;
    m_interaction->chooseFile(this, {tr("Select Image"), tr("Pictures (*.jpg *.JPG *.png *.PNG)"), false},
                              [self = QPointer(this)](const QString& path) {
                                  if (self && !path.isEmpty())
                                      self->setImageFromFile(path);
                              });
}

bool EquipmentWindowController::setImageFromFile(const QString& path)
{
    const QList<Equipment*> items = selectedEquipment();
    if (items.isEmpty())
        return false;
    const std::optional<QByteArray> jpeg = reducedJpeg(path, QSize(kImageBound, kImageBound));
    if (!jpeg)
        return false; // cannot be loaded: nothing changes
    if (m_global)
        m_global->beginUndoGroup();
    for (Equipment* item : items)
        item->setImage(*jpeg);
    if (m_global) {
        m_global->endUndoGroup();
        (void)m_global->save();
    }
    selectionDidChange();
    return true;
}

void EquipmentWindowController::deleteSelected()
{
    const QList<Equipment*> items = selectedEquipment();
    if (items.isEmpty() || !m_interaction)
        return;
    QList<QPointer<Equipment>> asked(items.cbegin(), items.cend());
    m_interaction->askDeleteEquipment(this, int(items.size()), [this, asked, self = QPointer(this)](bool confirmed) {
        if (!self || !confirmed || !m_global)
            return;
        for (const QPointer<Equipment>& item : asked)
            if (item)
                m_global->deleteObject(item.data());
        (void)m_global->save();
        m_model->reload();
        selectionDidChange();
    });
}

void EquipmentWindowController::selectionDidChange()
{
    const QList<Equipment*> items = selectedEquipment();
    QImage image;
    if (items.size() == 1 && image.loadFromData(items.first()->image())) {
        const qreal ratio = devicePixelRatioF();
        QPixmap pixmap = QPixmap::fromImage(image).scaled(m_image->contentsRect().size() * ratio, Qt::KeepAspectRatio,
                                                          Qt::SmoothTransformation);
        pixmap.setDevicePixelRatio(ratio);
        m_image->setPixmap(pixmap);
    } else {
        m_image->setPixmap({});
        m_image->setText(items.size() > 1 ? tr("%n items", nullptr, int(items.size())) : tr("No picture"));
    }
    updateActions();
}

void EquipmentWindowController::updateActions()
{
    // The picture needs items to go to; an empty list has none.
    m_chooseImage->setEnabled(m_model->rowCount() > 0);
    m_delete->setEnabled(m_model->rowCount() > 0);
}

void EquipmentWindowController::closeEvent(QCloseEvent* event)
{
    // A cell still being edited is written, then the store.
    if (QWidget* focused = focusWidget())
        focused->clearFocus();
    if (m_global && m_global->hasChanges())
        (void)m_global->save();
    event->accept();
}

} // namespace kalvora
