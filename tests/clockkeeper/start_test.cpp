// SPDX-License-Identifier: MIT
// Window creation: with the board, with a registry interval, without the
// board; the form description's controls.
#include "clockkeeper_fixture.h"

using namespace forms;

namespace {

using StartTest = ClockKeeperTest;

TEST_F(StartTest, WithTheBoardAndNoRegistryValueTheWorkerRunsAndTheWindowHidesAfterTenSeconds)
{
    board.set_version("TCR7750\0REV 5.0\0");
    Start();

    EXPECT_TRUE(IsNtPlatform);
    EXPECT_EQ(form->EdInterval->Text(), "60");
    EXPECT_TRUE(form->EdInterval->ReadOnly());
    EXPECT_EQ(form->EdInterval->Color(), clLime);
    EXPECT_EQ(form->RGrpDriver->ItemIndex(), 0);
    EXPECT_EQ(form->PnlDriver->Color(), clLime);
    EXPECT_EQ(form->PnlStatus->Color(), clLime);
    EXPECT_EQ(form->PnlLock->Color(), clTeal) << "until the worker's first tick";
    EXPECT_EQ(form->LblVersion->Caption(), "TCR7750 REV 5.0");
    EXPECT_EQ(form->LblTime->Caption(), "2008/03/06 - 12:34:56.789");
    EXPECT_TRUE(form->ClkThreadRunning);
    EXPECT_TRUE(form->Timer1->Enabled());
    EXPECT_TRUE(form->Visible());
    EXPECT_EQ(board.control_register() & CTL_MODE_MASK, CTL_MODE_STANDARD);

    // The tray icon: added once, yellow, with the record the shell expects.
    const auto added = os.NotifyIconCalls();
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].message, NIM_ADD);
    EXPECT_EQ(added[0].data.cbSize, NOTIFYICONDATAA_V2_SIZE);
    if constexpr (sizeof(void*) == 4) {
        EXPECT_EQ(added[0].data.cbSize, 488u);
    }
    EXPECT_EQ(added[0].data.hWnd, form->Handle());
    EXPECT_EQ(added[0].data.uID, 1u);
    EXPECT_EQ(added[0].data.uFlags, 7u);
    EXPECT_EQ(added[0].data.uCallbackMessage, 0x0401u);
    EXPECT_EQ(added[0].data.hIcon, Yellow());
    EXPECT_STREQ(added[0].data.szTip, "Corvane TCR7750");

    // No taskbar button: the application window is minimised, then hidden.
    std::vector<std::string> showWindow;
    for (const auto& call : os.Calls())
        if (call.function == "ShowWindow")
            showWindow.push_back(call.arguments);
    ASSERT_EQ(showWindow.size(), 2u);
    EXPECT_NE(showWindow[0].find(", 6"), std::string::npos) << showWindow[0];
    EXPECT_NE(showWindow[1].find(", 0"), std::string::npos) << showWindow[1];

    Ticks(1);  // a good frame: the tray icon turns green
    EXPECT_EQ(TrayIconsSent(), std::vector<HICON>{Green()});
    EXPECT_EQ(form->PnlLock->Color(), clLime);
    Ticks(8);
    EXPECT_TRUE(form->Visible());
    Ticks(1);
    EXPECT_FALSE(form->Visible()) << "hidden ten seconds after the start";
    EXPECT_FALSE(form->Timer1->Enabled());
    Ticks(20);
    EXPECT_FALSE(form->Visible()) << "the timer hides the window once";
    EXPECT_TRUE(os.MessageBoxes().empty());
    EXPECT_TRUE(board.message_boxes().empty());
}

TEST_F(StartTest, AnIntervalInTheRegistryReplacesTheDefault)
{
    os.SetRegistryDword(HKEY_LOCAL_MACHINE, kSettingsKey, "Interval", 300);
    Start();
    EXPECT_EQ(form->EdInterval->Text(), "300");
    EXPECT_EQ(TicksWithClockUpdates(600), (std::vector<int>{300, 600}));
}

TEST_F(StartTest, AValueOfAnotherTypeLeavesTheDefaultInterval)
{
    os.SetRegistryString(HKEY_LOCAL_MACHINE, kSettingsKey, "Interval", "300");
    Start();
    EXPECT_EQ(form->EdInterval->Text(), "60");
    EXPECT_TRUE(os.MessageBoxes().empty()) << "silently ignored";
}

TEST_F(StartTest, AUserWhoMayOnlyReadTheKeyGetsItsInterval)
{
    os.SetRegistryDword(HKEY_LOCAL_MACHINE, kSettingsKey, "Interval", 300);
    os.DenyWriteAccess(HKEY_LOCAL_MACHINE, kSettingsKey);
    Start();
    EXPECT_EQ(form->EdInterval->Text(), "300");
}

TEST_F(StartTest, WithoutTheBoardTheLibraryToldTheUserAndTheWindowStaysDisabled)
{
    board.set_failures({.noBoard = true});
    Start();

    const auto libraryBoxes = board.message_boxes();
    ASSERT_EQ(libraryBoxes.size(), 1u);
    EXPECT_EQ(libraryBoxes[0].text, "Carte non trouv\xE9" "e");
    EXPECT_EQ(libraryBoxes[0].caption, "Erreur");
    EXPECT_TRUE(os.MessageBoxes().empty()) << "the window adds no message";

    EXPECT_EQ(form->PnlStatus->Color(), clTeal);
    EXPECT_EQ(form->PnlLock->Color(), clTeal);
    EXPECT_EQ(form->PnlDriver->Color(), clTeal);
    EXPECT_EQ(form->LblVersion->Caption(), "");
    EXPECT_EQ(form->LblTime->Caption(), "   ");
    EXPECT_EQ(form->RGrpDriver->ItemIndex(), 1);
    EXPECT_FALSE(form->EdInterval->ReadOnly());
    EXPECT_FALSE(form->ClkThreadRunning);
    EXPECT_FALSE(form->Timer1->Enabled());

    Ticks(30);
    EXPECT_TRUE(form->Visible()) << "the window stays";
    EXPECT_EQ(headless::LiveThreads(), 0);
    const auto tray = os.NotifyIconCalls();
    ASSERT_EQ(tray.size(), 1u);
    EXPECT_EQ(tray[0].data.hIcon, Yellow()) << "the tray icon stays yellow";

    // "Active" still starts a worker; its reads fail, shown in red.
    EXPECT_TRUE(form->RGrpDriver->ClickItem(0));
    Ticks(1);
    EXPECT_EQ(form->PnlDriver->Color(), clRed);
    EXPECT_EQ(form->PnlStatus->Color(), clRed);
    EXPECT_EQ(TrayIconsSent(), std::vector<HICON>{Red()});
    EXPECT_TRUE(os.TimesSet().empty());
}

TEST_F(StartTest, OnTheWindowsPlatformNoPrivilegeIsAsked)
{
    os.platformId = VER_PLATFORM_WIN32_WINDOWS;
    Start();
    EXPECT_FALSE(IsNtPlatform);
    form->BtnMajClk->Click();
    EXPECT_EQ(os.TimesSet().size(), 1u);
    EXPECT_EQ(os.CountCalls("OpenProcessToken"), 0);
    EXPECT_EQ(os.CountCalls("AdjustTokenPrivileges"), 0);
}

TEST_F(StartTest, AFailingVersionQueryMeansNotNt)
{
    os.versionResult = FALSE;
    Start();
    EXPECT_FALSE(IsNtPlatform);
}

// The form description against the window's control table.
TEST_F(StartTest, TheWindowHasEveryControlOfItsDescription)
{
    board.set_failures({.noBoard = true});  // no worker needed here
    Start();
    EXPECT_EQ(form->Caption(), "TCR7750 - IRIG B Time code reader");
    EXPECT_EQ((std::vector<int>{form->Left(), form->Top(), form->Width(), form->Height()}),
              (std::vector<int>{378, 213, 499, 450}));
    EXPECT_EQ(form->Font().Name, "MS Sans Serif");
    EXPECT_EQ(form->Font().Height, -11);
    EXPECT_EQ(form->Icon().ResourceName(), "CLOCK_GREEN");
    EXPECT_EQ(form->PopupMenu(), form->PopupMenu1);

    struct Row {
        TControl* control;
        TControl* parent;
        int left, top, width, height;
        std::string text;
    };
    const std::vector<Row> table = {
        {form->Bevel1, form, 224, 8, 241, 209, ""},
        {form->Image1, form, 248, 368, 33, 33, ""},
        {form->Image2, form, 280, 368, 33, 33, ""},
        {form->Image3, form, 312, 368, 33, 33, ""},
        {form->LblTime, form, 224, 232, 9, 13, "   "},
        {form->Label6, form, 152, 232, 48, 13, "Local time"},
        {form->RGrpDriver, form, 8, 16, 169, 57, "Driver"},
        {form->GrpBxInterval, form, 8, 80, 169, 65, "Control"},
        {form->Label1, form->GrpBxInterval, 8, 16, 113, 41,
         "Time interval  between system clock update (in seconds)"},
        {form->EdInterval, form->GrpBxInterval, 120, 16, 41, 21, "60"},
        {form->PnlStatus, form, 232, 16, 225, 65, ""},
        {form->Label3, form->PnlStatus, 72, 8, 90, 13, "TCR7750 board"},
        {form->LblVersion, form->PnlStatus, 8, 32, 209, 25, ""},
        {form->PnlLock, form, 232, 80, 225, 65, ""},
        {form->Label4, form->PnlLock, 72, 8, 74, 13, "IRIG B frame"},
        {form->LblReceiver, form->PnlLock, 8, 32, 209, 25, ""},
        {form->PnlDriver, form, 232, 144, 225, 65, ""},
        {form->Label5, form->PnlDriver, 80, 8, 57, 13, "WinDriver"},
        {form->LblDriver, form->PnlDriver, 8, 32, 209, 25, ""},
        {form->BtnMajClk, form, 16, 160, 145, 25, "Force System Clock Update"},
        {form->BtnIcon, form, 384, 376, 89, 25, "Iconize"},
        {form->RadioGroup1, form, 24, 264, 185, 81, "Decode option"},
        {form->Panel1, form, 224, 256, 233, 41, ""},
        {form->BtnAnnumset, form->Panel1, 24, 8, 97, 25, "Set initial year"},
        {form->EdYear, form->Panel1, 136, 10, 57, 21, ""},
        {form->Panel2, form, 224, 304, 233, 41, ""},
        {form->Label7, form->Panel2, 32, 14, 30, 13, "TFOM"},
        {form->EdTfom, form->Panel2, 136, 10, 57, 21, ""},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.control->Name());
        EXPECT_EQ(row.control->Parent(), row.parent);
        EXPECT_EQ((std::vector<int>{row.control->Left(), row.control->Top(), row.control->Width(),
                                    row.control->Height()}),
                  (std::vector<int>{row.left, row.top, row.width, row.height}));
        EXPECT_EQ(row.control->Caption(), row.text);
    }
    EXPECT_FALSE(form->Label2->Caption().empty());

    // Hidden pictures, one per clock colour.
    EXPECT_FALSE(form->Image1->Visible());
    EXPECT_FALSE(form->Image2->Visible());
    EXPECT_FALSE(form->Image3->Visible());
    EXPECT_EQ(form->Image1->Picture().Icon.Handle(), Green());
    EXPECT_EQ(form->Image2->Picture().Icon.Handle(), Yellow());
    EXPECT_EQ(form->Image3->Picture().Icon.Handle(), Red());
    EXPECT_FALSE(form->Panel2->Visible());
    EXPECT_TRUE(form->Panel1->Visible());
    EXPECT_EQ(form->Panel1->BevelOuter(), bvLowered);
    EXPECT_EQ(form->Panel2->BevelOuter(), bvLowered);

    // Fonts: bold groups and panels, a plain label inside the bold group.
    for (TControl* bold : std::vector<TControl*>{form->RGrpDriver, form->GrpBxInterval, form->PnlStatus,
                                                  form->PnlLock, form->PnlDriver, form->LblVersion})
        EXPECT_TRUE(bold->Font().Has(fsBold)) << bold->Name();
    EXPECT_FALSE(form->Label1->Font().Has(fsBold));
    EXPECT_FALSE(form->RadioGroup1->Font().Has(fsBold));
    EXPECT_EQ(ColorToRGB(form->PnlStatus->Color()), RGB(0, 128, 128));
    EXPECT_EQ(form->PnlStatus->PopupMenu(), form->PopupMenu1);

    // Label layout properties.
    for (TLabel* autoSized : {form->LblTime, form->Label3, form->Label4, form->Label5, form->Label7})
        EXPECT_TRUE(autoSized->AutoSize()) << autoSized->Name();
    for (TLabel* wrapped : {form->Label1, form->LblVersion, form->LblReceiver, form->LblDriver})
        EXPECT_TRUE(wrapped->WordWrap()) << wrapped->Name();
    for (TLabel* centred : {form->LblVersion, form->LblReceiver, form->LblDriver})
        EXPECT_EQ(centred->Alignment(), taCenter) << centred->Name();

    EXPECT_EQ(form->RGrpDriver->Items().Strings(), (std::vector<std::string>{"Active", "Disabled"}));
    EXPECT_EQ(form->RadioGroup1->Items().Strings(),
              (std::vector<std::string>{"Standard IRIG B", "AFNOR", "IEEE 1344"}));
    EXPECT_EQ(form->RadioGroup1->ItemIndex(), 0);

    const TMenuItem& menu = form->PopupMenu1->Items();
    ASSERT_EQ(menu.Count(), 3);
    EXPECT_EQ(menu.Items(0), form->Configurer1);
    EXPECT_EQ(form->Configurer1->Caption(), "Settings");
    EXPECT_TRUE(form->N1->IsLine());
    EXPECT_EQ(form->Arrter1->Caption(), "Exit");
    EXPECT_EQ(form->Timer1->Interval(), 10000u);
}

}  // namespace
