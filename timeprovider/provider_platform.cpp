// SPDX-License-Identifier: MIT
#include "provider_platform.h"

#include <utility>

namespace tcr7750::timeprov {

DeviceHandle ProviderDriverPlatform::open_device()
{
    const DeviceHandle device = driver_.open_device();
    if (device != kInvalidDeviceHandle) {
        std::lock_guard lock(mutex_);
        open_.insert(device);
    }
    return device;
}

bool ProviderDriverPlatform::control(DeviceHandle device, uint32_t code, void *record, uint32_t size)
{
    return driver_.control(device, code, record, size);
}

void ProviderDriverPlatform::close_device(DeviceHandle device)
{
    {
        std::lock_guard lock(mutex_);
        open_.erase(device);
    }
    driver_.close_device(device);
}

void ProviderDriverPlatform::message_box(const char *text, const char *)
{
    std::function<void(const char *)> sink;
    {
        std::lock_guard lock(mutex_);
        sink = sink_;
    }
    if (sink)
        sink(text);
}

void ProviderDriverPlatform::set_message_sink(std::function<void(const char *)> sink)
{
    std::lock_guard lock(mutex_);
    sink_ = std::move(sink);
}

void ProviderDriverPlatform::close_devices()
{
    std::set<DeviceHandle> open;
    {
        std::lock_guard lock(mutex_);
        open.swap(open_);
    }
    for (DeviceHandle device : open)
        driver_.close_device(device);
}

} // namespace tcr7750::timeprov
