// SPDX-License-Identifier: MIT
// The simulator tcr7750.dll's binding: the simulator board (see
// simulator_board.h), with real message boxes.  Nothing runs while the DLL
// loads: the board is created by the first request.
#include <windows.h>

#include "simulator_board.h"

namespace tcr7750::sim {
namespace {

SimulatorBoardPlatform simulatorPlatform(
    [](const char *text, const char *caption) { MessageBoxA(nullptr, text, caption, MB_OK); });
const bool installed = (install_driver_platform(&simulatorPlatform), true);

} // namespace
} // namespace tcr7750::sim
