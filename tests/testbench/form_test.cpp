// SPDX-License-Identifier: MIT
// The window as its form description builds it, and the program's start.
#include "bench_fixture.h"

using namespace forms;

namespace {

class Form : public BenchTest {};

struct ControlRow {
    const char* name;
    const char* caption;  // as shown: "&&" is one ampersand on screen, stored as typed
    int left, top, width, height, tab;
};

// Every control of the window with its place, caption and tab order.
const ControlRow kControls[] = {
    {"Bevel4", "", 752, 40, 137, 121, -1},
    {"Bevel3", "", 512, 40, 233, 121, -1},
    {"Label6", "Timestamp", 592, 48, 78, 16, -1},
    {"Label9", "Periodic int.", 784, 48, 83, 16, -1},
    {"Label10", "x 0.1s", 848, 124, 28, 13, -1},
    {"Label11", "Warning! disable interrupts before closing the device and exiting.", 656, 8, 161, 26, -1},
    {"StatusBar1", "", 0, 492, 900, 19, 0},
    {"BtnOpen", "Open device", 32, 8, 89, 25, 1},
    {"BtnStat", "Get Status", 16, 64, 89, 25, 2},
    {"Edit1", "", 128, 64, 137, 21, 3},
    {"BtnDate", "Get Date &&Time", 16, 96, 89, 25, 4},
    {"Edit2", "", 128, 96, 209, 21, 5},
    {"BtnClose", "Close device", 136, 8, 89, 25, 6},
    {"Button1", "Get version", 16, 176, 97, 25, 7},
    {"EdVersion", "", 128, 176, 185, 21, 8},
    {"ListBox1", "", 528, 176, 353, 289, 9},
    {"RadioGroup1", "Edge select", 528, 104, 209, 41, 10},
    {"Button2", "Enable interrupt", 528, 72, 97, 25, 11},
    {"Button3", "Disable interrupts", 528, 8, 105, 25, 12},
    {"Button4", "Clear  -->", 464, 440, 59, 25, 13},
    {"Button5", "Read timestamp", 640, 72, 89, 25, 14},
    {"Button6", "Enable interrupt", 776, 72, 97, 25, 15},
    {"Edit3", "10", 768, 120, 73, 21, 16},
    {"RadioGroup2", "IRIG B mode", 96, 272, 113, 105, 17},
    {"Button7", "Set mode", 16, 280, 65, 25, 18},
    {"Edit4", "2008", 112, 402, 121, 21, 19},
    {"Button8", "Set initial year", 16, 400, 83, 25, 20},
    {"Button9", "Get TD", 248, 280, 75, 25, 21},
    {"Button10", "Get H0", 248, 352, 75, 25, 22},
    {"Edit5", "", 336, 280, 177, 21, 23},
    {"Edit6", "", 336, 304, 177, 21, 24},
    {"Edit7", "", 336, 352, 177, 21, 25},
};

TEST_F(Form, EveryControlHasItsPlaceCaptionAndTabOrderInDescriptionOrder)
{
    std::vector<std::string> order;
    for (int i = 0; i < form->ControlCount(); ++i)
        order.push_back(form->Controls(i)->Name());
    std::vector<std::string> expected;
    for (const ControlRow& row : kControls)
        expected.push_back(row.name);
    EXPECT_EQ(order, expected);

    for (const ControlRow& row : kControls) {
        SCOPED_TRACE(row.name);
        auto* control = dynamic_cast<TControl*>(form->FindComponent(row.name));
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->Caption(), row.caption);
        EXPECT_EQ(control->Left(), row.left);
        EXPECT_EQ(control->Top(), row.top);
        EXPECT_EQ(control->Width(), row.width);
        EXPECT_EQ(control->Height(), row.height);
        EXPECT_EQ(control->TabOrder(), row.tab);
        EXPECT_EQ(control->Enabled(), row.name != std::string("Button3"));
    }
}

TEST_F(Form, WindowAndStyledControls)
{
    EXPECT_EQ(form->Caption(), "TCR7750 DLL Test");
    EXPECT_EQ(form->Left(), 265);
    EXPECT_EQ(form->Top(), 258);
    EXPECT_EQ(form->Width(), 908);
    EXPECT_EQ(form->Height(), 565);
    EXPECT_EQ(form->Color(), clBtnFace);
    EXPECT_EQ(form->Font().Name, "MS Sans Serif");
    EXPECT_EQ(form->Font().Height, -11);
    EXPECT_EQ(Application->MainForm(), form);

    for (TLabel* title : {form->Label6, form->Label9}) {
        EXPECT_TRUE(title->Font().Has(fsBold));
        EXPECT_EQ(title->Font().Height, -13);
    }
    EXPECT_EQ(form->Label11->Font().Color, clRed);
    EXPECT_TRUE(form->Label11->WordWrap());

    EXPECT_TRUE(form->StatusBar1->SimplePanel());
    EXPECT_EQ(form->StatusBar1->SimpleText(), "Device closed");
    EXPECT_EQ(form->ListBox1->ItemHeight(), 13);
    EXPECT_EQ(form->ListBox1->Items().Count(), 0);

    EXPECT_EQ(form->RadioGroup1->Items().Strings(), (std::vector<std::string>{"Raising", "Falling"}));
    EXPECT_EQ(form->RadioGroup1->Columns(), 2);
    EXPECT_EQ(form->RadioGroup1->ItemIndex(), 0);
    EXPECT_EQ(form->RadioGroup2->Items().Strings(),
              (std::vector<std::string>{"UT standard", "UT Afnor", "TD", "H0"}));
    EXPECT_EQ(form->RadioGroup2->ItemIndex(), 0);
}

TEST_F(Form, MainMenuHasFileExit)
{
    ASSERT_EQ(form->Menu(), form->MainMenu1);
    const TMenuItem& bar = form->MainMenu1->Items();
    ASSERT_EQ(bar.Count(), 1);
    EXPECT_EQ(bar.Items(0), form->Fichier1);
    EXPECT_EQ(form->Fichier1->Caption(), "&File");
    ASSERT_EQ(form->Fichier1->Count(), 1);
    EXPECT_EQ(form->Fichier1->Items(0), form->Quitter1);
    EXPECT_EQ(form->Quitter1->Caption(), "E&xit");
}

TEST_F(Form, StartPutsTheUtcYearInTheInitialYearBoxAndReadsNoBoard)
{
    EXPECT_EQ(form->Edit4->Text(), "2008");  // the fake system clock's year
    EXPECT_EQ(os.CountCalls("GetSystemTime"), 1);
    EXPECT_TRUE(sim.requests().empty());

    headless::Reset();
    os.systemTime.wYear = 2027;
    Application->CreateForm(FMain);
    form = FMain;
    EXPECT_EQ(form->Edit4->Text(), "2027");
}

TEST_F(Form, ExitClosesTheMainFormAndEndsTheApplication)
{
    EXPECT_FALSE(Application->Terminated());
    EXPECT_TRUE(form->Quitter1->Click());
    EXPECT_TRUE(Application->Terminated());
    EXPECT_TRUE(sim.requests().empty()) << "leaving neither disarms nor closes the board";
}

}  // namespace
