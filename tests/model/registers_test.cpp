// SPDX-License-Identifier: MIT
// Register window semantics: widths, control bits, initial year, TD decoding,
// version text and the access log.
#include "model_fixture.h"

namespace {

using RegistersTest = ModelTest;

TEST_F(RegistersTest, ReadsReturnLittleEndianBytesAtAnyWidth)
{
    set_time(2008, 2, 14, 10, 2, 3, 0x0A0B0C);
    EXPECT_EQ(read32(REG_MICROSECONDS), 0x0A0B0Cu);
    EXPECT_EQ(tcr7750_model_read(&board, REG_MICROSECONDS, 1), 0x0Cu);
    EXPECT_EQ(tcr7750_model_read(&board, REG_MICROSECONDS + 1, 2), 0x0A0Bu);
    // The year as one 32-bit read spanning REG_YEAR and REG_MONTH.
    EXPECT_EQ(read32(REG_YEAR), (2u << 16) | 2008u);
    // The month as one byte, as the Linux module reads it.
    EXPECT_EQ(tcr7750_model_read(&board, REG_MONTH, 1), 2u);
}

TEST_F(RegistersTest, UnnamedWriteOnlyAndOutOfWindowOffsetsReadZero)
{
    write16(REG_INITIAL_YEAR, 2010);
    write16(REG_PERIOD, 7);
    for (unsigned offset : {0x02u, 0x08u, 0x20u, 0x7Eu, unsigned(REG_INITIAL_YEAR), unsigned(REG_PERIOD),
                            0x86u, 0x98u, 0xDEu, 0xF0u, 0xFEu})
        EXPECT_EQ(read16(offset), 0u) << std::hex << offset;
    EXPECT_EQ(tcr7750_model_read(&board, 0xFE, 4), 0u);
    EXPECT_EQ(tcr7750_model_read(&board, 0x400, 2), 0u);
}

TEST_F(RegistersTest, WritesToReadOnlyRegistersChangeNothing)
{
    set_time(2008, 2, 14, 10, 2, 3, 500);
    tcr7750_model_set_status(&board, ST_FRAME_OK);
    for (unsigned offset : {unsigned(REG_STATUS), unsigned(REG_MICROSECONDS), unsigned(REG_YEAR),
                            unsigned(REG_HOURS), unsigned(REG_RISE_SECONDS), unsigned(REG_VERSION)})
        tcr7750_model_write(&board, offset, 4, 0xFFFFFFFF);
    EXPECT_EQ(read16(REG_STATUS), unsigned(ST_FRAME_OK));
    EXPECT_EQ(read16(REG_YEAR), 2008u);
    EXPECT_EQ(read16(REG_HOURS), 10u);
    EXPECT_EQ(read32(REG_MICROSECONDS), 500u);
    EXPECT_EQ(read32(REG_RISE_SECONDS), 0u);
    EXPECT_EQ(tcr7750_model_read(&board, REG_VERSION, 1), unsigned('T'));
    EXPECT_EQ(board.control_writes, 0u);
}

TEST_F(RegistersTest, ControlKeepsLevelBitsAndDropsPulseBits)
{
    write16(REG_CONTROL, CTL_TIMESTAMP_ENABLE | CTL_FALLING_EDGE | CTL_MODE_AFNOR | CTL_PERIODIC_ACK |
                             CTL_LOAD_YEAR | CTL_DISABLE_STROBE);
    EXPECT_EQ(read16(REG_CONTROL), unsigned(CTL_TIMESTAMP_ENABLE | CTL_FALLING_EDGE | CTL_MODE_AFNOR));
    EXPECT_EQ(board.last_control_write,
              CTL_TIMESTAMP_ENABLE | CTL_FALLING_EDGE | CTL_MODE_AFNOR | CTL_PERIODIC_ACK | CTL_LOAD_YEAR |
                  CTL_DISABLE_STROBE);
    // Every write replaces the level bits whole.
    write16(REG_CONTROL, CTL_MODE_TD);
    EXPECT_EQ(read16(REG_CONTROL), unsigned(CTL_MODE_TD));
    EXPECT_EQ(board.control_writes, 2u);
}

TEST_F(RegistersTest, LoadYearTakesTheInitialYearAndKeepsDayOfYearAndTime)
{
    set_time(2008, 2, 14, 10, 2, 3, 500); // day 45
    write16(REG_INITIAL_YEAR, 2010);
    EXPECT_EQ(read16(REG_YEAR), 2008u) << "the year waits for CTL_LOAD_YEAR";
    write16(REG_CONTROL, CTL_LOAD_YEAR);
    EXPECT_EQ(read16(REG_YEAR), 2010u);
    EXPECT_EQ(read16(REG_DAY_OF_YEAR), 45u);
    EXPECT_EQ(read16(REG_MONTH), 2u);
    EXPECT_EQ(read16(REG_DAY), 14u);
    EXPECT_EQ(read16(REG_DAY_OF_WEEK), 0u); // 2010-02-14 was a Sunday
    EXPECT_EQ(read16(REG_HOURS), 10u);
    EXPECT_EQ(read32(REG_MICROSECONDS), 500u);
    EXPECT_EQ(read16(REG_CONTROL), 0u) << "CTL_LOAD_YEAR is not kept";

    // Writing the control register again without the pulse loads nothing.
    write16(REG_INITIAL_YEAR, 2030);
    write16(REG_CONTROL, 0);
    EXPECT_EQ(read16(REG_YEAR), 2010u);
}

TEST_F(RegistersTest, LoadYearMovesDayOfYearOntoTheNewCalendar)
{
    set_time(2008, 3, 1, 0, 0, 0, 0); // day 61 of a leap year
    write16(REG_INITIAL_YEAR, 2009);
    write16(REG_CONTROL, CTL_LOAD_YEAR);
    EXPECT_EQ(read16(REG_MONTH), 3u);
    EXPECT_EQ(read16(REG_DAY), 2u);

    set_time(2008, 12, 31, 12, 0, 0, 0); // day 366
    write16(REG_CONTROL, CTL_LOAD_YEAR);
    EXPECT_EQ(read16(REG_DAY_OF_YEAR), 365u);
    EXPECT_EQ(read16(REG_DAY), 31u);
}

TEST_F(RegistersTest, WideWriteSetsControlAndInitialYearTogether)
{
    write16(REG_INITIAL_YEAR, 1999);
    // One 32-bit write at REG_CONTROL carries the initial year in its high half.
    tcr7750_model_write(&board, REG_CONTROL, 4, (2012u << 16) | CTL_LOAD_YEAR);
    EXPECT_EQ(read16(REG_YEAR), 2012u);
}

TEST_F(RegistersTest, TdDecodingShowsTheTimeDifference)
{
    set_time(2008, 2, 14, 10, 2, 3, 500);
    tcr7750_time_difference td{
        .negative = 1,
        .state_s = 1,
        .day_of_year = 12,
        .hours = 0,
        .minutes = 1,
        .seconds = 0,
        .microseconds = 250000,
    };
    tcr7750_model_set_time_difference(&board, &td);
    tcr7750_model_set_status(&board, ST_FRAME_OK | ST_SIGN_NEGATIVE | ST_STATE_S);
    EXPECT_EQ(read16(REG_HOURS), 10u) << "standard decoding shows the time";

    write16(REG_CONTROL, CTL_MODE_TD);
    EXPECT_EQ(read16(REG_DAY_OF_YEAR), 12u);
    EXPECT_EQ(read16(REG_HOURS), 0u);
    EXPECT_EQ(read16(REG_MINUTES), 1u);
    EXPECT_EQ(read16(REG_SECONDS), 0u);
    EXPECT_EQ(read32(REG_MICROSECONDS), 250000u);
    EXPECT_EQ(read16(REG_YEAR), 2008u) << "the date goes on";
    EXPECT_EQ(read16(REG_STATUS), unsigned(ST_FRAME_OK | ST_SIGN_NEGATIVE | ST_STATE_S));

    advance(5 * kSecond);
    EXPECT_EQ(read16(REG_SECONDS), 0u) << "the difference does not run";

    write16(REG_CONTROL, CTL_MODE_AFNOR);
    EXPECT_EQ(read16(REG_HOURS), 10u);
    EXPECT_EQ(read16(REG_SECONDS), 8u);
}

TEST_F(RegistersTest, StatusCarriesSettableBitsButNotPendingOnes)
{
    tcr7750_model_set_status(&board, 0xFFFF);
    EXPECT_EQ(read16(REG_STATUS), 0xFFFFu & ~unsigned(ST_BOARD_IRQ));
    tcr7750_model_set_status(&board, 0x0350);
    EXPECT_EQ(read16(REG_STATUS), 0x0350u);
}

TEST_F(RegistersTest, VersionTextIsSixteenBytesAtTheEnd)
{
    std::string text;
    for (unsigned i = 0; i < REG_VERSION_SIZE; ++i)
        text += char(tcr7750_model_read(&board, REG_VERSION + i, 1));
    EXPECT_EQ(text, std::string(TCR7750_MODEL_DEFAULT_VERSION, 16));

    const uint8_t custom[REG_VERSION_SIZE] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', '!',
                                              'H', 'I', 'J', 'K', 'L', 'M', 'N', '?'};
    tcr7750_model_set_version(&board, custom);
    EXPECT_EQ(tcr7750_model_read(&board, REG_VERSION_PART2, 1), unsigned('H'));
    EXPECT_EQ(tcr7750_model_read(&board, 0xEF, 1), unsigned('?'));
}

TEST_F(RegistersTest, AccessLogRecordsEveryAccessInOrder)
{
    tcr7750_model_clear_log(&board);
    read16(REG_STATUS);
    write16(REG_PERIOD, 10);
    tcr7750_model_read(&board, REG_VERSION, 1);
    write16(REG_CONTROL, CTL_PERIODIC_ENABLE | CTL_PERIODIC_ACK);

    auto entries = logged();
    ASSERT_EQ(entries.size(), 4u);
    auto expect = [&](size_t i, unsigned offset, unsigned width, tcr7750_direction dir, uint32_t value) {
        EXPECT_EQ(entries[i].offset, offset) << i;
        EXPECT_EQ(entries[i].width, width) << i;
        EXPECT_EQ(entries[i].direction, dir) << i;
        EXPECT_EQ(entries[i].value, value) << i;
    };
    expect(0, REG_STATUS, 2, TCR7750_READ, 0);
    expect(1, REG_PERIOD, 2, TCR7750_WRITE, 10);
    expect(2, REG_VERSION, 1, TCR7750_READ, 'T');
    expect(3, REG_CONTROL, 2, TCR7750_WRITE, CTL_PERIODIC_ENABLE | CTL_PERIODIC_ACK);
}

TEST_F(RegistersTest, AccessLogMarksAccessesThatMeetARegisterAtAnotherWidth)
{
    tcr7750_model_clear_log(&board);
    read16(REG_STATUS);
    tcr7750_model_read(&board, REG_MONTH, 1);            // the low byte of a 16-bit register
    tcr7750_model_read(&board, REG_MICROSECONDS + 2, 2); // the high half of a 32-bit one
    read32(REG_STATUS);                                  // one register and unnamed bytes
    tcr7750_model_read(&board, REG_VERSION, 4);          // four version bytes at once
    read32(0x08);                                        // unnamed bytes only
    tcr7750_model_write(&board, REG_CONTROL, 1, 0);
    write16(REG_PERIOD, 10);

    std::vector<int> wrong;
    for (const tcr7750_access& a : logged())
        wrong.push_back(a.wrong_width);
    EXPECT_EQ(wrong, (std::vector<int>{0, 1, 1, 1, 1, 0, 1, 0}));
}

TEST_F(RegistersTest, SnapshotHoldsWhatByteReadsReturn)
{
    set_time(2008, 2, 14, 10, 2, 3, 0x0A0B0C);
    tcr7750_model_set_status(&board, ST_FRAME_OK | 0x0350);
    write16(REG_CONTROL, CTL_TIMESTAMP_ENABLE);
    tcr7750_model_edge(&board, TCR7750_EDGE_RISING);

    uint8_t window[TCR7750_WINDOW_SIZE];
    tcr7750_model_snapshot(&board, window);
    for (unsigned offset = 0; offset < TCR7750_WINDOW_SIZE; ++offset)
        EXPECT_EQ(window[offset], tcr7750_model_read(&board, offset, 1)) << std::hex << offset;
    EXPECT_EQ(window[REG_RISE_SECONDS], (10 * 3600 + 2 * 60 + 3) & 0xFF);
}

TEST_F(RegistersTest, AccessLogCountsPastItsCapacity)
{
    std::vector<tcr7750_access> small(2);
    tcr7750_model_set_log(&board, small.data(), small.size());
    read16(REG_YEAR);
    read16(REG_MONTH);
    read16(REG_DAY);
    EXPECT_EQ(board.log_count, 3u);
    EXPECT_EQ(small[1].offset, REG_MONTH);
}

} // namespace
