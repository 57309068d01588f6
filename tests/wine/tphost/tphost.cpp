// SPDX-License-Identifier: MIT
// tphost: drives the tcr7750tp.dll found beside it as the Windows Time
// service does (LoadLibrary, TimeProvOpen with the service's callbacks,
// TPC_GetSamples at intervals, the other commands, TPC_Shutdown,
// TimeProvClose) and checks what it answers.  The simulator build's board
// is set by the TCR7750_SIM_* environment (sim/simulator_board.h), which
// tphost reads too, to know what to expect.
//
// One line per check ("ok" or "FAIL"); the exit status counts the failures.
#include <windows.h>

#include <timeprov.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int failures = 0;
std::vector<std::string> logged;

void check(bool held, const std::string &what)
{
    std::printf("%s %s\n", held ? "ok  " : "FAIL", what.c_str());
    failures += held ? 0 : 1;
}

HRESULT WINAPI system_info(TimeSysInfo info, void *value)
{
    switch (info) {
    case TSI_TickCount:
        *static_cast<unsigned __int64 *>(value) = GetTickCount64();
        return S_OK;
    case TSI_PhaseOffset:
        *static_cast<signed __int64 *>(value) = 0;
        return S_OK;
    case TSI_PollInterval:
        *static_cast<signed __int32 *>(value) = 4;
        return S_OK;
    default:
        return E_NOTIMPL;
    }
}

HRESULT WINAPI log_event(WORD, WCHAR *, WCHAR *message)
{
    char text[512] = {};
    WideCharToMultiByte(CP_UTF8, 0, message, -1, text, sizeof text - 1, nullptr, nullptr);
    logged.push_back(text);
    std::printf("log  %s\n", text);
    return S_OK;
}

HRESULT WINAPI samples_available() { return S_OK; }
HRESULT WINAPI provider_status(SetProviderStatusInfo *) { return S_OK; }
const char *setting(const char *name)
{
    const char *value = std::getenv(name);
    return value && *value ? value : nullptr;
}

bool logged_once(const char *part)
{
    return logged.size() == 1 && logged[0].find(part) != std::string::npos;
}

} // namespace

int main()
{
    HMODULE dll = LoadLibraryA("tcr7750tp.dll");
    auto find = [dll](const char *name) { return reinterpret_cast<void (*)()>(GetProcAddress(dll, name)); };
    auto open = reinterpret_cast<decltype(&TimeProvOpen)>(find("TimeProvOpen"));
    auto command = reinterpret_cast<decltype(&TimeProvCommand)>(find("TimeProvCommand"));
    auto close = reinterpret_cast<decltype(&TimeProvClose)>(find("TimeProvClose"));
    check(dll && open && command && close, "tcr7750tp.dll loads and exports TimeProvOpen, TimeProvCommand, TimeProvClose");
    if (!dll || !open || !command || !close)
        return 1;

    TimeProvSysCallbacks callbacks{sizeof callbacks, system_info, log_event, samples_available, provider_status};
    TimeProvHandle provider = nullptr;
    WCHAR name[] = L"TCR7750";
    check(open(name, &callbacks, &provider) == S_OK && provider, "TimeProvOpen");

    const bool noBoard = setting("TCR7750_SIM_BOARD"), badFrame = setting("TCR7750_SIM_FRAME");
    const char *year = setting("TCR7750_SIM_YEAR");
    const long long offsetMs = setting("TCR7750_SIM_OFFSET_MS") ? std::atoll(setting("TCR7750_SIM_OFFSET_MS")) : 0;

    // Three polls a tenth of a second apart; a board at its power-up year is
    // given its year at the first.
    std::vector<TimeSample> samples;
    for (int poll = 0; poll < 3; ++poll) {
        if (poll)
            Sleep(100);
        TimeSample sample{};
        TpcGetSamplesArgs args{reinterpret_cast<BYTE *>(&sample), sizeof sample, 0, 0};
        const HRESULT result = command(provider, TPC_GetSamples, &args);
        check(result == S_OK, "TPC_GetSamples " + std::to_string(poll + 1) + " answers S_OK");
        if (args.dwSamplesReturned == 1)
            samples.push_back(sample);
    }

    if (noBoard || badFrame) {
        check(samples.empty(), "no sample");
        check(logged_once(noBoard ? "cannot be reached (Carte non trouv\xC3\xA9" "e)" : "no IRIG-B frame (error code 5)"),
              "one event logged, saying why");
    } else {
        check(samples.size() == (year ? 2u : 3u), year ? "no sample before the board has its year, then samples"
                                                      : "a sample at each poll");
        for (const TimeSample &s : samples) {
            // The simulator's board runs on the PC's clock, offset as set.
            const long long expected = offsetMs * 10000, tolerance = 200000; // 20 ms
            check(s.toOffset > expected - tolerance && s.toOffset < expected + tolerance && s.toDelay >= 0 &&
                      s.toDelay < 500000 && s.tpDispersion >= static_cast<unsigned __int64>(s.toDelay / 2) &&
                      s.dwSize == sizeof s && s.dwRefid == 0x49524947 && s.nStratum == 0 &&
                      s.dwTSFlags == TSF_Hardware && std::wcscmp(s.wszUniqueName, L"TCR7750 IRIG-B board") == 0,
                  "offset board - PC " + std::to_string(s.toOffset) + " (100 ns) near " + std::to_string(expected) +
                      ", delay " + std::to_string(s.toDelay) + ", dispersion " + std::to_string(s.tpDispersion) +
                      "; a hardware reference clock IRIG, stratum 0, named");
        }
        if (year)
            check(logged.size() == 2 && logged[0].find("shows the year " + std::string(year)) != std::string::npos,
                  "the year given to the board is logged once, then the samples");
        else
            check(logged_once("gives samples"), "one event logged");

        TimeSample sample{};
        TpcGetSamplesArgs small{reinterpret_cast<BYTE *>(&sample), sizeof sample - 1, 0, 0};
        check(command(provider, TPC_GetSamples, &small) == HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER) &&
                  small.dwSamplesReturned == 0 && small.dwSamplesAvailable == 1,
              "a buffer too small: ERROR_INSUFFICIENT_BUFFER, one sample available");
    }

    TpcTimeJumpedArgs jumped{TJF_UserRequested};
    check(command(provider, TPC_TimeJumped, &jumped) == S_OK, "TPC_TimeJumped");
    check(command(provider, TPC_PollIntervalChanged, nullptr) == S_OK, "TPC_PollIntervalChanged");
    check(command(provider, TPC_UpdateConfig, nullptr) == S_OK, "TPC_UpdateConfig");
    check(command(provider, TPC_Query, nullptr) == E_NOTIMPL, "TPC_Query: not implemented (reserved)");
    const ULONGLONG closing = GetTickCount64();
    check(command(provider, TPC_Shutdown, nullptr) == S_OK, "TPC_Shutdown");
    check(close(provider) == S_OK, "TimeProvClose");
    check(GetTickCount64() - closing < 1000, "shut down and closed within a second");
    FreeLibrary(dll);
    return failures;
}
