#include "store/storeschema.h"

#include <QDir>
#include <QSqlError>
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

QStringList createIndexSql(const EntityDescription& entity)
{
    QStringList out;
    for (const RelationshipDescription& r : entity.relationships) {
        if (r.toMany || !r.holdsKey)
            continue;
        out.append(QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                       .arg(quoted(entity.name + QLatin1Char('_') + r.name), quoted(entity.name), quoted(r.name)));
    }
    for (const QStringList& columns : entity.indexes) {
        QStringList cols;
        for (const QString& c : columns)
            cols.append(quoted(c));
        out.append(QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                       .arg(quoted(entity.name + QLatin1Char('_') + columns.join(QLatin1Char('_'))),
                            quoted(entity.name), cols.join(QStringLiteral(", "))));
    }
    return out;
}

Failure failureOf(const QSqlError& error)
{
    bool ok = false;
    // The driver hands on SQLite's result code; only its primary part matters here.
    const int code = error.nativeErrorCode().toInt(&ok) & 0xff;
    if (!ok)
        return Failure::Other;
    switch (code) {
    case 11: // SQLITE_CORRUPT
    case 26: // SQLITE_NOTADB
        return Failure::Damaged;
    case 5: // SQLITE_BUSY
    case 6: // SQLITE_LOCKED
        return Failure::Busy;
    case 8: // SQLITE_READONLY
        return Failure::ReadOnly;
    default:
        return Failure::Other;
    }
}

std::string describe(const QSqlError& error, const QString& path, const char* doing)
{
    const QString shown = QDir::toNativeSeparators(path);
    const QString detail = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    QString out;
    switch (failureOf(error)) {
    case Failure::Damaged:
        out = QStringLiteral("The file “%1” is damaged (%2).").arg(shown, detail);
        break;
    case Failure::Busy:
        out = QStringLiteral("%1: the file “%2” is in use by another program that is writing to it; try again when "
                             "it is done (%3).")
                  .arg(QString::fromUtf8(doing), shown, detail);
        break;
    case Failure::ReadOnly:
        out = QStringLiteral("%1: the file “%2” is read-only (%3).").arg(QString::fromUtf8(doing), shown, detail);
        break;
    case Failure::Other:
        out = QStringLiteral("%1 (%2).").arg(QString::fromUtf8(doing), detail);
        break;
    }
    return out.toStdString();
}

} // namespace kalvora::schema
