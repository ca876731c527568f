#include "model/igcscorepoint.h"

#include "model/flight.h"

namespace kalvora {

namespace {
const bool g_registered = registerRecordClass<IGCScorePoint>();
}

Flight* IGCScorePoint::flight() const
{
    return qobject_cast<Flight*>(relatedObject(QStringLiteral("flight")));
}

void IGCScorePoint::setFlight(Flight* flight)
{
    setRelatedObject(QStringLiteral("flight"), flight);
}

} // namespace kalvora
