#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "Exception.h"
#include "FormDescription.h"

namespace {

std::string ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

const FormNode* FindNode(const FormNode& node, const std::wstring& name) {
    if (node.name == name) return &node;
    for (const auto& c : node.children)
        if (const FormNode* f = FindNode(c, name)) return f;
    return nullptr;
}

// Parses and checks; returns the error text, or "" when the text is accepted.
std::string ErrorOf(const std::string& text) {
    try {
        ValidateFormDescription(ParseFormDescription(text));
        return "";
    } catch (const EFormError& e) {
        return e.what();
    }
}

TEST(FormDescription, TheMainWindowParsesWithEveryControl) {
    FormNode root = ParseFormDescription(ReadFile(KAVORIN_MAIN_FORM_FILE));
    ValidateFormDescription(root);
    EXPECT_EQ(root.name, L"mainForm");
    EXPECT_EQ(root.className, L"TmainForm");
    const wchar_t* names[] = {L"langRG",    L"ipGB",       L"ipValLBL",     L"ipNoteLbl", L"refreshIpBTN",
                              L"installGB", L"tvIpLbl",    L"statusLbl",    L"tvIpEdt",   L"BitInstall",
                              L"installPB", L"tvSeriesRG", L"instManualGB", L"manualLbl"};
    for (const wchar_t* n : names) EXPECT_NE(FindNode(root, n), nullptr) << ToUtf8(n);

    const FormNode* lang = FindNode(root, L"langRG");
    ASSERT_NE(lang->Find(L"Items.Strings"), nullptr);
    EXPECT_EQ(lang->Find(L"Items.Strings")->items, (std::vector<std::wstring>{L"РУС", L"ENG"}));
    // A caption written in two pieces joined with '+' comes back whole.
    const FormNode* status = FindNode(root, L"statusLbl");
    EXPECT_EQ(status->Find(L"Caption")->text,
              L"Введите IP вашего ТВ, Выберите его серию, Нажмите \"Установить виджет\"");
    EXPECT_EQ(FindNode(root, L"ipValLBL")->Find(L"Font.Style")->items,
              (std::vector<std::wstring>{L"fsBold"}));
    EXPECT_EQ(root.Find(L"ClientWidth")->integer, 844);
    EXPECT_EQ(root.Find(L"ClientHeight")->integer, 599);
}

TEST(FormDescription, StringPiecesCodesAndQuotes) {
    FormNode n = ParseFormDescription(
        "object f: TForm\n"
        "  Caption = 'it''s '#1055#1050'!'\n"
        "  Icon = \n"
        "    'a' +\n"
        "    'b'\n"
        "  Font.Height = -$10\n"
        "end\n");
    EXPECT_EQ(n.Find(L"Caption")->text, L"it's ПК!");
    EXPECT_EQ(n.Find(L"Icon")->text, L"ab");
    EXPECT_EQ(n.Find(L"Font.Height")->integer, -16);
}

TEST(FormDescription, ListItemsOnSeparateLinesStaySeparate) {
    FormNode n = ParseFormDescription(
        "object f: TForm\n object r: TRadioGroup\n  Items.Strings = (\n   'a'\n   'b' 'c')\n  ItemIndex = "
        "2\n end\nend\n");
    ValidateFormDescription(n);
    EXPECT_EQ(n.children.at(0).Find(L"Items.Strings")->items, (std::vector<std::wstring>{L"a", L"b", L"c"}));
}

// Each malformed entry is refused with the line it stands on.
TEST(FormDescription, MalformedTextNamesTheLine) {
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"object f: TForm\n  Caption = 'open\nend\n", "line 2: unterminated string"},
        {"object f: TForm\n  Caption 'x'\nend\n", "line 2: expected '=' after 'Caption'"},
        {"object f: TForm\n  Left = 1\n", "line 3: missing 'end' for object 'f'"},
        {"object f: TForm\n  Left =\n  Top = 2\nend\n", "line 2: missing value of 'Left'"},
        {"object f: TForm\nend\nend\n", "line 3: unexpected text after the final 'end'"},
        {"object f TForm\nend\n", "line 1: expected ':' between"},
        {"object f: TForm\n  Caption = #0\nend\n", "line 2: character code 0"},
        {"object f: TForm\n  Left = 99999999999\nend\n", "line 2: number too large"},
        {"object f: TForm\n  Left = 12ab\nend\n", "line 2: malformed number"},
        {"object f: TForm\n  Font.Style = [fsBold fsItalic]\nend\n", "line 2: expected ',' or ']'"},
        {"object f: TForm\n  Left = @\nend\n", "line 2: unexpected character '@'"},
        {"f: TForm\nend\n", "line 1: expected 'object'"},
        // The checker: names, kinds and ranges.
        {"object f: TForm\n  Colour = clRed\nend\n", "line 2: unknown property 'Colour' for class TForm"},
        {"object f: TForm\n  object x: TTreeView\n  end\nend\n", "line 2: unknown class 'TTreeView'"},
        {"object f: TForm\n  Left = 'x'\nend\n", "line 2: 'Left' of 'f' must be a number, not a string"},
        {"object f: TForm\n  Width = -5\nend\n", "line 2: 'Width' must be between 0 and 100000"},
        {"object f: TForm\n  Left = 1\n  Left = 2\nend\n", "line 3: 'Left' is given twice"},
        {"object f: TForm\n  Font.Style = [fsHuge]\nend\n", "line 2: unknown font style 'fsHuge'"},
        {"object f: TForm\n  Color = clPurple\nend\n", "line 2: unknown colour in 'Color'"},
        {"object f: TForm\n  Position = poNowhere\nend\n",
         "line 2: 'poNowhere' is not a valid value of 'Position'"},
        {"object f: TForm\n  object a: TLabel\n  end\n  object a: TButton\n  end\nend\n",
         "line 4: a second object named 'a'"},
        {"object f: TForm\n  object r: TRadioGroup\n    Items.Strings = ('x')\n    ItemIndex = 1\n  "
         "end\nend\n",
         "line 4: ItemIndex 1 is outside the 1 items"},
        {"object f: TForm\n  object l: TLabel\n    object b: TButton\n    end\n  end\nend\n",
         "line 3: a TLabel cannot hold other objects"},
        {"object f: TForm\n  object e: TEdit\n    WordWrap = True\n  end\nend\n",
         "line 3: unknown property 'WordWrap' for class TEdit"},
        {"object f: TForm\n  object l: TLabel\n    AutoSize = Maybe\n  end\nend\n",
         "line 3: 'AutoSize' of 'l' must be True or False"},
    };
    for (const auto& c : cases) {
        std::string error = ErrorOf(c.text);
        EXPECT_NE(error.find(c.expected), std::string::npos) << "text:\n" << c.text << "\nerror: " << error;
        EXPECT_EQ(error.rfind("Form description, line ", 0), 0u) << error;
    }
}

TEST(FormDescription, DeepNestingIsRefusedNotOverflowed) {
    std::string text;
    for (int i = 0; i < 5000; ++i) text += "object g" + std::to_string(i) + ": TGroupBox\n";
    EXPECT_NE(ErrorOf(text).find("nested too deeply"), std::string::npos);
}

TEST(FormDescription, ArbitraryBytesNeverCrash) {
    // Cheap robustness sweep: every prefix of the real file, and the file with bytes flipped.
    std::string good = ReadFile(KAVORIN_MAIN_FORM_FILE);
    for (size_t cut = 0; cut < good.size(); cut += 7) (void)ErrorOf(good.substr(0, cut));
    unsigned seed = 12345;
    for (int round = 0; round < 300; ++round) {
        std::string bad = good;
        for (int k = 0; k < 3; ++k) {
            seed = seed * 1103515245u + 12345u;
            bad[(seed >> 8) % bad.size()] = static_cast<char>(seed >> 24);
        }
        (void)ErrorOf(bad);
    }
    SUCCEED();
}

}  // namespace
