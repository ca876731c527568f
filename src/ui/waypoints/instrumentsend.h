#pragma once

#include <QString>

#include <functional>
#include <vector>

#include "instruments/deviceroute.h"
#include "instruments/devicewaypoint.h"

class QWidget;

namespace kalvora {

/** How a send to the instrument ended: sent, declined by the user, or failed with a message. */
struct InstrumentSendResult
{
    bool sent = false;
    QString error; ///< empty when sent or declined
};

/**
 * What the waypoint and route windows use to send to the connected
 * instrument (the device window does the sending, off the GUI thread). The
 * windows offer the send only when this is set. GUI thread.
 */
struct InstrumentSend
{
    /** Whether a connected instrument takes waypoints / routes now. */
    std::function<bool()> canSendWaypoints;
    std::function<bool()> canSendRoutes;
    /** Sends WAYPOINTS in order; DONE is called once, on the GUI thread. */
    std::function<void(std::vector<DeviceWayPoint> waypoints, std::function<void(const InstrumentSendResult&)> done)>
        sendWaypoints;
    /** Sends ROUTE (asking first when the instrument keeps only one); DONE as above. */
    std::function<void(RouteToWrite route, std::function<void(const InstrumentSendResult&)> done)> sendRoute;
};

} // namespace kalvora
