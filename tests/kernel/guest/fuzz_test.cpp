// SPDX-License-Identifier: GPL-2.0-only
// Hostile callers: the ioctl sweep (64-bit and 32-bit), and Debian's syscall
// fuzzer trinity run as an unprivileged user on the three nodes.  Each
// prints its figures.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "guest_support.h"

using namespace guest;

namespace {

TEST(ReliabilitySweep, EveryNumberOfTheTypeGetsOnlyItsDocumentedAnswers)
{
    for (const char* program : {"/tests/ioctl_sweep", "/tests/ioctl_sweep32"}) {
        fresh_driver();
        Process sweep({program});
        std::string output = sweep.read_rest();
        std::printf("%s", output.c_str());
        EXPECT_EQ(sweep.wait(), 0) << program << ":\n" << output;
    }
    fresh_driver();
}

// The user the fuzzer runs as (tests/kernel/peers writes it to /etc/passwd).
constexpr uid_t fuzz_uid = 1000;
constexpr gid_t fuzz_gid = 1000;
const std::string fuzz_dir = "/tmp/fuzz";
const std::string victims = fuzz_dir + "/nodes";
const char* entry_points[] = {"open", "release", "ioctl", "read", "poll"};
const std::string tracing = "/sys/kernel/debug/tracing/";

bool write_text(const std::string& path, const std::string& text)
{
    int fd = open(path.c_str(), O_WRONLY | O_APPEND);
    bool written = fd >= 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (!written)
        std::printf("%s: %s: %s\n", path.c_str(), text.c_str(), std::strerror(errno));
    if (fd >= 0)
        close(fd);
    return written;
}

// Counts the calls that reach the driver's file operations (kprobe events,
// counted without tracing anything).
class EntryCounts {
public:
    EntryCounts()
    {
        for (const char* entry : entry_points)
            write_text(tracing + "kprobe_events",
                       std::string("p:tcr7750_fuzz/") + entry + " tcr7750_drv:tcr7750_" + entry);
        write_text(tracing + "tracing_on", "0");
        armed_ = write_text(tracing + "events/tcr7750_fuzz/enable", "1");
    }
    ~EntryCounts()
    {
        write_text(tracing + "events/tcr7750_fuzz/enable", "0");
        for (const char* entry : entry_points)
            write_text(tracing + "kprobe_events", std::string("-:tcr7750_fuzz/") + entry);
        write_text(tracing + "tracing_on", "1");
    }
    bool armed() const { return armed_; }
    std::map<std::string, unsigned long> counts() const
    {
        std::map<std::string, unsigned long> hits;
        std::ifstream profile(tracing + "kprobe_profile");
        std::string name;
        unsigned long hit, missed;
        while (profile >> name >> hit >> missed)
            hits[name] = hit;
        return hits;
    }

private:
    bool armed_ = false;
};

// The output and exit status of a shell command line.
std::pair<std::string, int> run_shell(const std::string& line)
{
    Process shell({"/bin/sh", "-c", line});
    std::string output = shell.read_rest(); // until the line and all it started end
    return {output, shell.wait()};
}

int kernel_complaints(KernelLog& log)
{
    const std::regex complaint("BUG:|Oops|WARNING:|nobody cared|Call Trace");
    int found = 0;
    for (const LogLine& line : log.lines())
        if (std::regex_search(line.text, complaint)) {
            std::printf("kernel: %s\n", line.text.c_str());
            found++;
        }
    return found;
}

// trinity's victims: the three minors in a directory of their own, given to
// the fuzzer's group (mode 664: the group may write), and its
// working directory.
void prepare_victims()
{
    int major = device_major();
    std::filesystem::remove_all(fuzz_dir);
    mkdir(fuzz_dir.c_str(), 0755);
    mkdir(victims.c_str(), 0755);
    for (int minor = 0; minor < 3; minor++) {
        std::string node = victims + "/tcr7750-" + std::to_string(minor);
        mknod(node.c_str(), S_IFCHR | 0664, makedev(major, minor));
        chown(node.c_str(), 0, fuzz_gid);
        chmod(node.c_str(), 0664);
    }
    // trinity 2023.01's ioctl looks every fd up in its socket list, which
    // exists once it holds a socket; generating its sockets, it crashes at
    // random (a protocol table read past its end).  From this cache it opens
    // one Unix stream socket instead, which every kit kernel has (the
    // debugging kernel is built without IP).
    const unsigned cached_socket[3] = {1 /* AF_UNIX */, 1 /* SOCK_STREAM */, 0};
    std::ofstream(fuzz_dir + "/trinity.socketcache", std::ios::binary)
        .write(reinterpret_cast<const char*>(cached_socket), sizeof cached_socket);
    chown((fuzz_dir + "/trinity.socketcache").c_str(), fuzz_uid, fuzz_gid);
    chown(fuzz_dir.c_str(), fuzz_uid, fuzz_gid);
}

TEST(ReliabilityFuzz, TrinityOnTheNodesLeavesTheKernelQuietAndTheBoardAnswering)
{
    constexpr long calls = 100000;
    constexpr int children = 64; // many blocked readers, the rest go on
    constexpr int seed = 7750;   // one sequence, so that a failure comes again
    ASSERT_EQ(access("/usr/bin/trinity", X_OK), 0)
        << "trinity is not in the guest: run with --root \"$(tests/kernel/peers trinity)\"";
    fresh_driver();
    board::command("time 2024 5 6 7 8 9 0");
    board::command("status 0x0001");
    board::command("realtime 1");
    {
        // Periodic interrupts every tenth of a second: blocking reads end.
        Device setup;
        uint16_t period = 1;
        ASSERT_EQ(setup.command(TCR7750_IOC_SET_PERIOD, &period), 0);
    }
    prepare_victims();
    KernelLog log;
    std::map<std::string, unsigned long> reached;
    std::string output;
    int status;
    double seconds;
    {
        EntryCounts entries;
        ASSERT_TRUE(entries.armed());
        auto before = entries.counts();
        auto start = std::chrono::steady_clock::now();
        std::tie(output, status) = run_shell(
            "su fuzz -c 'cd " + fuzz_dir + " && timeout 900 trinity -q -l off -C " + std::to_string(children) +
            " -N " + std::to_string(calls) + " -s " + std::to_string(seed) +
            " -c ioctl -c read -c poll -c open -c close -V " + victims +
            " --enable-fds=pseudo,testfile,pipes,sockets'");
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        for (auto& [name, hits] : entries.counts())
            reached[name] = hits - before[name];
    }
    std::smatch ran;
    ASSERT_TRUE(std::regex_search(output, ran, std::regex("Ran ([0-9]+) syscalls"))) << output;
    long made = std::stol(ran[1]);
    int complaints = kernel_complaints(log);

    // Afterwards the console tools still get their answers.
    Process annumset({"/tools/annumset", "2031"});
    EXPECT_EQ(annumset.wait(), 0);
    EXPECT_EQ(board::state_number("initial_year"), 2031u);
    Process tickprint({"/tools/tickprint", "1"});
    std::optional<std::string> record = tickprint.read_line(3000);
    EXPECT_EQ(tickprint.interrupt(), 0);
    board::command("realtime 0");
    ASSERT_TRUE(record.has_value()) << "tickprint printed no record";
    EXPECT_NE(record->find("TU 2031"), std::string::npos) << *record;

    std::printf("trinity (seed %d, %d children, as uid %u): %ld calls (ioctl, read, poll, open, close) in %.0f s, "
                "exit status %d; reaching the driver: open %lu, release %lu, ioctl %lu, read %lu, poll %lu; "
                "kernel complaints %d; annumset and tickprint answer afterwards\n",
                seed, children, fuzz_uid, made, seconds, status, reached["open"], reached["release"],
                reached["ioctl"], reached["read"], reached["poll"], complaints);
    EXPECT_EQ(status, 0) << output;
    EXPECT_GE(made, calls);
    EXPECT_EQ(complaints, 0);
    for (const char* entry : entry_points)
        EXPECT_GT(reached[entry], 0u) << "trinity never reached tcr7750_" << entry;
    std::filesystem::remove_all(fuzz_dir);
    fresh_driver();
}

} // namespace
