#pragma once

#include <QObject>
#include <QStringList>

#include <functional>

class QTimer;

namespace kalvora {

/**
 * Notices instruments being plugged in or mounted by polling: the serial
 * adapters' entries in the tty class folder, the extra ports the scan tries,
 * and the instrument volumes under the mount roots. A poll lists folders only
 * (no device is opened), so it runs on the GUI thread. GUI thread.
 */
class DeviceWatcher final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeviceWatcher)

public:
    /** What one poll sees: a sorted list of names, compared with the previous poll's. */
    using Snapshot = std::function<QStringList()>;

    /** Polls SNAPSHOT every INTERVALMS [ms] once started. */
    explicit DeviceWatcher(Snapshot snapshot, int intervalMs = 1000, QObject* parent = nullptr);
    ~DeviceWatcher() override;

    /**
     * The production snapshot: "ttyUSB*"/"ttyACM*" entries of TTYCLASSFOLDER, the
     * existing paths of KALVORA_SERIAL_PORTS, and the instrument volume found
     * under the mount roots.
     */
    [[nodiscard]] static Snapshot systemSnapshot(const QString& ttyClassFolder = QStringLiteral("/sys/class/tty"));

    void start();
    void stop();
    /** One poll now; emits appeared() when something new is there. */
    void poll();

signals:
    /** Something was plugged in or mounted since the last poll. */
    void appeared();
    /** Something went away since the last poll. */
    void disappeared();

private:
    Snapshot m_snapshot;
    QStringList m_last;
    QTimer* m_timer = nullptr;
};

} // namespace kalvora
