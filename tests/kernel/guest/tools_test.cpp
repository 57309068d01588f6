// SPDX-License-Identifier: GPL-2.0-only
// The console tools against the driver and the simulated board: tickprint's
// lines, period and ending; annumset's year; both without the device node.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/syscall.h>

#include "guest_support.h"
#include "tcr7750_regs.h"

using namespace guest;

namespace {

constexpr uint64_t second_ns = 1'000'000'000;
// One build of the console tools: where it is, and the numbers, in its ABI,
// of the system calls that tickprint waits in.
struct ToolBuild {
    const char* name;
    std::string directory;
    std::vector<long> record_wait; // ppoll
    std::vector<long> command;     // ioctl
};
void PrintTo(const ToolBuild& build, std::ostream* out) { *out << build.directory; }
const ToolBuild native{"Native", "/tools/", {SYS_ppoll}, {SYS_ioctl}};
// i386: ppoll 309 or ppoll_time64 414 (what 32-bit glibc calls), ioctl 54.
const ToolBuild compat{"ThirtyTwoBit", "/tools32/", {309, 414}, {54}};

Access control_write(uint32_t value)
{
    return {'W', REG_CONTROL, REG_CONTROL_WIDTH, value};
}

void advance_seconds(int seconds)
{
    board::command("advance " + std::to_string(seconds * second_ns));
}

// read() and write() calls made so far by a process, from /proc/PID/io.
std::pair<long, long> read_and_write_calls(pid_t pid)
{
    std::ifstream io("/proc/" + std::to_string(pid) + "/io");
    std::string name;
    long value, reads = -1, writes = -1;
    while (io >> name >> value) {
        if (name == "syscr:")
            reads = value;
        if (name == "syscw:")
            writes = value;
    }
    return {reads, writes};
}

// The device node moved away for the life of this object.
struct NodeAway {
    NodeAway() { std::rename(TCR7750_DEVICE_PATH, "/dev/tcr7750.away"); }
    ~NodeAway() { std::rename("/dev/tcr7750.away", TCR7750_DEVICE_PATH); }
};

class ToolsTest : public testing::TestWithParam<ToolBuild> {
protected:
    // True once tickprint waits for its next record.
    bool waiting_for_record(const Process& tick) { return sleeping_in(tick.pid(), GetParam().record_wait); }

    FreshDriver fresh;
    const std::string tickprint = GetParam().directory + "tickprint";
    const std::string annumset = GetParam().directory + "annumset";
};

TEST_P(ToolsTest, TickprintPrintsEachRecordZeroPadded)
{
    board::command("time 2008 2 14 10 2 2 500");
    board::command("status 0x0001");
    Process tick({tickprint});
    ASSERT_TRUE(waiting_for_record(tick));
    EXPECT_EQ(board::state()["period"], "10") << "one second when no argument";
    advance_seconds(1);
    EXPECT_EQ(tick.read_line(), "[Status:0001] TU 2008 045 10:02:03.000500");
    board::command("time 2008 1 1 1 2 3 45");
    board::command("status 0x00F0");
    advance_seconds(1);
    EXPECT_EQ(tick.read_line(), "[Status:00F0] TU 2008 001 01:02:04.000045");

    ASSERT_TRUE(waiting_for_record(tick));
    board::clear_log();
    EXPECT_EQ(tick.interrupt(), 0);
    EXPECT_EQ(tick.read_rest(), "") << "Ctrl-C in the wait prints no further line";
    EXPECT_EQ(board::writes(), std::vector<Access>{control_write(CTL_PERIODIC_ACK)}) << "interrupts disabled";
}

TEST_P(ToolsTest, TickprintSendsTheLowSixteenBitsOfItsPeriod)
{
    const std::pair<const char*, uint32_t> cases[] = {{"25", 25}, {"abc", 0}, {"65543", 7}};
    for (auto [argument, period] : cases) {
        board::clear_log();
        Process tick({tickprint, argument, "ignored"});
        ASSERT_TRUE(waiting_for_record(tick)) << argument;
        std::vector<Access> start{{'W', REG_PERIOD, 2, period},
                                  control_write(CTL_PERIODIC_ENABLE | CTL_PERIODIC_ACK)};
        EXPECT_EQ(board::writes(), start) << argument;
        EXPECT_EQ(tick.interrupt(), 0) << argument;
        auto writes = board::writes();
        ASSERT_FALSE(writes.empty()) << argument;
        EXPECT_EQ(writes.back(), control_write(CTL_PERIODIC_ACK)) << argument;
    }
}

TEST_P(ToolsTest, CtrlCBeforeTickprintWaitsIsNotLost)
{
    Process tick({tickprint}, true);
    ASSERT_TRUE(tick.stop_at(GetParam().command)) << "held at its set-period command";
    kill(tick.pid(), SIGINT);
    tick.detach();
    EXPECT_EQ(tick.wait(), 0) << "ended, though no record comes";
    EXPECT_EQ(tick.read_rest(), "");
    std::vector<Access> expected{{'W', REG_PERIOD, 2, 10},
                                 control_write(CTL_PERIODIC_ENABLE | CTL_PERIODIC_ACK),
                                 control_write(CTL_PERIODIC_ACK)};
    EXPECT_EQ(board::writes(), expected);
}

TEST_P(ToolsTest, AnnumsetSendsTheLowSixteenBitsOfItsYear)
{
    const std::pair<std::vector<std::string>, uint32_t> cases[] = {
        {{annumset}, 2008}, {{annumset, "2010"}, 2010}, {{annumset, "abc"}, 0}, {{annumset, "70000"}, 70000 & 0xFFFF}};
    for (const auto& [argv, year] : cases) {
        board::clear_log();
        KernelLog log;
        Process set(argv);
        EXPECT_EQ(set.wait(), 0);
        EXPECT_EQ(set.read_rest(), "") << "nothing printed on success";
        std::vector<Access> expected{{'W', REG_INITIAL_YEAR, 2, year}, control_write(CTL_LOAD_YEAR)};
        EXPECT_EQ(board::writes(), expected) << year;
        auto line = log.find("Set initial year ");
        ASSERT_TRUE(line);
        EXPECT_EQ(line->text.rfind("Set initial year " + std::to_string(year) + " ", 0), 0u) << line->text;
    }
}

TEST_P(ToolsTest, RecordsAfterAnnumsetCarryTheNewYear)
{
    board::command("time 2008 3 1 0 0 0 0");
    Process tick({tickprint});
    ASSERT_TRUE(waiting_for_record(tick));
    advance_seconds(1);
    EXPECT_EQ(tick.read_line(), "[Status:0000] TU 2008 061 00:00:01.000000");
    Process set({annumset, "2011"});
    EXPECT_EQ(set.wait(), 0);
    advance_seconds(1);
    EXPECT_EQ(tick.read_line(), "[Status:0000] TU 2011 061 00:00:02.000000");
    EXPECT_EQ(tick.interrupt(), 0);
}

TEST_P(ToolsTest, TickprintCostsOneReadAndOneWritePerRecord)
{
    Process tick({tickprint, "1"});
    ASSERT_TRUE(waiting_for_record(tick));
    board::command("advance 100000000");
    ASSERT_TRUE(tick.read_line());
    ASSERT_TRUE(waiting_for_record(tick));
    auto before = read_and_write_calls(tick.pid());
    constexpr int records = 5;
    for (int i = 0; i < records; i++) {
        board::command("advance 100000000");
        ASSERT_TRUE(tick.read_line());
        ASSERT_TRUE(waiting_for_record(tick));
    }
    auto after = read_and_write_calls(tick.pid());
    EXPECT_EQ(after.first - before.first, records) << "read() calls";
    EXPECT_EQ(after.second - before.second, records) << "write() calls";
    EXPECT_EQ(tick.interrupt(), 0);
}

TEST_P(ToolsTest, WithoutTheNodeBothSayDeviceOpenError)
{
    NodeAway away;
    for (const std::string& tool : {tickprint, annumset}) {
        Process run({tool});
        EXPECT_EQ(run.wait(), 1) << tool;
        EXPECT_EQ(run.read_rest(), "Device open error\n") << tool;
    }
    EXPECT_TRUE(board::writes().empty());
}

TEST_P(ToolsTest, DeviceOptionNamesTheBoard)
{
    NodeAway away;
    Process set({annumset, "-d", "/dev/tcr7750-1", "2011"});
    EXPECT_EQ(set.wait(), 0);
    EXPECT_EQ(board::writes(), (std::vector<Access>{{'W', REG_INITIAL_YEAR, 2, 2011}, control_write(CTL_LOAD_YEAR)}));
    Process missing({tickprint, "-d"});
    EXPECT_EQ(missing.wait(), 2);
    EXPECT_EQ(missing.read_rest(), "usage: tickprint [-d DEVICE] [period]\n");
}

TEST_P(ToolsTest, CtrlCEndsTickprintWhenNoRecordComes)
{
    fresh_driver("irq=-1");
    Process tick({tickprint});
    ASSERT_TRUE(waiting_for_record(tick));
    advance_seconds(1); // the board raises its line; nobody listens
    board::clear_log();
    EXPECT_EQ(tick.interrupt(), 0);
    EXPECT_EQ(tick.read_rest(), "");
    EXPECT_EQ(board::writes(), std::vector<Access>{control_write(CTL_PERIODIC_ACK)});
}

INSTANTIATE_TEST_SUITE_P(Builds, ToolsTest, testing::Values(native, compat),
                         [](const testing::TestParamInfo<ToolBuild>& info) { return info.param.name; });

} // namespace
