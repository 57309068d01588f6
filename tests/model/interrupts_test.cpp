// SPDX-License-Identifier: MIT
// Periodic interrupt, time-stamp input, the interrupt line and real-time mode.
#include "model_fixture.h"

namespace {

class InterruptsTest : public ModelTest {
protected:
    InterruptsTest() { tcr7750_model_set_line_handler(&board, &InterruptsTest::on_line, this); }

    static void on_line(void* context, int asserted)
    {
        auto* self = static_cast<InterruptsTest*>(context);
        self->line_changes.push_back({self->board.elapsed_ns, asserted != 0});
        if (asserted && self->acknowledge_in_handler)
            self->write16(REG_CONTROL, CTL_PERIODIC_ENABLE | CTL_PERIODIC_ACK);
    }

    void start_periodic(unsigned tenths)
    {
        write16(REG_PERIOD, tenths);
        write16(REG_CONTROL, CTL_PERIODIC_ENABLE | CTL_PERIODIC_ACK);
    }

    bool periodic_pending() { return read16(REG_STATUS) & ST_PERIODIC_IRQ; }

    struct Change {
        uint64_t at_ns;
        bool asserted;
    };
    std::vector<Change> line_changes;
    bool acknowledge_in_handler = false;
};

TEST_F(InterruptsTest, PeriodicInterruptComesEveryPeriodAndWaitsForItsAcknowledge)
{
    start_periodic(5); // half a second
    advance(499 * kMs);
    EXPECT_FALSE(periodic_pending());
    EXPECT_FALSE(tcr7750_model_line(&board));
    advance(1 * kMs);
    EXPECT_TRUE(periodic_pending());
    EXPECT_TRUE(tcr7750_model_line(&board));

    // Pending until acknowledged, however long it waits.
    advance(2 * kSecond);
    EXPECT_TRUE(periodic_pending());
    EXPECT_EQ(board.periodic_raised, 1u);
    write16(REG_CONTROL, CTL_PERIODIC_ENABLE | CTL_PERIODIC_ACK);
    EXPECT_FALSE(periodic_pending());
    EXPECT_FALSE(tcr7750_model_line(&board));
    EXPECT_EQ(read16(REG_CONTROL), unsigned(CTL_PERIODIC_ENABLE)) << "the acknowledge is a pulse";
}

TEST_F(InterruptsTest, EachPeriodInALongAdvanceRaisesTheLineOnTime)
{
    acknowledge_in_handler = true;
    const uint64_t start = board.elapsed_ns;
    start_periodic(10);
    advance(5 * kSecond + 1);
    std::vector<uint64_t> raised;
    for (auto& change : line_changes)
        if (change.asserted)
            raised.push_back(change.at_ns - start);
    EXPECT_EQ(raised, (std::vector<uint64_t>{1 * kSecond, 2 * kSecond, 3 * kSecond, 4 * kSecond, 5 * kSecond}));
    EXPECT_EQ(board.periodic_raised, 5u);
    EXPECT_FALSE(tcr7750_model_line(&board));
}

TEST_F(InterruptsTest, PeriodZeroOrDisabledRaisesNone)
{
    start_periodic(0);
    advance(10 * kSecond);
    EXPECT_FALSE(periodic_pending());

    write16(REG_PERIOD, 10);
    write16(REG_CONTROL, 0); // not enabled
    advance(10 * kSecond);
    EXPECT_FALSE(periodic_pending());
    EXPECT_EQ(board.periodic_raised, 0u);
}

TEST_F(InterruptsTest, PeriodCountsFromItsWriteAndDisableStops)
{
    start_periodic(10);
    advance(700 * kMs);
    write16(REG_PERIOD, 10); // restarts the count
    advance(500 * kMs);
    EXPECT_FALSE(periodic_pending());
    advance(500 * kMs);
    EXPECT_TRUE(periodic_pending());

    // Clearing the enable drops the line (the pending bit stays until acknowledged) and stops the count.
    write16(REG_CONTROL, 0);
    EXPECT_FALSE(tcr7750_model_line(&board));
    write16(REG_CONTROL, CTL_PERIODIC_ACK);
    advance(5 * kSecond);
    EXPECT_FALSE(periodic_pending());
}

TEST_F(InterruptsTest, ChosenEdgeIsLatchedWithSecondsOfDay)
{
    set_time(2008, 2, 14, 1, 2, 3, 0);
    write16(REG_CONTROL, CTL_TIMESTAMP_ENABLE); // rising edge
    advance(250 * kMs);
    tcr7750_model_edge(&board, TCR7750_EDGE_FALLING);
    EXPECT_EQ(read16(REG_STATUS) & ST_TIMESTAMP_IRQ, 0u) << "falling edge ignored while rising is chosen";
    EXPECT_FALSE(tcr7750_model_line(&board));

    tcr7750_model_edge(&board, TCR7750_EDGE_RISING);
    EXPECT_TRUE(tcr7750_model_line(&board));
    EXPECT_EQ(read16(REG_STATUS) & ST_TIMESTAMP_IRQ, unsigned(ST_RISE_CAPTURED));
    EXPECT_EQ(read32(REG_RISE_SECONDS), 3723u);
    EXPECT_EQ(read32(REG_RISE_MICROSECONDS), 250000u);
    EXPECT_EQ(read32(REG_FALL_SECONDS), 0u);
    EXPECT_EQ(read32(REG_FALL_MICROSECONDS), 0u);
}

TEST_F(InterruptsTest, FallingEdgeChoiceLatchesFallRegistersAndKeepsTheRiseCapture)
{
    set_time(2008, 2, 14, 0, 0, 10, 0);
    write16(REG_CONTROL, CTL_TIMESTAMP_ENABLE);
    tcr7750_model_edge(&board, TCR7750_EDGE_RISING);
    read32(REG_RISE_SECONDS);

    write16(REG_CONTROL, CTL_TIMESTAMP_ENABLE | CTL_FALLING_EDGE);
    advance(1 * kSecond + 42 * 1000);
    tcr7750_model_edge(&board, TCR7750_EDGE_RISING);
    EXPECT_EQ(read16(REG_STATUS) & ST_TIMESTAMP_IRQ, 0u);
    tcr7750_model_edge(&board, TCR7750_EDGE_FALLING);
    EXPECT_EQ(read16(REG_STATUS) & ST_TIMESTAMP_IRQ, unsigned(ST_FALL_CAPTURED));
    EXPECT_EQ(read32(REG_FALL_SECONDS), 11u);
    EXPECT_EQ(read32(REG_FALL_MICROSECONDS), 42u);
    EXPECT_EQ(read32(REG_RISE_SECONDS), 10u) << "the last rising capture is kept";
}

TEST_F(InterruptsTest, EdgesAreIgnoredWhileTheTimestampInterruptIsDisabled)
{
    write16(REG_CONTROL, CTL_FALLING_EDGE);
    advance(3 * kSecond);
    tcr7750_model_edge(&board, TCR7750_EDGE_FALLING);
    tcr7750_model_edge(&board, TCR7750_EDGE_RISING);
    EXPECT_EQ(read32(REG_FALL_SECONDS), 0u);
    EXPECT_EQ(read16(REG_STATUS), 0u);
}

TEST_F(InterruptsTest, ReadingTheTimestampRegistersClearsTheirPendingBits)
{
    write16(REG_CONTROL, CTL_TIMESTAMP_ENABLE);
    tcr7750_model_edge(&board, TCR7750_EDGE_RISING);
    ASSERT_TRUE(tcr7750_model_line(&board));
    read16(REG_STATUS);
    EXPECT_TRUE(tcr7750_model_line(&board)) << "status reads acknowledge nothing";
    for (unsigned reg : {REG_RISE_SECONDS, REG_RISE_MICROSECONDS, REG_FALL_SECONDS, REG_FALL_MICROSECONDS})
        read32(reg);
    EXPECT_FALSE(tcr7750_model_line(&board));
    EXPECT_EQ(read16(REG_STATUS) & ST_TIMESTAMP_IRQ, 0u);
}

TEST_F(InterruptsTest, DisableStrobeClearsEveryPendingBit)
{
    start_periodic(1);
    write16(REG_CONTROL, CTL_PERIODIC_ENABLE | CTL_TIMESTAMP_ENABLE);
    tcr7750_model_edge(&board, TCR7750_EDGE_RISING);
    advance(100 * kMs);
    ASSERT_EQ(read16(REG_STATUS) & ST_BOARD_IRQ, unsigned(ST_PERIODIC_IRQ | ST_RISE_CAPTURED));
    write16(REG_CONTROL, CTL_DISABLE_STROBE);
    EXPECT_EQ(read16(REG_STATUS) & ST_BOARD_IRQ, 0u);
    EXPECT_EQ(read16(REG_CONTROL), 0u);
    EXPECT_FALSE(tcr7750_model_line(&board));
}

TEST_F(InterruptsTest, LineFollowsPendingBitsOfEnabledInterruptsOnly)
{
    tcr7750_model_raise_pending(&board, ST_PERIODIC_IRQ);
    EXPECT_FALSE(tcr7750_model_line(&board)) << "pending but not enabled";
    write16(REG_CONTROL, CTL_PERIODIC_ENABLE);
    EXPECT_TRUE(tcr7750_model_line(&board));
    ASSERT_EQ(line_changes.size(), 1u);
    EXPECT_TRUE(line_changes[0].asserted);
    write16(REG_CONTROL, CTL_PERIODIC_ENABLE | CTL_PERIODIC_ACK);
    ASSERT_EQ(line_changes.size(), 2u);
    EXPECT_FALSE(line_changes[1].asserted);
}

TEST_F(InterruptsTest, RealTimeModeFollowsTheHostClock)
{
    static uint64_t host_ns = 5 * kSecond;
    tcr7750_model_set_clock(&board, [](void*) { return host_ns; }, nullptr);
    start_periodic(10);
    host_ns += 2500 * kMs;
    EXPECT_EQ(read16(REG_SECONDS), 2u) << "a register access catches up with the clock";
    EXPECT_EQ(read32(REG_MICROSECONDS), 500000u);
    EXPECT_TRUE(periodic_pending());
    host_ns -= kSecond; // a clock that steps back is not followed backwards
    EXPECT_EQ(read16(REG_SECONDS), 2u);
}

} // namespace
