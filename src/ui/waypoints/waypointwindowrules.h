#pragma once

#include <QByteArray>
#include <QStringList>
#include <QUrl>

namespace kalvora {

/** What the waypoint window's toolbar rules look at. */
struct WaypointSelectionState
{
    int waypointCount = 0;
    int selectedCount = 0;
    bool operator==(const WaypointSelectionState&) const = default;
};

/** The waypoint window's toolbar item tags. */
enum class WaypointToolbarTag : int
{
    Always = 0,
    NeedsWaypoints = 1,     ///< the list is not empty
    NeedsSingleWaypoint = 2 ///< exactly one waypoint selected
};

/** Whether an item carrying TAG is enabled; unknown tags are always enabled. Any thread. */
[[nodiscard]] constexpr bool isWaypointToolbarItemEnabled(int tag, const WaypointSelectionState& state)
{
    switch (tag) {
    case static_cast<int>(WaypointToolbarTag::NeedsWaypoints):
        return state.waypointCount > 0;
    case static_cast<int>(WaypointToolbarTag::NeedsSingleWaypoint):
        return state.selectedCount == 1;
    default:
        return true;
    }
}

/**
 * The country choices of the resource "countries.txt" (UTF-8): the file split
 * at line feeds, the 2nd, 4th, 6th ... line in file order (the lines between
 * are not shown). Fewer than 2 lines give none. Any thread.
 */
[[nodiscard]] QStringList countryChoices(const QByteArray& utf8);

/** The web map's search page for a point in [1e-6 deg]: https://HOST/maps?q=LAT,LON with "%f". */
[[nodiscard]] QUrl webMapUrl(qint64 latitudeMicro, qint64 longitudeMicro);

} // namespace kalvora
