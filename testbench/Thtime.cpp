// SPDX-License-Identifier: MIT
#include "testbench/Thtime.h"

#include "forms/sysutils.h"
#include "testbench/Display.h"
#include "testbench/Main.h"

TTimestampThread::TTimestampThread(bool CreateSuspended, bool TimestampMode)
    : TThread(CreateSuspended), TimestampMode(TimestampMode), EventCount(0)
{
}

void TTimestampThread::Execute()
{
    // A wait that ends without an event (the interrupts were disarmed, or
    // the driver could not be reached) lists nothing and is simply repeated
    // until the window asks this thread to stop.
    while (!Terminated()) {
        if (TimestampMode) {
            if (WaitForTimestampInterrupt(&RisingStamp, &FallingStamp) == 0)
                Synchronize([this] { ShowEvent(); });
        } else if (WaitForPeriodicInterrupt() == 0) {
            TimeResult = GetBoardDateTime(&DateTime, &DayOfYear, &Microseconds, &StatusWord);
            ++EventCount;  // a failed read still uses up its event number
            Synchronize([this] { ShowEvent(); });
        }
    }
}

std::string TTimestampThread::EventLine() const
{
    if (TimestampMode)
        return TimestampLineText(RisingStamp, FallingStamp);
    if (TimeResult < 0)
        return forms::Format("P[%04d]: error get time", EventCount);
    return forms::Format("P[%04d]: ", EventCount) + DateLineText(DateTime, DayOfYear, Microseconds);
}

void TTimestampThread::ShowEvent()
{
    // The window outlives its monitors while the program runs; a line that
    // comes after it has gone (at exit) has nowhere to go.
    if (FMain)
        FMain->ListBox1->Items().Add(EventLine());
}
