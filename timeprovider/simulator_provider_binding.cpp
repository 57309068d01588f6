// SPDX-License-Identifier: MIT
// The simulator tcr7750tp.dll's binding: the simulator board (see
// sim/simulator_board.h, whose environment settings it follows), no message
// boxes.
#include "provider_platform.h"
#include "simulator_board.h"

namespace tcr7750::timeprov {
namespace {

sim::SimulatorBoardPlatform simulatorPlatform(nullptr);
ProviderDriverPlatform providerPlatform(simulatorPlatform);
const bool installed = (install_driver_platform(&providerPlatform), true);

} // namespace

ProviderDriverPlatform &provider_driver()
{
    return providerPlatform;
}

} // namespace tcr7750::timeprov
