// kalvora-cli flight add|edit LOGBOOK ...: flights entered and edited by hand,
// through the same rules as the logbook window.
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include "cli/command.h"
#include "cli/importsetup.h"
#include "logbook/flightentry.h"
#include "logbook/xcqueue.h"
#include "model/flight.h"
#include "store/objectcontext.h"
#include "store/persistentstore.h"

namespace kalvora::cli {

namespace {

const char* const kUsage = "usage: kalvora-cli flight add LOGBOOK [KEY=VALUE...]\n"
                           "       kalvora-cli flight edit LOGBOOK N[,N...] KEY=VALUE...\n"
                           "N is a flight's position in take-off order (1 = the earliest, as `list` prints them).";

struct Assignment
{
    QString key;
    QVariant value;
};

/** KEY=VALUE arguments as values the flights take; nullopt (and a message) for the first bad one. */
std::optional<QList<Assignment>> parseAssignments(const QStringList& args)
{
    QList<Assignment> assignments;
    for (const QString& arg : args) {
        const qsizetype equals = arg.indexOf(QLatin1Char('='));
        if (equals <= 0) {
            printError(QStringLiteral("\"%1\" is not KEY=VALUE; keys: %2")
                           .arg(arg, editableFlightKeys().join(QStringLiteral(", "))));
            return std::nullopt;
        }
        QString error;
        const QString key = arg.left(equals);
        const std::optional<QVariant> value = parseFlightValue(key, arg.mid(equals + 1), &error);
        if (!value) {
            printError(error);
            return std::nullopt;
        }
        assignments << Assignment{key, *value};
    }
    return assignments;
}

/** "2,5" as flights of @p ordered (1-based); nullopt and a message for a position outside the list. */
std::optional<QList<Flight*>> pickFlights(const QString& positions, const QList<Flight*>& ordered)
{
    QList<Flight*> picked;
    for (const QString& part : positions.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int position = part.trimmed().toInt(&ok);
        if (!ok || position < 1 || position > ordered.size()) {
            printError(QStringLiteral("no flight %1: the logbook has %2 flight(s)").arg(part).arg(ordered.size()));
            return std::nullopt;
        }
        if (!picked.contains(ordered.at(position - 1)))
            picked << ordered.at(position - 1);
    }
    if (picked.isEmpty()) {
        printError(QString::fromLatin1(kUsage));
        return std::nullopt;
    }
    return picked;
}

/** Applies the assignments as the window would and rescores flights whose glider type changed. */
void apply(PersistentStore& logbook, const QList<Flight*>& flights, const QList<Assignment>& assignments)
{
    ObjectContext* context = logbook.mainContext();
    QList<Flight*> rescore;
    for (const Assignment& assignment : assignments) {
        setFlightsValue(context, flights, assignment.key, assignment.value);
        if (assignment.key == QLatin1String("glidertype"))
            rescore = flights;
    }
    if (rescore.isEmpty())
        return;
    XCQueue queue(logbook);
    ScoredWait wait(queue);
    for (Flight* flight : rescore)
        queue.startCalcXCOperation(flight); // a flight without IGC record has nothing to score
    wait.finished();
    wait.exec();
}

int runFlight(const QStringList& args)
{
    if (args.size() < 2 || (args.at(0) != QLatin1String("add") && args.at(0) != QLatin1String("edit"))) {
        printError(QString::fromLatin1(kUsage));
        return 2;
    }
    const bool adding = args.at(0) == QLatin1String("add");
    if (!adding && args.size() < 4) {
        printError(QString::fromLatin1(kUsage));
        return 2;
    }
    const QString path = args.at(1);
    const std::optional<QList<Assignment>> assignments = parseAssignments(args.mid(adding ? 2 : 3));
    if (!assignments)
        return 2;

    std::optional<ImportSetup> setup = openImportSetup(path, PersistentStore::OpenMode::MustExist, true);
    if (!setup)
        return 1;
    PersistentStore& logbook = *setup->logbook;
    ObjectContext* context = logbook.mainContext();

    QList<Flight*> flights;
    if (adding) {
        ObjectContext* global = setup->global ? setup->global->mainContext() : nullptr;
        Flight* flight = addFlightManually(*context, lastUsedEquipmentText(global, QStringLiteral("LastUsedGlider")),
                                           lastUsedEquipmentText(global, QStringLiteral("LastUsedHarness")));
        if (!flight) {
            printError(QStringLiteral("the flight could not be added"));
            return 1;
        }
        flights << flight;
    } else {
        const QList<Flight*> ordered = context->fetch<Flight>({}, {SortDescriptor{QStringLiteral("startUTC")}});
        const std::optional<QList<Flight*>> picked = pickFlights(args.at(2), ordered);
        if (!picked)
            return 2;
        flights = *picked;
    }
    apply(logbook, flights, *assignments);

    if (auto saved = context->save(); !saved) {
        printError(QStringLiteral("the logbook could not be written: %1").arg(QString::fromStdString(saved.error())));
        return 1;
    }
    const QList<Flight*> ordered = context->fetch<Flight>({}, {SortDescriptor{QStringLiteral("startUTC")}});
    QJsonArray list;
    for (Flight* flight : flights) {
        QJsonObject item = flightSummaryJson(*flight);
        item.insert(QStringLiteral("position"), int(ordered.indexOf(flight)) + 1);
        for (const QString& key : editableFlightKeys()) {
            const QVariant value = flight->value(key);
            if (!value.isValid())
                item.insert(key, QJsonValue::Null);
            else if (value.metaType().id() == QMetaType::QDateTime)
                item.insert(key, value.toDateTime().toUTC().toString(Qt::ISODate));
            else
                item.insert(key, QJsonValue::fromVariant(value));
        }
        list.append(item);
    }
    printJson(QJsonObject{{"logbook", QFileInfo(path).absoluteFilePath()}, {"flights", list}});
    return 0;
}

const RegisterCommand reg{{"flight", "flight add|edit LOGBOOK [N[,N...]] [KEY=VALUE...]",
                           "enter a flight by hand or edit flights (times, offset, places, altitudes, glider, "
                           "harness, glider type, validity, notice)",
                           &runFlight}};

} // namespace
} // namespace kalvora::cli
