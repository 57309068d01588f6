// tickprint [period]: starts the board's periodic interrupt (period in tenths
// of a second, 10 when absent) and prints the time record of every interrupt
// until Ctrl-C, then switches the board's interrupts off.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "tcr7750_ioctl.h"

static volatile sig_atomic_t stop = 0;

static void terminate(int)
{
    stop = 1;
}

int main(int argc, char** argv)
{
    stop = 0;
    // Not restarting: Ctrl-C ends a read that waits for an interrupt which
    // may never come, so the program always ends promptly.
    struct sigaction action {};
    action.sa_handler = terminate;
    sigaction(SIGINT, &action, nullptr);

    int device = open(TCR7750_DEVICE_PATH, O_RDWR);
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
        if (read(device, &record, sizeof record) != sizeof record)
            continue; // nothing new to print
        std::printf("[Status:%04X] TU %04d %03d %02d:%02d:%02d.%06d\n", record.status, record.year,
                    record.day_of_year, record.hour, record.minute, record.second,
                    static_cast<int>(record.microsecond));
    }

    ioctl(device, TCR7750_IOC_DISABLE, nullptr);
    return 0;
}
