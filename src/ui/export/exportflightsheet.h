#pragma once

#include <QDialog>

class QPushButton;

namespace kalvora {

/**
 * The export sheet "ExportFlightSheet": the ways the selected flights can leave
 * the logbook. Each button carries its tag (1: IGC files, 2: DHV-XC,
 * 3: XContest; the contests take exactly one flight); the sheet closes on
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
    [[nodiscard]] QPushButton* dhvxcButton() const { return m_dhvxc; }
    [[nodiscard]] QPushButton* xcontestButton() const { return m_xcontest; }

signals:
    void igcChosen();
    void dhvxcChosen();
    void xcontestChosen();

private:
    QPushButton* m_igc = nullptr;
    QPushButton* m_dhvxc = nullptr;
    QPushButton* m_xcontest = nullptr;
};

} // namespace kalvora
