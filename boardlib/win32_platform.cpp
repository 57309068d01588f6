// SPDX-License-Identifier: MIT
// The production binding of the driver seam: WinDriver's device through
// Win32, and the user's message boxes.
#include <windows.h>

#include "driver_platform.h"

namespace tcr7750 {
namespace {

class Win32DriverPlatform final : public DriverPlatform {
public:
    DeviceHandle open_device() override
    {
        HANDLE device = CreateFileA("\\\\.\\WINDRVR", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        return reinterpret_cast<DeviceHandle>(device);
    }

    bool control(DeviceHandle device, uint32_t code, void *record, uint32_t size) override
    {
        DWORD returned = 0;
        return DeviceIoControl(reinterpret_cast<HANDLE>(device), code, record, size, nullptr, 0, &returned,
                               nullptr) != FALSE;
    }

    void close_device(DeviceHandle device) override { CloseHandle(reinterpret_cast<HANDLE>(device)); }

    void message_box(const char *text, const char *caption) override
    {
        MessageBoxA(nullptr, text, caption, MB_OK);
    }
};

Win32DriverPlatform win32Platform;

// Installed when the DLL is loaded; no driver work happens until OpenBoard.
const bool installed = (install_driver_platform(&win32Platform), true);

} // namespace
} // namespace tcr7750
