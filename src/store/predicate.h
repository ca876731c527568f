#pragma once

#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <optional>

namespace kalvora {

class StoredObject;

/**
 * A fetch condition: comparisons of one attribute (or to-one relationship)
 * with a value, joined by AND. Values are bound, never pasted into SQL text.
 *
 * An absent attribute matches only `== QVariant()`; every other comparison
 * with an absent value is false (as in SQL). For a relationship the value is
 * a StoredObject* (QVariant::fromValue) or an invalid QVariant for "none".
 */
class Predicate
{
public:
    enum class Op
    {
        Equal,
        NotEqual,
        Less,
        LessOrEqual,
        Greater,
        GreaterOrEqual,
    };
    struct Term
    {
        QString key;
        Op op = Op::Equal;
        QVariant value;
    };

    Predicate() = default;
    /** The empty predicate matches every record. */
    bool isEmpty() const { return m_terms.isEmpty(); }
    const QList<Term>& terms() const { return m_terms; }

    static Predicate where(const QString& key, Op op, const QVariant& value);
    Predicate& andWhere(const QString& key, Op op, const QVariant& value);

    /**
     * Reads the small predicate language other parts of the system are written
     * in: "(freeDistance < 0)", "(dbID == %@)", "(latitude == %@) AND (longitude == %@)",
     * "(syncOnline == %@) AND (syncStatus== %@)", "(route == %@)". Each %@ takes the
     * next of `arguments`; a literal may be a number. nullopt for anything else.
     */
    [[nodiscard]] static std::optional<Predicate> parse(const QString& format, const QVariantList& arguments = {});

private:
    QList<Term> m_terms;
};

struct SortDescriptor
{
    QString key;
    bool ascending = true;
    bool caseInsensitive = false;
};

struct FetchRequest
{
    QString entity;
    Predicate predicate;
    QList<SortDescriptor> sortDescriptors;
    int limit = 0; ///< 0: no limit
};

/** Wraps a record for use as a predicate value. */
QVariant objectValue(StoredObject* object);

} // namespace kalvora
