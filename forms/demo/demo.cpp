// SPDX-License-Identifier: MIT
// A window program in the manner of the real ones: a form class with its
// handlers and form description, a worker thread that reports through
// Synchronize, a timer and both kinds of menu.
#include "forms/toolkit.h"

using namespace forms;

extern const char DemoFormDescription[];

class TDemoForm;
TDemoForm* DemoForm = nullptr;

class TTicker : public TThread {
public:
    explicit TTicker(TLabel* label) : TThread(false), label_(label) {}

protected:
    void Execute() override
    {
        while (!Terminated()) {
            Os().Sleep(1000);
            ++ticks_;
            Synchronize([this] { label_->SetCaption(Format("Worker tick %d", ticks_)); });
        }
    }

private:
    TLabel* label_;
    int ticks_ = 0;
};

class TDemoForm : public TForm {
public:
    TLabel* LblTicks = nullptr;
    TPanel* PnlState = nullptr;
    TEdit* EdNumber = nullptr;
    TRadioGroup* RGrpColour = nullptr;
    TListBox* ListBox1 = nullptr;
    TStatusBar* StatusBar1 = nullptr;
    TTicker* Ticker = nullptr;

    explicit TDemoForm(TComponent* owner) : TForm(owner)
    {
        FormBinding binding;
        binding.Field("LblTicks", LblTicks);
        binding.Field("PnlState", PnlState);
        binding.Field("EdNumber", EdNumber);
        binding.Field("RGrpColour", RGrpColour);
        binding.Field("ListBox1", ListBox1);
        binding.Field("StatusBar1", StatusBar1);
        binding.Handler("FormCreate", this, &TDemoForm::FormCreate);
        binding.Handler("BtnAddClick", this, &TDemoForm::BtnAddClick);
        binding.Handler("RGrpColourClick", this, &TDemoForm::RGrpColourClick);
        binding.Handler("Clear1Click", this, &TDemoForm::Clear1Click);
        binding.Handler("Exit1Click", this, &TDemoForm::Exit1Click);
        binding.Handler("Timer1Timer", this, &TDemoForm::Timer1Timer);
        LoadFromDescription(DemoFormDescription, binding);
    }

    void FormCreate(TObject*)
    {
        Ticker = new TTicker(LblTicks);
        Ticker->SetFreeOnTerminate(true);
        Ticker->OnTerminate = [this](TObject*) { Ticker = nullptr; };
    }

    void BtnAddClick(TObject*)
    {
        const int value = StrToInt(EdNumber->Text());  // "20x8" shows the conversion error
        ListBox1->Items().Add(Format("%d = $%s", value, IntToHex(value, 4).c_str()));
        StatusBar1->SetSimpleText(Format("%d lines", ListBox1->Items().Count()));
    }

    void RGrpColourClick(TObject*)
    {
        static const TColor colours[] = {clTeal, clLime, clRed};
        PnlState->SetColor(colours[RGrpColour->ItemIndex()]);
    }

    void Timer1Timer(TObject*) { StatusBar1->SetSimpleText(Format("Timer at %s", LblTicks->Caption().c_str())); }
    void Clear1Click(TObject*) { ListBox1->Items().Clear(); }

    void Exit1Click(TObject*)
    {
        if (Ticker) {
            Ticker->SetFreeOnTerminate(false);
            Ticker->Terminate();
            Ticker->WaitFor();
            delete Ticker;
        }
        Close();
    }
};

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    try {
        Application->Initialize();
        Application->SetTitle("Toolkit demo");
        Application->CreateForm(DemoForm);
        Application->Run();
    } catch (const std::exception& error) {
        Application->ShowException(error);
    }
    return 0;
}
