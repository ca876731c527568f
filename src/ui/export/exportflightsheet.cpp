#include "ui/export/exportflightsheet.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kalvora {

ExportFlightSheet::ExportFlightSheet(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ExportFlightSheet"));
    setWindowTitle(tr("Export Flights"));
    setWindowModality(Qt::WindowModal);

    auto* heading = new QLabel(this);
    heading->setObjectName(QStringLiteral("heading"));
    auto* explanation = new QLabel(tr("Writes the IGC record of each selected flight, as it was imported, "
                                      "into a folder of your choice. Existing files are never replaced."),
                                   this);
    explanation->setWordWrap(true);

    m_igc = new QPushButton(tr("&IGC File(s)…"), this);
    m_igc->setObjectName(QStringLiteral("exportIGC"));
    m_igc->setProperty("tag", 1);
    m_igc->setDefault(true);
    connect(m_igc, &QPushButton::clicked, this, [this] {
        accept();
        emit igcChosen();
    });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelExport"));
    buttons->addButton(m_igc, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(explanation);
    layout->addSpacing(12);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

void ExportFlightSheet::begin(int selectedCount)
{
    findChild<QLabel*>(QStringLiteral("heading"))
        ->setText(QStringLiteral("<b>%1</b>")
                      .arg(selectedCount == 1 ? tr("Export the selected flight")
                                              : tr("Export the %1 selected flights").arg(selectedCount)));
    open();
}

} // namespace kalvora
