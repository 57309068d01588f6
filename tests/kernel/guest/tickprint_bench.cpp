// SPDX-License-Identifier: GPL-2.0-only
// CPU time of tickprint at ten records a second, the board following real
// time: prints the records seen and the program's user and system time.
//
//   tickprint_bench [seconds]     (60 when absent)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "guest_support.h"

using namespace guest;

namespace {

// utime and stime of a process, in milliseconds (/proc/PID/stat fields 14, 15).
std::pair<double, double> cpu_ms(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    std::istringstream fields(text.substr(text.rfind(')') + 2)); // from field 3 on
    std::string field;
    unsigned long long user = 0, system = 0;
    for (int number = 3; fields >> field && number <= 15; number++) {
        if (number == 14)
            user = std::strtoull(field.c_str(), nullptr, 10);
        if (number == 15)
            system = std::strtoull(field.c_str(), nullptr, 10);
    }
    double ms_per_tick = 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
    return {static_cast<double>(user) * ms_per_tick, static_cast<double>(system) * ms_per_tick};
}

} // namespace

int main(int argc, char** argv)
{
    int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    fresh_driver();
    board::command("realtime 1");

    Process tick({"/tools/tickprint", "1"});
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int records = 0;
    while (std::chrono::steady_clock::now() < end)
        if (tick.read_line(200))
            records++;
    auto [user, system] = cpu_ms(tick.pid());
    int status = tick.interrupt();
    board::command("realtime 0");

    std::printf("tickprint over %d s at 10 records/s: %d records, CPU user %.0f ms, system %.0f ms, "
                "%.1f us per record; exit status %d\n",
                seconds, records, user, system, records ? (user + system) * 1000.0 / records : 0.0, status);
    return status == 0 && records > 0 ? 0 : 1;
}
