// SPDX-License-Identifier: MIT
#include "board_time_provider.h"

#include <chrono>
#include <cstdio>

#include "board_year.h"
#include "tcr7750.h"
#include "tcr7750_regs.h"

namespace tcr7750::timeprov {
namespace {

constexpr int64_t kUnitsPerSecond = 10000000;          // 100 ns
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
constexpr uint64_t kBoardResolution = 10;              // the board counts microseconds

std::basic_string<WCHAR> widened(const std::string &text)
{
    // The library's texts are Windows-1252; those it has are Latin-1 too.
    std::basic_string<WCHAR> wide;
    for (unsigned char c : text)
        wide.push_back(static_cast<WCHAR>(c));
    return wide;
}

std::chrono::sys_seconds utc_second_at(int64_t units)
{
    return std::chrono::sys_seconds{std::chrono::seconds{units / kUnitsPerSecond - kSecondsFrom1601To1970}};
}

// The IEEE 1344 time figure of merit: 0 locked, 1 to 11 within 10^(n-1)
// nanoseconds; 15 a fault.  In 100 ns units, rounded up.
std::optional<uint64_t> figure_of_merit_dispersion(unsigned tfom)
{
    if (tfom >= 12)
        return std::nullopt;
    uint64_t ns = tfom == 0 ? 0 : 1;
    for (unsigned i = 1; i < tfom; ++i)
        ns *= 10;
    return (ns + 99) / 100;
}

std::string format(const char *pattern, auto... values)
{
    char text[256];
    std::snprintf(text, sizeof text, pattern, values...);
    return text;
}

} // namespace

BoardTimeProvider::BoardTimeProvider(const WCHAR *name, const TimeProvSysCallbacks &callbacks, PreciseClock clock,
                                     ProviderDriverPlatform &driver)
    : name_(name ? std::basic_string<WCHAR>(name) : widened("TCR7750")),
      callbacks_(callbacks),
      clock_(std::move(clock)),
      driver_(driver)
{
    driver_.set_message_sink([this](const char *text) { libraryMessage_ = text; });
}

BoardTimeProvider::~BoardTimeProvider()
{
    std::lock_guard lock(mutex_);
    close_board();
    driver_.set_message_sink(nullptr);
}

HRESULT BoardTimeProvider::command(TimeProvCmd command, TimeProvArgs args)
{
    std::lock_guard lock(mutex_);
    switch (command) {
    case TPC_GetSamples:
        return get_samples(static_cast<TpcGetSamplesArgs *>(args));
    case TPC_TimeJumped:
        // The year was judged against the PC's clock as it was.
        yearGiven_ = false;
        return S_OK;
    case TPC_Shutdown:
        shutDown_ = true;
        close_board();
        return S_OK;
    case TPC_UpdateConfig:        // no settings of its own
    case TPC_PollIntervalChanged: // each sample is read when asked for
    case TPC_NetTopoChange:       // no network
        return S_OK;
    default:                      // TPC_Query is reserved
        return E_NOTIMPL;
    }
}

HRESULT BoardTimeProvider::get_samples(TpcGetSamplesArgs *args)
{
    if (!args)
        return E_INVALIDARG;
    args->dwSamplesReturned = 0;
    args->dwSamplesAvailable = 0;
    if (shutDown_)
        return S_OK;
    const std::optional<TimeSample> sample = take_sample();
    if (!sample)
        return S_OK;
    args->dwSamplesAvailable = 1;
    if (!args->pbSampleBuf || args->cbSampleBuf < sizeof(TimeSample))
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    *reinterpret_cast<TimeSample *>(args->pbSampleBuf) = *sample;
    args->dwSamplesReturned = 1;
    return S_OK;
}

bool BoardTimeProvider::open_board()
{
    if (open_)
        return true;
    libraryMessage_.clear();
    if (OpenBoard() != 0) {
        report(EVENTLOG_ERROR_TYPE,
               format("The TCR7750 board cannot be reached (%s): no samples until it can.",
                      libraryMessage_.empty() ? "the board library refused" : libraryMessage_.c_str()));
        // What the failing open left (a handle, a registration) goes too.
        close_board();
        return false;
    }
    open_ = true;
    return true;
}

void BoardTimeProvider::close_board()
{
    if (open_)
        CloseBoard();
    open_ = false;
    driver_.close_devices();
    reset_process_state();
}

void BoardTimeProvider::read_failed()
{
    report(EVENTLOG_ERROR_TYPE, "The TCR7750 board could not be read: no samples; it is opened again at the next poll.");
    close_board();
}

std::optional<TimeSample> BoardTimeProvider::take_sample()
{
    if (!open_board())
        return std::nullopt;
    uint16_t status = 0, control = 0;
    if (GetBoardStatus(&status, &control) != 0) {
        read_failed();
        return std::nullopt;
    }
    // The narrowest bracket tells the board's time best.
    Reading best;
    for (int i = 0; i < kReadingsPerSample; ++i) {
        Reading reading;
        reading.before = clock_();
        const int32_t result =
            GetBoardDateTime(&reading.time, &reading.dayOfYear, &reading.microseconds, &reading.status);
        reading.after = clock_();
        if (result != 0) {
            read_failed();
            return std::nullopt;
        }
        if (i == 0 || reading.after - reading.before < best.after - best.before)
            best = reading;
    }
    return sample_from(best, control);
}

std::optional<TimeSample> BoardTimeProvider::sample_from(const Reading &reading, uint16_t control)
{
    if ((control & CTL_MODE_MASK) == CTL_MODE_TD) {
        report(EVENTLOG_WARNING_TYPE, "The TCR7750 board decodes TD/H0, not the time: no samples.");
        return std::nullopt;
    }
    if (!(reading.status & ST_FRAME_OK)) {
        report(EVENTLOG_WARNING_TYPE, format("The TCR7750 board has no IRIG-B frame (error code %u): no samples.",
                                             (reading.status & ST_ERROR_CODE) >> ST_ERROR_CODE_SHIFT));
        return std::nullopt;
    }
    std::optional<uint64_t> quality = 0;
    if ((control & CTL_MODE_MASK) == CTL_MODE_AFNOR)
        quality = figure_of_merit_dispersion((reading.status & ST_TFOM) >> ST_TFOM_SHIFT);
    if (!quality) {
        report(EVENTLOG_WARNING_TYPE, "The TCR7750 board's time code reports a fault (time figure of merit 15): no samples.");
        return std::nullopt;
    }

    const int64_t middle = reading.before + (reading.after - reading.before) / 2;
    const std::chrono::sys_seconds pcClock = utc_second_at(middle);
    if (!board_year_trusted(reading.dayOfYear, reading.time, pcClock)) {
        const int year = nearest_board_year(reading.dayOfYear, reading.time, pcClock);
        if (!yearGiven_) {
            yearGiven_ = true;
            const bool given = SetBoardInitialYear(year) == 0;
            report(EVENTLOG_WARNING_TYPE,
                   format("The TCR7750 board shows the year %u, not the year %d its day %u belongs to by the PC's "
                          "clock: %s",
                          reading.time.wYear, year, reading.dayOfYear,
                          given ? "it is given that year." : "giving it that year failed."));
        } else {
            report(EVENTLOG_WARNING_TYPE,
                   format("The TCR7750 board keeps the year %u instead of %d: no samples until the PC's clock jumps.",
                          reading.time.wYear, year));
        }
        return std::nullopt;
    }

    const int64_t boardSecond =
        board_second_in(reading.time.wYear, reading.dayOfYear, reading.time).time_since_epoch().count();
    const int64_t board = (boardSecond + kSecondsFrom1601To1970) * kUnitsPerSecond + reading.microseconds * 10LL;
    const int64_t bracket = reading.after - reading.before;

    TimeSample sample{};
    sample.dwSize = sizeof sample;
    sample.dwRefid = kReferenceId;
    sample.toOffset = board - middle;
    sample.toDelay = bracket;
    sample.tpDispersion = static_cast<uint64_t>(bracket / 2) + kBoardResolution + *quality;
    if (callbacks_.pfnGetTimeSysInfo) {
        callbacks_.pfnGetTimeSysInfo(TSI_TickCount, &sample.nSysTickCount);
        callbacks_.pfnGetTimeSysInfo(TSI_PhaseOffset, &sample.nSysPhaseOffset);
    }
    sample.nLeapFlags = 0;
    sample.nStratum = 0; // a reference clock
    sample.dwTSFlags = TSF_Hardware;
    const std::basic_string<WCHAR> unique = widened(kUniqueName);
    unique.copy(sample.wszUniqueName, unique.size());
    report(EVENTLOG_INFORMATION_TYPE, "The TCR7750 board gives samples.");
    return sample;
}

void BoardTimeProvider::report(WORD type, const std::string &message)
{
    if (message == lastReport_)
        return;
    lastReport_ = message;
    if (!callbacks_.pfnLogTimeProvEvent)
        return;
    std::basic_string<WCHAR> text = widened(message);
    callbacks_.pfnLogTimeProvEvent(type, name_.data(), text.data());
}

} // namespace tcr7750::timeprov
