#include "ui/device/devicewatcher.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>

#include "instruments/skytraxx/skytraxx.h"

namespace kalvora {

DeviceWatcher::DeviceWatcher(Snapshot snapshot, int intervalMs, QObject* parent)
    : QObject(parent), m_snapshot(std::move(snapshot))
{
    m_timer = new QTimer(this);
    m_timer->setInterval(intervalMs);
    connect(m_timer, &QTimer::timeout, this, &DeviceWatcher::poll);
}

DeviceWatcher::~DeviceWatcher() = default;

DeviceWatcher::Snapshot DeviceWatcher::systemSnapshot(const QString& ttyClassFolder)
{
    return [ttyClassFolder] {
        QStringList seen = QDir(ttyClassFolder)
                               .entryList({QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*")},
                                          QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        const QString extra = qEnvironmentVariable("KALVORA_SERIAL_PORTS");
        for (const QString& path : extra.split(QLatin1Char(':'), Qt::SkipEmptyParts))
            if (QFileInfo::exists(path))
                seen << path;
        if (const auto volume = Skytraxx::findVolume(Skytraxx::mountRoots()))
            seen << QString::fromStdString(volume->string());
        seen.sort();
        return seen;
    };
}

void DeviceWatcher::start()
{
    m_last = m_snapshot();
    m_timer->start();
}

void DeviceWatcher::stop()
{
    m_timer->stop();
}

void DeviceWatcher::poll()
{
    QStringList now = m_snapshot();
    const bool added = std::any_of(now.cbegin(), now.cend(), [this](const QString& s) { return !m_last.contains(s); });
    const bool removed =
        std::any_of(m_last.cbegin(), m_last.cend(), [&now](const QString& s) { return !now.contains(s); });
    m_last = std::move(now);
    if (removed)
        emit disappeared();
    if (added)
        emit appeared();
}

} // namespace kalvora
