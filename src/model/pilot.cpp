#include "model/pilot.h"

namespace kalvora {

namespace {
const bool g_registered = registerRecordClass<Pilot>();
}

QString Pilot::mergedName() const
{
    const QString first = firstname();
    const QString last = lastname();
    if (!first.isEmpty() && !last.isEmpty())
        return first + QLatin1Char(' ') + last;
    return first + last;
}

QVariant Pilot::derivedValue(const QString& key) const
{
    if (key == QLatin1String("mergedName"))
        return mergedName();
    return StoredObject::derivedValue(key);
}

QStringList Pilot::derivedKeysAffectedBy(const QString& key) const
{
    if (key == QLatin1String("firstname") || key == QLatin1String("lastname"))
        return {QStringLiteral("mergedName")};
    return {};
}

} // namespace kalvora
