// SPDX-License-Identifier: MIT
// The reading exports: one transfer list each, read back to back in one
// driver request, then converted into the caller's records.
#include "board_connection.h"
#include "register_transfers.h"
#include "tcr7750.h"
#include "tcr7750_regs.h"

namespace tcr7750 {
namespace {

// A reading needs a connection and somewhere to put every result.
template <typename... Outputs>
bool can_read(Outputs *...outputs)
{
    return connection.open && ((outputs != nullptr) && ...);
}

char state_of(uint16_t status)
{
    return (status & ST_STATE_S) ? 'S' : 'R';
}

char sign_of(uint16_t status)
{
    return (status & ST_SIGN_NEGATIVE) ? '-' : '+';
}

// The registers of a TD or H0 reading, in the order the board is read.
struct TimeDifferenceReading {
    size_t dayOfYear = 0;
    size_t hours, minutes, seconds, status, microseconds;

    TimeDifferenceReading(TransferList &list, bool withDayOfYear)
    {
        if (withDayOfYear)
            dayOfYear = list.read(REG_DAY_OF_YEAR, REG_DAY_OF_YEAR_WIDTH);
        hours = list.read(REG_HOURS, REG_HOURS_WIDTH);
        minutes = list.read(REG_MINUTES, REG_MINUTES_WIDTH);
        seconds = list.read(REG_SECONDS, REG_SECONDS_WIDTH);
        status = list.read(REG_STATUS, REG_STATUS_WIDTH);
        microseconds = list.read(REG_MICROSECONDS, REG_MICROSECONDS_WIDTH);
    }
};

// A TD reading.  GetTD gives the board's h:m:s whatever the sign and no
// microseconds; GetTDEx gives a negative difference as the whole seconds
// shown minus one second and the complement of the microseconds (not
// normalised).
int32_t read_td(TdRecord *td, uint16_t *status, bool extended)
{
    auto lock = lock_connection();
    if (!can_read(td, status))
        return kRefused;
    TransferList list;
    TimeDifferenceReading reading(list, false);
    if (!list.send())
        return kRefused;

    uint32_t h = list.result(reading.hours), m = list.result(reading.minutes), s = list.result(reading.seconds);
    uint32_t micros = list.result(reading.microseconds);
    uint16_t statusWord = static_cast<uint16_t>(list.result(reading.status));
    td->State = state_of(statusWord);
    td->Sign = sign_of(statusWord);
    td->Hours = static_cast<uint8_t>(h);
    td->Minutes = static_cast<uint8_t>(m);
    td->Seconds = static_cast<uint8_t>(s);
    td->Microseconds = extended ? static_cast<int32_t>(micros) : 0;
    if (extended && td->Sign == '-') {
        int32_t t = static_cast<int32_t>(h * 3600 + m * 60 + s) - 1;
        td->Hours = static_cast<uint8_t>(t / 3600);
        td->Minutes = static_cast<uint8_t>((t % 3600) / 60);
        td->Seconds = static_cast<uint8_t>(t % 60);
        td->Microseconds = static_cast<int32_t>(1000000 - static_cast<int64_t>(micros));
    }
    *status = statusWord;
    return kDone;
}

} // namespace
} // namespace tcr7750

using namespace tcr7750;

extern "C" int32_t TCR7750_CALL GetBoardStatus(uint16_t *status, uint16_t *control)
{
    auto lock = lock_connection();
    if (!can_read(status, control))
        return kRefused;
    TransferList list;
    size_t statusWord = list.read(REG_STATUS, REG_STATUS_WIDTH);
    size_t controlWord = list.read(REG_CONTROL, REG_CONTROL_WIDTH);
    if (!list.send())
        return kRefused;
    *status = static_cast<uint16_t>(list.result(statusWord));
    *control = static_cast<uint16_t>(list.result(controlWord));
    return kDone;
}

extern "C" int32_t TCR7750_CALL GetBoardDateTime(SYSTEMTIME *dateTime, uint16_t *dayOfYear,
                                                 uint32_t *microseconds, uint16_t *status)
{
    auto lock = lock_connection();
    if (!can_read(dateTime, dayOfYear, microseconds, status))
        return kRefused;
    TransferList list;
    size_t day = list.read(REG_DAY_OF_YEAR, REG_DAY_OF_YEAR_WIDTH);
    size_t year = list.read(REG_YEAR, REG_YEAR_WIDTH);
    size_t month = list.read(REG_MONTH, REG_MONTH_WIDTH);
    size_t dayOfMonth = list.read(REG_DAY, REG_DAY_WIDTH);
    size_t dayOfWeek = list.read(REG_DAY_OF_WEEK, REG_DAY_OF_WEEK_WIDTH);
    size_t hours = list.read(REG_HOURS, REG_HOURS_WIDTH);
    size_t minutes = list.read(REG_MINUTES, REG_MINUTES_WIDTH);
    size_t seconds = list.read(REG_SECONDS, REG_SECONDS_WIDTH);
    size_t statusWord = list.read(REG_STATUS, REG_STATUS_WIDTH);
    size_t micros = list.read(REG_MICROSECONDS, REG_MICROSECONDS_WIDTH);
    if (!list.send())
        return kRefused;

    dateTime->wYear = static_cast<uint16_t>(list.result(year));
    dateTime->wMonth = static_cast<uint16_t>(list.result(month));
    dateTime->wDayOfWeek = static_cast<uint16_t>(list.result(dayOfWeek));
    dateTime->wDay = static_cast<uint16_t>(list.result(dayOfMonth));
    dateTime->wHour = static_cast<uint16_t>(list.result(hours));
    dateTime->wMinute = static_cast<uint16_t>(list.result(minutes));
    dateTime->wSecond = static_cast<uint16_t>(list.result(seconds));
    *dayOfYear = static_cast<uint16_t>(list.result(day));
    *microseconds = list.result(micros);
    dateTime->wMilliseconds = static_cast<uint16_t>(*microseconds / 1000);
    *status = static_cast<uint16_t>(list.result(statusWord));
    return kDone;
}

extern "C" int32_t TCR7750_CALL GetTD(TdRecord *td, uint16_t *status)
{
    return read_td(td, status, false);
}

extern "C" int32_t TCR7750_CALL GetTDEx(TdRecord *td, uint16_t *status)
{
    return read_td(td, status, true);
}

extern "C" int32_t TCR7750_CALL GetH0(H0Record *h0, uint16_t *status)
{
    auto lock = lock_connection();
    if (!can_read(h0, status))
        return kRefused;
    TransferList list;
    TimeDifferenceReading reading(list, true);
    if (!list.send())
        return kRefused;
    uint16_t statusWord = static_cast<uint16_t>(list.result(reading.status));
    h0->State = state_of(statusWord);
    h0->Hours = static_cast<uint8_t>(list.result(reading.hours));
    h0->Minutes = static_cast<uint8_t>(list.result(reading.minutes));
    h0->Seconds = static_cast<uint8_t>(list.result(reading.seconds));
    h0->DayOfYear = static_cast<uint16_t>(list.result(reading.dayOfYear));
    *status = statusWord;
    return kDone;
}

extern "C" int32_t TCR7750_CALL GetBoardVersion(char *versionText)
{
    auto lock = lock_connection();
    if (!can_read(versionText))
        return kRefused;
    TransferList list;
    for (unsigned i = 0; i < REG_VERSION_PART_CHARS; ++i)
        list.read(REG_VERSION_PART1 + i, REG_VERSION_WIDTH);
    for (unsigned i = 0; i < REG_VERSION_PART_CHARS; ++i)
        list.read(REG_VERSION_PART2 + i, REG_VERSION_WIDTH);
    if (!list.send())
        return kRefused;

    // "1234567 89ABCDE": the two seven-character halves, a blank between.
    char *out = versionText;
    for (size_t i = 0; i < 2 * REG_VERSION_PART_CHARS; ++i) {
        if (i == REG_VERSION_PART_CHARS)
            *out++ = ' ';
        *out++ = static_cast<char>(list.result(i));
    }
    *out = '\0';
    return kDone;
}

extern "C" int32_t TCR7750_CALL GetBoardTimestamp(EdgeStamp *rising, EdgeStamp *falling)
{
    auto lock = lock_connection();
    if (!can_read(rising, falling))
        return kRefused;
    TransferList list;
    size_t riseSeconds = list.read(REG_RISE_SECONDS, REG_RISE_SECONDS_WIDTH);
    size_t riseMicros = list.read(REG_RISE_MICROSECONDS, REG_RISE_MICROSECONDS_WIDTH);
    size_t fallSeconds = list.read(REG_FALL_SECONDS, REG_FALL_SECONDS_WIDTH);
    size_t fallMicros = list.read(REG_FALL_MICROSECONDS, REG_FALL_MICROSECONDS_WIDTH);
    if (!list.send())
        return kRefused;
    rising->Seconds = static_cast<int32_t>(list.result(riseSeconds));
    rising->Microseconds = static_cast<int32_t>(list.result(riseMicros));
    falling->Seconds = static_cast<int32_t>(list.result(fallSeconds));
    falling->Microseconds = static_cast<int32_t>(list.result(fallMicros));
    return kDone;
}
