#pragma once

#include <QList>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QWaitCondition>

#include <functional>
#include <memory>
#include <optional>

#include "store/objectid.h"
#include "waypoints/waypointimporter.h"

class QThread;
class QWidget;

namespace kalvora {

class LongTimeSheet;
class PersistentStore;
class WaypointAddressLookup;
class WaypointDuplicateSheet;

/**
 * The waypoint window's import of waypoint files. A worker thread reads the
 * files (in the order given, each in the format its content shows) and runs the importer's
 * duplicate check in a context of its own; each question goes to the GUI
 * thread as the sheet "WaypointDuplicate" while the worker waits for the
 * answer, so the window stays responsive. The insertion then runs on the
 * importer's thread with the progress sheet "Importing Waypoint(s)...", whose
 * cancel button stops it after the current waypoint. GUI thread.
 */
class WaypointFileImport final : public QObject, private DuplicateQuestion
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WaypointFileImport)

public:
    /** WINDOW hosts the sheets; STORE and LOOKUP (may be null: no addresses) must outlive this object. */
    WaypointFileImport(QWidget* window, PersistentStore& store, WaypointAddressLookup* lookup,
                       QObject* parent = nullptr);
    /** Cancels a question still open and waits for the run's threads. */
    ~WaypointFileImport() override;

    /** Imports the waypoints of PATHS; false (and nothing starts) while a run is going. */
    bool start(const QStringList& paths);
    /** Imports RECORDS (waypoints read from an instrument) the same way; false while a run is going. */
    bool startRecords(std::vector<WaypointRecord> records);
    [[nodiscard]] bool isRunning() const { return m_running; }

    [[nodiscard]] WaypointDuplicateSheet* duplicateSheet() const { return m_sheet; }
    [[nodiscard]] LongTimeSheet* progressSheet() const { return m_progress; }

signals:
    /** The run ended; INSERTED names the new waypoints in order (none when cancelled). */
    void finished(const QList<kalvora::ObjectId>& inserted);
    /**
     * Some files could not be read (unknown format, empty, unreadable) or had
     * entries that were skipped: one line per such file, naming it. Comes
     * before the duplicate questions; the waypoints that were read are imported.
     */
    void filesNotFullyRead(const QStringList& lines);

private:
    Answer ask(const QString& newName, const QString& existingName) override;
    void answer(int tag, bool applyToAll);
    void progressed(int done, int total);
    void runFinished(const QList<ObjectId>& inserted);
    void joinWorker();
    void stopInsertion();
    /** Starts the worker that reads its records with READ and imports them. */
    bool startRun(std::function<std::vector<WaypointRecord>()> read);

    QPointer<QWidget> m_window;
    PersistentStore& m_store;
    WaypointAddressLookup* m_lookup;
    WaypointDuplicateSheet* m_sheet = nullptr;
    LongTimeSheet* m_progress = nullptr;
    std::unique_ptr<QThread> m_worker;
    bool m_running = false;

    // Shared with the worker: the run's importer (made there), the question in flight, the end of the window.
    QMutex m_mutex;
    std::unique_ptr<WaypointImporter> m_importer;
    QWaitCondition m_answered;
    std::optional<Answer> m_answer;
    bool m_closing = false;
};

} // namespace kalvora
