// SPDX-License-Identifier: GPL-2.0-only
// Figures of the board's PTP clock in the guest: the reading window of
// PTP_SYS_OFFSET_EXTENDED (system time after minus before) beside one
// register read timed the same way in the same boot, the register reads of
// one reading, and chrony keeping the guest's clock on the board for a
// minute of real time (needs chrony laid over the guest's root).
//
//   clock_bench [seconds]
//
// Every register access in the guest traps into the emulator's board
// device, so absolute times are those of software emulation; the ratio is
// the meaningful part.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "guest_support.h"

using namespace guest;
using namespace std::chrono_literals;

namespace {

struct Figures {
    double median, p99;
};

template <typename T>
Figures summarize(std::vector<T> values)
{
    std::sort(values.begin(), values.end());
    auto at = [&](double q) { return static_cast<double>(values[static_cast<size_t>(q * (values.size() - 1))]); };
    return {at(0.5), at(0.99)};
}

struct Spread {
    double mean, sd;
};

Spread spread(const std::vector<double>& values)
{
    double sum = 0, squares = 0;
    for (double v : values)
        sum += v;
    double mean = sum / values.size();
    for (double v : values)
        squares += (v - mean) * (v - mean);
    return {mean, std::sqrt(squares / values.size())};
}

void reading_window(const Phc& phc)
{
    std::vector<int64_t> windows;
    std::vector<Phc::Sample> samples;
    for (int round = 0; round < 80; round++) {
        if (phc.samples(25, samples) != 0) {
            std::fprintf(stderr, "clock_bench: the clock gives no reading\n");
            std::exit(1);
        }
        for (const Phc::Sample& s : samples)
            windows.push_back(s.after - s.before);
    }
    board::command("time-reads 2000");
    Figures window = summarize(windows);
    Figures one_read{static_cast<double>(board::state_number("read_ns_median")),
                     static_cast<double>(board::state_number("read_ns_p99"))};
    std::printf("reading window (after - before)      median %8.1f us   p99 %8.1f us   (%zu samples)\n",
                window.median / 1000, window.p99 / 1000, windows.size());
    std::printf("one 32-bit register read, same clock median %8.1f us   p99 %8.1f us   (2000 reads)\n",
                one_read.median / 1000, one_read.p99 / 1000);
    std::printf("ratio (window / one read)            median %8.2f      p99 %8.2f\n",
                window.median / one_read.median, window.p99 / one_read.p99);
}

void reads_per_reading(const Phc& phc)
{
    std::vector<Phc::Sample> samples;
    board::clear_log();
    phc.samples(1, samples);
    auto log = board::log();
    long reads = std::count_if(log.begin(), log.end(), [](const Access& a) { return a.direction == 'R'; });
    std::printf("register reads per reading           %ld (writes %zu)\n", reads, log.size() - reads);
}

// chronyd on the clock for the given time once it has taken the guest's
// clock onto the board: its own offsets (tracking log) and the offset the
// clock itself shows each second.
int chrony_minute(const Phc& phc, int seconds)
{
    const char* chronyd = "/usr/sbin/chronyd";
    if (access(chronyd, X_OK) != 0) {
        std::printf("chrony: not in this guest (lay tests/kernel/peers chrony over its root)\n");
        return 1;
    }
    chmod("/run/chrony", 0750);
    mkdir("/tmp/clock_bench", 0755);
    std::ofstream("/tmp/clock_bench/chrony.conf")
        << "refclock PHC " << phc.path() << " poll 0 dpoll -2 offset 0\n"
        << "makestep 0.001 3\nlogdir /tmp/clock_bench\nlog tracking\n";
    board::command("realtime-offset 20000000"); // the board 20 ms ahead
    Process daemon({chronyd, "-d", "-f", "/tmp/clock_bench/chrony.conf", "-u", "root"});
    for (int i = 0; i < 300; i++) { // until the guest's clock is on the board, at most 30 s
        auto offset = phc.offset_ns();
        if (offset && std::abs(*offset) < 100'000)
            break;
        std::this_thread::sleep_for(100ms);
    }
    std::ofstream("/tmp/clock_bench/tracking.log", std::ios::trunc); // from here on

    std::vector<double> measured;
    for (int i = 0; i < seconds; i++) {
        std::this_thread::sleep_for(1s);
        if (auto offset = phc.offset_ns())
            measured.push_back(static_cast<double>(*offset));
    }
    daemon.interrupt();

    // "date time name stratum freq skew offset ...": one line per clock update.
    std::vector<double> reported;
    std::ifstream log("/tmp/clock_bench/tracking.log");
    std::string line;
    while (std::getline(log, line)) {
        std::istringstream words(line);
        std::string date, time, name, stratum, frequency, skew;
        double offset;
        if (words >> date >> time >> name >> stratum >> frequency >> skew >> offset && name == "PHC0")
            reported.push_back(offset * 1e9);
    }
    if (reported.empty() || measured.empty()) {
        std::printf("chrony: no clock updates in %d s\n", seconds);
        return 1;
    }
    Spread own = spread(reported), shown = spread(measured);
    std::printf("chrony, %d s: its offset             mean %+9.1f ns  sd %8.1f ns   (%zu updates)\n", seconds,
                own.mean, own.sd, reported.size());
    std::printf("board - guest clock, each second    mean %+9.1f ns  sd %8.1f ns   (%zu readings)\n",
                shown.mean, shown.sd, measured.size());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    int seconds = argc > 1 ? std::atoi(argv[1]) : 60;

    fresh_driver();
    board::command("status 0x0001");
    board::command("realtime-offset 0");
    Phc phc;
    if (!phc.is_open()) {
        std::fprintf(stderr, "clock_bench: no PTP clock\n");
        return 1;
    }
    std::printf("board PTP clock %s (the emulator's board: every register access traps into QEMU)\n",
                phc.path().c_str());
    reading_window(phc);
    reads_per_reading(phc);
    return chrony_minute(phc, seconds);
}
