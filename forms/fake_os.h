/* SPDX-License-Identifier: MIT */
// The recording OS seam of the headless build.  Every call is logged with
// its arguments (Calls()); results come from the public script members,
// which a test sets before it acts.  Safe to call from several threads.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "forms/os.h"

namespace forms {

struct OsCall {
    std::string function;
    std::string arguments;  // printed as in the call, e.g. "0x0, 'Failed', 'Set time priviledge', 0x0"
};

struct MessageBoxCall {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};

struct NotifyIconCall {
    DWORD message;
    NOTIFYICONDATAA data;  // a copy of the record as it was passed
};

class FakeOs : public OsApi {
public:
    // ---- script: set while the worker threads are idle (before acting) ----
    BOOL versionResult = TRUE;
    DWORD platformId = VER_PLATFORM_WIN32_NT;
    SYSTEMTIME systemTime{2008, 3, 6, 15, 12, 34, 56, 789};  // what GetSystemTime returns
    BOOL setSystemTimeResult = TRUE;
    DWORD setSystemTimeError = ERROR_PRIVILEGE_NOT_HELD;  // last error when it fails
    BOOL openProcessTokenResult = TRUE;
    BOOL lookupPrivilegeResult = TRUE;
    DWORD adjustPrivilegesError = ERROR_SUCCESS;  // last error after AdjustTokenPrivileges
    POINT cursorPos{0, 0};
    // Answers each message box; the default answers IDOK.
    std::function<int(const MessageBoxCall&)> answerMessageBox;

    // Registry values the fake serves; keys match without regard to case.
    void SetRegistryDword(HKEY root, const std::string& key, const std::string& name, DWORD value);
    void SetRegistryString(HKEY root, const std::string& key, const std::string& name, const std::string& value);
    void AddRegistryKey(HKEY root, const std::string& key);
    // OpenKey on this key fails with ERROR_ACCESS_DENIED when full access is asked.
    void DenyWriteAccess(HKEY root, const std::string& key);

    // ---- record ----
    std::vector<OsCall> Calls() const;
    std::vector<std::string> CallNames() const;
    int CountCalls(const std::string& function) const;
    std::vector<MessageBoxCall> MessageBoxes() const;
    std::vector<NotifyIconCall> NotifyIconCalls() const;
    std::vector<SYSTEMTIME> TimesSet() const;  // every SetSystemTime argument
    void ClearCalls();

    // ---- OsApi ----
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

    // The stand-in handles the fake hands out.
    static HANDLE ProcessHandle() { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(-1)); }
    static HANDLE TokenHandle() { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x7700)); }
    static LUID SystemTimeLuid() { return LUID{12, 0}; }

private:
    struct RegistryValue {
        DWORD type;
        std::string bytes;
    };
    struct RegistryKey {
        std::map<std::string, RegistryValue> values;  // by upper-case name
        bool denyWrite = false;
    };

    mutable std::mutex mutex_;
    std::vector<OsCall> calls_;
    std::vector<MessageBoxCall> messageBoxes_;
    std::vector<NotifyIconCall> notifyIconCalls_;
    std::vector<SYSTEMTIME> timesSet_;
    std::map<std::string, RegistryKey> keys_;  // by "ROOT\PATH" in upper case
    std::map<std::uintptr_t, std::string> openKeys_;
    std::uintptr_t nextKey_ = 0x5000;

    void Record(const char* function, std::string arguments);
    static std::string KeyPath(HKEY root, const std::string& key);
    RegistryKey* FindKey(HKEY key);
    void SetLastError(DWORD error);
};

}  // namespace forms
