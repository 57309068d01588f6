// SPDX-License-Identifier: GPL-2.0-only
// The data path: interrupts, the time record of read(), poll, the latched
// time stamp, signals and several readers.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <poll.h>
#include <thread>
#include <unistd.h>

#include "guest_support.h"
#include "board_model.h"
#include "tcr7750_regs.h"

using namespace guest;
using namespace std::chrono_literals;

namespace {

constexpr int readable = POLLIN | POLLRDNORM;
constexpr uint64_t tenth_ns = 100'000'000;

// A blocking read() on its own thread.
class BlockedReader {
public:
    explicit BlockedReader(const Device& device) : call_([this, &device] { return device.read_record(record_); }) {}
    bool done(std::chrono::milliseconds wait = 2000ms) { return call_.done(wait); }
    long result() { return call_.result(); }
    const tcr7750_time& record() const { return record_; }
    void signal(int number) const { call_.signal(number); }
    bool sleeping_in_read() const { return guest::sleeping_in_read(call_.tid()); }

private:
    static tcr7750_time unwritten()
    {
        tcr7750_time record;
        std::memset(&record, 0xFF, sizeof record);
        return record;
    }
    tcr7750_time record_ = unwritten(); // before call_, which writes it
    BlockedCall call_;
};

class DataPathTest : public testing::Test {
protected:

    void start_periodic(uint16_t tenths)
    {
        ASSERT_EQ(device.command(TCR7750_IOC_SET_PERIOD, &tenths), 0);
    }
    void advance_tenths(uint64_t tenths) { board::command("advance " + std::to_string(tenths * tenth_ns)); }
    void enable_timestamp(uint8_t falling) { ASSERT_EQ(device.command(TCR7750_IOC_ENABLE_TS, &falling), 0); }
    tcr7750_timestamps stored()
    {
        tcr7750_timestamps ts{};
        EXPECT_EQ(device.command(TCR7750_IOC_GET_STORED_TS, &ts), 0);
        return ts;
    }

    FreshDriver fresh;
    Device device;
};

TEST_F(DataPathTest, BlockingReadReturnsTheRecordAfterTheNextPeriodicInterrupt)
{
    board::command("time 2008 2 14 10 2 3 500");
    board::command("status 0x0001");
    start_periodic(10);
    BlockedReader reader(device);
    ASSERT_TRUE(reader.sleeping_in_read());
    advance_tenths(9);
    EXPECT_FALSE(reader.done(50ms)) << "no interrupt yet";
    board::clear_log();
    advance_tenths(1);
    ASSERT_TRUE(reader.done());
    EXPECT_EQ(reader.result(), TCR7750_TIME_SIZE);

    const tcr7750_time& r = reader.record();
    EXPECT_EQ(r.status, ST_FRAME_OK) << "acknowledged before the record was read";
    EXPECT_EQ(r.sign_negative, 0);
    EXPECT_EQ(r.state_s, 0);
    EXPECT_EQ(r.hour, 10);
    EXPECT_EQ(r.minute, 2);
    EXPECT_EQ(r.second, 4);
    EXPECT_EQ(r.unused, 0) << "byte 7";
    EXPECT_EQ(r.microsecond, 500u);
    EXPECT_EQ(r.day_of_year, 45);
    EXPECT_EQ(r.year, 2008);
    EXPECT_EQ(r.month, 2);
    EXPECT_EQ(r.day, 14);
    EXPECT_EQ(r.weekday, 4) << "a Thursday";

    // The handler's acknowledge read back, then the record's reads in their order.
    std::vector<Access> expected{
        {'R', REG_STATUS, 2, ST_FRAME_OK | ST_PERIODIC_IRQ},
        {'W', REG_CONTROL, 2, CTL_PERIODIC_ENABLE | CTL_PERIODIC_ACK},
        {'R', REG_CONTROL, 2, CTL_PERIODIC_ENABLE}, // the acknowledge flushed before the end of interrupt
        {'R', REG_STATUS, 2, ST_FRAME_OK},
        {'R', REG_DAY_OF_YEAR, 2, 45},
        {'R', REG_YEAR, 2, 2008},
        {'R', REG_MONTH, 1, 2}, // the low byte only
        {'R', REG_DAY, 2, 14},
        {'R', REG_DAY_OF_WEEK, 2, 4},
        {'R', REG_HOURS, 2, 10},
        {'R', REG_MINUTES, 2, 2},
        {'R', REG_SECONDS, 2, 4},
        {'R', REG_MICROSECONDS, 4, 500},
    };
    EXPECT_EQ(board::log(), expected);
}

TEST_F(DataPathTest, NonBlockingReadReturnsAtOnceAndLeavesTheFlag)
{
    board::command("time 2009 12 31 23 59 58 123456");
    board::command("status 0x3001");
    Device nonblocking(O_NONBLOCK);
    tcr7750_time record{};
    ASSERT_EQ(nonblocking.read_record(record), TCR7750_TIME_SIZE) << "no interrupt ever came";
    EXPECT_EQ(record.year, 2009);
    EXPECT_EQ(record.day_of_year, 365);
    EXPECT_EQ(record.second, 58);
    EXPECT_EQ(record.microsecond, 123456u);
    EXPECT_EQ(record.status, 0x3001);
    EXPECT_EQ(record.sign_negative, 1);
    EXPECT_EQ(record.state_s, 1);

    start_periodic(1);
    advance_tenths(1);
    ASSERT_EQ(nonblocking.poll_events(), readable);
    ASSERT_EQ(nonblocking.read_record(record), TCR7750_TIME_SIZE);
    EXPECT_EQ(nonblocking.poll_events(), readable) << "a non-blocking read leaves the flag";
    BlockedReader reader(device);
    EXPECT_TRUE(reader.done()) << "the flag still releases a blocking read";
    EXPECT_EQ(nonblocking.poll_events(), 0);
}

TEST_F(DataPathTest, PollIsReadableFromTheInterruptUntilABlockingRead)
{
    EXPECT_EQ(device.poll_events(), 0);
    start_periodic(5);
    auto waiting = std::async(std::launch::async, [this] { return device.poll_events(5000); });
    EXPECT_EQ(waiting.wait_for(50ms), std::future_status::timeout);
    advance_tenths(5);
    EXPECT_EQ(waiting.get(), readable) << "a sleeping poll is woken; never writable";
    EXPECT_EQ(device.poll_events(), readable);
    tcr7750_time record{};
    ASSERT_EQ(device.read_record(record), TCR7750_TIME_SIZE);
    EXPECT_EQ(device.poll_events(), 0);
}

TEST_F(DataPathTest, TwoInterruptsBeforeAReadMakeOneRecord)
{
    start_periodic(1);
    advance_tenths(1);
    advance_tenths(1);
    EXPECT_EQ(board::state_number("periodic_raised"), 2u);
    tcr7750_time record{};
    ASSERT_EQ(device.read_record(record), TCR7750_TIME_SIZE);
    EXPECT_EQ(device.poll_events(), 0);
    BlockedReader second(device);
    EXPECT_FALSE(second.done(50ms)) << "the second interrupt left no record of its own";
    advance_tenths(1);
    EXPECT_TRUE(second.done());
}

TEST_F(DataPathTest, InterruptWhileARecordIsCopiedIsKeptForTheNextRead)
{
    catch_signal(SIGUSR1, false); // ends a read that nothing woke
    start_periodic(1);
    StalledPage stalled;
    BlockedCall reader([&] {
        ssize_t n = read(device.fd(), stalled.page(), TCR7750_TIME_SIZE);
        return n < 0 ? -errno : static_cast<long>(n);
    });
    ASSERT_TRUE(sleeping_in_read(reader.tid()));
    advance_tenths(1);
    bool copying = stalled.touched(); // the read woke and its copy waits for the page
    advance_tenths(1);
    stalled.release();
    if (!reader.done())
        reader.signal(SIGUSR1);
    ASSERT_TRUE(copying);
    EXPECT_EQ(reader.result(), TCR7750_TIME_SIZE);
    EXPECT_EQ(device.poll_events(), readable) << "the interrupt during the copy is not lost";
    BlockedReader next(device);
    EXPECT_TRUE(next.done()) << "the next read takes it at once";
    advance_tenths(1); // wakes it, had it slept
}

TEST_F(DataPathTest, AFailedCopyGivesBackNoInterruptAnotherReaderTook)
{
    start_periodic(1);
    advance_tenths(1);
    StalledPage stalled;
    BlockedCall failing([&] {
        ssize_t n = read(device.fd(), stalled.page(), TCR7750_TIME_SIZE);
        return n < 0 ? -errno : static_cast<long>(n);
    });
    ASSERT_TRUE(stalled.touched()); // the read's copy waits for its page
    advance_tenths(1);
    Device other;
    tcr7750_time record{};
    ASSERT_EQ(other.read_record(record), TCR7750_TIME_SIZE) << "takes both interrupts";
    stalled.unmap();
    EXPECT_EQ(failing.result(), -EFAULT);
    EXPECT_EQ(device.poll_events(), 0) << "no interrupt is left for the next read";
}

TEST_F(DataPathTest, TimestampInterruptLatchesAllFourWords)
{
    enable_timestamp(1);
    board::command("time 2008 1 1 1 0 0 250");
    board::command("edge fall");
    EXPECT_EQ(device.poll_events(), readable);
    tcr7750_timestamps ts = stored();
    EXPECT_EQ(ts.rise_seconds, 0u);
    EXPECT_EQ(ts.fall_seconds, 3600u);
    EXPECT_EQ(ts.fall_microseconds, 250u);

    enable_timestamp(0);
    board::command("time 2008 1 1 2 0 1 750");
    board::clear_log();
    board::command("edge rise");
    ts = stored();
    EXPECT_EQ(ts.rise_seconds, 7201u);
    EXPECT_EQ(ts.rise_microseconds, 750u);
    EXPECT_EQ(ts.fall_seconds, 3600u);
    EXPECT_EQ(ts.fall_microseconds, 250u);
    std::vector<Access> service{{'R', REG_STATUS, 2, ST_RISE_CAPTURED},
                                {'R', REG_RISE_SECONDS, 4, 7201},
                                {'R', REG_RISE_MICROSECONDS, 4, 750},
                                {'R', REG_FALL_SECONDS, 4, 3600},
                                {'R', REG_FALL_MICROSECONDS, 4, 250}};
    EXPECT_EQ(board::log(), service) << "no control write acknowledges a time stamp";
}

TEST_F(DataPathTest, PeriodicInterruptLeavesTheStoredTimestamp)
{
    enable_timestamp(0);
    board::command("time 2008 1 1 0 0 5 5");
    board::command("edge rise");
    ASSERT_EQ(device.command(TCR7750_IOC_DISABLE), 0);
    tcr7750_timestamps before = stored();
    board::clear_log();
    // Periodic and time-stamp bits at once: served as periodic only.
    board::command("irq 0x000A");
    std::vector<Access> service{
        {'R', REG_STATUS, 2, 0x000A}, {'W', REG_CONTROL, 2, CTL_PERIODIC_ACK}, {'R', REG_CONTROL, 2, 0}};
    EXPECT_EQ(board::log(), service);
    tcr7750_timestamps after = stored();
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
    EXPECT_EQ(device.poll_events(), readable);
}

TEST_F(DataPathTest, InterruptOfAnotherDeviceIsNotHandled)
{
    int line = board::irq();
    // A threaded handler's result (PREEMPT_RT threads them all) is counted at
    // the line's next interrupt, so each count is read one interrupt later.
    board::command("irq 0x0008"); // the line's earlier interrupts are all counted now
    tcr7750_time record;
    ASSERT_EQ(device.read_record(record), static_cast<long>(sizeof record));
    unsigned long before = unhandled_count(line);
    // Frame good, nothing pending; all ones, as a read that no board answers.
    for (uint32_t status : {0x0001u, 0xFFFFu}) {
        board::clear_log();
        board::command("irq " + std::to_string(status));
        std::vector<Access> service{{'R', REG_STATUS, 2, status}};
        EXPECT_EQ(board::log(), service) << "nothing but the status is touched: " << status;
        EXPECT_EQ(device.poll_events(), 0) << status;
    }
    board::command("irq 0x0008");
    EXPECT_EQ(device.poll_events(), readable);
    EXPECT_EQ(unhandled_count(line), before + 2) << "the kernel counted both unhandled";

    board::command("irq 0x0008");
    EXPECT_EQ(unhandled_count(line), before + 2) << "the board's own interrupts are handled";
}

TEST_F(DataPathTest, SignalEndsABlockedRead)
{
    catch_signal(SIGUSR1, false);
    BlockedReader reader(device);
    ASSERT_TRUE(reader.sleeping_in_read());
    reader.signal(SIGUSR1);
    ASSERT_TRUE(reader.done());
    EXPECT_EQ(reader.result(), -EINTR);
}

TEST_F(DataPathTest, RestartingSignalHandlerGoesBackToSleep)
{
    catch_signal(SIGUSR1, true);
    start_periodic(1);
    BlockedReader reader(device);
    ASSERT_TRUE(reader.sleeping_in_read());
    int caught = signals_caught();
    reader.signal(SIGUSR1);
    for (int i = 0; i < 2000 && signals_caught() == caught; i++)
        std::this_thread::sleep_for(1ms);
    ASSERT_NE(signals_caught(), caught);
    EXPECT_FALSE(reader.done(50ms)) << "the read was restarted";
    advance_tenths(1);
    ASSERT_TRUE(reader.done());
    EXPECT_EQ(reader.result(), TCR7750_TIME_SIZE);
}

TEST(DataPathWithoutInterruptTest, BlockingReadWaitsForASignal)
{
    FreshDriver fresh("irq=-1");
    Device unserved;
    uint16_t period = 1;
    ASSERT_EQ(unserved.command(TCR7750_IOC_SET_PERIOD, &period), 0);
    board::command("advance " + std::to_string(tenth_ns));
    EXPECT_EQ(board::state_number("periodic_raised"), 1u);
    EXPECT_EQ(unserved.poll_events(), 0);
    catch_signal(SIGUSR1, false);
    BlockedReader reader(unserved);
    ASSERT_TRUE(reader.sleeping_in_read());
    EXPECT_FALSE(reader.done(50ms));
    reader.signal(SIGUSR1);
    ASSERT_TRUE(reader.done());
    EXPECT_EQ(reader.result(), -EINTR);
}

TEST_F(DataPathTest, TwoReadersEachGetAWholeRecord)
{
    board::command("time 2020 6 30 12 34 56 0");
    start_periodic(1);
    Device other;
    BlockedReader first(device), second(other);
    ASSERT_TRUE(first.sleeping_in_read());
    ASSERT_TRUE(second.sleeping_in_read());
    advance_tenths(1);
    // One interrupt wakes both; a reader that finds the record taken sleeps on.
    for (int i = 0; i < 3 && !(first.done(200ms) && second.done(200ms)); i++)
        advance_tenths(1);
    ASSERT_TRUE(first.done());
    ASSERT_TRUE(second.done());
    EXPECT_EQ(first.result(), TCR7750_TIME_SIZE);
    EXPECT_EQ(second.result(), TCR7750_TIME_SIZE);
    for (const tcr7750_time* r : {&first.record(), &second.record()}) {
        EXPECT_EQ(r->year, 2020);
        EXPECT_EQ(r->month, 6);
        EXPECT_EQ(r->day, 30);
        EXPECT_EQ(r->hour, 12);
        EXPECT_EQ(r->unused, 0);
    }
}

TEST_F(DataPathTest, RealTimeBoardInterruptsOnItsOwn)
{
    board::command("realtime 1");
    start_periodic(1);
    tcr7750_time first{}, second{};
    ASSERT_EQ(device.read_record(first), TCR7750_TIME_SIZE);
    ASSERT_EQ(device.read_record(second), TCR7750_TIME_SIZE);
    board::command("realtime 0");
    EXPECT_GE(board::state_number("periodic_raised"), 2u);
    auto microseconds = [](const tcr7750_time& r) { return r.second * 1'000'000ull + r.microsecond; };
    EXPECT_GT(microseconds(second), microseconds(first)) << "the board's time runs";
}

TEST_F(DataPathTest, ReadIntoLessThanARecordIsRefused)
{
    Device nonblocking(O_NONBLOCK);
    char small[19];
    std::memset(small, 0x5A, sizeof small);
    EXPECT_EQ(read(nonblocking.fd(), small, sizeof small), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(small[0], 0x5A);
}

} // namespace
