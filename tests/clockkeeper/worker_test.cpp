// SPDX-License-Identifier: MIT
// The worker: when it sets the clock, with what, and what it tells the user.
#include "clockkeeper_fixture.h"

using namespace forms;

namespace {

class WorkerTest : public ClockKeeperTest {
protected:
    // Starts with `interval` in the registry.
    void StartWithInterval(int interval)
    {
        os.SetRegistryDword(HKEY_LOCAL_MACHINE, kSettingsKey, "Interval", static_cast<DWORD>(interval));
        Start();
    }
};

TEST_F(WorkerTest, EverySixtyGoodTicksTheClockTakesTheBoardTimeAsUtc)
{
    Start();
    EXPECT_EQ(TicksWithClockUpdates(200), (std::vector<int>{60, 120, 180}));
    const SYSTEMTIME set = os.TimesSet().at(0);
    EXPECT_EQ((std::vector<int>{set.wYear, set.wMonth, set.wDay, set.wHour, set.wMinute, set.wSecond,
                                set.wMilliseconds}),
              (std::vector<int>{2008, 3, 6, 12, 34, 56, 789}));
    // Token opened to adjust and query, privilege on, clock, privilege off
    // (every privilege of the token).
    std::vector<std::string> sequence;
    for (const auto& call : os.Calls())
        if (call.function == "OpenProcessToken" || call.function == "LookupPrivilegeValueA" ||
            call.function == "AdjustTokenPrivileges" || call.function == "SetSystemTime")
            sequence.push_back(call.function + "(" + call.arguments + ")");
    ASSERT_GE(sequence.size(), 6u);
    EXPECT_EQ(sequence[0].substr(sequence[0].find(", ")), ", 0x28)");
    EXPECT_NE(sequence[1].find("SeSystemtimePrivilege"), std::string::npos) << sequence[1];
    EXPECT_EQ(sequence[2], "AdjustTokenPrivileges(0x7700, 0, {1: luid 12, attributes 0x2}, 16, 0, 0)");
    EXPECT_EQ(sequence[3].rfind("SetSystemTime", 0), 0u);
    EXPECT_EQ(sequence[4].rfind("OpenProcessToken", 0), 0u);
    EXPECT_EQ(sequence[5], "AdjustTokenPrivileges(0x7700, 1, null, 0, 0, 0)");
    EXPECT_TRUE(os.MessageBoxes().empty());
    // Each token opened is closed again.
    EXPECT_EQ(os.CountCalls("OpenProcessToken"), os.CountCalls("CloseHandle"));
}

TEST_F(WorkerTest, IntervalsZeroOneAndNegativeSetTheClockOnEveryGoodTick)
{
    for (int interval : {0, 1, -5}) {
        SCOPED_TRACE(interval);
        os.ClearCalls();
        board.set_status(ST_FRAME_OK);
        StartWithInterval(interval);
        EXPECT_EQ(TicksWithClockUpdates(3), (std::vector<int>{1, 2, 3}));
        board.set_status(0x0050);  // no frame: no update
        EXPECT_EQ(TicksWithClockUpdates(2), std::vector<int>{});
        Stop();
    }
}

TEST_F(WorkerTest, AnIntervalAboveSixteenBitsComesOnItsTick)
{
    StartWithInterval(65536);
    Ticks(65535);
    EXPECT_TRUE(os.TimesSet().empty());
    EXPECT_EQ(TicksWithClockUpdates(1), std::vector<int>{1});
}

// Moves the board's time on by a second after each date-time read, as a
// running board does between two reads.
class MovingBoardTime final : public tcr7750::DriverPlatform {
public:
    explicit MovingBoardTime(tcr7750::sim::SimulatedWinDriver& board) : board_(board) {}
    tcr7750::DeviceHandle open_device() override { return board_.platform().open_device(); }
    void close_device(tcr7750::DeviceHandle device) override { board_.platform().close_device(device); }
    void message_box(const char* text, const char* caption) override { board_.platform().message_box(text, caption); }
    bool control(tcr7750::DeviceHandle device, uint32_t code, void* record, uint32_t size) override
    {
        const bool done = board_.platform().control(device, code, record, size);
        if (code == IOCTL_WD_MULTI_TRANSFER && size == 10 * sizeof(WD_TRANSFER))
            board_.advance(std::chrono::seconds(1));
        return done;
    }

private:
    tcr7750::sim::SimulatedWinDriver& board_;
};

TEST_F(WorkerTest, TheClockTakesTheSecondReadOfTheDueTick)
{
    MovingBoardTime moving(board);
    tcr7750::install_driver_platform(&moving);
    StartWithInterval(1);
    Ticks(1);
    ASSERT_EQ(os.TimesSet().size(), 1u);
    // 12:34:56 read at start, :57 by the tick's first read, :58 by its second.
    EXPECT_EQ(os.TimesSet()[0].wSecond, 58);
    Stop();
    tcr7750::install_driver_platform(&board.platform());
}

TEST_F(WorkerTest, AStampPendingBitHoldsTheUpdateBackUntilTheFirstTickWhereItClears)
{
    Start();
    RaiseStampPending();
    Ticks(59);
    EXPECT_EQ(TicksWithClockUpdates(10), std::vector<int>{});
    EXPECT_EQ(TrayIconsSent(), std::vector<HICON>{Green()}) << "still a good frame";
    ClearStampPending();
    EXPECT_EQ(TicksWithClockUpdates(61), (std::vector<int>{1, 61}));
}

TEST_F(WorkerTest, AFailingReadNeverSetsTheClockFromAnEarlierRead)
{
    Start();
    Ticks(59);
    board.set_failures({.failingRequests = {IOCTL_WD_MULTI_TRANSFER}});
    EXPECT_EQ(TicksWithClockUpdates(5), std::vector<int>{});
    board.set_failures({});
    EXPECT_EQ(TicksWithClockUpdates(1), std::vector<int>{1}) << "the counter kept growing";
}

TEST_F(WorkerTest, WithoutThePrivilegeEveryDueTickSaysSoAndKeepsTheCounter)
{
    os.adjustPrivilegesError = ERROR_NOT_ALL_ASSIGNED;
    Start();
    Ticks(62);
    EXPECT_TRUE(os.TimesSet().empty());
    EXPECT_EQ(MessageBoxLines(), (std::vector<std::string>{"Failed / Set time priviledge",
                                                           "Failed / Set time priviledge",
                                                           "Failed / Set time priviledge"}));
    for (const auto& box : os.MessageBoxes()) {
        EXPECT_EQ(box.owner, nullptr);
        EXPECT_EQ(box.type, MB_OK);
    }
    // Granted now: the very next tick sets the clock, the counter restarts.
    os.adjustPrivilegesError = ERROR_SUCCESS;
    EXPECT_EQ(TicksWithClockUpdates(120), (std::vector<int>{1, 61}));
    EXPECT_EQ(os.MessageBoxes().size(), 3u);
}

TEST_F(WorkerTest, NoTokenOrNoPrivilegeNameIsAPrivilegeFailure)
{
    os.openProcessTokenResult = FALSE;
    Start();
    Ticks(60);
    os.openProcessTokenResult = TRUE;
    os.lookupPrivilegeResult = FALSE;
    Ticks(1);
    EXPECT_TRUE(os.TimesSet().empty());
    EXPECT_EQ(MessageBoxLines(), (std::vector<std::string>{"Failed / Set time priviledge",
                                                           "Failed / Set time priviledge"}));
    EXPECT_EQ(os.CountCalls("OpenProcessToken") - 1, os.CountCalls("CloseHandle"));
}

TEST_F(WorkerTest, AFailedClockChangeSaysSoAndWaitsAFullInterval)
{
    os.setSystemTimeResult = FALSE;
    Start();
    EXPECT_EQ(TicksWithClockUpdates(125), (std::vector<int>{60, 120}));
    EXPECT_EQ(MessageBoxLines(), (std::vector<std::string>{"System time update fail / System time",
                                                           "System time update fail / System time"}));
    EXPECT_EQ(os.CountCalls("AdjustTokenPrivileges"), 4) << "the privilege is dropped after a failure too";
}

// Grants the privilege but refuses to drop it.
class ReleaseRefusingOs : public FakeOs {
public:
    BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* newState, DWORD bufferLength,
                               TOKEN_PRIVILEGES* previousState, DWORD* returnLength) override
    {
        adjustPrivilegesError = disableAll ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
        return FakeOs::AdjustTokenPrivileges(token, disableAll, newState, bufferLength, previousState, returnLength);
    }
};

TEST_F(WorkerTest, AFailedPrivilegeReleaseComesAfterTheClockChangeAndTheCounterRestarts)
{
    ReleaseRefusingOs refusing;
    ScopedOs useRefusing(refusing);
    Start();
    std::vector<int> updates;
    for (int tick = 1; tick <= 125; ++tick) {
        const auto before = refusing.TimesSet().size();
        Ticks(1);
        if (refusing.TimesSet().size() != before)
            updates.push_back(tick);
    }
    EXPECT_EQ(updates, (std::vector<int>{60, 120}));
    std::vector<std::string> boxes;
    for (const auto& box : refusing.MessageBoxes())
        boxes.push_back(box.text + " / " + box.caption);
    EXPECT_EQ(boxes, (std::vector<std::string>{"Failed / Remove time priviledge", "Failed / Remove time priviledge"}));
    Stop();  // while this seam is still installed
}

}  // namespace

namespace {

// A board just powered up shows its power-up year: the worker never sets the
// clock to it, and says so as for a board without a usable time; the year
// its day belongs to (the next, just after New Year) is taken.
TEST_F(WorkerTest, TheClockIsNeverSetToAYearTheBoardWasNotGiven)
{
    os.systemTime = {2025, 5, 6, 2, 12, 0, 0, 0};
    board.set_datetime(datetime(2008, 5, 1, 12, 0, 5, 0));  // day 122 in 2008, 2 May 2025's day
    StartWithInterval(1);
    EXPECT_EQ(TicksWithClockUpdates(5), std::vector<int>{});
    EXPECT_EQ(form->PnlStatus->Color(), clGreen);
    EXPECT_EQ(form->PnlLock->Color(), clLime);
    EXPECT_EQ(TrayIconsSent(), std::vector<HICON>{Red()});
    form->BtnMajClk->Click();  // the operator's override
    ASSERT_EQ(os.TimesSet().size(), 1u);
    EXPECT_EQ(os.TimesSet()[0].wYear, 2008);

    os.systemTime = {2025, 12, 3, 31, 23, 59, 59, 900};
    board.set_datetime(datetime(2026, 1, 1, 0, 0, 0, 500000));
    EXPECT_EQ(TicksWithClockUpdates(1), std::vector<int>{1});
    EXPECT_EQ(os.TimesSet().back().wYear, 2026);
    EXPECT_EQ(form->PnlStatus->Color(), clLime);
}

}  // namespace
