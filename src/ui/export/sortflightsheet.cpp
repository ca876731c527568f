#include "ui/export/sortflightsheet.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kalvora {

SortFlightSheet::SortFlightSheet(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SortFlightSheet"));
    setWindowTitle(tr("Sort Flights"));
    setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("<b>Sort the flights by</b> (largest first)"), this));
    const QString labels[] = {tr("&Date"),          tr("&Flight time"), tr("D&istance"),
                              tr("Max. &altitude"), tr("Max. &climb"),  tr("&XC points")};
    for (int tag = 0; tag < 6; ++tag) {
        auto* button = new QPushButton(labels[tag], this);
        button->setObjectName(QStringLiteral("sortType%1").arg(tag));
        button->setProperty("tag", tag);
        connect(button, &QPushButton::clicked, this, [this, tag] {
            accept();
            emit sortTypeChosen(tag);
        });
        layout->addWidget(button);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelSort"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QPushButton* SortFlightSheet::button(int tag) const
{
    return findChild<QPushButton*>(QStringLiteral("sortType%1").arg(tag));
}

} // namespace kalvora
