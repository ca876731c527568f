#include "store/storedobject.h"

#include <QMutex>
#include <QMutexLocker>

#include "store/objectcontext.h"
#include "store/objectmodel.h"
#include "store/persistentstore.h"

namespace kalvora {

namespace {

struct FactoryRegistry
{
    QMutex mutex;
    QHash<QString, StoredObject::Factory> factories;
    int generation = 0; ///< counts registrations, so that answers kept elsewhere can tell they are old
};

FactoryRegistry& factoryRegistry()
{
    static FactoryRegistry registry;
    return registry;
}

/** Brings a value into the form its attribute keeps in memory; invalid for "absent". */
QVariant normalised(AttributeType type, const QVariant& v)
{
    if (!v.isValid() || v.isNull())
        return {};
    switch (type) {
    case AttributeType::String: {
        const QString s = v.toString();
        return s.isNull() ? QVariant() : QVariant(s);
    }
    case AttributeType::Double:
        return QVariant(v.toDouble());
    case AttributeType::Integer:
        return QVariant(qint64(v.toLongLong()));
    case AttributeType::Boolean:
        return QVariant(v.toBool());
    case AttributeType::Date: {
        QDateTime d = v.toDateTime();
        return d.isValid() ? QVariant(d.toUTC()) : QVariant();
    }
    case AttributeType::Binary:
        return QVariant(v.toByteArray());
    }
    return {};
}

} // namespace

StoredObject::StoredObject(QObject* parent) : QObject(parent) {}

StoredObject::~StoredObject() = default;

void StoredObject::registerClass(const QString& entityName, Factory factory)
{
    auto& r = factoryRegistry();
    QMutexLocker lock(&r.mutex);
    r.factories.insert(entityName, std::move(factory));
    ++r.generation;
}

StoredObject* StoredObject::create(const QString& entityName)
{
    auto& r = factoryRegistry();
    // A fetch creates one record per row, all of one entity: each thread keeps the last answer until
    // another entity is asked for or a class is registered.
    struct Last
    {
        QString entityName;
        Factory factory;
        int generation = -1;
    };
    thread_local Last last;
    {
        QMutexLocker lock(&r.mutex);
        if (last.generation != r.generation || last.entityName != entityName) {
            last.entityName = entityName;
            last.factory = r.factories.value(entityName);
            last.generation = r.generation;
        }
    }
    return last.factory ? last.factory() : new StoredObject;
}

QString StoredObject::entityName() const
{
    return m_entity ? m_entity->name : QString();
}

bool StoredObject::hasChanges() const
{
    return m_state == State::Inserted || m_state == State::Deleted || !m_changedKeys.isEmpty();
}

QVariant StoredObject::value(const QString& key) const
{
    if (!m_entity)
        return {};
    if (const qsizetype i = m_entity->attributeIndex(key); i >= 0) {
        if (m_entity->attributes[i].lazy && m_state == State::Persistent && !m_lazyLoaded.contains(key))
            return m_context->loadLazy(this, key);
        return m_values.value(i);
    }
    if (const RelationshipDescription* r = m_entity->relationship(key)) {
        if (r->toMany) {
            QVariantList list;
            for (StoredObject* o : relatedObjects(key))
                list.append(QVariant::fromValue(o));
            return list;
        }
        StoredObject* o = relatedObject(key);
        return o ? QVariant::fromValue(o) : QVariant();
    }
    return derivedValue(key);
}

bool StoredObject::isValueLoaded(const QString& key) const
{
    if (!m_entity)
        return false;
    const AttributeDescription* a = m_entity->attribute(key);
    return !(a && a->lazy && m_state == State::Persistent && !m_lazyLoaded.contains(key));
}

bool StoredObject::hasValue(const QString& key) const
{
    // Toolbars ask this of every selected flight; reading each track's
    // megabytes for a yes or no would stall the window.
    if (!isValueLoaded(key) && m_context)
        return m_context->lazyValueExists(this, key);
    return value(key).isValid();
}

void StoredObject::setValue(const QString& key, const QVariant& newValue)
{
    if (!m_entity || isDeleted())
        return;
    if (const RelationshipDescription* r = m_entity->relationship(key)) {
        if (!r->toMany)
            setRelatedObject(key, newValue.value<StoredObject*>());
        return;
    }
    const qsizetype i = m_entity->attributeIndex(key);
    if (i < 0)
        return;
    const QVariant oldValue = value(key);
    const QVariant v = normalised(m_entity->attributes[i].type, newValue);
    storeValue(i, v);
    m_lazyLoaded.insert(key);
    if (oldValue != v && m_context) {
        m_changedKeys.insert(key);
        m_context->objectDidChange(this);
    }
    if (m_context)
        m_context->registerUndo(this, key, oldValue, v);
    announce(key, oldValue, v);
}

void StoredObject::announce(const QString& key, const QVariant& oldValue, const QVariant& newValue)
{
    // What observers assign in reaction belongs to the same undo step.
    struct Depth
    {
        ObjectContext* context;
        explicit Depth(ObjectContext* c) : context(c)
        {
            if (context)
                ++context->m_assignmentDepth;
        }
        ~Depth()
        {
            if (context)
                --context->m_assignmentDepth;
        }
    } depth(m_context);
    didChangeValue(key, oldValue, newValue);
    emit valueChanged(key, oldValue, newValue);
    for (const QString& derived : derivedKeysAffectedBy(key))
        emit valueChanged(derived, QVariant(), derivedValue(derived));
}

void StoredObject::storeValue(qsizetype index, const QVariant& value)
{
    if (index < 0 || !m_entity || index >= m_entity->attributes.size())
        return;
    if (m_values.size() != m_entity->attributes.size()) {
        if (!value.isValid())
            return;
        m_values.resize(m_entity->attributes.size());
    }
    m_values[index] = value;
}

void StoredObject::relationshipDidChange(const QString& key)
{
    announce(key, QVariant(), QVariant());
}

double StoredObject::doubleValue(const QString& key) const
{
    return value(key).toDouble();
}

qint64 StoredObject::integerValue(const QString& key) const
{
    return value(key).toLongLong();
}

bool StoredObject::boolValue(const QString& key) const
{
    return value(key).toBool();
}

QString StoredObject::stringValue(const QString& key) const
{
    return value(key).toString();
}

QDateTime StoredObject::dateValue(const QString& key) const
{
    return value(key).toDateTime();
}

QByteArray StoredObject::dataValue(const QString& key) const
{
    return value(key).toByteArray();
}

StoredObject* StoredObject::relatedObject(const QString& key) const
{
    if (!m_entity || !m_context)
        return nullptr;
    const RelationshipDescription* r = m_entity->relationship(key);
    if (!r || r->toMany)
        return nullptr;
    if (!r->holdsKey) {
        // The other side of a one-to-one pair holds the reference.
        auto found = m_context->fetch(FetchRequest{
            r->destination, Predicate::where(r->inverse, Predicate::Op::Equal, objectValue(const_cast<StoredObject*>(this))),
            {}, 1});
        return found && !found->isEmpty() ? found->first() : nullptr;
    }
    auto it = m_toOne.constFind(key);
    if (it == m_toOne.constEnd())
        return nullptr;
    StoredObject* o = it->object;
    if (!o && it->row > 0) {
        const EntityDescription* dest = m_context->store().model().entity(r->destination);
        o = dest ? m_context->objectForRow(*dest, it->row) : nullptr;
        if (o)
            const_cast<StoredObject*>(this)->m_toOne[key].object = o;
    }
    return (o && !o->isDeleted()) ? o : nullptr;
}

void StoredObject::setRelatedObject(const QString& key, StoredObject* object)
{
    if (!m_entity || !m_context || isDeleted())
        return;
    const RelationshipDescription* r = m_entity->relationship(key);
    if (!r || r->toMany)
        return;
    if (object && (object->context() != m_context || object->entityName() != r->destination))
        return;
    StoredObject* old = relatedObject(key);
    if (!r->holdsKey) {
        if (old == object)
            return;
        if (old)
            old->setRelatedObject(r->inverse, nullptr);
        if (object)
            object->setRelatedObject(r->inverse, this);
        return;
    }
    if (old == object) {
        announce(key, QVariant::fromValue(old), QVariant::fromValue(object));
        return;
    }
    const RelationshipDescription* inverse =
        object ? object->entity().relationship(r->inverse) : (old ? old->entity().relationship(r->inverse) : nullptr);
    if (object && inverse && !inverse->toMany) {
        // One-to-one: whoever referred to `object` before loses it.
        if (StoredObject* previousOwner = object->relatedObject(r->inverse))
            previousOwner->setRelatedObject(key, nullptr);
    }
    m_toOne.insert(key, Ref{object, object && !object->objectId().isTemporary() ? object->objectId().key() : 0});
    m_changedKeys.insert(key);
    m_context->objectDidChange(this);
    m_context->registerUndo(this, key, QVariant::fromValue(old), QVariant::fromValue(object));
    announce(key, old ? QVariant::fromValue(old) : QVariant(), object ? QVariant::fromValue(object) : QVariant());
    if (old)
        old->relationshipDidChange(r->inverse);
    if (object)
        object->relationshipDidChange(r->inverse);
}

QList<StoredObject*> StoredObject::relatedObjects(const QString& key) const
{
    if (!m_entity || !m_context)
        return {};
    const RelationshipDescription* r = m_entity->relationship(key);
    if (!r || !r->toMany)
        return {};
    auto found = m_context->fetch(FetchRequest{
        r->destination, Predicate::where(r->inverse, Predicate::Op::Equal, objectValue(const_cast<StoredObject*>(this))),
        {}, 0});
    return found ? *found : QList<StoredObject*>{};
}

void StoredObject::addRelatedObject(const QString& key, StoredObject* object)
{
    const RelationshipDescription* r = m_entity ? m_entity->relationship(key) : nullptr;
    if (r && r->toMany && object)
        object->setRelatedObject(r->inverse, this);
}

void StoredObject::removeRelatedObject(const QString& key, StoredObject* object)
{
    const RelationshipDescription* r = m_entity ? m_entity->relationship(key) : nullptr;
    if (r && r->toMany && object && object->relatedObject(r->inverse) == this)
        object->setRelatedObject(r->inverse, nullptr);
}

void StoredObject::didChangeValue(const QString&, const QVariant&, const QVariant&) {}

QVariant StoredObject::derivedValue(const QString&) const
{
    return {};
}

QStringList StoredObject::derivedKeysAffectedBy(const QString&) const
{
    return {};
}

const QVariant* AttributeReader::find(const StoredObject& record)
{
    static const QVariant absent;
    if (!record.m_entity)
        return &absent;
    if (record.m_entity != m_entity) {
        m_entity = record.m_entity;
        m_index = m_entity->attributeIndex(m_key);
    }
    if (m_index < 0)
        return nullptr;
    if (m_entity->attributes[m_index].lazy && record.m_state == StoredObject::State::Persistent &&
        !record.m_lazyLoaded.contains(m_key))
        return nullptr;
    return m_index < record.m_values.size() ? &record.m_values[m_index] : &absent;
}

qint64 AttributeReader::integer(const StoredObject& record)
{
    const QVariant* v = find(record);
    if (!v)
        return record.integerValue(m_key);
    return v->typeId() == QMetaType::LongLong ? *static_cast<const qint64*>(v->constData()) : v->toLongLong();
}

double AttributeReader::number(const StoredObject& record)
{
    const QVariant* v = find(record);
    if (!v)
        return record.doubleValue(m_key);
    return v->typeId() == QMetaType::Double ? *static_cast<const double*>(v->constData()) : v->toDouble();
}

QString AttributeReader::string(const StoredObject& record)
{
    const QVariant* v = find(record);
    if (!v)
        return record.stringValue(m_key);
    return v->typeId() == QMetaType::QString ? *static_cast<const QString*>(v->constData()) : v->toString();
}

} // namespace kalvora
