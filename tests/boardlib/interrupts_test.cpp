// SPDX-License-Identifier: MIT
// Arming, servicing, waiting for and disarming the board's interrupts, in
// one thread: an interrupt serviced before a wait is still delivered to it.
#include "library_fixture.h"

namespace {

using namespace std::chrono_literals;

class InterruptTest : public LibraryTest {
protected:
    void expect_arming_refused()
    {
        auto boxes = sim.message_boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, " Failing enabling interrupt");
        EXPECT_EQ(boxes[0].caption, "Error");
    }

    const std::vector<Expected> kStampReads = {read_of(REG_RISE_SECONDS, 4), read_of(REG_RISE_MICROSECONDS, 4),
                                               read_of(REG_FALL_SECONDS, 4), read_of(REG_FALL_MICROSECONDS, 4)};
};

TEST_F(InterruptTest, TimestampArmingThenOneControlWriteWithTheEdgeChosen)
{
    open();
    ASSERT_EQ(SetIrigMode(1), 0);
    sim.clear_logs();
    EXPECT_EQ(EnableTimestampInterrupt(0), 0);
    EXPECT_EQ(codes(), (Codes{IOCTL_WD_INT_ENABLE, IOCTL_WD_TRANSFER}));
    expect_accesses({write_of(REG_CONTROL, CTL_MODE_AFNOR | CTL_TIMESTAMP_ENABLE)});

    sim.clear_logs();
    EXPECT_EQ(EnableTimestampInterrupt(5), 0);
    expect_accesses({write_of(REG_CONTROL, CTL_MODE_AFNOR | CTL_TIMESTAMP_ENABLE | CTL_FALLING_EDGE)});

    sim.clear_logs();
    EXPECT_EQ(EnableTimestampInterrupt(0), 0); // back to the rising edge
    expect_accesses({write_of(REG_CONTROL, CTL_MODE_AFNOR | CTL_TIMESTAMP_ENABLE)});
    EXPECT_TRUE(sim.message_boxes().empty());
}

TEST_F(InterruptTest, PeriodicArmingWritesThePeriodThenTheAcknowledgedControl)
{
    open();
    EXPECT_EQ(EnablePeriodicInterrupt(0x1000A), 0); // the low 16 bits are the period
    EXPECT_EQ(codes(), (Codes{IOCTL_WD_INT_ENABLE, IOCTL_WD_MULTI_TRANSFER}));
    expect_accesses({write_of(REG_PERIOD, 10), write_of(REG_CONTROL, CTL_PERIODIC_ENABLE | CTL_PERIODIC_ACK)});
}

TEST_F(InterruptTest, PeriodicArmingOverATimestampArmingKeepsBothEnables)
{
    open();
    ASSERT_EQ(EnableTimestampInterrupt(0), 0);
    sim.clear_logs();
    EXPECT_EQ(EnablePeriodicInterrupt(10), 0);
    expect_accesses({write_of(REG_PERIOD, 10),
                     write_of(REG_CONTROL, CTL_PERIODIC_ENABLE | CTL_TIMESTAMP_ENABLE | CTL_PERIODIC_ACK)});
}

TEST_F(InterruptTest, RefusedTimestampArmingLeavesShadowAndBoardAlone)
{
    open();
    sim.set_failures({.refuseArming = true});
    EXPECT_EQ(EnableTimestampInterrupt(1), -1);
    expect_arming_refused();
    EXPECT_EQ(codes(), Codes{IOCTL_WD_INT_ENABLE});
    expect_accesses({});
    sim.set_failures({});
    ASSERT_EQ(SetIrigMode(0), 0);
    expect_accesses({write_of(REG_CONTROL, 0)});
}

TEST_F(InterruptTest, RefusedPeriodicArmingKeepsTheEnableInTheShadowOnly)
{
    open();
    sim.set_failures({.refuseArming = true});
    EXPECT_EQ(EnablePeriodicInterrupt(10), -1);
    expect_arming_refused();
    expect_accesses({});
    sim.set_failures({});
    ASSERT_EQ(SetIrigMode(0), 0);
    expect_accesses({write_of(REG_CONTROL, CTL_PERIODIC_ENABLE)});
}

TEST_F(InterruptTest, TimestampInterruptCopiesTheFourStampsBackToTheWaiter)
{
    open();
    ASSERT_EQ(EnableTimestampInterrupt(0), 0);
    sim.set_datetime(datetime(2026, 12, 8, 10, 0, 1, 123456));
    sim.clear_logs();
    sim.edge(TCR7750_EDGE_RISING);
    EXPECT_EQ(sim.interrupts_serviced(), 1u);
    expect_accesses(kStampReads); // serviced in the driver, at once
    EXPECT_TRUE(codes().empty());

    EdgeStamp rising{}, falling{-1, -1};
    EXPECT_EQ(WaitForTimestampInterrupt(&rising, &falling), 0);
    EXPECT_EQ(rising.Seconds, 36001);
    EXPECT_EQ(rising.Microseconds, 123456);
    EXPECT_EQ(falling.Seconds, 0); // nothing captured on that edge yet
    EXPECT_EQ(falling.Microseconds, 0);
    EXPECT_EQ(codes(), Codes{IOCTL_WD_INT_WAIT});

    ASSERT_EQ(EnableTimestampInterrupt(1), 0);
    sim.set_datetime(datetime(2026, 12, 8, 10, 0, 2, 654321));
    sim.edge(TCR7750_EDGE_FALLING);
    EXPECT_EQ(WaitForTimestampInterrupt(&rising, &falling), 0);
    EXPECT_EQ(falling.Seconds, 36002);
    EXPECT_EQ(falling.Microseconds, 654321);
    EXPECT_EQ(rising.Seconds, 36001);
}

TEST_F(InterruptTest, WaitsUseAHandleOfTheirOwnForOneCall)
{
    open();
    ASSERT_EQ(EnableTimestampInterrupt(1), 0);
    auto connectionHandle = sim.requests().back().device;
    size_t handles = sim.open_handles();
    sim.edge(TCR7750_EDGE_FALLING);
    sim.clear_logs();
    EXPECT_EQ(WaitForTimestampInterrupt(nullptr, nullptr), 0);
    auto requests = sim.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_NE(requests[0].device, connectionHandle);
    EXPECT_EQ(sim.open_handles(), handles);
}

TEST_F(InterruptTest, PeriodicServiceWritesTheControlWordCapturedAtArming)
{
    open();
    ASSERT_EQ(EnablePeriodicInterrupt(10), 0);
    ASSERT_EQ(SetIrigMode(2), 0);
    sim.clear_logs();
    sim.advance(1s);
    EXPECT_EQ(sim.interrupts_serviced(), 1u);
    // The decoding chosen after arming is lost at each interrupt.
    expect_accesses({write_of(REG_CONTROL, CTL_PERIODIC_ENABLE | CTL_PERIODIC_ACK)});
    EXPECT_EQ(sim.control_register(), CTL_PERIODIC_ENABLE);
    EXPECT_EQ(WaitForPeriodicInterrupt(), 0);

    sim.advance(3s);
    EXPECT_EQ(sim.interrupts_serviced(), 4u);
    EXPECT_EQ(WaitForPeriodicInterrupt(), 0); // the three since the last wait, at once
}

TEST_F(InterruptTest, TimestampWaitDuringPeriodicArmingSeesTheAcknowledgeValue)
{
    open();
    ASSERT_EQ(SetIrigMode(1), 0);
    ASSERT_EQ(EnablePeriodicInterrupt(5), 0);
    sim.advance(500ms);
    EdgeStamp rising{}, falling{7, 7};
    EXPECT_EQ(WaitForTimestampInterrupt(&rising, &falling), 0);
    EXPECT_EQ(rising.Seconds, CTL_MODE_AFNOR | CTL_PERIODIC_ENABLE | CTL_PERIODIC_ACK);
    EXPECT_EQ(rising.Microseconds, 0);
    EXPECT_EQ(falling.Seconds, 0);
    EXPECT_EQ(falling.Microseconds, 0);
}

TEST_F(InterruptTest, DisableStrobesOnceReadsTheStampsAndDisarms)
{
    open();
    ASSERT_EQ(SetIrigMode(2), 0);
    ASSERT_EQ(EnableTimestampInterrupt(1), 0);
    ASSERT_EQ(EnablePeriodicInterrupt(10), 0);
    sim.clear_logs();
    EXPECT_EQ(DisableBoardInterrupts(), 0);
    EXPECT_EQ(codes(), (Codes{IOCTL_WD_MULTI_TRANSFER, IOCTL_WD_INT_DISABLE}));
    std::vector<Expected> list = {write_of(REG_CONTROL, CTL_MODE_TD | CTL_FALLING_EDGE | CTL_DISABLE_STROBE)};
    list.insert(list.end(), kStampReads.begin(), kStampReads.end());
    expect_accesses(list);

    sim.advance(2s);
    EXPECT_EQ(sim.interrupts_serviced(), 0u);
    EXPECT_EQ(WaitForPeriodicInterrupt(), 1); // disarmed: at once
    sim.clear_logs();
    ASSERT_EQ(SetIrigMode(2), 0); // edge and decoding kept, strobe not
    expect_accesses({write_of(REG_CONTROL, CTL_MODE_TD | CTL_FALLING_EDGE)});
}

TEST_F(InterruptTest, WaitOnNothingArmedEndsAtOnce)
{
    EXPECT_EQ(WaitForPeriodicInterrupt(), 1);
    EdgeStamp rising{5, 5};
    EXPECT_EQ(WaitForTimestampInterrupt(&rising, nullptr), 1);
    EXPECT_EQ(rising.Seconds, 5);
}

TEST_F(InterruptTest, WaitNullNullAfterDisarmReturnsOne)
{
    open();
    ASSERT_EQ(EnableTimestampInterrupt(0), 0);
    ASSERT_EQ(DisableBoardInterrupts(), 0);
    EXPECT_EQ(WaitForTimestampInterrupt(nullptr, nullptr), 1);
}

// A wait that cannot reach the driver reports no interrupt: its stamps
// would be whatever an earlier interrupt left.
TEST_F(InterruptTest, WaitWithoutAHandleOfItsOwnRefusesInsteadOfReportingStaleData)
{
    open();
    ASSERT_EQ(EnableTimestampInterrupt(0), 0);
    sim.edge(TCR7750_EDGE_RISING);
    EdgeStamp rising{};
    ASSERT_EQ(WaitForTimestampInterrupt(&rising, nullptr), 0);

    sim.set_failures({.noDevice = true});
    sim.clear_logs();
    EdgeStamp stale{-1, -1};
    EXPECT_EQ(WaitForTimestampInterrupt(&stale, nullptr), -1);
    EXPECT_EQ(WaitForPeriodicInterrupt(), -1);
    EXPECT_EQ(stale.Seconds, -1);
    EXPECT_TRUE(codes().empty());

    sim.set_failures({.failingRequests = {IOCTL_WD_INT_WAIT}});
    EXPECT_EQ(WaitForTimestampInterrupt(&stale, nullptr), -1);
    EXPECT_EQ(stale.Seconds, -1);
}

TEST_F(InterruptTest, ArmingOutlivesCloseBoard)
{
    open();
    ASSERT_EQ(EnablePeriodicInterrupt(10), 0);
    ASSERT_EQ(CloseBoard(), 0);
    sim.advance(1s);
    EXPECT_EQ(WaitForPeriodicInterrupt(), 0);
    EXPECT_EQ(DisableBoardInterrupts(), -1); // needs a connection
    sim.advance(1s);
    EXPECT_EQ(sim.interrupts_serviced(), 2u);
}

TEST_F(InterruptTest, AFailedDisableRequestIsReportedButStillDisarms)
{
    open();
    ASSERT_EQ(EnablePeriodicInterrupt(10), 0);
    sim.set_failures({.failingRequests = {IOCTL_WD_MULTI_TRANSFER}});
    EXPECT_EQ(DisableBoardInterrupts(), -1);
    EXPECT_EQ(WaitForPeriodicInterrupt(), 1);
}

} // namespace
