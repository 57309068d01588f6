#include <atomic>

#include "board_connection.h"

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

WD_TRANSFER register_read(unsigned offset, unsigned width)
{
    WD_TRANSFER transfer{};
    transfer.dwPort = connection.registerBase + offset;
    transfer.cmdTrans = width == 4 ? RM_DWORD : width == 2 ? RM_WORD : RM_BYTE;
    return transfer;
}

WD_TRANSFER register_write(unsigned offset, uint16_t value)
{
    WD_TRANSFER transfer{};
    transfer.dwPort = connection.registerBase + offset;
    transfer.cmdTrans = WM_WORD;
    transfer.Data.Word = value;
    return transfer;
}

size_t TransferList::read(unsigned offset, unsigned width)
{
    commands_.at(count_) = register_read(offset, width);
    return count_++;
}

void TransferList::write(unsigned offset, uint16_t value)
{
    commands_.at(count_++) = register_write(offset, value);
}

bool TransferList::send()
{
    uint32_t code = count_ == 1 ? IOCTL_WD_TRANSFER : IOCTL_WD_MULTI_TRANSFER;
    return driver_call(code, connection.driverHandle, commands_.data(),
                       static_cast<uint32_t>(count_ * sizeof(WD_TRANSFER)), false);
}

uint32_t TransferList::result(size_t position) const
{
    const WD_TRANSFER &command = commands_.at(position);
    switch (command.cmdTrans) {
    case RM_BYTE:
        return command.Data.Byte;
    case RM_WORD:
        return command.Data.Word;
    default:
        return command.Data.Dword;
    }
}

} // namespace tcr7750
