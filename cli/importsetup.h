#pragma once

#include <QEventLoop>
#include <QJsonObject>
#include <QString>

#include <memory>
#include <optional>

#include "logbook/flightimporter.h"
#include "store/persistentstore.h"
#include "waypoints/placeanswercache.h"
#include "waypoints/placefinderlookup.h"

namespace kalvora {
class Flight;
class XCQueue;
} // namespace kalvora

namespace kalvora::cli {

/** The stores and services the import and rescore commands bring flights in with. */
struct ImportSetup
{
    std::unique_ptr<PersistentStore> logbook;
    std::unique_ptr<PersistentStore> global;      ///< the global store when there is one; never created here
    std::optional<PlaceFinderLookup> placeFinder; ///< none offline
    /** The geocoder's earlier answers (kept in the global store when there is one); the place finder's cache. */
    std::unique_ptr<PlaceAnswerCache> placeAnswers;

    ImportServices services() { return {placeFinder ? &*placeFinder : nullptr, global.get()}; }
};

/** Opens the logbook at PATH and what goes with it; nullopt after printing why not. */
std::optional<ImportSetup> openImportSetup(const QString& path, PersistentStore::OpenMode mode, bool offline);

/**
 * Runs an event loop until the importer's run is over (finished() called)
 * and the XC queue has scored every flight, so the command reports final
 * values.
 */
class ScoredWait
{
public:
    explicit ScoredWait(XCQueue& queue);
    /** The importer's run is over. */
    void finished();
    /** Returns once finished() was called and the queue is idle. */
    void exec();

private:
    QEventLoop m_loop;
    XCQueue& m_queue;
    bool m_finished = false;
};

/** The stored values of FLIGHT as JSON. */
QJsonObject flightSummaryJson(const Flight& flight);

} // namespace kalvora::cli
