// kalvora-cli rescore LOGBOOK: recomputes every flight of a logbook from its IGC record.

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include "cli/command.h"
#include "cli/importsetup.h"
#include "logbook/flightimporter.h"
#include "logbook/xcqueue.h"
#include "model/flight.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"

namespace kalvora::cli {

namespace {

int runRescore(const QStringList& args)
{
    QString logbookPath;
    bool offline = false;
    for (const QString& arg : args) {
        if (arg == QLatin1String("--offline")) {
            offline = true;
        } else if (arg.startsWith(QLatin1String("--")) || !logbookPath.isEmpty()) {
            logbookPath.clear();
            break;
        } else {
            logbookPath = arg;
        }
    }
    if (logbookPath.isEmpty()) {
        printError(QStringLiteral("Usage: kalvora-cli rescore LOGBOOK [--offline]"));
        return 2;
    }
    std::optional<ImportSetup> setup = openImportSetup(logbookPath, PersistentStore::OpenMode::MustExist, offline);
    if (!setup)
        return 1;
    PersistentStore& logbook = *setup->logbook;

    const QList<Flight*> flights =
        logbook.mainContext()->fetch<Flight>({}, {SortDescriptor{QStringLiteral("startUTC")}});
    int updated = 0;
    {
        XCQueue queue(logbook);
        FixedOverlapAnswer noQuestions(OverlapChoice::ImportAsWell);
        FlightImporter importer(logbook, queue, noQuestions, setup->services());
        ScoredWait wait(queue);
        QObject::connect(&importer, &FlightImporter::recalcFinished, &importer, [&](int n) {
            updated = n;
            wait.finished();
        });
        importer.recalcFlights(flights);
        wait.exec();
    }
    if (!logbook.mainContext()->readError().isEmpty()) {
        printError(QStringLiteral("%1: %2").arg(logbookPath, logbook.mainContext()->readError()));
        return 1;
    }

    QJsonArray list;
    for (const Flight* flight : logbook.mainContext()->fetch<Flight>({}, {SortDescriptor{QStringLiteral("startUTC")}}))
        list.append(flightSummaryJson(*flight));
    printJson(QJsonObject{
        {"logbook", QFileInfo(logbookPath).absoluteFilePath()},
        {"rescored", updated},
        {"unchanged", static_cast<int>(flights.size()) - updated},
        {"flights", list},
    });
    return 0;
}

static RegisterCommand reg{{"rescore", "rescore LOGBOOK [--offline]",
                            "Recompute every flight of a logbook from its IGC record and score it again",
                            &runRescore}};

} // namespace
} // namespace kalvora::cli
