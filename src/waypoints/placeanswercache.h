#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <mutex>
#include <optional>

namespace kalvora {

/** What the reverse geocoder said about one point. */
struct PlaceAnswer
{
    qint64 latitudeE6 = 0;  ///< [1e-6 deg] the point asked about
    qint64 longitudeE6 = 0; ///< [1e-6 deg]
    std::optional<QString> city;
    std::optional<QString> county;
    std::optional<QString> state;
    std::optional<QString> country;
    std::optional<QString> countryCode;
    QDateTime askedAt; ///< UTC

    bool operator==(const PlaceAnswer&) const = default;
};

/**
 * Answers of the reverse geocoder kept for reuse: a point within
 * reuseDistanceM of a point already asked about gets that answer without a
 * request. Thread-safe: every look-up thread of the process may share it.
 */
class PlaceAnswerCache
{
public:
    /** [m] The distance within which a stored waypoint also names a place. */
    static constexpr qint64 reuseDistanceM = 250;

    explicit PlaceAnswerCache(QList<PlaceAnswer> answers = {});
    virtual ~PlaceAnswerCache() = default;
    PlaceAnswerCache(const PlaceAnswerCache&) = delete;
    PlaceAnswerCache& operator=(const PlaceAnswerCache&) = delete;

    /** The answer for the nearest point asked about within reuseDistanceM; nullopt for none. */
    [[nodiscard]] std::optional<PlaceAnswer> find(qint64 latitudeE6, qint64 longitudeE6) const;
    /** Keeps ANSWER; it is also among the answers takeUnsaved() hands out next. */
    void remember(const PlaceAnswer& answer);
    /** The answers remembered since the last call, for whoever writes them down. */
    [[nodiscard]] QList<PlaceAnswer> takeUnsaved();
    /** Hands ANSWERS (from takeUnsaved()) back when they could not be written, for the next try. */
    void keepUnsaved(const QList<PlaceAnswer>& answers);
    /** How many answers are kept. */
    [[nodiscard]] qsizetype size() const;

private:
    mutable std::mutex m_mutex;
    QList<PlaceAnswer> m_answers;
    QList<PlaceAnswer> m_unsaved;
};

} // namespace kalvora
