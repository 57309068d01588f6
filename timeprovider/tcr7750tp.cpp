// SPDX-License-Identifier: MIT
// tcr7750tp.dll: the board as a Windows Time input provider.  Its three
// exports are what the time service calls; the logic is BoardTimeProvider.
#include <windows.h>

#include <new>

#include "board_time_provider.h"

using namespace tcr7750::timeprov;

namespace {

using PreciseTime = VOID(WINAPI *)(LPFILETIME);

// GetSystemTimePreciseAsFileTime where Windows has it (8 and later), the
// tick-precise clock on Windows 7.
PreciseTime precise_time()
{
    static const PreciseTime function = [] {
        auto found = reinterpret_cast<PreciseTime>(reinterpret_cast<void (*)()>(
            GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetSystemTimePreciseAsFileTime")));
        return found ? found : &GetSystemTimeAsFileTime;
    }();
    return function;
}

int64_t now()
{
    FILETIME time{};
    precise_time()(&time);
    return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

} // namespace

extern "C" {

__declspec(dllexport) HRESULT WINAPI TimeProvOpen(WCHAR *wszName, TimeProvSysCallbacks *pSysCallbacks,
                                                  TimeProvHandle *phTimeProv)
{
    if (!pSysCallbacks || !phTimeProv)
        return E_INVALIDARG;
    // The callbacks record belongs to the service: the provider keeps a copy.
    auto *provider = new (std::nothrow) BoardTimeProvider(wszName, *pSysCallbacks, now, provider_driver());
    if (!provider)
        return E_OUTOFMEMORY;
    *phTimeProv = provider;
    return S_OK;
}

__declspec(dllexport) HRESULT WINAPI TimeProvCommand(TimeProvHandle hTimeProv, TimeProvCmd eCmd,
                                                     TimeProvArgs pvArgs)
{
    if (!hTimeProv)
        return E_INVALIDARG;
    return static_cast<BoardTimeProvider *>(hTimeProv)->command(eCmd, pvArgs);
}

__declspec(dllexport) HRESULT WINAPI TimeProvClose(TimeProvHandle hTimeProv)
{
    delete static_cast<BoardTimeProvider *>(hTimeProv);
    return S_OK;
}

} // extern "C"
