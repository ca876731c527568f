#include "model/settings.h"

#include <QMutex>
#include <QMutexLocker>
#include <QPointer>

#include "store/notificationcenter.h"

namespace kalvora {

namespace {

const bool g_registered = registerRecordClass<Settings>();

struct Current
{
    QMutex mutex;
    QPointer<Settings> record;
    std::optional<UnitSettings> units;
};

Current& shared()
{
    static Current c;
    return c;
}

QString textAt(std::initializer_list<const char*> texts, int index)
{
    if (index < 0 || index >= int(texts.size()))
        return {};
    return QString::fromUtf8(*(texts.begin() + index));
}

} // namespace

QString Settings::altitudeUnitText(int index)
{
    return textAt({"m", "ft"}, index);
}

QString Settings::speedUnitText(int index)
{
    return textAt({"km/h", "mph", "kn"}, index);
}

QString Settings::varioUnitText(int index)
{
    return textAt({"m/s", "fpm"}, index);
}

QString Settings::distanceUnitText(int index)
{
    return textAt({"km", "mil"}, index);
}

void Settings::chooseAltitudeUnit(int index)
{
    setAltitudeUnitIndex(index);
    if (const QString t = altitudeUnitText(index); !t.isEmpty())
        setAltitudeUnitString(t);
}

void Settings::chooseSpeedUnit(int index)
{
    setSpeedUnitIndex(index);
    if (const QString t = speedUnitText(index); !t.isEmpty())
        setSpeedUnitString(t);
}

void Settings::chooseVarioUnit(int index)
{
    setVarioUnitIndex(index);
    if (const QString t = varioUnitText(index); !t.isEmpty())
        setVarioUnitString(t);
}

void Settings::chooseDistanceUnit(int index)
{
    setDistanceUnitIndex(index);
    if (const QString t = distanceUnitText(index); !t.isEmpty())
        setDistanceUnitString(t);
}

UnitSettings Settings::unitSettings() const
{
    return UnitSettings{int(altitudeUnitIndex()), int(speedUnitIndex()), int(varioUnitIndex()),
                        int(distanceUnitIndex()), int(xcPointsType())};
}

void Settings::awakeFromInsert()
{
    // A new record has no units chosen yet; the first start picks them from the locale.
    setVarioUnitIndex(-1);
}

void Settings::didChangeValue(const QString& key, const QVariant& oldValue, const QVariant& newValue)
{
    StoredObject::didChangeValue(key, oldValue, newValue);
    bool isCurrent = false;
    {
        Current& c = shared();
        QMutexLocker lock(&c.mutex);
        isCurrent = c.record == this;
        if (isCurrent)
            c.units = unitSettings();
    }
    // Lists showing XC points re-announce them on this; a merge only mirrors a change announced where it was made.
    if (isCurrent && key == QLatin1String("xcPointsType") && oldValue != newValue && !isRefreshing())
        NotificationCenter::instance().post(QString::fromLatin1(notifications::SettingsXCPointsTypeChanged));
}

void Settings::setCurrent(Settings* settings)
{
    Current& c = shared();
    QMutexLocker lock(&c.mutex);
    c.record = settings;
    c.units = settings ? std::optional<UnitSettings>(settings->unitSettings()) : std::nullopt;
}

std::optional<UnitSettings> Settings::current()
{
    Current& c = shared();
    QMutexLocker lock(&c.mutex);
    return c.units;
}

void Settings::setCurrentUnits(std::optional<UnitSettings> units)
{
    Current& c = shared();
    QMutexLocker lock(&c.mutex);
    c.record = nullptr;
    c.units = units;
}

} // namespace kalvora
