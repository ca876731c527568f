#pragma once

#include <QObject>
#include <QString>

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

    /**
     * Opens (creating, or migrating an older version of) the store file at `path`
     * for `model`. Fails with a message when the file is not a store of this model,
     * was written by a newer version, or cannot be read or written.
     */
    [[nodiscard]] static Result<std::unique_ptr<PersistentStore>> open(const QString& path, const ObjectModel& model,
                                                                       OpenMode mode = OpenMode::CreateIfMissing);
    ~PersistentStore() override;

    const QString& path() const { return m_path; }
    /** The identity kept in the file; part of every record's URI. */
    const QString& storeId() const { return m_storeId; }
    const ObjectModel& model() const { return *m_model; }

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
    PersistentStore(QString path, const ObjectModel& model, QString storeId);
    void contextDidSave(ObjectContext* context, const SaveNotice& notice);
    /** After each commit, on the committing thread: background commits wait until they are durable. */
    void contextCommitted(bool mainContext);
    QString nextConnectionName();

    QString m_path;
    const ObjectModel* m_model;
    QString m_storeId;
    std::unique_ptr<WalSyncer> m_syncer; // outlives the main context
    std::unique_ptr<ObjectContext> m_mainContext;
    bool m_saveAfterMerge = true;
};

} // namespace kalvora
