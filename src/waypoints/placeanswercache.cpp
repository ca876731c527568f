#include "waypoints/placeanswercache.h"

#include <utility>

#include "track/placefinder.h"

namespace kalvora {

PlaceAnswerCache::PlaceAnswerCache(QList<PlaceAnswer> answers) : m_answers(std::move(answers)) {}

std::optional<PlaceAnswer> PlaceAnswerCache::find(qint64 latitudeE6, qint64 longitudeE6) const
{
    std::lock_guard lock(m_mutex);
    std::optional<PlaceAnswer> best;
    qint64 bestDistance = 0;
    // A pilot's archive comes from a few dozen sites; a plain scan is enough.
    for (const PlaceAnswer& answer : m_answers) {
        const qint64 distance =
            PlaceFinder::gpsDistance(static_cast<double>(latitudeE6), static_cast<double>(longitudeE6),
                                     static_cast<double>(answer.latitudeE6), static_cast<double>(answer.longitudeE6));
        if (distance <= reuseDistanceM && (!best || distance < bestDistance)) {
            best = answer;
            bestDistance = distance;
        }
    }
    return best;
}

void PlaceAnswerCache::remember(const PlaceAnswer& answer)
{
    std::lock_guard lock(m_mutex);
    m_answers.append(answer);
    m_unsaved.append(answer);
}

QList<PlaceAnswer> PlaceAnswerCache::takeUnsaved()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_unsaved, {});
}

void PlaceAnswerCache::keepUnsaved(const QList<PlaceAnswer>& answers)
{
    std::lock_guard lock(m_mutex);
    m_unsaved = answers + m_unsaved;
}

qsizetype PlaceAnswerCache::size() const
{
    std::lock_guard lock(m_mutex);
    return m_answers.size();
}

} // namespace kalvora
