#include "model/equipment.h"

#include <cmath>

namespace kalvora {

namespace {
const bool g_registered = registerRecordClass<Equipment>();
}

QDateTime Equipment::dateFromSeconds(double secondsSince1970)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(secondsSince1970 * 1000.0)), Qt::UTC);
}

double Equipment::secondsFromDate(const QDateTime& date)
{
    return date.isValid() ? double(date.toMSecsSinceEpoch()) / 1000.0 : 0.0;
}

QDateTime Equipment::sortDate() const
{
    return dateFromSeconds(boughtDate());
}

QString Equipment::displayName() const
{
    QString name = model();
    if (!manufacturer().isEmpty())
        name += QStringLiteral(", ") + manufacturer();
    return name;
}

void Equipment::awakeFromInsert()
{
    // Bought today; not sold, which an absent sale date says (a new glider sold the
    // day it was bought would read as gone).
    setBoughtDate(secondsFromDate(QDateTime::currentDateTimeUtc()));
}

QVariant Equipment::derivedValue(const QString& key) const
{
    if (key == QLatin1String("sortDate"))
        return sortDate();
    return StoredObject::derivedValue(key);
}

QStringList Equipment::derivedKeysAffectedBy(const QString& key) const
{
    if (key == QLatin1String("boughtDate"))
        return {QStringLiteral("sortDate")};
    return {};
}

} // namespace kalvora
