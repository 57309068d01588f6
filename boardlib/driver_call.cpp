// SPDX-License-Identifier: MIT
// The one driver-call wrapper: every request of the library goes through it.
#include "driver_platform.h"

namespace tcr7750 {

bool driver_call(uint32_t code, DeviceHandle device, void *record, uint32_t size, bool separateHandle)
{
    DriverPlatform &platform = driver_platform();
    if (separateHandle)
        device = platform.open_device();
    if (device == kInvalidDeviceHandle)
        return false;
    bool done = platform.control(device, code, record, size);
    if (separateHandle)
        platform.close_device(device);
    return done;
}

} // namespace tcr7750
