// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <string>
#include <vector>

#include "forms/os.h"
#include "forms/thread.h"
#include "forms/timer.h"
#include "forms_fixture.h"

using namespace forms;

namespace {

// A worker in the clock keeper's manner: sleep a second, count, show.
class Ticker : public TThread {
public:
    explicit Ticker(std::vector<std::int64_t>& shown) : TThread(false), shown_(shown) {}

protected:
    void Execute() override
    {
        while (!Terminated()) {
            Os().Sleep(1000);
            ++ticks_;
            Synchronize([this] { shown_.push_back(headless::Now()); });
        }
    }

private:
    std::vector<std::int64_t>& shown_;
    int ticks_ = 0;
};

class VirtualClock : public FormsTest {};

}  // namespace

TEST_F(VirtualClock, AWorkerSleepTicksOncePerVirtualSecond)
{
    std::vector<std::int64_t> shown;
    Ticker ticker(shown);
    headless::Advance(999);
    EXPECT_TRUE(shown.empty());
    headless::Advance(1);
    EXPECT_EQ(shown, std::vector<std::int64_t>{1000});
    headless::Advance(2500);
    EXPECT_EQ(shown, (std::vector<std::int64_t>{1000, 2000, 3000}));
    EXPECT_EQ(headless::Now(), 3500);
    EXPECT_EQ(os.CountCalls("Sleep"), 4) << "the fourth sleep is under way";

    ticker.Terminate();
    ticker.WaitFor();  // on the window thread: time passes until the sleep ends
    EXPECT_EQ(headless::Now(), 4000);
    EXPECT_EQ(shown.back(), 4000);
}

TEST_F(VirtualClock, HoursOfTicksRunAtOnce)
{
    std::vector<std::int64_t> shown;
    Ticker ticker(shown);
    headless::Advance(3 * 3600 * 1000);
    EXPECT_EQ(shown.size(), 3u * 3600u);
    EXPECT_EQ(shown.back(), 3 * 3600 * 1000);
    ticker.Terminate();
    ticker.WaitFor();
}

TEST_F(VirtualClock, TimersFireAsTimePasses)
{
    std::vector<std::int64_t> fired;
    TTimer timer(nullptr);
    timer.SetInterval(250);
    timer.OnTimer = [&](TObject*) { fired.push_back(headless::Now()); };
    headless::Advance(1000);
    EXPECT_EQ(fired, (std::vector<std::int64_t>{250, 500, 750, 1000}));

    timer.SetEnabled(false);
    headless::Advance(1000);
    EXPECT_EQ(fired.size(), 4u);
    timer.SetEnabled(true);  // restarts a full interval from now
    headless::Advance(300);
    EXPECT_EQ(fired.back(), 2250);
}

TEST_F(VirtualClock, AOneShotTimerDisablesItself)
{
    int fired = 0;
    TTimer timer(nullptr);
    timer.SetEnabled(false);
    timer.SetInterval(10000);
    timer.OnTimer = [&](TObject*) {
        timer.SetEnabled(false);
        ++fired;
    };
    timer.SetEnabled(true);
    headless::Advance(9999);
    EXPECT_EQ(fired, 0);
    headless::Advance(60000);
    EXPECT_EQ(fired, 1);
}

TEST_F(VirtualClock, AWorkerDueAtATimerInstantRunsFirst)
{
    std::vector<std::string> order;
    std::vector<std::int64_t> shown;
    Ticker ticker(shown);
    TTimer timer(nullptr);
    timer.OnTimer = [&](TObject*) { order.push_back("timer saw " + std::to_string(shown.size())); };
    headless::Advance(2000);
    EXPECT_EQ(order, (std::vector<std::string>{"timer saw 1", "timer saw 2"}));
    ticker.Terminate();
    ticker.WaitFor();
}

TEST_F(VirtualClock, SleepOnTheWindowThreadMovesTheClock)
{
    std::vector<std::int64_t> shown;
    Ticker ticker(shown);
    Os().Sleep(2000);
    EXPECT_EQ(headless::Now(), 2000);
    EXPECT_EQ(shown, (std::vector<std::int64_t>{1000, 2000}));
    ticker.Terminate();
    ticker.WaitFor();
}

TEST_F(VirtualClock, AnExceptionInATimerHandlerIsShown)
{
    TTimer timer(nullptr);
    timer.SetInterval(100);
    timer.OnTimer = [&](TObject*) {
        timer.SetEnabled(false);
        StrToInt("x");
    };
    headless::Advance(100);
    ASSERT_EQ(os.MessageBoxes().size(), 1u);
    EXPECT_EQ(os.MessageBoxes()[0].text, "'x' is not a valid integer value.");
}

TEST_F(VirtualClock, AThreadBlockedOutsideTheToolkitIsReportedUnlessIdle)
{
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> useIdleScope{false};
    class Blocked : public TThread {
    public:
        Blocked(std::shared_future<void> released, std::atomic<bool>& idle)
            : TThread(true), released_(std::move(released)), idle_(idle)
        {
        }

    protected:
        void Execute() override
        {
            if (idle_) {
                headless::IdleScope idle;
                released_.wait();
            } else {
                released_.wait();
            }
        }

    private:
        std::shared_future<void> released_;
        std::atomic<bool>& idle_;
    };

    {
        Blocked blocked(released, useIdleScope);
        blocked.Start();
        EXPECT_THROW(headless::Advance(1000, std::chrono::milliseconds(50)), std::runtime_error);
        EXPECT_THROW(headless::Reset(), std::logic_error) << "a thread is still alive";
        release.set_value();
        blocked.WaitFor();
    }

    std::promise<void> secondRelease;
    useIdleScope = true;
    Blocked idle(secondRelease.get_future().share(), useIdleScope);
    idle.Start();
    headless::Advance(1000, std::chrono::milliseconds(5000));  // waits in an IdleScope: idle
    EXPECT_EQ(headless::Now(), 1000);
    secondRelease.set_value();
    idle.WaitFor();
}

TEST_F(VirtualClock, ATimerStoppedByAnotherAtTheSameInstantDoesNotFire)
{
    std::vector<std::string> fired;
    TTimer first(nullptr);
    TTimer second(nullptr);
    first.OnTimer = [&](TObject*) {
        fired.push_back("first");
        second.SetEnabled(false);
    };
    second.OnTimer = [&](TObject*) { fired.push_back("second"); };
    headless::Advance(1000);
    EXPECT_EQ(fired, std::vector<std::string>{"first"}) << "first was started first and fires first";
}

TEST_F(VirtualClock, WorkersDueAtTheSameInstantTakeTurnsInTheOrderTheySlept)
{
    class Named : public TThread {
    public:
        Named(std::string name, std::vector<std::string>& log) : TThread(false), name_(std::move(name)), log_(log) {}

    protected:
        void Execute() override
        {
            while (!Terminated()) {
                Os().Sleep(1000);
                Synchronize([this] { log_.push_back(name_ + " sync"); });
                Synchronize([this] { log_.push_back(name_ + " again"); });
            }
        }

    private:
        std::string name_;
        std::vector<std::string>& log_;
    };
    std::vector<std::string> log;
    Named first("first", log);
    Named second("second", log);
    headless::Advance(2000);
    // Started in that order, they first sleep in that order: no race between them.
    EXPECT_EQ(log, (std::vector<std::string>{"first sync", "first again", "second sync", "second again",
                                             "first sync", "first again", "second sync", "second again"}));
    first.Terminate();
    second.Terminate();
    first.WaitFor();
    second.WaitFor();
}
