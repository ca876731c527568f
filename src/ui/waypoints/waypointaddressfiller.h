#pragma once

#include <QObject>
#include <QThreadPool>

namespace kalvora {

class Waypoint;
class WaypointAddressLookup;

/**
 * Fills the address of new waypoints in the background: the place finder may
 * block for several seconds, so each look-up runs on a worker of its own pool
 * (one at a time; the finder paces its requests anyway) and its answer is
 * applied on the GUI thread, only when the waypoint still exists then. The
 * address parts found (city, county, state, country) are copied and the
 * waypoint's context is saved; failures leave the fields as they were.
 * GUI thread.
 */
class WaypointAddressFiller final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WaypointAddressFiller)

public:
    /** LOOKUP may be null (nothing is looked up); it must outlive this object. */
    explicit WaypointAddressFiller(WaypointAddressLookup* lookup, QObject* parent = nullptr);
    /** Waits for look-ups still running; their answers are dropped. */
    ~WaypointAddressFiller() override;

    /** Looks up the address at WAYPOINT's coordinates as they are now. */
    void fill(Waypoint* waypoint);
    /** Blocks until every look-up has ended; true when they did within TIMEOUTMS. Tests. */
    bool waitForDone(int timeoutMs);

signals:
    /** The address of WAYPOINT was looked up (FOUND: and copied into it). */
    void filled(kalvora::Waypoint* waypoint, bool found);

private:
    WaypointAddressLookup* m_lookup;
    QThreadPool m_pool;
};

} // namespace kalvora
