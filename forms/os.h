/* SPDX-License-Identifier: MIT */
// The operating-system seam.  Every system call of the window programs goes
// through Os(): on Windows it is the real API; in the headless build it is a
// FakeOs (forms/fake_os.h) that records each call and answers from a script,
// so no test can touch this machine's clock, registry or tray.
#pragma once

#include "forms/wintypes.h"

namespace forms {

class OsApi {
public:
    virtual ~OsApi() = default;

    // Kernel32
    virtual BOOL GetVersionExA(OSVERSIONINFOA* info) = 0;
    virtual BOOL SetSystemTime(const SYSTEMTIME* time) = 0;
    virtual void GetSystemTime(SYSTEMTIME* time) = 0;
    virtual HANDLE GetCurrentProcess() = 0;
    virtual DWORD GetLastError() = 0;
    virtual BOOL CloseHandle(HANDLE handle) = 0;
    virtual void Sleep(DWORD milliseconds) = 0;

    // Advapi32: privileges
    virtual BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token) = 0;
    virtual BOOL LookupPrivilegeValueA(const char* system, const char* name, LUID* luid) = 0;
    virtual BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* newState,
                                       DWORD bufferLength, TOKEN_PRIVILEGES* previousState,
                                       DWORD* returnLength) = 0;

    // Advapi32: registry
    virtual LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access,
                               HKEY* result) = 0;
    virtual LONG RegCreateKeyExA(HKEY root, const char* subKey, REGSAM access, HKEY* result) = 0;
    virtual LONG RegQueryValueExA(HKEY key, const char* name, DWORD* type, BYTE* data,
                                  DWORD* size) = 0;
    virtual LONG RegCloseKey(HKEY key) = 0;

    // User32 and Shell32
    virtual int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) = 0;
    virtual BOOL Shell_NotifyIconA(DWORD message, NOTIFYICONDATAA* data) = 0;
    virtual BOOL ShowWindow(HWND window, int command) = 0;
    virtual BOOL GetCursorPos(POINT* point) = 0;
    virtual BOOL SetForegroundWindow(HWND window) = 0;
};

// The seam in use.  Defaults to the real API on Windows and to a process-wide
// FakeOs elsewhere.
OsApi& Os();

// Installs `os` for the whole process (nullptr restores the default); returns
// the previous one.  Tests use ScopedOs.
OsApi* SetOs(OsApi* os);

class ScopedOs {
public:
    explicit ScopedOs(OsApi& os) : previous_(SetOs(&os)) {}
    ~ScopedOs() { SetOs(previous_); }
    ScopedOs(const ScopedOs&) = delete;
    ScopedOs& operator=(const ScopedOs&) = delete;

private:
    OsApi* previous_;
};

}  // namespace forms
