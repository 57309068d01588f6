// SPDX-License-Identifier: MIT
// annumset [-d DEVICE] [year]: sets the board's initial year (2008 when
// absent); the board is /dev/tcr7750 unless DEVICE names another.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "device_option.h"
#include "tcr7750_ioctl.h"

int main(int argc, char** argv)
{
    const char* path = take_device_option(argc, argv, "annumset [-d DEVICE] [year]");
    if (!path)
        return 2;
    int device = open(path, O_RDWR);
    if (device < 0) {
        std::puts("Device open error");
        std::exit(1);
    }

    uint16_t year = argc > 1 ? static_cast<uint16_t>(std::atoi(argv[1])) : 2008;
    ioctl(device, TCR7750_IOC_SET_YEAR, &year);

    close(device);
    return 0;
}
