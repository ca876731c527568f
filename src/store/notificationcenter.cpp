#include "store/notificationcenter.h"

#include <QCoreApplication>

namespace kalvora {

NotificationCenter::NotificationCenter()
{
    // Emitting from a worker thread must queue to receivers on the GUI thread;
    // that only works when the centre itself is not bound to the worker.
    if (QCoreApplication::instance())
        moveToThread(QCoreApplication::instance()->thread());
}

NotificationCenter& NotificationCenter::instance()
{
    static NotificationCenter* center = new NotificationCenter; // lives as long as the process
    return *center;
}

void NotificationCenter::post(const QString& name, QObject* object, const QVariantMap& userInfo)
{
    emit notified(name, object, userInfo);
}

} // namespace kalvora
