#include "ui/datefield.h"

#include <QCalendarWidget>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QRegularExpression>
#include <QToolButton>
#include <QWidgetAction>

namespace kalvora {

namespace {

const QDate kEarliest(1900, 1, 1);
const QDate kLatest(2100, 12, 31);

QString shown(const QDate& date)
{
    // Month by name: "03/04/1985" would read differently in different countries.
    return date.isValid() ? QLocale::c().toString(date, QStringLiteral("d MMM yyyy")) : QString();
}

} // namespace

std::optional<QDate> parseUserDate(const QString& text, const QLocale& locale)
{
    QString cleaned = text.simplified();
    if (cleaned.isEmpty())
        return std::nullopt;
    cleaned.remove(QLatin1Char(','));
    // "12May1985" and "May12 1985": a space between digits and letters.
    static const QRegularExpression digitLetter(QStringLiteral("(\\d)([A-Za-z])"));
    static const QRegularExpression letterDigit(QStringLiteral("([A-Za-z])(\\d)"));
    cleaned.replace(digitLetter, QStringLiteral("\\1 \\2"));
    cleaned.replace(letterDigit, QStringLiteral("\\1 \\2"));

    const auto accept = [](const QDate& date) -> std::optional<QDate> {
        if (date.isValid() && date >= kEarliest && date <= kLatest)
            return date;
        return std::nullopt;
    };
    const QLocale c = QLocale::c();
    for (const char* format : {"yyyy-M-d", "d.M.yyyy", "d/M/yyyy", "d-M-yyyy", "d MMM yyyy", "d MMMM yyyy",
                               "MMM d yyyy", "MMMM d yyyy"}) {
        if (const auto date = accept(c.toDate(cleaned, QLatin1String(format))))
            return date;
    }
    for (const QLocale::FormatType type : {QLocale::ShortFormat, QLocale::LongFormat}) {
        QString format = locale.dateFormat(type);
        // Two-digit years are ambiguous; the same form with four digits is taken.
        if (!format.contains(QLatin1String("yyyy")))
            format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
        if (const auto date = accept(locale.toDate(text.simplified(), format)))
            return date;
    }
    return std::nullopt;
}

DateField::DateField(const QDate& calendarStart, QWidget* parent) : QWidget(parent), m_calendarStart(calendarStart)
{
    m_edit = new QLineEdit(this);
    m_edit->setPlaceholderText(tr("e.g. 12 May 1985"));
    m_edit->installEventFilter(this);
    m_button = new QToolButton(this);
    m_button->setText(QStringLiteral("…"));
    m_button->setToolTip(tr("Choose from a calendar (Alt+Down)"));
    m_button->setAccessibleName(tr("Calendar"));
    // Tab goes from field to field; the calendar has its key in the field.
    m_button->setFocusPolicy(Qt::NoFocus);
    setFocusProxy(m_edit);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_edit, 1);
    layout->addWidget(m_button);

    connect(m_edit, &QLineEdit::editingFinished, this, &DateField::textFinished);
    connect(m_button, &QToolButton::clicked, this, &DateField::showCalendar);
}

DateField::~DateField() = default;

void DateField::setDate(const QDate& date)
{
    m_date = date.isValid() ? date : QDate();
    m_edit->setText(shown(m_date));
    m_edit->setModified(false);
    markInvalid(false);
}

bool DateField::hasInvalidText() const
{
    return m_edit->property("invalid").toBool();
}

void DateField::textFinished()
{
    if (!m_edit->isModified() && !hasInvalidText())
        return;
    m_edit->setModified(false);
    const QString text = m_edit->text().trimmed();
    if (text.isEmpty()) {
        markInvalid(false);
        if (m_date.isValid()) {
            m_date = QDate();
            emit dateEdited(m_date);
        }
        return;
    }
    const std::optional<QDate> date = parseUserDate(text, locale());
    if (!date) {
        // Kept as typed, so it can be corrected; the stored date is not touched.
        markInvalid(true);
        return;
    }
    markInvalid(false);
    m_edit->setText(shown(*date));
    if (*date != m_date) {
        m_date = *date;
        emit dateEdited(m_date);
    }
}

void DateField::markInvalid(bool invalid)
{
    m_edit->setProperty("invalid", invalid);
    m_edit->setStyleSheet(invalid ? QStringLiteral("QLineEdit { background: #fdd; }") : QString());
    m_edit->setToolTip(invalid ? tr("Not a date. Write it like 12 May 1985 or 1985-05-12.") : QString());
}

void DateField::showCalendar()
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    auto* calendar = new QCalendarWidget(menu);
    calendar->setObjectName(QStringLiteral("calendar"));
    calendar->setDateRange(kEarliest, kLatest);
    const QDate start = m_date.isValid() ? m_date : m_calendarStart;
    calendar->setSelectedDate(start);
    calendar->setCurrentPage(start.year(), start.month());
    auto* action = new QWidgetAction(menu);
    action->setDefaultWidget(calendar);
    menu->addAction(action);
    connect(calendar, &QCalendarWidget::activated, menu, [this, menu](const QDate& date) {
        choose(date);
        menu->close();
    });
    connect(calendar, &QCalendarWidget::clicked, menu, [this, menu](const QDate& date) {
        choose(date);
        menu->close();
    });
    menu->popup(mapToGlobal(QPoint(0, height())));
    calendar->setFocus();
}

void DateField::choose(const QDate& date)
{
    markInvalid(false);
    m_edit->setText(shown(date));
    m_edit->setModified(false);
    if (date != m_date) {
        m_date = date;
        emit dateEdited(m_date);
    }
}

bool DateField::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_edit && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Down && key->modifiers().testFlag(Qt::AltModifier)) {
            showCalendar();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace kalvora
