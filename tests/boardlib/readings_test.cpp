// SPDX-License-Identifier: MIT
// The reading exports: the registers each reads, in one request, and the
// records it fills from them.
#include <cstring>

#include "library_fixture.h"

namespace {

class ReadingTest : public LibraryTest {
protected:
    // The board in the TD/H0 decoding, showing h:m:s and u.
    void show_difference(bool negative, uint16_t h, uint16_t m, uint16_t s, uint32_t u, bool stateS = false,
                         uint16_t dayOfYear = 0)
    {
        ASSERT_EQ(SetIrigMode(2), 0);
        tcr7750_time_difference td{
            .negative = negative,
            .state_s = stateS,
            .day_of_year = dayOfYear,
            .hours = h,
            .minutes = m,
            .seconds = s,
            .microseconds = u,
        };
        sim.set_time_difference(td);
        sim.clear_logs();
    }
};

const std::vector<Expected> kTdList = {read_of(REG_HOURS, 2), read_of(REG_MINUTES, 2), read_of(REG_SECONDS, 2),
                                       read_of(REG_STATUS, 2), read_of(REG_MICROSECONDS, 4)};

TEST_F(ReadingTest, StatusReadsStatusThenTheControlRegisterAsTheBoardHoldsIt)
{
    open();
    sim.set_status(ST_FRAME_OK | ST_STATE_S);
    ASSERT_EQ(SetIrigMode(1), 0);
    sim.clear_logs();
    uint16_t status = 0, control = 0;
    EXPECT_EQ(GetBoardStatus(&status, &control), 0);
    EXPECT_EQ(codes(), Codes{IOCTL_WD_MULTI_TRANSFER});
    expect_accesses({read_of(REG_STATUS, 2), read_of(REG_CONTROL, 2)});
    EXPECT_EQ(status, ST_FRAME_OK | ST_STATE_S);
    EXPECT_EQ(control, CTL_MODE_AFNOR);
}

TEST_F(ReadingTest, DateTimeReadsTheTimeRegistersUpwardsThenStatusThenMicroseconds)
{
    open();
    sim.set_datetime(datetime(2008, 2, 29, 13, 45, 7, 999999));
    sim.set_status(ST_FRAME_OK);
    SYSTEMTIME t{};
    uint16_t day = 0, status = 0;
    uint32_t micros = 0;
    EXPECT_EQ(GetBoardDateTime(&t, &day, &micros, &status), 0);
    EXPECT_EQ(codes(), Codes{IOCTL_WD_MULTI_TRANSFER});
    expect_accesses({read_of(0x10, 2), read_of(0x12, 2), read_of(0x14, 2), read_of(0x16, 2), read_of(0x18, 2),
                     read_of(0x1A, 2), read_of(0x1C, 2), read_of(0x1E, 2), read_of(REG_STATUS, 2),
                     read_of(REG_MICROSECONDS, 4)});
    EXPECT_EQ(t.wYear, 2008);
    EXPECT_EQ(t.wMonth, 2);
    EXPECT_EQ(t.wDay, 29);
    EXPECT_EQ(t.wDayOfWeek, 5); // a Friday
    EXPECT_EQ(t.wHour, 13);
    EXPECT_EQ(t.wMinute, 45);
    EXPECT_EQ(t.wSecond, 7);
    EXPECT_EQ(t.wMilliseconds, 999);
    EXPECT_EQ(day, 60);
    EXPECT_EQ(micros, 999999u);
    EXPECT_EQ(status, ST_FRAME_OK);
}

TEST_F(ReadingTest, MillisecondsTruncate)
{
    open();
    sim.set_datetime(datetime(2026, 12, 8, 0, 0, 0, 1500));
    SYSTEMTIME t{};
    uint16_t day = 0, status = 0;
    uint32_t micros = 0;
    GetBoardDateTime(&t, &day, &micros, &status);
    EXPECT_EQ(t.wMilliseconds, 1);
}

TEST_F(ReadingTest, TdGivesTheBoardsReadingUnchangedWithoutMicroseconds)
{
    open();
    for (bool negative : {true, false}) {
        SCOPED_TRACE(negative);
        show_difference(negative, 0, 1, 0, 250000, true);
        TdRecord td;
        std::memset(&td, 0x55, sizeof td);
        uint16_t status = 0;
        EXPECT_EQ(GetTD(&td, &status), 0);
        EXPECT_EQ(codes(), Codes{IOCTL_WD_MULTI_TRANSFER});
        expect_accesses(kTdList);
        EXPECT_EQ(td.State, 'S');
        EXPECT_EQ(td.Sign, negative ? '-' : '+');
        EXPECT_EQ(td.Hours, 0);
        EXPECT_EQ(td.Minutes, 1);
        EXPECT_EQ(td.Seconds, 0);
        EXPECT_EQ(td.Microseconds, 0);
        EXPECT_EQ(td.Unused[0], 0x55); // never written
        EXPECT_EQ(status, (negative ? ST_SIGN_NEGATIVE : 0) | ST_STATE_S);
    }
}

struct TdExCase {
    bool negative;
    uint16_t h, m, s;
    uint32_t u;
    uint8_t hours, minutes, seconds;
    int32_t microseconds;
};

void PrintTo(const TdExCase &c, std::ostream *out)
{
    *out << (c.negative ? '-' : '+') << c.h << ':' << c.m << ':' << c.s << '.' << c.u;
}

class TdExTest : public ReadingTest, public ::testing::WithParamInterface<TdExCase> {};

TEST_P(TdExTest, NegativeReadingsLoseOneSecondAndComplementTheMicroseconds)
{
    const TdExCase &c = GetParam();
    open();
    show_difference(c.negative, c.h, c.m, c.s, c.u);
    TdRecord td{};
    uint16_t status = 0;
    EXPECT_EQ(GetTDEx(&td, &status), 0);
    EXPECT_EQ(codes(), Codes{IOCTL_WD_MULTI_TRANSFER});
    expect_accesses(kTdList);
    EXPECT_EQ(td.State, 'R');
    EXPECT_EQ(td.Sign, c.negative ? '-' : '+');
    EXPECT_EQ(td.Hours, c.hours);
    EXPECT_EQ(td.Minutes, c.minutes);
    EXPECT_EQ(td.Seconds, c.seconds);
    EXPECT_EQ(td.Microseconds, c.microseconds);
}

INSTANTIATE_TEST_SUITE_P(
    Readings, TdExTest,
    ::testing::Values(TdExCase{false, 1, 2, 3, 456789, 1, 2, 3, 456789},
                      TdExCase{true, 0, 1, 0, 250000, 0, 0, 59, 750000},
                      TdExCase{true, 2, 0, 0, 0, 1, 59, 59, 1000000},   // not normalised
                      TdExCase{true, 0, 0, 0, 1, 0, 0, 0xFF, 999999},   // t = -1
                      TdExCase{true, 23, 59, 59, 999999, 23, 59, 58, 1}));

TEST_F(ReadingTest, H0ReadsTheDayOfYearFirst)
{
    open();
    show_difference(false, 12, 34, 56, 7, true, 300);
    H0Record h0{};
    uint16_t status = 0;
    EXPECT_EQ(GetH0(&h0, &status), 0);
    EXPECT_EQ(codes(), Codes{IOCTL_WD_MULTI_TRANSFER});
    std::vector<Expected> list = {read_of(REG_DAY_OF_YEAR, 2)};
    list.insert(list.end(), kTdList.begin(), kTdList.end());
    expect_accesses(list);
    EXPECT_EQ(h0.State, 'S');
    EXPECT_EQ(h0.Hours, 12);
    EXPECT_EQ(h0.Minutes, 34);
    EXPECT_EQ(h0.Seconds, 56);
    EXPECT_EQ(h0.DayOfYear, 300);
    EXPECT_EQ(status, ST_STATE_S);
}

TEST_F(ReadingTest, VersionIsTwoSevenCharacterHalvesByteByByte)
{
    open();
    sim.set_version("ABCDEFG#HIJKLMN#");
    char text[20];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(GetBoardVersion(text), 0);
    EXPECT_EQ(codes(), Codes{IOCTL_WD_MULTI_TRANSFER});
    std::vector<Expected> list;
    for (unsigned offset = 0xE0; offset <= 0xE6; ++offset)
        list.push_back(read_of(offset, 1));
    for (unsigned offset = 0xE8; offset <= 0xEE; ++offset)
        list.push_back(read_of(offset, 1));
    expect_accesses(list);
    EXPECT_EQ(std::string(text, 16), std::string("ABCDEFG HIJKLMN\0", 16));
    EXPECT_EQ(text[16], 'x'); // exactly 16 bytes written
}

TEST_F(ReadingTest, TimestampReadsTheLatestCapturesLive)
{
    open();
    sim.set_datetime(datetime(2026, 12, 8, 1, 0, 0, 250));
    // The board captures the chosen edge while time stamps are enabled.
    auto capture = [&](uint16_t control, tcr7750_edge edge) {
        sim.with_board([&](tcr7750_model &m) { tcr7750_model_write(&m, REG_CONTROL, 2, control); });
        sim.edge(edge);
    };
    capture(CTL_TIMESTAMP_ENABLE, TCR7750_EDGE_RISING);
    sim.advance(std::chrono::microseconds(1500));
    capture(CTL_TIMESTAMP_ENABLE | CTL_FALLING_EDGE, TCR7750_EDGE_FALLING);
    sim.clear_logs();
    EdgeStamp rising{}, falling{};
    EXPECT_EQ(GetBoardTimestamp(&rising, &falling), 0);
    EXPECT_EQ(codes(), Codes{IOCTL_WD_MULTI_TRANSFER});
    expect_accesses({read_of(REG_RISE_SECONDS, 4), read_of(REG_RISE_MICROSECONDS, 4),
                     read_of(REG_FALL_SECONDS, 4), read_of(REG_FALL_MICROSECONDS, 4)});
    EXPECT_EQ(rising.Seconds, 3600);
    EXPECT_EQ(rising.Microseconds, 250);
    EXPECT_EQ(falling.Seconds, 3600);
    EXPECT_EQ(falling.Microseconds, 1750);
}

// A failed request is a failure, not a zero reading: -1 and the caller's
// variables keep what they held.
TEST_F(ReadingTest, AFailedRequestRefusesAndWritesNothing)
{
    open();
    sim.set_status(ST_FRAME_OK);
    sim.set_failures({.failingRequests = {IOCTL_WD_MULTI_TRANSFER}});
    SYSTEMTIME t{};
    t.wYear = 1999;
    uint16_t day = 7, status = 7, control = 7;
    uint32_t micros = 7;
    TdRecord td{};
    td.Sign = '?';
    H0Record h0{};
    h0.State = '?';
    char text[16] = "unchanged";
    EdgeStamp rising{1, 2}, falling{3, 4};
    EXPECT_EQ(GetBoardStatus(&status, &control), -1);
    EXPECT_EQ(GetBoardDateTime(&t, &day, &micros, &status), -1);
    EXPECT_EQ(GetTD(&td, &status), -1);
    EXPECT_EQ(GetTDEx(&td, &status), -1);
    EXPECT_EQ(GetH0(&h0, &status), -1);
    EXPECT_EQ(GetBoardVersion(text), -1);
    EXPECT_EQ(GetBoardTimestamp(&rising, &falling), -1);
    EXPECT_EQ(codes().size(), 7u);
    EXPECT_EQ(t.wYear, 1999);
    EXPECT_EQ(day, 7);
    EXPECT_EQ(status, 7);
    EXPECT_EQ(control, 7);
    EXPECT_EQ(micros, 7u);
    EXPECT_EQ(td.Sign, '?');
    EXPECT_EQ(h0.State, '?');
    EXPECT_STREQ(text, "unchanged");
    EXPECT_EQ(rising.Microseconds, 2);
    EXPECT_EQ(falling.Seconds, 3);
    expect_accesses({});
}

// A null output is refused before anything reaches the driver.
TEST_F(ReadingTest, ANullOutputRefusesWithoutARequest)
{
    open();
    SYSTEMTIME t{};
    uint16_t day = 0, status = 0;
    uint32_t micros = 0;
    TdRecord td{};
    EdgeStamp stamp{};
    EXPECT_EQ(GetBoardStatus(&status, nullptr), -1);
    EXPECT_EQ(GetBoardStatus(nullptr, &status), -1);
    EXPECT_EQ(GetBoardDateTime(nullptr, &day, &micros, &status), -1);
    EXPECT_EQ(GetBoardDateTime(&t, &day, nullptr, &status), -1);
    EXPECT_EQ(GetTD(&td, nullptr), -1);
    EXPECT_EQ(GetTDEx(nullptr, &status), -1);
    EXPECT_EQ(GetH0(nullptr, &status), -1);
    EXPECT_EQ(GetBoardVersion(nullptr), -1);
    EXPECT_EQ(GetBoardTimestamp(&stamp, nullptr), -1);
    EXPECT_TRUE(codes().empty());
}

} // namespace
