/* SPDX-License-Identifier: MIT */
// Exceptions and the text conversions of the toolkit's runtime library.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace forms {

// Base of the toolkit's exceptions; what() is the message the standard
// exception display shows.
class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Text that is not a number of the asked type.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// Decimal (or $-prefixed hexadecimal) text to a signed 32-bit integer.
// Leading blanks and a sign are accepted; anything else raises EConvertError
// with the message "'<text>' is not a valid integer value".
int StrToInt(std::string_view text);

// Like StrToInt, but returns `fallback` instead of raising.
int StrToIntDef(std::string_view text, int fallback);

std::string IntToStr(long long value);

// Upper-case hexadecimal with at least `digits` digits; a negative value shows
// as its 32-bit two's complement (-1 -> "FFFFFFFF").
std::string IntToHex(long long value, int digits);

// printf-style formatting into a string.
#ifdef __MINGW32__
std::string Format(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
#else
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
#endif

}  // namespace forms
