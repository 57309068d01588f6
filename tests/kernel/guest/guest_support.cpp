// SPDX-License-Identifier: GPL-2.0-only
#include "guest_support.h"
#include "tcr7750_regs.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <linux/netlink.h>
#include <linux/userfaultfd.h>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <linux/ptp_clock.h>
#include <poll.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/socket.h>
#include <sys/user.h>
#include <csignal>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <utility>
#include <ctime>
#include <unistd.h>

namespace guest {

namespace {
std::string board_dir(int index)
{
    return "/sys/kernel/debug/tcr7750_board" + (index == 0 ? "" : "." + std::to_string(index)) + "/";
}

std::string read_text(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}
} // namespace

std::string to_string(const Access& a)
{
    char text[48];
    std::snprintf(text, sizeof text, "%c %02x %u %x", a.direction, a.offset, a.width, a.value);
    return text;
}

namespace board {

bool command(const std::string& line, int index)
{
    int fd = open((board_dir(index) + "command").c_str(), O_WRONLY);
    if (fd < 0)
        return false;
    bool done = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    close(fd);
    return done;
}

std::map<std::string, std::string> state(int index)
{
    std::map<std::string, std::string> facts;
    std::istringstream in(read_text(board_dir(index) + "state"));
    std::string name, value;
    while (in >> name >> value)
        facts[name] = value;
    return facts;
}

uint64_t state_number(const std::string& name, int index)
{
    return std::strtoull(state(index)[name].c_str(), nullptr, 0);
}

std::vector<Access> log(int index)
{
    std::vector<Access> accesses;
    std::istringstream in(read_text(board_dir(index) + "log"));
    std::string line;
    while (std::getline(in, line)) {
        Access a{};
        if (std::sscanf(line.c_str(), "%c %x %u %x", &a.direction, &a.offset, &a.width, &a.value) == 4)
            accesses.push_back(a);
    }
    return accesses;
}

std::vector<Access> writes()
{
    std::vector<Access> result;
    for (const Access& a : log())
        if (a.direction == 'W')
            result.push_back(a);
    return result;
}

void clear_log()
{
    command("clear-log");
}

bool remove_from_bus(int index) { return write_text(pci_device(index) + "/remove", "1"); }

int irq() { return static_cast<int>(state_number("irq")); }
int spare_irq() { return static_cast<int>(state_number("spare_irq")); }
int busy_irq() { return static_cast<int>(state_number("busy_irq")); }

bool present(int index)
{
    return access(board_dir(index).c_str(), F_OK) == 0;
}

std::string pci_device(int index)
{
    return "/sys/bus/pci/devices/" + state(index)["pci"];
}

void remove_all()
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/bus/pci/devices", error))
        if (read_text(entry.path() / "vendor") == "0x9010\n" && read_text(entry.path() / "device") == "0xcb01\n")
            write_text(entry.path() / "remove", "1");
}

void rescan()
{
    write_text("/sys/bus/pci/rescan", "1");
}

} // namespace board

std::string emulator(const std::string& request)
{
    // The second serial port, raw: no echo, no line editing.
    int fd = open("/dev/ttyS1", O_RDWR | O_NOCTTY);
    if (fd < 0)
        return "error no /dev/ttyS1";
    termios raw{};
    tcgetattr(fd, &raw);
    cfmakeraw(&raw);
    tcsetattr(fd, TCSANOW, &raw);
    tcflush(fd, TCIOFLUSH);
    std::string line = request + "\n", answer;
    if (write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size())) {
        // The host answers once QEMU has done it (a removal: once the guest
        // let the device go).
        char c;
        pollfd in{fd, POLLIN, 0};
        while (::poll(&in, 1, 90'000) == 1 && read(fd, &c, 1) == 1 && c != '\n')
            answer += c;
    }
    close(fd);
    return answer.empty() ? "error no answer" : answer;
}

KernelLog::KernelLog() : fd_(open("/dev/kmsg", O_RDONLY | O_NONBLOCK))
{
    lseek(fd_, 0, SEEK_END);
}

KernelLog::~KernelLog()
{
    close(fd_);
}

std::vector<LogLine> KernelLog::lines()
{
    char record[8192];
    ssize_t n;
    // Records: "priority,sequence,time,flags;text" then continuation lines.
    while ((n = read(fd_, record, sizeof record - 1)) > 0 || (n < 0 && errno == EPIPE)) {
        if (n <= 0)
            continue; // overwritten records: go on with the next
        std::string text(record, static_cast<size_t>(n));
        size_t semicolon = text.find(';');
        size_t newline = text.find('\n', semicolon);
        if (semicolon == std::string::npos)
            continue;
        seen_.push_back({std::atoi(text.c_str()) & 7, text.substr(semicolon + 1, newline - semicolon - 1)});
    }
    return seen_;
}

std::optional<LogLine> KernelLog::find(const std::string& prefix)
{
    for (const LogLine& line : lines())
        if (line.text.rfind(prefix, 0) == 0)
            return line;
    return std::nullopt;
}

Uevents::Uevents() : fd_(socket(AF_NETLINK, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT))
{
    sockaddr_nl kernel_events{};
    kernel_events.nl_family = AF_NETLINK;
    kernel_events.nl_groups = 1;
    bind(fd_, reinterpret_cast<sockaddr*>(&kernel_events), sizeof kernel_events);
}

Uevents::~Uevents()
{
    close(fd_);
}

bool Uevents::seen(const std::string& action, const std::string& path_end)
{
    char message[8192];
    ssize_t n;
    // Each message starts "action@path", its variables follow.
    while ((n = recv(fd_, message, sizeof message - 1, 0)) > 0) {
        message[n] = '\0';
        seen_.emplace_back(message);
    }
    for (const std::string& event : seen_)
        if (event.starts_with(action + "@") && event.ends_with(path_end))
            return true;
    return false;
}

bool write_text(const std::string& path, const std::string& text)
{
    int fd = open(path.c_str(), O_WRONLY);
    bool written = fd >= 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (fd >= 0)
        close(fd);
    return written;
}

int default_log_level()
{
    std::istringstream in(read_text("/proc/sys/kernel/printk"));
    int console, default_level;
    in >> console >> default_level;
    return default_level;
}

int load_driver(const std::string& parameters)
{
    // The time-code watch reads the status now and then: only where a test asks for it.
    return WEXITSTATUS(std::system(("/modules/tcr7750_load watch_ms=0 " + parameters + " 2>/dev/null").c_str()));
}

int unload_driver()
{
    return WEXITSTATUS(std::system("/modules/tcr7750_unload 2>/dev/null"));
}

bool driver_loaded()
{
    return access("/sys/module/tcr7750_drv", F_OK) == 0;
}

int insert_module(const std::string& path, const std::string& parameters)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    long result = syscall(SYS_finit_module, fd, parameters.c_str(), 0);
    int error = result == 0 ? 0 : errno;
    close(fd);
    return error;
}

int remove_module(const std::string& name)
{
    return syscall(SYS_delete_module, name.c_str(), O_NONBLOCK) == 0 ? 0 : errno;
}

int device_major()
{
    std::istringstream in(read_text("/proc/devices"));
    std::string line;
    while (std::getline(in, line)) {
        int major;
        char name[64];
        if (std::sscanf(line.c_str(), "%d %63s", &major, name) == 2 && std::string(name) == TCR7750_DEVICE_NAME)
            return major;
    }
    return -1;
}

std::string interrupts_line(int irq)
{
    std::istringstream in(read_text("/proc/interrupts"));
    std::string line;
    std::string label = std::to_string(irq) + ":";
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string first;
        words >> first;
        if (first == label)
            return line;
    }
    return "";
}

std::string unhandled_interrupts(int irq)
{
    std::istringstream in(read_text("/proc/irq/" + std::to_string(irq) + "/spurious"));
    std::string name, value, result;
    while (in >> name >> value)
        if (name.starts_with("unhandled") || name.starts_with("last_unhandled"))
            result += name + " " + value + " ";
    return result;
}

unsigned long unhandled_count(int irq)
{
    return std::stoul(unhandled_interrupts(irq).substr(std::string("unhandled ").size()));
}

void fresh_driver(const std::string& parameters)
{
    if (driver_loaded())
        unload_driver();
    for (int index = 0; board::present(index); index++)
        board::command("reset", index);
    load_driver(parameters);
    board::clear_log();
}

bool sleeping_in(pid_t tid, const std::vector<long>& syscalls)
{
    const std::string path = "/proc/" + std::to_string(tid) + "/syscall";
    for (int i = 0; i < 2000; i++) {
        // "NR ARGS... SP PC" while blocked in a system call; "running" or
        // "-1 SP PC" otherwise.
        std::ifstream syscall_file(path);
        std::string number;
        syscall_file >> number;
        for (long syscall : syscalls)
            if (number == std::to_string(syscall))
                return true;
        usleep(1000);
    }
    return false;
}

bool sleeping_in_read(pid_t tid)
{
    return sleeping_in(tid, {SYS_read});
}

namespace {
std::atomic<int> signal_count{0};
void count_signal(int) { signal_count++; }
} // namespace

void catch_signal(int signal, bool restart)
{
    struct sigaction action{};
    action.sa_handler = count_signal;
    action.sa_flags = restart ? SA_RESTART : 0;
    sigaction(signal, &action, nullptr);
}

int signals_caught()
{
    return signal_count;
}

BlockedCall::BlockedCall(std::function<long()> call)
{
    result_ = std::async(std::launch::async, [this, call = std::move(call)] {
        thread_ = pthread_self();
        tid_ = static_cast<pid_t>(syscall(SYS_gettid));
        return call();
    });
    while (tid_ == 0)
        std::this_thread::yield();
}

bool BlockedCall::done(std::chrono::milliseconds wait)
{
    return result_.wait_for(wait) == std::future_status::ready;
}

long BlockedCall::result()
{
    return result_.get();
}

void BlockedCall::signal(int number) const
{
    pthread_kill(thread_, number);
}

StalledPage::StalledPage()
{
    const size_t size = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    faults_ = static_cast<int>(syscall(SYS_userfaultfd, O_CLOEXEC | O_NONBLOCK));
    page_ = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    uffdio_api api{};
    api.api = UFFD_API;
    uffdio_register missing{};
    missing.range = {reinterpret_cast<uintptr_t>(page_), size};
    missing.mode = UFFDIO_REGISTER_MODE_MISSING;
    if (faults_ < 0 || page_ == MAP_FAILED || ioctl(faults_, UFFDIO_API, &api) != 0 ||
        ioctl(faults_, UFFDIO_REGISTER, &missing) != 0)
        released_ = true; // no stall: touch() would fault for good
}

bool StalledPage::touched(int timeout_ms) const
{
    pollfd fault{faults_, POLLIN, 0};
    return !released_ && ::poll(&fault, 1, timeout_ms) == 1;
}

void StalledPage::release()
{
    if (released_)
        return;
    released_ = true;
    const size_t size = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    std::vector<char> zeros(size);
    uffdio_copy fill{};
    fill.dst = reinterpret_cast<uintptr_t>(page_);
    fill.src = reinterpret_cast<uintptr_t>(zeros.data());
    fill.len = size;
    ioctl(faults_, UFFDIO_COPY, &fill); // maps the page and wakes the copy
}

void StalledPage::unmap()
{
    munmap(page_, static_cast<size_t>(sysconf(_SC_PAGESIZE)));
    page_ = nullptr;
    close(faults_); // wakes the copy, which finds no page now
    faults_ = -1;
    released_ = true;
}

StalledPage::~StalledPage()
{
    release();
    if (page_ != nullptr && page_ != MAP_FAILED)
        munmap(page_, static_cast<size_t>(sysconf(_SC_PAGESIZE)));
    if (faults_ >= 0)
        close(faults_);
}

StalledDump::StalledDump()
{
    dump_ = std::async(std::launch::async, [page = stalled_.page()] { return Device().command(TCR7750_IOC_DUMP, page); });
    held_ = stalled_.touched(); // the command's copy touched the page
}

long StalledDump::release()
{
    if (!dump_.valid())
        return -1;
    stalled_.release();
    return dump_.get();
}

uint64_t monotonic_ns()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1'000'000'000u + static_cast<uint64_t>(now.tv_nsec);
}

Process::Process(const std::vector<std::string>& argv, bool traced, int dropped_capability)
{
    int fds[2];
    if (pipe(fds) != 0)
        return;
    pid_ = fork();
    if (pid_ == 0) {
        dup2(fds[1], STDOUT_FILENO);
        dup2(fds[1], STDERR_FILENO);
        close(fds[0]);
        close(fds[1]);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        if (traced)
            ptrace(PTRACE_TRACEME, 0, nullptr, nullptr); // stops at exec
        if (dropped_capability >= 0)
            prctl(PR_CAPBSET_DROP, dropped_capability); // out of the bounding set: not even root's exec gets it
        execv(args[0], args.data());
        _exit(127);
    }
    close(fds[1]);
    output_ = fds[0];
}

Process::~Process()
{
    if (pid_ > 0 && status_ < 0) {
        kill(pid_, SIGKILL);
        wait();
    }
    if (output_ >= 0)
        close(output_);
}

std::optional<std::string> Process::read_line(int timeout_ms)
{
    for (;;) {
        size_t newline = pending_.find('\n');
        if (newline != std::string::npos) {
            std::string line = pending_.substr(0, newline);
            pending_.erase(0, newline + 1);
            return line;
        }
        pollfd p{output_, POLLIN, 0};
        if (::poll(&p, 1, timeout_ms) <= 0)
            return std::nullopt;
        char buffer[256];
        ssize_t n = read(output_, buffer, sizeof buffer);
        if (n <= 0)
            return std::nullopt;
        pending_.append(buffer, static_cast<size_t>(n));
    }
}

std::string Process::read_rest()
{
    char buffer[256];
    ssize_t n;
    while ((n = read(output_, buffer, sizeof buffer)) > 0)
        pending_.append(buffer, static_cast<size_t>(n));
    return std::exchange(pending_, {});
}

int Process::wait()
{
    if (status_ >= 0)
        return status_;
    int raw = 0;
    // A program that does not end within 5 s is killed: status 128 + 9.
    pid_t ended = 0;
    for (int i = 0; i < 500 && (ended = waitpid(pid_, &raw, WNOHANG)) == 0; i++)
        usleep(10000);
    if (ended == 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &raw, 0);
    }
    status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return status_;
}

int Process::interrupt()
{
    kill(pid_, SIGINT);
    return wait();
}

bool Process::stop_at(const std::vector<long>& syscalls)
{
    int raw = 0;
    // Every system call stops at its entry and its exit; the entry comes first.
    while (waitpid(pid_, &raw, 0) == pid_ && WIFSTOPPED(raw)) {
        user_regs_struct regs{};
        ptrace(PTRACE_GETREGS, pid_, nullptr, &regs);
#ifdef __x86_64__
        long number = static_cast<long>(regs.orig_rax);
#else
        long number = regs.orig_eax;
#endif
        if (std::find(syscalls.begin(), syscalls.end(), number) != syscalls.end())
            return true;
        ptrace(PTRACE_SYSCALL, pid_, nullptr, nullptr);
    }
    return false;
}

void Process::detach()
{
    ptrace(PTRACE_DETACH, pid_, nullptr, nullptr);
}

int64_t realtime_ns()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

Phc::Phc(bool set_year, const std::string& node)
{
    if (set_year) {
        Device device(O_NONBLOCK, node.c_str());
        tcr7750_time now{};
        if (device.read_record(now) == sizeof now) {
            uint16_t year = now.year; // confirmed with a good frame, then the test's own status back
            int index = node.find('.') == std::string::npos ? 0 : std::stoi(node.substr(node.rfind('.') + 1));
            board::command("status " + std::to_string((now.status & ~ST_BOARD_IRQ) | ST_FRAME_OK), index);
            device.command(TCR7750_IOC_SET_YEAR, &year);
            board::command("status " + std::to_string(now.status & ~ST_BOARD_IRQ), index);
        }
    }
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/ptp", error)) {
        std::ifstream name_file(entry.path() / "clock_name");
        std::string name;
        std::getline(name_file, name);
        if (name == node.substr(node.rfind('/') + 1)) {
            path_ = "/dev/" + entry.path().filename().string();
            fd_ = open(path_.c_str(), O_RDWR);
            return;
        }
    }
}

Phc::~Phc()
{
    if (fd_ >= 0)
        close(fd_);
}

std::string Phc::sysfs() const
{
    return "/sys/class/ptp/" + path_.substr(std::string("/dev/").size());
}

int64_t Phc::read_ns() const
{
    timespec now{};
    if (clock_gettime(clock(), &now) != 0)
        return -errno;
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

int Phc::samples(unsigned n, std::vector<Sample>& samples) const
{
    ptp_sys_offset_extended request{};
    request.n_samples = n;
    if (ioctl(fd_, PTP_SYS_OFFSET_EXTENDED, &request) != 0)
        return -errno;
    auto ns = [](const ptp_clock_time& t) { return t.sec * 1'000'000'000 + t.nsec; };
    samples.clear();
    for (unsigned i = 0; i < n; i++)
        samples.push_back({ns(request.ts[i][0]), ns(request.ts[i][1]), ns(request.ts[i][2])});
    return 0;
}

std::optional<int64_t> Phc::offset_ns(unsigned n) const
{
    std::vector<Sample> taken;
    if (samples(n, taken) != 0)
        return std::nullopt;
    std::vector<int64_t> offsets;
    for (const Sample& s : taken)
        offsets.push_back(s.phc - (s.before + (s.after - s.before) / 2));
    std::sort(offsets.begin(), offsets.end());
    return offsets[offsets.size() / 2];
}

GuardedPage::GuardedPage()
{
    const size_t size = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    base_ = static_cast<char*>(mmap(nullptr, 2 * size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    guard_ = base_ + size;
    mprotect(guard_, size, PROT_NONE);
}

GuardedPage::~GuardedPage()
{
    munmap(base_, 2 * static_cast<size_t>(sysconf(_SC_PAGESIZE)));
}

Device::Device(int flags, const char* path) : fd_(open(path, O_RDWR | flags))
{
}

Device::~Device()
{
    if (fd_ >= 0)
        close(fd_);
}

long Device::command(unsigned long number, void* argument) const
{
    long result = ioctl(fd_, number, argument);
    return result < 0 ? -errno : result;
}

long Device::read_record(tcr7750_time& record) const
{
    ssize_t n = read(fd_, &record, sizeof record);
    return n < 0 ? -errno : n;
}

int Device::poll_events(int timeout_ms) const
{
    pollfd p{fd_, POLLIN | POLLOUT | POLLRDNORM, 0};
    return ::poll(&p, 1, timeout_ms) < 0 ? -errno : p.revents;
}

} // namespace guest
