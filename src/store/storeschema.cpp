#include "store/storeschema.h"

#include <QStringList>

#include "store/objectmodel.h"

namespace kalvora::schema {

QString quoted(const QString& identifier)
{
    QString s = identifier;
    s.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

QList<QPair<QString, QString>> columns(const EntityDescription& entity)
{
    QList<QPair<QString, QString>> out;
    QList<QPair<QString, QString>> large;
    for (const AttributeDescription& a : entity.attributes) {
        QString type;
        switch (a.type) {
        case AttributeType::String:
            type = QStringLiteral("TEXT");
            break;
        case AttributeType::Double:
        case AttributeType::Date:
            type = QStringLiteral("REAL");
            break;
        case AttributeType::Integer:
        case AttributeType::Boolean:
            type = QStringLiteral("INTEGER");
            break;
        case AttributeType::Binary:
            type = QStringLiteral("BLOB");
            break;
        }
        (a.lazy ? large : out).append({a.name, type});
    }
    for (const RelationshipDescription& r : entity.relationships)
        if (!r.toMany && r.holdsKey)
            out.append({r.name, QStringLiteral("INTEGER")});
    // SQLite keeps a row's columns in sequence and spills long ones into a page
    // chain; a column behind an IGC text can only be reached by walking that chain.
    // Large values go last so that listing flights never reads them.
    return out + large;
}

QString createTableSql(const EntityDescription& entity)
{
    // AUTOINCREMENT keeps rows of deleted records from being handed out again,
    // so an identifier kept in the preferences never names a newer record.
    QStringList defs{quoted(QLatin1String(KeyColumn)) + QStringLiteral(" INTEGER PRIMARY KEY AUTOINCREMENT")};
    for (const auto& [name, type] : columns(entity))
        defs.append(quoted(name) + QLatin1Char(' ') + type);
    return QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)").arg(quoted(entity.name), defs.join(QStringLiteral(", ")));
}

} // namespace kalvora::schema
