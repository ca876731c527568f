// kalvora-cli rescore LOGBOOK: recomputes every flight of a logbook from its IGC record.

#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include "cli/command.h"
#include "logbook/flightimporter.h"
#include "logbook/xcqueue.h"
#include "model/flight.h"
#include "services/httpclient.h"
#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"
#include "waypoints/placefinderlookup.h"

namespace kalvora::cli {

QJsonObject flightSummaryJson(const Flight& flight);

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
    auto opened = PersistentStore::open(logbookPath, ObjectModel::logBook(), PersistentStore::OpenMode::MustExist);
    if (!opened) {
        printError(QStringLiteral("%1: %2").arg(logbookPath, QString::fromStdString(opened.error())));
        return 1;
    }
    std::unique_ptr<PersistentStore> logbook = std::move(*opened);
    std::unique_ptr<PersistentStore> global;
    if (QFileInfo::exists(globalStorePath())) {
        if (auto g = PersistentStore::open(globalStorePath(), ObjectModel::global(), PersistentStore::OpenMode::MustExist))
            global = std::move(*g);
    }
    std::optional<PlaceFinderLookup> placeFinder;
    if (!offline)
        placeFinder.emplace(PlaceFinderLookup::fromSettings(defaultHttpClient()));

    const QList<Flight*> flights =
        logbook->mainContext()->fetch<Flight>({}, {SortDescriptor{QStringLiteral("startUTC")}});
    int updated = 0;
    {
        XCQueue queue(*logbook);
        FixedOverlapAnswer noQuestions(OverlapChoice::ImportAsWell);
        FlightImporter importer(*logbook, queue, noQuestions,
                                ImportServices{placeFinder ? &*placeFinder : nullptr, global.get()});
        QEventLoop loop;
        bool recalcDone = false;
        QObject::connect(&importer, &FlightImporter::recalcFinished, &loop, [&](int n) {
            updated = n;
            recalcDone = true;
            if (queue.isIdle())
                loop.quit();
        });
        QObject::connect(&queue, &XCQueue::idle, &loop, [&] {
            if (recalcDone)
                loop.quit();
        });
        importer.recalcFlights(flights);
        loop.exec();
    }

    QJsonArray list;
    for (const Flight* flight : logbook->mainContext()->fetch<Flight>({}, {SortDescriptor{QStringLiteral("startUTC")}}))
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
