#include "store/walsyncer.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <atomic>

#include <fcntl.h>
#include <unistd.h>

#include "store/storeschema.h"

namespace kalvora {

namespace {
std::atomic<int> g_syncerSerial{0};
}

WalSyncer::WalSyncer(QString databasePath)
    : m_path(std::move(databasePath)),
      m_connectionName(QStringLiteral("kalvora-walsync-%1").arg(++g_syncerSerial))
{
    m_thread = std::thread([this] { run(); });
}

WalSyncer::~WalSyncer()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void WalSyncer::committed()
{
    {
        std::lock_guard lock(m_mutex);
        ++m_requested;
    }
    m_wake.notify_one();
}

void WalSyncer::waitUntilSynced()
{
    std::unique_lock lock(m_mutex);
    const std::uint64_t target = m_requested;
    m_done.wait(lock, [&] { return m_synced >= target; });
}

void WalSyncer::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [&] { return m_stop || m_requested > m_synced; });
        if (m_requested == m_synced && m_stop)
            break;
        // Commits that arrive while one sync runs are covered by the next one.
        const std::uint64_t target = m_requested;
        lock.unlock();
        syncOnce();
        lock.lock();
        m_synced = target;
        m_done.notify_all();
    }
    lock.unlock();
    // The connection belongs to this thread; it goes with it.
    if (QSqlDatabase::contains(m_connectionName)) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

void WalSyncer::syncOnce()
{
    const QString walPath = m_path + QStringLiteral("-wal");
    // fdatasync flushes the file's data whichever descriptor asks, so the
    // log's pages written by the GUI connection reach the disk here.
    const int fd = ::open(QFile::encodeName(walPath).constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fdatasync(fd);
        ::close(fd);
    }
    if (QFileInfo(walPath).size() <= checkpointBytes)
        return;
    if (!QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
        db.setDatabaseName(m_path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    }
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (!db.isOpen() && !db.open())
        return; // the log just grows; the next round tries again
    // PASSIVE never waits for the GUI connection's readers or writer; what it
    // cannot copy now is copied by a later round.
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)")) || !q.next())
        return;
    const bool complete = q.value(0).toInt() == 0 && q.value(1).toInt() > 0 && q.value(1) == q.value(2);
    q.finish();
    if (!complete)
        return;
    // The first write after a complete checkpoint starts the log over and
    // must sync its new header, whatever the connection's synchronous mode.
    // Doing that write here keeps the sync off the GUI thread.
    (void)q.exec(QStringLiteral("UPDATE %1 SET value = value WHERE key = 'storeId'")
                     .arg(QLatin1String(schema::MetadataTable)));
    q.finish();
}

} // namespace kalvora
