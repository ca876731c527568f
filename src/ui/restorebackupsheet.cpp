#include "ui/restorebackupsheet.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kalvora {

RestoreBackupSheet::RestoreBackupSheet(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("RestoreBackup"));
    setWindowModality(Qt::WindowModal);
    setWindowTitle(tr("Restore from Backup"));
    setMinimumWidth(440);

    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("message"));
    m_message->setWordWrap(true);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("copies"));
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setHeaderLabels({tr("Date"), tr("Flights")});
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_list->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_list->setMinimumHeight(m_list->fontMetrics().height() * 12);

    auto* buttons = new QDialogButtonBox(this);
    m_restore = buttons->addButton(tr("Open Copy"), QDialogButtonBox::AcceptRole);
    m_restore->setObjectName(QStringLiteral("restoreButton"));
    m_restore->setDefault(true);
    m_cancel = buttons->addButton(QDialogButtonBox::Cancel);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));

    const auto choose = [this] {
        const int row = m_list->indexOfTopLevelItem(m_list->currentItem());
        if (row < 0 || row >= m_copies.size())
            return;
        accept();
        emit restoreChosen(m_copies[row]);
    };
    connect(m_restore, &QPushButton::clicked, this, choose);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, choose);
    connect(m_list, &QTreeWidget::currentItemChanged, this,
            [this] { m_restore->setEnabled(m_list->currentItem() != nullptr); });
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_message);
    layout->addWidget(m_list);
    layout->addWidget(buttons);
}

void RestoreBackupSheet::ask(const QString& logbookName, const QList<BackupCopy>& copies)
{
    m_copies = copies;
    m_list->clear();
    const QLocale locale;
    for (const BackupCopy& copy : copies) {
        auto* item = new QTreeWidgetItem(m_list);
        item->setText(0, locale.toString(copy.date, QLocale::LongFormat));
        item->setText(1, copy.flights < 0 ? tr("unreadable") : locale.toString(copy.flights));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    }
    if (copies.isEmpty()) {
        m_message->setText(tr("There is no backup of \u201C%1\u201D yet. A copy is taken when the logbook is "
                              "opened after it changed.")
                               .arg(logbookName));
        m_list->hide();
        m_restore->hide();
        m_cancel->setText(tr("Ok"));
    } else {
        m_message->setText(tr("Backups of \u201C%1\u201D. The chosen copy opens as a new logbook; the current "
                              "one stays as it is.")
                               .arg(logbookName));
        m_list->show();
        m_restore->show();
        m_cancel->setText(tr("Cancel"));
        m_list->setCurrentItem(m_list->topLevelItem(0));
    }
    m_list->resizeColumnToContents(1);
    adjustSize();
    open();
}

} // namespace kalvora
