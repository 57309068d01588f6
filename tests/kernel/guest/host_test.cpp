// A host kept on the board: the clock serves no time until the board's year
// is set, tcr7750year sets it from the guest's clock (the packages' udev rule
// runs it), and Debian's chrony with its own configuration and the shipped
// one keeps the guest's clock in its year.  tcr7750stat shows the board and
// changes nothing on it.  chrony runs in real time on the guest's own clock,
// never this machine's; the tests wait on what it reports, with timeouts.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "guest_support.h"

using namespace guest;
using namespace std::chrono_literals;

namespace {

constexpr int64_t ns_per_s = 1'000'000'000;
const char* chronyd = "/usr/sbin/chronyd";
const char* chronyc = "/usr/bin/chronyc";
const char* debian_conf = "/usr/share/chrony/chrony.conf"; // what chrony's postinst puts in /etc/chrony
const char* shipped_conf = "/usr/share/tcr7750-tools/chrony/tcr7750.conf";

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

std::string read_attribute(const std::string& path)
{
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    return text;
}

class YearTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(access(chronyd, X_OK), 0) << "tests/kernel/run lays Debian's chrony over the guest's root";
        ASSERT_TRUE(phc.is_open());
        board::command("status 0x0001");
        // As an administrator enables it, and as the udev rule names the clock.
        mkdir("/etc/chrony/conf.d", 0755);
        symlink(shipped_conf, "/etc/chrony/conf.d/tcr7750.conf");
        unlink("/dev/ptp_tcr7750");
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

    // Runs tcr7750year as the udev rule does; its line.
    std::string set_year_as_udev_does()
    {
        EXPECT_EQ(read_attribute(phc.sysfs() + "/device/year_set"), "0");
        EXPECT_EQ(phc.read_ns(), -EBUSY) << "no time before the year is set";
        Process tool({"/tools/tcr7750year"});
        EXPECT_EQ(tool.wait(), 0);
        EXPECT_EQ(read_attribute(phc.sysfs() + "/device/year_set"), "1");
        return tool.read_rest();
    }

    // Debian's chronyd with the shipped configuration until it tracks the
    // board; at each look the guest's clock stays within limit_ns of where it
    // would be without chrony (expected_ns when the test began counting).
    void chrony_keeps_the_guest_within(int64_t expected_ns, uint64_t since_mono, int64_t limit_ns)
    {
        Process daemon({chronyd, "-d", "-f", debian_conf, "-u", "root"});
        std::string tracking;
        int64_t worst = 0;
        auto deadline = std::chrono::steady_clock::now() + 40s;
        while (std::chrono::steady_clock::now() < deadline) {
            int64_t off = realtime_ns() - (expected_ns + static_cast<int64_t>(monotonic_ns() - since_mono));
            worst = std::abs(off) > std::abs(worst) ? off : worst;
            // Reference ID ("IRIG", the shipped refid), name, ..., last offset (5), ...
            Process query({chronyc, "-c", "tracking"});
            tracking = query.read_rest();
            query.wait();
            std::vector<std::string> fields;
            std::istringstream in(tracking.substr(0, tracking.find('\n')));
            for (std::string field; std::getline(in, field, ',');)
                fields.push_back(field);
            if (fields.size() > 5 && fields[0] == "49524947" && std::abs(std::stod(fields[5])) < 0.01)
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
    // The guest's day and time in 2008, the year a board holds at power-up,
    // ahead by more than makestep's second: chrony steps.
    int year = year_of(realtime_ns());
    board_at(year_start_ns(2008) + realtime_ns() - year_start_ns(year) + 2'500'000'000);
    std::string line = set_year_as_udev_does();
    EXPECT_NE(line.find("initial year " + std::to_string(year)), std::string::npos) << line;
    int64_t expected = realtime_ns();
    chrony_keeps_the_guest_within(expected, monotonic_ns(), 3 * ns_per_s);
    EXPECT_EQ(year_of(realtime_ns()), year);
}

TEST_F(YearTest, OnNewYearsEveTheBoardAlreadyOnDayOneGivesNextYear)
{
    int year = year_of(realtime_ns());
    // The guest at 31 December 23:59:59.5, the board 0.7 s ahead: day 1, 00:00:00.2.
    int64_t eve = year_start_ns(year + 1) - ns_per_s / 2;
    board_at(year_start_ns(2008) + 200'000'000);
    set_guest_clock(eve);
    uint64_t eve_mono = monotonic_ns();
    std::string line = set_year_as_udev_does();
    EXPECT_NE(line.find(std::to_string(year) + "-12-31 23:59:59 UTC: initial year " + std::to_string(year + 1)),
              std::string::npos)
        << line;
    chrony_keeps_the_guest_within(eve, eve_mono, ns_per_s);
}

// tcr7750stat: what it prints and its status; the board never written.
class StatusTest : public testing::Test {
protected:
    std::string run(int expected_status)
    {
        board::clear_log();
        Process stat({"/tools/tcr7750stat"});
        EXPECT_EQ(stat.wait(), expected_status);
        std::string output = stat.read_rest();
        EXPECT_TRUE(board::writes().empty()) << output;
        return output;
    }
};

void expect_lines(const std::string& output, const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        EXPECT_NE(output.find(line + "\n"), std::string::npos) << line << "\nin:\n" << output;
}

TEST_F(StatusTest, GoodFrame)
{
    fresh_driver();
    board::command("time 2026 5 6 7 8 9 123456");
    board::command("status 0x0501");
    Phc phc; // sets the year
    expect_lines(run(0), {"frame:        good", "error code:   0", "time quality: 5 (TFOM)", "decoding:     standard",
                          "version:      TCR7750 SIM 1.0", "interrupt:    line " + std::to_string(board::irq()),
                          "board time:   2026 day 126 07:08:09.123456 UTC", "clock:        " + phc.path(),
                          "year:         2026, set since the board appeared"});
}

TEST_F(StatusTest, BadFrameNoInterruptYearNotSet)
{
    fresh_driver("irq=-1");
    board::command("status 0x0030");
    expect_lines(run(1), {"frame:        bad", "error code:   3", "interrupt:    none",
                          "board time:   2008 day 001 00:00:00.000000 UTC (bad frame: not kept)",
                          "year:         2008, not set since the board appeared: the clock serves no time"});
}

TEST_F(StatusTest, TdDecodingShowsNoTime)
{
    fresh_driver();
    board::command("status 0x1001");
    uint8_t mode = TCR7750_IRIG_MODE_TD;
    ASSERT_EQ(Device().command(TCR7750_IOC_SET_IRIG_MODE, &mode), 0);
    expect_lines(run(0), {"decoding:     td",
                          "board time:   none in the TD/H0 decoding; time difference +000 00:00:00.000000, state S"});
}

} // namespace
