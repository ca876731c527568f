#include "ui/device/selectlogbooksheet.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace kalvora {

SelectLogBookSheet::SelectLogBookSheet(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SelectLogBookSheet"));
    setWindowTitle(tr("Choose Logbook"));
    setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(tr("Import the tracks into which logbook?"), this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    m_table = new QTableWidget(0, 1, this);
    m_table->setObjectName(QStringLiteral("logbookName"));
    m_table->setAccessibleName(tr("Open logbooks"));
    m_table->setHorizontalHeaderLabels({tr("Logbook")});
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(m_table);
    auto* buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(tr("Import"), QDialogButtonBox::AcceptRole);
    m_ok->setObjectName(QStringLiteral("importSelectedLogBooks"));
    QPushButton* cancel = buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancelSelectLogBooks"));
    layout->addWidget(buttons);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { m_ok->setEnabled(m_table->selectionModel()->hasSelection()); });
    connect(m_ok, &QPushButton::clicked, this, [this] {
        const QModelIndexList rows = m_table->selectionModel()->selectedRows();
        if (rows.isEmpty())
            return;
        accept();
        emit chosen(rows.first().row());
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    resize(360, 240);
}

SelectLogBookSheet::~SelectLogBookSheet() = default;

void SelectLogBookSheet::ask(const QStringList& names)
{
    m_table->setRowCount(0);
    for (const QString& name : names) {
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        m_table->setItem(row, 0, new QTableWidgetItem(name));
    }
    m_ok->setEnabled(false);
    if (!names.isEmpty())
        m_table->selectRow(0);
    open();
}

} // namespace kalvora
