/* SPDX-License-Identifier: MIT */
// How the test bench shows what the board answered: one function per line
// or field, used by the window and by the monitor thread alike.
#pragma once

#include <cstdint>
#include <string>

#include "tcr7750.h"

// A status word: four upper-case hexadecimal digits ("00A5").
std::string StatusWordText(std::uint16_t status);

// The status and control words: "00A5 [0003]".
std::string StatusAndControlText(std::uint16_t status, std::uint16_t control);

// The board's date and time: day of month before day of year, then both the
// milliseconds and the microseconds of the second:
// "2008/03/15 075 12:34:56.789 789123".
std::string DateLineText(const SYSTEMTIME& dateTime, std::uint16_t dayOfYear, std::uint32_t microseconds);

// The two edge stamps: "R: 00123.000456     F: 00124.000789".
std::string TimestampLineText(const EdgeStamp& rising, const EdgeStamp& falling);

// A TD reading without and with its microseconds: "S +01:02:03",
// "S +01:02:03.000004".
std::string TdText(const TdRecord& td);
std::string TdExText(const TdRecord& td);

// An H0 reading: "S 075 01:02:03".
std::string H0Text(const H0Record& h0);
