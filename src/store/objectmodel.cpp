#include "store/objectmodel.h"

namespace kalvora {

size_t EntityDescription::slotHash(const QString& key)
{
    // Attribute names are short and differ in length and letters; a plain
    // multiplicative hash over them is much cheaper than QHash's seeded one.
    size_t h = size_t(key.size());
    for (const QChar c : key)
        h = h * 31 + c.unicode();
    return h;
}

void EntityDescription::indexNames()
{
    size_t size = 8;
    while (size < size_t(attributes.size()) * 4)
        size *= 2;
    m_slots.assign(size, 0);
    // From here on lookups go through the table as it fills, so that a name
    // already entered is found and a later equal one left out.
    m_indexedCount = attributes.size();
    for (qsizetype i = 0; i < attributes.size(); ++i) {
        if (attributeIndex(attributes[i].name) >= 0)
            continue; // the first of equal names wins, as in a search from the front
        size_t slot = slotHash(attributes[i].name) & (size - 1);
        while (m_slots[slot] != 0)
            slot = (slot + 1) & (size - 1);
        m_slots[slot] = qint32(i + 1);
    }
}

qsizetype EntityDescription::attributeIndex(const QString& key) const
{
    if (m_indexedCount == attributes.size() && !m_slots.empty()) {
        const size_t mask = m_slots.size() - 1;
        for (size_t slot = slotHash(key) & mask; m_slots[slot] != 0; slot = (slot + 1) & mask) {
            const qsizetype i = m_slots[slot] - 1;
            if (i < attributes.size() && attributes[i].name == key)
                return i;
        }
        return -1;
    }
    for (qsizetype i = 0; i < attributes.size(); ++i)
        if (attributes[i].name == key)
            return i;
    return -1;
}

const AttributeDescription* EntityDescription::attribute(const QString& key) const
{
    const qsizetype i = attributeIndex(key);
    return i < 0 ? nullptr : &attributes[i];
}

const RelationshipDescription* EntityDescription::relationship(const QString& key) const
{
    for (const auto& r : relationships)
        if (r.name == key)
            return &r;
    return nullptr;
}

const EntityDescription* ObjectModel::entity(const QString& entityName) const
{
    for (const auto& e : entities)
        if (e.name == entityName)
            return &e;
    return nullptr;
}

namespace {

AttributeDescription text(const char* name, bool lazy = false)
{
    return {QString::fromLatin1(name), AttributeType::String, lazy};
}
AttributeDescription number(const char* name)
{
    return {QString::fromLatin1(name), AttributeType::Double, false};
}
AttributeDescription integer(const char* name)
{
    return {QString::fromLatin1(name), AttributeType::Integer, false};
}
AttributeDescription boolean(const char* name)
{
    return {QString::fromLatin1(name), AttributeType::Boolean, false};
}
AttributeDescription date(const char* name)
{
    return {QString::fromLatin1(name), AttributeType::Date, false};
}
AttributeDescription binary(const char* name)
{
    return {QString::fromLatin1(name), AttributeType::Binary, true};
}

RelationshipDescription toMany(const char* name, const char* destination, const char* inverse, DeleteRule rule)
{
    return {QString::fromLatin1(name), QString::fromLatin1(destination), QString::fromLatin1(inverse), true, rule,
            false};
}
RelationshipDescription toOne(const char* name, const char* destination, const char* inverse, bool holdsKey)
{
    return {QString::fromLatin1(name), QString::fromLatin1(destination), QString::fromLatin1(inverse), false,
            DeleteRule::Nullify, holdsKey};
}

ObjectModel makeLogBookModel()
{
    ObjectModel m;
    m.name = QStringLiteral("LogBookModel");
    m.version = 1;

    EntityDescription flight;
    flight.name = QStringLiteral("Flight");
    flight.attributes = {
        number("cummoAltitude"),
        text("glider"),
        text("harness"),
        text("igcData", true),
        number("landingAltitude"),
        text("landingLocation"),
        date("landingUTC"),
        number("maxAltitude"),
        number("minAltitude"),
        number("maxSpeed"),
        number("minSpeed"),
        number("maxVario"),
        number("minVario"),
        text("notice"),
        text("photoDirectory"),
        number("startAltitude"),
        text("startLocation"),
        date("startUTC"),
        number("utcOffset"),
        boolean("validIGC"),
        number("startLatitude"),
        number("startLongitude"),
        number("landingLatitude"),
        number("landingLongitude"),
        number("startWaypointLatitude"),
        number("startWaypointLongitude"),
        number("landingWaypointLatitude"),
        number("landingWaypointLongitude"),
        integer("glidertype"),
        number("freeDistance"),
        number("flatDistance"),
        number("faiDistance"),
        // SHA-256 of the recording's bytes: the same file under another name is not imported twice.
        text("contentHash"),
    };
    // The system always deletes a flight's score points itself before writing new
    // ones; cascading keeps orphans out of the file when a flight goes.
    flight.relationships = {toMany("igcScorePoints", "IGCScorePoint", "flight", DeleteRule::Cascade)};
    // A flight's submissions to the online contests go with it.
    flight.relationships.append(toMany("contestSubmissions", "ContestSubmission", "flight", DeleteRule::Cascade));

    EntityDescription point;
    point.name = QStringLiteral("IGCScorePoint");
    point.attributes = {number("altitude"), number("latitude"), number("longitude"), integer("index"),
                        number("timeStamp")};
    point.relationships = {toOne("flight", "Flight", "igcScorePoints", true)};

    EntityDescription pilot;
    pilot.name = QStringLiteral("Pilot");
    pilot.attributes = {text("firstname"), text("lastname"), text("address"),     text("address2"),
                        text("zip"),       text("city"),     text("country"),     text("license"),
                        date("birth"),     date("licensedate"), binary("photo")};

    EntityDescription submission;
    submission.name = QStringLiteral("ContestSubmission");
    submission.attributes = {text("contest"), date("submittedUTC"), text("answer"), text("link")};
    submission.relationships = {toOne("flight", "Flight", "contestSubmissions", true)};

    m.entities = {flight, point, pilot, submission};
    for (EntityDescription& e : m.entities)
        e.indexNames();
    return m;
}

ObjectModel makeGlobalModel()
{
    ObjectModel m;
    m.name = QStringLiteral("Kalvora");
    m.version = 1;

    EntityDescription equipment;
    equipment.name = QStringLiteral("Equipment");
    equipment.attributes = {
        number("boughtDate"), number("manufacturedDate"), number("nextCheckDate"), number("soldDate"),
        number("boughtPrice"), number("soldPrice"), text("classification"), text("colors"),
        binary("image"), text("manufacturer"), text("model"), text("notice"),
        text("serialNumber"), text("size"), text("type"),
    };

    EntityDescription settings;
    settings.name = QStringLiteral("Settings");
    settings.attributes = {
        integer("altitudeUnitIndex"), text("altitudeUnitString"), integer("speedUnitIndex"),
        text("speedUnitString"),      integer("varioUnitIndex"),  text("varioUnitString"),
        integer("distanceUnitIndex"), text("distanceUnitString"), integer("xcPointsType"),
        boolean("printTemplateUserDefined"), binary("printTemplateBookmark"),
    };

    EntityDescription waypoint;
    waypoint.name = QStringLiteral("Waypoint");
    waypoint.attributes = {
        integer("dbID"),      text("name"),         text("shortName"),     integer("altitude"),
        integer("latitude"),  integer("longitude"), integer("latitudeRange"), integer("longitudeRange"),
        integer("radius"),    integer("windFrom"),  integer("windTo"),     text("street"),
        text("house"),        text("city"),         text("county"),        text("state"),
        text("country"),      text("group"),        text("notice"),        number("lastModified"),
        integer("syncOnline"), integer("syncStatus"), text("macaddress"),  number("inGPSList"),
    };
    waypoint.relationships = {toOne("routeWaypoint", "RouteWaypoint", "waypoint", false)};
    // The duplicate check of a waypoint import looks up what lies near each new one.
    waypoint.indexes = {{QStringLiteral("latitude"), QStringLiteral("longitude")}};

    EntityDescription route;
    route.name = QStringLiteral("Route");
    route.attributes = {text("name"), integer("routeType"), number("distance")};
    for (int k = 1; k <= 5; ++k) {
        route.attributes.append({QStringLiteral("scorePoint%1Latitude").arg(k), AttributeType::Double, false});
        route.attributes.append({QStringLiteral("scorePoint%1Longitude").arg(k), AttributeType::Double, false});
    }
    route.relationships = {toMany("waypoints", "RouteWaypoint", "route", DeleteRule::Cascade)};

    EntityDescription routeWaypoint;
    routeWaypoint.name = QStringLiteral("RouteWaypoint");
    routeWaypoint.attributes = {text("name"),     number("latitude"), number("longitude"), number("altitude"),
                                number("radius"), text("notice"),     integer("index")};
    routeWaypoint.relationships = {toOne("route", "Route", "waypoints", true),
                                   toOne("waypoint", "Waypoint", "routeWaypoint", true)};

    // What the reverse geocoder answered for a place, reused for any later point close by.
    EntityDescription placeAnswer;
    placeAnswer.name = QStringLiteral("PlaceAnswer");
    placeAnswer.attributes = {integer("latitude"), integer("longitude"), text("city"),  text("county"),
                              text("state"),       text("country"),    text("countryCode"), date("askedAt")};

    m.entities = {equipment, settings, waypoint, route, routeWaypoint, placeAnswer};
    for (EntityDescription& e : m.entities)
        e.indexNames();
    return m;
}

} // namespace

const ObjectModel& ObjectModel::logBook()
{
    static const ObjectModel model = makeLogBookModel();
    return model;
}

const ObjectModel& ObjectModel::global()
{
    static const ObjectModel model = makeGlobalModel();
    return model;
}

} // namespace kalvora
