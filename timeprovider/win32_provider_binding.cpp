// SPDX-License-Identifier: MIT
// tcr7750tp.dll's binding: WinDriver, no message boxes.  Installed when the
// DLL is loaded; no driver work happens until the first sample.
#include "provider_platform.h"
#include "win32_platform.h"

namespace tcr7750::timeprov {
namespace {

Win32DriverPlatform win32Platform;
ProviderDriverPlatform providerPlatform(win32Platform);
const bool installed = (install_driver_platform(&providerPlatform), true);

} // namespace

ProviderDriverPlatform &provider_driver()
{
    return providerPlatform;
}

} // namespace tcr7750::timeprov
