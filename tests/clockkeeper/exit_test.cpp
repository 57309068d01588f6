// SPDX-License-Identifier: MIT
// Ending the program, and the worker's hand-overs: Exit and the title bar's
// close stop the worker before the board closes; "Active" while the last
// worker finishes; the worker and Force update never set the clock at once.
#include "clockkeeper_fixture.h"

#include <atomic>
#include <mutex>
#include <thread>

using namespace forms;

namespace {

using ExitTest = ClockKeeperTest;

TEST_F(ExitTest, ExitRemovesTheIconStopsTheWorkerThenClosesTheBoard)
{
    Start();
    Ticks(3);
    const auto readsBefore = board.access_log().size();
    ASSERT_TRUE(form->Arrter1->Click());

    EXPECT_EQ(headless::LiveThreads(), 0) << "the worker has ended";
    EXPECT_FALSE(form->ClkThreadRunning);
    EXPECT_GT(board.access_log().size(), readsBefore) << "its last tick read the open board";
    EXPECT_EQ(CloseBoard(), -1) << "the board is closed";
    EXPECT_TRUE(Application->Terminated());
    EXPECT_FALSE(form->Visible());

    const auto tray = os.NotifyIconCalls();
    ASSERT_FALSE(tray.empty());
    EXPECT_EQ(tray.back().message, NIM_DELETE) << "nothing touches the icon after its removal";
    EXPECT_EQ(tray.back().data.uID, 1u);
    EXPECT_EQ(TrayIconsSent(), std::vector<HICON>{Green()}) << "its last tick read a good frame";
}

TEST_F(ExitTest, ExitFromTheTrayMenuWhileHidden)
{
    Start();
    Ticks(12);
    ASSERT_FALSE(form->Visible());
    form->Perform(0x0401, 1, WM_RBUTTONDOWN);
    ASSERT_TRUE(form->Arrter1->Click());
    EXPECT_EQ(headless::LiveThreads(), 0);
    EXPECT_EQ(os.NotifyIconCalls().back().message, NIM_DELETE);
    EXPECT_TRUE(Application->Terminated());
}

TEST_F(ExitTest, ClosingTheWindowRunsTheExitStepsOnce)
{
    Start();
    Ticks(2);
    form->Close();
    EXPECT_EQ(headless::LiveThreads(), 0);
    EXPECT_EQ(CloseBoard(), -1);
    EXPECT_TRUE(Application->Terminated());
    form->Close();
    int deletes = 0;
    for (const auto& call : os.NotifyIconCalls())
        deletes += call.message == NIM_DELETE;
    EXPECT_EQ(deletes, 1);
}

TEST_F(ExitTest, ExitWithoutTheBoardOrWorker)
{
    board.set_failures({.noBoard = true});
    Start();
    ASSERT_TRUE(form->Arrter1->Click());
    EXPECT_EQ(os.NotifyIconCalls().back().message, NIM_DELETE);
    EXPECT_TRUE(Application->Terminated());
}

TEST_F(ExitTest, ActiveChosenWhileTheLastWorkerFinishesStartsTheNextOneAfterIt)
{
    Start();
    Ticks(1);
    ASSERT_TRUE(form->RGrpDriver->ClickItem(1));
    ASSERT_TRUE(form->RGrpDriver->ClickItem(0));
    EXPECT_TRUE(form->ClkThreadRunning) << "the last worker is still finishing";
    Ticks(1);
    // The old worker ended and a new one took over: the choice, the field
    // and the worker agree.
    EXPECT_TRUE(form->ClkThreadRunning);
    EXPECT_NE(form->ClkThread, nullptr);
    EXPECT_EQ(headless::LiveThreads(), 1);
    EXPECT_EQ(form->RGrpDriver->ItemIndex(), 0);
    EXPECT_TRUE(form->EdInterval->ReadOnly());
    EXPECT_EQ(form->EdInterval->Color(), clLime);
    // The new worker counts from its own start.
    EXPECT_EQ(TicksWithClockUpdates(61), std::vector<int>{60});
}

TEST_F(ExitTest, DisabledActiveDisabledWhileFinishingEndsWithNoWorker)
{
    Start();
    ASSERT_TRUE(form->RGrpDriver->ClickItem(1));
    ASSERT_TRUE(form->RGrpDriver->ClickItem(0));
    ASSERT_TRUE(form->RGrpDriver->ClickItem(1));
    Ticks(1);
    EXPECT_FALSE(form->ClkThreadRunning);
    EXPECT_EQ(headless::LiveThreads(), 0);
    EXPECT_FALSE(form->EdInterval->ReadOnly());
    EXPECT_EQ(form->EdInterval->Color(), clWhite);
}

// Holds the worker inside SetSystemTime until released, and logs the
// clock-setting steps with the thread that made them.
class HoldingOs : public FakeOs {
public:
    std::atomic<bool> workerInside{false};
    std::atomic<bool> release{false};

    std::vector<std::string> Events()
    {
        std::lock_guard lock(eventsMutex_);
        return events_;
    }

    BOOL SetSystemTime(const SYSTEMTIME* time) override
    {
        Log("set");
        if (!OnWindowThread()) {
            workerInside = true;
            headless::IdleScope idle;  // blocked on the test, not on the toolkit
            while (!release)
                std::this_thread::yield();
        }
        return FakeOs::SetSystemTime(time);
    }

    BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* newState, DWORD bufferLength,
                               TOKEN_PRIVILEGES* previousState, DWORD* returnLength) override
    {
        Log(disableAll ? "release" : "privilege");
        return FakeOs::AdjustTokenPrivileges(token, disableAll, newState, bufferLength, previousState, returnLength);
    }

private:
    const std::thread::id windowThread_ = std::this_thread::get_id();
    std::mutex eventsMutex_;
    std::vector<std::string> events_;

    bool OnWindowThread() const { return std::this_thread::get_id() == windowThread_; }
    void Log(const std::string& step)
    {
        std::lock_guard lock(eventsMutex_);
        events_.push_back((OnWindowThread() ? "window " : "worker ") + step);
    }
};

TEST_F(ExitTest, ForceUpdateWaitsForTheWorkersClockSetting)
{
    HoldingOs holding;
    ScopedOs useHolding(holding);
    Start();
    Ticks(59);
    headless::Advance(1000);  // tick 60: the worker stops inside SetSystemTime
    ASSERT_TRUE(headless::PumpUntil([&] { return holding.workerInside.load(); }));

    form->Configurer1->Click();  // the window hid itself meanwhile

    // Let the worker go once Force update has read the board and had every
    // chance to start its own sequence.
    const auto requestsBefore = board.requests().size();
    std::thread releaser([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (board.requests().size() == requestsBefore && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        holding.release = true;
    });
    const bool clicked = form->BtnMajClk->Click();
    releaser.join();
    ASSERT_TRUE(clicked);
    Ticks(1);

    EXPECT_EQ(holding.Events(),
              (std::vector<std::string>{"worker privilege", "worker set", "worker release", "window privilege",
                                        "window set", "window release"}));
    EXPECT_EQ(holding.TimesSet().size(), 2u);
    Stop();  // while this seam is still installed
}

TEST_F(ExitTest, TheWorkerSetsTheClockWhileAForceUpdateMessageWaitsForTheUser)
{
    os.SetRegistryDword(HKEY_LOCAL_MACHINE, kSettingsKey, "Interval", 1);
    Start();
    os.setSystemTimeResult = FALSE;
    bool served = false;
    const auto windowThread = std::this_thread::get_id();
    // While the window's box is open, its thread keeps serving the worker,
    // whose due tick runs its own sequence.
    os.answerMessageBox = [&](const MessageBoxCall&) {
        if (std::this_thread::get_id() == windowThread && !served) {
            served = true;
            headless::Advance(1000, std::chrono::seconds(2));
        }
        return IDOK;
    };
    ASSERT_TRUE(form->BtnMajClk->Click());
    EXPECT_TRUE(served);
    EXPECT_EQ(os.TimesSet().size(), 2u);
    EXPECT_EQ(MessageBoxLines(), (std::vector<std::string>{"System time update fail / System time",
                                                           "System time update fail / System time"}));
    os.answerMessageBox = nullptr;  // it refers to this test's locals
}

}  // namespace
