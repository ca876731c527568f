#pragma once

#include <QString>

namespace kalvora {

/**
 * One waypoint as received from the online waypoint database: every field is
 * the element's text, numbers as decimal text in the units of the stored
 * waypoint (microdegrees, metres, seconds since 1970). A null field was not
 * received.
 */
struct WaypointData
{
    QString dbID;
    QString altitude;
    QString city;
    QString country;
    QString county;
    QString group;
    QString house;
    QString lastModified;
    QString latitude;
    QString latitudeRange;
    QString longitude;
    QString longitudeRange;
    QString name;
    QString notice;
    QString shortName;
    QString state;
    QString street;
    QString windFrom;
    QString windTo;
    QString macaddress;
    QString radius;

    /**
     * Sets the field named FIELD (as the XML element is named) to VALUE.
     * Returns false, changing nothing, when no field has that name.
     */
    bool setField(const QString& field, const QString& value);

    bool operator==(const WaypointData&) const = default;
};

} // namespace kalvora
