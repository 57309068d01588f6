// SPDX-License-Identifier: MIT
// The window's commands: decoding mode, initial year, Force update, the
// Driver group and the tray icon's mouse actions.
#include "clockkeeper_fixture.h"

#include <algorithm>

using namespace forms;

namespace {

class SettingsTest : public ClockKeeperTest {
protected:
    // The values written to `offset` since the logs were cleared.
    std::vector<std::uint32_t> WritesTo(unsigned offset)
    {
        std::vector<std::uint32_t> values;
        for (const auto& access : board.access_log())
            if (access.direction == TCR7750_WRITE && access.offset == offset)
                values.push_back(access.value);
        return values;
    }
};

TEST_F(SettingsTest, DecodeOptionsShowTheirPanelAndSendModeOneForAfnorAndIeee1344)
{
    Start();
    ASSERT_TRUE(form->RadioGroup1->ClickItem(2));
    EXPECT_FALSE(form->Panel1->Visible());
    EXPECT_TRUE(form->Panel2->Visible());
    EXPECT_EQ(board.control_register() & CTL_MODE_MASK, CTL_MODE_AFNOR);

    board.clear_logs();
    ASSERT_TRUE(form->RadioGroup1->ClickItem(1));
    EXPECT_FALSE(form->Panel1->Visible());
    EXPECT_FALSE(form->Panel2->Visible());
    ASSERT_EQ(WritesTo(REG_CONTROL).size(), 1u);
    EXPECT_EQ(WritesTo(REG_CONTROL)[0] & CTL_MODE_MASK, CTL_MODE_AFNOR);

    ASSERT_TRUE(form->RadioGroup1->ClickItem(0));
    EXPECT_TRUE(form->Panel1->Visible());
    EXPECT_FALSE(form->Panel2->Visible());
    EXPECT_EQ(board.control_register() & CTL_MODE_MASK, CTL_MODE_STANDARD);
}

TEST_F(SettingsTest, TheInitialYearGoesToTheBoard)
{
    Start();
    board.clear_logs();
    form->EdYear->SetText("2008");
    ASSERT_TRUE(form->BtnAnnumset->Click());
    EXPECT_EQ(WritesTo(REG_INITIAL_YEAR), std::vector<std::uint32_t>{2008});
    EXPECT_EQ(WritesTo(REG_CONTROL), std::vector<std::uint32_t>{CTL_LOAD_YEAR});
}

TEST_F(SettingsTest, AYearThatIsNotANumberIsRefusedAndNothingIsSent)
{
    Start();
    for (const char* text : {"20x8", ""}) {
        SCOPED_TRACE(text);
        os.ClearCalls();
        board.clear_logs();
        form->EdYear->SetText(text);
        ASSERT_TRUE(form->BtnAnnumset->Click());
        EXPECT_TRUE(board.access_log().empty());
        const auto boxes = os.MessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, std::string("'") + text + "' is not a valid integer value.");
    }
}

TEST_F(SettingsTest, ForceUpdateSetsTheClockEvenWithAStampPending)
{
    Start();
    RaiseStampPending();
    board.set_datetime(datetime(2010, 5, 6, 7, 8, 9, 10000));
    ASSERT_TRUE(form->BtnMajClk->Click());
    ASSERT_EQ(os.TimesSet().size(), 1u);
    EXPECT_EQ(os.TimesSet()[0].wYear, 2010);
    uint16_t status = 0, control = 0;
    ASSERT_EQ(GetBoardStatus(&status, &control), 0);
    EXPECT_EQ(status & 0x0003, 0x0003) << "the update came with the stamp bit set";
    EXPECT_EQ(os.TimesSet()[0].wMilliseconds, 10);
    EXPECT_EQ(form->LblTime->Caption(), "2010/05/06 - 07:08:09.010");
    EXPECT_EQ(form->PnlStatus->Color(), clLime);
    EXPECT_EQ(form->PnlLock->Color(), clLime);
    EXPECT_EQ(form->PnlDriver->Color(), clLime);
    EXPECT_EQ(os.NotifyIconCalls().size(), 1u) << "the tray icon is not changed";
}

TEST_F(SettingsTest, ForceUpdateWithoutAFrameOrWithAFailingReadLeavesTheClock)
{
    Start();
    board.set_status(0x0050);
    ASSERT_TRUE(form->BtnMajClk->Click());
    EXPECT_TRUE(os.TimesSet().empty());
    EXPECT_EQ(form->PnlStatus->Color(), clRed) << "red here, where the worker shows dark green";
    EXPECT_EQ(form->PnlLock->Color(), clRed);
    EXPECT_EQ(form->PnlDriver->Color(), clLime);

    const std::string time = form->LblTime->Caption();
    board.set_failures({.failingRequests = {IOCTL_WD_MULTI_TRANSFER}});
    ASSERT_TRUE(form->BtnMajClk->Click());
    EXPECT_TRUE(os.TimesSet().empty());
    EXPECT_EQ(form->PnlDriver->Color(), clRed);
    EXPECT_EQ(form->LblTime->Caption(), time);
}

TEST_F(SettingsTest, ForceUpdateShowsTheClockMessages)
{
    Start();
    os.setSystemTimeResult = FALSE;
    ASSERT_TRUE(form->BtnMajClk->Click());
    os.setSystemTimeResult = TRUE;
    os.adjustPrivilegesError = ERROR_NOT_ALL_ASSIGNED;
    ASSERT_TRUE(form->BtnMajClk->Click());
    EXPECT_EQ(MessageBoxLines(), (std::vector<std::string>{"System time update fail / System time",
                                                           "Failed / Set time priviledge"}));
    EXPECT_EQ(os.TimesSet().size(), 1u);
}

TEST_F(SettingsTest, DisabledThenActiveStartsANewWorkerWithTheNewInterval)
{
    Start();
    EXPECT_FALSE(form->EdInterval->Text().empty());
    ASSERT_TRUE(form->RGrpDriver->ClickItem(1));
    EXPECT_TRUE(form->EdInterval->ReadOnly()) << "until the worker has ended";
    Ticks(1);
    EXPECT_FALSE(form->ClkThreadRunning);
    EXPECT_FALSE(form->EdInterval->ReadOnly());
    EXPECT_EQ(form->EdInterval->Color(), clWhite);
    EXPECT_EQ(headless::LiveThreads(), 0);

    Ticks(120);
    EXPECT_TRUE(os.TimesSet().empty()) << "no worker, no update";
    form->Configurer1->Click();  // the window hid itself meanwhile

    form->EdInterval->SetText("5");
    ASSERT_TRUE(form->RGrpDriver->ClickItem(0));
    EXPECT_TRUE(form->ClkThreadRunning);
    EXPECT_TRUE(form->EdInterval->ReadOnly());
    EXPECT_EQ(form->EdInterval->Color(), clLime);
    EXPECT_EQ(TicksWithClockUpdates(12), (std::vector<int>{5, 10}));
}

TEST_F(SettingsTest, AnIntervalThatIsNotANumberStartsNoWorker)
{
    Start();
    ASSERT_TRUE(form->RGrpDriver->ClickItem(1));
    Ticks(1);
    form->EdInterval->SetText("1x");
    ASSERT_TRUE(form->RGrpDriver->ClickItem(0));
    EXPECT_FALSE(form->ClkThreadRunning);
    EXPECT_EQ(headless::LiveThreads(), 0);
    EXPECT_FALSE(form->EdInterval->ReadOnly());
    ASSERT_EQ(os.MessageBoxes().size(), 1u);
    EXPECT_EQ(os.MessageBoxes()[0].text, "'1x' is not a valid integer value.");
}

TEST_F(SettingsTest, TheTrayIconBringsTheWindowBackAndOpensTheMenuWhereTheMouseIs)
{
    Start();
    form->BtnIcon->Click();
    ASSERT_FALSE(form->Visible());

    os.cursorPos = POINT{1200, 870};
    form->Perform(0x0401, 1, WM_RBUTTONDOWN);
    EXPECT_EQ(form->PopupMenu1->PopupCount(), 1);
    EXPECT_EQ(form->PopupMenu1->LastPopupPoint().x, 1200);
    EXPECT_EQ(form->PopupMenu1->LastPopupPoint().y, 870);
    const auto names = os.CallNames();
    const auto cursor = std::find(names.begin(), names.end(), "GetCursorPos");
    ASSERT_NE(cursor, names.end());
    EXPECT_NE(std::find(cursor, names.end(), "SetForegroundWindow"), names.end());
    EXPECT_FALSE(form->Visible()) << "the menu opens over the hidden window";

    ASSERT_TRUE(form->Configurer1->Click());
    EXPECT_TRUE(form->Visible());

    form->Hide();
    form->Perform(0x0401, 1, WM_LBUTTONDOWN);
    form->Perform(0x0401, 1, WM_MOUSEMOVE);
    EXPECT_FALSE(form->Visible()) << "other mouse actions are ignored";
    form->Perform(0x0401, 1, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(form->Visible());
    EXPECT_EQ(form->PopupMenu1->PopupCount(), 1);
}

}  // namespace
