#pragma once

#include <QString>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace kalvora {

/**
 * Makes a store's commits durable without holding up the GUI thread.
 *
 * Every connection commits with synchronous=NORMAL and without automatic
 * checkpoints, so a commit only writes to the write-ahead log and never syncs
 * while it holds the file's write lock: under heavy disk load one fdatasync
 * can take longer than a frame of the user interface may, and a GUI save
 * would otherwise also wait for a worker's sync to release the lock. After
 * each commit this thread syncs the log, and checkpoints it into the database
 * file once it has grown, so it does not grow without end. Workers wait for
 * that sync (their saves are durable when save() returns); the GUI thread does
 * not, so its commit reaches the disk a few milliseconds later. A crash of the
 * process loses nothing (the operating system holds the written log); only a
 * power cut within those milliseconds could take back the GUI's latest
 * commit, and the file stays consistent either way.
 */
class WalSyncer
{
public:
    /** The log is checkpointed once it is larger than this (SQLite's own default threshold). */
    static constexpr std::int64_t checkpointBytes = 4 * 1024 * 1024;

    explicit WalSyncer(QString databasePath);
    /** Syncs what is still pending, then ends the thread. */
    ~WalSyncer();
    WalSyncer(const WalSyncer&) = delete;
    WalSyncer& operator=(const WalSyncer&) = delete;

    /** A commit was written to the log. Returns at once. Any thread. */
    void committed();
    /** Blocks until every commit announced so far is on the disk. Any thread. */
    void waitUntilSynced();

private:
    void run();
    void syncOnce();

    QString m_path;
    QString m_connectionName;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::uint64_t m_requested = 0;
    std::uint64_t m_synced = 0;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace kalvora
