// SPDX-License-Identifier: MIT
#include "ThClk1.h"

#include <mutex>

#include "Main1.h"
#include "board_year.h"
#include "tcr7750.h"
#include "tcr7750_regs.h"

using namespace forms;

namespace {

// The privilege state belongs to the whole process: dropping the privileges
// on one thread would make SetSystemTime fail on another.
std::mutex clockSettingMutex;

void Message(const char* text, const char* caption)
{
    Os().MessageBoxA(nullptr, text, caption, MB_OK);
}

// Hands the tray icon record to the shell with `image`'s icon.
void ShowTrayIcon(const TImage& image)
{
    TrayIconData.hIcon = image.Picture().Icon.Handle();
    Os().Shell_NotifyIconA(NIM_MODIFY, &TrayIconData);
}

void ShowTrayIconIfChanged(const TImage& image)
{
    if (TrayIconData.hIcon != image.Picture().Icon.Handle())
        ShowTrayIcon(image);
}

}  // namespace

int SetTimePrivilege(bool enable)
{
    OsApi& os = Os();
    HANDLE token = nullptr;
    if (!os.OpenProcessToken(os.GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return 0;
    TOKEN_PRIVILEGES privileges{};
    if (enable) {
        if (!os.LookupPrivilegeValueA(nullptr, "SeSystemtimePrivilege", &privileges.Privileges[0].Luid)) {
            os.CloseHandle(token);
            return 0;
        }
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        os.AdjustTokenPrivileges(token, FALSE, &privileges, sizeof privileges, nullptr, nullptr);
    } else {
        os.AdjustTokenPrivileges(token, TRUE, nullptr, 0, nullptr, nullptr);
    }
    // AdjustTokenPrivileges succeeds for an account that lacks the
    // privilege; only the last error (ERROR_NOT_ALL_ASSIGNED) tells.
    const DWORD error = os.GetLastError();
    os.CloseHandle(token);
    return error == ERROR_SUCCESS ? 1 : 0;
}

bool SetSystemClock(const SYSTEMTIME& time)
{
    bool privilegeObtained = true, clockSet = false, privilegeDropped = true;
    {
        // Held across the system calls only, never while a message box
        // waits for the user: a window thread serving its queue inside a
        // box could otherwise come back here, or wait for a worker that
        // waits for this lock.
        std::lock_guard lock(clockSettingMutex);
        if (IsNtPlatform)
            privilegeObtained = SetTimePrivilege(true) != 0;
        if (privilegeObtained) {
            clockSet = Os().SetSystemTime(&time) != 0;
            if (IsNtPlatform)
                privilegeDropped = SetTimePrivilege(false) != 0;
        }
    }
    if (!privilegeObtained) {
        Message("Failed", "Set time priviledge");
        return false;
    }
    if (!clockSet)
        Message("System time update fail", "System time");
    if (!privilegeDropped)
        Message("Failed", "Remove time priviledge");
    return true;
}

ThClkVerify::ThClkVerify(int Interval, TPanel* PnlStatus, TPanel* PnlLock, TPanel* PnlDriver, TLabel* LblTime,
                         TImage* Image1, TImage* Image2, TImage* Image3)
    : TThread(false),
      Interval(Interval),
      PnlStatus(PnlStatus),
      PnlLock(PnlLock),
      PnlDriver(PnlDriver),
      Image1(Image1),
      Image2(Image2),
      Image3(Image3),
      LblTime(LblTime)
{
    SetFreeOnTerminate(true);
}

void ThClkVerify::ReadBoard()
{
    ReadResult = GetBoardDateTime(&BoardTime, &DayOfYear, &Microseconds, &BoardStatus);
    // Without a frame the board's day means nothing; the display says so.
    YearTrusted = true;
    if (ReadResult == 0 && (BoardStatus & ST_FRAME_OK)) {
        SYSTEMTIME pcClock{};
        Os().GetSystemTime(&pcClock);
        YearTrusted = tcr7750::board_year_trusted(DayOfYear, BoardTime, tcr7750::utc_second_of(pcClock));
    }
}

bool ThClkVerify::UpdateDue(std::uint32_t ticks) const
{
    return ReadResult == 0 && static_cast<std::int64_t>(ticks) >= Interval &&
           (BoardStatus & (ST_FRAME_OK | ST_RISE_CAPTURED)) == ST_FRAME_OK && YearTrusted;
}

void ThClkVerify::Execute()
{
    // 32 bits: a 16-bit count would wrap before an interval above 65535
    // seconds and never set the clock.
    std::uint32_t ticks = 0;
    while (!Terminated()) {
        Os().Sleep(1000);
        ++ticks;
        ReadBoard();
        if (UpdateDue(ticks)) {
            ReadBoard();  // the freshest time for the clock; a failure keeps the first read's
            if (YearTrusted && SetSystemClock(BoardTime))
                ticks = 0;
        }
        Synchronize([this] { UpdateDisplay(); });
    }
}

void ThClkVerify::UpdateDisplay()
{
    const bool shown = Form1->Visible();
    if (ReadResult != 0) {
        if (shown) {
            PnlDriver->SetColor(clRed);
            PnlStatus->SetColor(clRed);
            PnlLock->SetColor(clRed);
            LblTime->SetCaption("");
        }
        ShowTrayIcon(*Image3);
        return;
    }
    if (BoardStatus & ST_FRAME_OK) {
        // A good frame on a board whose year is not its day's (one just
        // powered up): the board panel dark green as for a board without a
        // usable time, the red clock, and the clock is not set.
        if (shown) {
            PnlStatus->SetColor(YearTrusted ? clLime : clGreen);
            PnlLock->SetColor(clLime);
            Form1->LblReceiver->SetCaption("");
        }
        ShowTrayIconIfChanged(YearTrusted ? *Image1 : *Image3);
    } else {
        if (shown) {
            PnlStatus->SetColor(clGreen);
            PnlLock->SetColor(clRed);
            Form1->LblReceiver->SetCaption(
                Format("Error : %04X", (BoardStatus & ST_ERROR_CODE) >> ST_ERROR_CODE_SHIFT));
        }
        ShowTrayIconIfChanged(*Image3);
    }
    if (shown) {
        LblTime->SetCaption(Format("%4d/%02d/%02d - %02d:%02d:%02d.%03d", BoardTime.wYear, BoardTime.wMonth,
                                   BoardTime.wDay, BoardTime.wHour, BoardTime.wMinute, BoardTime.wSecond,
                                   BoardTime.wMilliseconds));
        if (Form1->RadioGroup1->ItemIndex() == 2)
            Form1->EdTfom->SetText(Format("%04X", (BoardStatus & ST_TFOM) >> ST_TFOM_SHIFT));
        PnlDriver->SetColor(clLime);
    }
}
