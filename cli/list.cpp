// kalvora-cli list LOGBOOK [--with-igc]: the logbook's flights as one JSON array.
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <cstdio>

#include "cli/clisettings.h"
#include "cli/command.h"
#include "model/flight.h"
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

void write(const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

int runList(const QStringList& args)
{
    QString path;
    bool withIgc = false;
    for (const QString& arg : args) {
        if (arg == QLatin1String("--with-igc")) {
            withIgc = true;
        } else if (arg.startsWith(QLatin1String("--")) || !path.isEmpty()) {
            path.clear();
            break;
        } else {
            path = arg;
        }
    }
    if (path.isEmpty()) {
        printError(QStringLiteral("usage: kalvora-cli list LOGBOOK [--with-igc]"));
        return 2;
    }
    // Listing only reads: the file stays as it is, whoever else has it open. It
    // reads the pages of what it prints, and each failed read ends it with an
    // error; the check of every page (a second per gigabyte), which the writing
    // commands make before they write, would only find damage it does not print.
    PersistentStore::OpenOptions options;
    options.mode = PersistentStore::OpenMode::MustExist;
    options.access = PersistentStore::Access::ReadOnly;
    options.checkIntegrity = false;
    auto store = PersistentStore::open(path, ObjectModel::logBook(), options);
    if (!store) {
        printError(QString::fromStdString(store.error()));
        return 1;
    }
    useUserSettings();
    ObjectContext* ctx = (*store)->mainContext();
    ctx->setUndoEnabled(false);
    auto flights = ctx->fetch(FetchRequest{QString::fromLatin1(Flight::EntityName), {},
                                           {{QStringLiteral("startUTC"), true, false}}, 0});
    if (!flights) {
        printError(QString::fromStdString(flights.error()));
        return 1;
    }
    const EntityDescription* entity = ObjectModel::logBook().entity(QString::fromLatin1(Flight::EntityName));
    const QString igcKey = QStringLiteral("igcData");
    // One flight at a time: a logbook of thousands of tracks never sits in memory
    // at once, neither as records nor as text.
    write("[");
    bool first = true;
    for (StoredObject* o : *flights) {
        auto* f = qobject_cast<Flight*>(o);
        if (!f)
            continue;
        QJsonObject item;
        for (const AttributeDescription& a : entity->attributes)
            if (withIgc || a.name != igcKey)
                item.insert(a.name, jsonOf(a, f->value(a.name)));
        item.insert(QStringLiteral("flightTime"), jsonNumber(f->flightTime()));
        item.insert(QStringLiteral("flightTimeString"), f->flightTimeString());
        item.insert(QStringLiteral("xcPoints"), jsonNumber(f->xcPoints()));
        item.insert(QStringLiteral("distance"), jsonNumber(f->distance()));
        item.insert(QStringLiteral("flightType"), f->flightType());
        if (!ctx->readError().isEmpty()) {
            // The array stays open: what was printed is no complete list.
            write("\n");
            std::fflush(stdout);
            printError(ctx->readError());
            return 1;
        }
        ctx->releaseLargeValues(f);
        if (!first)
            write(",");
        first = false;
        write(QJsonDocument(item).toJson(QJsonDocument::Compact));
    }
    write("]\n");
    std::fflush(stdout);
    return 0;
}

const RegisterCommand reg{{"list", "list LOGBOOK [--with-igc]",
                           "print the flights of a logbook as a JSON array (stored attributes and derived values; "
                           "the IGC record only with --with-igc)",
                           &runList}};

} // namespace
} // namespace kalvora::cli
