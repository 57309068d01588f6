// SPDX-License-Identifier: MIT
// What each button shows, on success and on failure, against the simulated
// board.
#include "bench_fixture.h"

using namespace forms;

namespace {

class Handlers : public BenchTest {
protected:
    void FailRequests()
    {
        tcr7750::sim::Failures failures;
        failures.failingRequests = {IOCTL_WD_MULTI_TRANSFER, IOCTL_WD_TRANSFER};
        sim.set_failures(failures);
    }
};

TEST_F(Handlers, OpenAndCloseReportEachOutcome)
{
    ASSERT_TRUE(Press(form->BtnClose));
    EXPECT_EQ(Status(), "Close error");
    ASSERT_TRUE(Press(form->BtnOpen));
    EXPECT_EQ(Status(), "Device opened");
    ASSERT_TRUE(Press(form->BtnOpen));
    EXPECT_EQ(Status(), "Open error");
    ASSERT_TRUE(Press(form->BtnClose));
    EXPECT_EQ(Status(), "Device closed");
    ASSERT_TRUE(Press(form->BtnClose));
    EXPECT_EQ(Status(), "Close error");
}

TEST_F(Handlers, OpenFailureFollowsTheLibrarysMessage)
{
    tcr7750::sim::Failures failures;
    failures.noBoard = true;
    sim.set_failures(failures);
    ASSERT_TRUE(Press(form->BtnOpen));
    EXPECT_EQ(Status(), "Open error");
    EXPECT_EQ(sim.message_boxes().size(), 1u);
}

TEST_F(Handlers, AStatusWordShowsWithLeadingZerosInEveryPlace)
{
    OpenDevice();
    sim.set_status(0x00A1);  // error code A, frame bit set
    form->RadioGroup2->SetItemIndex(1);
    Press(form->Button7);  // Afnor: control word 0020
    const std::pair<TButton*, std::string> shown[] = {
        {form->BtnStat, "00A1 [0020]"}, {form->BtnDate, "00A1"}, {form->Button9, "00A1"}, {form->Button10, "00A1"}};
    for (const auto& [button, text] : shown) {
        form->Edit1->SetText("");
        ASSERT_TRUE(Press(button));
        EXPECT_EQ(form->Edit1->Text(), text) << button->Caption();
    }
}

TEST_F(Handlers, StatusReadErrorLeavesTheBoxAlone)
{
    form->Edit1->SetText("earlier");
    ASSERT_TRUE(Press(form->BtnStat));
    EXPECT_EQ(Status(), "Status read error");
    EXPECT_EQ(form->Edit1->Text(), "earlier");

    OpenDevice();
    FailRequests();
    ASSERT_TRUE(Press(form->BtnStat));
    EXPECT_EQ(Status(), "Status read error");
    EXPECT_EQ(form->Edit1->Text(), "earlier");
}

TEST_F(Handlers, DateLineCarriesDayOfMonthAndOfYearMillisecondsAndMicroseconds)
{
    OpenDevice();
    sim.set_status(ST_FRAME_OK);
    sim.set_datetime(datetime(2008, 3, 15, 12, 34, 56, 789123));
    ASSERT_TRUE(Press(form->BtnDate));
    EXPECT_EQ(Status(), "Date & Time read ok");
    EXPECT_EQ(form->Edit2->Text(), "2008/03/15 075 12:34:56.789 789123");
    EXPECT_EQ(form->Edit1->Text(), "0001");

    // Every field padded to its width.
    sim.set_datetime(datetime(2009, 1, 5, 1, 2, 3, 42));
    ASSERT_TRUE(Press(form->BtnDate));
    EXPECT_EQ(form->Edit2->Text(), "2009/01/05 005 01:02:03.000 000042");
}

TEST_F(Handlers, DateReadErrorLeavesBothBoxesAlone)
{
    form->Edit1->SetText("status before");
    form->Edit2->SetText("date before");
    ASSERT_TRUE(Press(form->BtnDate));
    EXPECT_EQ(Status(), "Date & time read error");
    EXPECT_EQ(form->Edit1->Text(), "status before");
    EXPECT_EQ(form->Edit2->Text(), "date before");
}

TEST_F(Handlers, VersionShowsTheBoardsTextAndLeavesTheStatusBar)
{
    OpenDevice();
    ASSERT_TRUE(Press(form->Button1));
    EXPECT_EQ(form->EdVersion->Text(), "TCR7750 SIM 1.0");
    EXPECT_EQ(Status(), "Device opened");
}

TEST_F(Handlers, FailedVersionTdAndH0ReadsClearTheirBoxesAndSaySo)
{
    OpenDevice();
    form->RadioGroup2->SetItemIndex(2);
    Press(form->Button7);
    for (TButton* button : {form->Button1, form->Button9, form->Button10})
        Press(button);
    ASSERT_FALSE(form->EdVersion->Text().empty());
    ASSERT_FALSE(form->Edit5->Text().empty());
    ASSERT_FALSE(form->Edit7->Text().empty());

    FailRequests();
    ASSERT_TRUE(Press(form->Button1));
    EXPECT_EQ(form->EdVersion->Text(), "");
    EXPECT_EQ(Status(), "Version read error");

    ASSERT_TRUE(Press(form->Button9));
    EXPECT_EQ(form->Edit5->Text(), "");
    EXPECT_EQ(form->Edit6->Text(), "");
    EXPECT_EQ(form->Edit1->Text(), "");
    EXPECT_EQ(Status(), "TD read error");

    Press(form->Button1);  // another status text first
    ASSERT_TRUE(Press(form->Button10));
    EXPECT_EQ(form->Edit7->Text(), "");
    EXPECT_EQ(form->Edit1->Text(), "");
    EXPECT_EQ(Status(), "H0 read error");
}

TEST_F(Handlers, TdAndH0LinesInTheTdDecoding)
{
    OpenDevice();
    sim.set_status(ST_FRAME_OK);
    tcr7750_time_difference td{
        .negative = 0,
        .state_s = 1,
        .day_of_year = 75,
        .hours = 1,
        .minutes = 2,
        .seconds = 3,
        .microseconds = 4,
    };
    sim.set_time_difference(td);
    form->RadioGroup2->SetItemIndex(2);  // "TD"
    ASSERT_TRUE(Press(form->Button7));
    ASSERT_EQ(sim.control_register() & CTL_MODE_MASK, CTL_MODE_TD);

    ASSERT_TRUE(Press(form->Button9));
    EXPECT_EQ(form->Edit5->Text(), "S +01:02:03");
    EXPECT_EQ(form->Edit6->Text(), "S +01:02:03.000004");
    EXPECT_EQ(form->Edit1->Text(), "1001");

    form->Edit1->SetText("");
    ASSERT_TRUE(Press(form->Button10));
    EXPECT_EQ(form->Edit7->Text(), "S 075 01:02:03");
    EXPECT_EQ(form->Edit1->Text(), "1001");
    EXPECT_EQ(Status(), "Device opened") << "successful readings write no status text";

    td.state_s = 0;
    td.negative = 1;
    td.microseconds = 250000;
    sim.set_time_difference(td);
    ASSERT_TRUE(Press(form->Button9));
    EXPECT_EQ(form->Edit5->Text(), "R -01:02:03");
    EXPECT_EQ(form->Edit6->Text(), "R -01:02:02.750000");
    EXPECT_EQ(form->Edit1->Text(), "2001");
}

TEST_F(Handlers, ModeButtonPassesTheSelectedIndexWhenPressed)
{
    OpenDevice();
    // The library decodes TD and H0 alike.
    const uint16_t fields[] = {CTL_MODE_STANDARD, CTL_MODE_AFNOR, CTL_MODE_TD, CTL_MODE_TD};
    for (int index : {2, 1, 3, 0}) {
        form->RadioGroup2->SetItemIndex(index);
        ASSERT_TRUE(Press(form->Button7));
        EXPECT_EQ(sim.control_register() & CTL_MODE_MASK, fields[index]) << index;
    }
    EXPECT_EQ(Status(), "Device opened");
    EXPECT_TRUE(MessageBoxTexts().empty());
}

TEST_F(Handlers, InitialYearReachesTheBoard)
{
    OpenDevice();
    form->Edit4->SetText("2031");
    ASSERT_TRUE(Press(form->Button8));
    EXPECT_EQ(sim.with_board([](tcr7750_model& m) { return m.initial_year; }), 2031);
    EXPECT_TRUE(MessageBoxTexts().empty());
}

TEST_F(Handlers, AYearThatIsNoNumberShowsTheMessageAndNothingReachesTheBoard)
{
    OpenDevice();
    sim.clear_logs();
    form->Edit4->SetText("20x8");
    ASSERT_TRUE(Press(form->Button8));
    EXPECT_EQ(MessageBoxTexts(), std::vector<std::string>{"'20x8' is not a valid integer value."});
    EXPECT_TRUE(sim.requests().empty());
    EXPECT_EQ(Status(), "Device opened");
}

TEST_F(Handlers, ReadTimestampListsBothEdgesWithFiveBlanks)
{
    OpenDevice();
    form->ListBox1->Items().Add("older line");
    ASSERT_EQ(EnableTimestampInterrupt(0), 0);  // the board latches rising edges
    sim.set_datetime(datetime(2008, 3, 15, 0, 2, 3, 456));
    sim.edge(TCR7750_EDGE_RISING);
    ASSERT_TRUE(Press(form->Button5));
    EXPECT_EQ(Lines(), (std::vector<std::string>{"older line", "R: 00123.000456     F: 00000.000000"}));
    EXPECT_EQ(Status(), "Device opened");
}

TEST_F(Handlers, ReadTimestampOnAClosedDeviceSaysSo)
{
    ASSERT_TRUE(Press(form->Button5));
    EXPECT_EQ(Status(), "Device not open");
    EXPECT_TRUE(Lines().empty());
}

}  // namespace
