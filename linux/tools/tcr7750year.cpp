// SPDX-License-Identifier: MIT
// tcr7750year: gives the board its initial year from the system clock.  The
// time code carries no year, so the board holds whatever year it was last
// given; the driver's clock serves no time until a year was set.  The
// packaged udev rule runs this for each board the driver finds, and again
// when a board resumed; -d DEVICE names a board other than /dev/tcr7750.
//
// The year is the one that puts the board's day of year and time of day
// nearest to the system clock: this year, or across New Year the next or the
// last.  A year is only taken from a day of the year: with a bad frame the
// board's day means nothing, and in the TD/H0 decoding its day register holds
// the time difference's days.  Then it sets nothing, says why and exits 3;
// the driver asks udev to run it again once the board gives a day of the
// year.  What it did goes to standard output and to syslog.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <initializer_list>
#include <sys/ioctl.h>
#include <syslog.h>
#include <unistd.h>

#include "board_date.h"
#include "device_option.h"
#include "tcr7750_ioctl.h"
#include "tcr7750_regs.h"

namespace {

int nearest_year(const tcr7750_time& board, time_t now, int this_year)
{
    int best = this_year;
    for (int year : {this_year - 1, this_year + 1})
        if (std::llabs(board_seconds_in(year, board) - now) < std::llabs(board_seconds_in(best, board) - now))
            best = year;
    return best;
}

void report(int priority, const char* message)
{
    std::printf("tcr7750year: %s\n", message);
    openlog("tcr7750year", 0, LOG_DAEMON);
    syslog(priority, "%s", message);
    closelog();
}

// Why the board gives no day of the year now, or nullptr when it gives one.
const char* no_day_of_year(uint16_t status, uint16_t control)
{
    if ((control & CTL_MODE_MASK) == CTL_MODE_TD)
        return "no year set: the board decodes TD/H0, its day register holds the time difference's days, "
               "not a day of the year";
    if (!(status & ST_FRAME_OK))
        return "no year set: the board's frame is bad, its day means nothing; the clock serves no time until "
               "a good frame, when the driver asks for the year again";
    return nullptr;
}

// The board's record as it is now, without waiting for an interrupt.
bool read_board(int device, tcr7750_time& record)
{
    return read(device, &record, sizeof record) == static_cast<ssize_t>(sizeof record);
}

} // namespace

int main(int argc, char** argv)
{
    const char* usage = "tcr7750year [-d DEVICE]";
    const char* path = take_device_option(argc, argv, usage);
    if (!path)
        return 2;
    if (argc > 1) {
        std::fprintf(stderr, "usage: %s\n", usage);
        return 2;
    }
    int device = open(path, O_RDWR | O_NONBLOCK);
    if (device < 0) {
        std::puts("Device open error");
        return 1;
    }

    tcr7750_time board{}, after{};
    time_t now = 0;
    std::tm utc{};
    int year = 0;
    uint32_t registers = 0;
    // A midnight between reading the board's day and loading the year would
    // load the year for the wrong day: then once more.
    for (int attempt = 0; attempt < 2; attempt++) {
        if (ioctl(device, TCR7750_IOC_GET_STATUS, &registers) != 0 || !read_board(device, board)) {
            std::puts("Board read error");
            return 1;
        }
        if (const char* why = no_day_of_year(board.status, registers >> 16)) {
            report(LOG_WARNING, why);
            return 3;
        }
        now = time(nullptr);
        gmtime_r(&now, &utc);
        year = nearest_year(board, now, utc.tm_year + 1900);
        uint16_t argument = static_cast<uint16_t>(year);
        if (ioctl(device, TCR7750_IOC_SET_YEAR, &argument) != 0) {
            std::perror("tcr7750year: setting the year");
            return 1;
        }
        if (read_board(device, after) && after.day_of_year == board.day_of_year)
            break;
    }
    close(device);

    char message[160];
    std::snprintf(message, sizeof message,
                  "board on day %03d %02d:%02d:%02d, system clock %04d-%02d-%02d %02d:%02d:%02d UTC: "
                  "initial year %d",
                  board.day_of_year, board.hour, board.minute, board.second, utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, year);
    report(LOG_NOTICE, message);
    return 0;
}
