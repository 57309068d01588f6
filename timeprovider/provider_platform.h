/* SPDX-License-Identifier: MIT */
// The provider's binding of the library's driver seam, around the real one
// (WinDriver, or the simulated WinDriver): inside the Windows Time service
// no window may open, so the library's message boxes go to the provider's
// log instead, and the device handles the library opened are closed when
// the provider closes (the library itself keeps them until the process
// ends, and the service process outlives the provider).
#pragma once

#include <functional>
#include <mutex>
#include <set>

#include "driver_platform.h"

namespace tcr7750::timeprov {

class ProviderDriverPlatform final : public DriverPlatform {
public:
    explicit ProviderDriverPlatform(DriverPlatform &driver) : driver_(driver) {}

    DeviceHandle open_device() override;
    bool control(DeviceHandle device, uint32_t code, void *record, uint32_t size) override;
    void close_device(DeviceHandle device) override;
    // Hands the text to the message sink; shows nothing.
    void message_box(const char *text, const char *caption) override;

    void set_message_sink(std::function<void(const char *text)> sink);
    // Closes every device handle still open.
    void close_devices();

private:
    DriverPlatform &driver_;
    std::mutex mutex_;
    std::set<DeviceHandle> open_;
    std::function<void(const char *)> sink_;
};

} // namespace tcr7750::timeprov

namespace tcr7750::timeprov {

// The binding the provider DLL installed as the library's driver (each
// build of the DLL defines it: WinDriver, or the simulator board).
ProviderDriverPlatform &provider_driver();

} // namespace tcr7750::timeprov
