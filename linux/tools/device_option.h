// SPDX-License-Identifier: MIT
// The device a console tool opens: "-d DEVICE" in front of its other
// arguments, else /dev/tcr7750, the first board.  An option, and only in
// front: tickprint's period and annumset's year stay their one positional
// argument, read by atoi as before ("-5" is still a period), and arguments
// after it are still ignored; a second positional argument would change
// that, and option parsing anywhere on the line (getopt) would take a
// negative number for an option.
#ifndef TCR7750_DEVICE_OPTION_H
#define TCR7750_DEVICE_OPTION_H

#include <cstdio>
#include <cstring>

#include "tcr7750_ioctl.h"

// Takes "-d DEVICE" off the front of the arguments and returns the device;
// nullptr, after the usage line on standard error, when -d has no value.
inline const char* take_device_option(int& argc, char**& argv, const char* usage)
{
    if (argc < 2 || std::strcmp(argv[1], "-d") != 0)
        return TCR7750_DEVICE_PATH;
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s\n", usage);
        return nullptr;
    }
    const char* device = argv[2];
    argv[2] = argv[0];
    argv += 2;
    argc -= 2;
    return device;
}

#endif
