// SPDX-License-Identifier: MIT
// tickprint [-d DEVICE] [period]: starts the board's periodic interrupt
// (period in tenths of a second, 10 when absent) and prints the time record
// of every interrupt until Ctrl-C, then switches the board's interrupts off.
// The board is /dev/tcr7750 unless DEVICE names another.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "device_option.h"
#include "tcr7750_ioctl.h"

static volatile sig_atomic_t stop = 0;

static void terminate(int)
{
    stop = 1;
}

int main(int argc, char** argv)
{
    const char* path = take_device_option(argc, argv, "tickprint [-d DEVICE] [period]");
    if (!path)
        return 2;
    stop = 0;
    struct sigaction action {};
    action.sa_handler = terminate;
    sigaction(SIGINT, &action, nullptr);
    // SIGINT is let in only while the program waits (ppoll, which opens the
    // mask and waits in one step) or reads; a Ctrl-C at any other moment stays
    // pending until then and ends that wait at once. Never lost, never waited
    // out, also when no interrupt ever comes.
    sigset_t interrupt, waiting;
    sigemptyset(&interrupt);
    sigaddset(&interrupt, SIGINT);
    sigprocmask(SIG_BLOCK, &interrupt, &waiting);
    sigdelset(&waiting, SIGINT);

    int device = open(path, O_RDWR);
    if (device < 0) {
        std::puts("Device open error");
        std::exit(1);
    }

    int period = argc > 1 ? std::atoi(argv[1]) : 10; // the driver takes its low 16 bits
    ioctl(device, TCR7750_IOC_SET_PERIOD, &period);

    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each line as its record arrives
    stop = 0;
    tcr7750_time record;
    while (!stop) {
        pollfd ready{device, POLLIN, 0};
        if (ppoll(&ready, 1, nullptr, &waiting) < 0)
            continue; // Ctrl-C
        // The record is ready, unless another reader took it first: then the
        // read waits for the next one, and Ctrl-C must end that wait too. A
        // Ctrl-C that came since ppoll returned is taken as the mask opens.
        sigprocmask(SIG_SETMASK, &waiting, nullptr);
        ssize_t got = stop ? -1 : read(device, &record, sizeof record);
        sigprocmask(SIG_BLOCK, &interrupt, nullptr);
        if (got != sizeof record)
            continue; // nothing new to print
        std::printf("[Status:%04X] TU %04d %03d %02d:%02d:%02d.%06d\n", record.status, record.year,
                    record.day_of_year, record.hour, record.minute, record.second,
                    static_cast<int>(record.microsecond));
    }

    ioctl(device, TCR7750_IOC_DISABLE, nullptr);
    return 0;
}
