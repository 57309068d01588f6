// SPDX-License-Identifier: MIT
#include "testbench/Main.h"

#include <cstring>

#include "tcr7750.h"
#include "testbench/Display.h"
#include "testbench/Thtime.h"

using namespace forms;

extern const char MainFormDescription[];

TFMain* FMain = nullptr;

TFMain::TFMain(TComponent* owner) : TForm(owner)
{
    FormBinding binding;
    binding.Field("Bevel4", Bevel4);
    binding.Field("Bevel3", Bevel3);
    binding.Field("Label6", Label6);
    binding.Field("Label9", Label9);
    binding.Field("Label10", Label10);
    binding.Field("Label11", Label11);
    binding.Field("StatusBar1", StatusBar1);
    binding.Field("BtnOpen", BtnOpen);
    binding.Field("BtnStat", BtnStat);
    binding.Field("Edit1", Edit1);
    binding.Field("BtnDate", BtnDate);
    binding.Field("Edit2", Edit2);
    binding.Field("BtnClose", BtnClose);
    binding.Field("Button1", Button1);
    binding.Field("EdVersion", EdVersion);
    binding.Field("ListBox1", ListBox1);
    binding.Field("RadioGroup1", RadioGroup1);
    binding.Field("Button2", Button2);
    binding.Field("Button3", Button3);
    binding.Field("Button4", Button4);
    binding.Field("Button5", Button5);
    binding.Field("Button6", Button6);
    binding.Field("Edit3", Edit3);
    binding.Field("RadioGroup2", RadioGroup2);
    binding.Field("Button7", Button7);
    binding.Field("Edit4", Edit4);
    binding.Field("Button8", Button8);
    binding.Field("Button9", Button9);
    binding.Field("Button10", Button10);
    binding.Field("Edit5", Edit5);
    binding.Field("Edit6", Edit6);
    binding.Field("Edit7", Edit7);
    binding.Field("MainMenu1", MainMenu1);
    binding.Field("Fichier1", Fichier1);
    binding.Field("Quitter1", Quitter1);
    binding.Handler("FormCreate", this, &TFMain::FormCreate);
    binding.Handler("BtnOpenClick", this, &TFMain::BtnOpenClick);
    binding.Handler("BtnCloseClick", this, &TFMain::BtnCloseClick);
    binding.Handler("BtnStatClick", this, &TFMain::BtnStatClick);
    binding.Handler("BtnDateClick", this, &TFMain::BtnDateClick);
    binding.Handler("Button1Click", this, &TFMain::Button1Click);
    binding.Handler("Button2Click", this, &TFMain::Button2Click);
    binding.Handler("Button3Click", this, &TFMain::Button3Click);
    binding.Handler("Button4Click", this, &TFMain::Button4Click);
    binding.Handler("Button5Click", this, &TFMain::Button5Click);
    binding.Handler("Button6Click", this, &TFMain::Button6Click);
    binding.Handler("Button7Click", this, &TFMain::Button7Click);
    binding.Handler("Button8Click", this, &TFMain::Button8Click);
    binding.Handler("Button9Click", this, &TFMain::Button9Click);
    binding.Handler("Button10Click", this, &TFMain::Button10Click);
    binding.Handler("Quitter1Click", this, &TFMain::Quitter1Click);
    LoadFromDescription(MainFormDescription, binding);
}

TFMain::~TFMain()
{
    // Monitors still blocked in a wait (the user left without "Disable
    // interrupts") end with the process; they must not call back into a
    // window that is gone.
    for (TTimestampThread* thread : liveMonitors_)
        thread->OnTerminate = nullptr;
    if (FMain == this)
        FMain = nullptr;
}

void TFMain::FormCreate(TObject*)
{
    SYSTEMTIME now{};
    Os().GetSystemTime(&now);
    Edit4->SetText(IntToStr(now.wYear));
}

void TFMain::BtnOpenClick(TObject*)
{
    ShowStatus(OpenBoard() < 0 ? "Open error" : "Device opened");
}

void TFMain::BtnCloseClick(TObject*)
{
    ShowStatus(CloseBoard() < 0 ? "Close error" : "Device closed");
}

void TFMain::BtnStatClick(TObject*)
{
    std::uint16_t status = 0, control = 0;
    if (GetBoardStatus(&status, &control) < 0) {
        ShowStatus("Status read error");
        return;
    }
    ShowStatus("Status read ok");
    Edit1->SetText(StatusAndControlText(status, control));
}

void TFMain::BtnDateClick(TObject*)
{
    SYSTEMTIME dateTime{};
    std::uint16_t dayOfYear = 0, status = 0;
    std::uint32_t microseconds = 0;
    if (GetBoardDateTime(&dateTime, &dayOfYear, &microseconds, &status) < 0) {
        ShowStatus("Date & time read error");
        return;
    }
    ShowStatus("Date & Time read ok");
    Edit1->SetText(StatusWordText(status));
    Edit2->SetText(DateLineText(dateTime, dayOfYear, microseconds));
}

// "Get version", "Get TD" and "Get H0": a failed read clears the boxes it
// would have filled and says so, rather than leaving an earlier reading
// that looks like the board's answer.

void TFMain::Button1Click(TObject*)
{
    char version[20] = {};
    if (GetBoardVersion(version) < 0) {
        EdVersion->SetText("");
        ShowStatus("Version read error");
        return;
    }
    EdVersion->SetText(std::string(version, strnlen(version, sizeof version)));
}

void TFMain::Button2Click(TObject*)
{
    if (!DeviceAnswers())
        return;
    const int fallingEdge = RadioGroup1->ItemIndex();
    StartMonitor(true);
    EnableTimestampInterrupt(fallingEdge);
    ShowMonitoring(true);
}

void TFMain::Button3Click(TObject*)
{
    // Terminate first: the disarm releases a monitor blocked in its wait,
    // and a monitor released before its flag is set would wait again, on a
    // disarmed interrupt.  Nothing here waits for it.
    if (MonitorThread)
        MonitorThread->Terminate();
    DisableBoardInterrupts();
    ShowMonitoring(false);
}

void TFMain::Button4Click(TObject*)
{
    ListBox1->Items().Clear();
}

void TFMain::Button5Click(TObject*)
{
    EdgeStamp rising{}, falling{};
    if (GetBoardTimestamp(&rising, &falling) < 0) {
        ShowStatus("Device not open");
        return;
    }
    ListBox1->Items().Add(TimestampLineText(rising, falling));
}

void TFMain::Button6Click(TObject*)
{
    if (!DeviceAnswers())
        return;
    // Converted before any thread starts: a period that is not a number
    // stops here and leaves nothing running.
    const int period = StrToInt(Edit3->Text());
    StartMonitor(false);
    EnablePeriodicInterrupt(period);
    ShowMonitoring(true);
}

void TFMain::Button7Click(TObject*)
{
    // The items are listed in the order of the library's modes,
    // TCR7750_DECODE_STANDARD to TCR7750_DECODE_H0: the index is the mode.
    SetIrigMode(static_cast<std::uint32_t>(RadioGroup2->ItemIndex()));
}

void TFMain::Button8Click(TObject*)
{
    SetBoardInitialYear(StrToInt(Edit4->Text()));
}

void TFMain::Button9Click(TObject*)
{
    TdRecord td{}, tdEx{};
    std::uint16_t status = 0;
    const bool tdRead = GetTD(&td, &status) >= 0;
    const bool tdExRead = GetTDEx(&tdEx, &status) >= 0;
    Edit5->SetText(tdRead ? TdText(td) : "");
    Edit6->SetText(tdExRead ? TdExText(tdEx) : "");
    Edit1->SetText(tdRead || tdExRead ? StatusWordText(status) : "");
    if (!tdRead || !tdExRead)
        ShowStatus("TD read error");
}

void TFMain::Button10Click(TObject*)
{
    H0Record h0{};
    std::uint16_t status = 0;
    if (GetH0(&h0, &status) < 0) {
        Edit7->SetText("");
        Edit1->SetText("");
        ShowStatus("H0 read error");
        return;
    }
    Edit7->SetText(H0Text(h0));
    Edit1->SetText(StatusWordText(status));
}

void TFMain::Quitter1Click(TObject*)
{
    Close();
}

bool TFMain::DeviceAnswers()
{
    std::uint16_t status = 0, control = 0;
    if (GetBoardStatus(&status, &control) < 0) {
        ShowStatus("Device not open");
        return false;
    }
    return true;
}

void TFMain::StartMonitor(bool timestampMode)
{
    // The thread starts once this handler has returned, so it is set up
    // here and its first wait comes after the interrupt has been armed.
    auto* thread = new TTimestampThread(false, timestampMode);
    thread->SetFreeOnTerminate(true);
    thread->OnTerminate = [this](TObject* sender) { MonitorEnded(static_cast<TTimestampThread*>(sender)); };
    liveMonitors_.push_back(thread);
    MonitorThread = thread;
}

void TFMain::MonitorEnded(TTimestampThread* thread)
{
    // Runs on the window thread just before the thread frees itself, so no
    // reference to it outlives it.
    std::erase(liveMonitors_, thread);
    if (MonitorThread == thread)
        MonitorThread = nullptr;
}

void TFMain::ShowMonitoring(bool monitoring)
{
    Button2->SetEnabled(!monitoring);
    Button6->SetEnabled(!monitoring);
    Button3->SetEnabled(monitoring);
}

void TFMain::ShowStatus(const char* text)
{
    StatusBar1->SetSimpleText(text);
}
