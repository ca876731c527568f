#include "ui/waypoints/waypointaddressfiller.h"

#include <QPointer>

#include "model/waypoint.h"
#include "store/objectcontext.h"
#include "waypoints/addresslookup.h"

namespace kalvora {

WaypointAddressFiller::WaypointAddressFiller(WaypointAddressLookup* lookup, QObject* parent)
    : QObject(parent), m_lookup(lookup)
{
    m_pool.setMaxThreadCount(1);
    qRegisterMetaType<Waypoint*>();
}

WaypointAddressFiller::~WaypointAddressFiller()
{
    m_pool.clear();
    m_pool.waitForDone();
}

void WaypointAddressFiller::fill(Waypoint* waypoint)
{
    if (!m_lookup || !waypoint)
        return;
    const double latitude = double(waypoint->latitude());
    const double longitude = double(waypoint->longitude());
    QPointer<Waypoint> target(waypoint);
    WaypointAddressLookup* lookup = m_lookup;
    m_pool.start([this, lookup, latitude, longitude, target] {
        const std::optional<WaypointAddress> address = lookup->lookup(latitude, longitude);
        // Queued to this object: dropped when the filler is gone by then.
        QMetaObject::invokeMethod(
            this,
            [this, target, address] {
                Waypoint* w = target.data();
                if (!w || w->isDeleted())
                    return;
                if (address) {
                    // Parts the finder did not name keep what the user may have typed meanwhile.
                    if (!address->city.isEmpty())
                        w->setCity(address->city);
                    if (!address->county.isEmpty())
                        w->setCounty(address->county);
                    if (!address->country.isEmpty())
                        w->setCountry(address->country);
                    if (!address->state.isEmpty())
                        w->setState(address->state);
                    if (ObjectContext* context = w->context())
                        (void)context->save();
                }
                emit filled(w, address.has_value());
            },
            Qt::QueuedConnection);
    });
}

bool WaypointAddressFiller::waitForDone(int timeoutMs)
{
    return m_pool.waitForDone(timeoutMs);
}

} // namespace kalvora
