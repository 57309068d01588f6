// SPDX-License-Identifier: GPL-2.0-only
// What the board does to a driver with a fault (tests/kernel/driver-faults/):
// its line stays up while the cause is not acknowledged, and its writes are
// posted until a read flushes them.  Each test loads the driver with one
// fault and shows the failure; the real driver comes back afterwards.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "guest_support.h"

using namespace guest;
using namespace std::chrono_literals;

namespace {

class DriverFaultTest : public testing::Test {
protected:
    // The faulty driver loaded, its periodic interrupt enabled (period 1).
    void load_with_fault(const std::string& fault)
    {
        unload_driver();
        board::command("reset");
        setenv("TCR7750_MODULE", ("/modules/faults/" + fault + ".ko").c_str(), 1);
        int loaded = load_driver();
        unsetenv("TCR7750_MODULE");
        ASSERT_EQ(loaded, 0);
        uint16_t period = 1;
        ASSERT_EQ(Device().command(TCR7750_IOC_SET_PERIOD, &period), 0);
    }
    void TearDown() override { fresh_driver(); }

    const int line = board::irq();
};

TEST_F(DriverFaultTest, WithoutItsAcknowledgeTheKernelDisablesTheLine)
{
    KernelLog log;
    load_with_fault("no-acknowledge");
    board::command("advance 100000000"); // one periodic interrupt, never acknowledged
    const std::string verdict = "irq " + std::to_string(line) + ": nobody cared";
    for (int i = 0; i < 600 && !log.find(verdict); i++)
        std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(log.find(verdict)) << "the line stays up until the kernel gives up on it";
    EXPECT_TRUE(log.find("Disabling IRQ #" + std::to_string(line)));
}

TEST_F(DriverFaultTest, WithoutItsFlushTheHandlerIsCalledBackForNothing)
{
    load_with_fault("no-flush");
    unsigned long before = unhandled_count(line);
    board::command("advance 2000000000"); // twenty periodic interrupts
    EXPECT_GT(unhandled_count(line), before) << "the acknowledge reached the board after the end of interrupt";
}

} // namespace
