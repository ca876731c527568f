#pragma once

#include <functional>
#include <memory>

#include <QString>

class QWidget;

namespace kalvora {

/**
 * The device window's questions and alerts behind a seam: production shows
 * window-modal boxes and answers later; tests answer at once. GUI thread.
 */
class DeviceInteraction
{
public:
    virtual ~DeviceInteraction() = default;
    /** A warning titled "Warning" with "Cancel" (default) and "Ok"; true for "Ok". */
    virtual void askWarning(QWidget* window, const QString& message, std::function<void(bool ok)> reply) = 0;
    /**
     * The folder chooser "Choose SkyTraxx directory..." (prompt "Choose") starting
     * at VOLUME, the instrument volume the scan found; true when the user takes it.
     */
    virtual void confirmVolume(QWidget* window, const QString& volume, std::function<void(bool ok)> reply) = 0;
    /** An alert with "Ok"; not waited for. */
    virtual void showAlert(QWidget* window, const QString& message, const QString& informative) = 0;
};

/** The interaction through window-modal message boxes. */
[[nodiscard]] std::shared_ptr<DeviceInteraction> makeDeviceSheetInteraction();

} // namespace kalvora
