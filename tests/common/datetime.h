/* SPDX-License-Identifier: MIT */
// A board model date and time from its fields, for tests.
#pragma once

#include <cstdint>

#include "board_model.h"

inline tcr7750_datetime datetime(uint16_t year, uint8_t month, uint8_t day, uint8_t hour, uint8_t minute,
                                 uint8_t second, uint32_t microsecond)
{
    tcr7750_datetime t{};
    t.year = year;
    t.month = month;
    t.day = day;
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    t.microsecond = microsecond;
    return t;
}
