#include "model/contestsubmission.h"

#include <algorithm>

#include "model/flight.h"

namespace kalvora {

namespace {
const bool g_registered = registerRecordClass<ContestSubmission>();
}

Flight* ContestSubmission::flight() const
{
    return qobject_cast<Flight*>(relatedObject(QStringLiteral("flight")));
}

void ContestSubmission::setFlight(Flight* flight)
{
    setRelatedObject(QStringLiteral("flight"), flight);
}

QList<ContestSubmission*> contestSubmissionsOf(const Flight& flight)
{
    QList<ContestSubmission*> list;
    for (StoredObject* o : flight.relatedObjects(QStringLiteral("contestSubmissions")))
        if (auto* submission = qobject_cast<ContestSubmission*>(o))
            list.append(submission);
    std::stable_sort(list.begin(), list.end(), [](const ContestSubmission* a, const ContestSubmission* b) {
        return a->submittedUTC() < b->submittedUTC();
    });
    return list;
}

} // namespace kalvora
