#include "ui/importfoldersheet.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kalvora {

ImportFolderSheet::ImportFolderSheet(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ImportFolder"));
    setWindowModality(Qt::WindowModal);
    setWindowTitle(tr("Import IGC Folder"));
    setMinimumWidth(420);

    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("message"));
    m_message->setWordWrap(true);
    QFont bold = m_message->font();
    bold.setBold(true);
    m_message->setFont(bold);
    m_informative = new QLabel(this);
    m_informative->setObjectName(QStringLiteral("informative"));
    m_informative->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(this);
    m_import = buttons->addButton(tr("Import"), QDialogButtonBox::AcceptRole);
    m_import->setObjectName(QStringLiteral("importButton"));
    m_import->setDefault(true);
    m_cancel = buttons->addButton(QDialogButtonBox::Cancel);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    connect(m_import, &QPushButton::clicked, this, [this] {
        accept();
        emit importChosen();
    });
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_message);
    layout->addWidget(m_informative);
    layout->addWidget(buttons);
}

void ImportFolderSheet::ask(const QString& folder, int count)
{
    const QString name = QDir::toNativeSeparators(folder);
    if (count == 0) {
        m_message->setText(tr("No IGC files were found in \u201C%1\u201D.").arg(name));
        m_informative->setText(tr("Recordings are looked for in the folder and every folder inside it, by the "
                                  "extension .igc in any letter case."));
        m_import->hide();
        m_cancel->setText(tr("Ok"));
    } else {
        m_message->setText(count == 1 ? tr("1 IGC file was found in \u201C%1\u201D.").arg(name)
                                      : tr("%1 IGC files were found in \u201C%2\u201D.").arg(count).arg(name));
        m_informative->setText(tr("Recordings already in the logbook, under any name, are skipped without a "
                                  "question, so a cancelled import goes on where it stopped when the folder is "
                                  "imported again."));
        m_import->show();
        m_cancel->setText(tr("Cancel"));
    }
    adjustSize();
    open();
}

QString ImportFolderSheet::message() const
{
    return m_message->text();
}

} // namespace kalvora
