#pragma once

#include <QList>
#include <QString>

#include <vector>
#include <QStringList>

namespace kalvora {

/** How an attribute is held in memory (QVariant type) and in the store file. */
enum class AttributeType
{
    String,  ///< QString, TEXT column
    Double,  ///< double, REAL column
    Integer, ///< qint64, INTEGER column
    Boolean, ///< bool, INTEGER column 0/1
    Date,    ///< QDateTime (UTC), REAL column of seconds since 1970-01-01 00:00 UTC
    Binary,  ///< QByteArray (image data, bookmarks), BLOB column
};

struct AttributeDescription
{
    QString name;
    AttributeType type = AttributeType::Double;
    /// Large values (IGC text, pictures) are read from the file only when first asked for.
    bool lazy = false;
};

enum class DeleteRule
{
    Nullify, ///< related records lose their reference to the deleted one
    Cascade, ///< related records are deleted with it
};

struct RelationshipDescription
{
    QString name;
    QString destination; ///< entity name
    QString inverse;     ///< name of the inverse relationship in `destination`
    bool toMany = false;
    DeleteRule deleteRule = DeleteRule::Nullify;
    /// For a to-one relationship: whether this side holds the reference column.
    /// A to-one whose inverse is to-many always holds it; of a one-to-one pair exactly one side does.
    bool holdsKey = false;
};

struct EntityDescription
{
    QString name;
    QList<AttributeDescription> attributes;
    QList<RelationshipDescription> relationships;
    /// Columns searched by value often enough to deserve an index, each list one index.
    QList<QStringList> indexes;

    const AttributeDescription* attribute(const QString& key) const;
    const RelationshipDescription* relationship(const QString& key) const;
    /** The position of attribute KEY in `attributes`; -1 for none. */
    qsizetype attributeIndex(const QString& key) const;

    /**
     * Lets attributeIndex() find a name through a small table instead of comparing it
     * with every name in turn: records read each value by name, for every read. Call
     * once `attributes` is complete, and again after it changes; until then names are
     * compared one by one.
     */
    void indexNames();

private:
    static size_t slotHash(const QString& key);
    std::vector<qint32> m_slots; ///< attribute position + 1 per slot, 0 for empty; a power of two long
    qsizetype m_indexedCount = -1;
};

/**
 * A named set of entities with a version. Opening a file written with an older
 * version migrates it; a file of a newer version is refused.
 */
struct ObjectModel
{
    QString name;
    int version = 1;
    QList<EntityDescription> entities;

    const EntityDescription* entity(const QString& name) const;

    /** "LogBookModel": Flight, Pilot, IGCScorePoint, ContestSubmission. */
    static const ObjectModel& logBook();
    /** "Kalvora": Equipment, Settings, Waypoint, Route, RouteWaypoint. */
    static const ObjectModel& global();
};

} // namespace kalvora
