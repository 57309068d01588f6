// SPDX-License-Identifier: GPL-2.0-only
// A host kept on the board: no time until the year is confirmed, tcr7750year
// sets it from the guest's clock and a day of the year (as the udev rule
// does), Debian's chrony with its own and the shipped configuration keeps
// the guest's clock in its year (in real time, waiting on chrony's reports).
// tcr7750stat shows the board, never writing to it; the driver's watch logs
// and counts a pulled signal; Debian's node_exporter serves the metrics.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <linux/capability.h>
#include <linux/netlink.h>
#include <poll.h>
#include <regex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "guest_support.h"
#include "tcr7750_regs.h"

using namespace guest;
using namespace std::chrono_literals;

namespace {

constexpr int64_t ns_per_s = 1'000'000'000;

int64_t utc_ns(int year, int month, int day, int hour = 0)
{
    std::tm start{};
    start.tm_year = year - 1900;
    start.tm_mon = month - 1;
    start.tm_mday = day;
    start.tm_hour = hour;
    return static_cast<int64_t>(timegm(&start)) * ns_per_s;
}

int64_t year_start_ns(int year) { return utc_ns(year, 1, 1); }

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

// One of the driver's attributes of the board.
std::string attribute(const std::string& name)
{
    std::string value;
    std::getline(std::ifstream(board::pci_device() + "/" + name), value);
    return value;
}

// True once a change event of the first board's device comes on events, a
// socket on the kernel's events as udev has (within 3 s).
bool board_changed(int events)
{
    sockaddr_nl kernel{AF_NETLINK, 0, 0, 1};
    bind(events, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel);
    char message[8192] = {};
    for (pollfd ready{events, POLLIN, 0}; poll(&ready, 1, 3000) == 1;)
        if (recv(events, message, sizeof message - 1, 0) > 0 && std::string(message).starts_with("change@") &&
            std::string(message).ends_with("/" TCR7750_DEVICE_NAME))
            return true;
    return false;
}

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
    std::string year_set() { return attribute("year_set"); }

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

    FreshDriver fresh{"watch_ms=20"};
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

TEST_F(YearTest, ABadFrameAtNewYearGivesNoYearUntilAGoodFrameConfirmsOne)
{
    int year = year_of(realtime_ns());
    board::command("status 0x0030");
    set_guest_clock(year_start_ns(year + 1) - 10 * ns_per_s);
    Process refused({"/tools/tcr7750year"});
    EXPECT_EQ(refused.wait(), 3);
    EXPECT_NE(refused.read_rest().find("frame is bad"), std::string::npos);

    // The first good frame comes on 1 January: the board on day 1.
    set_guest_clock(year_start_ns(year + 1) + 5 * ns_per_s);
    board::command("advance 5000000000");
    int events = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
    board::command("status 0x0001");
    EXPECT_EQ(phc.read_ns(), -EBUSY) << "a day 1 in an unconfirmed year";
    EXPECT_TRUE(board_changed(events)) << "udev not asked for the year";
    close(events);
    EXPECT_EQ(Process({"/tools/tcr7750year"}).wait(), 0); // as the rule runs it on the event
    EXPECT_EQ(year_of(phc.read_ns()), year + 1);
}

TEST_F(YearTest, InTheTdDecodingNoYearIsTakenFromTheTimeDifference)
{
    // 15 October: the time difference's day 000, taken for a day of the
    // year, lies nearest to next year.
    int year = year_of(realtime_ns());
    board::command("time " + std::to_string(year) + " 10 15 12 0 0 0");
    set_guest_clock(utc_ns(year, 10, 15, 12));
    EXPECT_EQ(Process({"/tools/tcr7750year"}).wait(), 0);
    Device device;
    uint8_t mode = TCR7750_IRIG_MODE_TD;
    ASSERT_EQ(device.command(TCR7750_IOC_SET_IRIG_MODE, &mode), 0);
    Process refused({"/tools/tcr7750year"});
    EXPECT_EQ(refused.wait(), 3);
    EXPECT_NE(refused.read_rest().find("TD/H0"), std::string::npos);
    mode = TCR7750_IRIG_MODE_STANDARD;
    ASSERT_EQ(device.command(TCR7750_IOC_SET_IRIG_MODE, &mode), 0);
    EXPECT_EQ(year_of(phc.read_ns()), year);
}

TEST_F(YearTest, AYearWrittenWithoutCapSysTimeReachesTheBoardButTheClockServesNone)
{
    board_at(realtime_ns());
    set_year_as_udev_does();
    ASSERT_GT(phc.read_ns(), 0);
    // annumset as a member of the nodes' group: the node, not the system clock.
    Process member({"/tools/annumset"}, false, CAP_SYS_TIME);
    EXPECT_EQ(member.wait(), 0);
    EXPECT_EQ(board::state()["initial_year"], "2008");
    EXPECT_EQ(year_set(), "1");
    EXPECT_EQ(phc.read_ns(), -EBUSY);
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

// Up to 2 s for the watch to show a state that starts with prefix.
bool watch_shows(const std::string& prefix)
{
    for (auto deadline = std::chrono::steady_clock::now() + 2s; std::chrono::steady_clock::now() < deadline;
         std::this_thread::sleep_for(5ms))
        if (attribute("frame_state").starts_with(prefix))
            return true;
    return false;
}

TEST(WatchTest, APulledSignalIsLoggedOnceEachWayCountedAndWatchedWithoutSideEffect)
{
    fresh_driver("watch_ms=20");
    board::command("status 0x0001");
    ASSERT_TRUE(watch_shows("good"));
    int losses = std::stoi(attribute("frame_losses"));
    double lost = std::stod(attribute("frame_lost_seconds"));
    KernelLog log;
    board::clear_log();
    uint64_t pulled = monotonic_ns();
    int64_t pulled_utc = realtime_ns();
    board::command("status 0x0030");
    ASSERT_TRUE(watch_shows("lost since "));
    std::string state = attribute("frame_state");
    while (board::log().size() < 5) // five looks at the lost frame
        std::this_thread::sleep_for(5ms);
    board::command("status 0x0001");
    ASSERT_TRUE(watch_shows("good"));
    uint64_t seen = monotonic_ns();

    std::vector<LogLine> lines = log.lines();
    std::erase_if(lines, [](const LogLine& line) { return line.text.find("time code") == std::string::npos; });
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].text.find(": tcr7750: time code lost, error code 3"), std::string::npos) << lines[0].text;
    EXPECT_NE(lines[1].text.find(": tcr7750: time code good again after "), std::string::npos) << lines[1].text;
    EXPECT_EQ(attribute("frame_losses"), std::to_string(losses + 1));
    double lost_now = std::stod(attribute("frame_lost_seconds")) - lost;
    EXPECT_GT(lost_now, 0);
    EXPECT_LE(lost_now, (seen - pulled) / 1e9 + 0.001);
    for (const Access& access : board::log())
        EXPECT_EQ(access, (Access{'R', REG_STATUS, 2, access.value})) << "the status only";
    std::tm since{};
    ASSERT_TRUE(strptime(state.c_str(), "lost since %Y-%m-%d %H:%M:%S UTC", &since)) << state;
    EXPECT_NEAR(static_cast<double>(timegm(&since)), pulled_utc / 1e9, 3) << state;
}

TEST(WatchTest, NodeExporterServesTheMetricsTcr7750statWrites)
{
    const char* exporter = "/usr/bin/prometheus-node-exporter";
    ASSERT_EQ(access(exporter, X_OK), 0) << "tests/kernel/run lays Debian's prometheus-node-exporter over the guest";
    if (int inet = socket(AF_INET, SOCK_STREAM, 0); inet < 0)
        GTEST_SKIP() << "no IP in this kernel";
    else
        close(inet);
    fresh_driver("watch_ms=20");
    Phc phc; // a good frame and a confirmed year
    board::command("status 0x0030");
    ASSERT_TRUE(watch_shows("lost since "));
    // The service's command, then the exporter on loopback.
    std::filesystem::create_directories("/var/lib/prometheus/node-exporter");
    std::system("ip link set lo up");
    EXPECT_EQ(Process({"/tools/tcr7750stat", "--prometheus", "/var/lib/prometheus/node-exporter/tcr7750.prom"}).wait(), 0);
    Process server({exporter, "--web.listen-address=127.0.0.1:9100", "--collector.disable-defaults",
                    "--collector.textfile", "--collector.textfile.directory=/var/lib/prometheus/node-exporter"});
    std::string metrics;
    for (auto deadline = std::chrono::steady_clock::now() + 20s;
         metrics.find("tcr7750_up") == std::string::npos && std::chrono::steady_clock::now() < deadline;
         std::this_thread::sleep_for(100ms))
        metrics = Process({"/bin/wget", "-q", "-O", "-", "http://127.0.0.1:9100/metrics"}).read_rest();
    for (const char* line : {"tcr7750_up{device=\"/dev/tcr7750\"} 1\n",
                             "tcr7750_frame_state{device=\"/dev/tcr7750\",state=\"lost\"} 1\n",
                             "tcr7750_year_confirmed{device=\"/dev/tcr7750\"} 1\n",
                             "tcr7750_frame_losses_total{device=\"/dev/tcr7750\"} "})
        EXPECT_NE(metrics.find(line), std::string::npos) << line << "in:\n" << metrics;
    // A board that cannot be read is a metric too.
    metrics = Process({"/tools/tcr7750stat", "-d", "/dev/tcr7750.9", "--prometheus"}).read_rest();
    EXPECT_NE(metrics.find("\ntcr7750_up{device=\"/dev/tcr7750.9\"} 0\n"), std::string::npos) << metrics;
}

} // namespace
