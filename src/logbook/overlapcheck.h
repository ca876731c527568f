#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>
#include <utility>

namespace kalvora {

/** What to do with a file that overlaps a flight of the logbook; the values are the overlap sheet's button tags. */
enum class OverlapChoice
{
    Cancel = 0,       ///< import nothing, delete nothing
    ImportAsWell = 1, ///< import the file, keep the old flight
    Replace = 2,      ///< import the file, delete the old flight after the import
    Skip = 3,         ///< leave the file out
};

/** The choice of an overlap-sheet button TAG; any unknown tag cancels. */
[[nodiscard]] OverlapChoice overlapChoiceFromTag(int tag);

struct OverlapAnswer
{
    OverlapChoice choice = OverlapChoice::Cancel;
    bool applyToAll = false; ///< use this choice for every further conflict of the run
    bool operator==(const OverlapAnswer&) const = default;
};

/** The take-off and landing of a logbook flight; an absent instant counts as the start of 1970. */
struct FlightSpan
{
    QDateTime startUTC;
    QDateTime landingUTC;
};

/**
 * Whether a file flown from START for FLIGHTTIMES [s] overlaps SPAN. Both
 * comparisons are strict: a file that ends exactly at a flight's take-off
 * does not overlap it.
 */
[[nodiscard]] bool overlaps(const QDateTime& start, qint64 flightTimeS, const FlightSpan& span);

/** The index of the first flight of FLIGHTS (in list order) that the file overlaps; nullopt when none. */
[[nodiscard]] std::optional<qsizetype> firstOverlappingFlight(const QDateTime& start, qint64 flightTimeS,
                                                              const QList<FlightSpan>& flights);

/**
 * The overlap check of one import run over FILES (each with its start and
 * flight time) against the logbook's FLIGHTS. The files are not tested
 * against each other. Drive it with nextConflict()/answer() until
 * nextConflict() returns nullopt; then accepted() and replaced() hold the
 * outcome. A plain value; any thread.
 */
class OverlapCheck
{
public:
    struct File
    {
        QDateTime start;
        qint64 flightTimeS = 0;
    };
    struct Conflict
    {
        qsizetype file = 0;   ///< index into the files given
        qsizetype flight = 0; ///< index into the flights given
    };

    OverlapCheck(QList<File> files, QList<FlightSpan> flights);

    /**
     * Runs the check up to the next overlap that needs the user's answer.
     * @return that conflict, or nullopt when the check is complete (or cancelled).
     */
    [[nodiscard]] std::optional<Conflict> nextConflict();
    /** The user's answer to the conflict last returned by nextConflict(). */
    void answer(const OverlapAnswer& answer);

    bool isCancelled() const { return m_cancelled; }
    /** Indices of the files to import, in the order given; empty after a cancel. */
    QList<qsizetype> accepted() const;
    /** Indices of the flights to delete after the import, each once; empty after a cancel. */
    QList<qsizetype> replaced() const;
    /** Every (file, flight) pair answered with Replace, in answer order; empty after a cancel. */
    QList<std::pair<qsizetype, qsizetype>> replacements() const;

private:
    void apply(OverlapChoice choice, qsizetype file, qsizetype flight);

    QList<File> m_files;
    QList<FlightSpan> m_flights;
    QList<bool> m_skipped;
    QList<qsizetype> m_replaced;
    QList<std::pair<qsizetype, qsizetype>> m_replacements;
    qsizetype m_counter = 0;
    std::optional<OverlapChoice> m_lastChoice;
    std::optional<Conflict> m_pending;
    bool m_cancelled = false;
};

} // namespace kalvora
