/* SPDX-License-Identifier: MIT */
// What Windows Time (W32Time) and a time provider exchange: on Windows,
// <timeprov.h>; elsewhere the same records and codes defined here, so the
// provider's logic builds and is tested natively.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <timeprov.h>
#else
#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using HRESULT = std::int32_t;
using WCHAR = char16_t;
using HANDLE = void *;
#define WINAPI

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr HRESULT HRESULT_FROM_WIN32(DWORD error)
{
    return static_cast<HRESULT>((error & 0xFFFF) | 0x80070000);
}
inline constexpr WORD EVENTLOG_ERROR_TYPE = 1;
inline constexpr WORD EVENTLOG_WARNING_TYPE = 2;
inline constexpr WORD EVENTLOG_INFORMATION_TYPE = 4;

#define TSF_Hardware 0x00000001

enum TimeProvCmd {
    TPC_TimeJumped, TPC_UpdateConfig, TPC_PollIntervalChanged, TPC_GetSamples, TPC_NetTopoChange, TPC_Query,
    TPC_Shutdown
};
enum TimeSysInfo {
    TSI_LastSyncTime, TSI_ClockTickSize, TSI_ClockPrecision, TSI_CurrentTime, TSI_PhaseOffset, TSI_TickCount,
    TSI_LeapFlags, TSI_Stratum, TSI_ReferenceIdentifier, TSI_PollInterval, TSI_RootDelay, TSI_RootDispersion,
    TSI_TSFlags
};

using GetTimeSysInfoFunc = HRESULT(TimeSysInfo eInfo, void *pvInfo);
using LogTimeProvEventFunc = HRESULT(WORD wType, WCHAR *wszProvName, WCHAR *wszMessage);
using AlertSamplesAvailFunc = HRESULT();
using SetProviderStatusFunc = HRESULT(void *pspsi);

struct TimeProvSysCallbacks {
    DWORD dwSize;
    GetTimeSysInfoFunc *pfnGetTimeSysInfo;
    LogTimeProvEventFunc *pfnLogTimeProvEvent;
    AlertSamplesAvailFunc *pfnAlertSamplesAvail;
    SetProviderStatusFunc *pfnSetProviderStatus;
};

struct TimeSample {
    DWORD dwSize;
    DWORD dwRefid;
    std::int64_t toOffset;
    std::int64_t toDelay;
    std::uint64_t tpDispersion;
    std::uint64_t nSysTickCount;
    std::int64_t nSysPhaseOffset;
    BYTE nLeapFlags;
    BYTE nStratum;
    DWORD dwTSFlags;
    WCHAR wszUniqueName[256];
};

struct TpcGetSamplesArgs {
    BYTE *pbSampleBuf;
    DWORD cbSampleBuf;
    DWORD dwSamplesReturned;
    DWORD dwSamplesAvailable;
};

using TimeProvHandle = void *;
using TimeProvArgs = void *;
#endif
