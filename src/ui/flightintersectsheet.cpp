#include "ui/flightintersectsheet.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTimeZone>
#include <QVBoxLayout>

namespace kalvora {

FlightIntersectSheet::FlightIntersectSheet(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FlightIntersect"));
    setWindowModality(Qt::WindowModal);
    setWindowTitle(tr("Overlapping flight"));

    m_intro = new QLabel(this);
    m_intro->setObjectName(QStringLiteral("question"));
    m_intro->setWordWrap(true);
    m_intro->setTextFormat(Qt::PlainText);
    m_newFlight = new QLabel(this);
    m_newFlight->setObjectName(QStringLiteral("newFlight"));
    m_oldFlight = new QLabel(this);
    m_oldFlight->setObjectName(QStringLiteral("oldFlight"));
    auto* form = new QFormLayout;
    form->addRow(tr("File:"), m_newFlight);
    form->addRow(tr("Logbook flight:"), m_oldFlight);

    m_applyToAll = new QCheckBox(tr("Do the same for all further conflicts"), this);
    m_applyToAll->setObjectName(QStringLiteral("applyToAll"));

    auto* buttons = new QDialogButtonBox(this);
    const struct
    {
        OverlapChoice choice;
        QString label;
        const char* name;
        QDialogButtonBox::ButtonRole role;
    } choices[] = {
        {OverlapChoice::ImportAsWell, tr("Import as well"), "importAsWell", QDialogButtonBox::AcceptRole},
        {OverlapChoice::Replace, tr("Replace"), "replace", QDialogButtonBox::AcceptRole},
        {OverlapChoice::Skip, tr("Skip"), "skip", QDialogButtonBox::AcceptRole},
        {OverlapChoice::Cancel, tr("Cancel"), "cancel", QDialogButtonBox::RejectRole},
    };
    for (const auto& c : choices) {
        QPushButton* button = buttons->addButton(c.label, c.role);
        button->setObjectName(QLatin1String(c.name));
        const int tag = static_cast<int>(c.choice);
        button->setProperty("tag", tag);
        // Enter must not make a duplicate: it skips the file.
        button->setAutoDefault(false);
        button->setDefault(c.choice == OverlapChoice::Skip);
        connect(button, &QPushButton::clicked, this, [this, tag] { press(tag); });
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_intro);
    layout->addLayout(form);
    layout->addWidget(m_applyToAll);
    layout->addWidget(buttons);
}

FlightIntersectSheet::~FlightIntersectSheet() = default;

QString FlightIntersectSheet::describe(const QDateTime& startUTC, const QString& duration)
{
    const QLocale locale;
    const QDateTime utc = startUTC.toTimeZone(QTimeZone::utc());
    return tr("%1 at %2 UTC, lasting %3")
        .arg(locale.toString(utc.date(), QLocale::ShortFormat), locale.toString(utc.time(), QLocale::ShortFormat),
             duration);
}

QString FlightIntersectSheet::questionText() const
{
    return m_intro->text();
}

void FlightIntersectSheet::ask(const QString& fileName, const QDateTime& newStartUTC, const QString& newDuration,
                               const QDateTime& oldStartUTC, const QString& oldFlightTime)
{
    m_intro->setText(tr("The flight in \"%1\" overlaps a flight of the logbook.").arg(fileName));
    m_newFlight->setText(describe(newStartUTC, newDuration));
    m_oldFlight->setText(describe(oldStartUTC, oldFlightTime));
    open();
}

QString FlightIntersectSheet::newFlightText() const
{
    return m_newFlight->text();
}

QString FlightIntersectSheet::oldFlightText() const
{
    return m_oldFlight->text();
}

void FlightIntersectSheet::choose(OverlapChoice choice)
{
    for (auto* button : findChildren<QPushButton*>()) {
        if (button->property("tag").toInt() == static_cast<int>(choice)) {
            button->click();
            return;
        }
    }
}

void FlightIntersectSheet::setApplyToAll(bool on)
{
    m_applyToAll->setChecked(on);
}

void FlightIntersectSheet::reject()
{
    // Escape is the cancel button.
    press(static_cast<int>(OverlapChoice::Cancel));
}

void FlightIntersectSheet::press(int tag)
{
    const bool applyToAll = m_applyToAll->isChecked();
    hide();
    setResult(tag == static_cast<int>(OverlapChoice::Cancel) ? QDialog::Rejected : QDialog::Accepted);
    emit answered(tag, applyToAll);
}

} // namespace kalvora
