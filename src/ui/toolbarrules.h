#pragma once

namespace kalvora {

/** What the logbook window's toolbar rules look at. */
struct FlightSelectionState
{
    int flightCount = 0;
    int selectedCount = 0;
    /** every selected flight has an IGC record and a validity value (true or false) */
    bool allSelectedHaveIGC = false;

    bool operator==(const FlightSelectionState&) const = default;
};

/** The toolbar item tags whose availability follows the flight list. */
enum class ToolbarTag : int {
    Always = 0,
    NeedsFlights = 1,       ///< the list is not empty
    NeedsIGCSelection = 3,  ///< a selection in which every flight has an IGC record
    NeedsSingleFlight = 4,  ///< exactly one flight selected
    Never = 5,              ///< e.g. Google Earth when no application opens KML files
};

/** Whether a toolbar item carrying @p tag is enabled; unknown tags are always enabled. Any thread. */
[[nodiscard]] constexpr bool isToolbarItemEnabled(int tag, const FlightSelectionState& state)
{
    switch (tag) {
    case static_cast<int>(ToolbarTag::NeedsFlights): return state.flightCount > 0;
    case static_cast<int>(ToolbarTag::NeedsIGCSelection): return state.selectedCount > 0 && state.allSelectedHaveIGC;
    case static_cast<int>(ToolbarTag::NeedsSingleFlight): return state.selectedCount == 1;
    case static_cast<int>(ToolbarTag::Never): return false;
    default: return true;
    }
}

} // namespace kalvora
