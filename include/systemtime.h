/* SPDX-License-Identifier: GPL-2.0-only OR MIT */
/*
 * SYSTEMTIME, the Windows date-time record of eight 16-bit members, as the
 * board library fills it and the window programs hand it to the system.
 * On Windows it comes from <windows.h>; elsewhere it is defined here with the
 * same layout.  The library's header and the window toolkit's types both
 * take it from here.
 */
#ifndef TCR7750_SYSTEMTIME_H
#define TCR7750_SYSTEMTIME_H

#include "tcr7750_static_assert.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <stdint.h>

typedef struct _SYSTEMTIME {
    uint16_t wYear;
    uint16_t wMonth;
    uint16_t wDayOfWeek;
    uint16_t wDay;
    uint16_t wHour;
    uint16_t wMinute;
    uint16_t wSecond;
    uint16_t wMilliseconds;
} SYSTEMTIME;
#endif

TCR7750_STATIC_ASSERT(sizeof(SYSTEMTIME) == 16, "SYSTEMTIME is 16 bytes");

#endif /* TCR7750_SYSTEMTIME_H */
