#pragma once

#include <QDialog>

class QPushButton;

namespace kalvora {

/**
 * The export sheet "ExportFlightSheet": the ways the selected flights can leave
 * the logbook. Each button carries its tag (1: IGC files); the sheet closes on
 * any of them and reports the choice. GUI thread.
 */
class ExportFlightSheet final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ExportFlightSheet)

public:
    explicit ExportFlightSheet(QWidget* parent);

    /** Shows the sheet window-modal for SELECTEDCOUNT selected flights. */
    void begin(int selectedCount);

    [[nodiscard]] QPushButton* igcButton() const { return m_igc; }

signals:
    void igcChosen();

private:
    QPushButton* m_igc = nullptr;
};

} // namespace kalvora
