#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include <string>

class QSqlError;

namespace kalvora {
struct EntityDescription;
}

/** How entities map onto SQLite tables; shared by the store's own files only. */
namespace kalvora::schema {

inline constexpr const char* MetadataTable = "kalvora_metadata";
inline constexpr const char* VersionTable = "schema_version";
/** The row key column of every entity table. */
inline constexpr const char* KeyColumn = "Z_PK";

QString quoted(const QString& identifier);
/** Column name and SQL type of every attribute and key-holding reference of `entity`; large values last. */
QList<QPair<QString, QString>> columns(const EntityDescription& entity);
QString createTableSql(const EntityDescription& entity);
/** "CREATE INDEX IF NOT EXISTS" statements for the entity's references and searched columns. */
QStringList createIndexSql(const EntityDescription& entity);

/** What went wrong with a file, as SQLite tells it. */
enum class Failure
{
    Damaged,  ///< malformed pages, or no database (any more)
    Busy,     ///< another connection held the lock past the busy timeout
    ReadOnly, ///< the file, its folder or the connection cannot be written
    Other,
};
Failure failureOf(const QSqlError& error);
/**
 * A sentence for the user: "The file “PATH” is damaged (…)." for damage, one
 * naming the other program for a busy file, and "DOING (…)." otherwise.
 */
std::string describe(const QSqlError& error, const QString& path, const char* doing);

} // namespace kalvora::schema
