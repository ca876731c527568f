#include "ui/waypoints/waypointduplicatesheet.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "waypoints/waypointimporter.h"

namespace kalvora {

WaypointDuplicateSheet::WaypointDuplicateSheet(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("WaypointDuplicate"));
    setWindowModality(Qt::WindowModal);
    setWindowTitle(tr("Waypoint exists"));
    setMinimumWidth(420);

    auto* intro = new QLabel(tr("A stored waypoint lies within %1 m of the waypoint to import.")
                                 .arg(WaypointImporter::DuplicateDistanceM),
                             this);
    intro->setWordWrap(true);
    m_new = new QLabel(this);
    m_new->setObjectName(QStringLiteral("newWaypoint"));
    m_existing = new QLabel(this);
    m_existing->setObjectName(QStringLiteral("existingWaypoint"));
    auto* form = new QFormLayout;
    form->addRow(tr("New waypoint:"), m_new);
    form->addRow(tr("Stored waypoint:"), m_existing);

    m_applyToAll = new QCheckBox(tr("Do the same for all further duplicates"), this);
    m_applyToAll->setObjectName(QStringLiteral("applyToAll"));

    auto* buttons = new QDialogButtonBox(this);
    const struct
    {
        int tag;
        QString label;
        const char* name;
        QDialogButtonBox::ButtonRole role;
    } choices[] = {
        {DuplicateQuestion::KeepChoice, tr("&Import as well"), "importAsWell", QDialogButtonBox::AcceptRole},
        {DuplicateQuestion::SkipChoice, tr("&Skip"), "skip", QDialogButtonBox::AcceptRole},
        {DuplicateQuestion::CancelChoice, tr("Cancel"), "cancel", QDialogButtonBox::RejectRole},
    };
    for (const auto& c : choices) {
        QPushButton* button = buttons->addButton(c.label, c.role);
        button->setObjectName(QLatin1String(c.name));
        button->setProperty("tag", c.tag);
        const int tag = c.tag;
        connect(button, &QPushButton::clicked, this, [this, tag] { press(tag); });
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addWidget(m_applyToAll);
    layout->addWidget(buttons);
}

WaypointDuplicateSheet::~WaypointDuplicateSheet() = default;

void WaypointDuplicateSheet::ask(const QString& newName, const QString& existingName)
{
    m_new->setText(newName);
    m_existing->setText(existingName);
    open();
}

QString WaypointDuplicateSheet::newWaypointText() const
{
    return m_new->text();
}

QString WaypointDuplicateSheet::existingWaypointText() const
{
    return m_existing->text();
}

void WaypointDuplicateSheet::reject()
{
    // Escape is the cancel button.
    press(DuplicateQuestion::CancelChoice);
}

void WaypointDuplicateSheet::press(int tag)
{
    const bool applyToAll = m_applyToAll->isChecked();
    hide();
    setResult(tag == DuplicateQuestion::CancelChoice ? QDialog::Rejected : QDialog::Accepted);
    emit answered(tag, applyToAll);
}

} // namespace kalvora
