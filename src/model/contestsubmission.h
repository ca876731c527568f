#pragma once

#include <QList>

#include "model/recordmacros.h"
#include "store/storedobject.h"

namespace kalvora {

class Flight;

/** One time a flight was sent to an online contest, and what the contest answered. */
class ContestSubmission final : public StoredObject
{
    Q_OBJECT

public:
    static constexpr const char* EntityName = "ContestSubmission";
    ContestSubmission() = default;

    KALVORA_STRING_ATTRIBUTE(contest, Contest)       ///< "dhvxc" or "xcontest"
    KALVORA_DATE_ATTRIBUTE(submittedUTC, SubmittedUTC)
    KALVORA_STRING_ATTRIBUTE(answer, Answer)         ///< the server's answer in a line, as far as it said one
    KALVORA_STRING_ATTRIBUTE(link, Link)             ///< where the contest shows the flight; empty when unknown

    Flight* flight() const;
    void setFlight(Flight* flight);
};

/** FLIGHT's submissions, oldest first. */
QList<ContestSubmission*> contestSubmissionsOf(const Flight& flight);

} // namespace kalvora
