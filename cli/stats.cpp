// kalvora-cli stats LOGBOOK: count, total and average flight time, per year and per glider, as JSON.
#include <QJsonArray>
#include <QJsonObject>

#include <cmath>

#include "cli/command.h"
#include "cli/logbookflights.h"
#include "export/flightstats.h"
#include "model/flight.h"
#include "store/objectcontext.h"

namespace kalvora::cli {
namespace {

QJsonArray groupsJson(const QList<StatsGroup>& groups, const char* keyName, bool numericKey)
{
    QJsonArray out;
    for (const StatsGroup& group : groups) {
        QJsonObject item{{"count", group.count}, {"totalSeconds", qint64(std::llround(group.totalS))}};
        if (numericKey)
            item.insert(QLatin1String(keyName), group.key.isEmpty() ? QJsonValue() : QJsonValue(group.key.toInt()));
        else
            item.insert(QLatin1String(keyName), group.key);
        out.append(item);
    }
    return out;
}

int runStats(const QStringList& args)
{
    if (args.size() != 1 || args.first().startsWith(QLatin1String("--"))) {
        printError(QStringLiteral("usage: kalvora-cli stats LOGBOOK"));
        return 2;
    }
    auto store = openLogbook(args.first());
    if (!store)
        return 1;
    const std::optional<QList<Flight*>> flights = chooseFlights(*store->mainContext(), {});
    if (!flights)
        return 1;
    QList<StatsFlight> values;
    values.reserve(flights->size());
    for (const Flight* flight : *flights)
        values << statsFlight(*flight);
    const FlightStatsFigures figures = flightStatsFigures(values);
    printJson(QJsonObject{
        {"count", figures.count},
        {"totalSeconds", qint64(std::llround(figures.totalS))},
        {"averageSeconds", figures.averageS ? QJsonValue(qint64(std::llround(*figures.averageS))) : QJsonValue()},
        {"total", totalFlightTimeText(figures.totalS)},
        {"average", averageFlightTimeText(figures.averageS)},
        {"perYear", groupsJson(figures.perYear, "year", true)},
        {"perGlider", groupsJson(figures.perGlider, "glider", false)},
    });
    return 0;
}

const RegisterCommand statsCommand{{"stats", "stats LOGBOOK",
                                    "flight count, total and average flight time [s], per year (local take-off) "
                                    "and per glider, as JSON",
                                    &runStats}};

} // namespace
} // namespace kalvora::cli
