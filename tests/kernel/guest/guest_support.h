/* SPDX-License-Identifier: GPL-2.0-only */
// What the guest programs share: the test board's debugfs controls, the
// emulator's requests, the kernel log, loading and unloading the modules,
// and the device itself.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <optional>
#include <pthread.h>
#include <ostream>
#include <string>
#include <sys/types.h>
#include <ctime>
#include <vector>

#include "tcr7750_ioctl.h"

namespace guest {

// One register access as the board saw it.
struct Access {
    char direction; // 'R' or 'W'
    unsigned offset;
    unsigned width;
    uint32_t value;
    bool operator==(const Access&) const = default;
};
std::string to_string(const Access& access);
inline void PrintTo(const Access& access, std::ostream* out) { *out << to_string(access); } // for GoogleTest

// The test board (sim/qemu, tests/kernel/board), through its debugfs files;
// index 0 is the first board (tcr7750_board/), N the others (tcr7750_board.N/).
namespace board {
// Runs one board command; false when the board refused it.
bool command(const std::string& line, int index = 0);
std::map<std::string, std::string> state(int index = 0);
uint64_t state_number(const std::string& name, int index = 0);
std::vector<Access> log(int index = 0);
std::vector<Access> writes(); // the log's writes only
void clear_log();
// Takes the board off the bus (its "remove" file), as hot-unplug does.
bool remove_from_bus(int index = 0);
int irq();       // the board's interrupt line
int spare_irq(); // an unused line that may be shared
int busy_irq();  // a line held without sharing
bool present(int index = 0);
std::string pci_device(int index = 0); // /sys/bus/pci/devices/<its address>
// Every board removed through sysfs, and found again by a rescan.
void remove_all();
void rescan();
} // namespace board

// Asks the emulator, through the host (tests/kernel/qmp-relay): "device_del
// board1", "device_add board1".  Its answer: "ok" or "error ...".
std::string emulator(const std::string& request);

// One record of the kernel log.
struct LogLine {
    int level;
    std::string text;
};

// The kernel log from the moment of construction on.
class KernelLog {
public:
    KernelLog();
    ~KernelLog();
    KernelLog(const KernelLog&) = delete;
    KernelLog& operator=(const KernelLog&) = delete;
    std::vector<LogLine> lines(); // all new lines, this one's owned by anyone
    std::optional<LogLine> find(const std::string& prefix);

private:
    int fd_;
    std::vector<LogLine> seen_;
};

// The kernel's device events (those udev reads) from the moment of
// construction on.
class Uevents {
public:
    Uevents();
    ~Uevents();
    Uevents(const Uevents&) = delete;
    Uevents& operator=(const Uevents&) = delete;
    // True once an event with this action came for a device whose path ends
    // in path_end ("change", "/tcr7750/tcr7750").
    bool seen(const std::string& action, const std::string& path_end);

private:
    int fd_;
    std::vector<std::string> seen_; // "action@path"
};

// Writes text to a file (sysfs, procfs): false when refused.
bool write_text(const std::string& path, const std::string& text);

// The level printk gives a line that names none.
int default_log_level();

// Modules.  Results are the exit status of the node scripts, or an errno.
int load_driver(const std::string& parameters = "");
int unload_driver();
bool driver_loaded();
int insert_module(const std::string& path, const std::string& parameters); // 0 or errno
int remove_module(const std::string& name);                                // 0 or errno

// The device's major number in /proc/devices, or -1.
int device_major();
// The line of /proc/interrupts for this interrupt, or "" when it has none.
std::string interrupts_line(int irq);
// What /proc/irq/N/spurious says of unhandled interrupts: it changes with
// each interrupt that no handler claimed.
std::string unhandled_interrupts(int irq);
unsigned long unhandled_count(int irq); // its "unhandled" figure

// A clean start: every board reset to its power-on registers, the driver
// (re)loaded with these parameters, the access log empty.
void fresh_driver(const std::string& parameters = "");

// The same, as a member that fixtures declare before their open devices.
struct FreshDriver {
    explicit FreshDriver(const std::string& parameters = "") { fresh_driver(parameters); }
};

// True once thread (or process) tid sleeps in one of these system calls
// (numbers of its own ABI; waits up to 2 s).
bool sleeping_in(pid_t tid, const std::vector<long>& syscalls);
// The same for read() of a 64-bit program.
bool sleeping_in_read(pid_t tid);

// Catches the signal in this process, counting it; restart: SA_RESTART.
void catch_signal(int signal, bool restart);
int signals_caught();

// A call that may block, run on a thread of its own.
class BlockedCall {
public:
    explicit BlockedCall(std::function<long()> call);
    BlockedCall(const BlockedCall&) = delete;
    BlockedCall& operator=(const BlockedCall&) = delete;
    // True when the call has returned within the wait.
    bool done(std::chrono::milliseconds wait = std::chrono::milliseconds(2000));
    long result(); // waits for it
    pid_t tid() const { return tid_; }
    void signal(int number) const; // to the call's thread
    bool sleeping_in(const std::vector<long>& syscalls) const { return guest::sleeping_in(tid_, syscalls); }

private:
    std::atomic<pid_t> tid_{0};
    std::atomic<pthread_t> thread_{};
    std::future<long> result_;
};

// CLOCK_MONOTONIC, the kernel's ktime_get_ns(), in nanoseconds.
uint64_t monotonic_ns();

// A program run with its standard output and error on a pipe.
class Process {
public:
    // traced: stopped by ptrace before it runs (stop_at, then detach); never dropped_capability.
    explicit Process(const std::vector<std::string>& argv, bool traced = false, int dropped_capability = -1);
    ~Process(); // kills it if it still runs
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    pid_t pid() const { return pid_; }
    // The next line of output without its newline; nullopt at the end or
    // when none comes within the time.
    std::optional<std::string> read_line(int timeout_ms = 2000);
    std::string read_rest(); // everything up to the end of output
    int wait();              // the exit status, or 128 + the signal that ended it;
                             // killed after 5 s
    int interrupt();         // SIGINT, then wait()
    // A traced program run on to the entry of its first system call of one
    // of these numbers (of its own ABI), where it stays stopped.
    bool stop_at(const std::vector<long>& syscalls);
    void detach(); // lets it run on, untraced

private:
    pid_t pid_ = -1;
    int output_ = -1;
    std::string pending_;
    int status_ = -1;
};

// A page whose first touch waits (userfaultfd) until release(): the kernel's
// copy into it stalls there.
class StalledPage {
public:
    StalledPage();
    ~StalledPage();
    StalledPage(const StalledPage&) = delete;
    StalledPage& operator=(const StalledPage&) = delete;
    void* page() const { return page_; }
    bool touched(int timeout_ms = 2000) const; // a copy waits in it now
    void release();                            // maps the page: the copy goes on
    void unmap();                              // the waiting copy fails

private:
    int faults_ = -1; // the userfaultfd
    void* page_ = nullptr;
    bool released_ = false;
};

// A dump whose copy to the caller waits in a stalled page until release().
class StalledDump {
public:
    StalledDump(); // returns once the copy waits, or 2 s passed
    StalledDump(const StalledDump&) = delete;
    StalledDump& operator=(const StalledDump&) = delete;
    ~StalledDump() { release(); }
    bool held() const { return held_; }
    long release(); // lets the copy finish; the dump's result

private:
    StalledPage stalled_;
    bool held_ = false;
    std::future<long> dump_;
};

// CLOCK_REALTIME in nanoseconds since the epoch.
int64_t realtime_ns();

// A board's PTP hardware clock: the /dev/ptpN whose clock_name is its
// node's name (TCR7750_CLOCK_NAME for the first board), opened read-write
// ("" and closed when there is none).
// The driver serves no time before the board's year was confirmed: unless
// told otherwise, the board's own year is set again through the device with a
// good frame, as the packages' udev rule sets one.
class Phc {
public:
    explicit Phc(bool set_year = true, const std::string& node = TCR7750_DEVICE_PATH);
    ~Phc();
    Phc(const Phc&) = delete;
    Phc& operator=(const Phc&) = delete;
    bool is_open() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }       // /dev/ptpN
    std::string sysfs() const;                               // /sys/class/ptp/ptpN
    clockid_t clock() const { return ((~static_cast<clockid_t>(fd_)) << 3) | 3; } // FD_TO_CLOCKID
    // clock_gettime on the clock: nanoseconds since the epoch, or -errno.
    int64_t read_ns() const;
    // One sample of PTP_SYS_OFFSET_EXTENDED: CLOCK_REALTIME before and after
    // the clock's reading, in nanoseconds.
    struct Sample {
        int64_t before, phc, after;
    };
    // n samples (at most 25) into samples: 0 or -errno.
    int samples(unsigned n, std::vector<Sample>& samples) const;
    // The offset of the clock from CLOCK_REALTIME (clock - realtime, taken at
    // the middle of each window, median of n), or nullopt when it cannot be read.
    std::optional<int64_t> offset_ns(unsigned n = 9) const;

private:
    std::string path_;
    int fd_ = -1;
};

// Two pages, the second unreachable: buffers that end where memory ends.
class GuardedPage {
public:
    GuardedPage();
    ~GuardedPage();
    GuardedPage(const GuardedPage&) = delete;
    GuardedPage& operator=(const GuardedPage&) = delete;
    char* last(size_t bytes) const { return guard_ - bytes; } // the last bytes before the guard
    char* unreadable() const { return guard_; }

private:
    char* base_;
    char* guard_;
};

// An open handle on the device.
class Device {
public:
    explicit Device(int flags = 0, const char* path = TCR7750_DEVICE_PATH);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    int fd() const { return fd_; }
    bool is_open() const { return fd_ >= 0; }
    // ioctl: the result, or -errno.
    long command(unsigned long number, void* argument = nullptr) const;
    // read: bytes read, or -errno.
    long read_record(tcr7750_time& record) const;
    int poll_events(int timeout_ms = 0) const;

private:
    int fd_;
};

} // namespace guest
