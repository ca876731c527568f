#include "model/settings.h"

#include <QMutex>
#include <QMutexLocker>
#include <QPointer>

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
    Current& c = shared();
    QMutexLocker lock(&c.mutex);
    if (c.record == this)
        c.units = unitSettings();
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
