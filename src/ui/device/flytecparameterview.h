#pragma once

#include <QList>

#include "ui/device/devicesettingsview.h"

class QCheckBox;
class QSpinBox;

namespace kalvora {

class Flytec;
struct FlytecParameters;

/**
 * The parameters of a Flytec instrument of the command protocol: the three
 * texts, the unit and option bits, and the numbers. Each control carries the
 * parameter's name as its objectName and its tag in the property "tag": the
 * address, or 100 + the address for a choice list. Every change is written
 * on the view's worker, sliders once their move has ended; a write the
 * instrument refuses is alerted and the parameters are read again. GUI thread.
 */
class FlytecParameterView final : public DeviceSettingsView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FlytecParameterView)

public:
    FlytecParameterView(Flytec& device, QWidget* parent);

    void showDeviceSettings() override;

private:
    void build();
    void showParameters(const FlytecParameters& parameters);
    /** Runs WRITE on the worker; on false alerts with WHAT and reads the parameters again. */
    void write(const QString& what, std::function<bool(Flytec&)> write);

    Flytec& m_driver;
    QList<QPair<int, QLineEdit*>> m_texts;
    QList<QPair<int, QComboBox*>> m_bitChoices;    ///< index into the bit table
    QList<QPair<int, QCheckBox*>> m_bitFlags;      ///< index into the bit table
    QList<QPair<int, QComboBox*>> m_numberChoices; ///< address
    QList<QPair<int, QSlider*>> m_numberSliders;   ///< address
    QList<QPair<int, QSpinBox*>> m_numberFields;   ///< address
};

} // namespace kalvora
