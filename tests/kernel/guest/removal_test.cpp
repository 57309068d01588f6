// SPDX-License-Identifier: GPL-2.0-only
// Boards leaving and coming back through the emulator (device_del and
// device_add), in the kit's boot with two boards (tests/kernel/run).
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <thread>

#include "guest_support.h"

using namespace guest;
using namespace std::chrono_literals;

namespace {

// The guest's hot-plug handling finds an added board a moment after QEMU,
// and places its windows a moment after that: until then the board has
// steering files but no window to steer through (its "resource" file shows
// BAR 0 at address 0).
bool ready(int index)
{
    if (!board::present(index))
        return false;
    std::ifstream resource(board::pci_device(index) + "/resource");
    unsigned long long start = 0;
    return static_cast<bool>(resource >> std::hex >> start) && start != 0;
}

bool appears(int index)
{
    for (int i = 0; i < 100 && !ready(index); i++)
        std::this_thread::sleep_for(100ms);
    return ready(index);
}

TEST(RemovalTest, AnUnboundBoardGoesAndComesBack)
{
    fresh_driver();
    ASSERT_TRUE(board::present(1)) << "a second board";
    ASSERT_EQ(emulator("device_del board1"), "ok");
    EXPECT_FALSE(board::present(1));
    ASSERT_EQ(emulator("device_add board1"), "ok");
    ASSERT_TRUE(appears(1));
    EXPECT_TRUE(board::command("status 0x0001", 1));
    EXPECT_EQ(board::state(1)["status"], "0x0001");
    EXPECT_TRUE(driver_loaded()) << "the driver keeps its own board";
}

// Until the driver keeps its state per board, taking away the board it
// serves while a handle is open crashes the kernel (the handle reaches a
// window that is no longer mapped): tests/kernel/run runs this test last
// and counts it as an expected failure.
TEST(RemovalTest, TheBoardTakenAwayWhileAHandleIsOpen)
{
    fresh_driver();
    Device device;
    ASSERT_TRUE(device.is_open());
    ASSERT_EQ(emulator("device_del board0"), "ok");
    uint32_t status = 0;
    EXPECT_EQ(device.command(TCR7750_IOC_GET_STATUS, &status), -ENODEV);
    ASSERT_EQ(emulator("device_add board0"), "ok");
    ASSERT_TRUE(appears(0));
    EXPECT_EQ(Device().command(TCR7750_IOC_GET_STATUS, &status), 0) << "the driver serves the board again";
}

} // namespace
