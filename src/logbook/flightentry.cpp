#include "logbook/flightentry.h"

#include <QRegularExpression>
#include <QSettings>
#include <QTimeZone>

#include "logbook/undogroup.h"
#include "model/equipment.h"
#include "model/flight.h"
#include "model/utcoffsets.h"
#include "store/objectcontext.h"

namespace kalvora {

namespace {

/** The number of glider types; positions 0 to this - 1 are valid. */
constexpr int kGliderTypeCount = 3;

bool isTimeKey(const QString& key)
{
    return key == QLatin1String("startUTC") || key == QLatin1String("landingUTC")
           || key == QLatin1String("startLocal") || key == QLatin1String("landingLocal");
}

bool isTextKey(const QString& key)
{
    return key == QLatin1String("startLocation") || key == QLatin1String("landingLocation")
           || key == QLatin1String("glider") || key == QLatin1String("harness") || key == QLatin1String("notice");
}

bool isAltitudeKey(const QString& key)
{
    return key == QLatin1String("startAltitude") || key == QLatin1String("landingAltitude");
}

/** "+5:45", "-9:30", "5.75", "0" in hours. */
std::optional<double> parseOffset(const QString& text)
{
    static const QRegularExpression clock(QStringLiteral("^([+-]?)(\\d{1,2}):(\\d{2})$"));
    if (const QRegularExpressionMatch m = clock.match(text); m.hasMatch()) {
        const double hours = m.captured(2).toInt() + m.captured(3).toInt() / 60.0;
        return m.captured(1) == QLatin1String("-") ? -hours : hours;
    }
    bool ok = false;
    const double hours = text.toDouble(&ok);
    return ok ? std::optional<double>(hours) : std::nullopt;
}

} // namespace

Flight* addFlightManually(ObjectContext& logbook, const QString& glider, const QString& harness, const QDateTime& now)
{
    FlightValues values;
    if (!glider.isEmpty())
        values.glider = glider;
    if (!harness.isEmpty())
        values.harness = harness;
    values.validIGC = false;
    auto* flight = logbook.insert<Flight>();
    if (!flight)
        return nullptr;
    flight->initFromFlightData(values);
    const QDateTime instant = now.toTimeZone(QTimeZone::utc());
    flight->setStartUTC(instant);
    flight->setLandingUTC(instant);
    return flight;
}

QString lastUsedEquipmentText(ObjectContext* global, const QString& key)
{
    const QString uri = QSettings().value(key).toString();
    if (!global || uri.isEmpty())
        return {};
    auto* equipment = qobject_cast<Equipment*>(global->existingObject(uri));
    return equipment && !equipment->isDeleted() ? equipment->displayName() : QString();
}

QString equipmentChoiceText(const QString& model, const QString& manufacturer)
{
    return manufacturer.isEmpty() ? model : QStringLiteral("%1 (%2)").arg(model, manufacturer);
}

QString placeName(const QString& name, const QString& country)
{
    const QString n = name.trimmed();
    const QString c = country.trimmed();
    if (n.isEmpty())
        return c; // never ", Country"
    return c.isEmpty() ? n : n + QStringLiteral(", ") + c;
}

void setFlightsPlace(ObjectContext* context, const QList<Flight*>& flights, bool takeOff, const ChosenPlace& place)
{
    // Millionths of a degree, as the import stores a matched waypoint.
    const QVariant location = place.location.isEmpty() ? QVariant() : QVariant(place.location);
    const QList<std::pair<QString, QVariant>> values = {
        {takeOff ? QStringLiteral("startWaypointLatitude") : QStringLiteral("landingWaypointLatitude"),
         double(place.latitudeMicro)},
        {takeOff ? QStringLiteral("startWaypointLongitude") : QStringLiteral("landingWaypointLongitude"),
         double(place.longitudeMicro)},
        {takeOff ? QStringLiteral("startLocation") : QStringLiteral("landingLocation"), location},
        {takeOff ? QStringLiteral("startAltitude") : QStringLiteral("landingAltitude"), place.altitude},
    };
    const UndoGroup group(context);
    for (Flight* flight : flights) {
        if (!flight || flight->isDeleted())
            continue;
        for (const auto& [key, value] : values)
            if (flight->value(key) != value)
                flight->setValue(key, value);
    }
}

QStringList editableFlightKeys()
{
    return {QStringLiteral("startUTC"),      QStringLiteral("landingUTC"),      QStringLiteral("startLocal"),
            QStringLiteral("landingLocal"),  QStringLiteral("utcOffset"),       QStringLiteral("startLocation"),
            QStringLiteral("landingLocation"), QStringLiteral("startAltitude"), QStringLiteral("landingAltitude"),
            QStringLiteral("glider"),        QStringLiteral("harness"),         QStringLiteral("glidertype"),
            QStringLiteral("validIGC"),      QStringLiteral("notice")};
}

std::optional<QVariant> parseFlightValue(const QString& key, const QString& text, QString* error)
{
    const auto fail = [error](const QString& message) -> std::optional<QVariant> {
        if (error)
            *error = message;
        return std::nullopt;
    };
    if (!editableFlightKeys().contains(key))
        return fail(QStringLiteral("\"%1\" is not a value that can be edited (one of: %2)")
                        .arg(key, editableFlightKeys().join(QStringLiteral(", "))));
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return key == QLatin1String("validIGC") ? fail(QStringLiteral("validIGC takes \"false\""))
                                                : std::optional<QVariant>(QVariant());
    if (isTextKey(key))
        return QVariant(trimmed);
    if (isTimeKey(key)) {
        QDateTime instant = QDateTime::fromString(trimmed, Qt::ISODateWithMs);
        if (!instant.isValid())
            return fail(QStringLiteral("%1: \"%2\" is no date and time (write 2024-05-01T10:30:00)").arg(key, trimmed));
        // Without a zone the text is UTC, or for a local time the wall-clock time at the site.
        if (instant.timeSpec() == Qt::LocalTime)
            instant = QDateTime(instant.date(), instant.time(), QTimeZone::utc());
        return QVariant(instant.toTimeZone(QTimeZone::utc()));
    }
    if (key == QLatin1String("utcOffset")) {
        const std::optional<double> hours = parseOffset(trimmed);
        if (!hours || !utcOffsetIndex(*hours))
            return fail(QStringLiteral("utcOffset: \"%1\" is not one of the offsets from -12 to +14").arg(trimmed));
        return QVariant(*hours);
    }
    if (isAltitudeKey(key)) {
        bool ok = false;
        const double metres = trimmed.toDouble(&ok);
        if (!ok || metres < -500 || metres > 12000)
            return fail(QStringLiteral("%1: \"%2\" is no altitude in metres").arg(key, trimmed));
        return QVariant(metres);
    }
    if (key == QLatin1String("glidertype")) {
        bool ok = false;
        const int type = trimmed.toInt(&ok);
        if (!ok || type < 0 || type >= kGliderTypeCount)
            return fail(QStringLiteral("glidertype: \"%1\" is not 0 (paraglider), 1 (hang glider) or 2 (rigid wing)")
                            .arg(trimmed));
        return QVariant(qint64(type));
    }
    // validIGC: only the record's own check makes a flight valid.
    if (trimmed.compare(QLatin1String("false"), Qt::CaseInsensitive) != 0)
        return fail(QStringLiteral("validIGC can only be set to \"false\""));
    return QVariant(false);
}

bool setFlightsValue(ObjectContext* context, const QList<Flight*>& flights, const QString& key, const QVariant& value)
{
    if (!editableFlightKeys().contains(key))
        return false;
    if (key == QLatin1String("utcOffset") && value.isValid() && !utcOffsetIndex(value.toDouble()))
        return false;
    if (key == QLatin1String("glidertype")
        && (!value.isValid() || value.toLongLong() < 0 || value.toLongLong() >= kGliderTypeCount))
        return false;
    if (key == QLatin1String("validIGC") && (!value.isValid() || value.toBool()))
        return false;
    if (isTimeKey(key) && value.isValid() && !value.toDateTime().isValid())
        return false;

    const UndoGroup group(context);
    for (Flight* flight : flights) {
        if (!flight || flight->isDeleted())
            continue;
        if (key == QLatin1String("startLocal")) {
            if (flight->startLocal() != value.toDateTime() || !value.isValid())
                flight->setStartLocal(value.toDateTime());
        } else if (key == QLatin1String("landingLocal")) {
            if (flight->landingLocal() != value.toDateTime() || !value.isValid())
                flight->setLandingLocal(value.toDateTime());
        } else if (key == QLatin1String("utcOffset")) {
            // An offset of 0 is stored as none, which reads as 0.
            const QVariant stored = value.isValid() && value.toDouble() != 0 ? value : QVariant();
            if (flight->value(key) != stored)
                flight->setValue(key, stored);
        } else if (flight->value(key) != value) {
            flight->setValue(key, value);
        }
    }
    return true;
}

} // namespace kalvora
