// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "forms/description.h"

using namespace forms;

namespace {

int LineOfError(const char* text)
{
    try {
        ParseFormDescription(text);
    } catch (const EFormDescriptionError& error) {
        return error.Line();
    }
    return 0;
}

}  // namespace

TEST(FormDescription, ReadsNestedObjectsWithEveryKindOfValue)
{
    const auto root = ParseFormDescription(R"(object FMain: TFMain
  Caption = 'TCR7750 DLL Test'
  Color = clBtnFace
  Font.Height = -11
  Font.Style = [fsBold, fsItalic]
  Tag = $00FF8000
  object Panel1: TPanel
    Left = 224
    object EdYear: TEdit
      Text = ''
    end
  end
  object RadioGroup1: TRadioGroup
    Items.Strings = (
      'Standard IRIG B'
      'AFNOR'
      'IEEE 1344')
  end
end
)");
    EXPECT_EQ(root.name, "FMain");
    EXPECT_EQ(root.className, "TFMain");
    ASSERT_EQ(root.properties.size(), 5u);
    EXPECT_EQ(std::get<std::string>(root.Find("Caption")->value), "TCR7750 DLL Test");
    EXPECT_EQ(std::get<DescriptionIdent>(root.Find("Color")->value).name, "clBtnFace");
    EXPECT_EQ(std::get<std::int64_t>(root.Find("Font.Height")->value), -11);
    EXPECT_EQ(std::get<DescriptionSet>(root.Find("Font.Style")->value).members,
              (std::vector<std::string>{"fsBold", "fsItalic"}));
    EXPECT_EQ(std::get<std::int64_t>(root.Find("Tag")->value), 0xFF8000);
    EXPECT_EQ(root.Find("Tag")->line, 6);

    ASSERT_EQ(root.children.size(), 2u);
    const auto& panel = root.children[0];
    EXPECT_EQ(panel.name, "Panel1");
    ASSERT_EQ(panel.children.size(), 1u);
    EXPECT_EQ(panel.children[0].className, "TEdit");
    EXPECT_EQ(std::get<std::string>(panel.children[0].Find("Text")->value), "");
    EXPECT_EQ(std::get<DescriptionList>(root.children[1].Find("Items.Strings")->value).items,
              (std::vector<std::string>{"Standard IRIG B", "AFNOR", "IEEE 1344"}));
}

TEST(FormDescription, StringsHaveDoubledQuotesCharacterCodesAndJoins)
{
    const auto root = ParseFormDescription("object A: TForm\n"
                                           "  Caption = 'Don''t'#39'x'#39' stop'\n"
                                           "  Hint = 'Clear  -->' +\n"
                                           "    ' more'\n"
                                           "  Text = #65#66'C'\n"
                                           "  Empty = []\n"
                                           "end");
    EXPECT_EQ(std::get<std::string>(root.Find("Caption")->value), "Don't'x' stop");
    EXPECT_EQ(std::get<std::string>(root.Find("Hint")->value), "Clear  --> more");
    EXPECT_EQ(std::get<std::string>(root.Find("Text")->value), "ABC");
    EXPECT_TRUE(std::get<DescriptionSet>(root.Find("Empty")->value).members.empty());
}

TEST(FormDescription, ErrorsNameTheirLine)
{
    EXPECT_EQ(LineOfError("object A: TForm\n  Caption = 'open\nend"), 2);
    EXPECT_EQ(LineOfError("object A: TForm\n  Caption 'x'\nend"), 2);
    EXPECT_EQ(LineOfError("object A: TForm\n  object B: TButton\n  end\n"), 4);
    EXPECT_EQ(LineOfError("object A: TForm\n\n  Width = 12x\nend"), 3);
    EXPECT_EQ(LineOfError("object A: TForm\n  Font.Style = [fsBold\nend"), 3);
    EXPECT_EQ(LineOfError("object A TForm\nend"), 1);
    EXPECT_EQ(LineOfError("object A: TForm\nend\nobject B: TForm\nend"), 3);
    EXPECT_EQ(LineOfError("object A: TForm\n  Width = 99999999999\nend"), 2);
    try {
        ParseFormDescription("object A: TForm\n  Caption = 'x\nend");
        FAIL();
    } catch (const EFormDescriptionError& error) {
        EXPECT_STREQ(error.what(), "line 2: unterminated string");
    }
}
