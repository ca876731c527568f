#include "store/predicate.h"

#include <QRegularExpression>

#include "store/storedobject.h"

namespace kalvora {

Predicate Predicate::where(const QString& key, Op op, const QVariant& value)
{
    Predicate p;
    p.m_terms.append(Term{key, op, value});
    return p;
}

Predicate& Predicate::andWhere(const QString& key, Op op, const QVariant& value)
{
    m_terms.append(Term{key, op, value});
    return *this;
}

std::optional<Predicate> Predicate::parse(const QString& format, const QVariantList& arguments)
{
    static const QRegularExpression termPattern(
        QStringLiteral(R"(^\s*\(?\s*([A-Za-z_][A-Za-z0-9_]*)\s*(==|=|!=|<>|<=|>=|<|>)\s*(%@|-?[0-9]+(?:\.[0-9]+)?|nil)\s*\)?\s*$)"));
    static const QRegularExpression andPattern(QStringLiteral(R"(\s+AND\s+)"), QRegularExpression::CaseInsensitiveOption);

    Predicate p;
    qsizetype nextArgument = 0;
    const QString trimmed = format.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    for (const QString& part : trimmed.split(andPattern)) {
        const auto m = termPattern.match(part);
        if (!m.hasMatch())
            return std::nullopt;
        const QString opText = m.captured(2);
        Op op = Op::Equal;
        if (opText == QLatin1String("!=") || opText == QLatin1String("<>"))
            op = Op::NotEqual;
        else if (opText == QLatin1String("<"))
            op = Op::Less;
        else if (opText == QLatin1String("<="))
            op = Op::LessOrEqual;
        else if (opText == QLatin1String(">"))
            op = Op::Greater;
        else if (opText == QLatin1String(">="))
            op = Op::GreaterOrEqual;
        QVariant value;
        const QString valueText = m.captured(3);
        if (valueText == QLatin1String("%@")) {
            if (nextArgument >= arguments.size())
                return std::nullopt;
            value = arguments.at(nextArgument++);
        } else if (valueText != QLatin1String("nil")) {
            value = valueText.contains(QLatin1Char('.')) ? QVariant(valueText.toDouble())
                                                         : QVariant(valueText.toLongLong());
        }
        p.m_terms.append(Term{m.captured(1), op, value});
    }
    if (nextArgument != arguments.size())
        return std::nullopt;
    return p;
}

QVariant objectValue(StoredObject* object)
{
    return object ? QVariant::fromValue(object) : QVariant();
}

} // namespace kalvora
