/* SPDX-License-Identifier: MIT */
// The interrupt monitor thread: waits in the library's wait exports and
// lists each event in the window's ListBox1, on the window thread.
#pragma once

#include <cstdint>
#include <string>

#include "forms/thread.h"
#include "tcr7750.h"

class TTimestampThread : public forms::TThread {
public:
    // TimestampMode true: time-stamp interrupts; false: periodic interrupts.
    TTimestampThread(bool CreateSuspended, bool TimestampMode);

protected:
    void Execute() override;

private:
    EdgeStamp RisingStamp{};
    EdgeStamp FallingStamp{};
    bool TimestampMode = false;
    std::int32_t EventCount = 0;
    std::int32_t TimeResult = 0;
    std::uint16_t StatusWord = 0;
    std::uint16_t DayOfYear = 0;
    std::uint32_t Microseconds = 0;
    SYSTEMTIME DateTime{};

    // On the window thread, while this thread waits in Synchronize.
    void ShowEvent();
    // The line ShowEvent appends for the event the members hold.
    std::string EventLine() const;
};
