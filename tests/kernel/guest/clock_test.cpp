// SPDX-License-Identifier: GPL-2.0-only
// The board as a PTP hardware clock: its registration, exact readings in
// virtual time, readings refused, its external time-stamp channel, and the
// status attributes on the PCI device.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <linux/ptp_clock.h>
#include <atomic>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/timex.h>
#include <thread>
#include <unistd.h>

#include "guest_support.h"
#include "tcr7750_regs.h"

using namespace guest;

namespace {

constexpr int64_t ns_per_s = 1'000'000'000;

void run_on(pid_t task, int cpu)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    sched_setaffinity(task, sizeof set, &set);
}

// The clock's worker (the kernel thread named as its clock, "ptpN") kept
// from running: moved to CPU 1, where a real-time thread spins, real-time
// throttling off, until this ends.  The test runs on CPU 0 meanwhile.
class StarvedWorker {
public:
    explicit StarvedWorker(const std::string& clock)
    {
        for (const auto& task : std::filesystem::directory_iterator("/proc")) {
            std::string name;
            std::getline(std::ifstream(task.path() / "comm"), name);
            if (name == clock)
                run_on(std::stoi(task.path().filename()), 1);
        }
        run_on(0, 0);
        write_text("/proc/sys/kernel/sched_rt_runtime_us", "-1");
        spinner_ = std::thread([this] {
            run_on(0, 1);
            sched_param fifo{1};
            sched_setscheduler(0, SCHED_FIFO, &fifo);
            spinning_ = true;
            while (!stop_)
                ;
        });
        while (!spinning_)
            std::this_thread::yield();
    }
    ~StarvedWorker()
    {
        stop_ = true;
        spinner_.join();
        write_text("/proc/sys/kernel/sched_rt_runtime_us", "950000");
        cpu_set_t all;
        CPU_ZERO(&all);
        CPU_SET(0, &all);
        CPU_SET(1, &all);
        sched_setaffinity(0, sizeof all, &all);
    }

private:
    std::atomic<bool> stop_{false}, spinning_{false};
    std::thread spinner_;
};

// A UTC date and time, as the board's "time" command takes it.
struct BoardTime {
    int year, month, day, hour, minute, second, microsecond;

    std::string command() const
    {
        char text[64];
        std::snprintf(text, sizeof text, "time %d %d %d %d %d %d %d", year, month, day, hour, minute,
                      second, microsecond);
        return text;
    }
    int64_t ns() const
    {
        std::tm t{};
        t.tm_year = year - 1900;
        t.tm_mon = month - 1;
        t.tm_mday = day;
        t.tm_hour = hour;
        t.tm_min = minute;
        t.tm_sec = second;
        return static_cast<int64_t>(timegm(&t)) * ns_per_s + microsecond * 1000;
    }
};

std::string read_attribute(const std::string& path)
{
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    return text;
}

// The register accesses the board logged, as offsets, reads only.
std::vector<unsigned> reads_logged()
{
    std::vector<unsigned> offsets;
    for (const Access& a : board::log())
        if (a.direction == 'R')
            offsets.push_back(a.offset);
    return offsets;
}

class ClockTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(phc.is_open()) << "no PTP clock named " TCR7750_CLOCK_NAME;
        board::command("status 0x0001");
        board::clear_log();
    }

    void set_time(const BoardTime& t) { ASSERT_TRUE(board::command(t.command())); }
    int arm(unsigned flags, unsigned index = 0, unsigned long kind = PTP_EXTTS_REQUEST)
    {
        ptp_extts_request request{};
        request.index = index;
        request.flags = flags;
        return ioctl(phc.fd(), kind, &request) == 0 ? 0 : -errno;
    }
    // The next edge event, or nullopt when none comes within 2 s.
    std::optional<ptp_extts_event> next_event()
    {
        pollfd p{phc.fd(), POLLIN, 0};
        ptp_extts_event event{};
        if (::poll(&p, 1, 2000) != 1 || read(phc.fd(), &event, sizeof event) != sizeof event)
            return std::nullopt;
        return event;
    }
    static int64_t event_ns(const ptp_extts_event& e) { return e.t.sec * ns_per_s + e.t.nsec; }
    // Arms the channel on one edge at time t and makes that edge: the time of
    // the next event, which is the edge's unless an earlier one was queued.
    std::optional<int64_t> next_event_after_edge_at(const BoardTime& t, unsigned edge_flag)
    {
        set_time(t);
        if (arm(PTP_ENABLE_FEATURE | edge_flag) != 0)
            return std::nullopt;
        board::command(edge_flag == PTP_FALLING_EDGE ? "edge fall" : "edge rise");
        auto event = next_event();
        return event ? std::optional<int64_t>(event_ns(*event)) : std::nullopt;
    }
    std::string control() { return board::state()["control"]; }

    FreshDriver fresh;
    Phc phc;
    Device device;
};

TEST_F(ClockTest, RegisteredUnderThePciDeviceWithOneChannelAndNoAdjustment)
{
    EXPECT_EQ(read_attribute(phc.sysfs() + "/clock_name"), TCR7750_CLOCK_NAME);
    EXPECT_EQ(std::filesystem::canonical(phc.sysfs() + "/device"), std::filesystem::canonical(board::pci_device()));

    ptp_clock_caps caps{};
    ASSERT_EQ(ioctl(phc.fd(), PTP_CLOCK_GETCAPS, &caps), 0);
    EXPECT_EQ(caps.max_adj, 0);
    EXPECT_EQ(caps.n_ext_ts, 1);
    EXPECT_EQ(caps.pps, 0);
    EXPECT_EQ(caps.n_per_out, 0);
}

TEST_F(ClockTest, ReadingsAreExactForFrozenTimes)
{
    const BoardTime times[] = {
        {2024, 2, 29, 12, 0, 0, 0},          // leap day, day 60
        {2024, 12, 31, 23, 59, 59, 999999},  // day 366, the last microsecond before midnight
        {2025, 1, 1, 0, 0, 0, 0},            // New Year
        {2100, 3, 1, 6, 30, 15, 500000},     // 2100 has no leap day: day 60 is 1 March
        {2000, 12, 31, 18, 0, 1, 1},         // 2000 has one: day 366
    };
    for (const BoardTime& t : times) {
        set_time(t);
        EXPECT_EQ(phc.read_ns(), t.ns()) << t.command();

        std::vector<Phc::Sample> samples;
        ASSERT_EQ(phc.samples(3, samples), 0) << t.command();
        for (const Phc::Sample& s : samples) {
            EXPECT_EQ(s.phc, t.ns()) << t.command();
            EXPECT_LE(s.before, s.after);
        }
        // The window brackets the read of the microsecond counter.
        auto microsecond_read = static_cast<int64_t>(board::state_number("microseconds_read_real_ns"));
        EXPECT_LE(samples.back().before, microsecond_read);
        EXPECT_GE(samples.back().after, microsecond_read);
    }
}

TEST_F(ClockTest, OneReadingIsEightRegisterReadsAndNoWrite)
{
    set_time({2024, 7, 1, 1, 2, 3, 4});
    ASSERT_GT(phc.read_ns(), 0);
    std::vector<unsigned> expected{REG_STATUS,  REG_SECONDS,      REG_DAY_OF_YEAR, REG_YEAR,
                                   REG_HOURS,   REG_MINUTES,      REG_MICROSECONDS, REG_SECONDS};
    EXPECT_EQ(reads_logged(), expected);
    EXPECT_TRUE(board::writes().empty());
}

TEST_F(ClockTest, AReadingThatStraddlesASecondIsTakenAgain)
{
    // The microsecond read lands 2 us later, in the next second: seconds read
    // before it belong to the second before.
    set_time({2024, 6, 30, 10, 20, 59, 999999});
    board::command("advance-on-read " + std::to_string(REG_MICROSECONDS) + " 2000 1");
    EXPECT_EQ(phc.read_ns(), (BoardTime{2024, 6, 30, 10, 21, 0, 1}.ns()));
    std::vector<unsigned> reads = reads_logged();
    EXPECT_EQ(std::count(reads.begin(), reads.end(), REG_SECONDS), 4) << "two tries";

    // A second boundary inside every try: no time.
    board::command("advance-on-read " + std::to_string(REG_MICROSECONDS) + " 1000000000 3");
    EXPECT_EQ(phc.read_ns(), -EAGAIN);
    EXPECT_EQ(phc.read_ns(), (BoardTime{2024, 6, 30, 10, 21, 3, 1}.ns())) << "the next reading is good again";
}

TEST_F(ClockTest, NoTimeFromABadFrameTheTdDecodingOrAYearBefore1970)
{
    set_time({2024, 3, 1, 0, 0, 0, 0});
    std::vector<Phc::Sample> samples;

    board::command("status 0x0070"); // frame not good, error code 7
    EXPECT_EQ(phc.read_ns(), -EBUSY);
    EXPECT_EQ(phc.samples(1, samples), -EBUSY);
    board::command("status 0x0001");
    EXPECT_EQ(phc.read_ns(), (BoardTime{2024, 3, 1, 0, 0, 0, 0}.ns()));

    uint8_t mode = TCR7750_IRIG_MODE_TD;
    ASSERT_EQ(device.command(TCR7750_IOC_SET_IRIG_MODE, &mode), 0);
    EXPECT_EQ(phc.read_ns(), -EBUSY);
    EXPECT_EQ(phc.samples(1, samples), -EBUSY);
    mode = TCR7750_IRIG_MODE_AFNOR;
    ASSERT_EQ(device.command(TCR7750_IOC_SET_IRIG_MODE, &mode), 0);
    EXPECT_EQ(phc.read_ns(), (BoardTime{2024, 3, 1, 0, 0, 0, 0}.ns()));

    uint16_t year = 1969;
    ASSERT_EQ(device.command(TCR7750_IOC_SET_YEAR, &year), 0);
    EXPECT_EQ(phc.read_ns(), -EIO);
}

TEST_F(ClockTest, InRealTimeNoReadingIsBeforeTheOneBefore)
{
    // Two readers side by side: each one's accesses refresh the board's
    // registers under the other's, as any two clients of a real board do.
    ASSERT_TRUE(board::command("realtime-offset 0"));
    auto read_in_a_row = [this](std::vector<int64_t>& readings) {
        for (auto& reading : readings)
            reading = phc.read_ns();
    };
    std::vector<int64_t> first(2000), second(2000);
    std::thread other([&] { read_in_a_row(second); });
    read_in_a_row(first);
    other.join();
    // Then 960 readings of PTP_SYS_OFFSET_EXTENDED back to back on one CPU.
    std::vector<int64_t> pinned;
    std::thread([&] {
        cpu_set_t cpu;
        CPU_ZERO(&cpu);
        CPU_SET(0, &cpu);
        sched_setaffinity(0, sizeof cpu, &cpu);
        std::vector<Phc::Sample> samples;
        for (int i = 0; i < 40 && phc.samples(24, samples) == 0; i++)
            for (const Phc::Sample& sample : samples)
                pinned.push_back(sample.phc);
    }).join();
    EXPECT_EQ(pinned.size(), 960u);
    board::command("realtime 0");
    for (const auto* readings : {&first, &second, &pinned}) {
        size_t back = 0;
        int64_t most = 0;
        for (size_t i = 0; i < readings->size(); i++) {
            ASSERT_GT((*readings)[i], 0) << "reading " << i << " failed";
            if (i > 0 && (*readings)[i] < (*readings)[i - 1]) {
                back++;
                most = std::max(most, (*readings)[i - 1] - (*readings)[i]);
            }
        }
        EXPECT_EQ(back, 0u) << "readings went back, by up to " << most << " ns";
    }
}

TEST_F(ClockTest, SettingSteppingAndSteeringAreRefused)
{
    set_time({2024, 8, 1, 12, 0, 0, 0});
    timespec t{1'000'000'000, 0};
    EXPECT_EQ(clock_settime(phc.clock(), &t), -1);
    EXPECT_EQ(errno, EOPNOTSUPP);

    timex step{};
    step.modes = ADJ_SETOFFSET | ADJ_NANO;
    step.time.tv_sec = 1;
    EXPECT_EQ(clock_adjtime(phc.clock(), &step), -1);
    EXPECT_EQ(errno, EOPNOTSUPP);

    timex frequency{};
    frequency.modes = ADJ_FREQUENCY;
    frequency.freq = 0;
    EXPECT_EQ(clock_adjtime(phc.clock(), &frequency), -1);
    EXPECT_EQ(errno, EOPNOTSUPP);
    frequency.freq = 65536; // 1 ppm, beyond max_adj 0
    EXPECT_EQ(clock_adjtime(phc.clock(), &frequency), -1);
    EXPECT_EQ(errno, ERANGE);

    EXPECT_TRUE(board::writes().empty());
    EXPECT_EQ(phc.read_ns(), (BoardTime{2024, 8, 1, 12, 0, 0, 0}.ns()));
}

TEST_F(ClockTest, EachEdgeArrivesWithItsFullTime)
{
    const BoardTime rise{2024, 2, 29, 8, 15, 30, 123456};
    set_time(rise);
    ASSERT_EQ(arm(PTP_ENABLE_FEATURE | PTP_RISING_EDGE), 0);
    EXPECT_EQ(control(), "0x0002");
    board::clear_log();
    board::command("edge rise");
    auto event = next_event();
    ASSERT_TRUE(event);
    EXPECT_EQ(event_ns(*event), rise.ns());
    EXPECT_EQ(event->index, 0u);
    // The handler's five reads, then the worker's reading for the date.
    std::vector<unsigned> reads = reads_logged();
    std::vector<unsigned> handler{REG_STATUS, REG_RISE_SECONDS, REG_RISE_MICROSECONDS, REG_FALL_SECONDS,
                                  REG_FALL_MICROSECONDS};
    ASSERT_GE(reads.size(), 7u);
    EXPECT_EQ(std::vector<unsigned>(reads.begin(), reads.begin() + 5), handler);
    EXPECT_EQ(reads[5], REG_STATUS);
    EXPECT_EQ(reads[6], REG_SECONDS);
    EXPECT_TRUE(board::writes().empty()) << "nothing acknowledges a time stamp";

    const BoardTime fall{2024, 12, 31, 0, 0, 0, 1};
    EXPECT_EQ(next_event_after_edge_at(fall, PTP_FALLING_EDGE), fall.ns());
    EXPECT_EQ(control(), "0x0006");
}

TEST_F(ClockTest, AnEdgeJustBeforeMidnightDatedJustAfterKeepsItsDay)
{
    set_time({2024, 12, 31, 23, 59, 59, 999999});
    ASSERT_EQ(arm(PTP_ENABLE_FEATURE | PTP_RISING_EDGE), 0);
    // The worker's first seconds read finds the board 2 us into the new year.
    board::command("advance-on-read " + std::to_string(REG_SECONDS) + " 2000 1");
    board::command("edge rise");
    auto event = next_event();
    ASSERT_TRUE(event);
    EXPECT_EQ(event_ns(*event), (BoardTime{2024, 12, 31, 23, 59, 59, 999999}.ns()));
    EXPECT_EQ(phc.read_ns(), (BoardTime{2025, 1, 1, 0, 0, 0, 1}.ns())) << "dated after midnight";
}

TEST_F(ClockTest, OneEdgeAtATimeAndNoEdgeFlagMeansRising)
{
    EXPECT_EQ(arm(PTP_ENABLE_FEATURE | PTP_RISING_EDGE | PTP_FALLING_EDGE), -EOPNOTSUPP);
    EXPECT_TRUE(board::writes().empty());
    ASSERT_EQ(arm(PTP_ENABLE_FEATURE | PTP_FALLING_EDGE), 0);
    EXPECT_EQ(control(), "0x0006");
    ASSERT_EQ(arm(PTP_ENABLE_FEATURE), 0);
    EXPECT_EQ(control(), "0x0002");
}

TEST_F(ClockTest, FlagsTheChannelDoesNotKnowAreRefusedAlikeOnEveryKernel)
{
    // 1 << 4 is PTP_EXT_OFFSET from 6.12 on; a 6.1 core refuses it itself.
    for (unsigned flag : {1u << 4, 1u << 7})
        EXPECT_EQ(arm(PTP_ENABLE_FEATURE | PTP_RISING_EDGE | flag, 0, PTP_EXTTS_REQUEST2), -EINVAL) << flag;
    EXPECT_TRUE(board::writes().empty());
    EXPECT_EQ(arm(PTP_ENABLE_FEATURE | PTP_RISING_EDGE, 0, PTP_EXTTS_REQUEST2), 0);
}

TEST_F(ClockTest, DisarmingClearsOnlyTheTimeStampEnable)
{
    uint16_t period = 10;
    ASSERT_EQ(device.command(TCR7750_IOC_SET_PERIOD, &period), 0);
    uint8_t afnor = TCR7750_IRIG_MODE_AFNOR;
    ASSERT_EQ(device.command(TCR7750_IOC_SET_IRIG_MODE, &afnor), 0);
    ASSERT_EQ(arm(PTP_ENABLE_FEATURE | PTP_FALLING_EDGE), 0);
    EXPECT_EQ(control(), "0x0027");
    ASSERT_EQ(arm(0), 0);
    EXPECT_EQ(control(), "0x0025");

    // An edge while disarmed is no event: the next one is the edge after re-arming.
    board::command("edge fall");
    const BoardTime later{2024, 1, 2, 3, 4, 5, 6};
    EXPECT_EQ(next_event_after_edge_at(later, PTP_FALLING_EDGE), later.ns());
}

TEST_F(ClockTest, AnEdgeQueuedBeforeReArmingIsNeverDelivered)
{
    if (std::thread::hardware_concurrency() < 2)
        GTEST_SKIP() << "needs two CPUs";
    set_time({2024, 6, 1, 1, 0, 0, 0});
    {
        StarvedWorker starved(phc.path().substr(std::string("/dev/").size()));
        ASSERT_EQ(arm(PTP_ENABLE_FEATURE | PTP_RISING_EDGE), 0);
        board::command("edge rise"); // queued; the worker cannot date it yet
        ASSERT_EQ(arm(0), 0);
        ASSERT_EQ(arm(PTP_ENABLE_FEATURE | PTP_RISING_EDGE), 0);
    }
    const BoardTime later{2024, 6, 1, 2, 0, 0, 0};
    EXPECT_EQ(next_event_after_edge_at(later, PTP_RISING_EDGE), later.ns()) << "the edge of the earlier arming";
}

TEST_F(ClockTest, TheCharacterDeviceTakesTheTimeStampInputOver)
{
    // Last writer wins: the device's time-stamp command disarms the clock's
    // channel, which then delivers none of the device's edges, even on the
    // edge it had asked for.
    set_time({2024, 4, 4, 4, 4, 4, 4});
    ASSERT_EQ(arm(PTP_ENABLE_FEATURE | PTP_FALLING_EDGE), 0);
    uint8_t rising = 0;
    ASSERT_EQ(device.command(TCR7750_IOC_ENABLE_TS, &rising), 0);
    EXPECT_EQ(control(), "0x0002");
    ASSERT_EQ(arm(PTP_ENABLE_FEATURE | PTP_RISING_EDGE), 0);
    ASSERT_EQ(device.command(TCR7750_IOC_ENABLE_TS, &rising), 0);
    board::command("edge rise");
    tcr7750_timestamps stored{};
    ASSERT_EQ(device.command(TCR7750_IOC_GET_STORED_TS, &stored), 0);
    EXPECT_EQ(stored.rise_seconds, 4u * 3600 + 4 * 60 + 4) << "the device's edge was captured";

    ASSERT_EQ(device.command(TCR7750_IOC_DISABLE), 0);
    const BoardTime later{2024, 4, 4, 5, 0, 0, 0};
    EXPECT_EQ(next_event_after_edge_at(later, PTP_RISING_EDGE), later.ns()) << "no event for the device's edge";
}

TEST_F(ClockTest, StatusAttributesShowTheBoard)
{
    auto attribute = [](const char* name) { return read_attribute(board::pci_device() + "/" + name); };
    for (const char* name : {"frame_ok", "error_code", "tfom", "irig_mode", "version", "status", "control"}) {
        struct stat st{};
        ASSERT_EQ(stat((board::pci_device() + "/" + name).c_str(), &st), 0) << name;
        EXPECT_EQ(st.st_mode & 0777, 0444u) << name;
    }

    board::command("status 0x0a51");
    EXPECT_EQ(attribute("frame_ok"), "1");
    EXPECT_EQ(attribute("error_code"), "5");
    EXPECT_EQ(attribute("tfom"), "10");
    EXPECT_EQ(attribute("status"), "0x0a51");
    board::command("status 0x0070");
    EXPECT_EQ(attribute("frame_ok"), "0");
    EXPECT_EQ(attribute("error_code"), "7");

    EXPECT_EQ(attribute("irig_mode"), TCR7750_IRIG_MODE_TEXT_STANDARD);
    uint8_t mode = TCR7750_IRIG_MODE_AFNOR;
    ASSERT_EQ(device.command(TCR7750_IOC_SET_IRIG_MODE, &mode), 0);
    EXPECT_EQ(attribute("irig_mode"), TCR7750_IRIG_MODE_TEXT_AFNOR);
    mode = TCR7750_IRIG_MODE_TD;
    ASSERT_EQ(device.command(TCR7750_IOC_SET_IRIG_MODE, &mode), 0);
    EXPECT_EQ(attribute("irig_mode"), TCR7750_IRIG_MODE_TEXT_TD);
    EXPECT_EQ(attribute("control"), "0x0040");

    EXPECT_EQ(attribute("version"), "TCR7750 SIM 1.0");
}

// Loading and unloading, with no device handle open.
TEST(ClockLoadTest, WithoutAnInterruptTheClockHasNoChannel)
{
    FreshDriver fresh("irq=-1");
    Phc clock;
    ASSERT_TRUE(clock.is_open());
    ptp_clock_caps caps{};
    ASSERT_EQ(ioctl(clock.fd(), PTP_CLOCK_GETCAPS, &caps), 0);
    EXPECT_EQ(caps.n_ext_ts, 0);
    board::command("status 0x0001");
    board::command("time 2024 5 6 7 8 9 10");
    EXPECT_EQ(clock.read_ns(), (BoardTime{2024, 5, 6, 7, 8, 9, 10}.ns()));
}

TEST(ClockLoadTest, UnloadTakesTheClockAndAttributesAwayEvenWhileItIsOpen)
{
    FreshDriver fresh;
    Phc clock;
    ASSERT_TRUE(clock.is_open());
    const std::string clock_dir = clock.sysfs();
    ptp_extts_request request{0, PTP_ENABLE_FEATURE | PTP_RISING_EDGE, {0, 0}};
    ASSERT_EQ(ioctl(clock.fd(), PTP_EXTTS_REQUEST, &request), 0);
    ASSERT_EQ(unload_driver(), 0) << "an open clock does not hold the module";
    EXPECT_EQ(clock.read_ns(), -ENODEV);
    EXPECT_FALSE(std::filesystem::exists(clock_dir));
    EXPECT_FALSE(std::filesystem::exists(board::pci_device() + "/frame_ok"));
    EXPECT_EQ(board::state()["control"], "0x0000") << "unload leaves no interrupt enabled";
    ASSERT_EQ(load_driver(), 0);
    EXPECT_TRUE(Phc().is_open());
}

} // namespace
