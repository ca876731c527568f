#pragma once

#include <QByteArray>
#include <QDateTime>

#include "model/recordmacros.h"
#include "store/storedobject.h"

namespace kalvora {

/** A glider or harness of the global store. Dates are seconds since 1970-01-01 00:00 UTC. */
class Equipment final : public StoredObject
{
    Q_OBJECT

public:
    static constexpr const char* EntityName = "Equipment";
    Equipment() = default;

    KALVORA_DOUBLE_ATTRIBUTE(boughtDate, BoughtDate)
    KALVORA_DOUBLE_ATTRIBUTE(manufacturedDate, ManufacturedDate)
    KALVORA_DOUBLE_ATTRIBUTE(nextCheckDate, NextCheckDate)
    KALVORA_DOUBLE_ATTRIBUTE(soldDate, SoldDate)
    KALVORA_DOUBLE_ATTRIBUTE(boughtPrice, BoughtPrice)
    KALVORA_DOUBLE_ATTRIBUTE(soldPrice, SoldPrice)
    KALVORA_STRING_ATTRIBUTE(classification, Classification)
    KALVORA_STRING_ATTRIBUTE(colors, Colors)
    KALVORA_DATA_ATTRIBUTE(image, Image) ///< JPEG data; absent shows a placeholder
    KALVORA_STRING_ATTRIBUTE(manufacturer, Manufacturer)
    KALVORA_STRING_ATTRIBUTE(model, Model)
    KALVORA_STRING_ATTRIBUTE(notice, Notice)
    KALVORA_STRING_ATTRIBUTE(serialNumber, SerialNumber)
    KALVORA_STRING_ATTRIBUTE(size, Size)
    KALVORA_STRING_ATTRIBUTE(type, Type)

    /** boughtDate as an instant; the equipment list sorts by it, newest first. */
    QDateTime sortDate() const;
    /** The model name, then ", " and the manufacturer when that is set (how a flight names it). */
    QString displayName() const;

    static QDateTime dateFromSeconds(double secondsSince1970);
    static double secondsFromDate(const QDateTime& date);

protected:
    void awakeFromInsert() override;
    QVariant derivedValue(const QString& key) const override;
    QStringList derivedKeysAffectedBy(const QString& key) const override;
};

} // namespace kalvora
