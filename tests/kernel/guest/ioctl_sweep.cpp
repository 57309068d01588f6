// SPDX-License-Identifier: GPL-2.0-only
// Every command number of the device's type, in all four directions and at
// sizes around those of the device's records, with a null argument, kernel
// addresses and buffers that end at a guard page, on the three nodes.  The
// driver may answer only 0, -ENOTTY, -EFAULT, -EINVAL or a count of bytes
// left uncopied.  A number it does not serve touches neither the board nor
// the caller's memory, and answers -EFAULT only for a kernel address.  Each
// of the ten commands takes exactly its own bytes: n bytes before the guard
// are enough once they hold them, and a block copy answers the bytes that
// did not fit.
//
//   ioctl_sweep         (ioctl_sweep32: the same, built 32-bit)
// Prints one line of figures, and each unexpected answer; exit status 0
// when every answer was the expected one.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

#include "guest_support.h"
#include "tcr7750_regs.h"

using namespace guest;

namespace {

struct Served {
    unsigned long number;
    size_t bytes; // what the command reads or writes of the caller's memory
    bool block;   // answers the bytes left uncopied rather than -EFAULT
};

const Served served[] = {
    {TCR7750_IOC_DISABLE, 0, false},
    {TCR7750_IOC_SET_YEAR, 2, false},
    {TCR7750_IOC_GET_STATUS, 4, false},
    {TCR7750_IOC_SET_PERIOD, 2, false},
    {TCR7750_IOC_ENABLE_TS, 1, false},
    {TCR7750_IOC_GET_TS, sizeof(tcr7750_timestamps), true},
    {TCR7750_IOC_GET_STORED_TS, sizeof(tcr7750_timestamps), true},
    {TCR7750_IOC_SET_IRIG_MODE, 1, false},
    {TCR7750_IOC_GET_VERSION, REG_VERSION_SIZE, true},
    {TCR7750_IOC_DUMP, TCR7750_WINDOW_SIZE, true},
};

const Served* served_as(unsigned long number)
{
    for (const Served& s : served)
        if (s.number == number)
            return &s;
    return nullptr;
}

constexpr unsigned sizes[] = {0, 1, 2, 4, 8, 16, 20, 256, 4096, _IOC_SIZEMASK};
constexpr size_t guarded_bytes[] = {1, 2, 4, 8, 16, 20, 256, 4096};
constexpr unsigned char untouched = 0xA5;

// One argument: an address and the bytes behind it that the caller owns.
struct Argument {
    std::string name;
    void* address;
    size_t writable;   // bytes up to the guard (0: none)
    bool kernel;       // outside the caller's address space
};

std::vector<Argument> arguments(const GuardedPage& page)
{
    std::vector<Argument> list{{"null", nullptr, 0, false}, {"guard", page.unreadable(), 0, false}};
    if (sizeof(void*) == 8) {
        for (uint64_t address : {0xffff888000000000ull, 0xffffffff81000000ull, 0xfffffffffffff000ull})
            list.push_back({"kernel", reinterpret_cast<void*>(static_cast<uintptr_t>(address)), 0, true});
    } else {
        list.push_back({"top", reinterpret_cast<void*>(static_cast<uintptr_t>(0xfffff000u)), 0, false});
    }
    for (size_t bytes : guarded_bytes)
        list.push_back({std::to_string(bytes) + " before the guard", page.last(bytes), bytes, false});
    return list;
}

// What one of the ten answers with this argument.
long expected_answer(const Served& s, const Argument& a)
{
    if (s.bytes == 0)
        return 0; // no data: the argument is never looked at
    if (a.kernel)
        return -EFAULT;
    if (a.writable >= s.bytes)
        return 0;
    return s.block ? static_cast<long>(s.bytes - a.writable) : -EFAULT;
}

struct Tally {
    unsigned long calls = 0, zero = 0, enotty = 0, efault = 0, einval = 0, counts = 0, unexpected = 0;

    void count(long answer)
    {
        calls++;
        if (answer == 0)
            zero++;
        else if (answer == -ENOTTY)
            enotty++;
        else if (answer == -EFAULT)
            efault++;
        else if (answer == -EINVAL)
            einval++;
        else if (answer > 0 && answer <= TCR7750_WINDOW_SIZE)
            counts++;
    }
    void fault(unsigned long number, const Argument& a, long answer, const std::string& what)
    {
        if (++unexpected <= 20)
            std::printf("unexpected: command %#lx, argument %s: %ld, %s\n", number, a.name.c_str(), answer,
                        what.c_str());
    }
};

long command(int fd, unsigned long number, void* argument)
{
    long answer = ioctl(fd, number, argument);
    return answer < 0 ? -errno : answer;
}

bool page_untouched(const GuardedPage& page)
{
    const size_t size = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const char* start = page.last(size);
    for (size_t i = 0; i < size; i++)
        if (static_cast<unsigned char>(start[i]) != untouched)
            return false;
    return true;
}

} // namespace

int main()
{
    const char* nodes[] = {TCR7750_DEVICE_PATH, TCR7750_DEVICE_PATH "-1", TCR7750_DEVICE_PATH "-2"};
    int fds[3];
    for (int i = 0; i < 3; i++) {
        fds[i] = open(nodes[i], O_RDWR | O_NONBLOCK);
        if (fds[i] < 0) {
            std::printf("ioctl_sweep: cannot open %s\n", nodes[i]);
            return 1;
        }
    }
    GuardedPage page;
    const size_t page_size = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    std::memset(page.last(page_size), untouched, page_size);
    const std::vector<Argument> args = arguments(page);
    Tally tally;

    // Numbers the driver does not serve: nothing reaches the board or memory.
    board::clear_log();
    for (unsigned nr = 0; nr <= _IOC_NRMASK; nr++)
        for (unsigned dir = 0; dir <= 3; dir++)
            for (unsigned size : sizes) {
                unsigned long number = _IOC(dir, TCR7750_IOC_TYPE, nr, size);
                if (served_as(number))
                    continue;
                for (const Argument& a : args) {
                    long answer = command(fds[nr % 3], number, a.address);
                    tally.count(answer);
                    bool allowed = answer == -ENOTTY || (answer == -EFAULT && a.kernel && dir != _IOC_NONE);
                    if (!allowed)
                        tally.fault(number, a, answer, "an unserved number answers -ENOTTY (-EFAULT: kernel address)");
                }
            }
    size_t accesses = board::log().size();
    if (accesses != 0)
        tally.fault(0, args[0], static_cast<long>(accesses), "register accesses by unserved numbers");
    if (!page_untouched(page))
        tally.fault(0, args[0], 0, "unserved numbers wrote the caller's memory");

    // The ten: each takes its own bytes, not one more.
    for (const Served& s : served)
        for (const Argument& a : args) {
            long answer = command(fds[_IOC_NR(s.number) % 3], s.number, a.address);
            tally.count(answer);
            long expected = expected_answer(s, a);
            if (answer != expected)
                tally.fault(s.number, a, answer, "expected " + std::to_string(expected));
        }

    std::printf("ioctl sweep (%zu-bit): %lu calls (256 numbers x 4 directions x %zu sizes x %zu arguments, "
                "and the ten commands): 0: %lu, -ENOTTY: %lu, -EFAULT: %lu, -EINVAL: %lu, uncopied counts: %lu; "
                "unexpected: %lu\n",
                8 * sizeof(void*), tally.calls, std::size(sizes), args.size(), tally.zero, tally.enotty,
                tally.efault, tally.einval, tally.counts, tally.unexpected);
    return tally.unexpected == 0 ? 0 : 1;
}
