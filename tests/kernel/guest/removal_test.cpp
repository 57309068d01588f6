// SPDX-License-Identifier: GPL-2.0-only
// Two boards bound at once, and boards leaving and coming back: through
// their PCI device's "remove" file and a rescan, and through the emulator
// (device_del and device_add), in the kit's boot with two boards
// (tests/kernel/run).
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <poll.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

#include "guest_support.h"
#include "tcr7750_regs.h"

using namespace guest;
using namespace std::chrono_literals;

namespace {

// The guest's hot-plug handling finds an added board a moment after QEMU.
bool appears(const std::string& path)
{
    for (int i = 0; i < 100 && access(path.c_str(), F_OK) != 0; i++)
        std::this_thread::sleep_for(100ms);
    return access(path.c_str(), F_OK) == 0;
}

// The kit's index of the board that /dev/tcr7750 serves: the driver numbers
// the boards in their bus's order, in which a rescan puts a board last.
int first_node_board()
{
    std::error_code error;
    std::string address = std::filesystem::canonical("/sys/class/tcr7750/tcr7750/device", error).filename();
    for (int index = 0; index < 16; index++)
        if (board::present(index) && board::state(index)["pci"] == address)
            return index;
    return -1;
}

std::string attribute(int index, const std::string& name)
{
    std::string text;
    std::getline(std::ifstream(board::pci_device(index) + "/" + name), text);
    return text;
}

TEST(TwoBoardsTest, EachHasItsOwnNodeClockAttributesAndYearAndInterrupt)
{
    KernelLog log;
    fresh_driver();
    auto activation = log.find("tcr7750_drv " + board::state(1)["pci"] + ": tcr7750 : irq activation");
    ASSERT_TRUE(activation) << "the second board's lines name its PCI device";
    EXPECT_EQ(activation->level, default_log_level()) << "as the first board's line";

    Device first, second(0, "/dev/tcr7750.1");
    ASSERT_TRUE(second.is_open());
    board::command("status 0x0001", 1);
    uint16_t year = 2030;
    ASSERT_EQ(second.command(TCR7750_IOC_SET_YEAR, &year), 0);
    EXPECT_EQ(attribute(1, "year_set"), "1");
    EXPECT_EQ(attribute(0, "year_set"), "0");
    EXPECT_EQ(attribute(1, "frame_ok"), "1");
    EXPECT_EQ(attribute(0, "frame_ok"), "0");
    Phc first_clock(false), second_clock(false, "/dev/tcr7750.1");
    ASSERT_TRUE(second_clock.is_open());
    EXPECT_NE(first_clock.path(), second_clock.path());
    EXPECT_EQ(first_clock.read_ns(), -EBUSY) << "the first board has no year yet";
    time_t seconds = second_clock.read_ns() / 1'000'000'000;
    tm date{};
    gmtime_r(&seconds, &date);
    EXPECT_EQ(date.tm_year + 1900, 2030);

    uint16_t period = 1;
    ASSERT_EQ(first.command(TCR7750_IOC_SET_PERIOD, &period), 0);
    ASSERT_EQ(second.command(TCR7750_IOC_SET_PERIOD, &period), 0);
    BlockedCall reader([&] { tcr7750_time record; return second.read_record(record); });
    ASSERT_TRUE(sleeping_in_read(reader.tid()));
    board::command("advance 100000000", 0); // the first board's interrupt, served on return
    EXPECT_TRUE(first.poll_events() & POLLIN);
    EXPECT_EQ(second.poll_events(), 0);
    EXPECT_TRUE(sleeping_in_read(reader.tid())) << "the second board's reader sleeps on";
    board::command("advance 100000000", 1);
    ASSERT_TRUE(reader.done());
    EXPECT_EQ(reader.result(), TCR7750_TIME_SIZE);
}

TEST(RemovalTest, ABoardGoesAndComesBack)
{
    fresh_driver();
    ASSERT_TRUE(board::present(1)) << "a second board";
    ASSERT_EQ(emulator("device_del board1"), "ok");
    EXPECT_FALSE(board::present(1));
    ASSERT_EQ(emulator("device_add board1"), "ok");
    // Bound again: its window assigned and enabled (its files come before).
    ASSERT_TRUE(appears("/sys/class/tcr7750/tcr7750.1"));
    EXPECT_TRUE(board::command("status 0x0001", 1));
    EXPECT_EQ(board::state(1)["status"], "0x0001");
}

// The first board taken away under an open handle, a blocked reader, a
// poller and a command waiting for its argument, through its PCI device's
// "remove" file (an unbind, hot-unplug and error recovery remove it the same
// way) and through the emulator's device_del (ACPI hot-unplug): each is
// answered -ENODEV, the kernel logs no complaint, and the board found again
// reads normally through the same node.
TEST(RemovalTest, EveryHandleAnsweredAndTheBoardBackAgain)
{
    // The emulator's name of a board: boardN in slot 4 + N (guest-run).
    auto emulator_name = [](int index) {
        return "board" + std::to_string(std::stoi(board::state(index)["pci"].substr(8, 2), nullptr, 16) - 4);
    };
    struct Way {
        const char* name;
        std::function<bool(const std::string& name)> remove, bring_back;
    };
    const Way ways[] = {
        {"remove", [](const std::string&) { return board::remove_from_bus(first_node_board()); },
         [](const std::string&) { board::rescan(); return true; }},
        {"device_del", [](const std::string& name) { return emulator("device_del " + name) == "ok"; },
         [](const std::string& name) { return emulator("device_add " + name) == "ok"; }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        fresh_driver();
        ASSERT_GE(first_node_board(), 0);
        const std::string name = emulator_name(first_node_board());
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
            ASSERT_TRUE(way.remove(name));
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
        } // the last handle closed: the removed board's state goes
        for (const LogLine& line : log.lines())
            EXPECT_TRUE(line.text.find("BUG") == line.text.npos && line.text.find("WARNING") == line.text.npos)
                << line.text;

        ASSERT_TRUE(way.bring_back(name));
        ASSERT_TRUE(appears("/sys/class/tcr7750/tcr7750"));
        EXPECT_TRUE(log.find("tcr7750 registered [85]"));
        if (way.name == std::string("remove")) {
            // The same device, its log kept: the remove's quiet, flushed,
            // and then nothing until the new probe's first control write.
            std::vector<Access> accesses = board::log(first_node_board());
            const Access quiet[] = {{'W', REG_CONTROL, 2, CTL_PERIODIC_ACK}, {'R', REG_CONTROL, 2, 0}};
            auto removed = std::search(accesses.begin(), accesses.end(), std::begin(quiet), std::end(quiet));
            ASSERT_GT(accesses.end() - removed, 2) << "the remove's quiet, flushed, and the probe after";
            EXPECT_TRUE(removed[2].direction == 'W' && removed[2].offset == REG_CONTROL)
                << "nothing reaches the board through the old handles: " << to_string(removed[2]);
        }
        Device again(O_NONBLOCK);
        ASSERT_EQ(again.read_record(record), TCR7750_TIME_SIZE) << "through the same node";
        EXPECT_EQ(record.year, 2008);
    }
}

} // namespace
