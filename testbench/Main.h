/* SPDX-License-Identifier: MIT */
// The test bench window: one button per export of the board library, the
// results in fixed formats, and the interrupt monitor threads it starts.
#pragma once

#include <vector>

#include "forms/toolkit.h"

class TTimestampThread;

class TFMain : public forms::TForm {
public:
    forms::TBevel* Bevel4 = nullptr;
    forms::TBevel* Bevel3 = nullptr;
    forms::TLabel* Label6 = nullptr;
    forms::TLabel* Label9 = nullptr;
    forms::TLabel* Label10 = nullptr;
    forms::TLabel* Label11 = nullptr;
    forms::TStatusBar* StatusBar1 = nullptr;
    forms::TButton* BtnOpen = nullptr;
    forms::TButton* BtnStat = nullptr;
    forms::TEdit* Edit1 = nullptr;
    forms::TButton* BtnDate = nullptr;
    forms::TEdit* Edit2 = nullptr;
    forms::TButton* BtnClose = nullptr;
    forms::TButton* Button1 = nullptr;
    forms::TEdit* EdVersion = nullptr;
    forms::TListBox* ListBox1 = nullptr;
    forms::TRadioGroup* RadioGroup1 = nullptr;
    forms::TButton* Button2 = nullptr;
    forms::TButton* Button3 = nullptr;
    forms::TButton* Button4 = nullptr;
    forms::TButton* Button5 = nullptr;
    forms::TButton* Button6 = nullptr;
    forms::TEdit* Edit3 = nullptr;
    forms::TRadioGroup* RadioGroup2 = nullptr;
    forms::TButton* Button7 = nullptr;
    forms::TEdit* Edit4 = nullptr;
    forms::TButton* Button8 = nullptr;
    forms::TButton* Button9 = nullptr;
    forms::TButton* Button10 = nullptr;
    forms::TEdit* Edit5 = nullptr;
    forms::TEdit* Edit6 = nullptr;
    forms::TEdit* Edit7 = nullptr;
    forms::TMainMenu* MainMenu1 = nullptr;
    forms::TMenuItem* Fichier1 = nullptr;
    forms::TMenuItem* Quitter1 = nullptr;

    // The monitor started by the last "Enable interrupt"; empty at start and
    // once that thread has ended (it frees itself then).
    TTimestampThread* MonitorThread = nullptr;

    explicit TFMain(forms::TComponent* owner);
    ~TFMain() override;

    void FormCreate(forms::TObject* Sender);
    void BtnOpenClick(forms::TObject* Sender);
    void BtnCloseClick(forms::TObject* Sender);
    void BtnStatClick(forms::TObject* Sender);
    void BtnDateClick(forms::TObject* Sender);
    void Button1Click(forms::TObject* Sender);
    void Button2Click(forms::TObject* Sender);
    void Button3Click(forms::TObject* Sender);
    void Button4Click(forms::TObject* Sender);
    void Button5Click(forms::TObject* Sender);
    void Button6Click(forms::TObject* Sender);
    void Button7Click(forms::TObject* Sender);
    void Button8Click(forms::TObject* Sender);
    void Button9Click(forms::TObject* Sender);
    void Button10Click(forms::TObject* Sender);
    void Quitter1Click(forms::TObject* Sender);

    // Monitor threads started and not yet ended, MonitorThread among them.
    const std::vector<TTimestampThread*>& LiveMonitors() const { return liveMonitors_; }

private:
    std::vector<TTimestampThread*> liveMonitors_;

    // Whether the device answers a status read; says "Device not open" if not.
    bool DeviceAnswers();
    void StartMonitor(bool timestampMode);
    void MonitorEnded(TTimestampThread* thread);
    // Idle: both "Enable interrupt" usable; Monitoring: only "Disable interrupts".
    void ShowMonitoring(bool monitoring);
    void ShowStatus(const char* text);
};

extern TFMain* FMain;
