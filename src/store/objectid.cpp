#include "store/objectid.h"

#include <QStringList>

namespace kalvora {

namespace {
const QString kScheme = QStringLiteral("x-kalvora://");
}

QString ObjectId::uriString() const
{
    if (!isValid())
        return {};
    return kScheme + m_storeId + QLatin1Char('/') + m_entity + QLatin1Char('/') +
           QLatin1Char(m_temporary ? 't' : 'p') + QString::number(m_key);
}

std::optional<ObjectId> ObjectId::fromUriString(const QString& uri)
{
    if (!uri.startsWith(kScheme))
        return std::nullopt;
    const QStringList parts = uri.mid(kScheme.size()).split(QLatin1Char('/'));
    if (parts.size() != 3 || parts[0].isEmpty() || parts[1].isEmpty() || parts[2].size() < 2)
        return std::nullopt;
    const QChar kind = parts[2].front();
    if (kind != QLatin1Char('p') && kind != QLatin1Char('t'))
        return std::nullopt;
    bool ok = false;
    const qint64 key = parts[2].mid(1).toLongLong(&ok);
    if (!ok || key <= 0)
        return std::nullopt;
    return ObjectId(parts[0], parts[1], key, kind == QLatin1Char('t'));
}

} // namespace kalvora
