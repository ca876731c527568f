#pragma once

#include <QDateTime>
#include <QDialog>

#include "logbook/overlapcheck.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace kalvora {

/**
 * The overlap sheet "FlightIntersect": names the file to import and the logbook
 * flight it overlaps, and offers import as well, replace, skip and cancel, with a
 * check box to apply the choice to every further conflict. It reports the pressed
 * button's tag through answered() and closes itself. Main thread.
 */
class FlightIntersectSheet final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FlightIntersectSheet)

public:
    explicit FlightIntersectSheet(QWidget* parent);
    ~FlightIntersectSheet() override;

    /**
     * Shows the sheet window-modal over its parent, "Skip" as the default button.
     * @param fileName the file to import, named in the question
     * @param newStartUTC the file's first fix; @param newDuration its duration text
     * @param oldStartUTC the logbook flight's take-off; @param oldFlightTime its flight time text
     */
    void ask(const QString& fileName, const QDateTime& newStartUTC, const QString& newDuration, const QDateTime& oldStartUTC,
             const QString& oldFlightTime);

    /** The question naming the file. */
    [[nodiscard]] QString questionText() const;
    /** The texts shown for the new file and the old flight. */
    [[nodiscard]] QString newFlightText() const;
    [[nodiscard]] QString oldFlightText() const;

    /** Presses the button carrying @p choice's tag, as a click would. */
    void choose(OverlapChoice choice);
    void setApplyToAll(bool on);

    /** "<date> at <time> UTC, lasting <duration>" of a UTC instant and a duration text. */
    [[nodiscard]] static QString describe(const QDateTime& startUTC, const QString& duration);

signals:
    /** @p tag is the pressed button's tag (0 to 3); @p applyToAll the check box. */
    void answered(int tag, bool applyToAll);

protected:
    void reject() override;

private:
    void press(int tag);

    QLabel* m_intro = nullptr;
    QLabel* m_newFlight = nullptr;
    QLabel* m_oldFlight = nullptr;
    QCheckBox* m_applyToAll = nullptr;
};

} // namespace kalvora
