// kalvora-sim-flymaster: a Flymaster instrument on a pseudo-terminal, for trying
// the driver without hardware.
#include "flymastersim.h"

int main(int argc, char** argv)
{
    using namespace kalvora::sim;
    return simulatorMain(argc, argv, "kalvora-sim-flymaster", "", [](const SimArgs& args) {
        return std::make_shared<FlymasterSim>(args.model.empty() ? "GpsSD" : args.model, args.igcFiles);
    });
}
