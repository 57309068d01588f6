/* SPDX-License-Identifier: MIT */
// The clock keeper's worker: once a second it reads the board, has the
// window thread show the result, and every Interval ticks with a good frame
// sets the PC's clock to the board's time, unless the board shows a year
// other than the one its day belongs to.  Also the clock-setting sequence
// that the window's Force update command shares with it.
#pragma once

#include <cstdint>

#include "forms/toolkit.h"

// True on the NT platform, where setting the clock needs the system-time
// privilege.  Written at window creation, before any worker exists.
extern bool IsNtPlatform;

// The tray icon record added at window creation; the display step changes
// its icon.
extern NOTIFYICONDATAA TrayIconData;

// Enables the system-time privilege of the process token, or disables every
// privilege of it; 1 when done, 0 on failure.
int SetTimePrivilege(bool enable);

// The clock-setting sequence: privilege, SetSystemTime with `time` taken as
// UTC, privilege release; then a message box for each step that failed.
// Only one thread at a time runs the three steps.  Returns false when it
// stopped at the privilege step (the clock was not touched).
bool SetSystemClock(const SYSTEMTIME& time);

class ThClkVerify : public forms::TThread {
public:
    // Starts at once and deletes itself after its end-of-thread event.
    ThClkVerify(int Interval, forms::TPanel* PnlStatus, forms::TPanel* PnlLock, forms::TPanel* PnlDriver,
                forms::TLabel* LblTime, forms::TImage* Image1, forms::TImage* Image2, forms::TImage* Image3);

    // The display step: runs on the window thread while the worker waits.
    void UpdateDisplay();

protected:
    void Execute() override;

private:
    int Interval;
    std::uint16_t BoardStatus = 0;
    int ReadResult = 0;
    forms::TPanel* PnlStatus;
    forms::TPanel* PnlLock;
    forms::TPanel* PnlDriver;
    forms::TImage* Image1;  // green clock: good frame
    forms::TImage* Image2;  // yellow clock: the icon at start
    forms::TImage* Image3;  // red clock: bad frame or failed read
    forms::TLabel* LblTime;
    SYSTEMTIME BoardTime{};
    std::uint16_t DayOfYear = 0;
    std::uint32_t Microseconds = 0;
    // The board shows the year its day belongs to by the PC's clock
    // (board_year.h); the clock is never set to another.
    bool YearTrusted = true;

    void ReadBoard();
    bool UpdateDue(std::uint32_t ticks) const;
};
