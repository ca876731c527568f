#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QVariant>

#include <functional>

#include "store/objectid.h"

namespace kalvora {

class ObjectContext;
struct EntityDescription;

/**
 * One record of an object store. Records belong to the context that inserted
 * or fetched them, live as long as that context, and are used on its thread only.
 *
 * Values are read and written by attribute name; typed record classes (Flight,
 * Waypoint, ...) derive from this and add typed accessors. An attribute that was
 * never set is absent: value() returns an invalid QVariant.
 *
 * Every assignment emits valueChanged(key, old, new), also when the value does not
 * differ (observers such as the waypoint change tracking count assignments). A
 * record is marked changed only when the value differs. When a merge brings in
 * values that another context saved, the same signal fires with isRefreshing()
 * true: observers must not write back then (the values are already consistent).
 *
 * To define a typed record: derive, declare `static constexpr const char* EntityName`,
 * and register the class once with registerRecordClass<T>() (a static in its .cpp).
 */
class StoredObject : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StoredObject)

public:
    explicit StoredObject(QObject* parent = nullptr);
    ~StoredObject() override;

    const EntityDescription& entity() const { return *m_entity; }
    QString entityName() const;
    ObjectId objectId() const { return m_id; }
    ObjectContext* context() const { return m_context; }

    /** Inserted into its context and not yet saved. */
    bool isInserted() const { return m_state == State::Inserted; }
    /** Deleted in its context (saved or not), or deleted by another context and merged here. */
    bool isDeleted() const { return m_state == State::Deleted || m_state == State::Gone; }
    /** Has unsaved changes (inserted, changed or deleted). */
    bool hasChanges() const;
    /** True while a merge applies values saved by another context (inside valueChanged handlers). */
    bool isRefreshing() const { return m_refreshing; }

    /**
     * An attribute, a relationship (to-one: StoredObject*; to-many: QVariantList of
     * StoredObject*), or a derived value of the record class. Invalid when absent.
     */
    QVariant value(const QString& key) const;
    /** Sets an attribute or to-one relationship; an invalid QVariant (or a null text) makes it absent. */
    void setValue(const QString& key, const QVariant& value);
    /** Whether KEY has a value; a large value is not read from the file to answer. */
    bool hasValue(const QString& key) const;
    /** Whether KEY's value is in memory: false for a large value not read yet or released. */
    bool isValueLoaded(const QString& key) const;

    /** Typed reads; absent reads as 0, false, empty text, invalid date or empty bytes. */
    double doubleValue(const QString& key) const;
    qint64 integerValue(const QString& key) const;
    bool boolValue(const QString& key) const;
    QString stringValue(const QString& key) const;
    QDateTime dateValue(const QString& key) const;
    QByteArray dataValue(const QString& key) const;

    /** The record a to-one relationship refers to; nullptr for none. */
    StoredObject* relatedObject(const QString& key) const;
    void setRelatedObject(const QString& key, StoredObject* object);
    /** The records of a to-many relationship, in the order they were stored. */
    QList<StoredObject*> relatedObjects(const QString& key) const;
    void addRelatedObject(const QString& key, StoredObject* object);
    void removeRelatedObject(const QString& key, StoredObject* object);

    /** Process-wide: which class to create for an entity. Thread-safe. */
    using Factory = std::function<StoredObject*()>;
    static void registerClass(const QString& entityName, Factory factory);
    static StoredObject* create(const QString& entityName);

signals:
    /** An attribute, relationship or derived value changed (see the class comment). */
    void valueChanged(const QString& key, const QVariant& oldValue, const QVariant& newValue);

protected:
    /** Called once after the record was inserted into a context. */
    virtual void awakeFromInsert() {}
    /** Called once after the record was loaded from the store. */
    virtual void awakeFromFetch() {}
    /** Called after every assignment (and refresh) of a key, before valueChanged is emitted. */
    virtual void didChangeValue(const QString& key, const QVariant& oldValue, const QVariant& newValue);
    /** Derived values by name; invalid for unknown keys. */
    virtual QVariant derivedValue(const QString& key) const;
    /** The derived values that change with `key`; each is announced through valueChanged. */
    virtual QStringList derivedKeysAffectedBy(const QString& key) const;

private:
    friend class ObjectContext;
    friend class AttributeReader;

    enum class State
    {
        Detached,
        Inserted,
        Persistent,
        Deleted, ///< deletion pending until the next save
        Gone,    ///< deleted and saved, or deleted elsewhere and merged
    };
    struct Ref
    {
        StoredObject* object = nullptr;
        qint64 row = 0;
    };

    void announce(const QString& key, const QVariant& oldValue, const QVariant& newValue);
    /** The value of the attribute at INDEX of the entity; invalid when absent. */
    QVariant storedValue(qsizetype index) const { return m_values.value(index); }
    /** An invalid VALUE makes the attribute absent. */
    void storeValue(qsizetype index, const QVariant& value);
    void relationshipDidChange(const QString& key);

    ObjectContext* m_context = nullptr;
    const EntityDescription* m_entity = nullptr;
    ObjectId m_id;
    State m_state = State::Detached;
    QList<QVariant> m_values; ///< by attribute position in the entity; invalid for absent
    QSet<QString> m_lazyLoaded;
    QHash<QString, Ref> m_toOne;
    QSet<QString> m_changedKeys;
    bool m_refreshing = false;
};

/**
 * Reads one key of many records, such as every waypoint's name for a sort.
 * The key's position is looked up once per entity and stored values are read
 * in place, which makes going over 100 000 records many times cheaper than
 * value() for each. The typed reads give what the record's typed reads
 * (integerValue() and so on) give. Thread of the records' context.
 */
class AttributeReader
{
public:
    explicit AttributeReader(QString key) : m_key(std::move(key)) {}

    qint64 integer(const StoredObject& record);
    double number(const StoredObject& record);
    QString string(const StoredObject& record);

private:
    /** The value in place; nullptr when KEY is no stored attribute of the record (read through value() then). */
    const QVariant* find(const StoredObject& record);

    QString m_key;
    const EntityDescription* m_entity = nullptr;
    qsizetype m_index = -1;
};

/** Registers T (with `static constexpr const char* EntityName`) as the class of its entity. */
template <typename T>
bool registerRecordClass()
{
    StoredObject::registerClass(QString::fromLatin1(T::EntityName), [] { return new T; });
    return true;
}

} // namespace kalvora
