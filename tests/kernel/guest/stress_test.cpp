// SPDX-License-Identifier: GPL-2.0-only
// Sixteen blocking readers, four pollers and two command threads for 60 s on
// the board in real time at period 1 (an interrupt every tenth of a second),
// with time-stamp edges: every record sane and each reader's times in order,
// stored time stamps never torn, and after the final disable no enable bit
// on the board.  Prints its figures, the longest wait of a reader among them.
//
// No reader waits more than two periods: one interrupt wakes every sleeping
// reader, and each takes a record however many share the device.  The
// emulated guest stops whenever the host has its cores busy, so the longest
// stall of a 10 ms sleeper is measured beside the readers and allowed on top.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <set>
#include <thread>
#include <tuple>
#include <vector>

#include "guest_support.h"
#include "tcr7750_regs.h"

using namespace guest;
using namespace std::chrono_literals;

namespace {

constexpr int readers = 16, pollers = 4;
constexpr auto duration = 60s;
constexpr uint64_t period_us = 100'000;

// The board's time of a record, in microseconds within its year.
uint64_t board_us(const tcr7750_time& r)
{
    return ((((r.day_of_year * 24ull + r.hour) * 60 + r.minute) * 60 + r.second) * 1'000'000) + r.microsecond;
}

bool sane(const tcr7750_time& r)
{
    return r.unused == 0 && r.sign_negative == ((r.status & ST_SIGN_NEGATIVE) != 0) &&
           r.state_s == ((r.status & ST_STATE_S) != 0) && r.hour < 24 && r.minute < 60 && r.second < 60 &&
           r.microsecond < 1'000'000 && r.day_of_year >= 1 && r.day_of_year <= 366 && r.year == 2024 &&
           r.month >= 1 && r.month <= 12 && r.day >= 1 && r.day <= 31 && r.weekday <= 6;
}

// The registers are read one after the other from the running board, the
// microseconds last: a record read across a carry shows the field that
// carried before it did, the fields read later after.  Such a record is one
// unit of that field (a second, or a minute when the seconds read 0) older
// than the time it was read at, with microseconds just past zero.
bool read_across_a_carry(const tcr7750_time& later, const tcr7750_time& earlier)
{
    uint64_t unit = later.second == 0 ? 60'000'000 : 1'000'000;
    return later.microsecond < 2 * period_us && board_us(later) + unit >= board_us(earlier);
}

using Stamp = std::tuple<uint32_t, uint32_t, uint32_t, uint32_t>;
Stamp stamp(const tcr7750_timestamps& ts)
{
    return {ts.rise_seconds, ts.rise_microseconds, ts.fall_seconds, ts.fall_microseconds};
}

struct ReaderFigures {
    unsigned long records = 0, insane = 0, out_of_order = 0, across_carry = 0, long_waits = 0;
    uint64_t longest_wait_us = 0;
};

// Checks one reader's records as they come.
void take(ReaderFigures& f, const tcr7750_time& record, std::optional<tcr7750_time>& previous)
{
    f.records++;
    if (!sane(record))
        f.insane++;
    if (previous && board_us(record) < board_us(*previous)) {
        if (read_across_a_carry(record, *previous))
            f.across_carry++;
        else
            f.out_of_order++;
    }
    previous = record;
}

// A thread that ends its blocking call on a signal once told to stop.
class Worker {
public:
    template <class Body>
    explicit Worker(Body body) : thread_([this, body] { body(stop_); done_ = true; }) {}
    void stop()
    {
        stop_ = true;
        pthread_t handle = thread_.native_handle();
        while (!done_) {
            pthread_kill(handle, SIGUSR1);
            std::this_thread::sleep_for(10ms);
        }
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false}, done_{false};
    std::thread thread_;
};

TEST(ReliabilityStress, ReadersPollersAndCommandsForAMinuteInRealTime)
{
    fresh_driver();
    catch_signal(SIGUSR1, false);
    board::command("time 2024 6 15 10 20 30 0"); // no day or year ends within the run
    board::command("status 0x3001");             // sign and state bits set: both flags show
    board::command("realtime 1");
    Device control;
    uint16_t period = 1;
    ASSERT_EQ(control.command(TCR7750_IOC_SET_PERIOD, &period), 0);

    std::vector<ReaderFigures> reader_figures(readers), poller_figures(pollers);
    std::vector<std::unique_ptr<Worker>> workers;
    for (int i = 0; i < readers; i++)
        workers.push_back(std::make_unique<Worker>([&f = reader_figures[i]](const std::atomic<bool>& stop) {
            Device device;
            std::optional<tcr7750_time> previous;
            while (!stop) {
                tcr7750_time record;
                uint64_t called = monotonic_ns();
                if (device.read_record(record) != TCR7750_TIME_SIZE)
                    continue; // the signal that ends the run
                uint64_t wait_us = (monotonic_ns() - called) / 1000;
                f.longest_wait_us = std::max(f.longest_wait_us, wait_us);
                if (wait_us > 2 * period_us)
                    f.long_waits++;
                take(f, record, previous);
            }
        }));
    std::atomic<unsigned long> readiness{0}, foreign_events{0};
    for (int i = 0; i < pollers; i++)
        workers.push_back(std::make_unique<Worker>([&, &f = poller_figures[i]](const std::atomic<bool>& stop) {
            Device device;
            std::optional<tcr7750_time> previous;
            while (!stop) {
                int events = device.poll_events(200);
                if (events < 0)
                    continue; // the signal that ends the run
                if (events & ~(POLLIN | POLLRDNORM))
                    foreign_events++;
                tcr7750_time record;
                if (events & POLLIN && (readiness++, device.read_record(record) == TCR7750_TIME_SIZE))
                    take(f, record, previous);
            }
        }));

    // Command thread 1: time-stamp edges, alternately rising and falling;
    // after each, the live time-stamp registers are what a latch can hold.
    std::mutex stamps_lock;
    std::set<Stamp> latched{Stamp{}};
    std::vector<Stamp> copies;
    std::atomic<unsigned long> commands{0}, edges{0};
    workers.push_back(std::make_unique<Worker>([&](const std::atomic<bool>& stop) {
        Device device;
        for (uint8_t falling = 0; !stop; falling ^= 1) {
            device.command(TCR7750_IOC_ENABLE_TS, &falling);
            board::command(falling ? "edge fall" : "edge rise");
            tcr7750_timestamps live{};
            device.command(TCR7750_IOC_GET_TS, &live);
            commands += 2;
            edges++;
            std::lock_guard hold(stamps_lock);
            latched.insert(stamp(live));
        }
    }));
    // Command thread 2: the stored time stamp and the other readouts, and a
    // control write now and then beside the handler's acknowledge.
    workers.push_back(std::make_unique<Worker>([&](const std::atomic<bool>& stop) {
        Device device;
        unsigned char answer[TCR7750_WINDOW_SIZE];
        for (unsigned i = 0; !stop; i++) {
            tcr7750_timestamps stored{};
            device.command(TCR7750_IOC_GET_STORED_TS, &stored);
            {
                std::lock_guard hold(stamps_lock);
                copies.push_back(stamp(stored));
            }
            uint8_t standard = TCR7750_IRIG_MODE_STANDARD;
            const unsigned long other[] = {TCR7750_IOC_GET_STATUS, TCR7750_IOC_GET_VERSION, TCR7750_IOC_DUMP,
                                           TCR7750_IOC_SET_IRIG_MODE};
            unsigned long number = other[i % 4];
            device.command(number, number == TCR7750_IOC_SET_IRIG_MODE ? &standard : answer);
            commands += 2;
            std::this_thread::sleep_for(2ms);
        }
    }));

    uint64_t raises_before = board::state_number("raises");
    // The guest's own stalls: how late a 10 ms sleep ends, at worst.
    uint64_t longest_stall_us = 0;
    for (auto end = std::chrono::steady_clock::now() + duration; std::chrono::steady_clock::now() < end;) {
        uint64_t before = monotonic_ns();
        std::this_thread::sleep_for(10ms);
        longest_stall_us = std::max(longest_stall_us, (monotonic_ns() - before) / 1000 - 10'000);
    }
    // The final disable, while the readers still wait and the board still
    // interrupts: command threads first, so that nothing enables again.
    workers[readers + pollers]->stop();
    workers[readers + pollers + 1]->stop();
    ASSERT_EQ(control.command(TCR7750_IOC_DISABLE), 0);
    uint64_t control_after = board::state_number("control");
    uint64_t raises = board::state_number("raises") - raises_before;
    for (int i = 0; i < readers + pollers; i++)
        workers[i]->stop();
    board::command("realtime 0");

    ReaderFigures all;
    unsigned long fewest = ~0ul;
    for (const ReaderFigures& f : reader_figures) {
        fewest = std::min(fewest, f.records);
        all.longest_wait_us = std::max(all.longest_wait_us, f.longest_wait_us);
    }
    for (const auto* group : {&reader_figures, &poller_figures})
        for (const ReaderFigures& f : *group) {
            all.records += f.records;
            all.insane += f.insane;
            all.out_of_order += f.out_of_order;
            all.across_carry += f.across_carry;
            all.long_waits += f.long_waits;
        }
    unsigned long poller_records = 0;
    for (const ReaderFigures& f : poller_figures)
        poller_records += f.records;
    unsigned long torn = 0;
    for (const Stamp& copy : copies)
        torn += latched.count(copy) == 0;

    std::printf("stress, %lld s at period 1 (%llu board interrupts): %d readers: %lu records, fewest %lu for one "
                "reader, longest wait %.0f ms (%.1f periods), %lu waits over two periods (%.2f%%), longest stall of the "
                "guest %.0f ms; %d pollers: %lu readiness, "
                "%lu records, %lu foreign events; records insane %lu, out of order %lu (read across a carry %lu); "
                "2 command threads: %lu commands, %lu edges, %zu stored copies, torn %lu; control after the final "
                "disable 0x%04llx\n",
                static_cast<long long>(duration.count()), static_cast<unsigned long long>(raises), readers,
                all.records - poller_records, fewest, all.longest_wait_us / 1000.0,
                static_cast<double>(all.longest_wait_us) / period_us, all.long_waits,
                100.0 * static_cast<double>(all.long_waits) / static_cast<double>(std::max(1ul, all.records - poller_records)),
                longest_stall_us / 1000.0, pollers,
                readiness.load(), poller_records, foreign_events.load(), all.insane, all.out_of_order,
                all.across_carry, commands.load(), edges.load(), copies.size(), torn,
                static_cast<unsigned long long>(control_after));
    EXPECT_EQ(all.insane, 0u);
    EXPECT_EQ(all.out_of_order, 0u);
    EXPECT_EQ(torn, 0u);
    EXPECT_EQ(foreign_events.load(), 0u) << "the device is only ever readable";
    EXPECT_EQ(control_after & CTL_ENABLE_MASK, 0u) << "an enable bit survived the final disable";
    EXPECT_GT(fewest, 0u) << "a reader never got a record";
    EXPECT_LE(all.longest_wait_us, 2 * period_us + longest_stall_us) << "a reader slept through interrupts";
    fresh_driver();
}

} // namespace
