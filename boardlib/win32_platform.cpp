// SPDX-License-Identifier: MIT
// The production binding of the driver seam: WinDriver's device through
// Win32, and the user's message boxes.
#include <windows.h>

#include "win32_platform.h"

namespace tcr7750 {

DeviceHandle Win32DriverPlatform::open_device()
{
    HANDLE device = CreateFileA("\\\\.\\WINDRVR", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    return reinterpret_cast<DeviceHandle>(device);
}

bool Win32DriverPlatform::control(DeviceHandle device, uint32_t code, void *record, uint32_t size)
{
    DWORD returned = 0;
    return DeviceIoControl(reinterpret_cast<HANDLE>(device), code, record, size, nullptr, 0, &returned, nullptr) !=
           FALSE;
}

void Win32DriverPlatform::close_device(DeviceHandle device)
{
    CloseHandle(reinterpret_cast<HANDLE>(device));
}

void Win32DriverPlatform::message_box(const char *text, const char *caption)
{
    MessageBoxA(nullptr, text, caption, MB_OK);
}

} // namespace tcr7750
