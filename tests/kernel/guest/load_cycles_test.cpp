// SPDX-License-Identifier: GPL-2.0-only
// Load and unload cycles of tcr7750_drv while other processes open, command
// and read its three nodes and the board interrupts in real time: an unload
// is refused exactly while a handle is open, and each leaves nothing behind
// in /proc/devices or /proc/interrupts.  Prints its figures.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "guest_support.h"
#include "tcr7750_regs.h"

using namespace guest;
using namespace std::chrono_literals;

namespace {

constexpr int cycles = 200;
constexpr int workers = 4;
const char* driver_module = "/modules/tcr7750_drv.ko";
const char* nodes[] = {TCR7750_DEVICE_PATH, TCR7750_DEVICE_PATH "-1", TCR7750_DEVICE_PATH "-2"};

// What a worker process tells the test, in memory shared with it.  A handle
// is "open" from a successful open() until close() is called; the wider
// span "in use" runs from before open() to after close() returned.
struct Worker {
    std::atomic<int> in_use{0};
    std::atomic<int> holding{0};
    std::atomic<unsigned> sessions{0};    // successful opens
    std::atomic<unsigned> transitions{0}; // changes of in_use
    std::atomic<int> paused{0};
    std::atomic<unsigned long> opens{0}, refused_opens{0}, commands{0}, records{0};
};

struct Shared {
    std::atomic<int> stop{0};
    std::atomic<int> pause{0};
    Worker worker[workers];
};

// A worker: open a node, command, read or poll, close; again and again.
[[noreturn]] void work(Shared& shared, Worker& me, unsigned seed)
{
    catch_signal(SIGALRM, false); // no restart: SIGALRM cuts a blocking read short with EINTR
    while (!shared.stop) {
        if (shared.pause) {
            me.paused = 1;
            usleep(1000);
            continue;
        }
        me.paused = 0;
        seed = seed * 1103515245 + 12345;
        me.in_use = 1;
        me.transitions++;
        int fd = open(nodes[(seed >> 16) % 3], O_RDWR | (seed & 0x100 ? O_NONBLOCK : 0));
        if (fd < 0) {
            me.refused_opens++;
        } else {
            me.holding = 1;
            me.sessions++;
            me.opens++;
            unsigned char answer[TCR7750_WINDOW_SIZE];
            uint8_t zero = 0;
            ioctl(fd, TCR7750_IOC_GET_STATUS, answer);
            ioctl(fd, TCR7750_IOC_GET_STORED_TS, answer);
            ioctl(fd, (seed & 0x200) ? TCR7750_IOC_DUMP : TCR7750_IOC_GET_VERSION, answer);
            ioctl(fd, (seed & 0x400) ? TCR7750_IOC_ENABLE_TS : TCR7750_IOC_SET_IRIG_MODE, &zero);
            me.commands += 4;
            pollfd readable{fd, POLLIN, 0};
            poll(&readable, 1, 20);
            itimerval limit{{0, 0}, {0, 300000}}; // a blocking read waits at most 0.3 s
            setitimer(ITIMER_REAL, &limit, nullptr);
            tcr7750_time record;
            if (read(fd, &record, sizeof record) == sizeof record)
                me.records++;
            itimerval off{};
            setitimer(ITIMER_REAL, &off, nullptr);
            me.holding = 0;
            close(fd);
        }
        me.in_use = 0;
        me.transitions++;
        usleep(fd < 0 ? 500 : (seed >> 8) % 4000); // gaps in which an unload can come

    }
    _exit(0);
}

struct Snapshot {
    int in_use[workers], holding[workers];
    unsigned sessions[workers], transitions[workers];
};

Snapshot snapshot(const Shared& shared)
{
    Snapshot s{};
    for (int i = 0; i < workers; i++) {
        const Worker& w = shared.worker[i];
        s.holding[i] = w.holding;
        s.sessions[i] = w.sessions;
        s.in_use[i] = w.in_use;
        s.transitions[i] = w.transitions;
    }
    return s;
}

// A handle stayed open across the whole span between the two snapshots.
bool handle_open_throughout(const Snapshot& before, const Snapshot& after)
{
    for (int i = 0; i < workers; i++)
        if (before.holding[i] && after.holding[i] && before.sessions[i] == after.sessions[i])
            return true;
    return false;
}

// No worker had a node in use at any moment between the two snapshots.
bool none_in_use_throughout(const Snapshot& before, const Snapshot& after)
{
    for (int i = 0; i < workers; i++)
        if (before.in_use[i] || after.in_use[i] || before.transitions[i] != after.transitions[i])
            return false;
    return true;
}

bool refused(int error)
{
    return error == EWOULDBLOCK || error == EBUSY;
}

// The nodes name the device's current major (it may change between loads).
void make_nodes()
{
    int major = device_major();
    for (int minor = 0; minor < 3; minor++) {
        struct stat node{};
        if (stat(nodes[minor], &node) == 0 && node.st_rdev == makedev(major, minor))
            continue;
        unlink(nodes[minor]);
        mknod(nodes[minor], S_IFCHR | 0664, makedev(major, minor));
    }
}

// The worker processes, stopped and reaped however the test ends.
class WorkerProcesses {
public:
    WorkerProcesses()
        : shared_(static_cast<Shared*>(
              mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0)))
    {
        new (shared_) Shared;
        for (int i = 0; i < workers; i++) {
            pid_t child = fork();
            if (child == 0)
                work(*shared_, shared_->worker[i], 7750u + static_cast<unsigned>(i));
            children_.push_back(child);
        }
    }
    ~WorkerProcesses()
    {
        stop();
        munmap(shared_, sizeof(Shared));
    }
    WorkerProcesses(const WorkerProcesses&) = delete;
    WorkerProcesses& operator=(const WorkerProcesses&) = delete;
    Shared& shared() { return *shared_; }
    void stop()
    {
        shared_->stop = 1;
        for (pid_t child : children_)
            waitpid(child, nullptr, 0);
        children_.clear();
    }

private:
    Shared* shared_;
    std::vector<pid_t> children_;
};

TEST(ReliabilityLoadCycles, UnloadIsRefusedExactlyWhileAHandleIsOpenAndLeavesNothing)
{
    fresh_driver();
    const int line = board::irq();
    board::command("status 0x0001");
    board::command("realtime 1");
    ASSERT_EQ(unload_driver(), 0);
    // Forked while the test holds no handle of its own, so none is inherited.
    WorkerProcesses processes;
    Shared* shared = &processes.shared();

    int refused_while_held = 0, refused_in_use = 0, unloaded_between_opens = 0, unloaded_paused = 0;
    int faults = 0;
    auto fault = [&](int cycle, const std::string& what) {
        if (++faults <= 10)
            ADD_FAILURE() << "cycle " << cycle << ": " << what;
    };
    auto start = std::chrono::steady_clock::now();
    uint64_t raises_before = board::state_number("raises");
    for (int cycle = 0; cycle < cycles && faults == 0; cycle++) {
        if (int error = insert_module(driver_module, ""); error != 0) {
            fault(cycle, "load failed with errno " + std::to_string(error));
            break;
        }
        make_nodes();
        {
            Device own;
            uint16_t period = 1;
            if (!own.is_open() || own.command(TCR7750_IOC_SET_PERIOD, &period) != 0)
                fault(cycle, "the test's own handle did not work");
            board::command("irq 0x0008");
            if (refused(remove_module("tcr7750_drv")))
                refused_while_held++;
            else
                fault(cycle, "unload not refused while the test held a handle");
        }
        // Unload while the workers go on; after 20 refusals, pause them.
        for (int attempt = 0;; attempt++) {
            bool paused = attempt >= 20;
            if (paused) {
                shared->pause = 1;
                for (const Worker& w : shared->worker)
                    while (!w.paused || w.in_use)
                        std::this_thread::sleep_for(1ms);
            }
            Snapshot before = snapshot(*shared);
            int error = remove_module("tcr7750_drv");
            Snapshot after = snapshot(*shared);
            if (error == 0) {
                if (handle_open_throughout(before, after))
                    fault(cycle, "unloaded while a worker's handle was open");
                (paused ? unloaded_paused : unloaded_between_opens)++;
                break;
            }
            if (!refused(error)) {
                fault(cycle, "unload failed with errno " + std::to_string(error));
                break;
            }
            if (none_in_use_throughout(before, after))
                fault(cycle, "unload refused with no handle open");
            refused_in_use++;
            if (paused)
                break;
            std::this_thread::sleep_for(1ms);
        }
        shared->pause = 0;
        if (driver_loaded())
            break;
        if (device_major() != -1)
            fault(cycle, "tcr7750 still in /proc/devices");
        if (interrupts_line(line).find("tcr7750") != std::string::npos)
            fault(cycle, "tcr7750 still in /proc/interrupts: " + interrupts_line(line));
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    uint64_t raises = board::state_number("raises") - raises_before;
    processes.stop();
    board::command("realtime 0");

    unsigned long opens = 0, refused_opens = 0, commands = 0, records = 0;
    for (const Worker& w : shared->worker) {
        opens += w.opens;
        refused_opens += w.refused_opens;
        commands += w.commands;
        records += w.records;
    }
    std::printf("load/unload: %d cycles in %.0f s (%.0f ms each) beside %d processes: %lu opens, %lu refused "
                "(no driver), %lu commands, %lu records, %llu board interrupts; unloads refused %d times with "
                "the test's handle open and %d times with a worker's, done %d times between two opens and %d "
                "times with the workers paused; faults %d\n",
                cycles, seconds, 1000 * seconds / cycles, workers, opens, refused_opens, commands, records,
                static_cast<unsigned long long>(raises), refused_while_held, refused_in_use,
                unloaded_between_opens, unloaded_paused, faults);
    EXPECT_EQ(refused_while_held, cycles);
    EXPECT_EQ(unloaded_between_opens + unloaded_paused, cycles);
    EXPECT_GT(opens, 0u);
    EXPECT_GT(records, 0u);
    fresh_driver();
}

} // namespace
