// SPDX-License-Identifier: MIT
// The binding of the driver seam that every request goes through, and the
// one used until a binding is installed.
#include <atomic>

#include "driver_platform.h"

namespace tcr7750 {

namespace {

// Until a binding is installed there is no driver to reach.
class NoDriver final : public DriverPlatform {
public:
    DeviceHandle open_device() override { return kInvalidDeviceHandle; }
    bool control(DeviceHandle, uint32_t, void *, uint32_t) override { return false; }
    void close_device(DeviceHandle) override {}
    void message_box(const char *, const char *) override {}
};

NoDriver noDriver;
std::atomic<DriverPlatform *> installedPlatform{nullptr};

} // namespace

void install_driver_platform(DriverPlatform *platform)
{
    installedPlatform.store(platform);
}

DriverPlatform &driver_platform()
{
    DriverPlatform *platform = installedPlatform.load();
    return platform ? *platform : noDriver;
}

} // namespace tcr7750
