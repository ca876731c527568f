#include "ui/addflightsheet.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kalvora {

AddFlightSheet::AddFlightSheet(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AddFlightSheet"));
    setWindowTitle(tr("Add Flight"));
    setWindowModality(Qt::WindowModal);

    auto* intro = new QLabel(tr("How do you want to add the flight?"), this);
    intro->setObjectName(QStringLiteral("intro"));
    auto* igc = new QPushButton(tr("From &IGC File(s)…"), this);
    igc->setObjectName(QStringLiteral("addFlightIGC"));
    igc->setDefault(true);
    auto* byHand = new QPushButton(tr("Enter by &Hand"), this);
    byHand->setObjectName(QStringLiteral("addFlightManually"));
    auto* cancel = new QPushButton(tr("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancelAddFlight"));

    connect(igc, &QPushButton::clicked, this, [this] {
        accept();
        emit addFlightIGC();
    });
    connect(byHand, &QPushButton::clicked, this, [this] {
        accept();
        emit addFlightManually();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(igc);
    layout->addWidget(byHand);
    layout->addSpacing(8);
    layout->addWidget(cancel, 0, Qt::AlignRight);
}

AddFlightSheet::~AddFlightSheet() = default;

} // namespace kalvora
