/* SPDX-License-Identifier: MIT */
// A small form in the programs' manner, loaded from sample_form.dfm.
#pragma once

#include <string>
#include <vector>

#include "forms/toolkit.h"

extern const char SampleFormDescription[];

class TSampleForm : public forms::TForm {
public:
    forms::TBevel* Bevel1 = nullptr;
    forms::TLabel* LblTitle = nullptr;
    forms::TPanel* PnlStatus = nullptr;
    forms::TLabel* LblInside = nullptr;
    forms::TButton* BtnGo = nullptr;
    forms::TEdit* EdValue = nullptr;
    forms::TRadioGroup* RGrpMode = nullptr;
    forms::TListBox* ListBox1 = nullptr;
    forms::TStatusBar* StatusBar1 = nullptr;
    forms::TImage* Image1 = nullptr;
    forms::TMenuItem* Quitter1 = nullptr;
    forms::TMenuItem* Configurer1 = nullptr;
    forms::TMenuItem* N1 = nullptr;
    forms::TPopupMenu* PopupMenu1 = nullptr;
    forms::TTimer* Timer1 = nullptr;

    std::vector<std::string> events;

    explicit TSampleForm(forms::TComponent* owner) : TForm(owner)
    {
        forms::FormBinding binding;
        binding.Field("Bevel1", Bevel1);
        binding.Field("LblTitle", LblTitle);
        binding.Field("PnlStatus", PnlStatus);
        binding.Field("LblInside", LblInside);
        binding.Field("BtnGo", BtnGo);
        binding.Field("EdValue", EdValue);
        binding.Field("RGrpMode", RGrpMode);
        binding.Field("ListBox1", ListBox1);
        binding.Field("StatusBar1", StatusBar1);
        binding.Field("Image1", Image1);
        binding.Field("Quitter1", Quitter1);
        binding.Field("Configurer1", Configurer1);
        binding.Field("N1", N1);
        binding.Field("PopupMenu1", PopupMenu1);
        binding.Field("Timer1", Timer1);
        binding.Handler("FormCreate", this, &TSampleForm::FormCreate);
        binding.Handler("BtnGoClick", this, &TSampleForm::BtnGoClick);
        binding.Handler("RGrpModeClick", this, &TSampleForm::RGrpModeClick);
        binding.Handler("Quitter1Click", this, &TSampleForm::Quitter1Click);
        binding.Handler("Timer1Timer", this, &TSampleForm::Timer1Timer);
        LoadFromDescription(SampleFormDescription, binding);
    }

    void FormCreate(forms::TObject*) { events.push_back("FormCreate"); }
    void BtnGoClick(forms::TObject* sender)
    {
        events.push_back(sender == BtnGo ? "BtnGoClick" : "BtnGoClick from menu");
        // Stops here on text that is not a number, like the programs' handlers.
        ListBox1->Items().Add(forms::IntToStr(forms::StrToInt(EdValue->Text())));
    }
    void RGrpModeClick(forms::TObject*) { events.push_back("RGrpModeClick " + std::to_string(RGrpMode->ItemIndex())); }
    void Quitter1Click(forms::TObject*) { Close(); }
    void Timer1Timer(forms::TObject*) { events.push_back("Timer1Timer"); }
};

// Loads `description` into a bare form with no fields and no handlers.
class TBareForm : public forms::TForm {
public:
    TBareForm(forms::TComponent* owner, const char* description) : TForm(owner)
    {
        forms::FormBinding binding;
        LoadFromDescription(description, binding);
    }
};
