// SPDX-License-Identifier: MIT
#include "forms/fake_os.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "forms/headless.h"
#include "forms/sysutils.h"

namespace forms {

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

std::string Upper(std::string text)
{
    std::ranges::transform(text, text.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string Quoted(const char* text)
{
    return text ? Format("'%s'", text) : "null";
}

std::string Pointer(const void* pointer)
{
    return Format("%#llx", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(pointer)));
}

std::string Time(const SYSTEMTIME& t)
{
    return Format("%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond,
                  t.wMilliseconds);
}

}  // namespace

void FakeOs::Record(const char* function, std::string arguments)
{
    std::lock_guard lock(mutex_);
    calls_.push_back({function, std::move(arguments)});
}

void FakeOs::SetLastError(DWORD error)
{
    lastError = error;
}

std::vector<OsCall> FakeOs::Calls() const
{
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<std::string> FakeOs::CallNames() const
{
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    for (const auto& call : calls_)
        names.push_back(call.function);
    return names;
}

int FakeOs::CountCalls(const std::string& function) const
{
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::ranges::count(calls_, function, &OsCall::function));
}

std::vector<MessageBoxCall> FakeOs::MessageBoxes() const
{
    std::lock_guard lock(mutex_);
    return messageBoxes_;
}

std::vector<NotifyIconCall> FakeOs::NotifyIconCalls() const
{
    std::lock_guard lock(mutex_);
    return notifyIconCalls_;
}

std::vector<SYSTEMTIME> FakeOs::TimesSet() const
{
    std::lock_guard lock(mutex_);
    return timesSet_;
}

void FakeOs::ClearCalls()
{
    std::lock_guard lock(mutex_);
    calls_.clear();
    messageBoxes_.clear();
    notifyIconCalls_.clear();
    timesSet_.clear();
}

// ---- Kernel32 --------------------------------------------------------------------

BOOL FakeOs::GetVersionExA(OSVERSIONINFOA* info)
{
    Record("GetVersionExA", Format("size %u", info ? info->dwOSVersionInfoSize : 0));
    if (!versionResult || !info || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA))
        return FALSE;
    info->dwMajorVersion = 5;
    info->dwMinorVersion = 1;
    info->dwBuildNumber = 2600;
    info->dwPlatformId = platformId;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    return TRUE;
}

BOOL FakeOs::SetSystemTime(const SYSTEMTIME* time)
{
    Record("SetSystemTime", time ? Time(*time) : "null");
    if (time) {
        std::lock_guard lock(mutex_);
        timesSet_.push_back(*time);
    }
    SetLastError(setSystemTimeResult ? ERROR_SUCCESS : setSystemTimeError);
    return setSystemTimeResult;
}

void FakeOs::GetSystemTime(SYSTEMTIME* time)
{
    Record("GetSystemTime", "");
    *time = systemTime;
}

HANDLE FakeOs::GetCurrentProcess()
{
    Record("GetCurrentProcess", "");
    return ProcessHandle();
}

DWORD FakeOs::GetLastError()
{
    Record("GetLastError", "");
    return lastError;
}

BOOL FakeOs::CloseHandle(HANDLE handle)
{
    Record("CloseHandle", Pointer(handle));
    return TRUE;
}

void FakeOs::Sleep(DWORD milliseconds)
{
    Record("Sleep", std::to_string(milliseconds));
    headless::Sleep(milliseconds);
}

// ---- Privileges ----------------------------------------------------------------------

BOOL FakeOs::OpenProcessToken(HANDLE process, DWORD access, HANDLE* token)
{
    Record("OpenProcessToken", Pointer(process) + Format(", %#x", access));
    if (!openProcessTokenResult) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    *token = TokenHandle();
    return TRUE;
}

BOOL FakeOs::LookupPrivilegeValueA(const char* system, const char* name, LUID* luid)
{
    Record("LookupPrivilegeValueA", Quoted(system) + ", " + Quoted(name));
    if (!lookupPrivilegeResult) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    *luid = SystemTimeLuid();
    return TRUE;
}

BOOL FakeOs::AdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* newState, DWORD bufferLength,
                                   TOKEN_PRIVILEGES* previousState, DWORD* returnLength)
{
    std::string state = "null";
    if (newState)
        state = Format("{%u: luid %u, attributes %#x}", newState->PrivilegeCount,
                       newState->Privileges[0].Luid.LowPart, newState->Privileges[0].Attributes);
    Record("AdjustTokenPrivileges", Pointer(token) + Format(", %d, ", disableAll) + state +
                                        Format(", %u, ", bufferLength) + Pointer(previousState) + ", " +
                                        Pointer(returnLength));
    SetLastError(adjustPrivilegesError);
    return adjustPrivilegesError == ERROR_SUCCESS || adjustPrivilegesError == ERROR_NOT_ALL_ASSIGNED;
}

// ---- Registry ---------------------------------------------------------------------------

std::string FakeOs::KeyPath(HKEY root, const std::string& key)
{
    return Upper(Format("%#llx\\", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(root))) + key);
}

void FakeOs::AddRegistryKey(HKEY root, const std::string& key)
{
    std::lock_guard lock(mutex_);
    keys_[KeyPath(root, key)];
}

void FakeOs::SetRegistryDword(HKEY root, const std::string& key, const std::string& name, DWORD value)
{
    std::lock_guard lock(mutex_);
    keys_[KeyPath(root, key)].values[Upper(name)] = {REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof value)};
}

void FakeOs::SetRegistryString(HKEY root, const std::string& key, const std::string& name, const std::string& value)
{
    std::lock_guard lock(mutex_);
    keys_[KeyPath(root, key)].values[Upper(name)] = {REG_SZ, value + '\0'};
}

void FakeOs::DenyWriteAccess(HKEY root, const std::string& key)
{
    std::lock_guard lock(mutex_);
    keys_[KeyPath(root, key)].denyWrite = true;
}

FakeOs::RegistryKey* FakeOs::FindKey(HKEY key)
{
    const auto open = openKeys_.find(reinterpret_cast<std::uintptr_t>(key));
    if (open == openKeys_.end())
        return nullptr;
    const auto found = keys_.find(open->second);
    return found == keys_.end() ? nullptr : &found->second;
}

LONG FakeOs::RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access, HKEY* result)
{
    Record("RegOpenKeyExA", Pointer(root) + ", " + Quoted(subKey) + Format(", %u, %#x", options, access));
    std::lock_guard lock(mutex_);
    const std::string path = KeyPath(root, subKey ? subKey : "");
    const auto found = keys_.find(path);
    if (found == keys_.end())
        return ERROR_FILE_NOT_FOUND;
    if (found->second.denyWrite && (access & KEY_WRITE & ~KEY_READ) != 0)
        return ERROR_ACCESS_DENIED;
    nextKey_ += 4;
    openKeys_[nextKey_] = path;
    *result = reinterpret_cast<HKEY>(nextKey_);
    return ERROR_SUCCESS;
}

LONG FakeOs::RegCreateKeyExA(HKEY root, const char* subKey, REGSAM access, HKEY* result)
{
    Record("RegCreateKeyExA", Pointer(root) + ", " + Quoted(subKey) + Format(", %#x", access));
    {
        std::lock_guard lock(mutex_);
        keys_[KeyPath(root, subKey ? subKey : "")];
    }
    return RegOpenKeyExA(root, subKey, 0, access, result);
}

LONG FakeOs::RegQueryValueExA(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size)
{
    Record("RegQueryValueExA", Pointer(key) + ", " + Quoted(name));
    std::lock_guard lock(mutex_);
    RegistryKey* opened = FindKey(key);
    if (!opened)
        return ERROR_ACCESS_DENIED;
    const auto value = opened->values.find(Upper(name ? name : ""));
    if (value == opened->values.end())
        return ERROR_FILE_NOT_FOUND;
    if (type)
        *type = value->second.type;
    const auto length = static_cast<DWORD>(value->second.bytes.size());
    if (!size)
        return data ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
    if (data && *size < length) {
        *size = length;
        return ERROR_MORE_DATA;
    }
    if (data)
        std::memcpy(data, value->second.bytes.data(), length);
    *size = length;
    return ERROR_SUCCESS;
}

LONG FakeOs::RegCloseKey(HKEY key)
{
    Record("RegCloseKey", Pointer(key));
    std::lock_guard lock(mutex_);
    return openKeys_.erase(reinterpret_cast<std::uintptr_t>(key)) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// ---- User32 and Shell32 --------------------------------------------------------------------

int FakeOs::MessageBoxA(HWND owner, const char* text, const char* caption, UINT type)
{
    MessageBoxCall call{owner, text ? text : "", caption ? caption : "", type};
    Record("MessageBoxA", Pointer(owner) + ", " + Quoted(text) + ", " + Quoted(caption) + Format(", %#x", type));
    std::function<int(const MessageBoxCall&)> answer;
    {
        std::lock_guard lock(mutex_);
        messageBoxes_.push_back(call);
        answer = answerMessageBox;
    }
    return answer ? answer(call) : IDOK;
}

BOOL FakeOs::Shell_NotifyIconA(DWORD message, NOTIFYICONDATAA* data)
{
    Record("Shell_NotifyIconA", Format("%u, ", message) + (data ? Format("icon %s", Pointer(data->hIcon).c_str()) : "null"));
    if (!data)
        return FALSE;
    std::lock_guard lock(mutex_);
    notifyIconCalls_.push_back({message, *data});
    return TRUE;
}

BOOL FakeOs::ShowWindow(HWND window, int command)
{
    Record("ShowWindow", Pointer(window) + Format(", %d", command));
    return TRUE;
}

BOOL FakeOs::GetCursorPos(POINT* point)
{
    Record("GetCursorPos", "");
    *point = cursorPos;
    return TRUE;
}

BOOL FakeOs::SetForegroundWindow(HWND window)
{
    Record("SetForegroundWindow", Pointer(window));
    return TRUE;
}

}  // namespace forms
