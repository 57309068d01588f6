/* SPDX-License-Identifier: MIT */
// The OS seam bound to the real Windows API.
#pragma once

#include "forms/os.h"

namespace forms {

class RealOs : public OsApi {
public:
    BOOL GetVersionExA(OSVERSIONINFOA* info) override;
    BOOL SetSystemTime(const SYSTEMTIME* time) override;
    void GetSystemTime(SYSTEMTIME* time) override;
    HANDLE GetCurrentProcess() override;
    DWORD GetLastError() override;
    BOOL CloseHandle(HANDLE handle) override;
    void Sleep(DWORD milliseconds) override;
    BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token) override;
    BOOL LookupPrivilegeValueA(const char* system, const char* name, LUID* luid) override;
    BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* newState, DWORD bufferLength,
                               TOKEN_PRIVILEGES* previousState, DWORD* returnLength) override;
    LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access, HKEY* result) override;
    LONG RegCreateKeyExA(HKEY root, const char* subKey, REGSAM access, HKEY* result) override;
    LONG RegQueryValueExA(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size) override;
    LONG RegCloseKey(HKEY key) override;
    int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) override;
    BOOL Shell_NotifyIconA(DWORD message, NOTIFYICONDATAA* data) override;
    BOOL ShowWindow(HWND window, int command) override;
    BOOL GetCursorPos(POINT* point) override;
    BOOL SetForegroundWindow(HWND window) override;
};

}  // namespace forms
