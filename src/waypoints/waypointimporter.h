#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

#include "store/objectid.h"
#include "waypoints/waypointrecord.h"

namespace kalvora {

class ObjectContext;
class PersistentStore;
class Waypoint;
class WaypointAddressLookup;

/**
 * The question put to the user for a record that lies on a stored waypoint.
 * Choices 1 and 2 import the record beside the stored one, 3 skips it, any
 * other number cancels the whole import. Called on the importer's thread.
 */
class DuplicateQuestion
{
public:
    struct Answer
    {
        int choice = 0;
        bool applyToAll = false; ///< use this choice for every further duplicate without asking
    };
    static constexpr int KeepChoice = 1;
    static constexpr int KeepAlsoChoice = 2;
    static constexpr int SkipChoice = 3;
    static constexpr int CancelChoice = 0;

    virtual ~DuplicateQuestion() = default;
    /** NEWNAME is the record's short name, EXISTINGNAME the stored waypoint's name. */
    virtual Answer ask(const QString& newName, const QString& existingName) = 0;
};

/**
 * Imports waypoint records (from WPT files or an instrument) into the global
 * store. One importer per run:
 *
 * 1. the duplicate check, on the calling thread: each record whose nearest
 *    stored waypoint is 250 m away or closer is put to the DuplicateQuestion;
 * 2. the insertion, on a thread of its own with its own context of the store:
 *    each record becomes a private Waypoint named by its trimmed short name,
 *    addressed through the WaypointAddressLookup, and saved. The store merges
 *    every save into its main context.
 *
 * progress() and finished() are delivered on the thread that owns the importer
 * (its event loop must run, as it must for the store's merges).
 */
class WaypointImporter final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WaypointImporter)

public:
    /** Duplicates lie this close to a stored waypoint [m]. */
    static constexpr qint64 DuplicateDistanceM = 250;

    /** STORE, QUESTION and LOOKUP (may be null: no addresses) must outlive the run. */
    WaypointImporter(PersistentStore& store, std::vector<WaypointRecord> importList,
                     DuplicateQuestion& question, WaypointAddressLookup* lookup, QObject* parent = nullptr);
    ~WaypointImporter() override;

    /**
     * Runs the duplicate check now, then starts the insertion and returns.
     * finished() follows in every case (at once, with nothing, when the check
     * was cancelled or nothing is left to import).
     */
    void import();

    /** Stops a running insertion before its next record; what was inserted stays. Any thread. */
    void stop() { m_longTimeCanceled = true; }
    /** Blocks until the insertion thread has ended; true when it did within TIMEOUTMS. */
    bool wait(int timeoutMs = 60000);

    /** Phase 1 alone: returns false when the user cancelled. Exposed for the callers that need no thread. */
    bool checkDuplicates(ObjectContext& context);

    const std::vector<WaypointRecord>& importList() const { return m_importList; }
    bool isCanceled() const { return m_cancel; }

    /**
     * The stored waypoint nearest to (latitudeMicro, longitudeMicro) when it is
     * 250 m away or closer; nullptr otherwise (also for an empty store).
     */
    static Waypoint* waypointIntersects(ObjectContext& context, qint64 latitudeMicro, qint64 longitudeMicro);

signals:
    /** DONE of TOTAL records handled by the insertion. */
    void progress(int done, int total);
    /** The identifiers of the waypoints inserted, in order (for selecting them in the waypoint window). */
    void finished(const QList<kalvora::ObjectId>& inserted);

private:
    void applyChoice(int choice);
    /** Checks up to COUNT more records from m_counter on against CONTEXT's store. */
    void checkSome(ObjectContext& context, int count);
    void insertAll();

    PersistentStore& m_store;
    std::vector<WaypointRecord> m_importList;
    DuplicateQuestion& m_question;
    WaypointAddressLookup* m_lookup;
    int m_counter = 0;
    int m_lastChoice = -1;
    bool m_cancel = false;
    std::atomic<bool> m_longTimeCanceled{false};
    std::unique_ptr<QThread> m_thread;
};

} // namespace kalvora
