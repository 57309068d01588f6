// SPDX-License-Identifier: MIT
#include "forms/win32/real_os.h"

namespace forms {

BOOL RealOs::GetVersionExA(OSVERSIONINFOA* info)
{
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return ::GetVersionExA(info);
#pragma GCC diagnostic pop
}

BOOL RealOs::SetSystemTime(const SYSTEMTIME* time) { return ::SetSystemTime(time); }
void RealOs::GetSystemTime(SYSTEMTIME* time) { ::GetSystemTime(time); }
HANDLE RealOs::GetCurrentProcess() { return ::GetCurrentProcess(); }
DWORD RealOs::GetLastError() { return ::GetLastError(); }
BOOL RealOs::CloseHandle(HANDLE handle) { return ::CloseHandle(handle); }
void RealOs::Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

BOOL RealOs::OpenProcessToken(HANDLE process, DWORD access, HANDLE* token)
{
    return ::OpenProcessToken(process, access, token);
}

BOOL RealOs::LookupPrivilegeValueA(const char* system, const char* name, LUID* luid)
{
    return ::LookupPrivilegeValueA(system, name, luid);
}

BOOL RealOs::AdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* newState, DWORD bufferLength,
                                   TOKEN_PRIVILEGES* previousState, DWORD* returnLength)
{
    return ::AdjustTokenPrivileges(token, disableAll, newState, bufferLength, previousState, returnLength);
}

LONG RealOs::RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access, HKEY* result)
{
    return ::RegOpenKeyExA(root, subKey, options, access, result);
}

LONG RealOs::RegCreateKeyExA(HKEY root, const char* subKey, REGSAM access, HKEY* result)
{
    return ::RegCreateKeyExA(root, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, result, nullptr);
}

LONG RealOs::RegQueryValueExA(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size)
{
    return ::RegQueryValueExA(key, name, nullptr, type, data, size);
}

LONG RealOs::RegCloseKey(HKEY key) { return ::RegCloseKey(key); }

int RealOs::MessageBoxA(HWND owner, const char* text, const char* caption, UINT type)
{
    return ::MessageBoxA(owner, text, caption, type);
}

BOOL RealOs::Shell_NotifyIconA(DWORD message, NOTIFYICONDATAA* data) { return ::Shell_NotifyIconA(message, data); }
BOOL RealOs::ShowWindow(HWND window, int command) { return ::ShowWindow(window, command); }
BOOL RealOs::GetCursorPos(POINT* point) { return ::GetCursorPos(point); }
BOOL RealOs::SetForegroundWindow(HWND window) { return ::SetForegroundWindow(window); }

}  // namespace forms
