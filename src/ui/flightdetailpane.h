#pragma once

#include <memory>

#include <QGroupBox>
#include <QList>
#include <QPointer>
#include <QSet>

#include "model/flight.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace kalvora {

class ObjectContext;
class WindowInteraction;

/**
 * The logbook window's view of the selected flights: date, local and UTC times,
 * UTC offset, places, glider, harness, glider type, IGC validity, take-off and
 * landing altitudes in the user's units, and the notice. With several flights
 * selected each field shows their common value or "Multiple values"; a value
 * the user enters goes to every selected flight as one undo step. Nothing
 * selected leaves every field empty and disabled. GUI thread.
 */
class FlightDetailPane final : public QGroupBox
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FlightDetailPane)

public:
    FlightDetailPane(ObjectContext* context, std::shared_ptr<WindowInteraction> interaction, QWidget* parent);
    ~FlightDetailPane() override;

    /** Shows @p flights (any pending edit goes to the flights shown before). */
    void setFlights(const QList<Flight*>& flights);
    [[nodiscard]] QList<Flight*> flights() const;
    /** Shows the flights' current values again, e.g. after they changed. */
    void refresh();
    /** Shows the "Choose…" buttons of places, glider and harness (there is a store to choose from). */
    void setChoosersAvailable(bool available);
    /** Fills the offset list (40 entries, "0" selected). */
    void fillUtcOffsets();
    /** Puts the keyboard focus on the first field. */
    void focusFirstField();
    /** Writes a pending edit of the field that has the focus. */
    void commitPendingEdits();

    [[nodiscard]] QComboBox* utcOffsetList() const { return m_utcOffset; }
    void setInteraction(std::shared_ptr<WindowInteraction> interaction) { m_interaction = std::move(interaction); }
    /** Shown while several flights differ in a field. */
    [[nodiscard]] static QString multipleValuesText();

signals:
    /** The glider type of @p flights changed: their scores are to be computed again. */
    void gliderTypeChanged(const QList<kalvora::Flight*>& flights);
    void chooseGliderRequested();
    void chooseHarnessRequested();
    void chooseStartPlaceRequested();
    void chooseLandingPlaceRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applyTime(QDateTimeEdit* editor);
    void applyText(QLineEdit* editor);
    void applyNotice();
    void offsetChosen(int row);
    void gliderTypeChosen(int row);
    void validityClicked();
    void showTime(QDateTimeEdit* editor, const char* key, bool dateOnly);
    void showText(QLineEdit* editor, const char* key);
    QList<Flight*> liveFlights() const;

    QPointer<ObjectContext> m_context;
    std::shared_ptr<WindowInteraction> m_interaction;
    QList<QPointer<Flight>> m_flights;
    QDateTimeEdit* m_date = nullptr;
    QDateTimeEdit* m_startLocal = nullptr;
    QDateTimeEdit* m_landingLocal = nullptr;
    QDateTimeEdit* m_startUTC = nullptr;
    QDateTimeEdit* m_landingUTC = nullptr;
    QComboBox* m_utcOffset = nullptr;
    QLineEdit* m_startLocation = nullptr;
    QLineEdit* m_landingLocation = nullptr;
    QLineEdit* m_startAltitude = nullptr;
    QLineEdit* m_landingAltitude = nullptr;
    QLineEdit* m_glider = nullptr;
    QLineEdit* m_harness = nullptr;
    QComboBox* m_gliderType = nullptr;
    QCheckBox* m_validIGC = nullptr;
    QPlainTextEdit* m_notice = nullptr;
    QLabel* m_summary = nullptr;
    QLabel* m_contests = nullptr; ///< where the one shown flight was submitted
    QList<QPushButton*> m_chooseButtons;
    QSet<QObject*> m_edited; ///< editors the user changed since the flights were shown
    bool m_showing = false;
};

} // namespace kalvora
