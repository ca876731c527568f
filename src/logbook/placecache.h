#pragma once

#include <QList>

#include "track/result.h"
#include "waypoints/placeanswercache.h"

namespace kalvora {

class ObjectContext;

/** The geocoder's answers kept in the global store (entity "PlaceAnswer"); empty when they cannot be read. */
[[nodiscard]] QList<PlaceAnswer> readPlaceAnswers(ObjectContext& context);

/** Adds ANSWERS to the global store through CONTEXT and saves it. CONTEXT's thread. */
Result<Done> writePlaceAnswers(ObjectContext& context, const QList<PlaceAnswer>& answers);

/** Writes what CACHE learnt since the last call; answers that cannot be written are kept for the next call. */
void saveNewPlaceAnswers(PlaceAnswerCache& cache, ObjectContext& context);

} // namespace kalvora
