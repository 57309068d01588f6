/* SPDX-License-Identifier: MIT */
// The test bench as its user meets it: the window created by the
// application over the headless toolkit, the board library over a simulated
// WinDriver with one board, and a recording OS seam.  The test's thread is
// the window thread; monitor threads block in the simulated driver, so
// threaded tests drive them with PumpUntil.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "forms/fake_os.h"
#include "forms/headless.h"
#include "forms/toolkit.h"
#include "library_fixture.h"  // datetime()
#include "simulated_windriver.h"
#include "tcr7750.h"
#include "testbench/Main.h"
#include "testbench/Thtime.h"

// Enabled state of "Enable interrupt" (time stamps), "Enable interrupt"
// (periodic) and "Disable interrupts".
struct ButtonStates {
    bool timestamp, periodic, disable;
    bool operator==(const ButtonStates&) const = default;
};
inline constexpr ButtonStates kIdle{true, true, false};
inline constexpr ButtonStates kMonitoring{false, false, true};

inline void PrintTo(const ButtonStates& s, std::ostream* out)
{
    *out << "{timestamp " << s.timestamp << ", periodic " << s.periodic << ", disable " << s.disable << "}";
}

class BenchTest : public ::testing::Test {
protected:
    forms::FakeOs os;
    forms::ScopedOs useOs{os};
    tcr7750::sim::SimulatedWinDriver sim;
    TFMain* form = nullptr;

    void SetUp() override
    {
        forms::headless::Reset();
        forms::Application->CreateForm(FMain);
        form = FMain;
    }

    void TearDown() override
    {
        // Whatever a test left monitoring: stop it and release its wait.
        for (TTimestampThread* thread : form->LiveMonitors())
            thread->Terminate();
        OpenBoard();
        DisableBoardInterrupts();
        ASSERT_TRUE(forms::headless::PumpUntil([] { return forms::headless::LiveThreads() == 0; }));
        forms::headless::Reset();
        EXPECT_EQ(FMain, nullptr);
    }

    // The user presses a button; false when it is disabled.
    static bool Press(forms::TButton* button) { return button->Click(); }

    void OpenDevice()
    {
        ASSERT_TRUE(Press(form->BtnOpen));
        ASSERT_EQ(form->StatusBar1->SimpleText(), "Device opened");
    }

    std::string Status() const { return form->StatusBar1->SimpleText(); }
    std::vector<std::string> Lines() const { return form->ListBox1->Items().Strings(); }

    ButtonStates Buttons() const
    {
        return {form->Button2->Enabled(), form->Button6->Enabled(), form->Button3->Enabled()};
    }

    std::vector<std::string> MessageBoxTexts() const
    {
        std::vector<std::string> texts;
        for (const forms::MessageBoxCall& box : os.MessageBoxes())
            texts.push_back(box.text);
        return texts;
    }
};

