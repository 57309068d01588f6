// SPDX-License-Identifier: MIT
// tcr7750.dll's binding: installed when the DLL is loaded; no driver work
// happens until OpenBoard.
#include "win32_platform.h"

namespace tcr7750 {
namespace {

Win32DriverPlatform win32Platform;
const bool installed = (install_driver_platform(&win32Platform), true);

} // namespace
} // namespace tcr7750
