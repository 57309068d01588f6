/* SPDX-License-Identifier: MIT */
// The production binding of the driver seam: WinDriver's device through
// Win32, and the user's message boxes (Windows only).
#pragma once

#include "driver_platform.h"

namespace tcr7750 {

class Win32DriverPlatform : public DriverPlatform {
public:
    DeviceHandle open_device() override;
    bool control(DeviceHandle device, uint32_t code, void *record, uint32_t size) override;
    void close_device(DeviceHandle device) override;
    void message_box(const char *text, const char *caption) override;
};

} // namespace tcr7750
