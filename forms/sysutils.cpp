// SPDX-License-Identifier: MIT
#include "forms/sysutils.h"

#include <cctype>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <limits>

namespace forms {

namespace {

[[noreturn]] void ThrowNotInteger(std::string_view text)
{
    throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

bool ParseInteger(std::string_view text, int& result)
{
    std::size_t at = 0;
    while (at < text.size() && text[at] == ' ')
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+'))
        negative = text[at++] == '-';
    unsigned base = 10;
    if (at < text.size() && text[at] == '$') {
        base = 16;
        ++at;
    } else if (at + 1 < text.size() && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X')) {
        base = 16;
        at += 2;
    }
    if (at == text.size())
        return false;
    // Hexadecimal text may name any 32-bit pattern; decimal text must fit.
    const std::uint64_t limit = base == 16 ? 0xFFFFFFFFull
                                           : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    std::uint64_t value = 0;
    for (; at < text.size(); ++at) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        unsigned digit;
        if (std::isdigit(c))
            digit = c - '0';
        else if (base == 16 && std::isxdigit(c))
            digit = static_cast<unsigned>(std::toupper(c) - 'A' + 10);
        else
            return false;
        value = value * base + digit;
        if (value > limit)
            return false;
    }
    const auto bits = static_cast<std::uint32_t>(negative ? 0u - value : value);
    result = static_cast<int>(bits);
    return true;
}

}  // namespace

int StrToInt(std::string_view text)
{
    int value = 0;
    if (!ParseInteger(text, value))
        ThrowNotInteger(text);
    return value;
}

int StrToIntDef(std::string_view text, int fallback)
{
    int value = 0;
    return ParseInteger(text, value) ? value : fallback;
}

std::string IntToStr(long long value)
{
    return std::to_string(value);
}

std::string IntToHex(long long value, int digits)
{
    const unsigned long long bits =
        value < 0 && value >= std::numeric_limits<std::int32_t>::min()
            ? static_cast<std::uint32_t>(value)
            : static_cast<unsigned long long>(value);
    return Format("%0*llX", digits, bits);
}

std::string Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0)
        std::vsnprintf(text.data(), text.size() + 1, format, args);
    va_end(args);
    return text;
}

}  // namespace forms
