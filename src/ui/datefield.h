#pragma once

#include <optional>

#include <QDate>
#include <QWidget>

class QLineEdit;
class QLocale;
class QToolButton;

namespace kalvora {

/**
 * A date as a pilot types it: "1985-05-12", "12.5.1985", "12/05/1985",
 * "12 May 1985", "12May1985", "May 12, 1985" or the locale's own short and
 * long forms; four-digit years from 1900 to 2100. nullopt for anything else
 * (and for an empty text). Any thread.
 */
[[nodiscard]] std::optional<QDate> parseUserDate(const QString& text, const QLocale& locale);

/**
 * A date field that may be empty: a text field that takes what parseUserDate()
 * reads and a calendar button. Text that is no date is kept for correcting and
 * marked, and the value stays as it was; Tab leaves the field like any other.
 * GUI thread.
 */
class DateField final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DateField)

public:
    /** @p calendarStart: where the calendar opens while the field is empty. */
    DateField(const QDate& calendarStart, QWidget* parent);
    ~DateField() override;

    /** Shows @p date (invalid: empty) without reporting it as an edit. */
    void setDate(const QDate& date);
    [[nodiscard]] QDate date() const { return m_date; }
    [[nodiscard]] QLineEdit* lineEdit() const { return m_edit; }
    [[nodiscard]] QToolButton* calendarButton() const { return m_button; }
    /** True while the field holds text that is no date. */
    [[nodiscard]] bool hasInvalidText() const;
    /** Opens the calendar (also Alt+Down in the field). */
    void showCalendar();

signals:
    /** The user set a date (invalid: cleared it). */
    void dateEdited(const QDate& date);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void textFinished();
    void markInvalid(bool invalid);
    void choose(const QDate& date);

    QLineEdit* m_edit = nullptr;
    QToolButton* m_button = nullptr;
    QDate m_date;
    QDate m_calendarStart;
};

} // namespace kalvora
