#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QVariant>

#include "store/objectid.h"
#include "store/predicate.h"
#include "store/savenotice.h"
#include "track/result.h"

class QSqlDatabase;
class QSqlError;
class QSqlQuery;
struct sqlite3;
struct sqlite3_stmt;

namespace kalvora {

class PersistentStore;
class StoredObject;
class StoredRow;
struct EntityDescription;

/**
 * A scratch pad of records over one store file, used by one thread only: the
 * store's main context on the GUI thread, background contexts on the threads
 * that create them (PersistentStore::newBackgroundContext). Each context has
 * its own SQLite connection.
 *
 * Fetches see this context's unsaved inserts, changes and deletions on top of
 * what the file holds. save() writes all changes in one transaction and hands
 * its SaveNotice to the store, which merges it into the main context on the
 * GUI thread (the saving thread waits for that).
 */
class ObjectContext final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ObjectContext)

public:
    ~ObjectContext() override;

    PersistentStore& store() const { return *m_store; }
    bool isMainContext() const;

    /** A new record of `entity` (nullptr for an unknown entity); its identifier is temporary until saved. */
    StoredObject* insertObject(const QString& entity);
    template <typename T>
    T* insert()
    {
        ensureRegistered<T>();
        return qobject_cast<T*>(insertObject(QString::fromLatin1(T::EntityName)));
    }

    /** Marks a record (and, by the delete rules, its dependants) for deletion at the next save. */
    void deleteObject(StoredObject* object);

    /** Records matching the request, sorted; an error for an unknown entity or key or a failing file. */
    [[nodiscard]] Result<QList<StoredObject*>> fetch(const FetchRequest& request);
    /** Typed fetch; empty on error. */
    template <typename T>
    QList<T*> fetch(const Predicate& predicate = {}, const QList<SortDescriptor>& sort = {})
    {
        ensureRegistered<T>();
        QList<T*> out;
        auto found = fetch(FetchRequest{QString::fromLatin1(T::EntityName), predicate, sort, 0});
        if (found)
            for (StoredObject* o : *found)
                if (T* t = qobject_cast<T*>(o))
                    out.append(t);
        return out;
    }
    [[nodiscard]] Result<qint64> count(const FetchRequest& request);

    /** The record with this identifier, or nullptr when it does not exist (any more) or is not of this store. */
    StoredObject* existingObject(const ObjectId& id);
    StoredObject* existingObject(const QString& uriString);

    bool hasChanges() const;
    /**
     * The first failed read of this context ("The file … is damaged (…)." and the
     * like), empty while every read succeeded. A value that could not be read
     * reads as absent, so callers that act on what they read check this.
     */
    const QString& readError() const { return m_readError; }
    /** Writes every change in one transaction. On failure nothing is written and the changes stay pending. */
    [[nodiscard]] Result<Done> save();
    /** Forgets every unsaved change: inserted records are dropped, changed ones reloaded. */
    void rollback();
    /**
     * Lets go of the large values (IGC text, pictures) a saved record has read, so a
     * long session over many flights does not keep them all; they are read again on
     * the next access. Unsaved changes stay.
     */
    void releaseLargeValues(StoredObject* object);

    /** Applies another context's save: refreshes, and drops records deleted there. */
    void mergeChanges(const SaveNotice& notice);

    /**
     * Undo history of attribute and relationship assignments (not of inserts and
     * deletions). Assignments between beginUndoGroup() and endUndoGroup() undo as one;
     * others undo one by one, each together with the assignments its observers made.
     */
    bool canUndo() const { return !m_undo.isEmpty(); }
    bool canRedo() const { return !m_redo.isEmpty(); }
    void undo();
    void redo();
    void beginUndoGroup();
    void endUndoGroup();
    void setUndoEnabled(bool enabled) { m_undoEnabled = enabled; }

    /**
     * Whether save() of this background context waits until the main context
     * has merged it (default true). A worker that the GUI thread may wait for
     * (one joined when a window closes) must not wait, or each would wait for
     * the other; its saves are then merged when the GUI thread's event loop
     * next runs, before anything the worker queues to that thread afterwards.
     */
    void setWaitsForMerge(bool wait) { m_waitsForMerge = wait; }
    bool waitsForMerge() const { return m_waitsForMerge; }
    void clearUndoHistory();

signals:
    /** A read failed (a damaged file, a lost disk); on the context's thread, for every failure. */
    void readFailedWith(const QString& message);
    /** After each successful save of this context, on its thread. */
    void didSave(const kalvora::SaveNotice& notice);
    /** After a merge or a save of this context: lists showing its records should reload. */
    void objectsDidChange(const kalvora::SaveNotice& notice);

private:
    friend class PersistentStore;
    friend class StoredObject;

    struct UndoEntry
    {
        StoredObject* object = nullptr;
        QString key;
        QVariant oldValue;
        QVariant newValue;
    };
    using UndoGroup = QList<UndoEntry>;

    ObjectContext(PersistentStore& store, const QString& connectionName);
    Result<Done> openConnection();
    QSqlDatabase database() const;
    void readFailed(const QSqlError& error);

    template <typename T>
    static void ensureRegistered();

    StoredObject* registered(const QString& entity, qint64 row) const;
    StoredObject* objectForRow(const EntityDescription& entity, qint64 row);
    StoredObject* materialise(const EntityDescription& entity, const StoredRow& row);
    void fillFromRow(StoredObject* object, const StoredRow& row, bool keepChanged);
    /** The records of the rows SQL selects (key first, then the eager columns), in row order. */
    Result<QList<StoredObject*>> readRows(const EntityDescription& entity, const QString& sql,
                                          const QVariantList& binds);
    Result<QList<StoredObject*>> readRowsThroughDriver(const EntityDescription& entity, const QString& sql,
                                                       const QVariantList& binds);
    void finaliseStatements();
    QVariant loadLazy(const StoredObject* object, const QString& key);
    bool lazyValueExists(const StoredObject* object, const QString& key);
    bool matches(const StoredObject* object, const Predicate& predicate) const;
    bool hasPendingChangesFor(const QString& entity) const;
    void objectDidChange(StoredObject* object);
    void registerUndo(StoredObject* object, const QString& key, const QVariant& oldValue, const QVariant& newValue);
    void refresh(StoredObject* object);
    void forget(StoredObject* object);

    PersistentStore* m_store = nullptr;
    QString m_connectionName;
    QString m_readError;
    /// The connection's own SQLite handle when this program and the driver share one SQLite library;
    /// rows are then read straight from it (see readRows()). Owned by the driver.
    sqlite3* m_handle = nullptr;
    QHash<QString, sqlite3_stmt*> m_rowStatements; ///< prepared fetches on m_handle by their SQL, owned
    QHash<QString, QSqlQuery*> m_statements;       ///< prepared fetches through the driver by their SQL, owned
    QSet<QString> m_busyStatements;                ///< those whose rows are being read
    QHash<QString, QHash<qint64, StoredObject*>> m_registered; // entity -> row -> record
    QList<StoredObject*> m_inserted;
    QSet<StoredObject*> m_updated;
    QList<StoredObject*> m_deleted;
    QList<UndoGroup> m_undo;
    QList<UndoGroup> m_redo;
    int m_undoGroupDepth = 0;
    bool m_undoEnabled = true;
    bool m_waitsForMerge = true;
    bool m_undoing = false;
    int m_assignmentDepth = 0; ///< > 0 while observers react to an assignment
};

} // namespace kalvora

#include "store/storedobject.h"

template <typename T>
void kalvora::ObjectContext::ensureRegistered()
{
    static const bool once = registerRecordClass<T>();
    (void)once;
}
