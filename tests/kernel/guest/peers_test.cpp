// SPDX-License-Identifier: GPL-2.0-only
// The board's clock with real time programs: chrony and linuxptp from
// Debian's packages, which tests/kernel/run lays over the guest's root.
// These run in real time: the board follows the guest's raw clock, from a
// known offset to its CLOCK_REALTIME, and the programs steer the guest's own
// clock (never this machine's).  They wait on what the programs print, with
// timeouts, never for a fixed time.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "guest_support.h"

using namespace guest;
using namespace std::chrono_literals;

namespace {

const char* chronyd = "/usr/sbin/chronyd";
const char* chronyc = "/usr/bin/chronyc";
const char* phc_ctl = "/usr/sbin/phc_ctl";
const char* phc2sys = "/usr/sbin/phc2sys";
const char* chrony_conf = "/tmp/tcr7750-chrony.conf";

// What a program prints until it ends, or until the time is up.
std::string output_of(const std::vector<std::string>& argv, std::chrono::milliseconds limit = 30s)
{
    Process program(argv);
    std::string output;
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        auto line = program.read_line(static_cast<int>(std::max<int64_t>(left.count(), 1)));
        if (!line)
            break;
        output += *line + "\n";
    }
    program.wait();
    return output;
}

// The first number that follows the pattern's text in the output.
std::optional<double> number_after(const std::string& output, const std::string& pattern)
{
    std::smatch match;
    if (!std::regex_search(output, match, std::regex(pattern + " ?([-+]?[0-9.]+)")))
        return std::nullopt;
    return std::stod(match[1]);
}

std::vector<std::string> csv_fields(const std::string& line)
{
    std::vector<std::string> fields;
    std::istringstream in(line);
    std::string field;
    while (std::getline(in, field, ','))
        fields.push_back(field);
    return fields;
}

// Polls until the condition holds or the time is up.
bool eventually(const std::function<bool()>& condition, std::chrono::seconds limit)
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(250ms);
    }
    return true;
}

class PeersTest : public testing::Test {
protected:
    void SetUp() override
    {
        for (const char* program : {chronyd, chronyc, phc_ctl, phc2sys})
            ASSERT_EQ(access(program, X_OK), 0) << program << " is not in this guest (tests/kernel/run lays "
                                                             "Debian's chrony and linuxptp over its root)";
        ASSERT_TRUE(phc.is_open());
        chmod("/run/chrony", 0750); // chronyd refuses a command socket in a more open folder
        std::ofstream(chrony_conf) << "refclock PHC " << phc.path() << " poll 0 dpoll -2 offset 0\n";
        board::command("status 0x0001");
    }

    // The board this far ahead of the guest's clock, from now on in real time.
    void board_ahead_by(int64_t ns) { ASSERT_TRUE(board::command("realtime-offset " + std::to_string(ns))); }

    // chronyc -c COMMAND: the fields of its first line whose second field is the clock's name.
    std::vector<std::string> chronyc_line(const std::string& command, size_t name_field)
    {
        std::istringstream lines(output_of({chronyc, "-c", command}, 10s));
        std::string line;
        while (std::getline(lines, line)) {
            auto fields = csv_fields(line);
            if (fields.size() > name_field && fields[name_field] == "PHC0")
                return fields;
        }
        return {};
    }

    FreshDriver fresh;
    Phc phc;
};

TEST_F(PeersTest, ChronyMeasuresTheOffsetSetOnTheBoard)
{
    board_ahead_by(250'000'000);
    std::string output = output_of({chronyd, "-Q", "-f", chrony_conf, "-u", "root", "-t", "30"});
    auto wrong_by = number_after(output, "System clock wrong by");
    ASSERT_TRUE(wrong_by) << output;
    EXPECT_NEAR(*wrong_by, 0.250, 0.001) << output;
}

TEST_F(PeersTest, ChronyStepsTheGuestClockThenTracksTheBoardUntilTheFrameGoesBad)
{
    board_ahead_by(2'500'000'000);
    std::string output = output_of({chronyd, "-q", "-f", chrony_conf, "-u", "root", "-t", "30"});
    auto stepped = number_after(output, "System clock wrong by");
    ASSERT_TRUE(stepped) << output;
    EXPECT_NEAR(*stepped, 2.5, 0.001) << output;
    EXPECT_NE(output.find("(step)"), std::string::npos) << output;
    auto offset = phc.offset_ns();
    ASSERT_TRUE(offset);
    EXPECT_LT(std::abs(*offset), 1'000'000) << "the guest's clock is on the board";

    Process daemon({chronyd, "-d", "-f", chrony_conf, "-u", "root"});
    std::vector<std::string> tracking;
    bool tracks = eventually(
        [&] {
            // Reference ID, name, ..., last offset (5), ..., leap status (13).
            tracking = chronyc_line("tracking", 1);
            return tracking.size() > 13 && tracking[13] == "Normal" && std::abs(std::stod(tracking[5])) < 0.001;
        },
        30s);
    ASSERT_TRUE(tracks) << (tracking.empty() ? "no tracking line" : tracking[0] + " " + tracking[5]);
    EXPECT_EQ(tracking[0], "50484330") << "the reference is the clock (\"PHC0\")";

    // A bad frame: no reading, so three polls in a row bring no sample.
    board::command("status 0x0070");
    std::vector<std::string> source;
    bool stopped = eventually(
        [&] {
            // Mode, state, name, stratum, poll, reach (octal, 5), last sample's age (6), ...
            source = chronyc_line("sources", 2);
            return source.size() > 6 && (std::stoul(source[5], nullptr, 8) & 7) == 0;
        },
        20s);
    EXPECT_TRUE(stopped) << (source.empty() ? "no source line" : "reach " + source[5]);
    if (stopped) {
        EXPECT_GE(std::stoi(source[6]), 3) << "seconds since the last sample";
    }
    daemon.interrupt();
}

TEST_F(PeersTest, PhcCtlReadsTheClockAndComparesItWithTheGuestClock)
{
    board_ahead_by(-1'500'000'000);
    int64_t before = phc.read_ns();
    std::string output = output_of({phc_ctl, phc.path(), "get", "cmp"});
    int64_t after = phc.read_ns();

    auto clock_time = number_after(output, "clock time is");
    ASSERT_TRUE(clock_time) << output;
    EXPECT_GE(*clock_time, static_cast<double>(before) / 1e9 - 1e-6) << output;
    EXPECT_LE(*clock_time, static_cast<double>(after) / 1e9 + 1e-6) << output;
    // phc_ctl gives the guest's clock minus the board's.
    auto offset = number_after(output, "offset from CLOCK_REALTIME is");
    ASSERT_TRUE(offset) << output;
    EXPECT_NEAR(*offset, 1.5e9, 1e6) << output;
}

TEST_F(PeersTest, Phc2sysBringsTheGuestClockOntoTheBoard)
{
    board_ahead_by(750'000'000);
    Process sync({phc2sys, "-s", phc.path(), "-c", "CLOCK_REALTIME", "-O", "0", "-m", "-R", "4"});
    // "CLOCK_REALTIME phc offset N s2 freq ..." once locked; four small ones in a row.
    std::regex locked("phc offset +([-0-9]+) s2");
    int small_in_a_row = 0;
    std::string last;
    auto deadline = std::chrono::steady_clock::now() + 40s;
    while (small_in_a_row < 4 && std::chrono::steady_clock::now() < deadline) {
        auto line = sync.read_line(5000);
        if (!line)
            break;
        last = *line;
        std::smatch match;
        if (std::regex_search(*line, match, locked) && std::abs(std::stoll(match[1])) < 100'000)
            small_in_a_row++;
        else
            small_in_a_row = 0;
    }
    EXPECT_EQ(small_in_a_row, 4) << "last line: " << last;
    sync.interrupt();
    auto offset = phc.offset_ns();
    ASSERT_TRUE(offset);
    EXPECT_LT(std::abs(*offset), 1'000'000) << "the guest's clock is on the board";
}

} // namespace
