#pragma once

#include <QHashFunctions>
#include <QMetaType>
#include <QString>

#include <optional>

namespace kalvora {

/**
 * Identity of one stored record. A record gets a temporary identifier when it
 * is inserted and a permanent one when its context is saved; only permanent
 * identifiers survive a restart. The URI text has the form
 * "x-kalvora://<store-uuid>/<Entity>/p<row>" (temporary: ".../t<n>").
 */
class ObjectId
{
public:
    ObjectId() = default;
    ObjectId(QString storeId, QString entity, qint64 key, bool temporary)
        : m_storeId(std::move(storeId)), m_entity(std::move(entity)), m_key(key), m_temporary(temporary)
    {
    }

    bool isValid() const { return m_key != 0; }
    bool isTemporary() const { return m_temporary; }
    const QString& storeId() const { return m_storeId; }
    const QString& entity() const { return m_entity; }
    /** The row of a permanent identifier; the serial of a temporary one. */
    qint64 key() const { return m_key; }

    QString uriString() const;
    /** Parses a URI text; nullopt when it is not one of ours. Whether the record exists is the context's question. */
    [[nodiscard]] static std::optional<ObjectId> fromUriString(const QString& uri);

    bool operator==(const ObjectId&) const = default;

private:
    QString m_storeId;
    QString m_entity;
    qint64 m_key = 0;
    bool m_temporary = false;
};

inline size_t qHash(const ObjectId& id, size_t seed = 0)
{
    return qHashMulti(seed, id.storeId(), id.entity(), id.key(), id.isTemporary());
}

} // namespace kalvora

Q_DECLARE_METATYPE(kalvora::ObjectId)
