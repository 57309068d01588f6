// SPDX-License-Identifier: MIT
#include "Main1.h"

#include <cstring>

#include "ThClk1.h"
#include "tcr7750.h"
#include "tcr7750_regs.h"

using namespace forms;

TForm1* Form1 = nullptr;
bool IsNtPlatform = false;
NOTIFYICONDATAA TrayIconData{};

namespace {

constexpr UINT kTrayIconMessage = WM_USER + 1;
#if defined(_WIN32) && !defined(_WIN64)
static_assert(NOTIFYICONDATAA_V2_SIZE == 488, "the tray icon record of the 32-bit shell");
#endif
constexpr const char* kSettingsKey = "SOFTWARE\\Corvane\\TCR7750\\Params";
constexpr int kStandardItem = 0;
constexpr int kIeee1344Item = 2;
constexpr int kActiveItem = 0;

// The board time as the window shows it outside the worker's display step.
std::string BoardTimeText(const SYSTEMTIME& time)
{
    return Format("%04d/%02d/%02d - %02d:%02d:%02d.%03d", time.wYear, time.wMonth, time.wDay, time.wHour,
                  time.wMinute, time.wSecond, time.wMilliseconds);
}

}  // namespace

TForm1::TForm1(TComponent* owner) : TForm(owner)
{
    FormBinding binding;
    binding.Field("Bevel1", Bevel1);
    binding.Field("Label2", Label2);
    binding.Field("Image1", Image1);
    binding.Field("Image2", Image2);
    binding.Field("Image3", Image3);
    binding.Field("LblTime", LblTime);
    binding.Field("Label6", Label6);
    binding.Field("RGrpDriver", RGrpDriver);
    binding.Field("GrpBxInterval", GrpBxInterval);
    binding.Field("Label1", Label1);
    binding.Field("EdInterval", EdInterval);
    binding.Field("PnlStatus", PnlStatus);
    binding.Field("Label3", Label3);
    binding.Field("LblVersion", LblVersion);
    binding.Field("PnlLock", PnlLock);
    binding.Field("Label4", Label4);
    binding.Field("LblReceiver", LblReceiver);
    binding.Field("PnlDriver", PnlDriver);
    binding.Field("Label5", Label5);
    binding.Field("LblDriver", LblDriver);
    binding.Field("BtnMajClk", BtnMajClk);
    binding.Field("BtnIcon", BtnIcon);
    binding.Field("RadioGroup1", RadioGroup1);
    binding.Field("Panel1", Panel1);
    binding.Field("BtnAnnumset", BtnAnnumset);
    binding.Field("EdYear", EdYear);
    binding.Field("Panel2", Panel2);
    binding.Field("Label7", Label7);
    binding.Field("EdTfom", EdTfom);
    binding.Field("PopupMenu1", PopupMenu1);
    binding.Field("Configurer1", Configurer1);
    binding.Field("N1", N1);
    binding.Field("Arrter1", Arrter1);
    binding.Field("Timer1", Timer1);
    binding.Handler("FormCreate", this, &TForm1::FormCreate);
    binding.Handler("RGrpDriverClick", this, &TForm1::RGrpDriverClick);
    binding.Handler("RadioGroup1Click", this, &TForm1::RadioGroup1Click);
    binding.Handler("BtnMajClkClick", this, &TForm1::BtnMajClkClick);
    binding.Handler("BtnAnnumsetClick", this, &TForm1::BtnAnnumsetClick);
    binding.Handler("BtnIconClick", this, &TForm1::BtnIconClick);
    binding.Handler("Configurer1Click", this, &TForm1::Configurer1Click);
    binding.Handler("Arrter1Click", this, &TForm1::Arrter1Click);
    binding.Handler("Timer1Timer", this, &TForm1::Timer1Timer);
    LoadFromDescription(Main1Description, binding);
    OnClose = [this](TObject* sender, TCloseAction& action) { FormClose(sender, action); };
    SetMessageHandler(kTrayIconMessage, [this](TMessage& msg) { TrayIconMessage(msg); });
}

TForm1::~TForm1()
{
    ExitSteps();
}

void TForm1::FormCreate(TObject*)
{
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    IsNtPlatform = Os().GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
    ClkThreadRunning = false;
    AddTrayIcon();
    // Only the tray icon stands for the program: no taskbar button.
    Os().ShowWindow(Application->Handle(), SW_MINIMIZE);
    Os().ShowWindow(Application->Handle(), SW_HIDE);

    if (OpenBoard() == 0) {
        PnlDriver->SetColor(clLime);
        PnlStatus->SetColor(clLime);
        ReadIntervalSetting();
        char version[TCR7750_VERSION_TEXT_SIZE] = {};
        GetBoardVersion(version);
        LblVersion->SetCaption(version);
        SYSTEMTIME time{};
        std::uint16_t dayOfYear = 0, status = 0;
        std::uint32_t microseconds = 0;
        GetBoardDateTime(&time, &dayOfYear, &microseconds, &status);
        LblTime->SetCaption(BoardTimeText(time));
        StartWorker();
        RGrpDriver->SetItemIndex(kActiveItem);
        LockInterval(true);
        Timer1->SetEnabled(true);
    }
    // Without the board the library has told the user; the window stays.
    SetIrigMode(TCR7750_DECODE_STANDARD);
}

void TForm1::AddTrayIcon()
{
    TrayIconData = NOTIFYICONDATAA{};
    TrayIconData.cbSize = NOTIFYICONDATAA_V2_SIZE;
    TrayIconData.hWnd = Handle();
    TrayIconData.uID = 1;
    TrayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    TrayIconData.uCallbackMessage = kTrayIconMessage;
    TrayIconData.hIcon = Image2->Picture().Icon.Handle();
    std::strncpy(TrayIconData.szTip, "Corvane TCR7750", sizeof TrayIconData.szTip - 1);
    Os().Shell_NotifyIconA(NIM_ADD, &TrayIconData);
}

// A missing key or value, refused access or a value of another type leaves
// the interval's text as it is.  Read access is all it needs: a key that
// only administrators may change still gives its interval to every user.
void TForm1::ReadIntervalSetting()
{
    try {
        TRegistry registry(KEY_READ);
        registry.SetRootKey(HKEY_LOCAL_MACHINE);
        if (registry.OpenKey(kSettingsKey, false) && registry.ValueExists("Interval"))
            EdInterval->SetText(IntToStr(registry.ReadInteger("Interval")));
    } catch (const ERegistryException&) {
    }
}

// Raises the conversion error, and starts nothing, on an interval that is
// not a whole number.
void TForm1::StartWorker()
{
    const int interval = StrToInt(EdInterval->Text());
    ClkThread = new ThClkVerify(interval, PnlStatus, PnlLock, PnlDriver, LblTime, Image1, Image2, Image3);
    ClkThread->OnTerminate = [this](TObject* sender) { ClkThreadDone(sender); };
    ClkThreadRunning = true;
}

// Waits until the worker has ended, serving its display steps and its
// end-of-thread handler meanwhile, so that no board call follows.
void TForm1::StopWorker()
{
    if (!ClkThreadRunning)
        return;
    ThClkVerify* worker = ClkThread;
    // Its end-of-thread handler has not run yet, so it has not yet decided
    // to delete itself: this window takes it back.
    worker->SetFreeOnTerminate(false);
    worker->Terminate();
    worker->WaitFor();
    delete worker;
}

void TForm1::LockInterval(bool locked)
{
    EdInterval->SetReadOnly(locked);
    EdInterval->SetColor(locked ? clLime : clWhite);
}

void TForm1::RGrpDriverClick(TObject*)
{
    if (RGrpDriver->ItemIndex() == kActiveItem) {
        // While the last worker is still finishing, ClkThreadDone starts the
        // next one.
        if (!ClkThreadRunning)
            StartWorker();
        LockInterval(true);
    } else if (ClkThreadRunning) {
        ClkThread->Terminate();
    }
}

void TForm1::ClkThreadDone(TObject*)
{
    ClkThreadRunning = false;
    ClkThread = nullptr;
    if (!exiting_ && RGrpDriver->ItemIndex() == kActiveItem) {
        // "Active" was chosen again while this worker was finishing.
        Application->Dispatch([this] { StartWorker(); });
        if (ClkThreadRunning)
            return;
    }
    LockInterval(false);
}

void TForm1::RadioGroup1Click(TObject*)
{
    const int item = RadioGroup1->ItemIndex();
    Panel1->SetVisible(item == kStandardItem);
    Panel2->SetVisible(item == kIeee1344Item);
    // AFNOR and IEEE 1344 frames are decoded alike.
    SetIrigMode(item == kStandardItem ? TCR7750_DECODE_STANDARD : TCR7750_DECODE_AFNOR);
}

void TForm1::BtnAnnumsetClick(TObject*)
{
    SetBoardInitialYear(StrToInt(EdYear->Text()));
}

void TForm1::BtnMajClkClick(TObject*)
{
    SYSTEMTIME time{};
    std::uint16_t dayOfYear = 0, status = 0;
    std::uint32_t microseconds = 0;
    if (GetBoardDateTime(&time, &dayOfYear, &microseconds, &status) != 0) {
        PnlDriver->SetColor(clRed);
        return;
    }
    LblTime->SetCaption(BoardTimeText(time));
    if (status & ST_FRAME_OK) {
        SetSystemClock(time);
        PnlStatus->SetColor(clLime);
        PnlLock->SetColor(clLime);
    } else {
        PnlStatus->SetColor(clRed);
        PnlLock->SetColor(clRed);
    }
    PnlDriver->SetColor(clLime);
}

void TForm1::BtnIconClick(TObject*)
{
    Hide();
}

void TForm1::Configurer1Click(TObject*)
{
    Show();
}

void TForm1::Timer1Timer(TObject*)
{
    Timer1->SetEnabled(false);
    Hide();
}

void TForm1::TrayIconMessage(TMessage& Msg)
{
    switch (Msg.LParam) {
    case WM_LBUTTONDBLCLK:
        Show();
        break;
    case WM_RBUTTONDOWN: {
        POINT cursor{};
        Os().GetCursorPos(&cursor);
        // Without this the menu stays open when the user clicks elsewhere.
        Os().SetForegroundWindow(Handle());
        PopupMenu1->Popup(cursor.x, cursor.y);
        break;
    }
    default:
        break;
    }
}

// Remove the tray icon, stop the worker, close the board: once, whether
// the user chose "Exit" or closed the window.
void TForm1::ExitSteps()
{
    if (exiting_)
        return;
    exiting_ = true;
    Os().Shell_NotifyIconA(NIM_DELETE, &TrayIconData);
    StopWorker();
    CloseBoard();
}

void TForm1::Arrter1Click(TObject*)
{
    ExitSteps();
    Close();
}

void TForm1::FormClose(TObject*, TCloseAction&)
{
    ExitSteps();
}
