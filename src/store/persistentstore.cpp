#include "store/persistentstore.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QThread>
#include <QUuid>

#include <functional>

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

Result<QString> prepareSchema(QSqlDatabase& db, const ObjectModel& model, bool fileIsNew)
{
    QSqlQuery q(db);
    // WAL lets background connections write while the GUI connection reads; the
    // mode is kept in the file, so this only matters for the first opening.
    if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL")))
        return Error{"The file is not a Kalvora data file (" + text(q.lastError().text()) + ")."};
    q.finish();
    if (!db.transaction())
        return Error{"The file could not be opened for writing (" + text(db.lastError().text()) + ")."};
    auto fail = [&](const QString& what) -> Result<QString> {
        const std::string reason = text(what);
        db.rollback();
        return Error{reason};
    };

    const QStringList tables = db.tables();
    QString storeId;
    int version = 0;
    if (tables.contains(QLatin1String(schema::MetadataTable))) {
        if (!q.exec(QStringLiteral("SELECT key, value FROM %1").arg(QLatin1String(schema::MetadataTable))))
            return fail(q.lastError().text());
        QString modelName;
        while (q.next()) {
            if (q.value(0).toString() == QLatin1String("storeId"))
                storeId = q.value(1).toString();
            else if (q.value(0).toString() == QLatin1String("model"))
                modelName = q.value(1).toString();
        }
        q.finish();
        if (modelName != model.name)
            return fail(QStringLiteral("The file holds a \"%1\" store, not a \"%2\" store.").arg(modelName, model.name));
        if (tables.contains(QLatin1String(schema::VersionTable))) {
            if (!q.exec(QStringLiteral("SELECT version FROM %1").arg(QLatin1String(schema::VersionTable))) || !q.next())
                return fail(QStringLiteral("The file's schema version cannot be read."));
            version = q.value(0).toInt();
            q.finish();
        }
    } else if (!tables.isEmpty() || !fileIsNew) {
        // An SQLite file of some other program, or an empty one that is not ours to fill.
        if (!tables.isEmpty())
            return fail(QStringLiteral("The file is not a Kalvora data file."));
    }
    if (version > model.version)
        return fail(QStringLiteral("The file was written by a newer version of Kalvora (schema %1, this version reads up "
                                   "to %2).")
                        .arg(version)
                        .arg(model.version));

    if (storeId.isEmpty()) {
        storeId = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (key TEXT PRIMARY KEY, value TEXT)")
                        .arg(QLatin1String(schema::MetadataTable))))
            return fail(q.lastError().text());
        q.prepare(QStringLiteral("INSERT OR REPLACE INTO %1 (key, value) VALUES (?, ?)")
                      .arg(QLatin1String(schema::MetadataTable)));
        for (const auto& [k, v] : {std::pair{QStringLiteral("storeId"), storeId},
                                   std::pair{QStringLiteral("model"), model.name}}) {
            q.addBindValue(k);
            q.addBindValue(v);
            if (!q.exec())
                return fail(q.lastError().text());
        }
    }

    for (const Migration& m : migrationsFor(model)) {
        if (m.fromVersion >= version && m.fromVersion < model.version && !m.apply(db))
            return fail(QStringLiteral("The file could not be brought up to date (step from version %1).")
                            .arg(m.fromVersion));
    }

    // Inferred mapping: every entity gets its table and every attribute and
    // reference its column, so files of older versions gain what is new.
    for (const EntityDescription& e : model.entities) {
        if (!q.exec(schema::createTableSql(e)))
            return fail(q.lastError().text());
        QStringList existing;
        if (!q.exec(QStringLiteral("PRAGMA table_info(%1)").arg(schema::quoted(e.name))))
            return fail(q.lastError().text());
        while (q.next())
            existing.append(q.value(1).toString());
        q.finish();
        for (const auto& [column, type] : schema::columns(e)) {
            if (existing.contains(column))
                continue;
            if (!q.exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3").arg(schema::quoted(e.name),
                                                                              schema::quoted(column), type)))
                return fail(q.lastError().text());
        }
        for (const RelationshipDescription& r : e.relationships) {
            if (r.toMany || !r.holdsKey)
                continue;
            if (!q.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                            .arg(schema::quoted(e.name + QLatin1Char('_') + r.name), schema::quoted(e.name),
                                 schema::quoted(r.name))))
                return fail(q.lastError().text());
        }
    }

    if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (version INTEGER NOT NULL)")
                    .arg(QLatin1String(schema::VersionTable))) ||
        !q.exec(QStringLiteral("DELETE FROM %1").arg(QLatin1String(schema::VersionTable))) ||
        !q.exec(QStringLiteral("INSERT INTO %1 (version) VALUES (%2)")
                    .arg(QLatin1String(schema::VersionTable))
                    .arg(model.version)))
        return fail(q.lastError().text());
    if (!db.commit())
        return fail(db.lastError().text());
    return storeId;
}

} // namespace

PersistentStore::PersistentStore(QString path, const ObjectModel& model, QString storeId)
    : m_path(std::move(path)), m_model(&model), m_storeId(std::move(storeId)),
      m_syncer(std::make_unique<WalSyncer>(m_path))
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
    m_syncer->committed();
    // Workers may wait for the disk; the GUI thread must not.
    if (!mainContext)
        m_syncer->waitUntilSynced();
}

void PersistentStore::waitUntilDurable()
{
    m_syncer->waitUntilSynced();
}

int PersistentStore::currentSchemaVersion(const ObjectModel& model)
{
    return model.version;
}

Result<std::unique_ptr<PersistentStore>> PersistentStore::open(const QString& path, const ObjectModel& model,
                                                               OpenMode mode)
{
    const QFileInfo info(path);
    const QString shown = QDir::toNativeSeparators(path);
    if (info.exists() && !info.isFile())
        return Error{"“" + text(shown) + "” is not a file."};
    if (!info.exists() && mode == OpenMode::MustExist)
        return Error{"The file “" + text(shown) + "” does not exist."};
    if (!info.exists() && !info.dir().exists())
        return Error{"The folder of “" + text(shown) + "” does not exist."};
    const bool fileIsNew = !info.exists() || info.size() == 0;

    Result<QString> storeId = Error{};
    {
        ConnectionGuard guard{QStringLiteral("kalvora-setup-%1").arg(++g_setupSerial)};
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), guard.name);
            db.setDatabaseName(path);
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
            if (!db.open())
                return Error{"The file “" + text(shown) + "” could not be opened (" + text(db.lastError().text()) +
                             ")."};
            storeId = prepareSchema(db, model, fileIsNew);
            db.close();
        }
    }
    if (!storeId)
        return Error{"The file “" + text(shown) + "” could not be opened. " + storeId.error()};
    return std::unique_ptr<PersistentStore>(new PersistentStore(info.absoluteFilePath(), model, *storeId));
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
