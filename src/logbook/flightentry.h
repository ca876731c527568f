#pragma once

#include <optional>

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace kalvora {

class Flight;
class ObjectContext;

/**
 * A flight entered by hand: every value empty but @p glider and @p harness
 * (the last used ones; empty leaves them absent), validIGC false, distances -1
 * (nothing to score, and no computation is queued), take-off and landing at
 * @p now. Inserted into @p logbook, not saved. GUI thread of the context.
 */
Flight* addFlightManually(ObjectContext& logbook, const QString& glider, const QString& harness,
                          const QDateTime& now = QDateTime::currentDateTimeUtc());

/**
 * The equipment stored under the preference @p key ("LastUsedGlider",
 * "LastUsedHarness") as a new flight names it: "Model, Manufacturer"; empty
 * when there is none or it is gone. Thread of @p global.
 */
[[nodiscard]] QString lastUsedEquipmentText(ObjectContext* global, const QString& key);

/** How a flight names equipment chosen for it: "Model (Manufacturer)", or the model alone. */
[[nodiscard]] QString equipmentChoiceText(const QString& model, const QString& manufacturer);

/** A flight's place name from a waypoint: "Name, Country"; either alone when the other is empty. */
[[nodiscard]] QString placeName(const QString& name, const QString& country);

/** Where a waypoint chosen as a flight's place is: coordinates as the waypoint and the import store them. */
struct ChosenPlace
{
    QString location;
    qint64 latitudeMicro = 0;  ///< [1e-6 deg]
    qint64 longitudeMicro = 0; ///< [1e-6 deg]
    double altitude = 0;       ///< [m]
};

/**
 * Gives every flight @p place as its take-off (or landing) place: the name,
 * the waypoint coordinates in millionths of a degree, and the waypoint's
 * altitude as the take-off (landing) altitude. One undo step.
 */
void setFlightsPlace(ObjectContext* context, const QList<Flight*>& flights, bool takeOff, const ChosenPlace& place);

/** The flight attributes that are edited by hand, in the order `flight edit` lists them. */
[[nodiscard]] QStringList editableFlightKeys();

/**
 * Reads @p text as the value of @p key the way a pilot writes it: instants in
 * ISO 8601 (UTC unless an offset is given; local times as wall-clock time),
 * the UTC offset in hours ("5.75" or "+5:45"), altitudes in metres, the glider
 * type as its list position, validIGC only "false". An empty text clears the
 * value. @return the value, or nullopt and @p error set.
 */
[[nodiscard]] std::optional<QVariant> parseFlightValue(const QString& key, const QString& text, QString* error);

/**
 * Sets @p key to @p value on every flight, as one undo step; flights that
 * already hold it are not touched. Local times apply through each flight's
 * own UTC offset. @return false (nothing changed) for a key that is not
 * editable or a value it does not take (an offset outside the table, a glider
 * type outside the list, validIGC set to true).
 */
bool setFlightsValue(ObjectContext* context, const QList<Flight*>& flights, const QString& key, const QVariant& value);

} // namespace kalvora
