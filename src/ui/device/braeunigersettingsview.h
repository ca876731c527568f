#pragma once

#include <QList>

#include "ui/device/devicesettingsview.h"

class QCheckBox;

namespace kalvora {

class Braeuniger;
class BraeunigerMemory;

/**
 * The settings of a "$PBR" instrument in the layout of its model: Competino,
 * Compeo, Competino+ or Compeo+ (the driver's device type). Each control edits
 * one setting of the memory image and carries the setting's name as its
 * objectName; sliders carry their memory address in the property "address".
 * A choice or text is written when made, a slider once its move has ended.
 * The user-page items follow the page chosen (disabled for a page the
 * instrument has none of) and the polar values are editable only while the
 * second polar is in use. GUI thread.
 */
class BraeunigerSettingsView final : public DeviceSettingsView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BraeunigerSettingsView)

public:
    BraeunigerSettingsView(Braeuniger& device, QWidget* parent);

    void showDeviceSettings() override;

    /** "CompetinoView", "CompeoView", "CompetinoPlusView" or "CompeoPlusView". */
    [[nodiscard]] QString layoutName() const { return objectName(); }

private:
    void build();
    void showMemory(const BraeunigerMemory& memory);
    void writeValue(const QString& name, double value);
    void writeText(const QString& name, const QString& text);
    /** Shows the image again after a write that moves other controls (page, polar, tones). */
    void refreshAfter(const QString& name);

    Braeuniger& m_driver;
    QList<QPair<QString, QLineEdit*>> m_texts;
    QList<QPair<QString, QComboBox*>> m_choices;
    QList<QPair<QString, QSlider*>> m_sliders;
    QList<QPair<QString, QCheckBox*>> m_flags;
    QList<QPair<QString, QLabel*>> m_readouts;
};

} // namespace kalvora
