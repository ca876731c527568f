#include "store/objectcontext.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QThread>
#include <QTimeZone>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include <sqlite3.h>

#include "store/objectmodel.h"
#include "store/persistentstore.h"
#include "store/storedobject.h"
#include "store/storeschema.h"

namespace kalvora {

namespace {

std::atomic<qint64> g_temporarySerial{0};
/// Counts the records registered on this thread (see readRows()).
thread_local quint64 t_registrations = 0;

std::string text(const QString& s)
{
    return s.toStdString();
}

QVariant toSql(AttributeType type, const QVariant& v)
{
    if (!v.isValid())
        return QVariant();
    switch (type) {
    case AttributeType::Date:
        return QVariant(double(v.toDateTime().toMSecsSinceEpoch()) / 1000.0);
    case AttributeType::Boolean:
        return QVariant(qint64(v.toBool() ? 1 : 0));
    default:
        return v;
    }
}

QVariant fromSql(AttributeType type, const QVariant& v)
{
    if (!v.isValid() || v.isNull())
        return QVariant();
    switch (type) {
    case AttributeType::String:
        return QVariant(v.toString());
    case AttributeType::Double:
        return QVariant(v.toDouble());
    case AttributeType::Integer:
        return QVariant(qint64(v.toLongLong()));
    case AttributeType::Boolean:
        return QVariant(v.toLongLong() != 0);
    case AttributeType::Date:
        return QVariant(QDateTime::fromMSecsSinceEpoch(qRound64(v.toDouble() * 1000.0), Qt::UTC));
    case AttributeType::Binary:
        return QVariant(v.toByteArray());
    }
    return {};
}

/** -1, 0, 1; nullopt when the two cannot be ordered. */
std::optional<int> compareValues(const QVariant& a, const QVariant& b)
{
    if (!a.isValid() || !b.isValid())
        return std::nullopt;
    auto isNumber = [](const QVariant& v) {
        switch (v.typeId()) {
        case QMetaType::Double:
        case QMetaType::Float:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Bool:
            return true;
        default:
            return false;
        }
    };
    if (a.typeId() == QMetaType::QDateTime || b.typeId() == QMetaType::QDateTime) {
        const QDateTime da = a.toDateTime();
        const QDateTime db = b.toDateTime();
        if (!da.isValid() || !db.isValid())
            return std::nullopt;
        return da < db ? -1 : (db < da ? 1 : 0);
    }
    if (isNumber(a) || isNumber(b)) {
        bool okA = false;
        bool okB = false;
        const double x = a.toDouble(&okA);
        const double y = b.toDouble(&okB);
        if (!okA || !okB)
            return std::nullopt;
        return x < y ? -1 : (y < x ? 1 : 0);
    }
    const int c = QString::compare(a.toString(), b.toString());
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool termHolds(Predicate::Op op, std::optional<int> c)
{
    if (!c)
        return false;
    switch (op) {
    case Predicate::Op::Equal:
        return *c == 0;
    case Predicate::Op::NotEqual:
        return *c != 0;
    case Predicate::Op::Less:
        return *c < 0;
    case Predicate::Op::LessOrEqual:
        return *c <= 0;
    case Predicate::Op::Greater:
        return *c > 0;
    case Predicate::Op::GreaterOrEqual:
        return *c >= 0;
    }
    return false;
}

const char* sqlOperator(Predicate::Op op)
{
    switch (op) {
    case Predicate::Op::Equal:
        return "=";
    case Predicate::Op::NotEqual:
        return "<>";
    case Predicate::Op::Less:
        return "<";
    case Predicate::Op::LessOrEqual:
        return "<=";
    case Predicate::Op::Greater:
        return ">";
    case Predicate::Op::GreaterOrEqual:
        return ">=";
    }
    return "=";
}

/** The columns read when a record is loaded: every eager attribute and every held reference. */
QStringList eagerColumns(const EntityDescription& e)
{
    QStringList cols{QString::fromLatin1(schema::KeyColumn)};
    for (const AttributeDescription& a : e.attributes)
        if (!a.lazy)
            cols.append(a.name);
    for (const RelationshipDescription& r : e.relationships)
        if (!r.toMany && r.holdsKey)
            cols.append(r.name);
    return cols;
}

QString selectSql(const EntityDescription& e)
{
    // Built once per entity and thread: a duplicate check asks thousands of times.
    thread_local QHash<const EntityDescription*, QString> built;
    auto it = built.find(&e);
    if (it == built.end()) {
        QStringList quotedCols;
        for (const QString& c : eagerColumns(e))
            quotedCols.append(schema::quoted(c));
        it = built.insert(&e, QStringLiteral("SELECT %1 FROM %2").arg(quotedCols.join(QStringLiteral(", ")),
                                                                       schema::quoted(e.name)));
    }
    return *it;
}

} // namespace

/**
 * One row of a fetch, read either through the SQL driver or straight from
 * SQLite. Reading straight skips the driver's copy of every column into a
 * QVariant and our conversion of that copy: over a list of 100 000 records
 * that is most of the time a fetch takes. Both give the same values.
 */
class StoredRow
{
public:
    explicit StoredRow(const QSqlQuery& query) : m_query(&query) {}
    explicit StoredRow(sqlite3_stmt* statement) : m_statement(statement) {}

    qint64 key() const
    {
        return m_statement ? sqlite3_column_int64(m_statement, 0) : m_query->value(0).toLongLong();
    }

    /** COLUMN as an attribute of TYPE keeps it in memory; invalid for NULL. */
    QVariant value(int column, AttributeType type) const
    {
        if (!m_statement)
            return fromSql(type, m_query->value(column));
        // The usual storage class of each type is taken as it is; anything else
        // goes the driver's way, so that odd files read as they always did.
        switch (sqlite3_column_type(m_statement, column)) {
        case SQLITE_NULL:
            return {};
        case SQLITE_INTEGER:
            if (type == AttributeType::Integer)
                return QVariant(qint64(sqlite3_column_int64(m_statement, column)));
            break;
        case SQLITE_FLOAT:
            if (type == AttributeType::Double)
                return QVariant(sqlite3_column_double(m_statement, column));
            break;
        case SQLITE_TEXT:
            if (type == AttributeType::String)
                return QVariant(text(column));
            break;
        default:
            break;
        }
        return fromSql(type, driverValue(column));
    }

    /** What the driver makes of COLUMN. */
    QVariant driverValue(int column) const
    {
        switch (sqlite3_column_type(m_statement, column)) {
        case SQLITE_NULL:
            return {};
        case SQLITE_INTEGER:
            return QVariant(qint64(sqlite3_column_int64(m_statement, column)));
        case SQLITE_FLOAT:
            return QVariant(sqlite3_column_double(m_statement, column));
        case SQLITE_BLOB: {
            const auto* bytes = static_cast<const char*>(sqlite3_column_blob(m_statement, column));
            return QVariant(QByteArray(bytes, sqlite3_column_bytes(m_statement, column)));
        }
        default:
            return QVariant(text(column));
        }
    }

private:
    QString text(int column) const
    {
        const auto* utf8 = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
        return QString::fromUtf8(utf8, sqlite3_column_bytes(m_statement, column));
    }

    const QSqlQuery* m_query = nullptr;
    sqlite3_stmt* m_statement = nullptr;
};

namespace {

/** Binds VALUE as the SQL driver does, so that both ways of reading select the same rows. */
int bindValue(sqlite3_stmt* statement, int position, const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return sqlite3_bind_null(statement, position);
    QString textValue;
    switch (value.typeId()) {
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return sqlite3_bind_blob(statement, position, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
    }
    case QMetaType::Bool:
    case QMetaType::Int:
        return sqlite3_bind_int(statement, position, value.toInt());
    case QMetaType::Double:
        return sqlite3_bind_double(statement, position, value.toDouble());
    case QMetaType::UInt:
    case QMetaType::LongLong:
        return sqlite3_bind_int64(statement, position, value.toLongLong());
    case QMetaType::QDateTime:
        textValue = value.toDateTime().toString(Qt::ISODateWithMs);
        break;
    case QMetaType::QTime:
        textValue = value.toTime().toString(QStringLiteral("hh:mm:ss.zzz"));
        break;
    default:
        textValue = value.toString();
        break;
    }
    return sqlite3_bind_text16(statement, position, textValue.utf16(), int(textValue.size() * 2), SQLITE_TRANSIENT);
}

/** SQLite's last failure on HANDLE in the form the driver reports it. */
QSqlError statementError(sqlite3* handle)
{
    return QSqlError(QStringLiteral("Unable to fetch row"), QString::fromUtf8(sqlite3_errmsg(handle)),
                     QSqlError::StatementError, QString::number(sqlite3_extended_errcode(handle)));
}

/** The connection's SQLite handle, when its driver uses the SQLite library this program calls. */
sqlite3* sharedHandle(const QSqlDatabase& db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    sqlite3* h = *static_cast<sqlite3* const*>(handle.constData());
    // A driver built with its own copy of SQLite has a handle this program's copy must not touch.
    QSqlQuery q(db);
    if (!h || !q.exec(QStringLiteral("SELECT sqlite_source_id()")) || !q.next() ||
        q.value(0).toString() != QLatin1String(sqlite3_sourceid()))
        return nullptr;
    return h;
}

/**
 * Waits for another connection's write lock, up to 10 s. SQLite's own timeout
 * sleeps in growing steps (up to 25 ms and more) and so wakes long after a
 * short transaction has ended, while the writer that just let go takes the
 * lock again: a GUI save behind an import's saves waited 50 to 100 ms. Short
 * waits catch the lock when it comes free; the steps grow only once a wait has
 * gone on.
 */
int waitForWriteLock(void*, int count)
{
    using Clock = std::chrono::steady_clock;
    thread_local Clock::time_point started;
    const Clock::time_point now = Clock::now();
    if (count == 0)
        started = now;
    const Clock::duration waited = now - started;
    if (waited >= std::chrono::seconds(10))
        return 0;
    if (waited < std::chrono::milliseconds(50))
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 1;
}

} // namespace

ObjectContext::ObjectContext(PersistentStore& store, const QString& connectionName)
    : m_store(&store), m_connectionName(connectionName)
{
}

ObjectContext::~ObjectContext()
{
    // Records are children of the context; delete them before the connection goes.
    const auto children = findChildren<StoredObject*>(Qt::FindDirectChildrenOnly);
    qDeleteAll(children);
    // Prepared statements go before their connection.
    finaliseStatements();
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        if (db.isValid())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

void ObjectContext::finaliseStatements()
{
    for (sqlite3_stmt* statement : std::as_const(m_rowStatements))
        sqlite3_finalize(statement);
    m_rowStatements.clear();
    qDeleteAll(m_statements);
    m_statements.clear();
}

bool ObjectContext::isMainContext() const
{
    return m_store->m_mainContext.get() == this;
}

Result<Done> ObjectContext::openConnection()
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    m_store->configure(db);
    if (!db.open())
        return Error{"The store could not be opened (" + text(db.lastError().text()) + ")."};
    QSqlQuery q(db);
    // No connection syncs while it holds the write lock: the store's syncer
    // makes every commit durable right after, so a save on the GUI thread
    // never waits for the disk, neither for its own sync nor for a worker's
    // (see WalSyncer).
    for (const QString& pragma : {QStringLiteral("PRAGMA synchronous=NORMAL"), QStringLiteral("PRAGMA wal_autocheckpoint=0")})
        if (!q.exec(pragma))
            return Error{"The store could not be opened (" + text(q.lastError().text()) + ")."};
    m_handle = sharedHandle(db);
    if (m_handle)
        sqlite3_busy_handler(m_handle, waitForWriteLock, nullptr);
    return Done{};
}

void ObjectContext::readFailed(const QSqlError& error)
{
    const QString message = QString::fromStdString(schema::describe(error, m_store->path(), "The store could not be read"));
    if (m_readError.isEmpty())
        m_readError = message;
    emit readFailedWith(message);
}

QSqlDatabase ObjectContext::database() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

StoredObject* ObjectContext::registered(const QString& entity, qint64 row) const
{
    // Looked up in place: a copy of the inner table per row read adds up over a large fetch.
    const auto rows = m_registered.constFind(entity);
    return rows == m_registered.constEnd() ? nullptr : rows->value(row, nullptr);
}

StoredObject* ObjectContext::insertObject(const QString& entityName)
{
    const EntityDescription* e = m_store->model().entity(entityName);
    if (!e)
        return nullptr;
    StoredObject* o = StoredObject::create(entityName);
    o->setParent(this);
    o->m_context = this;
    o->m_entity = e;
    o->m_id = ObjectId(m_store->storeId(), entityName, ++g_temporarySerial, true);
    o->m_state = StoredObject::State::Inserted;
    m_inserted.append(o);
    // Defaults a record gives itself are part of its insertion, not edits to undo.
    const bool wasUndoing = m_undoing;
    m_undoing = true;
    o->awakeFromInsert();
    m_undoing = wasUndoing;
    return o;
}

void ObjectContext::fillFromRow(StoredObject* o, const StoredRow& q, bool keepChanged)
{
    const EntityDescription& e = o->entity();
    int column = 1;
    if (o->m_values.isEmpty() && !keepChanged) {
        // A record read for the first time: its values are made in place, one after the other.
        o->m_values.reserve(e.attributes.size());
        for (const AttributeDescription& a : e.attributes)
            o->m_values.emplace_back(a.lazy ? QVariant() : q.value(column++, a.type));
    } else {
        if (o->m_values.size() != e.attributes.size())
            o->m_values.resize(e.attributes.size());
        for (qsizetype i = 0; i < e.attributes.size(); ++i) {
            const AttributeDescription& a = e.attributes[i];
            if (a.lazy) {
                if (!(keepChanged && o->m_changedKeys.contains(a.name))) {
                    o->m_lazyLoaded.remove(a.name);
                    o->m_values[i] = QVariant();
                }
                continue;
            }
            const int at = column++;
            if (keepChanged && o->m_changedKeys.contains(a.name))
                continue;
            o->m_values[i] = q.value(at, a.type);
        }
    }
    for (const RelationshipDescription& r : e.relationships) {
        if (r.toMany || !r.holdsKey)
            continue;
        const qint64 row = q.value(column++, AttributeType::Integer).toLongLong();
        if (keepChanged && o->m_changedKeys.contains(r.name))
            continue;
        StoredObject::Ref ref;
        ref.row = row;
        ref.object = row > 0 ? registered(r.destination, row) : nullptr;
        o->m_toOne.insert(r.name, ref);
    }
}

StoredObject* ObjectContext::materialise(const EntityDescription& e, const StoredRow& q)
{
    const qint64 row = q.key();
    if (StoredObject* known = registered(e.name, row))
        return known;
    StoredObject* o = StoredObject::create(e.name);
    o->setParent(this);
    o->m_context = this;
    o->m_entity = &e;
    o->m_id = ObjectId(m_store->storeId(), e.name, row, false);
    o->m_state = StoredObject::State::Persistent;
    fillFromRow(o, q, false);
    m_registered[e.name].insert(row, o);
    ++t_registrations;
    o->awakeFromFetch();
    return o;
}

StoredObject* ObjectContext::objectForRow(const EntityDescription& e, qint64 row)
{
    if (StoredObject* known = registered(e.name, row))
        return known;
    QSqlQuery q(database());
    q.prepare(selectSql(e) + QStringLiteral(" WHERE %1 = ?").arg(QLatin1String(schema::KeyColumn)));
    q.addBindValue(row);
    if (!q.exec() || !q.next()) {
        if (q.lastError().isValid())
            readFailed(q.lastError());
        return nullptr;
    }
    return materialise(e, StoredRow(q));
}

QVariant ObjectContext::loadLazy(const StoredObject* object, const QString& key)
{
    const AttributeDescription* a = object->entity().attribute(key);
    QSqlQuery q(database());
    q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                  .arg(schema::quoted(key), schema::quoted(object->entityName()), QLatin1String(schema::KeyColumn)));
    q.addBindValue(object->objectId().key());
    QVariant v;
    if (q.exec() && q.next())
        v = fromSql(a->type, q.value(0));
    if (q.lastError().isValid()) {
        // Not remembered as read: a damaged value is no absent one, and the next access asks again.
        readFailed(q.lastError());
        return {};
    }
    auto* o = const_cast<StoredObject*>(object);
    o->storeValue(object->entity().attributeIndex(key), v);
    o->m_lazyLoaded.insert(key);
    return v;
}

bool ObjectContext::lazyValueExists(const StoredObject* object, const QString& key)
{
    QSqlQuery q(database());
    // typeof() reads only the row's header; "IS NOT NULL" would read the whole value.
    q.prepare(QStringLiteral("SELECT typeof(%1) <> 'null' FROM %2 WHERE %3 = ?")
                  .arg(schema::quoted(key), schema::quoted(object->entityName()), QLatin1String(schema::KeyColumn)));
    q.addBindValue(object->objectId().key());
    const bool exists = q.exec() && q.next() && q.value(0).toBool();
    if (q.lastError().isValid())
        readFailed(q.lastError());
    return exists;
}

bool ObjectContext::matches(const StoredObject* object, const Predicate& predicate) const
{
    const EntityDescription& e = object->entity();
    for (const Predicate::Term& t : predicate.terms()) {
        if (const RelationshipDescription* r = e.relationship(t.key)) {
            const StoredObject* target = object->relatedObject(r->name);
            const StoredObject* wanted = t.value.value<StoredObject*>();
            // By identity, not address: the value may be the same record as another context holds it.
            const bool same = (!target && !wanted) || (target && wanted && target->objectId() == wanted->objectId());
            if (t.op == Predicate::Op::Equal ? !same : (t.op == Predicate::Op::NotEqual ? same : true))
                return false;
            continue;
        }
        const QVariant v = object->value(t.key);
        if (!t.value.isValid()) {
            const bool absent = !v.isValid();
            if (t.op == Predicate::Op::Equal ? !absent : (t.op == Predicate::Op::NotEqual ? absent : true))
                return false;
            continue;
        }
        if (!termHolds(t.op, compareValues(v, t.value)))
            return false;
    }
    return true;
}

bool ObjectContext::hasPendingChangesFor(const QString& entity) const
{
    auto same = [&](const StoredObject* o) { return o->entityName() == entity; };
    return std::any_of(m_inserted.begin(), m_inserted.end(), same) ||
           std::any_of(m_updated.begin(), m_updated.end(), same) ||
           std::any_of(m_deleted.begin(), m_deleted.end(), same);
}

Result<QList<StoredObject*>> ObjectContext::fetch(const FetchRequest& request)
{
    const EntityDescription* e = m_store->model().entity(request.entity);
    if (!e)
        return Error{"Unknown entity " + text(request.entity) + "."};

    QStringList where;
    QVariantList binds;
    for (const Predicate::Term& t : request.predicate.terms()) {
        const AttributeDescription* a = e->attribute(t.key);
        const RelationshipDescription* r = e->relationship(t.key);
        if (!a && !(r && !r->toMany && r->holdsKey))
            return Error{"Unknown key " + text(t.key) + " in a fetch of " + text(request.entity) + "."};
        const QString column = schema::quoted(t.key);
        QVariant value = t.value;
        if (r) {
            StoredObject* target = t.value.value<StoredObject*>();
            if (target && target->objectId().isTemporary()) {
                where.append(QStringLiteral("0")); // no stored row can refer to an unsaved record
                continue;
            }
            value = target ? QVariant(target->objectId().key()) : QVariant();
        } else if (value.isValid()) {
            value = toSql(a->type, value);
        }
        if (!value.isValid()) {
            if (t.op == Predicate::Op::Equal)
                where.append(column + QStringLiteral(" IS NULL"));
            else if (t.op == Predicate::Op::NotEqual)
                where.append(column + QStringLiteral(" IS NOT NULL"));
            else
                where.append(QStringLiteral("0"));
            continue;
        }
        where.append(column + QLatin1Char(' ') + QLatin1String(sqlOperator(t.op)) + QStringLiteral(" ?"));
        binds.append(value);
    }

    QString sql = selectSql(*e);
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    sql += QStringLiteral(" ORDER BY %1").arg(QLatin1String(schema::KeyColumn));
    auto read = readRows(*e, sql, binds);
    if (!read)
        return Error{read.error()};
    QList<StoredObject*> candidates = std::move(*read);
    // Unsaved changes of this context count as well: records changed here may
    // now match (or no longer match), and inserted ones are not in the file yet.
    // The rows come in key order, so whether a record is among them is a binary search.
    const auto listed = [&candidates](const StoredObject* o) {
        const qint64 key = o->m_id.key();
        const auto at = std::lower_bound(candidates.cbegin(), candidates.cend(), key,
                                         [](const StoredObject* c, qint64 k) { return c->m_id.key() < k; });
        return at != candidates.cend() && *at == o;
    };
    QList<StoredObject*> changed;
    for (StoredObject* o : std::as_const(m_updated))
        if (o->m_entity == e && !listed(o))
            changed.append(o);
    std::sort(changed.begin(), changed.end(),
              [](const StoredObject* a, const StoredObject* b) { return a->objectId().key() < b->objectId().key(); });
    candidates.append(changed);
    for (StoredObject* o : std::as_const(m_inserted))
        if (o->entityName() == e->name)
            candidates.append(o);

    QList<StoredObject*> result;
    if (request.predicate.isEmpty() && m_deleted.isEmpty()) {
        // Nothing to leave out: with no deletion pending, no record read or listed here is deleted, and
        // every one matches. Going over 100 000 records once more would cost as much as sorting them.
        result = std::move(candidates);
    } else {
        for (StoredObject* o : std::as_const(candidates))
            if (!o->isDeleted() && matches(o, request.predicate))
                result.append(o);
    }

    if (!request.sortDescriptors.isEmpty()) {
        std::stable_sort(result.begin(), result.end(), [&](const StoredObject* a, const StoredObject* b) {
            for (const SortDescriptor& s : request.sortDescriptors) {
                QVariant va = a->value(s.key);
                QVariant vb = b->value(s.key);
                int c = 0;
                if (!va.isValid() || !vb.isValid()) {
                    c = va.isValid() ? 1 : (vb.isValid() ? -1 : 0); // absent sorts first
                } else if (s.caseInsensitive && va.typeId() == QMetaType::QString) {
                    c = QString::compare(va.toString(), vb.toString(), Qt::CaseInsensitive);
                } else {
                    c = compareValues(va, vb).value_or(0);
                }
                if (c != 0)
                    return s.ascending ? c < 0 : c > 0;
            }
            return false;
        });
    }
    if (request.limit > 0 && result.size() > request.limit)
        result.resize(request.limit);
    return result;
}

Result<QList<StoredObject*>> ObjectContext::readRows(const EntityDescription& e, const QString& sql,
                                                     const QVariantList& binds)
{
    if (!m_handle)
        return readRowsThroughDriver(e, sql, binds);
    // A statement is prepared once and run again with new values, unless a fetch
    // made while its rows are read (by a record waking up) needs the same one.
    const bool busy = m_busyStatements.contains(sql);
    sqlite3_stmt* statement = busy ? nullptr : m_rowStatements.value(sql, nullptr);
    if (!statement) {
        if (!busy && m_rowStatements.size() >= 32) {
            for (auto it = m_rowStatements.begin(); it != m_rowStatements.end();) {
                if (m_busyStatements.contains(it.key())) {
                    ++it;
                } else {
                    sqlite3_finalize(it.value());
                    it = m_rowStatements.erase(it);
                }
            }
        }
        const QByteArray utf8 = sql.toUtf8();
        if (sqlite3_prepare_v3(m_handle, utf8.constData(), int(utf8.size()), busy ? 0 : SQLITE_PREPARE_PERSISTENT,
                               &statement, nullptr) != SQLITE_OK) {
            const QSqlError error = statementError(m_handle);
            sqlite3_finalize(statement);
            readFailed(error);
            return Error{schema::describe(error, m_store->path(), "The store could not be read")};
        }
        if (!busy)
            m_rowStatements.insert(sql, statement);
    }
    if (!busy)
        m_busyStatements.insert(sql);
    // The statement is left ready for its next use, or finalised when it was made for this read only.
    const auto release = [&] {
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
        if (busy)
            sqlite3_finalize(statement);
        else
            m_busyStatements.remove(sql);
    };
    const auto failure = [&](const QSqlError& error) -> Result<QList<StoredObject*>> {
        release();
        readFailed(error);
        return Error{schema::describe(error, m_store->path(), "The store could not be read")};
    };
    for (qsizetype i = 0; i < binds.size(); ++i)
        if (bindValue(statement, int(i) + 1, binds[i]) != SQLITE_OK)
            return failure(statementError(m_handle));

    // Each row is the record this context holds for it, or becomes one (see materialise()). The records
    // of the entity are looked up in place; a record waking up may fetch and so add entities, after
    // which the place is looked up anew. On the first read of an entity, no row can be known until
    // something else registers a record, so a long list is read without a look-up per row.
    QHash<qint64, StoredObject*>* known = nullptr;
    qsizetype entities = 0;
    qsizetype before = 0;
    const quint64 registrations = t_registrations;
    quint64 own = 0;
    QList<StoredObject*> rows;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        if (!known || m_registered.size() != entities) {
            known = &m_registered[e.name];
            if (entities == 0)
                before = known->size();
            entities = m_registered.size();
        }
        const StoredRow row(statement);
        const qint64 key = row.key();
        StoredObject* o =
            before == 0 && t_registrations == registrations + own ? nullptr : known->value(key, nullptr);
        if (!o) {
            o = StoredObject::create(e.name);
            o->setParent(this);
            o->m_context = this;
            o->m_entity = &e;
            o->m_id = ObjectId(m_store->storeId(), e.name, key, false);
            o->m_state = StoredObject::State::Persistent;
            fillFromRow(o, row, false);
            known->insert(key, o);
            ++t_registrations;
            ++own;
            o->awakeFromFetch();
        }
        rows.append(o);
    }
    // A damaged page ends the rows early; that is no shorter list but an error.
    if (rc != SQLITE_DONE)
        return failure(statementError(m_handle));
    release();
    return rows;
}

Result<QList<StoredObject*>> ObjectContext::readRowsThroughDriver(const EntityDescription& e, const QString& sql,
                                                                  const QVariantList& binds)
{
    // A statement is prepared once and run again with new values, unless a fetch
    // made while its rows are read (by a record waking up) needs the same one.
    QSqlQuery fresh;
    QSqlQuery* cached = m_busyStatements.contains(sql) ? nullptr : m_statements.value(sql, nullptr);
    const bool fromCache = cached != nullptr || !m_busyStatements.contains(sql);
    if (!cached && fromCache) {
        if (m_statements.size() >= 32) {
            // Not those whose rows an outer fetch is still reading.
            for (auto it = m_statements.begin(); it != m_statements.end();) {
                if (m_busyStatements.contains(it.key())) {
                    ++it;
                } else {
                    delete it.value();
                    it = m_statements.erase(it);
                }
            }
        }
        cached = new QSqlQuery(database());
        cached->setForwardOnly(true);
        if (!cached->prepare(sql)) {
            const QSqlError error = cached->lastError();
            delete cached;
            readFailed(error);
            return Error{schema::describe(error, m_store->path(), "The store could not be read")};
        }
        m_statements.insert(sql, cached);
    }
    if (!fromCache) {
        fresh = QSqlQuery(database());
        fresh.setForwardOnly(true);
    }
    QSqlQuery& q = fromCache ? *cached : fresh;
    auto failure = [&]() -> Result<QList<StoredObject*>> {
        const QSqlError error = q.lastError();
        q.finish();
        if (fromCache)
            m_busyStatements.remove(sql);
        readFailed(error);
        return Error{schema::describe(error, m_store->path(), "The store could not be read")};
    };
    if (!fromCache && !q.prepare(sql))
        return failure();
    if (fromCache)
        m_busyStatements.insert(sql);
    for (qsizetype i = 0; i < binds.size(); ++i)
        q.bindValue(int(i), binds[i]);
    if (!q.exec())
        return failure();

    QList<StoredObject*> rows;
    while (q.next())
        rows.append(materialise(e, StoredRow(q)));
    // A damaged page ends the rows early; that is no shorter list but an error.
    if (q.lastError().isValid())
        return failure();
    q.finish();
    if (fromCache)
        m_busyStatements.remove(sql);
    return rows;
}

Result<qint64> ObjectContext::count(const FetchRequest& request)
{
    if (request.predicate.isEmpty() && !hasPendingChangesFor(request.entity)) {
        const EntityDescription* e = m_store->model().entity(request.entity);
        if (!e)
            return Error{"Unknown entity " + text(request.entity) + "."};
        QSqlQuery q(database());
        if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM %1").arg(schema::quoted(e->name))) || !q.next()) {
            readFailed(q.lastError());
            return Error{schema::describe(q.lastError(), m_store->path(), "The store could not be read")};
        }
        return q.value(0).toLongLong();
    }
    auto found = fetch(request);
    if (!found)
        return Error{found.error()};
    return qint64(found->size());
}

StoredObject* ObjectContext::existingObject(const ObjectId& id)
{
    if (!id.isValid() || id.storeId() != m_store->storeId())
        return nullptr;
    const EntityDescription* e = m_store->model().entity(id.entity());
    if (!e)
        return nullptr;
    if (id.isTemporary()) {
        for (StoredObject* o : std::as_const(m_inserted))
            if (o->objectId() == id)
                return o;
        return nullptr;
    }
    StoredObject* o = objectForRow(*e, id.key());
    return (o && !o->isDeleted()) ? o : nullptr;
}

StoredObject* ObjectContext::existingObject(const QString& uriString)
{
    const auto id = ObjectId::fromUriString(uriString);
    return id ? existingObject(*id) : nullptr;
}

void ObjectContext::deleteObject(StoredObject* o)
{
    if (!o || o->context() != this || o->isDeleted())
        return;
    // Gather what the delete rules touch while the record still answers.
    struct Pending
    {
        const RelationshipDescription* rel;
        QList<StoredObject*> related;
    };
    QList<Pending> pending;
    for (const RelationshipDescription& r : o->entity().relationships) {
        if (r.toMany)
            pending.append({&r, o->relatedObjects(r.name)});
        else if (StoredObject* t = o->relatedObject(r.name))
            pending.append({&r, {t}});
    }

    if (o->m_state == StoredObject::State::Inserted) {
        m_inserted.removeOne(o);
        o->m_state = StoredObject::State::Gone;
    } else {
        m_updated.remove(o);
        m_deleted.append(o);
        o->m_state = StoredObject::State::Deleted;
    }

    for (const Pending& p : std::as_const(pending)) {
        for (StoredObject* related : p.related) {
            if (p.rel->toMany && p.rel->deleteRule == DeleteRule::Cascade) {
                deleteObject(related);
            } else if (p.rel->toMany || !p.rel->holdsKey) {
                // The related record holds the reference; it must let go.
                related->m_toOne.insert(p.rel->inverse, StoredObject::Ref{});
                related->m_changedKeys.insert(p.rel->inverse);
                objectDidChange(related);
                related->announce(p.rel->inverse, QVariant::fromValue(o), QVariant());
            } else {
                related->relationshipDidChange(p.rel->inverse);
            }
        }
    }
}

bool ObjectContext::hasChanges() const
{
    return !m_inserted.isEmpty() || !m_updated.isEmpty() || !m_deleted.isEmpty();
}

void ObjectContext::objectDidChange(StoredObject* o)
{
    if (o->m_state == StoredObject::State::Persistent)
        m_updated.insert(o);
}

Result<Done> ObjectContext::save()
{
    if (!hasChanges())
        return Done{};
    if (m_store->isReadOnly())
        return Error{"The file “" + text(m_store->path()) + "” is open read-only; the changes were not saved."};
    QSqlDatabase db = database();
    if (!db.isOpen())
        return Error{"The store is not open."};
    const auto rollback = [&db] { QSqlQuery(db).exec(QStringLiteral("ROLLBACK")); };
    {
        // The write lock from the start: a transaction that first reads and then
        // wants to write cannot wait for another writer and would fail at once.
        QSqlQuery begin(db);
        if (!begin.exec(QStringLiteral("BEGIN IMMEDIATE")))
            return Error{schema::describe(begin.lastError(), m_store->path(), "The store could not be saved")};
    }

    QHash<StoredObject*, qint64> newRows;
    auto rowOf = [&](StoredObject* o) -> qint64 {
        if (!o)
            return 0;
        if (o->objectId().isTemporary())
            return newRows.value(o, 0);
        return o->objectId().key();
    };
    auto failure = [&](const QSqlQuery& q) -> Result<Done> {
        const std::string reason = schema::describe(q.lastError(), m_store->path(), "The store could not be saved");
        rollback();
        return Error{reason};
    };

    QSqlQuery q(db);
    for (StoredObject* o : std::as_const(m_inserted)) {
        QStringList cols;
        QVariantList values;
        for (qsizetype i = 0; i < o->entity().attributes.size(); ++i) {
            const AttributeDescription& a = o->entity().attributes[i];
            const QVariant v = o->storedValue(i);
            if (v.isValid()) {
                cols.append(schema::quoted(a.name));
                values.append(toSql(a.type, v));
            }
        }
        QString sql = cols.isEmpty() ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(schema::quoted(o->entityName()))
                                     : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                           .arg(schema::quoted(o->entityName()), cols.join(QStringLiteral(", ")),
                                                QStringList(cols.size(), QStringLiteral("?")).join(QStringLiteral(", ")));
        q.prepare(sql);
        for (const QVariant& v : values)
            q.addBindValue(v);
        if (!q.exec())
            return failure(q);
        newRows.insert(o, q.lastInsertId().toLongLong());
    }

    auto writeChanges = [&](StoredObject* o, bool inserted) -> bool {
        QStringList sets;
        QVariantList values;
        for (qsizetype i = 0; i < o->entity().attributes.size(); ++i) {
            const AttributeDescription& a = o->entity().attributes[i];
            if (inserted || !o->m_changedKeys.contains(a.name))
                continue;
            sets.append(schema::quoted(a.name) + QStringLiteral(" = ?"));
            values.append(toSql(a.type, o->storedValue(i)));
        }
        for (const RelationshipDescription& r : o->entity().relationships) {
            if (r.toMany || !r.holdsKey || !o->m_toOne.contains(r.name))
                continue;
            if (!inserted && !o->m_changedKeys.contains(r.name))
                continue;
            const StoredObject::Ref ref = o->m_toOne.value(r.name);
            StoredObject* target = ref.object;
            qint64 row = target ? rowOf(target) : ref.row;
            if (target && target->isDeleted())
                row = 0;
            sets.append(schema::quoted(r.name) + QStringLiteral(" = ?"));
            values.append(row > 0 ? QVariant(row) : QVariant());
        }
        if (sets.isEmpty())
            return true;
        q.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
                      .arg(schema::quoted(o->entityName()), sets.join(QStringLiteral(", ")),
                           QLatin1String(schema::KeyColumn)));
        for (const QVariant& v : values)
            q.addBindValue(v);
        q.addBindValue(rowOf(o));
        return q.exec();
    };
    for (StoredObject* o : std::as_const(m_inserted))
        if (!writeChanges(o, true))
            return failure(q);
    for (StoredObject* o : std::as_const(m_updated))
        if (!writeChanges(o, false))
            return failure(q);
    for (StoredObject* o : std::as_const(m_deleted)) {
        q.prepare(QStringLiteral("DELETE FROM %1 WHERE %2 = ?")
                      .arg(schema::quoted(o->entityName()), QLatin1String(schema::KeyColumn)));
        q.addBindValue(o->objectId().key());
        if (!q.exec())
            return failure(q);
    }
    q.finish();
    if (!q.exec(QStringLiteral("COMMIT")))
        return failure(q);

    SaveNotice notice;
    notice.storeId = m_store->storeId();
    for (StoredObject* o : std::as_const(m_inserted)) {
        const qint64 row = newRows.value(o);
        o->m_id = ObjectId(m_store->storeId(), o->entityName(), row, false);
        o->m_state = StoredObject::State::Persistent;
        o->m_changedKeys.clear();
        for (auto it = o->m_toOne.begin(); it != o->m_toOne.end(); ++it)
            if (it->object)
                it->row = rowOf(it->object);
        for (const AttributeDescription& a : o->entity().attributes)
            if (a.lazy)
                o->m_lazyLoaded.insert(a.name);
        m_registered[o->entityName()].insert(row, o);
        ++t_registrations;
        notice.inserted.append(o->objectId());
    }
    for (StoredObject* o : std::as_const(m_updated)) {
        o->m_changedKeys.clear();
        for (auto it = o->m_toOne.begin(); it != o->m_toOne.end(); ++it)
            it->row = it->object && !it->object->isDeleted() ? rowOf(it->object) : (it->object ? 0 : it->row);
        notice.updated.append(o->objectId());
    }
    for (StoredObject* o : std::as_const(m_deleted)) {
        o->m_state = StoredObject::State::Gone;
        m_registered[o->entityName()].remove(o->objectId().key());
        notice.deleted.append(o->objectId());
    }
    m_inserted.clear();
    m_updated.clear();
    m_deleted.clear();
    m_store->contextCommitted(isMainContext());

    emit didSave(notice);
    emit objectsDidChange(notice);
    m_store->contextDidSave(this, notice);
    return Done{};
}

void ObjectContext::rollback()
{
    for (StoredObject* o : std::as_const(m_inserted))
        o->m_state = StoredObject::State::Gone;
    m_inserted.clear();
    for (StoredObject* o : std::as_const(m_deleted))
        o->m_state = StoredObject::State::Persistent;
    const QList<StoredObject*> changed = QList<StoredObject*>(m_updated.begin(), m_updated.end()) + m_deleted;
    m_deleted.clear();
    m_updated.clear();
    for (StoredObject* o : changed) {
        o->m_changedKeys.clear();
        refresh(o);
    }
    clearUndoHistory();
}

void ObjectContext::releaseLargeValues(StoredObject* o)
{
    if (!o || o->context() != this || o->m_state != StoredObject::State::Persistent)
        return;
    for (qsizetype i = 0; i < o->entity().attributes.size(); ++i) {
        const AttributeDescription& a = o->entity().attributes[i];
        if (a.lazy && !o->m_changedKeys.contains(a.name)) {
            o->storeValue(i, QVariant());
            o->m_lazyLoaded.remove(a.name);
        }
    }
}

void ObjectContext::refresh(StoredObject* o)
{
    const EntityDescription& e = o->entity();
    QSqlQuery q(database());
    q.prepare(selectSql(e) + QStringLiteral(" WHERE %1 = ?").arg(QLatin1String(schema::KeyColumn)));
    q.addBindValue(o->objectId().key());
    if (!q.exec()) {
        readFailed(q.lastError());
        return;
    }
    if (!q.next()) {
        if (q.lastError().isValid())
            readFailed(q.lastError());
        else
            forget(o);
        return;
    }
    const QList<QVariant> before = o->m_values;
    QHash<QString, StoredObject::Ref> refsBefore = o->m_toOne;
    fillFromRow(o, StoredRow(q), true);
    q.finish();
    // All new values are in place before anyone hears of them, so observers see a consistent record.
    o->m_refreshing = true;
    for (qsizetype i = 0; i < e.attributes.size(); ++i) {
        const AttributeDescription& a = e.attributes[i];
        if (a.lazy) {
            if (!o->m_changedKeys.contains(a.name))
                o->announce(a.name, QVariant(), QVariant());
            continue;
        }
        const QVariant oldValue = before.value(i);
        const QVariant newValue = o->storedValue(i);
        if (oldValue != newValue)
            o->announce(a.name, oldValue, newValue);
    }
    for (const RelationshipDescription& r : e.relationships) {
        if (r.toMany || !r.holdsKey)
            continue;
        const qint64 oldRow = refsBefore.value(r.name).row;
        const qint64 newRow = o->m_toOne.value(r.name).row;
        if (oldRow == newRow)
            continue;
        o->announce(r.name, QVariant(), QVariant());
        for (qint64 row : {oldRow, newRow})
            if (StoredObject* t = registered(r.destination, row)) {
                t->m_refreshing = true;
                t->relationshipDidChange(r.inverse);
                t->m_refreshing = false;
            }
    }
    o->m_refreshing = false;
}

void ObjectContext::forget(StoredObject* o)
{
    QList<QPair<StoredObject*, QString>> touched;
    for (const RelationshipDescription& r : o->entity().relationships)
        if (!r.toMany && r.holdsKey)
            if (StoredObject* t = o->m_toOne.value(r.name).object)
                touched.append({t, r.inverse});
    o->m_state = StoredObject::State::Gone;
    m_updated.remove(o);
    m_deleted.removeOne(o);
    m_registered[o->entityName()].remove(o->objectId().key());
    for (const auto& [t, key] : touched) {
        t->m_refreshing = true;
        t->relationshipDidChange(key);
        t->m_refreshing = false;
    }
}

void ObjectContext::mergeChanges(const SaveNotice& notice)
{
    if (notice.storeId != m_store->storeId())
        return;
    for (const ObjectId& id : notice.deleted)
        if (StoredObject* o = registered(id.entity(), id.key()))
            forget(o);
    for (const ObjectId& id : notice.updated)
        if (StoredObject* o = registered(id.entity(), id.key()))
            refresh(o);
    // A new record that refers to one shown here changes that record's to-many list.
    for (const ObjectId& id : notice.inserted) {
        const EntityDescription* e = m_store->model().entity(id.entity());
        if (!e)
            continue;
        bool refers = false;
        for (const RelationshipDescription& r : e->relationships)
            refers = refers || (!r.toMany && r.holdsKey && m_registered.contains(r.destination));
        if (!refers)
            continue;
        if (StoredObject* o = objectForRow(*e, id.key()))
            for (const RelationshipDescription& r : e->relationships)
                if (!r.toMany && r.holdsKey)
                    if (StoredObject* t = o->relatedObject(r.name)) {
                        t->m_refreshing = true;
                        t->relationshipDidChange(r.inverse);
                        t->m_refreshing = false;
                    }
    }
    emit objectsDidChange(notice);
}

void ObjectContext::registerUndo(StoredObject* object, const QString& key, const QVariant& oldValue,
                                 const QVariant& newValue)
{
    if (!m_undoEnabled || object->m_refreshing)
        return;
    if (m_undoing)
        return; // undo() and redo() move whole groups between the two histories
    const UndoEntry entry{object, key, oldValue, newValue};
    m_redo.clear();
    if ((m_undoGroupDepth > 0 || m_assignmentDepth > 0) && !m_undo.isEmpty())
        m_undo.last().append(entry);
    else
        m_undo.append(UndoGroup{entry});
}

void ObjectContext::beginUndoGroup()
{
    if (m_undoGroupDepth++ == 0)
        m_undo.append(UndoGroup{});
}

void ObjectContext::endUndoGroup()
{
    if (m_undoGroupDepth == 0)
        return;
    if (--m_undoGroupDepth == 0 && !m_undo.isEmpty() && m_undo.last().isEmpty())
        m_undo.removeLast();
}

void ObjectContext::undo()
{
    if (m_undo.isEmpty() || m_undoGroupDepth > 0)
        return;
    const UndoGroup group = m_undo.takeLast();
    m_undoing = true;
    // The group already holds every follow-up change its records made, so the
    // records see these assignments as refreshes and add none of their own.
    for (auto it = group.crbegin(); it != group.crend(); ++it)
        if (!it->object->isDeleted()) {
            it->object->m_refreshing = true;
            it->object->setValue(it->key, it->oldValue);
            it->object->m_refreshing = false;
        }
    m_undoing = false;
    m_redo.append(group);
}

void ObjectContext::redo()
{
    if (m_redo.isEmpty() || m_undoGroupDepth > 0)
        return;
    const UndoGroup group = m_redo.takeLast();
    m_undoing = true;
    for (const UndoEntry& e : group)
        if (!e.object->isDeleted()) {
            e.object->m_refreshing = true;
            e.object->setValue(e.key, e.newValue);
            e.object->m_refreshing = false;
        }
    m_undoing = false;
    m_undo.append(group);
}

void ObjectContext::clearUndoHistory()
{
    m_undo.clear();
    m_redo.clear();
    m_undoGroupDepth = 0;
}

} // namespace kalvora
