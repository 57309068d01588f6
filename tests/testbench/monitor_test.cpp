// SPDX-License-Identifier: MIT
// Interrupt monitoring: the "Enable interrupt" and "Disable interrupts"
// buttons and the monitor threads they start and stop.
#include <thread>

#include "bench_fixture.h"

using namespace forms;
using namespace std::chrono_literals;

namespace {

class Monitoring : public BenchTest {
protected:
    // The monitor started by the last "Enable interrupt" is in its wait.
    void WaitUntilWaiting(size_t waiters = 1)
    {
        ASSERT_TRUE(headless::PumpUntil([&] { return sim.blocked_waiters() == waiters; }));
    }
    // One more line has come; time stands still meanwhile.
    void WaitForLines(int count)
    {
        ASSERT_TRUE(headless::PumpUntil([&] { return form->ListBox1->Items().Count() >= count; }))
            << "lines so far: " << testing::PrintToString(Lines());
    }
    // A periodic interrupt (period 10: one a second) and its line.
    void NextSecond(int linesAfter)
    {
        WaitUntilWaiting();
        sim.advance(1s);
        WaitForLines(linesAfter);
    }
    void WaitUntilAllEnded()
    {
        ASSERT_TRUE(headless::PumpUntil([] { return headless::LiveThreads() == 0; }));
    }
};

TEST_F(Monitoring, EnableOnAClosedDeviceStartsNothingAndChangesNoButton)
{
    for (TButton* enable : {form->Button2, form->Button6}) {
        ASSERT_TRUE(Press(enable));
        EXPECT_EQ(Status(), "Device not open");
        EXPECT_EQ(Buttons(), kIdle);
        EXPECT_EQ(form->MonitorThread, nullptr);
        headless::Pump();
        EXPECT_EQ(headless::LiveThreads(), 0);
        EXPECT_EQ(sim.control_register() & CTL_ENABLE_MASK, 0);
    }
}

TEST_F(Monitoring, EitherEnableSwitchesToMonitoringAndDisableBackToIdle)
{
    OpenDevice();
    for (TButton* enable : {form->Button2, form->Button6}) {
        SCOPED_TRACE(enable == form->Button2 ? "time stamps" : "periodic");
        ASSERT_TRUE(Press(enable));
        // Armed by the handler; the thread only starts once it has returned,
        // so its first wait finds the interrupt armed.
        EXPECT_EQ(sim.control_register() & CTL_ENABLE_MASK,
                  enable == form->Button2 ? CTL_TIMESTAMP_ENABLE : CTL_PERIODIC_ENABLE);
        EXPECT_EQ(headless::LiveThreads(), 0);
        EXPECT_EQ(Buttons(), kMonitoring);
        EXPECT_EQ(Status(), "Device opened") << "a passed probe writes no status text";
        ASSERT_NE(form->MonitorThread, nullptr);
        EXPECT_FALSE(Press(form->Button2));
        EXPECT_FALSE(Press(form->Button6));
        WaitUntilWaiting();

        ASSERT_TRUE(Press(form->Button3));
        EXPECT_EQ(Buttons(), kIdle);
        EXPECT_EQ(sim.control_register() & CTL_ENABLE_MASK, 0);
        WaitUntilAllEnded();
        EXPECT_EQ(form->MonitorThread, nullptr) << "an ended monitor leaves no reference behind";
        EXPECT_TRUE(form->LiveMonitors().empty());
    }
}

TEST_F(Monitoring, PeriodicEventsAreNumberedFromOnePerThread)
{
    OpenDevice();
    sim.set_datetime(datetime(2008, 3, 15, 12, 34, 56, 789123));
    ASSERT_TRUE(Press(form->Button6));
    EXPECT_EQ(sim.with_board([](tcr7750_model& m) { return m.period; }), 10);
    NextSecond(1);
    NextSecond(2);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"P[0001]: 2008/03/15 075 12:34:57.789 789123",
                                                 "P[0002]: 2008/03/15 075 12:34:58.789 789123"}));

    ASSERT_TRUE(Press(form->Button3));
    WaitUntilAllEnded();
    ASSERT_TRUE(Press(form->Button4));
    form->Edit3->SetText("5");
    ASSERT_TRUE(Press(form->Button6));
    WaitUntilWaiting();
    sim.advance(500ms);
    WaitForLines(1);
    EXPECT_EQ(Lines(), std::vector<std::string>{"P[0001]: 2008/03/15 075 12:34:59.289 289123"});
}

TEST_F(Monitoring, AFailedTimeReadUsesUpItsNumber)
{
    OpenDevice();
    sim.set_datetime(datetime(2008, 12, 31, 23, 59, 57, 42));
    ASSERT_TRUE(Press(form->Button6));
    NextSecond(1);
    NextSecond(2);
    ASSERT_TRUE(Press(form->BtnClose));
    EXPECT_EQ(Status(), "Device closed");
    NextSecond(3);
    ASSERT_TRUE(Press(form->BtnOpen));
    NextSecond(4);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"P[0001]: 2008/12/31 366 23:59:58.000 000042",
                                                 "P[0002]: 2008/12/31 366 23:59:59.000 000042",
                                                 "P[0003]: error get time",
                                                 "P[0004]: 2009/01/01 001 00:00:01.000 000042"}));
}

TEST_F(Monitoring, NoLinesAfterDisableBeyondAnEventAlreadyTaken)
{
    OpenDevice();
    ASSERT_TRUE(Press(form->Button6));
    WaitUntilWaiting();
    // The wait completes, then the user disables before the line is shown:
    // the monitor is past its wait, holding its line for the window thread.
    sim.advance(1s);
    while (sim.blocked_waiters() != 0)
        std::this_thread::yield();
    ASSERT_TRUE(Press(form->Button3));
    WaitUntilAllEnded();
    ASSERT_EQ(Lines().size(), 1u);
    EXPECT_EQ(Lines()[0].substr(0, 9), "P[0001]: ");

    sim.advance(5s);
    headless::Pump();
    EXPECT_EQ(Lines().size(), 1u);
    EXPECT_EQ(sim.control_register() & CTL_ENABLE_MASK, 0);
}

TEST_F(Monitoring, ClearDuringMonitoringEmptiesTheListAndNumbersGoOn)
{
    OpenDevice();
    ASSERT_TRUE(Press(form->Button6));
    NextSecond(1);
    NextSecond(2);
    ASSERT_TRUE(Press(form->Button4));
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(Buttons(), kMonitoring);
    NextSecond(1);
    ASSERT_EQ(Lines().size(), 1u);
    EXPECT_EQ(Lines()[0].substr(0, 9), "P[0003]: ");
}

TEST_F(Monitoring, APeriodThatIsNoNumberShowsTheMessageAndStartsNothing)
{
    OpenDevice();
    sim.clear_logs();
    form->Edit3->SetText("1O");
    ASSERT_TRUE(Press(form->Button6));
    EXPECT_EQ(MessageBoxTexts(), std::vector<std::string>{"'1O' is not a valid integer value."});
    EXPECT_EQ(Buttons(), kIdle);
    EXPECT_EQ(form->MonitorThread, nullptr);
    headless::Pump();
    EXPECT_EQ(headless::LiveThreads(), 0);
    EXPECT_EQ(sim.request_codes(), std::vector<uint32_t>{IOCTL_WD_MULTI_TRANSFER}) << "only the status probe";
    EXPECT_EQ(sim.control_register() & CTL_ENABLE_MASK, 0);

    // A good period afterwards monitors normally and stops normally.
    form->Edit3->SetText("10");
    ASSERT_TRUE(Press(form->Button6));
    NextSecond(1);
    ASSERT_TRUE(Press(form->Button3));
    WaitUntilAllEnded();
}

TEST_F(Monitoring, TimestampLinesComeForTheChosenEdgeOnlyWithoutNumbers)
{
    OpenDevice();
    sim.set_datetime(datetime(2008, 3, 15, 0, 2, 3, 456));
    ASSERT_TRUE(form->RadioGroup1->ClickItem(1));  // "Falling"
    ASSERT_TRUE(Press(form->Button2));
    EXPECT_EQ(sim.control_register() & (CTL_TIMESTAMP_ENABLE | CTL_FALLING_EDGE),
              CTL_TIMESTAMP_ENABLE | CTL_FALLING_EDGE);
    form->RadioGroup1->ClickItem(0);  // read at the press only
    WaitUntilWaiting();

    sim.edge(TCR7750_EDGE_RISING);
    sim.advance(1s);
    sim.edge(TCR7750_EDGE_FALLING);
    WaitForLines(1);
    WaitUntilWaiting();
    sim.set_datetime(datetime(2008, 3, 15, 23, 59, 59, 999999));
    sim.edge(TCR7750_EDGE_FALLING);
    WaitForLines(2);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"R: 00000.000000     F: 00124.000456",
                                                 "R: 00000.000000     F: 86399.999999"}));

    // "Read timestamp" is usable while monitoring.
    ASSERT_TRUE(Press(form->Button5));
    EXPECT_EQ(Lines().back(), "R: 00000.000000     F: 86399.999999");
}

TEST_F(Monitoring, RisingEdgesByDefault)
{
    OpenDevice();
    sim.set_datetime(datetime(2008, 3, 15, 1, 0, 0, 7));
    ASSERT_TRUE(Press(form->Button2));
    WaitUntilWaiting();
    sim.edge(TCR7750_EDGE_FALLING);
    sim.edge(TCR7750_EDGE_RISING);
    WaitForLines(1);
    EXPECT_EQ(Lines(), std::vector<std::string>{"R: 03600.000007     F: 00000.000000"});
}

TEST_F(Monitoring, DisableOnAClosedDeviceReturnsAtOnceAndTheThreadEndsWithItsWait)
{
    OpenDevice();
    ASSERT_TRUE(Press(form->Button6));
    WaitUntilWaiting();
    ASSERT_TRUE(Press(form->BtnClose));
    TTimestampThread* first = form->MonitorThread;

    // The library refuses to disarm without a connection: the thread stays
    // in its wait, but the window is back to Idle at once.
    ASSERT_TRUE(Press(form->Button3));
    EXPECT_EQ(Buttons(), kIdle);
    EXPECT_EQ(headless::LiveThreads(), 1);
    EXPECT_EQ(form->MonitorThread, first);
    EXPECT_EQ(sim.control_register() & CTL_PERIODIC_ENABLE, CTL_PERIODIC_ENABLE);

    // Its next interrupt is still listed (the time read fails), then it ends.
    sim.advance(1s);
    WaitForLines(1);
    WaitUntilAllEnded();
    EXPECT_EQ(Lines(), std::vector<std::string>{"P[0001]: error get time"});
    EXPECT_EQ(form->MonitorThread, nullptr);
}

// A thread asked to stop while the device was closed is still in its wait;
// the next arming releases that wait first, so the old thread ends and only
// its successor lists lines.
TEST_F(Monitoring, AStoppingThreadEndsWhenTheNextArmingReleasesItsWait)
{
    OpenDevice();
    ASSERT_TRUE(Press(form->Button6));
    WaitUntilWaiting();
    ASSERT_TRUE(Press(form->BtnClose));
    ASSERT_TRUE(Press(form->Button3));  // the first thread keeps waiting
    EXPECT_EQ(form->LiveMonitors().size(), 1u);
    ASSERT_TRUE(Press(form->BtnOpen));
    ASSERT_TRUE(Press(form->Button6));
    ASSERT_TRUE(headless::PumpUntil([&] { return form->LiveMonitors().size() == 1; }));
    EXPECT_EQ(form->LiveMonitors()[0], form->MonitorThread);

    NextSecond(1);
    EXPECT_EQ(Lines().size(), 1u);
    EXPECT_EQ(Lines()[0].substr(0, 9), "P[0001]: ");
    ASSERT_TRUE(Press(form->Button3));
    WaitUntilAllEnded();
}

TEST_F(Monitoring, ARefusedArmingStillMonitorsUntilDisable)
{
    OpenDevice();
    tcr7750::sim::Failures failures;
    failures.refuseArming = true;
    sim.set_failures(failures);
    ASSERT_TRUE(Press(form->Button6));
    EXPECT_EQ(sim.message_boxes().size(), 1u) << "the library tells the user";
    EXPECT_EQ(Buttons(), kMonitoring);
    ASSERT_TRUE(headless::PumpUntil([] { return headless::LiveThreads() == 1; }));

    ASSERT_TRUE(Press(form->Button3));
    EXPECT_EQ(Buttons(), kIdle);
    WaitUntilAllEnded();
    EXPECT_TRUE(Lines().empty());
}

TEST_F(Monitoring, ExitWhileMonitoringLeavesTheBoardArmed)
{
    OpenDevice();
    ASSERT_TRUE(Press(form->Button2));
    WaitUntilWaiting();
    sim.clear_logs();
    ASSERT_TRUE(form->Quitter1->Click());
    EXPECT_TRUE(Application->Terminated());
    EXPECT_TRUE(sim.requests().empty());
    EXPECT_EQ(headless::LiveThreads(), 1);
}

}  // namespace
