// SPDX-License-Identifier: GPL-2.0-only
// Wake-up latency in the guest: from the board's interrupt to the return of
// a blocked read() on /dev/tcr7750, beside the same measure for an eventfd
// written by another thread, in the same boot.  Prints median and 99th
// percentile of each and their ratio.
//
//   latency_bench [samples]
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "guest_support.h"

using namespace guest;

namespace {

struct Figures {
    double median_us;
    double p99_us;
};

Figures summarize(std::vector<uint64_t> ns)
{
    std::sort(ns.begin(), ns.end());
    auto at = [&](double q) { return static_cast<double>(ns[static_cast<size_t>(q * (ns.size() - 1))]) / 1000.0; };
    return {at(0.5), at(0.99)};
}

// Runs a reader thread that blocks in read_once() again and again; for each
// sample, once it sleeps, wake() wakes it and returns the time of the wake-up
// cause.  A sample is the time from that cause to the return of read().
std::vector<uint64_t> measure(int samples, const std::function<void()>& read_once,
                              const std::function<uint64_t()>& wake)
{
    std::atomic<pid_t> tid{0};
    std::atomic<uint64_t> returned_ns{0};
    std::atomic<int> reads{0};
    std::thread reader([&] {
        tid = static_cast<pid_t>(syscall(SYS_gettid));
        for (int i = 0; i < samples; i++) {
            read_once();
            returned_ns = monotonic_ns();
            reads++;
            reads.notify_one();
        }
    });
    while (tid == 0)
        std::this_thread::yield();

    std::vector<uint64_t> latencies;
    for (int i = 0; i < samples; i++) {
        if (!sleeping_in_read(tid)) {
            std::fprintf(stderr, "latency_bench: the reader never blocked\n");
            std::exit(1);
        }
        uint64_t cause_ns = wake();
        for (int seen = reads; seen <= i; seen = reads)
            reads.wait(seen); // asleep: the reader has the processors to itself
        latencies.push_back(returned_ns - cause_ns);
    }
    reader.join();
    return latencies;
}

void print(const char* what, const Figures& f, int samples)
{
    std::printf("%-40s median %8.1f us   p99 %8.1f us   (%d samples)\n", what, f.median_us, f.p99_us, samples);
}

} // namespace

int main(int argc, char** argv)
{
    int samples = argc > 1 ? std::atoi(argv[1]) : 300;

    fresh_driver();
    Device device;
    uint16_t period = 10; // periodic interrupt enabled; the board raises it on demand
    if (!device.is_open() || device.command(TCR7750_IOC_SET_PERIOD, &period) != 0) {
        std::fprintf(stderr, "latency_bench: no device\n");
        return 1;
    }
    auto board_latencies = measure(
        samples,
        [&] {
            tcr7750_time record;
            device.read_record(record);
        },
        [] {
            board::command("irq 0x0008");
            return board::state_number("last_raise_ns");
        });

    int event = eventfd(0, 0);
    auto eventfd_latencies = measure(
        samples,
        [&] {
            uint64_t count;
            if (read(event, &count, sizeof count) != sizeof count)
                std::exit(1);
        },
        [&] {
            uint64_t one = 1, now = monotonic_ns();
            if (write(event, &one, sizeof one) != sizeof one)
                std::exit(1);
            return now;
        });
    close(event);

    Figures board_figures = summarize(board_latencies);
    Figures eventfd_figures = summarize(eventfd_latencies);
    print("board interrupt -> blocked read returns", board_figures, samples);
    print("eventfd write -> blocked read returns", eventfd_figures, samples);
    std::printf("ratio (board / eventfd)                  median %8.2f      p99 %8.2f\n",
                board_figures.median_us / eventfd_figures.median_us,
                board_figures.p99_us / eventfd_figures.p99_us);
    return 0;
}
