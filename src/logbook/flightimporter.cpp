#include "logbook/flightimporter.h"

#include <QCryptographicHash>
#include <QPointer>
#include <QSettings>
#include <QSet>
#include <QThreadPool>

#include <algorithm>
#include <cstdlib>

#include "logbook/backgroundwork.h"
#include "logbook/flightdata.h"
#include "logbook/flightrecord.h"
#include "logbook/placecache.h"
#include "logbook/waypointfinder.h"
#include "logbook/xcqueue.h"
#include "model/equipment.h"
#include "model/flight.h"
#include "services/boundedfile.h"
#include "store/objectcontext.h"
#include "store/persistentstore.h"
#include "track/igc.h"
#include "waypoints/placeanswercache.h"
#include "waypoints/placefinderlookup.h"

namespace kalvora {

namespace {

QDateTime toDateTime(std::chrono::sys_seconds instant)
{
    return QDateTime::fromSecsSinceEpoch(instant.time_since_epoch().count(), Qt::UTC);
}

std::optional<QString> lastUsedEquipment(PersistentStore* global, const char* preferenceKey)
{
    if (!global)
        return std::nullopt;
    const QString uri = QSettings().value(QString::fromLatin1(preferenceKey)).toString();
    if (uri.isEmpty())
        return std::nullopt;
    auto* equipment = qobject_cast<Equipment*>(global->mainContext()->existingObject(uri));
    if (!equipment)
        return std::nullopt;
    return equipment->displayName();
}

/** A context of the global store for the calling (worker) thread; nullptr without a store. */
std::unique_ptr<ObjectContext> globalContext(PersistentStore* global)
{
    if (!global)
        return nullptr;
    auto context = global->newBackgroundContext();
    if (!context)
        return nullptr;
    // The GUI thread may be waiting for this worker; its saves must not wait for it in turn.
    (*context)->setUndoEnabled(false);
    (*context)->setWaitsForMerge(false);
    return std::move(*context);
}

/** The global store's waypoints, read through CONTEXT; nullptr without one. */
std::unique_ptr<WaypointListFinder> storedPlaces(ObjectContext* context)
{
    if (!context)
        return nullptr;
    return std::make_unique<WaypointListFinder>(WaypointListFinder::readStoredPlaces(*context));
}

} // namespace

QString durationString(qint64 seconds)
{
    const char* sign = seconds < 0 ? "-" : "";
    const qint64 s = std::abs(seconds);
    return QString::asprintf("%s%02lld:%02lld:%02lld", sign, static_cast<long long>(s / 3600),
                             static_cast<long long>(s % 3600 / 60), static_cast<long long>(s % 60));
}

QString FlightImporter::contentHash(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

/**
 * One file that was read and summarised. Its text is not kept: an archive of
 * thousands of recordings would not fit in memory; it is read again when its
 * flight is made.
 */
struct FlightImporter::ReadFile
{
    QString path;
    QString hash;
    QDateTime startUTC;
    qint64 flightTimeS = 0;
    QString failure; ///< why the file cannot be imported; empty when it can
    /** Set for an instrument track, which has no file: fetches its text on the worker. */
    std::function<std::optional<QString>()> download;
};

/** The state of one import or recomputation. */
struct FlightImporter::Run
{
    bool recalc = false;
    QList<ReadFile> files;
    QList<QPointer<Flight>> logbookFlights; // in the order the overlap check saw them
    std::unique_ptr<OverlapCheck> check;
    QList<qsizetype> accepted;              // indices into files
    QHash<qsizetype, QList<qsizetype>> replacedBy; // logbook flight -> files replacing it
    QSet<qsizetype> duplicates;             // indices into files: the same bytes as a flight or an earlier file
    QSet<qsizetype> inserted;               // indices into files
    QList<QPointer<Flight>> newFlights;
    QList<qsizetype> newFlightFiles;        // the file each new flight came from
    QList<QPointer<Flight>> recalcFlights;
    int updated = 0;
    ImportSummary summary;
};

FlightImporter::FlightImporter(PersistentStore& logbook, XCQueue& queue, OverlapQuestion& question,
                               ImportServices services, QObject* parent)
    : QObject(parent), m_logbook(logbook), m_queue(queue), m_question(question), m_services(services),
      m_worker(std::make_unique<QThreadPool>())
{
    qRegisterMetaType<ImportSummary>();
    m_worker->setMaxThreadCount(1);
}

FlightImporter::~FlightImporter()
{
    m_cancel = true;
    m_worker->clear();
    m_worker->waitForDone();
}

bool FlightImporter::start(const QStringList& paths)
{
    if (m_running)
        return false;
    m_running = true;
    m_cancel = false;
    m_run = std::make_unique<Run>();
    const quint64 generation = ++m_generation;
    emit readingStarted(static_cast<int>(paths.size()));
    m_worker->start([this, paths, generation] {
        yieldToInteractiveWork();
        QList<ReadFile> files;
        int done = 0;
        for (const QString& path : paths) {
            if (m_cancel)
                break;
            ReadFile file;
            file.path = path;
            const Result<QByteArray> read = readRegularFile(path, maxIGCFileBytes);
            if (!read) {
                file.failure = QString::fromStdString(read.error());
            } else {
                const QByteArray& bytes = *read;
                const auto summary =
                    IGC::getTrackFromIGCData(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
                if (!summary) {
                    file.failure = tr("The file holds no IGC track: no date record, or not two fixes forward "
                                      "in time with a time of day and a place on the globe");
                } else {
                    file.hash = contentHash(bytes);
                    file.startUTC = toDateTime(summary->startUTC);
                    file.flightTimeS = summary->flightTimeS;
                }
            }
            files.append(std::move(file));
            ++done;
            QMetaObject::invokeMethod(
                this,
                [this, generation, done] {
                    if (generation == m_generation)
                        emit readingChanged(done);
                },
                Qt::QueuedConnection);
        }
        QMetaObject::invokeMethod(
            this,
            [this, generation, files = std::move(files)]() mutable {
                if (generation == m_generation)
                    filesRead(std::move(files));
            },
            Qt::QueuedConnection);
    });
    return true;
}

bool FlightImporter::startTracks(const QList<InstrumentTrack>& tracks)
{
    if (m_running)
        return false;
    m_running = true;
    m_cancel = false;
    m_run = std::make_unique<Run>();
    const quint64 generation = ++m_generation;
    QList<ReadFile> files;
    for (const InstrumentTrack& track : tracks) {
        ReadFile file;
        file.path = track.name;
        file.startUTC = track.startUTC;
        file.flightTimeS = track.flightTimeS;
        file.download = track.download;
        if (!track.download)
            file.failure = tr("The flight %1 is not a valid flight").arg(track.name);
        files.append(std::move(file));
    }
    // Like start(): the run goes on from the event loop, never inside this call.
    QMetaObject::invokeMethod(
        this,
        [this, generation, files = std::move(files)]() mutable {
            if (generation == m_generation)
                filesRead(std::move(files));
        },
        Qt::QueuedConnection);
    return true;
}

void FlightImporter::filesRead(QList<ReadFile> files)
{
    Run& run = *m_run;
    run.files = std::move(files);
    emit readingFinished();
    if (m_cancel) {
        // Cancelled while reading: nothing was asked, nothing is imported.
        run.summary.stopped = true;
        finishRun();
        return;
    }

    const QList<Flight*> flights =
        m_logbook.mainContext()->fetch<Flight>({}, {SortDescriptor{QStringLiteral("startUTC")}});
    QList<FlightSpan> spans;
    QSet<QString> known;
    for (Flight* flight : flights) {
        run.logbookFlights.append(flight);
        spans.append({flight->startUTC(), flight->landingUTC()});
        if (const QString hash = flight->contentHash(); !hash.isEmpty())
            known.insert(hash);
    }
    QList<OverlapCheck::File> checked;
    QList<qsizetype> readable;
    for (qsizetype i = 0; i < run.files.size(); ++i) {
        if (!run.files[i].failure.isEmpty()) {
            run.summary.failed.append({run.files[i].path, run.files[i].failure});
            continue;
        }
        // The same recording under another name (or imported in an earlier,
        // cancelled run) is no new flight and needs no question. An
        // instrument's track is known by its bytes only once it is downloaded.
        if (run.files[i].hash.isEmpty()) {
            readable.append(i);
            checked.append({run.files[i].startUTC, run.files[i].flightTimeS});
            continue;
        }
        if (known.contains(run.files[i].hash)) {
            run.duplicates.insert(i);
            run.summary.duplicates.append(run.files[i].path);
            continue;
        }
        known.insert(run.files[i].hash);
        readable.append(i);
        checked.append({run.files[i].startUTC, run.files[i].flightTimeS});
    }
    // The check works on the readable files only; map its indices back.
    run.accepted = readable;
    run.check = std::make_unique<OverlapCheck>(checked, spans);
    continueOverlapCheck();
}

void FlightImporter::continueOverlapCheck()
{
    Run& run = *m_run;
    while (const auto conflict = run.check->nextConflict()) {
        const qsizetype fileIndex = run.accepted[conflict->file];
        const ReadFile& file = run.files[fileIndex];
        Flight* flight = run.logbookFlights[conflict->flight];
        OverlapConflict question;
        question.path = file.path;
        question.fileStartUTC = file.startUTC;
        question.fileFlightTimeS = file.flightTimeS;
        if (flight) {
            question.flight = flight->objectId();
            question.flightStartUTC = flight->startUTC();
            question.flightLandingUTC = flight->landingUTC();
        }
        question.fileNumber = static_cast<int>(fileIndex + 1);
        question.fileCount = static_cast<int>(run.files.size());

        // A flight stored before recordings were fingerprinted: an identical
        // file overlaps it exactly; compare the bytes instead of asking.
        if (flight && flight->contentHash().isEmpty() && sameRecording(file, *flight)) {
            run.duplicates.insert(fileIndex);
            run.check->answer({OverlapChoice::Skip, false});
            continue;
        }

        // The answer may come inside ask() (a fixed answer, the terminal) or
        // later from a sheet; either way it is taken once.
        struct Pending
        {
            bool inAsk = true;
            bool answered = false;
            OverlapAnswer answer;
        };
        auto pending = std::make_shared<Pending>();
        const quint64 generation = m_generation;
        QPointer<FlightImporter> self(this);
        m_question.ask(question, [self, generation, pending](OverlapAnswer answer) {
            if (pending->answered)
                return;
            pending->answered = true;
            pending->answer = answer;
            if (!pending->inAsk && self)
                self->answerOverlap(generation, answer);
        });
        pending->inAsk = false;
        if (!pending->answered)
            return; // answerOverlap() carries on
        run.check->answer(pending->answer);
    }
    deriveAccepted();
}

bool FlightImporter::sameRecording(const ReadFile& file, Flight& flight)
{
    const QString text = flight.igcData();
    if (text.isEmpty())
        return false;
    const QString hash = contentHash(text.toLatin1());
    // Kept, so the next run knows the flight without reading its record.
    flight.setContentHash(hash);
    return hash == file.hash;
}

void FlightImporter::answerOverlap(quint64 generation, const OverlapAnswer& answer)
{
    if (generation != m_generation || !m_run || !m_run->check)
        return;
    m_run->check->answer(answer);
    continueOverlapCheck();
}

void FlightImporter::deriveAccepted()
{
    Run& run = *m_run;
    const QList<qsizetype> readable = run.accepted;
    run.accepted.clear();
    if (run.check->isCancelled()) {
        run.summary.cancelled = true;
        finishRun();
        return;
    }
    for (qsizetype i : run.check->accepted())
        run.accepted.append(readable[i]);
    for (qsizetype i = 0; i < readable.size(); ++i) {
        if (run.accepted.contains(readable[i]))
            continue;
        if (run.duplicates.contains(readable[i]) && !run.summary.duplicates.contains(run.files[readable[i]].path))
            run.summary.duplicates.append(run.files[readable[i]].path);
        else if (!run.duplicates.contains(readable[i]))
            run.summary.skipped.append(run.files[readable[i]].path);
    }
    for (const auto& [file, flight] : run.check->replacements())
        run.replacedBy[flight].append(readable[file]);
    run.check.reset();

    emit progressStarted(tr(progressTitle), static_cast<int>(run.accepted.size()));

    struct Work
    {
        qsizetype index;
        QString path; ///< the file, or how the user knows an instrument's track
        QString hash; ///< of the file's bytes when it was read; empty for an instrument's track
        std::function<std::optional<QString>()> download;
    };
    QList<Work> work;
    for (qsizetype i : run.accepted)
        work.append({i, run.files[i].path, run.files[i].hash, run.files[i].download});
    const FlightDataSources sources = sourcesForRun();
    PersistentStore* global = m_services.globalStore;
    const quint64 generation = m_generation;
    PersistentStore* logbook = &m_logbook;
    // A service that failed in an earlier run may be back.
    if (m_services.placeFinder)
        m_services.placeFinder->resetFailures();
    PlaceAnswerCache* placeAnswers = m_services.placeFinder ? m_services.placeFinder->answerCache() : nullptr;
    m_worker->start([this, work, sources, global, logbook, generation, placeAnswers] {
        yieldToInteractiveWork();
        FlightDataSources mine = sources;
        const std::unique_ptr<ObjectContext> globalData = globalContext(global);
        const std::unique_ptr<WaypointListFinder> waypoints = storedPlaces(globalData.get());
        mine.waypoints = waypoints.get();
        // The flights are written here, not on the GUI thread: a track is
        // megabytes of text, and writing it can take long on a busy disk.
        // The save must not wait for the GUI thread, which waits for this
        // worker when the window closes.
        std::unique_ptr<ObjectContext> context;
        QString unwritable;
        if (auto opened = logbook->newBackgroundContext()) {
            context = std::move(*opened);
            context->setUndoEnabled(false);
            context->setWaitsForMerge(false);
        } else {
            unwritable = QString::fromStdString(opened.error());
        }
        for (const Work& item : work) {
            if (m_cancel)
                break;
            const qsizetype index = item.index;
            DerivedFlight derived;
            FlightData data;
            QString text;
            QString hash = item.hash;
            if (item.download) {
                std::optional<QString> downloaded = item.download();
                if (m_cancel)
                    break; // a download cut short by cancel is no invalid flight
                if (downloaded && !downloaded->isEmpty()) {
                    text = std::move(*downloaded);
                    hash = contentHash(text.toLatin1());
                } else {
                    derived.failure = tr("The flight %1 is not a valid flight").arg(item.path);
                }
            } else {
                const Result<QByteArray> read = readRegularFile(item.path, maxIGCFileBytes);
                // A file that was readable a moment ago has no record problem: valid stays true.
                if (!read) {
                    derived.valid = true;
                    derived.failure = QString::fromStdString(read.error());
                } else if (contentHash(*read) != hash) {
                    derived.valid = true;
                    derived.failure = tr("The file was changed while it was being imported; import it again");
                } else {
                    // Latin-1 keeps every byte, so the stored record can be written out unchanged.
                    text = QString::fromLatin1(*read);
                }
            }
            if (!text.isEmpty()) {
                const bool made = getDataFromIGC(data, text, mine);
                // What the geocoder said about a new site is kept for later runs, cancelled or not.
                if (placeAnswers && globalData)
                    saveNewPlaceAnswers(*placeAnswers, *globalData);
                // A flight derived while the user pressed cancel is not inserted.
                if (m_cancel)
                    break;
                if (made) {
                    derived = insertFlight(context.get(), data, hash);
                    derived.placesMissing = data.placesMissing;
                    if (!context)
                        derived.failure = unwritable;
                } else if (item.download) {
                    derived.failure = tr("The flight %1 is not a valid flight").arg(item.path);
                } else {
                    derived.failure = tr("The file is no valid IGC record: its fixes show no flight (no usable "
                                         "fixes, or a landing that would come before the take-off)");
                }
            }
            QMetaObject::invokeMethod(
                this,
                [this, generation, index, derived] {
                    if (generation == m_generation)
                        flightDerived(index, derived);
                },
                Qt::QueuedConnection);
        }
        postFinishRun(generation);
    });
}

FlightImporter::DerivedFlight FlightImporter::insertFlight(ObjectContext* context, const FlightData& data,
                                                          const QString& hash)
{
    DerivedFlight derived;
    derived.valid = true;
    if (!context)
        return derived;
    auto* flight = context->insert<Flight>();
    if (!flight) {
        derived.failure = tr("The logbook cannot be written");
        return derived;
    }
    flight->initFromFlightData(flightValues(data));
    flight->setContentHash(hash);
    // Written with the flight, so queueing its scoring changes nothing to save on the GUI thread.
    markBeingComputed(*flight);
    if (const auto saved = context->save(); !saved) {
        context->rollback();
        derived.failure = QString::fromStdString(saved.error());
        return derived;
    }
    derived.flight = flight->objectId();
    // Only the GUI thread's copy of the flight is used from here on.
    context->releaseLargeValues(flight);
    return derived;
}

void FlightImporter::flightDerived(qsizetype index, const DerivedFlight& derived)
{
    Run& run = *m_run;
    const QString& path = run.files[index].path;
    // The save was merged before this call arrived, so the main context knows the flight.
    auto* flight = derived.flight.isValid()
                       ? qobject_cast<Flight*>(m_logbook.mainContext()->existingObject(derived.flight))
                       : nullptr;
    if (flight) {
        // Written already, so it is imported even when cancel came meanwhile.
        run.inserted.insert(index);
        run.newFlights.append(flight);
        run.newFlightFiles.append(index);
        run.summary.imported.append(path);
        if (derived.placesMissing)
            run.summary.placesMissing.append(path);
        // Scored while the next files are read: the scoring of a large
        // archive overlaps its import instead of following it. The queue
        // reads the record back from the file, so thousands of queued
        // flights do not hold their texts in memory.
        m_queue.startCalcXCOperationFromStore(flight);
        emit flightInserted(flight->objectId());
    } else if (!derived.valid) {
        run.summary.failed.append({path, derived.failure});
        emit fileFailed(path);
    } else {
        run.summary.failed.append(
            {path, derived.failure.isEmpty() ? tr("The logbook cannot be written") : derived.failure});
    }
    emit progressChanged(static_cast<int>(run.summary.imported.size() + run.summary.failed.size()));
}

void FlightImporter::postFinishRun(quint64 generation)
{
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation == m_generation)
                finishRun();
        },
        Qt::QueuedConnection);
}

void FlightImporter::finishRun()
{
    Run& run = *m_run;
    if (run.recalc) {
        const int updated = run.updated;
        m_run.reset();
        m_running = false;
        emit recalcFinished(updated);
        return;
    }
    if (!run.summary.cancelled)
        emit progressFinished();
    run.summary.stopped = m_cancel && !run.summary.cancelled;
    if (run.summary.stopped) {
        QSet<QString> failed;
        for (const ImportFileFailure& failure : run.summary.failed)
            failed.insert(failure.path);
        for (qsizetype i : run.accepted) {
            if (!run.inserted.contains(i) && !failed.contains(run.files[i].path))
                run.summary.skipped.append(run.files[i].path);
        }
    }

    // A flight marked for replacement goes only when a file that replaces it
    // became a flight: a replacement that failed or was never reached must not
    // cost the pilot the old flight.
    QList<Flight*> doomed;
    for (auto it = run.replacedBy.cbegin(); it != run.replacedBy.cend(); ++it) {
        const bool replaced = std::any_of(it.value().cbegin(), it.value().cend(),
                                          [&](qsizetype file) { return run.inserted.contains(file); });
        Flight* flight = run.logbookFlights.value(it.key());
        if (replaced && flight && !flight->isDeleted())
            doomed.append(flight);
    }
    removeIntersectFlights(doomed);
    run.summary.replaced = static_cast<int>(doomed.size());

    for (qsizetype i = 0; i < run.newFlights.size(); ++i) {
        Flight* flight = run.newFlights[i];
        if (!flight || flight->isDeleted())
            continue;
        run.summary.newFlights.append(flight->objectId());
    }
    (void)m_logbook.mainContext()->save();

    ImportSummary summary = std::move(run.summary);
    m_run.reset();
    m_running = false;
    emit finished(summary);
}

Flight* FlightImporter::insertNewFlightWithData(const FlightData& data)
{
    auto* flight = m_logbook.mainContext()->insert<Flight>();
    if (!flight)
        return nullptr;
    flight->initFromFlightData(flightValues(data));
    if (!m_logbook.mainContext()->save()) {
        m_logbook.mainContext()->deleteObject(flight);
        return nullptr;
    }
    m_queue.startCalcXCOperation(flight);
    (void)m_logbook.mainContext()->save();
    return flight;
}

void FlightImporter::removeIntersectFlights(const QList<Flight*>& flights)
{
    if (flights.isEmpty())
        return;
    for (Flight* flight : flights)
        m_logbook.mainContext()->deleteObject(flight);
    (void)m_logbook.mainContext()->save();
}

bool FlightImporter::recalcFlights(const QList<Flight*>& flights)
{
    if (m_running)
        return false;
    m_running = true;
    m_cancel = false;
    m_run = std::make_unique<Run>();
    m_run->recalc = true;
    const quint64 generation = ++m_generation;
    QList<std::pair<qsizetype, QString>> work;
    for (Flight* flight : flights) {
        m_run->recalcFlights.append(flight);
        work.append({m_run->recalcFlights.size() - 1, flight->igcData()});
    }
    const FlightDataSources sources = sourcesForRun();
    PersistentStore* global = m_services.globalStore;
    if (m_services.placeFinder)
        m_services.placeFinder->resetFailures();
    PlaceAnswerCache* placeAnswers = m_services.placeFinder ? m_services.placeFinder->answerCache() : nullptr;
    m_worker->start([this, work, sources, global, generation, placeAnswers] {
        yieldToInteractiveWork();
        FlightDataSources mine = sources;
        const std::unique_ptr<ObjectContext> globalData = globalContext(global);
        const std::unique_ptr<WaypointListFinder> waypoints = storedPlaces(globalData.get());
        mine.waypoints = waypoints.get();
        for (const auto& [index, text] : work) {
            if (m_cancel)
                break;
            FlightData data;
            if (!getDataFromIGC(data, text, mine))
                continue;
            if (placeAnswers && globalData)
                saveNewPlaceAnswers(*placeAnswers, *globalData);
            QMetaObject::invokeMethod(
                this,
                [this, generation, index, data] {
                    if (generation != m_generation || !m_run)
                        return;
                    Flight* flight = m_run->recalcFlights.value(index);
                    if (!flight || flight->isDeleted())
                        return;
                    flight->initFromFlightData(flightValues(data));
                    m_queue.startCalcXCOperation(flight);
                    (void)m_logbook.mainContext()->save();
                    ++m_run->updated;
                },
                Qt::QueuedConnection);
        }
        postFinishRun(generation);
    });
    return true;
}

FlightDataSources FlightImporter::sourcesForRun() const
{
    FlightDataSources sources;
    sources.placeFinder = m_services.placeFinder;
    sources.lastFlightGliderType = QSettings().value(QStringLiteral("LastFlightGliderType"), 0).toInt();
    sources.lastUsedGlider = lastUsedEquipment(m_services.globalStore, "LastUsedGlider");
    sources.lastUsedHarness = lastUsedEquipment(m_services.globalStore, "LastUsedHarness");
    return sources;
}

} // namespace kalvora
