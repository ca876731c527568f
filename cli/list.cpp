// kalvora-cli list LOGBOOK: the logbook's flights as one JSON array.
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include <cmath>

#include "cli/command.h"
#include "model/flight.h"
#include "model/settings.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"

namespace kalvora::cli {
namespace {

QJsonValue jsonNumber(double v)
{
    return std::isfinite(v) ? QJsonValue(v) : QJsonValue(QJsonValue::Null);
}

QJsonValue jsonOf(const AttributeDescription& a, const QVariant& v)
{
    if (!v.isValid())
        return QJsonValue::Null;
    switch (a.type) {
    case AttributeType::String:
        return v.toString();
    case AttributeType::Double:
        return jsonNumber(v.toDouble());
    case AttributeType::Integer:
        return QJsonValue(v.toLongLong());
    case AttributeType::Boolean:
        return v.toBool();
    case AttributeType::Date: {
        const QDateTime d = v.toDateTime().toUTC();
        return d.toString(d.time().msec() != 0 ? Qt::ISODateWithMs : Qt::ISODate);
    }
    case AttributeType::Binary:
        return QString::fromLatin1(v.toByteArray().toBase64());
    }
    return QJsonValue::Null;
}

/** The units and XC points system of the user's settings, when the global store exists and has them. */
void loadSettings()
{
    Settings::setCurrentUnits(std::nullopt);
    const QString path = globalStorePath();
    if (!QFileInfo::exists(path))
        return;
    auto store = PersistentStore::open(path, ObjectModel::global(), PersistentStore::OpenMode::MustExist);
    if (!store)
        return; // without settings the XC points use the default system
    const QList<Settings*> found = (*store)->mainContext()->fetch<Settings>();
    if (!found.isEmpty())
        Settings::setCurrentUnits(found.first()->unitSettings());
}

int runList(const QStringList& args)
{
    if (args.size() != 1) {
        printError(QStringLiteral("usage: kalvora-cli list LOGBOOK"));
        return 2;
    }
    auto store = PersistentStore::open(args.first(), ObjectModel::logBook(), PersistentStore::OpenMode::MustExist);
    if (!store) {
        printError(QString::fromStdString(store.error()));
        return 1;
    }
    loadSettings();
    ObjectContext* ctx = (*store)->mainContext();
    auto flights = ctx->fetch(FetchRequest{QString::fromLatin1(Flight::EntityName), {},
                                           {{QStringLiteral("startUTC"), true, false}}, 0});
    if (!flights) {
        printError(QString::fromStdString(flights.error()));
        return 1;
    }
    const EntityDescription* entity = ObjectModel::logBook().entity(QString::fromLatin1(Flight::EntityName));
    QJsonArray out;
    for (StoredObject* o : *flights) {
        auto* f = qobject_cast<Flight*>(o);
        if (!f)
            continue;
        QJsonObject item;
        for (const AttributeDescription& a : entity->attributes)
            item.insert(a.name, jsonOf(a, f->value(a.name)));
        item.insert(QStringLiteral("flightTime"), jsonNumber(f->flightTime()));
        item.insert(QStringLiteral("flightTimeString"), f->flightTimeString());
        item.insert(QStringLiteral("xcPoints"), jsonNumber(f->xcPoints()));
        item.insert(QStringLiteral("distance"), jsonNumber(f->distance()));
        item.insert(QStringLiteral("flightType"), f->flightType());
        out.append(item);
    }
    printJson(out);
    return 0;
}

const RegisterCommand reg{{"list", "list LOGBOOK",
                           "print the flights of a logbook as a JSON array (stored attributes and derived values)",
                           &runList}};

} // namespace
} // namespace kalvora::cli
