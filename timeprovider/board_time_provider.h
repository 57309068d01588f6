/* SPDX-License-Identifier: MIT */
// The Windows Time input provider's logic: what each command of the time
// service answers, and the board's sample.
//
// On TPC_GetSamples the provider reads the board there and then (opening it
// first if it is not open: once per poll, never in a loop): the board's time
// from a reading bracketed by two readings of the PC's precise clock, the
// narrowest of a few, gives the offset board - PC at the bracket's middle,
// the bracket as delay, and a dispersion of half the bracket, the board's
// microsecond and, in IEEE 1344 decoding, its time figure of merit.  No
// sample while the board cannot be reached or read, has no frame, decodes
// TD/H0 instead of the time, reports a time-quality fault, or shows a year
// other than the one its day belongs to (board_year.h).  In that last case
// the provider gives the board that year, once until the PC's clock jumps
// or the provider is closed.  Each change of the board's state is logged
// once through the service's logging callback.
//
// Every command returns at once: a reading is one driver request, the open
// procedure five.  One command runs at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "provider_platform.h"
#include "systemtime.h"
#include "timeprov_types.h"

namespace tcr7750::timeprov {

// UTC in 100 ns units since 1 January 1601 (GetSystemTimePreciseAsFileTime).
using PreciseClock = std::function<int64_t()>;

inline constexpr int kReadingsPerSample = 4;
// The reference identifier, NTP style: "IRIG", first letter in the top byte.
inline constexpr DWORD kReferenceId = 0x49524947;
inline constexpr const char kUniqueName[] = "TCR7750 IRIG-B board";

class BoardTimeProvider {
public:
    BoardTimeProvider(const WCHAR *name, const TimeProvSysCallbacks &callbacks, PreciseClock clock,
                      ProviderDriverPlatform &driver);
    ~BoardTimeProvider();
    BoardTimeProvider(const BoardTimeProvider &) = delete;
    BoardTimeProvider &operator=(const BoardTimeProvider &) = delete;

    HRESULT command(TimeProvCmd command, TimeProvArgs args);

private:
    struct Reading {
        int64_t before = 0, after = 0; // the PC's clock around it
        SYSTEMTIME time{};
        uint16_t dayOfYear = 0, status = 0;
        uint32_t microseconds = 0;
    };

    HRESULT get_samples(TpcGetSamplesArgs *args);
    std::optional<TimeSample> take_sample();
    bool open_board();
    void close_board();
    void read_failed();
    std::optional<TimeSample> sample_from(const Reading &reading, uint16_t control);
    void report(WORD type, const std::string &message);

    std::mutex mutex_;
    std::basic_string<WCHAR> name_;
    TimeProvSysCallbacks callbacks_;
    PreciseClock clock_;
    ProviderDriverPlatform &driver_;
    bool open_ = false;
    bool shutDown_ = false;
    bool yearGiven_ = false;      // the board was given its year since the last jump
    std::string libraryMessage_;  // the library's text for the last failed open
    std::string lastReport_;
};

} // namespace tcr7750::timeprov
