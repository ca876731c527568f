#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include "logbook/overlapcheck.h"
#include "store/objectid.h"

class QThreadPool;

namespace kalvora {

class Flight;
class ObjectContext;
class PersistentStore;
class PlaceFinderLookup;
class XCQueue;
struct FlightData;
struct FlightDataSources;

/** A file that overlaps a flight of the logbook, as the overlap question shows it. */
struct OverlapConflict
{
    QString path;
    QDateTime fileStartUTC;      ///< the file's first fix
    qint64 fileFlightTimeS = 0;  ///< [s] first to last fix
    ObjectId flight;             ///< the logbook flight it overlaps
    QDateTime flightStartUTC;
    QDateTime flightLandingUTC;
    int fileNumber = 0;          ///< 1-based position among the files read
    int fileCount = 0;
};

/** "HH:MM:SS" of a duration [s] (hours may exceed 24; negative durations keep their sign). */
[[nodiscard]] QString durationString(qint64 seconds);

/**
 * Asks the user what to do with a file that overlaps a logbook flight. The GUI
 * answers with its overlap sheet, the command line with the terminal or a fixed
 * choice. ask() is called on the importer's thread; REPLY must be called once,
 * on that same thread, either before ask() returns or later (while the event
 * loop runs). An answer that never comes leaves the import waiting.
 */
class OverlapQuestion
{
public:
    virtual ~OverlapQuestion() = default;
    virtual void ask(const OverlapConflict& conflict, std::function<void(OverlapAnswer)> reply) = 0;
};

/** Always gives the same answer, for every conflict. */
class FixedOverlapAnswer final : public OverlapQuestion
{
public:
    explicit FixedOverlapAnswer(OverlapChoice choice) : m_choice(choice) {}
    void ask(const OverlapConflict&, std::function<void(OverlapAnswer)> reply) override
    {
        reply({m_choice, true});
    }

private:
    OverlapChoice m_choice;
};

/**
 * A track on an instrument as the import takes it: summarised from the
 * instrument's track list, downloaded only once the overlap check accepted it.
 */
struct InstrumentTrack
{
    QString name;           ///< how the user knows the track (its start), in alerts and summaries
    QDateTime startUTC;
    qint64 flightTimeS = 0; ///< [s]
    /** Downloads the track's IGC text; nullopt when the instrument gives none. Called on the importer's worker. */
    std::function<std::optional<QString>()> download;
};

/** A file that was not imported, and why (a sentence for the user). */
struct ImportFileFailure
{
    QString path;
    QString reason;
    bool operator==(const ImportFileFailure&) const = default;
};

/** What one import run did. */
struct ImportSummary
{
    QStringList imported;            ///< files that became flights, in order
    QStringList skipped;             ///< files left out by the overlap answers
    /** Files whose bytes equal a flight of the logbook or an earlier file of the run: left out unasked. */
    QStringList duplicates;
    QList<ImportFileFailure> failed; ///< unreadable, no track, or no flight data
    QList<ObjectId> newFlights;      ///< the flights inserted (still existing at the end)
    /** Imported files whose take-off or landing place the place finder could not name (it did not answer). */
    QStringList placesMissing;
    int replaced = 0;                ///< flights deleted because a file replaced them
    bool cancelled = false;          ///< cancelled in the overlap question: nothing imported or deleted
    bool stopped = false;            ///< the progress was cancelled: the rest of the files were not imported
};

/** What the importer reads besides the files. Everything optional. */
struct ImportServices
{
    /** Names places and gives the UTC offset; nullptr: no network look-ups. Must outlive the importer. */
    const PlaceFinderLookup* placeFinder = nullptr;
    /**
     * The global store (waypoints, last used equipment); nullptr: no waypoint
     * matching, no equipment names. Must outlive the importer; opened on the
     * importer's thread, whose event loop must run while the import does.
     */
    PersistentStore* globalStore = nullptr;
};

/**
 * Brings IGC files into one logbook: reads and summarises the files, asks
 * about overlaps with the logbook's flights, derives each flight's data,
 * inserts the flights, deletes the replaced ones and queues the XC scoring of
 * every new flight. The same object recomputes stored flights.
 *
 * Lives on the thread that owns the logbook's main context (the GUI thread):
 * every change to the logbook happens there. Reading files, analysis and
 * network look-ups run on one worker thread of its own. One run at a time.
 * Usable headless (command line) and by the logbook window.
 */
class FlightImporter final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FlightImporter)

public:
    /** The title of the progress shown while the flights are made. */
    static constexpr const char* progressTitle = "Importing track(s)...";

    /** Hex SHA-256 of a recording's bytes, as flights keep it in contentHash. */
    [[nodiscard]] static QString contentHash(const QByteArray& bytes);

    /** LOGBOOK, QUEUE and QUESTION must outlive the importer. */
    FlightImporter(PersistentStore& logbook, XCQueue& queue, OverlapQuestion& question, ImportServices services,
                   QObject* parent = nullptr);
    /** Cancels a running import and waits for its worker (at most one look-up's time-outs). */
    ~FlightImporter() override;

    /**
     * Starts importing PATHS (in order). Returns at once; finished() reports
     * the outcome. Returns false, doing nothing, while another run is going.
     */
    bool start(const QStringList& paths);

    /**
     * Starts importing instrument TRACKS (in order) the way start() imports
     * files: the overlap check on their list entries, then on the worker each
     * accepted track is downloaded, derived, inserted and saved; replaced
     * flights go only once a replacing track became a flight. The summary
     * names the tracks by InstrumentTrack::name. False while another run is going.
     */
    bool startTracks(const QList<InstrumentTrack>& tracks);

    /**
     * Recomputes the given flights from their IGC records: derives their data
     * anew, overwrites each flight with it and queues its XC scoring. Flights
     * without a readable record stay as they are. recalcFinished() reports the
     * outcome. Returns false while another run is going.
     */
    bool recalcFlights(const QList<Flight*>& flights);

    /** Stops the run before the next file (the progress sheet's cancel button). Any thread. */
    void cancel() { m_cancel = true; }
    bool isRunning() const { return m_running; }

    /**
     * Inserts one flight made from DATA, saves the logbook and queues its XC
     * scoring (used for tracks read from an instrument). nullptr when the
     * logbook cannot be written.
     */
    Flight* insertNewFlightWithData(const FlightData& data);

    /** Deletes FLIGHTS from the logbook and saves it. */
    void removeIntersectFlights(const QList<Flight*>& flights);

signals:
    /** The files are being read (before any question): TOTAL files, DONE of them read so far. */
    void readingStarted(int total);
    void readingChanged(int done);
    void readingFinished();
    /** The flights are about to be made: a determinate progress from 0 to MAXIMUM. */
    void progressStarted(const QString& title, int maximum);
    void progressChanged(int value);
    void progressFinished();
    /** A file was read but yields no flight ("Error importing IGC file" / "The file is no valid IGC record"). */
    void fileFailed(const QString& path);
    /** A flight was inserted (already saved; its scoring is already queued). */
    void flightInserted(const kalvora::ObjectId& flight);
    /** The run is over; SUMMARY.newFlights are the flights to select. */
    void finished(const kalvora::ImportSummary& summary);
    /** A recomputation is over: how many flights were updated. */
    void recalcFinished(int updated);

private:
    struct Run;
    struct ReadFile;
    /** What the worker made of one accepted file. */
    struct DerivedFlight
    {
        bool valid = false; ///< the file gave flight data
        ObjectId flight;    ///< the inserted flight; invalid when it could not be written
        QString failure;    ///< why not, for the user
        bool placesMissing = false;
    };

    void filesRead(QList<ReadFile> files);
    /** Whether FILE holds the same bytes as FLIGHT's record (for flights stored without a hash). */
    static bool sameRecording(const ReadFile& file, Flight& flight);
    void continueOverlapCheck();
    void answerOverlap(quint64 generation, const OverlapAnswer& answer);
    void deriveAccepted();
    void flightDerived(qsizetype index, const DerivedFlight& derived);
    /** Inserts and saves a flight made from DATA in CONTEXT (the worker's). */
    static DerivedFlight insertFlight(ObjectContext* context, const FlightData& data, const QString& hash);
    void finishRun();
    /** Queues finishRun() from the worker, unless a newer run started meanwhile. */
    void postFinishRun(quint64 generation);
    FlightDataSources sourcesForRun() const;

    PersistentStore& m_logbook;
    XCQueue& m_queue;
    OverlapQuestion& m_question;
    ImportServices m_services;
    std::unique_ptr<QThreadPool> m_worker;
    std::unique_ptr<Run> m_run;
    std::atomic<bool> m_cancel{false};
    bool m_running = false;
    quint64 m_generation = 0;
};

} // namespace kalvora

Q_DECLARE_METATYPE(kalvora::ImportSummary)
