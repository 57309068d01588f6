// SPDX-License-Identifier: MIT
#include "testbench/Display.h"

#include "forms/sysutils.h"

using forms::Format;

// Eight- and 16-bit fields are shown as unsigned values, 32-bit ones as
// signed values, as the board's records hold them.

std::string StatusWordText(std::uint16_t status)
{
    return forms::IntToHex(status, 4);
}

std::string StatusAndControlText(std::uint16_t status, std::uint16_t control)
{
    return Format("%04X [%04X]", unsigned{status}, unsigned{control});
}

std::string DateLineText(const SYSTEMTIME& dateTime, std::uint16_t dayOfYear, std::uint32_t microseconds)
{
    return Format("%04d/%02d/%02d %03d %02d:%02d:%02d.%03d %06d", int{dateTime.wYear}, int{dateTime.wMonth},
                  int{dateTime.wDay}, int{dayOfYear}, int{dateTime.wHour}, int{dateTime.wMinute},
                  int{dateTime.wSecond}, int{dateTime.wMilliseconds}, static_cast<std::int32_t>(microseconds));
}

std::string TimestampLineText(const EdgeStamp& rising, const EdgeStamp& falling)
{
    return Format("R: %05d.%06d     F: %05d.%06d", rising.Seconds, rising.Microseconds, falling.Seconds,
                  falling.Microseconds);
}

std::string TdText(const TdRecord& td)
{
    return Format("%c %c%02d:%02d:%02d", td.State, td.Sign, int{td.Hours}, int{td.Minutes}, int{td.Seconds});
}

std::string TdExText(const TdRecord& td)
{
    return Format("%c %c%02d:%02d:%02d.%06d", td.State, td.Sign, int{td.Hours}, int{td.Minutes}, int{td.Seconds},
                  td.Microseconds);
}

std::string H0Text(const H0Record& h0)
{
    return Format("%c %03d %02d:%02d:%02d", h0.State, int{h0.DayOfYear}, int{h0.Hours}, int{h0.Minutes},
                  int{h0.Seconds});
}
