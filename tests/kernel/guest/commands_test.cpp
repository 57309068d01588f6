// SPDX-License-Identifier: GPL-2.0-only
// The ten control commands: what each writes to and reads from the board,
// what it answers, and which commands and addresses are refused.
#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

#include "guest_support.h"
#include "board_model.h"
#include "tcr7750_regs.h"

using namespace guest;

namespace {

Access control_write(uint32_t value)
{
    return {'W', REG_CONTROL, REG_CONTROL_WIDTH, value};
}

class CommandsTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(device.is_open()); }

    long set_year(uint16_t year) { return device.command(TCR7750_IOC_SET_YEAR, &year); }
    long set_period(uint16_t period) { return device.command(TCR7750_IOC_SET_PERIOD, &period); }
    long enable_timestamp(uint8_t falling) { return device.command(TCR7750_IOC_ENABLE_TS, &falling); }
    long set_mode(uint8_t mode) { return device.command(TCR7750_IOC_SET_IRIG_MODE, &mode); }
    uint32_t status_word()
    {
        uint32_t word = 0;
        EXPECT_EQ(device.command(TCR7750_IOC_GET_STATUS, &word), 0);
        return word;
    }

    // A page whose first bytes are readable and writable and the next page not.
    FreshDriver fresh;
    Device device;
};

TEST_F(CommandsTest, SetYearWritesTheYearThenTheLoadPulse)
{
    KernelLog log;
    ASSERT_EQ(set_year(2008), 0);
    std::vector<Access> expected{{'W', REG_INITIAL_YEAR, 2, 0x07D8}, control_write(CTL_LOAD_YEAR)};
    EXPECT_EQ(board::writes(), expected);
    auto line = log.find("Set initial year ");
    ASSERT_TRUE(line);
    EXPECT_EQ(line->level, default_log_level());
    // The year, then the low 32 bits of the register's mapped address.
    unsigned year = 0, address = 0;
    char end = 0;
    ASSERT_EQ(std::sscanf(line->text.c_str(), "Set initial year %u %8X%c", &year, &address, &end), 2)
        << line->text;
    EXPECT_EQ(year, 2008u);
    EXPECT_EQ(address % 0x100, static_cast<unsigned>(REG_INITIAL_YEAR)) << "the window is page aligned";

    board::command("time 2011 3 1 12 0 0 0");
    ASSERT_EQ(set_year(2012), 0);
    tcr7750_time record{};
    Device now(O_NONBLOCK);
    ASSERT_EQ(now.read_record(record), TCR7750_TIME_SIZE);
    EXPECT_EQ(record.year, 2012) << "the board took the year";
}

TEST_F(CommandsTest, SetPeriodTakesTheLowSixteenBitsAndEnables)
{
    KernelLog log;
    uint32_t wide = 0x0001000A; // a 32-bit variable: only its low half counts
    ASSERT_EQ(device.command(TCR7750_IOC_SET_PERIOD, &wide), 0);
    std::vector<Access> expected{{'W', REG_PERIOD, 2, 0x000A},
                                 control_write(CTL_PERIODIC_ENABLE | CTL_PERIODIC_ACK)};
    EXPECT_EQ(board::writes(), expected);
    auto line = log.find("Period interrupt set");
    ASSERT_TRUE(line);
    EXPECT_EQ(line->text, "Period interrupt set 10");
    EXPECT_EQ(line->level, default_log_level());
    EXPECT_EQ(board::state()["period"], "10");
}

TEST_F(CommandsTest, EnableTimestampChoosesTheEdgeWithoutPulse)
{
    ASSERT_EQ(enable_timestamp(1), 0);
    ASSERT_EQ(enable_timestamp(0), 0);
    ASSERT_EQ(enable_timestamp(0x80), 0);
    std::vector<Access> expected{control_write(CTL_TIMESTAMP_ENABLE | CTL_FALLING_EDGE),
                                 control_write(CTL_TIMESTAMP_ENABLE),
                                 control_write(CTL_TIMESTAMP_ENABLE | CTL_FALLING_EDGE)};
    EXPECT_EQ(board::writes(), expected);
}

TEST_F(CommandsTest, IrigModeBytesMapToTheDecodingField)
{
    ASSERT_EQ(set_mode(TCR7750_IRIG_MODE_AFNOR), 0);
    ASSERT_EQ(set_mode(1), 0);   // no mode: field kept, register still written
    ASSERT_EQ(set_mode(TCR7750_IRIG_MODE_TD), 0);
    ASSERT_EQ(set_mode(200), 0); // no mode either
    ASSERT_EQ(set_mode(TCR7750_IRIG_MODE_STANDARD), 0);
    std::vector<Access> expected{control_write(CTL_MODE_AFNOR), control_write(CTL_MODE_AFNOR),
                                 control_write(CTL_MODE_TD), control_write(CTL_MODE_TD),
                                 control_write(0)};
    EXPECT_EQ(board::writes(), expected);
}

TEST_F(CommandsTest, ShadowCarriesLevelBitsAndNeverPulses)
{
    ASSERT_EQ(set_period(10), 0);
    ASSERT_EQ(enable_timestamp(1), 0);
    ASSERT_EQ(set_mode(TCR7750_IRIG_MODE_TD), 0);
    ASSERT_EQ(set_year(2009), 0);
    ASSERT_EQ(set_mode(1), 0);
    ASSERT_EQ(device.command(TCR7750_IOC_DISABLE), 0);
    ASSERT_EQ(set_mode(1), 0);
    std::vector<Access> controls;
    for (const Access& a : board::writes())
        if (a.offset == REG_CONTROL)
            controls.push_back(a);
    std::vector<Access> expected{
        control_write(0x0009), // period enable + acknowledge
        control_write(0x0007), // + time stamp on the falling edge; no acknowledge kept
        control_write(0x0047), // + TD decoding
        control_write(0x0057), // + load-year pulse, this write only
        control_write(0x0047),
        control_write(0x004C), // disable: enables cleared, edge and mode kept, acknowledge
        control_write(0x0044),
    };
    EXPECT_EQ(controls, expected);
}

TEST_F(CommandsTest, GetStatusReadsControlThenStatus)
{
    board::command("status 0x1231");
    ASSERT_EQ(enable_timestamp(0), 0);
    board::clear_log();
    std::array<uint32_t, 2> buffer{0xAAAAAAAA, 0xAAAAAAAA};
    ASSERT_EQ(device.command(TCR7750_IOC_GET_STATUS, buffer.data()), 0);
    EXPECT_EQ(buffer[0], (uint32_t{CTL_TIMESTAMP_ENABLE} << 16) | 0x1231);
    EXPECT_EQ(buffer[1], 0xAAAAAAAAu) << "only four bytes are written";
    std::vector<Access> expected{{'R', REG_CONTROL, 2, CTL_TIMESTAMP_ENABLE}, {'R', REG_STATUS, 2, 0x1231}};
    EXPECT_EQ(board::log(), expected);
}

TEST_F(CommandsTest, DisableClearsTheEnablesWithAcknowledge)
{
    ASSERT_EQ(set_period(10), 0);
    ASSERT_EQ(enable_timestamp(0), 0);
    board::clear_log();
    ASSERT_EQ(device.command(TCR7750_IOC_DISABLE, reinterpret_cast<void*>(0x1234)), 0)
        << "the argument is ignored";
    std::vector<Access> expected{control_write(CTL_PERIODIC_ACK)};
    EXPECT_EQ(board::writes(), expected);
    EXPECT_EQ(board::state()["control"], "0x0000");
}

TEST_F(CommandsTest, LiveTimestampsComeFromTheBoardInRegisterOrder)
{
    board::command("time 2008 2 14 10 2 3 500");
    ASSERT_EQ(enable_timestamp(0), 0);
    board::command("edge rise");
    board::clear_log();
    tcr7750_timestamps ts{};
    ASSERT_EQ(device.command(TCR7750_IOC_GET_TS, &ts), 0);
    EXPECT_EQ(ts.rise_seconds, 10u * 3600 + 2 * 60 + 3);
    EXPECT_EQ(ts.rise_microseconds, 500u);
    EXPECT_EQ(ts.fall_seconds, 0u);
    std::vector<Access> expected{{'R', REG_RISE_SECONDS, 4, ts.rise_seconds},
                                 {'R', REG_RISE_MICROSECONDS, 4, 500},
                                 {'R', REG_FALL_SECONDS, 4, 0},
                                 {'R', REG_FALL_MICROSECONDS, 4, 0}};
    EXPECT_EQ(board::log(), expected);
}

TEST_F(CommandsTest, StoredTimestampIsZeroBeforeAnyTimestampInterrupt)
{
    std::array<uint8_t, 16> stored;
    stored.fill(0xAA);
    ASSERT_EQ(device.command(TCR7750_IOC_GET_STORED_TS, stored.data()), 0);
    EXPECT_EQ(stored, (std::array<uint8_t, 16>{}));
    EXPECT_TRUE(board::log().empty()) << "the latched copy needs no register";
}

TEST_F(CommandsTest, VersionIsSixteenRawBytesReadOneByOne)
{
    std::array<char, REG_VERSION_SIZE> version{};
    ASSERT_EQ(device.command(TCR7750_IOC_GET_VERSION, version.data()), 0);
    EXPECT_EQ(std::memcmp(version.data(), TCR7750_MODEL_DEFAULT_VERSION, 16), 0);
    auto log = board::log();
    ASSERT_EQ(log.size(), 16u);
    for (unsigned i = 0; i < 16; i++)
        EXPECT_EQ(log[i], (Access{'R', REG_VERSION + i, 1, static_cast<uint8_t>(version[i])}));
}

TEST_F(CommandsTest, DumpCopiesTheWholeWindow)
{
    board::command("time 2010 7 4 1 2 3 0");
    board::command("status 0x0F01");
    ASSERT_EQ(set_mode(TCR7750_IRIG_MODE_AFNOR), 0);
    std::array<uint8_t, TCR7750_WINDOW_SIZE> window{};
    ASSERT_EQ(device.command(TCR7750_IOC_DUMP, window.data()), 0);
    auto at16 = [&](unsigned offset) { return window[offset] | window[offset + 1] << 8; };
    EXPECT_EQ(at16(REG_STATUS), 0x0F01);
    EXPECT_EQ(at16(REG_YEAR), 2010);
    EXPECT_EQ(at16(REG_MONTH), 7);
    EXPECT_EQ(at16(REG_HOURS), 1);
    EXPECT_EQ(at16(REG_CONTROL), CTL_MODE_AFNOR);
    EXPECT_EQ(std::memcmp(&window[REG_VERSION], TCR7750_MODEL_DEFAULT_VERSION, 16), 0);
}

TEST_F(CommandsTest, BlockCopyAnswersTheBytesLeftUncopied)
{
    GuardedPage memory;
    // Only the first 16 bytes of the 256 land in writable memory.
    EXPECT_EQ(device.command(TCR7750_IOC_DUMP, memory.last(16)), 240);
    EXPECT_EQ(device.command(TCR7750_IOC_GET_VERSION, memory.last(4)), 12);
}

TEST_F(CommandsTest, TwoCommandsNeverRunAtOnce)
{
    // Each of these writes a data register, then the control register; run
    // side by side, no write of one may fall between the two of the other.
    constexpr int rounds = 150;
    auto repeat = [](unsigned long command, uint16_t value) {
        Device own;
        for (int i = 0; i < rounds; i++)
            own.command(command, &value);
    };
    std::thread years(repeat, TCR7750_IOC_SET_YEAR, 2008);
    std::thread periods(repeat, TCR7750_IOC_SET_PERIOD, 10);
    years.join();
    periods.join();

    auto writes = board::writes();
    ASSERT_EQ(writes.size(), 4u * rounds);
    for (size_t i = 0; i < writes.size(); i += 2) {
        const Access& data = writes[i];
        const Access& control = writes[i + 1];
        ASSERT_EQ(control.offset, static_cast<unsigned>(REG_CONTROL)) << "write " << i;
        uint32_t pulse = data.offset == REG_INITIAL_YEAR ? CTL_LOAD_YEAR : CTL_PERIODIC_ACK;
        EXPECT_EQ(control.value & CTL_PULSE_MASK, pulse) << "write " << i;
    }
}

TEST_F(CommandsTest, HandlerAcknowledgeNeverUndoesACommandOnAnotherCpu)
{
    if (std::thread::hardware_concurrency() < 2)
        GTEST_SKIP() << "needs two CPUs";
    auto pin_to_cpu = [](int cpu) {
        cpu_set_t set;
        CPU_ZERO(&set);
        CPU_SET(cpu, &set);
        ASSERT_EQ(sched_setaffinity(0, sizeof set, &set), 0);
    };
    struct Case {
        unsigned long command;
        uint8_t argument;
        uint32_t control; // on the board once both writes are in
    };
    const Case cases[] = {
        {TCR7750_IOC_DISABLE, 0, 0},
        {TCR7750_IOC_ENABLE_TS, 0, CTL_PERIODIC_ENABLE | CTL_TIMESTAMP_ENABLE},
        {TCR7750_IOC_SET_IRIG_MODE, TCR7750_IRIG_MODE_TD, CTL_PERIODIC_ENABLE | CTL_MODE_TD},
    };
    // The board's interrupts on CPU 0 (the vector moves at the next one).
    std::ofstream("/proc/irq/" + std::to_string(board::irq()) + "/smp_affinity_list") << "0";
    board::command("irq 0x0008");
    for (const Case& c : cases) {
        ASSERT_EQ(device.command(TCR7750_IOC_DISABLE), 0);
        ASSERT_EQ(set_mode(TCR7750_IRIG_MODE_STANDARD), 0);
        ASSERT_EQ(set_period(10), 0);
        uint64_t held = board::state_number("irq_writes_held");
        // The periodic interrupt comes on CPU 0, where its acknowledge waits at
        // the board for a moment; meanwhile the command runs on CPU 1.
        board::command("hold-irq-write 300");
        std::thread interrupt([&] {
            pin_to_cpu(0);
            board::command("advance 1000000000");
        });
        std::thread command([&] {
            pin_to_cpu(1);
            bool held = false;
            for (int i = 0; i < 1000 && !(held = board::state_number("irq_write_held") == 1); i++)
                usleep(1000);
            EXPECT_TRUE(held) << "the command comes while the handler's write is held";
            uint8_t argument = c.argument;
            EXPECT_EQ(device.command(c.command, &argument), 0);
        });
        interrupt.join();
        command.join();
        ASSERT_EQ(board::state_number("irq_writes_held"), held + 1) << "the handler's write was held";
        EXPECT_EQ(board::state_number("control"), c.control) << "command " << std::hex << c.command;
    }
}

TEST_F(CommandsTest, ACopyWaitingForItsPageHoldsUpNoOtherCommand)
{
    StalledDump stalled; // a dump waits in its copy to the caller
    ASSERT_TRUE(stalled.held());
    uint32_t word = 0;
    BlockedCall other([&] { return device.command(TCR7750_IOC_GET_STATUS, &word); });
    EXPECT_TRUE(other.done()) << "no command lock is held across the copy";
    EXPECT_EQ(stalled.release(), 0) << "the dump completes once its page comes";
    EXPECT_EQ(other.result(), 0);
}

// Reading the time-stamp registers acknowledges the board's time-stamp
// interrupt: a read-only handle may not take it from under the handler.
TEST_F(CommandsTest, ReadOnlyHandleChangesNothingNorTakesTheTimeStamps)
{
    int fd = open(TCR7750_DEVICE_PATH, O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    const unsigned long changing[] = {TCR7750_IOC_DISABLE, TCR7750_IOC_SET_YEAR, TCR7750_IOC_SET_PERIOD,
                                      TCR7750_IOC_ENABLE_TS, TCR7750_IOC_SET_IRIG_MODE, TCR7750_IOC_GET_TS,
                                      TCR7750_IOC_DUMP};
    const unsigned long reading[] = {TCR7750_IOC_GET_STATUS, TCR7750_IOC_GET_STORED_TS, TCR7750_IOC_GET_VERSION};
    uint64_t argument = 1;
    for (unsigned long command : changing)
        EXPECT_EQ(ioctl(fd, command, &argument) == 0 ? 0 : errno, EPERM) << std::hex << command;
    EXPECT_TRUE(board::log().empty());
    unsigned char answer[TCR7750_WINDOW_SIZE];
    for (unsigned long command : reading)
        EXPECT_EQ(ioctl(fd, command, answer), 0) << std::hex << command;
    EXPECT_EQ(read(fd, answer, TCR7750_TIME_SIZE), TCR7750_TIME_SIZE);
    close(fd);
}

TEST_F(CommandsTest, UnknownCommandsAreRefusedUntouched)
{
    const unsigned long refused[] = {
        _IO(0xE1, 0),                                    // another type byte
        _IOW('T', 1, void*),
        _IO(TCR7750_IOC_TYPE, 10),                       // number above 9
        _IOR(TCR7750_IOC_TYPE, 10, void*),
        _IOW(TCR7750_IOC_TYPE, 1, int),                  // known number, size 4
        _IOR(TCR7750_IOC_TYPE, 1, void*),                // known number, other direction
        _IO(TCR7750_IOC_TYPE, 2),                        // known number, no data
        _IOWR(TCR7750_IOC_TYPE, 9, void*),
    };
    uint64_t argument = 0;
    for (unsigned long command : refused)
        EXPECT_EQ(device.command(command, &argument), -ENOTTY) << std::hex << command;
    EXPECT_TRUE(board::log().empty());
    EXPECT_EQ(argument, 0u);
}

TEST_F(CommandsTest, BadAddressIsRefusedBeforeTheCommandIsLookedUp)
{
    void* kernel_address = reinterpret_cast<void*>(0xffff888000000000ul);
    EXPECT_EQ(device.command(TCR7750_IOC_SET_YEAR, kernel_address), -EFAULT);
    EXPECT_EQ(device.command(TCR7750_IOC_DUMP, kernel_address), -EFAULT);
    // Unrecognised, but a bad range is found first.
    EXPECT_EQ(device.command(_IOW(TCR7750_IOC_TYPE, 5, void*), kernel_address), -EFAULT);
    uint64_t good = 0;
    EXPECT_EQ(device.command(_IOW(TCR7750_IOC_TYPE, 5, void*), &good), -ENOTTY);
    // No data, so no range to check: the disable works with any argument.
    EXPECT_EQ(device.command(TCR7750_IOC_DISABLE, kernel_address), 0);
    board::clear_log();
    EXPECT_EQ(device.command(TCR7750_IOC_SET_PERIOD, kernel_address), -EFAULT);
    EXPECT_TRUE(board::log().empty());
}

TEST_F(CommandsTest, UnusableArgumentTouchesNoRegister)
{
    GuardedPage memory;
    EXPECT_EQ(device.command(TCR7750_IOC_SET_YEAR, memory.unreadable()), -EFAULT);
    EXPECT_EQ(device.command(TCR7750_IOC_SET_PERIOD, memory.unreadable()), -EFAULT);
    EXPECT_EQ(device.command(TCR7750_IOC_ENABLE_TS, memory.unreadable()), -EFAULT);
    EXPECT_EQ(device.command(TCR7750_IOC_SET_IRIG_MODE, memory.unreadable()), -EFAULT);
    EXPECT_EQ(device.command(TCR7750_IOC_GET_STATUS, memory.unreadable()), -EFAULT);
    EXPECT_EQ(device.command(TCR7750_IOC_GET_STATUS, memory.last(2)), -EFAULT) << "half the word";
    // Block copies answer the bytes left uncopied: here all of them.
    EXPECT_EQ(device.command(TCR7750_IOC_GET_TS, memory.unreadable()), 16);
    EXPECT_EQ(device.command(TCR7750_IOC_GET_VERSION, memory.unreadable()), 16);
    EXPECT_EQ(device.command(TCR7750_IOC_DUMP, memory.unreadable()), 256);
    EXPECT_EQ(board::log(), std::vector<Access>{}) << "not even a read";
}

// What a program sees of every command (device_check's lines) and what the
// board sees of them, from the same start.
std::pair<std::string, std::vector<Access>> check_device(const std::string& program)
{
    fresh_driver();
    board::command("time 2010 7 4 1 2 3 0");
    board::command("status 0x0F01");
    Process check({program});
    EXPECT_EQ(check.wait(), 0) << program;
    return {check.read_rest(), board::log()};
}

TEST(CommandsFrom32BitTest, AnswerAndReachTheBoardAsFrom64Bit)
{
    auto [native, native_accesses] = check_device("/tests/device_check");
    ASSERT_NE(native.find("set-year 0\n"), std::string::npos) << native;
    ASSERT_NE(native.find("unknown -25\n"), std::string::npos) << native;
    auto [compat, compat_accesses] = check_device("/tests/device_check32");
    EXPECT_EQ(compat, native);
    EXPECT_EQ(compat_accesses, native_accesses);
}

} // namespace
