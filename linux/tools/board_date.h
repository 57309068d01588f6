// SPDX-License-Identifier: MIT
// The board's date as the time code gives it (day of year and time of day)
// placed in a year, for the tools that compare it with the system clock.
#ifndef TCR7750_BOARD_DATE_H
#define TCR7750_BOARD_DATE_H

#include <cstdint>
#include <ctime>

#include "tcr7750_ioctl.h"

// The UTC second since 1970 at which the record's day and time of day fall in year.
inline int64_t board_seconds_in(int year, const tcr7750_time& record)
{
    std::tm start{};
    start.tm_year = year - 1900;
    start.tm_mday = 1;
    return static_cast<int64_t>(timegm(&start)) + (record.day_of_year - 1) * 86400LL + record.hour * 3600LL +
           record.minute * 60LL + record.second;
}

#endif
