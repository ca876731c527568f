#include "ui/device/devicesettingsview.h"

#include "instruments/gpsdevice.h"

namespace kalvora {

QWidget* createDeviceSettingsView(GpsDevice& device, QWidget* parent)
{
    if (!device.has(DeviceOperation::GetSettings) || !device.has(DeviceOperation::SettingsController))
        return nullptr;
    (void)parent;
    return nullptr;
}

void showDeviceSettings(QWidget* view)
{
    if (auto* settings = qobject_cast<DeviceSettingsView*>(view))
        settings->showDeviceSettings();
}

} // namespace kalvora
