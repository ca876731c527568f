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

    m_dhvxc = new QPushButton(tr("&DHV-XC…"), this);
    m_dhvxc->setObjectName(QStringLiteral("exportDHVXC"));
    m_dhvxc->setProperty("tag", 2);
    m_dhvxc->setToolTip(tr("Submit the selected flight to the DHV-XC contest"));
    connect(m_dhvxc, &QPushButton::clicked, this, [this] {
        accept();
        emit dhvxcChosen();
    });
    m_xcontest = new QPushButton(tr("&XContest…"), this);
    m_xcontest->setObjectName(QStringLiteral("exportXC"));
    m_xcontest->setProperty("tag", 3);
    m_xcontest->setToolTip(tr("Submit the selected flight to the XContest contest"));
    connect(m_xcontest, &QPushButton::clicked, this, [this] {
        accept();
        emit xcontestChosen();
    });
    auto* contests = new QLabel(tr("DHV-XC and XContest take one flight at a time."), this);
    contests->setObjectName(QStringLiteral("contestsNote"));
    contests->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelExport"));
    buttons->addButton(m_dhvxc, QDialogButtonBox::ActionRole);
    buttons->addButton(m_xcontest, QDialogButtonBox::ActionRole);
    buttons->addButton(m_igc, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(explanation);
    layout->addWidget(contests);
    layout->addSpacing(12);
    layout->addWidget(buttons);
    setMinimumWidth(460);
}

void ExportFlightSheet::begin(int selectedCount)
{
    findChild<QLabel*>(QStringLiteral("heading"))
        ->setText(QStringLiteral("<b>%1</b>")
                      .arg(selectedCount == 1 ? tr("Export the selected flight")
                                              : tr("Export the %1 selected flights").arg(selectedCount)));
    m_dhvxc->setEnabled(selectedCount == 1);
    m_xcontest->setEnabled(selectedCount == 1);
    open();
}

} // namespace kalvora
