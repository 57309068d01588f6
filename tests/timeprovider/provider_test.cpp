// SPDX-License-Identifier: MIT
// The Windows Time provider's logic against the simulated board: its
// samples, when it gives none, what it logs, the year it gives the board
// and each command's answer.  The PC's precise clock is the test's.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "../common/datetime.h"
#include "board_time_provider.h"
#include "simulated_windriver.h"
#include "tcr7750_regs.h"

using namespace tcr7750;
using namespace tcr7750::timeprov;

namespace {

constexpr int64_t kUnitsPerSecond = 10000000;
constexpr int64_t k1601To1970 = 11644473600;

std::vector<std::string> logged;

HRESULT log_event(WORD, WCHAR *, WCHAR *message)
{
    std::string text;
    for (const WCHAR *c = message; *c; ++c)
        text.push_back(static_cast<char>(*c));
    logged.push_back(text);
    return S_OK;
}

HRESULT system_info(TimeSysInfo info, void *value)
{
    if (info == TSI_TickCount)
        *static_cast<uint64_t *>(value) = 4242;
    return S_OK;
}

class ProviderTest : public ::testing::Test {
protected:
    sim::SimulatedWinDriver board;
    ProviderDriverPlatform driver{board.platform()};
    int64_t pc = (1746187200 + k1601To1970) * kUnitsPerSecond; // 2 May 2025 12:00:00 UTC
    std::deque<int64_t> brackets;                               // width of each reading's bracket
    bool before = true;
    TimeProvSysCallbacks callbacks{sizeof callbacks, system_info, log_event, nullptr, nullptr};
    BoardTimeProvider provider{nullptr, callbacks, [this] { return next_clock(); }, driver};

    void SetUp() override
    {
        logged.clear();
        install_driver_platform(&driver);
        set_board_after_pc(15000000); // 1.5 s ahead
    }

    // The PC's clock moves by the next bracket width within each reading.
    int64_t next_clock()
    {
        const int64_t now = pc;
        if (before && !brackets.empty()) {
            pc += brackets.front();
            brackets.pop_front();
        }
        before = !before;
        return now;
    }

    void set_board_after_pc(int64_t units)
    {
        const int64_t at = pc + units - k1601To1970 * kUnitsPerSecond;
        board.set_unix_time(at / kUnitsPerSecond, static_cast<uint32_t>(at % kUnitsPerSecond) * 100);
        board.set_status(ST_FRAME_OK);
    }

    // One TPC_GetSamples: the sample, or none.
    std::optional<TimeSample> poll()
    {
        TimeSample sample{};
        TpcGetSamplesArgs args{reinterpret_cast<BYTE *>(&sample), sizeof sample, 99, 99};
        EXPECT_EQ(provider.command(TPC_GetSamples, &args), S_OK);
        if (args.dwSamplesReturned == 0)
            return std::nullopt;
        EXPECT_EQ(args.dwSamplesAvailable, 1u);
        return sample;
    }
};

TEST_F(ProviderTest, TheSampleIsTheBoardMinusThePcAtTheNarrowestBracketIn100ns)
{
    brackets = {40, 10, 30, 20};
    const int64_t start = pc;
    const auto sample = poll();
    ASSERT_TRUE(sample);
    // The second reading: bracketed from start + 40 to start + 50.
    EXPECT_EQ(sample->toOffset, start + 15000000 - (start + 45));
    EXPECT_EQ(sample->toDelay, 10);
    EXPECT_EQ(sample->tpDispersion, 5u + 10u) << "half the bracket and the board's microsecond";
    EXPECT_EQ(sample->nSysTickCount, 4242u);

    set_board_after_pc(-20000000); // 2 s behind: negative
    brackets = {10, 10, 10, 10};
    EXPECT_EQ(poll()->toOffset, -20000000 - 5);
    EXPECT_EQ(logged, std::vector<std::string>{"The TCR7750 board gives samples."}) << "logged once";
}

TEST_F(ProviderTest, NoSampleWithoutAFrameInTdDecodingOrOnATimeQualityFaultEachLoggedOnce)
{
    board.set_status(0x0050);
    EXPECT_FALSE(poll());
    EXPECT_FALSE(poll());
    board.set_status(ST_FRAME_OK);
    board.with_board([](tcr7750_model &m) { m.control = CTL_MODE_TD; });
    EXPECT_FALSE(poll());
    board.with_board([](tcr7750_model &m) { m.control = CTL_MODE_AFNOR; });
    board.set_status(ST_FRAME_OK | 0x0F00);
    EXPECT_FALSE(poll());
    board.set_status(ST_FRAME_OK | 0x0300); // within 100 ns
    const auto sample = poll();
    ASSERT_TRUE(sample);
    EXPECT_EQ(sample->tpDispersion, 10u + 1u);
    EXPECT_EQ(logged, (std::vector<std::string>{
                          "The TCR7750 board has no IRIG-B frame (error code 5): no samples.",
                          "The TCR7750 board decodes TD/H0, not the time: no samples.",
                          "The TCR7750 board's time code reports a fault (time figure of merit 15): no samples.",
                          "The TCR7750 board gives samples."}));
}

TEST_F(ProviderTest, AnUnreachableBoardIsLoggedNotShownAndTriedAgainAtEachPoll)
{
    board.set_failures({.noBoard = true});
    EXPECT_FALSE(poll());
    EXPECT_FALSE(poll());
    EXPECT_TRUE(board.message_boxes().empty());
    EXPECT_EQ(board.open_handles(), 0u) << "the failed open's handle is closed";
    board.set_failures({});
    EXPECT_TRUE(poll());
    EXPECT_EQ(logged, (std::vector<std::string>{
                          "The TCR7750 board cannot be reached (Carte non trouv\xE9" "e): no samples until it can.",
                          "The TCR7750 board gives samples."}));
}

TEST_F(ProviderTest, ABoardAtItsPowerUpYearIsGivenTheYearOfItsDayOnceUntilTheClockJumps)
{
    board.set_datetime(datetime(2008, 5, 1, 12, 0, 1, 0)); // day 122, the PC's day
    EXPECT_FALSE(poll());
    EXPECT_EQ(board.with_board([](tcr7750_model &m) { return m.initial_year; }), 2025);
    EXPECT_TRUE(poll());

    board.set_datetime(datetime(2008, 5, 1, 12, 0, 1, 0));
    const size_t writes = board.with_board([](tcr7750_model &m) { return m.control_writes; });
    EXPECT_FALSE(poll());
    EXPECT_FALSE(poll());
    EXPECT_EQ(board.with_board([](tcr7750_model &m) { return m.control_writes; }), writes) << "written once";
    EXPECT_EQ(provider.command(TPC_TimeJumped, nullptr), S_OK);
    EXPECT_FALSE(poll());
    EXPECT_TRUE(poll());
    EXPECT_EQ(logged[0], "The TCR7750 board shows the year 2008, not the year 2025 its day 122 belongs to by the PC's "
                         "clock: it is given that year.");
    EXPECT_EQ(logged[2], "The TCR7750 board keeps the year 2008 instead of 2025: no samples until the PC's clock jumps.");

}

// (What each command answers is checked on the DLL itself, tests/wine/tphost.)
TEST_F(ProviderTest, ShutdownClosesTheBoardAndItsDriverHandles)
{
    EXPECT_TRUE(poll());
    EXPECT_EQ(provider.command(TPC_GetSamples, nullptr), E_INVALIDARG);
    EXPECT_GT(board.open_handles(), 0u);
    EXPECT_EQ(provider.command(TPC_Shutdown, nullptr), S_OK);
    EXPECT_EQ(board.open_handles(), 0u);
    const size_t requests = board.requests().size();
    EXPECT_FALSE(poll());
    EXPECT_EQ(board.requests().size(), requests) << "nothing reaches the board after the shutdown";
}

} // namespace
