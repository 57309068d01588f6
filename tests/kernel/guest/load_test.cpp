// SPDX-License-Identifier: GPL-2.0-only
// Loading tcr7750_drv: log lines and levels, parameters, the interrupt
// chosen, the board's start state, and a bus without a board.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "guest_support.h"
#include "tcr7750_regs.h"

using namespace guest;
using namespace std::string_literals;

namespace {

constexpr int alert = 1;
constexpr int info = 6;

class LoadTest : public testing::Test {
protected:
    void SetUp() override
    {
        fresh_driver();
        ASSERT_EQ(unload_driver(), 0);
        board::clear_log();
    }
    void TearDown() override
    {
        if (!board::present())
            board::rescan();
        fresh_driver();
    }

    std::string activation_line(int line) { return "tcr7750 : irq activation " + std::to_string(line); }
    std::string activation_logged(KernelLog& log)
    {
        auto line = log.find("tcr7750 : irq activation");
        return line ? line->text : "(no activation line)";
    }
};

TEST_F(LoadTest, DefaultLoadLogsEachLineWithItsLevel)
{
    KernelLog log;
    ASSERT_EQ(load_driver(), 0);

    auto resources = log.find("tcr7750 resources ");
    ASSERT_TRUE(resources);
    EXPECT_EQ(resources->level, info);
    // BAR 0 start and end, its flags, then the line the kernel routed.
    std::ifstream bars(board::pci_device() + "/resource");
    unsigned long long start = 0, end = 0;
    bars >> std::hex >> start >> end;
    char expected[64];
    std::snprintf(expected, sizeof expected, "tcr7750 resources %llX %llX ", start, end);
    EXPECT_EQ(end - start + 1, TCR7750_WINDOW_SIZE);
    EXPECT_EQ(resources->text.rfind(expected, 0), 0u) << resources->text;
    EXPECT_TRUE(resources->text.ends_with(" IRQ " + std::to_string(board::irq()))) << resources->text;

    auto activation = log.find("tcr7750 : irq activation");
    ASSERT_TRUE(activation);
    EXPECT_EQ(activation->text, activation_line(board::irq()));
    EXPECT_EQ(activation->level, default_log_level());

    auto registered = log.find("tcr7750 registered");
    ASSERT_TRUE(registered);
    EXPECT_EQ(registered->text, "tcr7750 registered [85]");
    EXPECT_EQ(registered->level, info);
    EXPECT_NE(device_major(), 85) << "the line shows the parameter, not the major";
    EXPECT_NE(interrupts_line(board::irq()).find("tcr7750"), std::string::npos);
}

TEST_F(LoadTest, ModuleInformationAndReadOnlyParameters)
{
    ASSERT_EQ(load_driver("tcr7750_major=7 irq=-1"), 0);
    const std::pair<const char*, const char*> parameters[] = {{"tcr7750_major", "7"}, {"irq", "-1"}};
    for (auto [name, value] : parameters) {
        std::string path = std::string("/sys/module/tcr7750_drv/parameters/") + name;
        struct stat st{};
        ASSERT_EQ(stat(path.c_str(), &st), 0) << path;
        EXPECT_EQ(st.st_mode & 0777, 0444u) << path;
        std::ifstream file(path);
        std::string text;
        file >> text;
        EXPECT_EQ(text, value) << path;
    }
    // The module's .modinfo section: "name=value" strings.
    std::ifstream module("/modules/tcr7750_drv.ko", std::ios::binary);
    std::string image((std::istreambuf_iterator<char>(module)), std::istreambuf_iterator<char>());
    EXPECT_NE(image.find("description=TCR7750 PCI board\0"s), std::string::npos);
    EXPECT_NE(image.find("license=GPL\0"s), std::string::npos);
}

TEST_F(LoadTest, RegisteredLineShowsTheMajorParameter)
{
    KernelLog log;
    ASSERT_EQ(load_driver("tcr7750_major=7"), 0);
    auto registered = log.find("tcr7750 registered");
    ASSERT_TRUE(registered);
    EXPECT_EQ(registered->text, "tcr7750 registered [7]");
    EXPECT_GT(device_major(), 0);
    EXPECT_NE(device_major(), 7);
}

TEST_F(LoadTest, LoadWritesOnlyThePeriodicAcknowledge)
{
    board::command("status 0x0001");
    ASSERT_EQ(load_driver(), 0);
    std::vector<Access> expected{{'W', REG_CONTROL, 2, CTL_PERIODIC_ACK}};
    EXPECT_EQ(board::writes(), expected);
    EXPECT_EQ(board::state()["control"], "0x0000");
}

TEST_F(LoadTest, NegativeIrqRunsWithoutInterrupt)
{
    KernelLog log;
    ASSERT_EQ(load_driver("irq=-1"), 0);
    auto not_used = log.find("tcr7750 : IRQ not used");
    ASSERT_TRUE(not_used);
    EXPECT_EQ(not_used->level, default_log_level());
    EXPECT_FALSE(log.find("tcr7750 : irq activation"));
    EXPECT_EQ(interrupts_line(board::irq()).find("tcr7750"), std::string::npos);

    // Everything but a blocking read still works.
    Device device(O_NONBLOCK);
    ASSERT_TRUE(device.is_open());
    uint32_t status = 0;
    EXPECT_EQ(device.command(TCR7750_IOC_GET_STATUS, &status), 0);
    tcr7750_time record{};
    EXPECT_EQ(device.read_record(record), TCR7750_TIME_SIZE);
    EXPECT_EQ(record.year, 2008);
}

TEST_F(LoadTest, ExplicitIrqOverridesTheConfigurationByte)
{
    KernelLog log;
    int spare = board::spare_irq();
    ASSERT_EQ(load_driver("irq=" + std::to_string(spare)), 0);
    EXPECT_EQ(activation_logged(log), activation_line(spare));
    EXPECT_NE(interrupts_line(spare).find("tcr7750"), std::string::npos);
    EXPECT_EQ(interrupts_line(board::irq()).find("tcr7750"), std::string::npos);
}

// The line the kernel routed when it bound the board, whatever the
// configuration byte says now or whether it can be read at all.
TEST_F(LoadTest, DefaultTakesTheLineTheKernelRouted)
{
    for (std::string byte : {"line " + std::to_string(board::spare_irq()), "line-error 1"s}) {
        board::command(byte);
        KernelLog log;
        ASSERT_EQ(load_driver(), 0) << byte;
        EXPECT_EQ(activation_logged(log), activation_line(board::irq())) << byte;
        EXPECT_FALSE(log.find("tcr7750 interrupt line error")) << byte;
        EXPECT_NE(interrupts_line(board::irq()).find("tcr7750"), std::string::npos) << byte;
        ASSERT_EQ(unload_driver(), 0);
        board::command("reset");
    }
}

// A board the firmware left with its memory decoding off: enabling it is
// the driver's work, else it reads all ones and no interrupt comes.
TEST_F(LoadTest, EnablesABoardWhoseMemoryDecodingIsOff)
{
    board::command("pci-command 0");
    ASSERT_EQ(load_driver(), 0);
    Device device(O_NONBLOCK);
    tcr7750_time record{};
    EXPECT_EQ(device.read_record(record), TCR7750_TIME_SIZE);
    EXPECT_EQ(record.year, 2008);
    board::command("irq 0x0008");
    EXPECT_EQ(device.poll_events(), POLLIN | POLLRDNORM);
}

TEST_F(LoadTest, RefusedRequestLeavesTheDriverWithoutInterrupt)
{
    KernelLog log;
    int busy = board::busy_irq();
    ASSERT_EQ(load_driver("irq=" + std::to_string(busy)), 0);
    auto refused = log.find("tcr7750 - impossible to assign IRQ");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->text, "tcr7750 - impossible to assign IRQ " + std::to_string(busy));
    EXPECT_EQ(refused->level, info);
    EXPECT_EQ(activation_logged(log), activation_line(-1));
    Device device;
    EXPECT_TRUE(device.is_open());
}

TEST_F(LoadTest, NoBoardFailsTheLoadAndLeavesNothing)
{
    board::remove_all();
    KernelLog log;
    EXPECT_EQ(insert_module("/modules/tcr7750_drv.ko", ""), ENODEV);
    auto error = log.find("tcr7750 pci get device error");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->text, "tcr7750 pci get device error, [err=0]");
    EXPECT_EQ(error->level, alert);
    EXPECT_FALSE(driver_loaded());
    EXPECT_EQ(device_major(), -1);
    board::rescan();
    EXPECT_EQ(load_driver(), 0) << "a later load finds the board";
}

TEST_F(LoadTest, AsynchronousProbingAskedForStillFindsTheBoard)
{
    KernelLog log;
    ASSERT_EQ(insert_module("/modules/tcr7750_drv.ko", "async_probe=1"), 0);
    EXPECT_TRUE(log.find("tcr7750 registered [85]"));
}

TEST_F(LoadTest, NodeScriptServesMinorsZeroToTwoOnly)
{
    ASSERT_EQ(load_driver(), 0);
    int major = device_major();
    const char* nodes[] = {"/dev/tcr7750", "/dev/tcr7750-1", "/dev/tcr7750-2"};
    for (unsigned minor = 0; minor < 3; minor++) {
        const char* node = nodes[minor];
        struct stat st{};
        ASSERT_EQ(stat(node, &st), 0) << node;
        EXPECT_TRUE(S_ISCHR(st.st_mode));
        EXPECT_EQ(st.st_rdev, makedev(major, minor)) << node;
        EXPECT_EQ(st.st_mode & 0777, 0660u) << "as the packages' udev rule makes them";
        Device device(0, node);
        EXPECT_TRUE(device.is_open()) << node;
    }

    const char* fourth = "/tmp/tcr7750-3";
    unlink(fourth);
    ASSERT_EQ(mknod(fourth, S_IFCHR | 0600, makedev(major, 3)), 0);
    Device unserved(0, fourth);
    EXPECT_FALSE(unserved.is_open());
    EXPECT_EQ(errno, ENXIO);
    unlink(fourth);
}

TEST_F(LoadTest, TwoHandlesOpenAtOnce)
{
    ASSERT_EQ(load_driver(), 0);
    Device first, second(0, "/dev/tcr7750-1");
    EXPECT_TRUE(first.is_open());
    EXPECT_TRUE(second.is_open());
}

} // namespace
