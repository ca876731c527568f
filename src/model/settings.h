#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

#include "model/recordmacros.h"
#include "store/storedobject.h"

namespace kalvora {

/** The unit and scoring choices of the settings record, as a value other threads may read. */
struct UnitSettings
{
    int altitudeUnitIndex = 0; ///< 0 m, 1 ft
    int speedUnitIndex = 0;    ///< 0 km/h, 1 mph, 2 kn
    int varioUnitIndex = 0;    ///< 0 m/s, 1 fpm (-1: not chosen yet)
    int distanceUnitIndex = 0; ///< 0 km, 1 mil
    int xcPointsType = 0;      ///< 0 or non-zero, see xcPoints()
    bool operator==(const UnitSettings&) const = default;
};

/**
 * The single settings record of the global store: display units, the XC points
 * system and the print template choice. A change of `xcPointsType` of the current
 * record posts "KalvoraSettingsXCPointsTypeChanged"; unit changes post nothing
 * (views show the new unit when they next draw).
 */
class Settings final : public StoredObject
{
    Q_OBJECT

public:
    static constexpr const char* EntityName = "Settings";
    Settings() = default;

    KALVORA_INTEGER_ATTRIBUTE(altitudeUnitIndex, AltitudeUnitIndex)
    KALVORA_STRING_ATTRIBUTE(altitudeUnitString, AltitudeUnitString)
    KALVORA_INTEGER_ATTRIBUTE(speedUnitIndex, SpeedUnitIndex)
    KALVORA_STRING_ATTRIBUTE(speedUnitString, SpeedUnitString)
    KALVORA_INTEGER_ATTRIBUTE(varioUnitIndex, VarioUnitIndex)
    KALVORA_STRING_ATTRIBUTE(varioUnitString, VarioUnitString)
    KALVORA_INTEGER_ATTRIBUTE(distanceUnitIndex, DistanceUnitIndex)
    KALVORA_STRING_ATTRIBUTE(distanceUnitString, DistanceUnitString)
    KALVORA_INTEGER_ATTRIBUTE(xcPointsType, XcPointsType)
    KALVORA_BOOL_ATTRIBUTE(printTemplateUserDefined, PrintTemplateUserDefined)
    KALVORA_DATA_ATTRIBUTE(printTemplateBookmark, PrintTemplateBookmark)

    /** The unit texts of each list entry ("m"/"ft", "km/h"/"mph"/"kn", "m/s"/"fpm", "km"/"mil"); empty outside. */
    static QString altitudeUnitText(int index);
    static QString speedUnitText(int index);
    static QString varioUnitText(int index);
    static QString distanceUnitText(int index);

    /** Stores the index and its text; an index without text stores no text. */
    void chooseAltitudeUnit(int index);
    void chooseSpeedUnit(int index);
    void chooseVarioUnit(int index);
    void chooseDistanceUnit(int index);

    UnitSettings unitSettings() const;

    /**
     * Makes `settings` the record whose units every formatter and derived value uses
     * (nullptr: none). GUI thread. Its later changes are published as they happen.
     */
    static void setCurrent(Settings* settings);
    /** The current record's units; nullopt when there is none. Any thread. */
    static std::optional<UnitSettings> current();
    /** Publishes units without a record (tools and tests). Any thread. */
    static void setCurrentUnits(std::optional<UnitSettings> units);

protected:
    void awakeFromInsert() override;
    void didChangeValue(const QString& key, const QVariant& oldValue, const QVariant& newValue) override;
};

} // namespace kalvora
