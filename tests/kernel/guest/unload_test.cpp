// SPDX-License-Identifier: GPL-2.0-only
// Unloading tcr7750_drv: refused while open, the last control write, and the
// interrupt freed only when one was taken; the board removed under open
// handles and found again; suspend and resume.
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "guest_support.h"
#include "tcr7750_regs.h"

using namespace guest;

namespace {

class UnloadTest : public testing::Test {
protected:
    void TearDown() override
    {
        if (!driver_loaded())
            load_driver();
    }
};

TEST_F(UnloadTest, RefusedWhileAHandleIsOpen)
{
    fresh_driver();
    {
        Device device;
        ASSERT_TRUE(device.is_open());
        int error = remove_module("tcr7750_drv");
        EXPECT_TRUE(error == EWOULDBLOCK || error == EBUSY) << error;
        EXPECT_TRUE(driver_loaded());
        EXPECT_TRUE(board::writes().empty()) << "a refused unload touches nothing";
    }
    EXPECT_EQ(remove_module("tcr7750_drv"), 0);
}

TEST_F(UnloadTest, ClearsTheEnablesWithAcknowledgeAndKeepsTheRest)
{
    fresh_driver();
    {
        Device device;
        uint16_t period = 10;
        uint8_t falling = 1, afnor = TCR7750_IRIG_MODE_AFNOR;
        ASSERT_EQ(device.command(TCR7750_IOC_SET_PERIOD, &period), 0);
        ASSERT_EQ(device.command(TCR7750_IOC_ENABLE_TS, &falling), 0);
        ASSERT_EQ(device.command(TCR7750_IOC_SET_IRIG_MODE, &afnor), 0);
    }
    board::clear_log();
    KernelLog log;
    ASSERT_EQ(unload_driver(), 0);
    // Falling edge and AFNOR decoding stay; no interrupt stays enabled.
    std::vector<Access> expected{{'W', REG_CONTROL, 2, 0x0024 | CTL_PERIODIC_ACK}};
    EXPECT_EQ(board::writes(), expected);
    EXPECT_EQ(board::log().back(), (Access{'R', REG_CONTROL, 2, 0x0024})) << "flushed before the line is freed";
    EXPECT_EQ(board::state()["control"], "0x0024");
    uint64_t raises = board::state_number("raises");
    board::command("advance 2000000000");
    board::command("edge fall");
    EXPECT_EQ(board::state_number("raises"), raises) << "the board raises its line no more";
    auto unloaded = log.find("tcr7750 unloaded");
    ASSERT_TRUE(unloaded);
    EXPECT_EQ(unloaded->level, 6);
    EXPECT_EQ(device_major(), -1);
}

TEST_F(UnloadTest, FreesTheInterruptItTook)
{
    fresh_driver();
    int line = board::irq();
    EXPECT_NE(interrupts_line(line).find("tcr7750"), std::string::npos);
    ASSERT_EQ(unload_driver(), 0);
    EXPECT_EQ(interrupts_line(line).find("tcr7750"), std::string::npos);
}

TEST_F(UnloadTest, FreesNothingWhenNoInterruptWasTaken)
{
    for (std::string parameters : {std::string("irq=-1"), "irq=" + std::to_string(board::busy_irq())}) {
        fresh_driver(parameters);
        KernelLog log;
        ASSERT_EQ(unload_driver(), 0) << parameters;
        for (const LogLine& line : log.lines())
            EXPECT_EQ(line.text.find("free"), std::string::npos) << line.text;
        EXPECT_NE(interrupts_line(board::busy_irq()).find("tcr7750_board busy"), std::string::npos)
            << "the line the driver was refused still belongs to its holder";
    }
}

// The PCI device removed under open handles (its "remove" file; hot-unplug,
// an unbind and error recovery remove it the same way).
TEST_F(UnloadTest, RemovalAnswersEveryHandleAndTheBoardComesBack)
{
    fresh_driver();
    KernelLog log;
    tcr7750_time record{};
    {
        Device handle(O_NONBLOCK), reading, polling;
        StalledPage year; // the argument of a command in flight
        BlockedCall reader([&] { tcr7750_time r; return reading.read_record(r); });
        BlockedCall poller([&] { return static_cast<long>(polling.poll_events(10000)); });
        BlockedCall command([&] { return handle.command(TCR7750_IOC_SET_YEAR, year.page()); });
        ASSERT_TRUE(sleeping_in_read(reader.tid()));
        ASSERT_TRUE(poller.sleeping_in({SYS_poll, SYS_ppoll}));
        ASSERT_TRUE(year.touched());
        ASSERT_TRUE(board::remove_from_bus());
        EXPECT_EQ(board::log().back(), (Access{'R', REG_CONTROL, 2, 0})) << "left quiet, the quiet flushed";
        board::clear_log();
        ASSERT_TRUE(reader.done());
        EXPECT_EQ(reader.result(), -ENODEV);
        ASSERT_TRUE(poller.done());
        EXPECT_EQ(poller.result(), POLLERR | POLLHUP);
        year.release();
        EXPECT_EQ(command.result(), -ENODEV);
        uint32_t word = 0;
        EXPECT_EQ(handle.command(TCR7750_IOC_GET_STATUS, &word), -ENODEV);
        EXPECT_EQ(handle.read_record(record), -ENODEV);
        EXPECT_FALSE(Device().is_open());
        EXPECT_TRUE(board::log().empty()) << "nothing reaches the board";
    } // the last handle closed: the removed board's state goes
    for (const LogLine& line : log.lines())
        EXPECT_TRUE(line.text.find("BUG") == line.text.npos && line.text.find("WARNING") == line.text.npos)
            << line.text;

    board::rescan(); // the board found again and bound anew
    EXPECT_TRUE(log.find("tcr7750 registered [85]"));
    Device again(O_NONBLOCK);
    ASSERT_EQ(again.read_record(record), TCR7750_TIME_SIZE) << "through the same node";
    EXPECT_EQ(record.year, 2008);
}

// Suspend and resume through the kernel's test mode (devices suspended and
// resumed, the machine not), with the board set back to its power-up
// registers meanwhile, as a board that lost power.
TEST_F(UnloadTest, ResumeGivesTheBoardItsSettingsBackAndWithholdsTimeUntilTheYear)
{
    std::string states;
    std::getline(std::ifstream("/sys/power/state"), states);
    if (access("/sys/power/pm_test", W_OK) != 0)
        GTEST_SKIP() << "no suspend test mode in this kernel";
    fresh_driver();
    Device device;
    uint16_t period = 25;
    uint8_t afnor = TCR7750_IRIG_MODE_AFNOR;
    ASSERT_EQ(device.command(TCR7750_IOC_SET_PERIOD, &period), 0);
    ASSERT_EQ(device.command(TCR7750_IOC_SET_IRIG_MODE, &afnor), 0);
    Phc clock; // sets the year
    board::command("reset");
    board::command("status 0x0001");
    ASSERT_GT(clock.read_ns(), 0);
    write_text("/sys/module/suspend/parameters/pm_test_delay", "0");
    ASSERT_TRUE(write_text("/sys/power/pm_test", "devices"));
    EXPECT_TRUE(write_text("/sys/power/state", states.find("mem") != states.npos ? "mem" : "freeze"));
    write_text("/sys/power/pm_test", "none");
    EXPECT_EQ(board::state()["period"], "25");
    EXPECT_EQ(board::state()["control"], "0x0021");
    EXPECT_EQ(clock.read_ns(), -EBUSY) << "the board's year is its power-up one";
    uint16_t year = 2024;
    ASSERT_EQ(device.command(TCR7750_IOC_SET_YEAR, &year), 0);
    EXPECT_GT(clock.read_ns(), 0);
}

} // namespace
