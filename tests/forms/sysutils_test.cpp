// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "forms/sysutils.h"

using namespace forms;

TEST(SysUtils, StrToIntReadsWholeNumbers)
{
    EXPECT_EQ(StrToInt("60"), 60);
    EXPECT_EQ(StrToInt("-5"), -5);
    EXPECT_EQ(StrToInt("+7"), 7);
    EXPECT_EQ(StrToInt("  300"), 300);
    EXPECT_EQ(StrToInt("$FF"), 255);
    EXPECT_EQ(StrToInt("0x10"), 16);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
}

TEST(SysUtils, StrToIntRaisesTheClassicMessage)
{
    for (const char* bad : {"20x8", "", " ", "-", "12 ", "2147483648", "-2147483649", "$", "1.5", "$1FFFFFFFF"}) {
        try {
            StrToInt(bad);
            ADD_FAILURE() << "accepted '" << bad << "'";
        } catch (const EConvertError& error) {
            EXPECT_EQ(error.what(), "'" + std::string(bad) + "' is not a valid integer value");
        }
    }
    EXPECT_EQ(StrToIntDef("20x8", -1), -1);
}

TEST(SysUtils, IntToHexIsUpperCaseWithAtLeastTheDigitsAsked)
{
    EXPECT_EQ(IntToHex(0xA5, 4), "00A5");
    EXPECT_EQ(IntToHex(0x12345, 4), "12345");
    EXPECT_EQ(IntToHex(0, 4), "0000");
    EXPECT_EQ(IntToHex(-1, 4), "FFFFFFFF");
    EXPECT_EQ(IntToHex(0xBEEF, 2), "BEEF");
    EXPECT_EQ(IntToStr(-42), "-42");
}

TEST(SysUtils, FormatFollowsPrintf)
{
    EXPECT_EQ(Format("%04d/%02d/%02d %03d %02d:%02d:%02d.%03d %06d", 2008, 3, 15, 75, 12, 34, 56, 789, 789123),
              "2008/03/15 075 12:34:56.789 789123");
    EXPECT_EQ(Format("%4d|%04X [%04X]", 8, 0xa5, 0x1f), "   8|00A5 [001F]");
    EXPECT_EQ(Format("%c %c%02d", 'V', '+', 5), "V +05");
    EXPECT_EQ(Format("P[%04d]: error get time", 12345), "P[12345]: error get time");
    EXPECT_EQ(Format("%s", std::string(300, 'x').c_str()).size(), 300u);
    EXPECT_EQ(Format("plain"), "plain");
}
