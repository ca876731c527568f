#include "cli/logbookflights.h"

#include "cli/command.h"
#include "model/flight.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"

namespace kalvora::cli {

std::unique_ptr<PersistentStore> openLogbook(const QString& path)
{
    auto opened = PersistentStore::open(path, ObjectModel::logBook(), PersistentStore::OpenMode::MustExist);
    if (!opened) {
        printError(QStringLiteral("%1: %2").arg(path, QString::fromStdString(opened.error())));
        return nullptr;
    }
    return std::move(*opened);
}

std::optional<QList<Flight*>> chooseFlights(ObjectContext& context, const QStringList& ids)
{
    QList<Flight*> flights;
    if (ids.isEmpty()) {
        auto all = context.fetch(FetchRequest{QString::fromLatin1(Flight::EntityName), {},
                                              {{QStringLiteral("startUTC"), true, false}}, 0});
        if (!all) {
            printError(QString::fromStdString(all.error()));
            return std::nullopt;
        }
        for (StoredObject* object : *all)
            if (auto* flight = qobject_cast<Flight*>(object))
                flights << flight;
        return flights;
    }
    for (const QString& id : ids) {
        auto* flight = qobject_cast<Flight*>(context.existingObject(id));
        if (!flight || flight->isDeleted()) {
            printError(QStringLiteral("no flight with the id \"%1\" in this logbook").arg(id));
            return std::nullopt;
        }
        flights << flight;
    }
    return flights;
}

ChosenFlights openFlights(const QString& path, const QStringList& ids)
{
    ChosenFlights chosen;
    chosen.store = openLogbook(path);
    if (!chosen.store) {
        chosen.failure = 1;
        return chosen;
    }
    std::optional<QList<Flight*>> flights = chooseFlights(chosen.context(), ids);
    if (!flights) {
        chosen.failure = 2;
        return chosen;
    }
    chosen.flights = std::move(*flights);
    return chosen;
}

bool takeOption(QStringList& args, const QString& name, QStringList& values)
{
    for (qsizetype i = 0; i < args.size();) {
        if (args[i] == name) {
            if (i + 1 >= args.size()) {
                printError(QStringLiteral("%1 needs a value").arg(name));
                return false;
            }
            values << args[i + 1];
            args.remove(i, 2);
        } else if (args[i].startsWith(name + QLatin1Char('='))) {
            values << args[i].mid(name.size() + 1);
            args.remove(i);
        } else {
            ++i;
        }
    }
    return true;
}

} // namespace kalvora::cli
