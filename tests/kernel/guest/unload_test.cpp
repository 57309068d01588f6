// SPDX-License-Identifier: GPL-2.0-only
// Unloading tcr7750_drv: refused while open, the last control write, and the
// interrupt freed only when one was taken; suspend and resume.
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
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

// Suspend to RAM through the kernel's test mode "platform": every device
// phase runs, so the PCI core puts the board in D3hot and brings it back to
// D0, which powers the board up again; the machine itself does not sleep.
// ("devices" stops before the phase that changes the power state; a real
// sleep's wake resets the emulated chipset, whose interrupt routing the
// guest, booted with acpi=noirq, never restores: later tests would get no
// interrupt.)
TEST_F(UnloadTest, ResumeGivesTheBoardItsSettingsBackAndWithholdsTimeUntilTheYear)
{
    std::string states;
    std::getline(std::ifstream("/sys/power/state"), states);
    if (states.find("mem") == states.npos || access("/sys/power/pm_test", W_OK) != 0)
        GTEST_SKIP() << "no suspend to RAM or no suspend test mode in this kernel";
    fresh_driver();
    Device device;
    uint16_t period = 25;
    uint8_t afnor = TCR7750_IRIG_MODE_AFNOR;
    ASSERT_EQ(device.command(TCR7750_IOC_SET_PERIOD, &period), 0);
    ASSERT_EQ(device.command(TCR7750_IOC_SET_IRIG_MODE, &afnor), 0);
    Phc clock; // sets the year
    board::command("status 0x0001");
    ASSERT_GT(clock.read_ns(), 0);
    Uevents events;
    write_text("/sys/module/suspend/parameters/pm_test_delay", "0");
    ASSERT_TRUE(write_text("/sys/power/pm_test", "platform"));
    EXPECT_TRUE(write_text("/sys/power/state", "mem"));
    write_text("/sys/power/pm_test", "none");
    EXPECT_EQ(board::state_number("control_writes"), 1u) << "the board powered up, then the resume's write";
    EXPECT_EQ(board::state()["period"], "25");
    EXPECT_EQ(board::state()["control"], "0x0021");
    board::command("status 0x0001"); // a good frame again
    EXPECT_EQ(clock.read_ns(), -EBUSY) << "the board's year is its power-up one";
    std::string year_set;
    std::getline(std::ifstream(board::pci_device() + "/year_set"), year_set);
    EXPECT_EQ(year_set, "0");
    EXPECT_TRUE(events.seen("change", "/tcr7750/tcr7750")) << "for the udev rule that sets the year";
    uint16_t year = 2024;
    ASSERT_EQ(device.command(TCR7750_IOC_SET_YEAR, &year), 0);
    EXPECT_GT(clock.read_ns(), 0);
}

} // namespace
