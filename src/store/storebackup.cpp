#include "store/storebackup.h"

#include <QFile>
#include <QUuid>

#include <cstdio>
#include <memory>

#include <sqlite3.h>

#include "store/storeschema.h"

namespace kalvora {

namespace {

struct CloseDatabase
{
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, CloseDatabase>;

std::string message(sqlite3* db, const char* doing)
{
    return std::string(doing) + " (" + (db ? sqlite3_errmsg(db) : "out of memory") + ").";
}

Result<Database> openDatabase(const QString& path, int flags, const char* doing)
{
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, flags, nullptr);
    Database db(raw);
    if (rc != SQLITE_OK)
        return Error{message(raw, doing)};
    // A writer holding its lock briefly (a checkpoint) is waited for, not failed on.
    sqlite3_busy_timeout(raw, 10000);
    return db;
}

Result<Done> execute(sqlite3* db, const char* sql, const char* doing)
{
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        return Error{message(db, doing)};
    return Done{};
}

} // namespace

Result<Done> backupDatabase(const QString& source, const QString& destination)
{
    const QString partial = destination + QStringLiteral(".part");
    QFile::remove(partial);
    {
        auto from = openDatabase(source, SQLITE_OPEN_READONLY, "The logbook could not be opened for its backup");
        if (!from)
            return Error{from.error()};
        auto to = openDatabase(partial, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                               "The backup copy could not be created");
        if (!to)
            return Error{to.error()};
        sqlite3_backup* backup = sqlite3_backup_init(to->get(), "main", from->get(), "main");
        if (!backup) {
            const std::string why = message(to->get(), "The backup could not be started");
            to->reset();
            QFile::remove(partial);
            return Error{why};
        }
        // All pages in one step: a step-wise copy restarts whenever another
        // process commits in between, and a busy logbook would never finish.
        // One step reads a single snapshot, and in WAL mode writers go on.
        int rc = SQLITE_OK;
        for (int attempt = 0; attempt < 100; ++attempt) {
            rc = sqlite3_backup_step(backup, -1);
            if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED)
                break;
            sqlite3_sleep(100);
        }
        sqlite3_backup_finish(backup);
        if (rc != SQLITE_DONE) {
            const std::string why = std::string("The logbook could not be copied (") + sqlite3_errstr(rc) + ").";
            to->reset();
            QFile::remove(partial);
            return Error{why};
        }
        // A plain file: readable where no lock files can be made, complete without a log beside it.
        if (auto plain = execute(to->get(), "PRAGMA journal_mode=DELETE", "The backup copy could not be finished");
            !plain) {
            to->reset();
            QFile::remove(partial);
            return plain;
        }
        sqlite3_stmt* check = nullptr;
        bool sound = false;
        if (sqlite3_prepare_v2(to->get(), "PRAGMA quick_check", -1, &check, nullptr) == SQLITE_OK &&
            sqlite3_step(check) == SQLITE_ROW) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(check, 0));
            sound = text && std::string_view(text) == "ok";
        }
        sqlite3_finalize(check);
        if (!sound) {
            to->reset();
            QFile::remove(partial);
            return Error{"The backup copy did not pass its check and was discarded."};
        }
    }
    // rename() replaces an older copy of the same name in one step.
    if (std::rename(QFile::encodeName(partial).constData(), QFile::encodeName(destination).constData()) != 0) {
        QFile::remove(partial);
        return Error{"The backup copy could not be put in place."};
    }
    return Done{};
}

Result<qint64> countRows(const QString& path, const QString& table)
{
    auto db = openDatabase(path, SQLITE_OPEN_READONLY, "The file could not be read");
    if (!db)
        return Error{db.error()};
    const QByteArray sql = QStringLiteral("SELECT COUNT(*) FROM %1").arg(schema::quoted(table)).toUtf8();
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db->get(), sql.constData(), -1, &statement, nullptr) != SQLITE_OK)
        return Error{message(db->get(), "The file could not be read")};
    qint64 count = -1;
    if (sqlite3_step(statement) == SQLITE_ROW)
        count = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    if (count < 0)
        return Error{message(db->get(), "The file could not be read")};
    return count;
}

Result<Done> renewStoreIdentity(const QString& path)
{
    auto db = openDatabase(path, SQLITE_OPEN_READWRITE, "The file could not be opened");
    if (!db)
        return Error{db.error()};
    const QByteArray sql = QStringLiteral("UPDATE %1 SET value = '%2' WHERE key = 'storeId'")
                               .arg(QLatin1String(schema::MetadataTable),
                                    QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper())
                               .toUtf8();
    return execute(db->get(), sql.constData(), "The copy could not be given its own identity");
}

} // namespace kalvora
