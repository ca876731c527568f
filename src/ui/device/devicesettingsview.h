#pragma once

#include <QWidget>

namespace kalvora {

class GpsDevice;

/**
 * The settings page of an instrument, hosted by the device window's Settings
 * tab. Filling the controls from the driver never writes back; an edit by the
 * user is written to the instrument off the GUI thread. GUI thread.
 */
class DeviceSettingsView : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeviceSettingsView)

public:
    using QWidget::QWidget;

    /** Fills every control from the settings the driver read last. Writes nothing. */
    virtual void showDeviceSettings() = 0;

signals:
    /** A write the instrument did not take; the view alerts and reads the settings again. */
    void settingsWriteFailed(const QString& message);
    /** The view holds the instrument's values again after a re-read (or failed to read them). */
    void settingsReread(bool success);
};

/**
 * The settings view for DEVICE's instrument, or nullptr when the driver has none.
 * DEVICE must outlive the view. Place it in the Settings tab; after the driver's
 * settingsRead(device, true) call showDeviceSettings(view).
 */
[[nodiscard]] QWidget* createDeviceSettingsView(GpsDevice& device, QWidget* parent);

/** Fills VIEW (made by createDeviceSettingsView) from its driver; nothing for another widget. */
void showDeviceSettings(QWidget* view);

} // namespace kalvora
