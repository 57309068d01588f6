// SPDX-License-Identifier: MIT
// A monitor thread blocked in a wait while the controlling thread goes on
// using the board, as the test bench does.
#include <atomic>
#include <ctime>
#include <thread>

#include "library_fixture.h"

namespace {

using namespace std::chrono_literals;

class WaiterThreadTest : public LibraryTest {};

TEST_F(WaiterThreadTest, DisableReleasesABlockedWaiterWithOne)
{
    open();
    ASSERT_EQ(EnablePeriodicInterrupt(10), 0);
    int32_t result = -2;
    std::thread waiter([&] { result = WaitForPeriodicInterrupt(); });
    ASSERT_TRUE(sim.wait_for_blocked_waiters(1));
    EXPECT_EQ(DisableBoardInterrupts(), 0);
    waiter.join();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(sim.blocked_waiters(), 0u);
}

TEST_F(WaiterThreadTest, TimestampWaiterGetsTheEdgeCapturedWhileItWaited)
{
    open();
    ASSERT_EQ(EnableTimestampInterrupt(0), 0);
    sim.set_datetime(datetime(2026, 12, 8, 0, 2, 3, 456));

    EdgeStamp rising{}, falling{};
    int32_t result = -2;
    std::thread waiter([&] { result = WaitForTimestampInterrupt(&rising, &falling); });
    ASSERT_TRUE(sim.wait_for_blocked_waiters(1));
    // The connection handle is free for the controlling thread meanwhile.
    uint16_t status = 0, control = 0;
    EXPECT_EQ(GetBoardStatus(&status, &control), 0);
    EXPECT_EQ(control, CTL_TIMESTAMP_ENABLE);
    sim.edge(TCR7750_EDGE_RISING);
    waiter.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(rising.Seconds, 123);
    EXPECT_EQ(rising.Microseconds, 456);
}

TEST_F(WaiterThreadTest, PeriodicMonitorLoopCountsEachInterruptThenStops)
{
    open();
    ASSERT_EQ(EnablePeriodicInterrupt(2), 0);
    std::atomic<int> events{0};
    std::thread monitor([&] {
        // The test bench's loop: wait, read the time on an event, until disarmed.
        SYSTEMTIME t;
        uint16_t day, status;
        uint32_t micros;
        while (WaitForPeriodicInterrupt() == 0) {
            GetBoardDateTime(&t, &day, &micros, &status);
            ++events;
        }
    });
    for (int i = 1; i <= 3; ++i) {
        ASSERT_TRUE(sim.wait_for_blocked_waiters(1));
        sim.advance(200ms);
        ASSERT_TRUE(eventually([&] { return events.load() == i; }));
    }
    ASSERT_TRUE(sim.wait_for_blocked_waiters(1));
    EXPECT_EQ(DisableBoardInterrupts(), 0);
    monitor.join();
    EXPECT_EQ(events.load(), 3);
}

// The test bench starts its monitor before it arms: the waits before the
// arming end at once, later ones deliver the interrupts, and the arming never
// touches what a wait is using.
TEST_F(WaiterThreadTest, MonitorStartedBeforeArmingSeesEachInterruptOnce)
{
    open();
    std::atomic<bool> stop{false};
    std::atomic<int> events{0}, emptyWaits{0};
    std::thread monitor([&] {
        while (!stop.load()) {
            if (WaitForPeriodicInterrupt() == 0)
                ++events;
            else
                ++emptyWaits;
        }
    });
    ASSERT_TRUE(eventually([&] { return emptyWaits.load() > 0; }));
    ASSERT_EQ(EnablePeriodicInterrupt(10), 0);
    ASSERT_TRUE(sim.wait_for_blocked_waiters(1));
    sim.advance(1s);
    ASSERT_TRUE(eventually([&] { return events.load() == 1; }));
    ASSERT_TRUE(sim.wait_for_blocked_waiters(1));
    sim.advance(2s); // two interrupts while the monitor waits: one event
    ASSERT_TRUE(eventually([&] { return events.load() == 2; }));
    ASSERT_TRUE(sim.wait_for_blocked_waiters(1));
    EXPECT_EQ(events.load(), 2);
    stop = true;
    EXPECT_EQ(DisableBoardInterrupts(), 0);
    monitor.join();
}

} // namespace

namespace {

// The simulator DLL's mode: the board follows the host clock and periodic
// interrupts come by themselves (here every tenth of a second).
TEST(RealTimeSimulation, BoardShowsTheCurrentUtcTimeAndInterruptsComeByThemselves)
{
    tcr7750::sim::SimulatedWinDriver sim;
    sim.start_real_time();
    ASSERT_EQ(OpenBoard(), 0);

    SYSTEMTIME t{};
    uint16_t day = 0, status = 0;
    uint32_t micros = 0;
    ASSERT_EQ(GetBoardDateTime(&t, &day, &micros, &status), 0);
    EXPECT_EQ(status & (ST_FRAME_OK | 0x0002), ST_FRAME_OK);
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    EXPECT_EQ(t.wYear, utc.tm_year + 1900);
    EXPECT_EQ(day, utc.tm_yday + 1);

    ASSERT_EQ(EnablePeriodicInterrupt(1), 0);
    EXPECT_EQ(WaitForPeriodicInterrupt(), 0);
    EXPECT_EQ(WaitForPeriodicInterrupt(), 0);
    EXPECT_GE(sim.interrupts_serviced(), 2u);
    EXPECT_EQ(DisableBoardInterrupts(), 0);
}

} // namespace

namespace {

TEST(SimulatedDriverLifetime, DestroyingTheDriverEndsABlockedWaitAsDisarmed)
{
    int32_t result = -2;
    std::thread waiter;
    {
        tcr7750::sim::SimulatedWinDriver sim;
        ASSERT_EQ(OpenBoard(), 0);
        ASSERT_EQ(EnablePeriodicInterrupt(10), 0);
        waiter = std::thread([&] { result = WaitForPeriodicInterrupt(); });
        ASSERT_TRUE(sim.wait_for_blocked_waiters(1));
    }
    waiter.join();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(WaitForPeriodicInterrupt(), -1); // no driver any more
}

} // namespace
