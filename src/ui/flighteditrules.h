#pragma once

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace kalvora {

/** What an editor shows for several records: one value (absent when none is set) or "multiple values". */
struct SharedValue
{
    bool mixed = false;
    QVariant value; ///< the common value; invalid when it is absent or mixed

    bool operator==(const SharedValue&) const = default;
};

/**
 * The value @p get reads from every record, as one editor shows it: mixed when
 * two records differ (an absent value differs from a present one). No records
 * give an absent value. Any thread.
 */
template <typename Record, typename Get>
[[nodiscard]] SharedValue sharedValue(const QList<Record*>& records, Get get)
{
    SharedValue shared;
    bool first = true;
    for (Record* record : records) {
        const QVariant value = get(record);
        if (first) {
            shared.value = value;
            first = false;
        } else if (value != shared.value) {
            return SharedValue{true, {}};
        }
    }
    return shared;
}

/** The list of glider types; the position is the flight's `glidertype`. */
[[nodiscard]] inline QStringList gliderTypeNames()
{
    return {QCoreApplication::translate("FlightDetailPane", "Paraglider"),
            QCoreApplication::translate("FlightDetailPane", "Hang glider"),
            QCoreApplication::translate("FlightDetailPane", "Rigid wing")};
}

/** "Take-off → Landing"; one place alone when the other is empty; "" for none (no lone arrow). */
[[nodiscard]] inline QString placesSummary(const QString& startLocation, const QString& landingLocation)
{
    const QString start = startLocation.trimmed();
    const QString landing = landingLocation.trimmed();
    if (!start.isEmpty() && !landing.isEmpty())
        return start + QStringLiteral(" \u2192 ") + landing;
    if (!start.isEmpty())
        return QCoreApplication::translate("FlightDetailPane", "From %1").arg(start);
    if (!landing.isEmpty())
        return QCoreApplication::translate("FlightDetailPane", "To %1").arg(landing);
    return {};
}

} // namespace kalvora
