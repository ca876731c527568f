// kalvora-cli wpt read FILE: the older name of `waypoints read`, kept for scripts.

#include "cli/command.h"
#include "cli/waypointfileread.h"

namespace kalvora::cli {
namespace {

int runWpt(const QStringList& args)
{
    return runWaypointFileRead(args, "Usage: kalvora-cli wpt read FILE [--routes]");
}

RegisterCommand reg{{"wpt", "wpt read FILE [--routes]", "the same as waypoints read", &runWpt}};

} // namespace
} // namespace kalvora::cli
