// SPDX-License-Identifier: MIT
// The worker's display step: panel colours, texts and the tray icon, with
// the window shown and hidden.
#include "clockkeeper_fixture.h"

using namespace forms;

namespace {

using DisplayTest = ClockKeeperTest;

TEST_F(DisplayTest, AGoodFrameShowsGreenAndTheBoardTime)
{
    board.set_datetime(datetime(987, 1, 2, 3, 4, 5, 6000));
    os.systemTime = {987, 1, 5, 2, 3, 4, 0, 0};  // the PC agrees on the year
    Start();
    form->LblReceiver->SetCaption("stale");
    Ticks(1);
    EXPECT_EQ(form->PnlStatus->Color(), clLime);
    EXPECT_EQ(form->PnlLock->Color(), clLime);
    EXPECT_EQ(form->PnlDriver->Color(), clLime);
    EXPECT_EQ(form->LblReceiver->Caption(), "");
    EXPECT_EQ(form->LblTime->Caption(), " 987/01/02 - 03:04:05.006") << "the year padded with blanks";
    EXPECT_EQ(TrayIconsSent(), std::vector<HICON>{Green()});
}

TEST_F(DisplayTest, AnErrorCodeShowsDarkGreenRedAndTheCode)
{
    Start();
    board.set_status(0x0050);
    Ticks(1);
    EXPECT_EQ(form->PnlStatus->Color(), clGreen);
    EXPECT_EQ(ColorToRGB(form->PnlStatus->Color()), RGB(0, 128, 0));
    EXPECT_EQ(form->PnlLock->Color(), clRed);
    EXPECT_EQ(form->PnlDriver->Color(), clLime);
    EXPECT_EQ(form->LblReceiver->Caption(), "Error : 0005");
    EXPECT_EQ(TrayIconsSent(), std::vector<HICON>{Red()});
    board.set_status(0x00F0);
    Ticks(1);
    EXPECT_EQ(form->LblReceiver->Caption(), "Error : 000F");
    EXPECT_EQ(TrayIconsSent(), std::vector<HICON>{Red()}) << "sent only when the icon changes";
    EXPECT_TRUE(os.TimesSet().empty());
}

TEST_F(DisplayTest, TheTrayIconIsSentOnlyOnChangeExceptAfterFailingReads)
{
    Start();
    Ticks(2);
    board.set_status(0x0010);
    Ticks(2);
    board.set_status(ST_FRAME_OK);
    Ticks(1);
    EXPECT_EQ(TrayIconsSent(), (std::vector<HICON>{Green(), Red(), Green()}));
    board.set_failures({.failingRequests = {IOCTL_WD_MULTI_TRANSFER}});
    Ticks(3);
    EXPECT_EQ(TrayIconsSent(), (std::vector<HICON>{Green(), Red(), Green(), Red(), Red(), Red()}));
    for (const auto& call : os.NotifyIconCalls()) {
        EXPECT_EQ(call.data.uID, 1u);
        EXPECT_STREQ(call.data.szTip, "Corvane TCR7750");
    }
    EXPECT_EQ(form->PnlDriver->Color(), clRed);
    EXPECT_EQ(form->PnlStatus->Color(), clRed);
    EXPECT_EQ(form->PnlLock->Color(), clRed);
    EXPECT_EQ(form->LblTime->Caption(), "");
    board.set_failures({});
    Ticks(1);
    EXPECT_EQ(TrayIconsSent().back(), Green());
    EXPECT_EQ(form->PnlDriver->Color(), clLime);
}

TEST_F(DisplayTest, TheTfomShowsOnlyInIeee1344Decoding)
{
    Start();
    board.set_status(0x0301);
    form->EdTfom->SetText("keep");
    Ticks(1);
    EXPECT_EQ(form->EdTfom->Text(), "keep");
    ASSERT_TRUE(form->RadioGroup1->ClickItem(1));
    Ticks(1);
    EXPECT_EQ(form->EdTfom->Text(), "keep");
    ASSERT_TRUE(form->RadioGroup1->ClickItem(2));
    Ticks(1);
    EXPECT_EQ(form->EdTfom->Text(), "0003");
}

TEST_F(DisplayTest, AHiddenWindowKeepsItsControlsAndOnlyTheTrayIconFollows)
{
    Start();
    Ticks(1);
    const std::string shownTime = form->LblTime->Caption();
    form->BtnIcon->Click();
    EXPECT_FALSE(form->Visible());

    board.set_status(0x0301);
    board.set_status(0x0050);
    board.set_datetime(datetime(2009, 1, 1, 0, 0, 0, 0));
    Ticks(1);
    EXPECT_EQ(form->PnlStatus->Color(), clLime);
    EXPECT_EQ(form->PnlLock->Color(), clLime);
    EXPECT_EQ(form->LblReceiver->Caption(), "");
    EXPECT_EQ(form->LblTime->Caption(), shownTime);
    EXPECT_EQ(TrayIconsSent(), (std::vector<HICON>{Green(), Red()}));

    board.set_failures({.failingRequests = {IOCTL_WD_MULTI_TRANSFER}});
    Ticks(2);
    EXPECT_EQ(TrayIconsSent(), (std::vector<HICON>{Green(), Red(), Red(), Red()}));
    EXPECT_EQ(form->PnlDriver->Color(), clLime);
    EXPECT_EQ(form->LblTime->Caption(), shownTime);

    // Back from the tray: the next tick paints the window again.
    form->Configurer1->Click();
    EXPECT_TRUE(form->Visible());
    board.set_failures({});
    Ticks(1);
    EXPECT_EQ(form->PnlLock->Color(), clRed);
    EXPECT_EQ(form->LblReceiver->Caption(), "Error : 0005");
    EXPECT_EQ(form->LblTime->Caption(), "2009/01/01 - 00:00:00.000");
}

}  // namespace
