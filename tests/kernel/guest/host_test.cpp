// SPDX-License-Identifier: GPL-2.0-only
// A host kept on the board: the clock serves no time until the board's year
// is set, tcr7750year sets it from the guest's clock (as the packages' udev
// rule does), and Debian's chrony with its own configuration and the shipped
// one keeps the guest's clock in its year (in real time, on the guest's own
// clock, waiting on what chrony reports).  tcr7750stat shows the board and
// never writes to it.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <regex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "guest_support.h"

using namespace guest;
using namespace std::chrono_literals;

namespace {

constexpr int64_t ns_per_s = 1'000'000'000;

int64_t year_start_ns(int year)
{
    std::tm start{};
    start.tm_year = year - 1900;
    start.tm_mday = 1;
    return static_cast<int64_t>(timegm(&start)) * ns_per_s;
}

int year_of(int64_t ns)
{
    time_t seconds = ns / ns_per_s;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    return utc.tm_year + 1900;
}

void set_guest_clock(int64_t ns)
{
    timespec t{ns / ns_per_s, ns % ns_per_s};
    clock_settime(CLOCK_REALTIME, &t);
}

std::string first_line(const std::string& text) { return text.substr(0, text.find('\n')); }

class YearTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(access("/usr/sbin/chronyd", X_OK), 0) << "tests/kernel/run lays Debian's chrony over the guest's root";
        ASSERT_TRUE(phc.is_open());
        board::command("status 0x0001");
        // Enabled as the docs say; the clock named as the udev rule names it.
        symlink("/usr/share/tcr7750-tools/chrony/tcr7750.conf", "/etc/chrony/conf.d/tcr7750.conf");
        unlink("/dev/ptp_tcr7750"); // udev's, from an earlier load
        symlink(phc.path().c_str(), "/dev/ptp_tcr7750");
        chmod("/run/chrony", 0750); // chronyd refuses a command socket in a more open folder
    }
    void TearDown() override
    {
        unlink("/etc/chrony/conf.d/tcr7750.conf");
        unlink("/dev/ptp_tcr7750");
        set_guest_clock(started_ns + static_cast<int64_t>(monotonic_ns() - started_mono));
    }

    // The board at board_ns now, from then on in real time.
    void board_at(int64_t board_ns)
    {
        ASSERT_TRUE(board::command("realtime-offset " + std::to_string(board_ns - realtime_ns())));
    }
    std::string year_set()
    {
        std::string value;
        std::ifstream(phc.sysfs() + "/device/year_set") >> value;
        return value;
    }

    // tcr7750year as the udev rule runs it: its line.
    std::string set_year_as_udev_does()
    {
        EXPECT_EQ(year_set(), "0");
        EXPECT_EQ(phc.read_ns(), -EBUSY) << "no time before the year is set";
        Process tool({"/tools/tcr7750year"});
        EXPECT_EQ(tool.wait(), 0);
        EXPECT_EQ(year_set(), "1");
        return tool.read_rest();
    }

    // Debian's chronyd until it tracks the board (reference "IRIG", the
    // shipped refid, last offset below 10 ms); at each look the guest's clock
    // is within limit_ns of its own course from expected_ns at since_mono.
    void chrony_keeps_the_guest_within(int64_t expected_ns, uint64_t since_mono, int64_t limit_ns)
    {
        Process daemon({"/usr/sbin/chronyd", "-d", "-f", "/usr/share/chrony/chrony.conf", "-u", "root"});
        std::string tracking;
        int64_t worst = 0;
        std::smatch offset;
        for (auto deadline = std::chrono::steady_clock::now() + 40s; std::chrono::steady_clock::now() < deadline;) {
            int64_t off = realtime_ns() - (expected_ns + static_cast<int64_t>(monotonic_ns() - since_mono));
            worst = std::abs(off) > std::abs(worst) ? off : worst;
            tracking = first_line(Process({"/usr/bin/chronyc", "-c", "tracking"}).read_rest());
            if (std::regex_search(tracking, offset, std::regex("^49524947,(?:[^,]*,){4}([-0-9.e]+),")) &&
                std::abs(std::stod(offset[1])) < 0.01)
                break;
            std::this_thread::sleep_for(250ms);
        }
        daemon.interrupt();
        EXPECT_EQ(tracking.rfind("49524947,", 0), 0u) << "chrony never tracked the board: " << tracking;
        EXPECT_LT(std::abs(worst), limit_ns) << "the guest's clock went " << worst << " ns away";
    }

    FreshDriver fresh;
    Phc phc{false};
    int64_t started_ns = realtime_ns();
    uint64_t started_mono = monotonic_ns();
};

TEST_F(YearTest, BoardIn2008WithAGoodFrameLeavesTheGuestInItsYear)
{
    // The guest's day and time in 2008, a board's power-up year, ahead by
    // more than makestep's second: chrony steps.
    int year = year_of(realtime_ns());
    board_at(year_start_ns(2008) + realtime_ns() - year_start_ns(year) + 2'500'000'000);
    std::string line = set_year_as_udev_does();
    EXPECT_NE(line.find("initial year " + std::to_string(year)), std::string::npos) << line;
    chrony_keeps_the_guest_within(realtime_ns(), monotonic_ns(), 3 * ns_per_s);
    EXPECT_EQ(year_of(realtime_ns()), year);
}

TEST_F(YearTest, OnNewYearsEveTheBoardAlreadyOnDayOneGivesNextYear)
{
    // The guest at 31 December 23:59:59.5, the board 0.7 s ahead: day 1, 00:00:00.2.
    int year = year_of(realtime_ns());
    int64_t eve = year_start_ns(year + 1) - ns_per_s / 2;
    board_at(year_start_ns(2008) + 200'000'000);
    set_guest_clock(eve);
    uint64_t eve_mono = monotonic_ns();
    std::string line = set_year_as_udev_does();
    EXPECT_NE(line.find(std::to_string(year) + "-12-31 23:59:59 UTC: initial year " + std::to_string(year + 1)),
              std::string::npos) << line;
    chrony_keeps_the_guest_within(eve, eve_mono, ns_per_s);
}

// tcr7750stat's lines and status; the board never written.
void expect_status(int status, const std::vector<std::string>& lines)
{
    board::clear_log();
    Process stat({"/tools/tcr7750stat"});
    EXPECT_EQ(stat.wait(), status);
    std::string output = stat.read_rest();
    for (const std::string& line : lines)
        EXPECT_NE(output.find(line + "\n"), std::string::npos) << line << "\nin:\n" << output;
    EXPECT_TRUE(board::writes().empty()) << output;
}

TEST(StatusTest, GoodFrame)
{
    fresh_driver();
    board::command("time 2026 5 6 7 8 9 123456");
    board::command("status 0x0501");
    Phc phc; // sets the year
    expect_status(0, {"frame:        good", "error code:   0", "time quality: 5 (TFOM)", "decoding:     standard",
                      "version:      TCR7750 SIM 1.0", "interrupt:    line " + std::to_string(board::irq()),
                      "board time:   2026 day 126 07:08:09.123456 UTC", "clock:        " + phc.path(),
                      "year:         2026, set since the board appeared"});
}

TEST(StatusTest, BadFrameNoInterruptYearNotSet)
{
    fresh_driver("irq=-1");
    board::command("status 0x0030");
    expect_status(1, {"frame:        bad", "error code:   3", "interrupt:    none",
                      "board time:   2008 day 001 00:00:00.000000 UTC (bad frame: not kept)",
                      "year:         2008, not set since the board appeared: the clock serves no time"});
}

TEST(StatusTest, TdDecodingShowsNoTime)
{
    fresh_driver();
    board::command("status 0x1001");
    uint8_t mode = TCR7750_IRIG_MODE_TD;
    ASSERT_EQ(Device().command(TCR7750_IOC_SET_IRIG_MODE, &mode), 0);
    expect_status(0, {"decoding:     td",
                      "board time:   none in the TD/H0 decoding; time difference +000 00:00:00.000000, state S"});
}

} // namespace
