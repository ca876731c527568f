#pragma once

#include <QObject>
#include <QString>

class QSqlDatabase;

#include <atomic>
#include <memory>

#include "store/savenotice.h"
#include "track/result.h"

namespace kalvora {

class ObjectContext;
class WalSyncer;
struct ObjectModel;

/** The file-name extension of logbook documents, without the dot. */
inline constexpr const char* LogBookFileExtension = "kalvora";
/** The MIME type registered for logbook documents. */
inline constexpr const char* LogBookMimeType = "application/x-kalvora-logbook";
/** The global store's file name inside applicationFilesDirectory(). */
inline constexpr const char* GlobalStoreFileName = "Kalvora.storedata";

/** The folder "Kalvora" in the user's data folder ($XDG_DATA_HOME, else ~/.local/share). Not created here. */
QString applicationFilesDirectory();
/** applicationFilesDirectory() + "/Kalvora.storedata". */
QString globalStorePath();

/**
 * One store file (SQLite, WAL journal) and its object model. Opened on the GUI
 * thread, which then owns its main context. Every committed save survives a
 * crash of the process. Background saves reach the disk before save() returns;
 * the main context's saves reach it moments later from a thread of the store's
 * own, so that the GUI thread never waits for the disk (waitUntilDurable()).
 *
 * Saves of background contexts are merged into the main context on the thread
 * that opened the store while the saving thread waits (blocking queued call), so
 * that thread must keep its event loop running while background contexts save.
 * Every background context must be destroyed before its store.
 */
class PersistentStore final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PersistentStore)

public:
    enum class OpenMode
    {
        CreateIfMissing,
        MustExist,
    };

    enum class Access
    {
        ReadWrite, ///< fails when the file or its folder cannot be written
        ReadOnly,  ///< nothing is ever written, not even a migration
        AsAllowed, ///< read-write, or read-only when the file or its folder is read-only
    };

    struct OpenOptions
    {
        OpenMode mode = OpenMode::CreateIfMissing;
        Access access = Access::ReadWrite;
        /// Reads every page of an existing file first, so that damage is found before anything is
        /// written over it. Off only to look into a file already known to be damaged.
        bool checkIntegrity = true;
    };

    /** Why an opening failed, for callers that offer a way out. */
    enum class OpenProblem
    {
        None,
        Damaged,  ///< the file is an SQLite file with damaged pages (or not one any more)
        ReadOnly, ///< the file would have to be written and cannot be
        Other,
    };

    /**
     * Opens (creating, or migrating an older version of) the store file at `path`
     * for `model`. Fails with a message when the file is not a store of this model,
     * was written by a newer version, is damaged, or cannot be read or written.
     * Opening writes nothing unless the file is new or must be brought up to date.
     */
    [[nodiscard]] static Result<std::unique_ptr<PersistentStore>> open(const QString& path, const ObjectModel& model,
                                                                       OpenMode mode = OpenMode::CreateIfMissing);
    [[nodiscard]] static Result<std::unique_ptr<PersistentStore>> open(const QString& path, const ObjectModel& model,
                                                                       const OpenOptions& options,
                                                                       OpenProblem* problem = nullptr);
    ~PersistentStore() override;

    const QString& path() const { return m_path; }
    /** The identity kept in the file; part of every record's URI. */
    const QString& storeId() const { return m_storeId; }
    const ObjectModel& model() const { return *m_model; }
    /** Whether the store was opened read-only; its saves then fail. */
    bool isReadOnly() const { return m_readOnly; }

    /** The main context, created on first call. GUI thread (the opening thread) only. */
    ObjectContext* mainContext();
    /** A new context for the calling thread, which must be the only one to use and destroy it. */
    [[nodiscard]] Result<std::unique_ptr<ObjectContext>> newBackgroundContext();

    /**
     * Blocks until every save so far is on the disk. Any thread. Closing the
     * store does this as well.
     */
    void waitUntilDurable();

    /** Whether the main context is saved after each merge (default true). */
    void setSavesMainContextAfterMerge(bool save) { m_saveAfterMerge = save; }

    /** The schema version this build writes. */
    static int currentSchemaVersion(const ObjectModel& model);

signals:
    /** On the GUI thread after a background save was merged into the main context. */
    void mergedIntoMainContext(const kalvora::SaveNotice& notice);

private:
    friend class ObjectContext;
    PersistentStore(QString path, const ObjectModel& model, QString storeId, bool readOnly, bool immutable);
    /** Names the file and sets the options of a new connection to it. */
    void configure(QSqlDatabase& db) const;
    void contextDidSave(ObjectContext* context, const SaveNotice& notice);
    /** After each commit, on the committing thread: background commits wait until they are durable. */
    void contextCommitted(bool mainContext);
    QString nextConnectionName();

    QString m_path;
    const ObjectModel* m_model;
    QString m_storeId;
    std::unique_ptr<WalSyncer> m_syncer; // outlives the main context; none when read-only
    std::unique_ptr<ObjectContext> m_mainContext;
    bool m_saveAfterMerge = true;
    bool m_readOnly = false;
    bool m_immutable = false; ///< read-only in a folder where SQLite cannot keep its lock files
};

} // namespace kalvora
