#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>

namespace kalvora {

/**
 * The process-wide broadcast channel between windows and records
 * ("KalvoraFlightChanged", "KalvoraSettingsUnitTypeChanged", ...).
 *
 * post() may be called from any thread. Receivers connect to notified(); a
 * receiver living on another thread than the poster gets the notice queued on
 * its own thread (Qt's automatic connection), so `object` may already be gone
 * by then when its owner deletes it in between: treat it as an identity only.
 */
class NotificationCenter final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NotificationCenter)

public:
    /** The single instance; created on first use and kept until the process ends. */
    static NotificationCenter& instance();

    /** Broadcasts `name` with an optional sender `object` and `userInfo`. Any thread. */
    void post(const QString& name, QObject* object = nullptr, const QVariantMap& userInfo = {});

signals:
    void notified(const QString& name, QObject* object, const QVariantMap& userInfo);

private:
    NotificationCenter();
};

/** Notification names, exactly as other parts of the system expect them. */
namespace notifications {
inline constexpr const char* FlightChanged = "KalvoraFlightChanged";
inline constexpr const char* SettingsUnitTypeChanged = "KalvoraSettingsUnitTypeChanged";
inline constexpr const char* SettingsXCPointsTypeChanged = "KalvoraSettingsXCPointsTypeChanged";
inline constexpr const char* DocCountChanged = "KalvoraDocCountChanged";
inline constexpr const char* FlightControllersDidChange = "KalvoraFlightControllersDidChange";
inline constexpr const char* CalcXCDataFinished = "KalvoraCalcXCDataFinished";
inline constexpr const char* WaypointChanged = "KalvoraWaypointChanged";
inline constexpr const char* WaypointControllerDidChange = "KalvoraWaypointControllerDidChange";
inline constexpr const char* RouteWaypointChange = "KalvoraRouteWaypointChange";
inline constexpr const char* DeviceChanged = "KalvoraDeviceChanged";
} // namespace notifications

} // namespace kalvora
