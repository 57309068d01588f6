// SPDX-License-Identifier: MIT
// Date and time counting: carries across every boundary, leap years included.
#include "model_fixture.h"

namespace {

struct Reading {
    unsigned year, month, day, day_of_year, day_of_week, hour, minute, second, microsecond;
    bool operator==(const Reading&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Reading& r)
{
    return os << r.year << '-' << r.month << '-' << r.day << " doy " << r.day_of_year << " dow "
              << r.day_of_week << ' ' << r.hour << ':' << r.minute << ':' << r.second << '.'
              << r.microsecond;
}

class CalendarTest : public ModelTest {
protected:
    Reading reading()
    {
        return {read16(REG_YEAR),    read16(REG_MONTH),   read16(REG_DAY),
                read16(REG_DAY_OF_YEAR), read16(REG_DAY_OF_WEEK), read16(REG_HOURS),
                read16(REG_MINUTES), read16(REG_SECONDS), read32(REG_MICROSECONDS)};
    }
};

TEST_F(CalendarTest, PowerOnTimeIsStartOf2008)
{
    // 2008-01-01 was a Tuesday.
    EXPECT_EQ(reading(), (Reading{2008, 1, 1, 1, 2, 0, 0, 0, 0}));
}

TEST_F(CalendarTest, MicrosecondsCarryIntoSecondsMinutesHours)
{
    set_time(2008, 2, 14, 10, 59, 59, 999999);
    advance(1000); // one microsecond
    EXPECT_EQ(reading(), (Reading{2008, 2, 14, 45, 4, 11, 0, 0, 0}));
    advance(500 * 1000 + 999); // sub-microsecond nanoseconds are kept, not shown
    EXPECT_EQ(read32(REG_MICROSECONDS), 500u);
    advance(1);
    EXPECT_EQ(read32(REG_MICROSECONDS), 501u);
}

TEST_F(CalendarTest, NewYearCarriesEveryField)
{
    set_time(2008, 12, 31, 23, 59, 59, 999999);
    EXPECT_EQ(reading(), (Reading{2008, 12, 31, 366, 3, 23, 59, 59, 999999}));
    advance(1000);
    EXPECT_EQ(reading(), (Reading{2009, 1, 1, 1, 4, 0, 0, 0, 0}));
}

TEST_F(CalendarTest, EndOfFebruaryInLeapAndCommonYears)
{
    set_time(2008, 2, 28, 23, 59, 59, 999999);
    advance(1000);
    EXPECT_EQ(reading(), (Reading{2008, 2, 29, 60, 5, 0, 0, 0, 0}));
    advance(86400 * kSecond);
    EXPECT_EQ(reading(), (Reading{2008, 3, 1, 61, 6, 0, 0, 0, 0}));

    set_time(2009, 2, 28, 23, 59, 59, 999999);
    advance(1000);
    EXPECT_EQ(reading(), (Reading{2009, 3, 1, 60, 0, 0, 0, 0, 0}));

    // Century rules: 1900 and 2100 have no 29 February, 2000 has.
    set_time(2100, 2, 28, 23, 59, 59, 999999);
    advance(1000);
    EXPECT_EQ(read16(REG_MONTH), 3u);
    set_time(2000, 2, 28, 23, 59, 59, 999999);
    advance(1000);
    EXPECT_EQ(read16(REG_DAY), 29u);
}

TEST_F(CalendarTest, EveryMonthEndCarriesToTheFirst)
{
    const unsigned days_in_month[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (unsigned month = 1; month <= 12; ++month) {
        set_time(2010, month, days_in_month[month - 1], 23, 59, 59, 999999);
        advance(1000);
        EXPECT_EQ(read16(REG_DAY), 1u) << "month " << month;
        EXPECT_EQ(read16(REG_MONTH), month % 12 + 1) << "month " << month;
    }
}

TEST_F(CalendarTest, LongAdvanceMatchesTheCalendar)
{
    // 1000 days and 1.5 s after 2008-01-01 00:00:00 is 2010-09-27 00:00:01.5, a Monday.
    advance(1000ULL * 86400 * kSecond + 1500 * kMs);
    EXPECT_EQ(reading(), (Reading{2010, 9, 27, 270, 1, 0, 0, 1, 500000}));
}

TEST_F(CalendarTest, UnixTimeSetsTheCalendar)
{
    tcr7750_model_set_unix_time(&board, 1203069723, 500000); // 2008-02-15 10:02:03 UTC
    EXPECT_EQ(reading(), (Reading{2008, 2, 15, 46, 5, 10, 2, 3, 500}));
}

TEST(Calendar, DayConversionsRoundTrip)
{
    for (int64_t days = -800000; days <= 800000; days += 997) {
        int year;
        unsigned month, day;
        tcr7750_civil_from_days(days, &year, &month, &day);
        ASSERT_EQ(tcr7750_days_from_civil(year, month, day), days);
    }
    EXPECT_EQ(tcr7750_days_from_civil(1970, 1, 1), 0);
    EXPECT_TRUE(tcr7750_is_leap_year(2000));
    EXPECT_FALSE(tcr7750_is_leap_year(1900));
}

} // namespace
