#include "logbook/overlapcheck.h"

namespace kalvora {

namespace {

qint64 secondsOrEpoch(const QDateTime& instant)
{
    return instant.isValid() ? instant.toSecsSinceEpoch() : 0;
}

} // namespace

OverlapChoice overlapChoiceFromTag(int tag)
{
    switch (tag) {
    case 1:
        return OverlapChoice::ImportAsWell;
    case 2:
        return OverlapChoice::Replace;
    case 3:
        return OverlapChoice::Skip;
    default:
        return OverlapChoice::Cancel;
    }
}

bool overlaps(const QDateTime& start, qint64 flightTimeS, const FlightSpan& span)
{
    const qint64 s = secondsOrEpoch(start);
    const qint64 e = s + flightTimeS;
    return e > secondsOrEpoch(span.startUTC) && secondsOrEpoch(span.landingUTC) > s;
}

std::optional<qsizetype> firstOverlappingFlight(const QDateTime& start, qint64 flightTimeS,
                                                const QList<FlightSpan>& flights)
{
    for (qsizetype i = 0; i < flights.size(); ++i) {
        if (overlaps(start, flightTimeS, flights[i]))
            return i;
    }
    return std::nullopt;
}

OverlapCheck::OverlapCheck(QList<File> files, QList<FlightSpan> flights)
    : m_files(std::move(files)), m_flights(std::move(flights)), m_skipped(m_files.size(), false)
{
}

std::optional<OverlapCheck::Conflict> OverlapCheck::nextConflict()
{
    if (m_pending)
        return m_pending;
    while (!m_cancelled && m_counter < m_files.size()) {
        const qsizetype file = m_counter++;
        const auto flight = firstOverlappingFlight(m_files[file].start, m_files[file].flightTimeS, m_flights);
        if (!flight)
            continue;
        if (m_lastChoice) {
            apply(*m_lastChoice, file, *flight);
            continue;
        }
        m_pending = Conflict{file, *flight};
        return m_pending;
    }
    return std::nullopt;
}

void OverlapCheck::answer(const OverlapAnswer& answer)
{
    if (!m_pending)
        return;
    const Conflict conflict = *m_pending;
    m_pending.reset();
    // A cancel is never remembered: it ends the run at once.
    if (answer.applyToAll && answer.choice != OverlapChoice::Cancel)
        m_lastChoice = answer.choice;
    apply(answer.choice, conflict.file, conflict.flight);
}

void OverlapCheck::apply(OverlapChoice choice, qsizetype file, qsizetype flight)
{
    switch (choice) {
    case OverlapChoice::ImportAsWell:
        break;
    case OverlapChoice::Replace:
        m_replacements.append({file, flight});
        if (!m_replaced.contains(flight))
            m_replaced.append(flight);
        break;
    case OverlapChoice::Skip:
        m_skipped[file] = true;
        break;
    case OverlapChoice::Cancel:
        m_cancelled = true;
        break;
    }
}

QList<qsizetype> OverlapCheck::accepted() const
{
    QList<qsizetype> result;
    if (m_cancelled)
        return result;
    for (qsizetype i = 0; i < m_files.size(); ++i) {
        if (!m_skipped[i])
            result.append(i);
    }
    return result;
}

QList<std::pair<qsizetype, qsizetype>> OverlapCheck::replacements() const
{
    return m_cancelled ? QList<std::pair<qsizetype, qsizetype>>() : m_replacements;
}

QList<qsizetype> OverlapCheck::replaced() const
{
    return m_cancelled ? QList<qsizetype>() : m_replaced;
}

} // namespace kalvora
