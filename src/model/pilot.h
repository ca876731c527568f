#pragma once

#include <QByteArray>
#include <QDateTime>

#include "model/recordmacros.h"
#include "store/storedobject.h"

namespace kalvora {

/** The pilot of a logbook (exactly one per logbook). */
class Pilot final : public StoredObject
{
    Q_OBJECT

public:
    static constexpr const char* EntityName = "Pilot";
    Pilot() = default;

    KALVORA_STRING_ATTRIBUTE(firstname, Firstname)
    KALVORA_STRING_ATTRIBUTE(lastname, Lastname)
    KALVORA_STRING_ATTRIBUTE(address, Address)
    KALVORA_STRING_ATTRIBUTE(address2, Address2)
    KALVORA_STRING_ATTRIBUTE(zip, Zip)
    KALVORA_STRING_ATTRIBUTE(city, City)
    KALVORA_STRING_ATTRIBUTE(country, Country)
    KALVORA_STRING_ATTRIBUTE(license, License)
    KALVORA_DATE_ATTRIBUTE(birth, Birth)
    KALVORA_DATE_ATTRIBUTE(licensedate, Licensedate)
    KALVORA_DATA_ATTRIBUTE(photo, Photo) ///< JPEG data

    /** firstname, " " when both names are present, lastname. */
    QString mergedName() const;

protected:
    QVariant derivedValue(const QString& key) const override;
    QStringList derivedKeysAffectedBy(const QString& key) const override;
};

} // namespace kalvora
