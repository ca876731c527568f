#pragma once

#include <QList>
#include <QPair>
#include <QString>

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

} // namespace kalvora::schema
