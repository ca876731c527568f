// kalvora-sim-braeuniger: a "$PBR" instrument on a pseudo-terminal, for trying the
// driver without hardware.
#include "braeunigersim.h"

int main(int argc, char** argv)
{
    using namespace kalvora::sim;
    return simulatorMain(
        argc, argv, "kalvora-sim-braeuniger", " [--extended 0|1] [--waypoint-reply echo|full|flow]",
        [](const SimArgs& args) {
            auto sim =
                std::make_shared<BraeunigerSim>(args.model.empty() ? "COMPEO+" : args.model, args.igcFiles);
            if (const auto it = args.extra.find("extended"); it != args.extra.end())
                sim->setExtendedLists(it->second != "0");
            if (const auto it = args.extra.find("waypoint-reply"); it != args.extra.end())
                sim->setWaypointReply(it->second == "full"      ? BraeunigerSim::WaypointReply::Full
                                      : it->second == "flow"    ? BraeunigerSim::WaypointReply::FlowControl
                                                                : BraeunigerSim::WaypointReply::Echo);
            return sim;
        });
}
