/* SPDX-License-Identifier: MIT */
// The clock keeper's main window: the Driver group that starts and stops
// the worker, the update interval, the decoding mode, the initial year, the
// Force update command, the tray icon with its menu, and the exit.
#pragma once

#include "forms/toolkit.h"

class ThClkVerify;

// The window's form description (Main1.dfm), compiled in.
extern const char Main1Description[];

class TForm1 : public forms::TForm {
public:
    forms::TBevel* Bevel1 = nullptr;
    forms::TLabel* Label2 = nullptr;
    forms::TImage* Image1 = nullptr;
    forms::TImage* Image2 = nullptr;
    forms::TImage* Image3 = nullptr;
    forms::TLabel* LblTime = nullptr;
    forms::TLabel* Label6 = nullptr;
    forms::TRadioGroup* RGrpDriver = nullptr;
    forms::TGroupBox* GrpBxInterval = nullptr;
    forms::TLabel* Label1 = nullptr;
    forms::TEdit* EdInterval = nullptr;
    forms::TPanel* PnlStatus = nullptr;
    forms::TLabel* Label3 = nullptr;
    forms::TLabel* LblVersion = nullptr;
    forms::TPanel* PnlLock = nullptr;
    forms::TLabel* Label4 = nullptr;
    forms::TLabel* LblReceiver = nullptr;
    forms::TPanel* PnlDriver = nullptr;
    forms::TLabel* Label5 = nullptr;
    forms::TLabel* LblDriver = nullptr;
    forms::TButton* BtnMajClk = nullptr;
    forms::TButton* BtnIcon = nullptr;
    forms::TRadioGroup* RadioGroup1 = nullptr;
    forms::TPanel* Panel1 = nullptr;
    forms::TButton* BtnAnnumset = nullptr;
    forms::TEdit* EdYear = nullptr;
    forms::TPanel* Panel2 = nullptr;
    forms::TLabel* Label7 = nullptr;
    forms::TEdit* EdTfom = nullptr;
    forms::TPopupMenu* PopupMenu1 = nullptr;
    forms::TMenuItem* Configurer1 = nullptr;
    forms::TMenuItem* N1 = nullptr;
    forms::TMenuItem* Arrter1 = nullptr;
    forms::TTimer* Timer1 = nullptr;

    // The last worker created; it deletes itself when it ends.
    ThClkVerify* ClkThread = nullptr;
    // From a worker's creation until its end-of-thread handler has run.
    bool ClkThreadRunning = false;

    explicit TForm1(forms::TComponent* owner);
    // Runs the exit steps if nothing did: no tray icon or worker outlives
    // the window.
    ~TForm1() override;

    void FormCreate(forms::TObject* Sender);
    void FormClose(forms::TObject* Sender, forms::TCloseAction& Action);
    void RGrpDriverClick(forms::TObject* Sender);
    void RadioGroup1Click(forms::TObject* Sender);
    void BtnMajClkClick(forms::TObject* Sender);
    void BtnAnnumsetClick(forms::TObject* Sender);
    void BtnIconClick(forms::TObject* Sender);
    void Configurer1Click(forms::TObject* Sender);
    void Arrter1Click(forms::TObject* Sender);
    void Timer1Timer(forms::TObject* Sender);
    void TrayIconMessage(forms::TMessage& Msg);
    void ClkThreadDone(forms::TObject* Sender);

private:
    bool exiting_ = false;

    void AddTrayIcon();
    void ReadIntervalSetting();
    void StartWorker();
    void StopWorker();
    void LockInterval(bool locked);
    void ExitSteps();
};

extern TForm1* Form1;
