// kalvora-sim-flytec: a Flytec instrument of the command protocol on a
// pseudo-terminal, for trying the driver without hardware.
#include "flytecsim.h"

int main(int argc, char** argv)
{
    using namespace kalvora::sim;
    return simulatorMain(argc, argv, "kalvora-sim-flytec", " [--no-par ADDRESS]", [](const SimArgs& args) {
        auto sim =
            std::make_shared<FlytecSim>(args.model.empty() ? "Flytec 6015 V3.14" : args.model, args.igcFiles);
        if (const auto it = args.extra.find("no-par"); it != args.extra.end())
            sim->withInstrument(
                [&](FlytecInstrument& i) { i.removeParameter(std::stoi(it->second, nullptr, 16)); });
        return sim;
    });
}
