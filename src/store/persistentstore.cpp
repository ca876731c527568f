#include "store/persistentstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QSet>
#include <QThread>
#include <QUrl>
#include <QUuid>

#include <functional>

#include <unistd.h>

#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/storeschema.h"
#include "store/walsyncer.h"

namespace kalvora {

QString applicationFilesDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Kalvora");
}

QString globalStorePath()
{
    return applicationFilesDirectory() + QLatin1Char('/') + QLatin1String(GlobalStoreFileName);
}

namespace {

std::atomic<int> g_setupSerial{0};
// Process-wide, not per store: two stores over the same file share the store id,
// and Qt silently replaces a connection whose name is reused.
std::atomic<int> g_connectionSerial{0};

std::string text(const QString& s)
{
    return s.toStdString();
}

/** Removes a named connection once every handle to it is gone. */
struct ConnectionGuard
{
    QString name;
    ~ConnectionGuard() { QSqlDatabase::removeDatabase(name); }
};

/**
 * Changes from one schema version to the next that the inferred mapping (added
 * tables and columns) cannot express, such as renamed or retyped columns. The
 * first versioned release needs none; later releases add theirs here.
 */
struct Migration
{
    int fromVersion;
    std::function<bool(QSqlDatabase&)> apply;
};

QList<Migration> migrationsFor(const ObjectModel&)
{
    return {};
}

/** What a look at the file found, before anything is written. */
struct Inspection
{
    QString storeId;
    bool schemaCurrent = false; ///< every table, column and index is there
    bool walMode = false;       ///< the file keeps a write-ahead log
    /** Whether a writer must change the file before using it. */
    bool upToDate() const { return schemaCurrent && walMode; }
};

std::string sqlFailure(const QSqlError& error, const QString& path, const char* doing)
{
    return schema::describe(error, path, doing);
}

/**
 * Reads what the file holds: its identity, model and version, and whether
 * its tables have every column and index of MODEL. Writes nothing, so that a
 * file that is not ours stays as it was.
 */
Result<Inspection> inspect(QSqlDatabase& db, const QString& path, const ObjectModel& model, bool fileIsNew,
                           PersistentStore::OpenProblem& problem)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    // db.tables() swallows errors; a file that is no database must say so.
    if (!q.exec(QStringLiteral("SELECT type, name FROM sqlite_master"))) {
        if (schema::failureOf(q.lastError()) == schema::Failure::Damaged) {
            // "file is not a database": plain text, a foreign format, or a store whose first page is gone.
            problem = PersistentStore::OpenProblem::Other;
            return Error{"The file is not a Kalvora data file (" + text(q.lastError().databaseText()) + ")."};
        }
        problem = PersistentStore::OpenProblem::Other;
        return Error{sqlFailure(q.lastError(), path, "The file could not be read")};
    }
    QSet<QString> tables;
    QSet<QString> indexes;
    while (q.next()) {
        if (q.value(0).toString() == QLatin1String("table"))
            tables.insert(q.value(1).toString());
        else if (q.value(0).toString() == QLatin1String("index"))
            indexes.insert(q.value(1).toString());
    }
    if (q.lastError().isValid()) {
        problem = PersistentStore::OpenProblem::Damaged;
        return Error{sqlFailure(q.lastError(), path, "The file could not be read")};
    }
    q.finish();

    Inspection found;
    int version = 0;
    if (tables.contains(QLatin1String(schema::MetadataTable))) {
        if (!q.exec(QStringLiteral("SELECT key, value FROM %1").arg(QLatin1String(schema::MetadataTable)))) {
            problem = PersistentStore::OpenProblem::Other;
            return Error{sqlFailure(q.lastError(), path, "The file could not be read")};
        }
        QString modelName;
        while (q.next()) {
            if (q.value(0).toString() == QLatin1String("storeId"))
                found.storeId = q.value(1).toString();
            else if (q.value(0).toString() == QLatin1String("model"))
                modelName = q.value(1).toString();
        }
        q.finish();
        if (modelName != model.name) {
            problem = PersistentStore::OpenProblem::Other;
            return Error{text(QStringLiteral("The file holds a \"%1\" store, not a \"%2\" store.").arg(modelName, model.name))};
        }
        if (tables.contains(QLatin1String(schema::VersionTable))) {
            if (!q.exec(QStringLiteral("SELECT version FROM %1").arg(QLatin1String(schema::VersionTable))) || !q.next()) {
                problem = PersistentStore::OpenProblem::Other;
                return Error{"The file's schema version cannot be read."};
            }
            version = q.value(0).toInt();
            q.finish();
        }
    } else if (!tables.isEmpty() || !fileIsNew) {
        // An SQLite file of some other program, or an empty one that is not ours to fill.
        if (!tables.isEmpty()) {
            problem = PersistentStore::OpenProblem::Other;
            return Error{"The file is not a Kalvora data file."};
        }
    }
    if (version > model.version) {
        problem = PersistentStore::OpenProblem::Other;
        return Error{text(QStringLiteral("The file was written by a newer version of Kalvora (schema %1, this version "
                                         "reads up to %2).")
                              .arg(version)
                              .arg(model.version))};
    }
    if (found.storeId.isEmpty() || version < model.version)
        return found;

    for (const EntityDescription& e : model.entities) {
        if (!tables.contains(e.name))
            return found;
        QSet<QString> existing;
        if (!q.exec(QStringLiteral("PRAGMA table_info(%1)").arg(schema::quoted(e.name)))) {
            problem = PersistentStore::OpenProblem::Other;
            return Error{sqlFailure(q.lastError(), path, "The file could not be read")};
        }
        while (q.next())
            existing.insert(q.value(1).toString());
        q.finish();
        for (const auto& column : schema::columns(e))
            if (!existing.contains(column.first))
                return found;
        for (const QString& sql : schema::createIndexSql(e)) {
            // "CREATE INDEX IF NOT EXISTS "name" ON ...": the quoted name is the second quoted word.
            const QString name = sql.section(QLatin1Char('"'), 1, 1).replace(QStringLiteral("\"\""), QStringLiteral("\""));
            if (!indexes.contains(name))
                return found;
        }
    }
    if (!q.exec(QStringLiteral("PRAGMA journal_mode")) || !q.next()) {
        problem = PersistentStore::OpenProblem::Other;
        return Error{sqlFailure(q.lastError(), path, "The file could not be read")};
    }
    found.schemaCurrent = true;
    found.walMode = q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0;
    q.finish();
    return found;
}

/** Reads every page of the file: damage shows here, before anything is written over it. */
Result<Done> checkIntegrity(QSqlDatabase& db, const QString& path, PersistentStore::OpenProblem& problem)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    // Only the first few findings; one is enough to refuse the file.
    if (!q.exec(QStringLiteral("PRAGMA quick_check(3)"))) {
        problem = schema::failureOf(q.lastError()) == schema::Failure::Damaged ? PersistentStore::OpenProblem::Damaged
                                                                                : PersistentStore::OpenProblem::Other;
        return Error{sqlFailure(q.lastError(), path, "The file could not be checked")};
    }
    QStringList findings;
    while (q.next())
        for (const QString& line : q.value(0).toString().split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            if (!line.startsWith(QLatin1String("***")))
                findings.append(line.trimmed());
    if (q.lastError().isValid()) {
        problem = PersistentStore::OpenProblem::Damaged;
        return Error{sqlFailure(q.lastError(), path, "The file could not be checked")};
    }
    if (findings == QStringList{QStringLiteral("ok")})
        return Done{};
    problem = PersistentStore::OpenProblem::Damaged;
    return Error{text(QStringLiteral("The file “%1” is damaged (%2).")
                          .arg(QDir::toNativeSeparators(path), findings.join(QStringLiteral("; "))))};
}

/**
 * Creates the store in a new file, or brings an older one up to date, in one
 * transaction that holds the write lock from its start: two programs opening
 * the same new file at once then take turns instead of failing.
 */
Result<QString> migrate(QSqlDatabase& db, const QString& path, const ObjectModel& model, bool fileIsNew,
                        PersistentStore::OpenProblem& problem)
{
    QSqlQuery q(db);
    // WAL lets background connections write while the GUI connection reads; the
    // mode is kept in the file. Only now that the file is known to be ours.
    if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL"))) {
        problem = schema::failureOf(q.lastError()) == schema::Failure::ReadOnly ? PersistentStore::OpenProblem::ReadOnly
                                                                                 : PersistentStore::OpenProblem::Other;
        return Error{sqlFailure(q.lastError(), path, "The file could not be prepared for writing")};
    }
    q.finish();
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        problem = schema::failureOf(q.lastError()) == schema::Failure::ReadOnly ? PersistentStore::OpenProblem::ReadOnly
                                                                                 : PersistentStore::OpenProblem::Other;
        return Error{sqlFailure(q.lastError(), path, "The file could not be opened for writing")};
    }
    auto fail = [&](const std::string& reason) -> Result<QString> {
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        if (problem == PersistentStore::OpenProblem::None)
            problem = PersistentStore::OpenProblem::Other;
        return Error{reason};
    };
    auto failQuery = [&](const QSqlQuery& failed) {
        return fail(sqlFailure(failed.lastError(), path, "The file could not be brought up to date"));
    };

    // Another program may have done this between the look and the lock.
    Result<Inspection> again = inspect(db, path, model, fileIsNew, problem);
    if (!again)
        return fail(again.error());
    QString storeId = again->storeId;
    if (again->upToDate()) {
        if (!QSqlQuery(db).exec(QStringLiteral("COMMIT")))
            return fail("The file could not be opened.");
        return storeId;
    }

    if (storeId.isEmpty()) {
        storeId = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (key TEXT PRIMARY KEY, value TEXT)")
                        .arg(QLatin1String(schema::MetadataTable))))
            return failQuery(q);
        q.prepare(QStringLiteral("INSERT OR REPLACE INTO %1 (key, value) VALUES (?, ?)")
                      .arg(QLatin1String(schema::MetadataTable)));
        for (const auto& [k, v] : {std::pair{QStringLiteral("storeId"), storeId},
                                   std::pair{QStringLiteral("model"), model.name}}) {
            q.addBindValue(k);
            q.addBindValue(v);
            if (!q.exec())
                return failQuery(q);
        }
    }

    int version = 0;
    if (q.exec(QStringLiteral("SELECT version FROM %1").arg(QLatin1String(schema::VersionTable))) && q.next())
        version = q.value(0).toInt();
    q.finish();
    for (const Migration& m : migrationsFor(model)) {
        if (m.fromVersion >= version && m.fromVersion < model.version && !m.apply(db))
            return fail(text(QStringLiteral("The file could not be brought up to date (step from version %1).")
                                 .arg(m.fromVersion)));
    }

    // Inferred mapping: every entity gets its table and every attribute and
    // reference its column, so files of older versions gain what is new.
    for (const EntityDescription& e : model.entities) {
        if (!q.exec(schema::createTableSql(e)))
            return failQuery(q);
        QStringList existing;
        if (!q.exec(QStringLiteral("PRAGMA table_info(%1)").arg(schema::quoted(e.name))))
            return failQuery(q);
        while (q.next())
            existing.append(q.value(1).toString());
        q.finish();
        for (const auto& [column, type] : schema::columns(e)) {
            if (existing.contains(column))
                continue;
            if (!q.exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3").arg(schema::quoted(e.name),
                                                                              schema::quoted(column), type)))
                return failQuery(q);
        }
        for (const QString& sql : schema::createIndexSql(e))
            if (!q.exec(sql))
                return failQuery(q);
    }

    if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (version INTEGER NOT NULL)")
                    .arg(QLatin1String(schema::VersionTable))) ||
        !q.exec(QStringLiteral("DELETE FROM %1").arg(QLatin1String(schema::VersionTable))) ||
        !q.exec(QStringLiteral("INSERT INTO %1 (version) VALUES (%2)")
                    .arg(QLatin1String(schema::VersionTable))
                    .arg(model.version)))
        return failQuery(q);
    q.finish();
    if (!q.exec(QStringLiteral("COMMIT")))
        return failQuery(q);
    return storeId;
}

void configureConnection(QSqlDatabase& db, const QString& path, bool readOnly, bool immutable)
{
    QString connectOptions = QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000");
    if (readOnly)
        connectOptions += QStringLiteral(";QSQLITE_OPEN_READONLY");
    if (immutable) {
        connectOptions += QStringLiteral(";QSQLITE_OPEN_URI");
        db.setDatabaseName(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) + QStringLiteral("?mode=ro&immutable=1"));
    } else {
        db.setDatabaseName(path);
    }
    db.setConnectOptions(connectOptions);
}

bool writable(const QString& path)
{
    return ::access(QFile::encodeName(path).constData(), W_OK) == 0;
}

} // namespace

PersistentStore::PersistentStore(QString path, const ObjectModel& model, QString storeId, bool readOnly,
                                 bool immutable)
    : m_path(std::move(path)), m_model(&model), m_storeId(std::move(storeId)),
      m_syncer(readOnly ? nullptr : std::make_unique<WalSyncer>(m_path)), m_readOnly(readOnly),
      m_immutable(immutable)
{
    qRegisterMetaType<kalvora::SaveNotice>();
}

PersistentStore::~PersistentStore()
{
    m_mainContext.reset();
    // Last: its connection may be the file's last one, whose closing folds the log into the file.
    m_syncer.reset();
}

void PersistentStore::contextCommitted(bool mainContext)
{
    if (!m_syncer)
        return;
    m_syncer->committed();
    // Workers may wait for the disk; the GUI thread must not.
    if (!mainContext)
        m_syncer->waitUntilSynced();
}

void PersistentStore::waitUntilDurable()
{
    if (m_syncer)
        m_syncer->waitUntilSynced();
}

int PersistentStore::currentSchemaVersion(const ObjectModel& model)
{
    return model.version;
}

Result<std::unique_ptr<PersistentStore>> PersistentStore::open(const QString& path, const ObjectModel& model,
                                                               OpenMode mode)
{
    return open(path, model, OpenOptions{mode, Access::ReadWrite, true});
}

Result<std::unique_ptr<PersistentStore>> PersistentStore::open(const QString& path, const ObjectModel& model,
                                                               const OpenOptions& options, OpenProblem* problemOut)
{
    OpenProblem problem = OpenProblem::None;
    auto failed = [&](OpenProblem why, std::string message) -> Result<std::unique_ptr<PersistentStore>> {
        if (problemOut)
            *problemOut = why;
        return Error{std::move(message)};
    };
    const QFileInfo info(path);
    const QString shown = QDir::toNativeSeparators(path);
    if (info.exists() && !info.isFile())
        return failed(OpenProblem::Other, "“" + text(shown) + "” is not a file.");
    if (!info.exists() && options.mode == OpenMode::MustExist)
        return failed(OpenProblem::Other, "The file “" + text(shown) + "” does not exist.");
    if (!info.exists() && !info.dir().exists())
        return failed(OpenProblem::Other, "The folder of “" + text(shown) + "” does not exist.");
    const bool fileIsNew = !info.exists() || info.size() == 0;
    if (info.exists() && !info.isReadable())
        return failed(OpenProblem::Other, "The file “" + text(shown) + "” cannot be read (no permission).");

    // SQLite keeps its log and lock files beside the store, so a writer needs the folder as well.
    const bool folderWritable = writable(info.absolutePath());
    const bool fileWritable = !info.exists() || writable(info.absoluteFilePath());
    bool readOnly = options.access == Access::ReadOnly;
    if (!folderWritable || !fileWritable) {
        if (options.access == Access::ReadWrite || fileIsNew) {
            const std::string why =
                !fileWritable ? "The file “" + text(shown) + "” is read-only; it cannot be changed."
                              : "The folder of “" + text(shown) + "” is read-only; the file cannot be " +
                                    (info.exists() ? "changed." : "created.");
            return failed(OpenProblem::ReadOnly, why);
        }
        readOnly = true;
    }
    // Without its lock files SQLite cannot share a file that others may change; in a
    // folder nobody can write, nobody can change it, and it is read as it stands.
    const bool immutable = readOnly && !folderWritable && !QFileInfo::exists(path + QStringLiteral("-wal"));

    Result<QString> storeId = Error{};
    {
        ConnectionGuard guard{QStringLiteral("kalvora-setup-%1").arg(++g_setupSerial)};
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), guard.name);
            configureConnection(db, info.absoluteFilePath(), readOnly, immutable);
            if (!db.open())
                return failed(OpenProblem::Other, "The file “" + text(shown) + "” could not be opened (" +
                                                      text(db.lastError().text()) + ").");
            Result<Inspection> found = inspect(db, info.absoluteFilePath(), model, fileIsNew, problem);
            if (found && options.checkIntegrity && !fileIsNew)
                if (auto checked = checkIntegrity(db, info.absoluteFilePath(), problem); !checked)
                    found = Error{checked.error()};
            if (!found) {
                storeId = Error{found.error()};
            } else if (found->upToDate() || (readOnly && found->schemaCurrent)) {
                storeId = found->storeId;
            } else if (readOnly) {
                problem = OpenProblem::ReadOnly;
                storeId = Error{found->storeId.isEmpty()
                                    ? std::string("The file is empty; it holds no Kalvora data yet.")
                                    : std::string("The file was written by an older version of Kalvora and must be "
                                                  "brought up to date, which a read-only file does not allow.")};
            } else {
                storeId = migrate(db, info.absoluteFilePath(), model, fileIsNew, problem);
            }
            db.close();
        }
    }
    if (!storeId)
        return failed(problem == OpenProblem::None ? OpenProblem::Other : problem,
                      "The file “" + text(shown) + "” could not be opened. " + storeId.error());
    if (problemOut)
        *problemOut = OpenProblem::None;
    return std::unique_ptr<PersistentStore>(
        new PersistentStore(info.absoluteFilePath(), model, *storeId, readOnly, immutable));
}

void PersistentStore::configure(QSqlDatabase& db) const
{
    configureConnection(db, m_path, m_readOnly, m_immutable);
}

QString PersistentStore::nextConnectionName()
{
    return QStringLiteral("kalvora-%1-%2").arg(m_storeId).arg(++g_connectionSerial);
}

ObjectContext* PersistentStore::mainContext()
{
    if (!m_mainContext) {
        auto context = std::unique_ptr<ObjectContext>(new ObjectContext(*this, nextConnectionName()));
        // A main context that cannot open its connection still exists; its
        // fetches and saves then report the failure.
        (void)context->openConnection();
        m_mainContext = std::move(context);
    }
    return m_mainContext.get();
}

Result<std::unique_ptr<ObjectContext>> PersistentStore::newBackgroundContext()
{
    auto context = std::unique_ptr<ObjectContext>(new ObjectContext(*this, nextConnectionName()));
    if (auto opened = context->openConnection(); !opened)
        return Error{opened.error()};
    return context;
}

void PersistentStore::contextDidSave(ObjectContext* context, const SaveNotice& notice)
{
    if (context == m_mainContext.get())
        return;
    auto merge = [this, notice] {
        if (!m_mainContext)
            return;
        m_mainContext->mergeChanges(notice);
        if (m_saveAfterMerge && m_mainContext->hasChanges())
            (void)m_mainContext->save(); // the main context's own save error surfaces on its next save
        emit mergedIntoMainContext(notice);
    };
    if (QThread::currentThread() == thread())
        merge();
    else
        QMetaObject::invokeMethod(this, merge,
                                  context->waitsForMerge() ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
}

} // namespace kalvora
