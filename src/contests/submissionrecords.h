#pragma once

#include <QDateTime>
#include <QString>

#include "contests/contestservice.h"

namespace kalvora {

class ContestSubmission;
class Flight;
class ObjectContext;

/**
 * Remembers that FLIGHT was sent to CONTEST at WHEN with the server's ANSWER
 * (a line) and LINK. The record goes into the flight's context; saving is the
 * caller's (a logbook document saves itself). GUI thread of the context.
 */
ContestSubmission* recordContestSubmission(ObjectContext& context, Flight& flight, Contest contest,
                                           const QString& answer, const QString& link,
                                           const QDateTime& when = QDateTime::currentDateTimeUtc());

/** The latest submission of FLIGHT to CONTEST; nullptr when it was never sent there. */
[[nodiscard]] ContestSubmission* lastContestSubmission(const Flight& flight, Contest contest);

/** "DHV-XC on 2026-12-07 14:05 UTC: ANSWER" (the link instead of the answer when there is one). */
[[nodiscard]] QString contestSubmissionText(const ContestSubmission& submission);

/** The question before a flight is sent to CONTEST again. */
[[nodiscard]] QString resubmitQuestion(const ContestSubmission& previous);

} // namespace kalvora
