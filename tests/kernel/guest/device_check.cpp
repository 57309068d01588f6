// SPDX-License-Identifier: GPL-2.0-only
// Issues every control command and one non-blocking read on /dev/tcr7750 and
// prints what came back, one line each: a name, the result (or -errno) and
// the bytes answered in hexadecimal.  Built 64-bit and 32-bit: the guest
// tests compare the two.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "tcr7750_ioctl.h"
#include "tcr7750_regs.h"

namespace {

int device = -1;

void show(const char* name, long result, const void* answer = nullptr, size_t size = 0)
{
    std::printf("%s %ld", name, result);
    if (size > 0)
        std::printf(" ");
    for (size_t i = 0; i < size; i++)
        std::printf("%02x", static_cast<const unsigned char*>(answer)[i]);
    std::printf("\n");
}

long command(unsigned long number, void* argument)
{
    long result = ioctl(device, number, argument);
    return result < 0 ? -errno : result;
}

// A command that answers into memory, shown with this many bytes of it.
void ask(const char* name, unsigned long number, size_t shown)
{
    unsigned char answer[TCR7750_WINDOW_SIZE];
    std::memset(answer, 0xAA, sizeof answer);
    show(name, command(number, answer), answer, shown);
}

} // namespace

int main()
{
    device = open(TCR7750_DEVICE_PATH, O_RDWR | O_NONBLOCK);
    if (device < 0) {
        std::puts("Device open error");
        return 1;
    }
    uint16_t year = 2012, period = 5;
    uint8_t falling = 1, mode = TCR7750_IRIG_MODE_AFNOR;
    show("set-year", command(TCR7750_IOC_SET_YEAR, &year));
    show("set-period", command(TCR7750_IOC_SET_PERIOD, &period));
    show("enable-ts", command(TCR7750_IOC_ENABLE_TS, &falling));
    show("set-irig-mode", command(TCR7750_IOC_SET_IRIG_MODE, &mode));
    ask("get-status", TCR7750_IOC_GET_STATUS, 8); // 8: only the first 4 are written
    ask("get-ts", TCR7750_IOC_GET_TS, 16);
    ask("get-stored-ts", TCR7750_IOC_GET_STORED_TS, 16);
    ask("get-version", TCR7750_IOC_GET_VERSION, REG_VERSION_SIZE);
    ask("dump", TCR7750_IOC_DUMP, TCR7750_WINDOW_SIZE);
    show("disable", command(TCR7750_IOC_DISABLE, nullptr));
    ask("unknown", _IO(TCR7750_IOC_TYPE, TCR7750_IOC_MAXNR + 1), 0);

    tcr7750_time record;
    std::memset(&record, 0xAA, sizeof record);
    ssize_t got = read(device, &record, sizeof record);
    show("read", got < 0 ? -errno : got, &record, sizeof record);
    return 0;
}
