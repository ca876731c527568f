#pragma once

#include <QDate>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

#include "track/result.h"

class QThreadPool;

namespace kalvora {

/** One backup copy of a logbook. */
struct BackupCopy
{
    QString path;
    QDate date;         ///< the day it was taken (local time)
    qint64 flights = -1; ///< flights it holds; -1 when the copy cannot be read
    bool operator==(const BackupCopy&) const = default;
};

/**
 * Of the days on which copies were taken, those whose copies go: the newest
 * dailyCopies days stay, and of the older ones the newest copy of each of the
 * weeklyCopies weeks (Monday to Sunday) before them. Any order in, any order out.
 */
[[nodiscard]] QList<QDate> expiredBackupDays(const QList<QDate>& days);

/**
 * The logbook's backups: when a logbook is opened and has changed since its
 * last copy, a copy is taken in the background (SQLite's online backup, never
 * a plain file copy of a live store) into a folder of its own under the
 * application's data folder, one per day; the last dailyCopies days and
 * weeklyCopies weekly copies are kept. A copy is restored as a new logbook
 * file beside the original, which is never written. Lives on the GUI thread.
 */
class LogBookBackups final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LogBookBackups)

public:
    static constexpr int dailyCopies = 7;
    static constexpr int weeklyCopies = 4;

    /** ROOT: the folder holding every logbook's backup folder ("Backups" in the application folder by default). */
    explicit LogBookBackups(QString root = defaultRoot(), QObject* parent = nullptr);
    /** Waits for a copy being taken: a copy cut short would be thrown away. */
    ~LogBookBackups() override;

    /** applicationFilesDirectory() + "/Backups". */
    [[nodiscard]] static QString defaultRoot();
    /** The folder of LOGBOOK's copies: its name and a short fingerprint of its full path. */
    [[nodiscard]] QString folderFor(const QString& logbookPath) const;

    /** Whether LOGBOOK changed since its last copy was begun (or has none). */
    [[nodiscard]] bool hasChangedSinceLastBackup(const QString& logbookPath) const;
    /**
     * Takes a copy of LOGBOOK in the background when it changed since the
     * last one; backupFinished() reports it. False when none was started.
     */
    bool backUpIfChanged(const QString& logbookPath);
    /** Takes a copy now, on the calling thread, and drops expired ones. */
    Result<QString> backUpNow(const QString& logbookPath);

    /** LOGBOOK's copies, newest first, with the flights each holds. */
    [[nodiscard]] QList<BackupCopy> copies(const QString& logbookPath) const;

    /**
     * Writes COPY as a new logbook file into FOLDER, named after the logbook
     * and the copy's date ("Alps (backup 2026-12-01).kalvora", numbered when
     * taken); never replaces a file. Returns the new file's path.
     */
    [[nodiscard]] static Result<QString> restore(const BackupCopy& copy, const QString& logbookName,
                                                 const QString& folder);

    /** Blocks until no copy is being taken. */
    void waitForDone();

signals:
    /** A background copy ended: COPY is its path, or ERROR says why there is none. */
    void backupFinished(const QString& logbookPath, const QString& copy, const QString& error);

private:
    QString m_root;
    std::unique_ptr<QThreadPool> m_pool;
};

} // namespace kalvora
