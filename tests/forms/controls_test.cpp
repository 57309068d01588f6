// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "forms_fixture.h"
#include "sample_form.h"

using namespace forms;

namespace {

class Controls : public FormsTest {
protected:
    TSampleForm* form = nullptr;

    void SetUp() override
    {
        FormsTest::SetUp();
        Application->SetTitle("Sample");
        Application->CreateForm(form);
    }
};

std::string LoadError(const std::string& description)
{
    try {
        TBareForm form(nullptr, description.c_str());
    } catch (const EFormDescriptionError& error) {
        return error.what();
    }
    return "";
}

}  // namespace

TEST_F(Controls, FormDescriptionSetsEveryControl)
{
    EXPECT_EQ(form->Name(), "SampleForm");
    EXPECT_EQ(form->Caption(), "Sample 'form'");
    EXPECT_EQ(std::vector<int>({form->Left(), form->Top(), form->Width(), form->Height()}),
              std::vector<int>({265, 258, 400, 300}));
    EXPECT_EQ(Application->MainForm(), form);
    EXPECT_TRUE(form->Visible()) << "the main form shows once created";
    EXPECT_EQ(form->events, std::vector<std::string>{"FormCreate"});
    EXPECT_EQ(form->Menu()->Items().Items(0)->Items(0), form->Quitter1);
    EXPECT_EQ(form->PopupMenu(), form->PopupMenu1);

    EXPECT_EQ(form->PnlStatus->Color(), clTeal);
    EXPECT_EQ(ColorToRGB(form->PnlStatus->Color()), RGB(0, 128, 128));
    EXPECT_EQ(form->PnlStatus->BevelOuter(), bvLowered);
    EXPECT_EQ(form->PnlStatus->PopupMenu(), form->PopupMenu1);
    EXPECT_EQ(form->PnlStatus->TabOrder(), 0);
    EXPECT_EQ(form->LblInside->Parent(), form->PnlStatus);
    EXPECT_EQ(form->LblInside->Alignment(), taCenter);
    EXPECT_TRUE(form->LblInside->WordWrap());
    EXPECT_FALSE(form->LblInside->AutoSize());
    EXPECT_EQ(form->Bevel1->Shape(), bsFrame);

    EXPECT_EQ(form->BtnGo->Caption(), "Get Date &&Time");
    EXPECT_EQ(form->EdValue->Text(), "20x8");
    EXPECT_EQ(form->EdValue->Color(), clWindow);
    EXPECT_EQ(form->RGrpMode->Items().Strings(), (std::vector<std::string>{"Raising", "Falling"}));
    EXPECT_EQ(form->RGrpMode->ItemIndex(), 1);
    EXPECT_EQ(form->RGrpMode->Columns(), 2);
    EXPECT_EQ(form->ListBox1->ItemHeight(), 13);
    EXPECT_TRUE(form->StatusBar1->SimplePanel());
    EXPECT_EQ(form->StatusBar1->SimpleText(), "Device closed");
    EXPECT_FALSE(form->Image1->Visible());
    EXPECT_EQ(form->Image1->Picture().Icon.Handle(), headless::IconHandle("CLOCK_GREEN"));
    EXPECT_NE(headless::IconHandle("CLOCK_GREEN"), headless::IconHandle("CLOCK_RED"));
    EXPECT_FALSE(form->Timer1->Enabled());
    EXPECT_EQ(form->Timer1->Interval(), 10000u);
    EXPECT_TRUE(form->N1->IsLine());
}

TEST_F(Controls, FontsComeFromTheParentUntilSetOwn)
{
    EXPECT_EQ(form->Font().Name, "MS Sans Serif");
    EXPECT_EQ(form->Font().Height, -11);
    EXPECT_FALSE(form->Font().Has(fsBold));

    EXPECT_EQ(form->LblTitle->Font().Height, -13);
    EXPECT_TRUE(form->LblTitle->Font().Has(fsBold));
    EXPECT_TRUE(form->PnlStatus->Font().Has(fsBold));
    EXPECT_EQ(form->PnlStatus->Font().Height, -11) << "the rest of the font is the parent's";
    EXPECT_TRUE(form->LblInside->Font().Has(fsBold)) << "a child of the bold panel";
    EXPECT_FALSE(form->BtnGo->Font().Has(fsBold));
    EXPECT_EQ(form->PnlStatus->ParentFont(), false);

    TFont bigger = form->Font();
    bigger.Height = -20;
    form->SetFont(bigger);
    EXPECT_EQ(form->BtnGo->Font().Height, -20);
    EXPECT_EQ(form->LblTitle->Font().Height, -13);
    EXPECT_EQ(form->LblInside->Color(), clTeal) << "labels take their parent's colour";
}

TEST_F(Controls, AnOwnFontStartsFromTheParentsFont)
{
    TBareForm bare(nullptr, "object F: TForm\n"
                            "  Font.Style = [fsBold]\n"
                            "  object L: TLabel\n"
                            "    ParentFont = False\n"
                            "    Font.Height = -13\n"
                            "  end\n"
                            "end");
    const auto* label = dynamic_cast<TLabel*>(bare.FindComponent("L"));
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->Font().Has(fsBold));
    EXPECT_EQ(label->Font().Height, -13);
    TFont plain = bare.Font();
    plain.Style = 0;
    bare.SetFont(plain);
    EXPECT_TRUE(label->Font().Has(fsBold)) << "an own font no longer follows the parent";
}

TEST_F(Controls, ClicksRunHandlersOnlyOnUsableControls)
{
    form->EdValue->SetText("12");
    EXPECT_TRUE(form->BtnGo->Click());
    EXPECT_EQ(form->ListBox1->Items().Strings(), std::vector<std::string>{"12"});

    form->BtnGo->SetEnabled(false);
    EXPECT_FALSE(form->BtnGo->Click());
    form->BtnGo->SetEnabled(true);
    form->PnlStatus->Hide();
    EXPECT_FALSE(form->LblInside->Click()) << "inside a hidden panel";
    EXPECT_TRUE(form->BtnGo->Click());

    EXPECT_TRUE(form->RGrpMode->ClickItem(0));
    EXPECT_EQ(form->RGrpMode->ItemIndex(), 0);
    EXPECT_FALSE(form->RGrpMode->ClickItem(2));
    form->RGrpMode->SetItemIndex(1);  // no handler
    EXPECT_TRUE(form->Configurer1->Click());
    EXPECT_FALSE(form->N1->Click());
    EXPECT_EQ(form->events, (std::vector<std::string>{"FormCreate", "BtnGoClick", "BtnGoClick", "RGrpModeClick 0",
                                                      "BtnGoClick from menu"}));
    EXPECT_EQ(form->ListBox1->Items().Count(), 3);
    form->ListBox1->Items().Clear();
    EXPECT_EQ(form->ListBox1->Items().Count(), 0);
}

TEST_F(Controls, AnExceptionInAHandlerShowsTheStandardMessage)
{
    EXPECT_TRUE(form->BtnGo->Click());  // EdValue holds "20x8"
    EXPECT_EQ(form->ListBox1->Items().Count(), 0) << "the handler stopped at the conversion";
    const auto boxes = os.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "'20x8' is not a valid integer value.");
    EXPECT_EQ(boxes[0].caption, "Sample");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_OK | MB_ICONSTOP));

    form->EdValue->SetText("");
    form->BtnGo->Click();
    EXPECT_EQ(os.MessageBoxes().back().text, "'' is not a valid integer value.");
}

TEST_F(Controls, ATimerFromTheDescriptionRunsItsHandlerOnceEnabled)
{
    headless::Advance(20000);
    EXPECT_EQ(form->events.size(), 1u) << "Timer1 is stored disabled";
    form->Timer1->SetEnabled(true);
    headless::Advance(10000);
    EXPECT_EQ(form->events.back(), "Timer1Timer");
}

TEST_F(Controls, EditsReportChangesAndStatusBarsShowText)
{
    int changes = 0;
    form->EdValue->OnChange = [&](TObject*) { ++changes; };
    form->EdValue->SetText("7");
    form->EdValue->SetText("7");
    EXPECT_EQ(changes, 1);
    form->EdValue->SetReadOnly(true);
    EXPECT_TRUE(form->EdValue->ReadOnly());
    form->StatusBar1->SetSimpleText("Device opened");
    EXPECT_EQ(form->StatusBar1->SimpleText(), "Device opened");
}

TEST_F(Controls, PopupMenusRecordWhereTheyOpened)
{
    form->PopupMenu1->Popup(100, 200);
    EXPECT_EQ(form->PopupMenu1->PopupCount(), 1);
    EXPECT_EQ(form->PopupMenu1->LastPopupPoint().x, 100);
    EXPECT_EQ(form->PopupMenu1->LastPopupPoint().y, 200);
}

TEST_F(Controls, ClosingTheMainFormEndsTheApplication)
{
    EXPECT_FALSE(Application->Terminated());
    EXPECT_TRUE(form->Quitter1->Click());
    EXPECT_TRUE(Application->Terminated());
    EXPECT_FALSE(form->Visible());
    Application->Run();  // returns at once
}

TEST_F(Controls, OnCloseMayRefuse)
{
    form->OnClose = [](TObject*, TCloseAction& action) { action = caNone; };
    form->Close();
    EXPECT_FALSE(Application->Terminated());
    EXPECT_TRUE(form->Visible());
}

TEST_F(Controls, MessagesGoToTheirHandler)
{
    std::vector<LPARAM> seen;
    form->SetMessageHandler(WM_USER + 1, [&](TMessage& message) {
        seen.push_back(message.LParam);
        message.Result = 7;
    });
    EXPECT_EQ(form->Perform(WM_USER + 1, 1, WM_RBUTTONDOWN), 7);
    EXPECT_EQ(form->Perform(WM_USER + 2, 1, WM_RBUTTONDOWN), 0);
    EXPECT_EQ(seen, std::vector<LPARAM>{WM_RBUTTONDOWN});
}

TEST_F(Controls, HandlesAreDistinctAndStable)
{
    EXPECT_NE(form->Handle(), nullptr);
    EXPECT_NE(form->Handle(), form->BtnGo->Handle());
    EXPECT_EQ(form->BtnGo->Handle(), form->BtnGo->Handle());
    EXPECT_NE(Application->Handle(), form->Handle());
}

TEST_F(Controls, DescriptionsThatDoNotFitTheFormAreRefused)
{
    EXPECT_EQ(LoadError("object F: TForm\n  object B: TWidget\n  end\nend"), "line 2: unknown class TWidget");
    EXPECT_EQ(LoadError("object F: TForm\n  object B: TButton\n    Colour = clRed\n  end\nend"),
              "line 3: unknown property Colour of TButton");
    EXPECT_EQ(LoadError("object F: TForm\n  object B: TButton\n    OnClick = Missing\n  end\nend"),
              "line 3: no handler named Missing");
    EXPECT_EQ(LoadError("object F: TForm\n  object B: TButton\n    Width = 'wide'\n  end\nend"),
              "line 3: property Width: expected an integer");
    EXPECT_EQ(LoadError("object F: TForm\n  object L: TLabel\n    object B: TButton\n    end\n  end\nend"),
              "line 3: control B inside a non-container");
    EXPECT_EQ(LoadError("object F: TForm\n  object B: TButton\n  end\n  object B: TEdit\n  end\nend"),
              "line 4: duplicate name B");
    EXPECT_EQ(LoadError("object F: TForm\n  PopupMenu = Nowhere\nend"), "line 2: no popup menu named Nowhere");
    EXPECT_EQ(LoadError("object F: TForm\n  object P: TPanel\n    Color = clMauve\n  end\nend"),
              "line 3: property Color: expected a colour");
    EXPECT_EQ(LoadError("object F: TForm\n  object P: TPanel\n    BevelOuter = bvSideways\n  end\nend"),
              "line 3: property BevelOuter: unknown value bvSideways");
}

TEST_F(Controls, AFieldWithoutItsComponentIsRefused)
{
    struct TMissing : TForm {
        TButton* Absent = nullptr;
        explicit TMissing(TComponent* owner) : TForm(owner)
        {
            FormBinding binding;
            binding.Field("Absent", Absent);
            LoadFromDescription("object F: TForm\n  object Absent: TEdit\n  end\nend", binding);
        }
    };
    EXPECT_THROW(TMissing form(nullptr), EFormDescriptionError);
}
