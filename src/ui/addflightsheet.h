#pragma once

#include <QDialog>

namespace kalvora {

/**
 * The add-flight sheet "AddFlightSheet": how a new flight comes in, from IGC
 * files or by hand, shown window-modal over the logbook window. Reading an
 * instrument is offered once the device window exists. GUI thread.
 */
class AddFlightSheet final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AddFlightSheet)

public:
    explicit AddFlightSheet(QWidget* parent);
    ~AddFlightSheet() override;

signals:
    void addFlightIGC();
    void addFlightManually();
};

} // namespace kalvora
