/* SPDX-License-Identifier: MIT */
// The clock keeper on the headless toolkit, against one simulated board:
// a recording OS seam (nothing touches this machine's clock, registry or
// tray), the board on a fixed date with a good frame, virtual time at 0.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Main1.h"
#include "ThClk1.h"
#include "forms/fake_os.h"
#include "forms/headless.h"
#include "../common/datetime.h"
#include "simulated_windriver.h"
#include "tcr7750.h"
#include "tcr7750_regs.h"

inline constexpr const char* kSettingsKey = "SOFTWARE\\Corvane\\TCR7750\\Params";

class ClockKeeperTest : public ::testing::Test {
protected:
    tcr7750::sim::SimulatedWinDriver board;
    forms::FakeOs os;
    forms::ScopedOs useOs{os};
    TForm1* form = nullptr;

    void SetUp() override
    {
        forms::headless::Reset();
        board.set_datetime(datetime(2008, 3, 6, 12, 34, 56, 789123));
        board.set_status(ST_FRAME_OK);
    }

    void TearDown() override
    {
        // Destroying the window stops a running worker first.
        Stop();
        forms::headless::Reset();
        Form1 = nullptr;
    }

    // Creates the window as the program start does; its worker, if any,
    // starts sleeping once the window thread is free.
    void Start()
    {
        forms::Application->CreateForm(Form1);
        form = Form1;
        forms::headless::Settle();
    }

    // A time stamp captured on the rising edge: status bit 1 until read.
    void RaiseStampPending()
    {
        board.with_board([](tcr7750_model& m) { tcr7750_model_raise_pending(&m, ST_RISE_CAPTURED); });
    }
    void ClearStampPending()
    {
        // The status register shows the pending bits again once the line is updated.
        board.with_board([](tcr7750_model& m) {
            m.pending = 0;
            tcr7750_model_raise_pending(&m, 0);
        });
    }

    // Destroys the window (which stops its worker) and waits for every thread.
    static void Stop()
    {
        forms::Application->Reset();
        ASSERT_TRUE(forms::headless::PumpUntil([] { return forms::headless::LiveThreads() == 0; }));
    }

    // Runs `count` worker ticks (one second each).
    static void Ticks(int count) { forms::headless::Advance(1000LL * count); }

    // The ticks, among the next `count`, on which the clock was set.
    std::vector<int> TicksWithClockUpdates(int count)
    {
        std::vector<int> ticks;
        for (int tick = 1; tick <= count; ++tick) {
            const auto before = os.TimesSet().size();
            Ticks(1);
            if (os.TimesSet().size() != before)
                ticks.push_back(tick);
        }
        return ticks;
    }

    // The icons handed to the tray with NIM_MODIFY, in order.
    std::vector<HICON> TrayIconsSent() const
    {
        std::vector<HICON> icons;
        for (const auto& call : os.NotifyIconCalls())
            if (call.message == NIM_MODIFY)
                icons.push_back(call.data.hIcon);
        return icons;
    }

    std::vector<std::string> MessageBoxLines() const
    {
        std::vector<std::string> lines;
        for (const auto& box : os.MessageBoxes())
            lines.push_back(box.text + " / " + box.caption);
        return lines;
    }

    static HICON Green() { return forms::headless::IconHandle("CLOCK_GREEN"); }
    static HICON Yellow() { return forms::headless::IconHandle("CLOCK_YELLOW"); }
    static HICON Red() { return forms::headless::IconHandle("CLOCK_RED"); }
};
