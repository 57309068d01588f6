/* SPDX-License-Identifier: MIT */
// Which year the board's time belongs to.  The time code carries the day of
// the year and the time of day but no year: the board shows the year it was
// last given (at power-up, the year it starts with).  The year trusted is
// the one that puts the board's day and time nearest to the PC's clock:
// the PC's year or, across New Year, the next or the last.  The clock
// keeper's worker and the Windows Time provider take the board's time only
// when the board shows that year.
#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>

#include "systemtime.h"

namespace tcr7750 {

// The UTC second at which day of year `dayOfYear` (1 = 1 January) and the
// time of day of `board` fall in `year`.
inline std::chrono::sys_seconds board_second_in(int year, unsigned dayOfYear, const SYSTEMTIME &board)
{
    using namespace std::chrono;
    return sys_days{std::chrono::year{year} / January / 1} + days{int(dayOfYear) - 1} + hours{board.wHour} +
           minutes{board.wMinute} + seconds{board.wSecond};
}

inline std::chrono::sys_seconds utc_second_of(const SYSTEMTIME &utc)
{
    using namespace std::chrono;
    return sys_days{std::chrono::year{utc.wYear} / month{utc.wMonth} / day{utc.wDay}} + hours{utc.wHour} +
           minutes{utc.wMinute} + seconds{utc.wSecond};
}

inline int nearest_board_year(unsigned dayOfYear, const SYSTEMTIME &board, std::chrono::sys_seconds pcClock)
{
    using namespace std::chrono;
    const int pcYear = int(year_month_day{floor<days>(pcClock)}.year());
    auto distance = [&](int year) { return abs(board_second_in(year, dayOfYear, board) - pcClock); };
    int nearest = pcYear;
    for (int year : {pcYear - 1, pcYear + 1})
        if (distance(year) < distance(nearest))
            nearest = year;
    return nearest;
}

inline bool board_year_trusted(unsigned dayOfYear, const SYSTEMTIME &board, std::chrono::sys_seconds pcClock)
{
    return board.wYear == nearest_board_year(dayOfYear, board, pcClock);
}

} // namespace tcr7750
