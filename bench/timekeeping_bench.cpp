// SPDX-License-Identifier: MIT
// The two Windows keepers side by side, against the simulated board on the
// PC's clock (real time, good frame): the Windows Time provider's sample
// (its offset error and its bracket) and horalign's clock setting (the time
// it hands SetSystemTime minus the board's time at that call).  Plain
// figures: median and 99th percentile over many rounds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ThClk1.h"
#include "board_time_provider.h"
#include "forms/fake_os.h"
#include "simulated_windriver.h"
#include "tcr7750.h"

namespace {

using namespace std::chrono;
using tcr7750::sim::SimulatedWinDriver;

constexpr int kRounds = 5000;
constexpr int64_t k1601To1970 = 11644473600;

int64_t pc_units() // the PC's clock, 100 ns since 1601
{
    return duration_cast<duration<int64_t, std::ratio<1, 10000000>>>(system_clock::now().time_since_epoch())
               .count() +
           k1601To1970 * 10000000;
}

int64_t units_of(const SYSTEMTIME &t)
{
    const sys_days day = year{t.wYear} / month{t.wMonth} / t.wDay;
    const auto at = day + hours{t.wHour} + minutes{t.wMinute} + seconds{t.wSecond} + milliseconds{t.wMilliseconds};
    return duration_cast<duration<int64_t, std::ratio<1, 10000000>>>(at.time_since_epoch()).count() +
           k1601To1970 * 10000000;
}

// The clock-setting sequence sees the PC's clock when it sets it.
class ClockSettingOs final : public forms::FakeOs {
public:
    BOOL SetSystemTime(const SYSTEMTIME *time) override
    {
        errors.push_back(units_of(*time) - pc_units());
        return TRUE;
    }
    std::vector<int64_t> errors;
};

void print(const char *what, std::vector<int64_t> units)
{
    for (int64_t &u : units)
        u = std::llabs(u);
    std::sort(units.begin(), units.end());
    std::printf("  %-44s median %9.1f us   p99 %9.1f us\n", what, units[units.size() / 2] / 10.0,
                units[units.size() * 99 / 100] / 10.0);
}

} // namespace

int main()
{
    SimulatedWinDriver board;
    board.start_real_time();

    tcr7750::timeprov::ProviderDriverPlatform driver(board.platform());
    tcr7750::install_driver_platform(&driver);
    TimeProvSysCallbacks callbacks{sizeof callbacks, nullptr, nullptr, nullptr, nullptr};
    std::vector<int64_t> offsets, brackets;
    {
        tcr7750::timeprov::BoardTimeProvider provider(nullptr, callbacks, pc_units, driver);
        for (int i = 0; i < kRounds; ++i) {
            TimeSample sample{};
            TpcGetSamplesArgs args{reinterpret_cast<BYTE *>(&sample), sizeof sample, 0, 0};
            provider.command(TPC_GetSamples, &args);
            if (args.dwSamplesReturned == 1) {
                offsets.push_back(sample.toOffset);
                brackets.push_back(sample.toDelay);
            }
        }
    }

    // horalign's worker: the second read, then the clock-setting sequence.
    tcr7750::install_driver_platform(&board.platform());
    ClockSettingOs os;
    forms::ScopedOs useOs(os);
    IsNtPlatform = true;
    OpenBoard();
    for (int i = 0; i < kRounds; ++i) {
        SYSTEMTIME time{};
        uint16_t dayOfYear = 0, status = 0;
        uint32_t microseconds = 0;
        GetBoardDateTime(&time, &dayOfYear, &microseconds, &status);
        SetSystemClock(time);
    }
    CloseBoard();

    if (offsets.empty() || os.errors.empty()) {
        std::puts("timekeeping_bench: no samples");
        return 1;
    }
    std::printf("The PC's clock kept on the simulated board (%zu samples, %zu clock settings):\n", offsets.size(),
                os.errors.size());
    print("Windows Time provider: sample offset error", offsets);
    print("Windows Time provider: bracket (delay)", brackets);
    print("horalign: clock-setting error", os.errors);
    return 0;
}
