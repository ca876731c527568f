#pragma once

#include <functional>
#include <memory>
#include <optional>

class QObject;

namespace kalvora {

/** A position in degrees, north and east positive. */
struct GeoDegrees
{
    double latitude = 0;
    double longitude = 0;
    bool operator==(const GeoDegrees&) const = default;
};

/**
 * Where the user is, asked once by the waypoint window for its distance sort.
 * GUI thread.
 */
class CurrentPositionSource
{
public:
    virtual ~CurrentPositionSource() = default;
    /**
     * Asks for one report of the current position. REPLY is called once, on the
     * GUI thread and never before this returns, with the position or nullopt
     * when there is none; it is not called once RECEIVER is gone.
     */
    virtual void requestPosition(QObject* receiver, std::function<void(std::optional<GeoDegrees>)> reply) = 0;
};

/** Whether this build can ask the system's positioning service (Qt Positioning). */
[[nodiscard]] bool systemPositioningBuiltIn();

/**
 * The system's positioning service when the build has it and the system
 * offers a source; otherwise, or when the service fails or does not answer
 * within TIMEOUTMS, FALLBACK (the most recent flight's take-off, say; may be
 * empty: no position).
 */
[[nodiscard]] std::unique_ptr<CurrentPositionSource>
makeSystemPositionSource(std::function<std::optional<GeoDegrees>()> fallback, int timeoutMs = 15000);

} // namespace kalvora
