// The window in both languages: every text it shows at start, after a click on "ENG" and after
// a click back on "РУС", letter for letter against the expected texts; what a switch leaves
// alone; whether the texts fit.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <tuple>
#include <vector>

#include "ExpectedTexts.h"
#include "Mainwin.h"
#include "WindowTestSupport.h"
#include "net/IdStack.h"

namespace {

using windowtest::Pump;
using windowtest::WindowText;

// What a user does: a click on the radio item, so the group's OnClick runs.
void ClickItem(TRadioGroup* group, int index) {
    SendMessageW(group->ItemHandle(index), BM_CLICK, 0, 0);
    Pump();
}

// Every control that shows a text, and the expected text it shows: first the eleven that a
// switch sets, in the order it sets them, then those that are the same in both languages.
struct Shown {
    const char* control;
    HWND (*handle)(const TmainForm&);
    const char* text;
};
const Shown kShown[] = {
    {"langRG", [](const TmainForm& f) { return f.langRG->Handle(); }, "LanguageCaption"},
    {"ipGB", [](const TmainForm& f) { return f.ipGB->Handle(); }, "HostAddressCaption"},
    {"ipNoteLbl", [](const TmainForm& f) { return f.ipNoteLbl->Handle(); }, "HostAddressNote"},
    {"refreshIpBTN", [](const TmainForm& f) { return f.refreshIpBTN->Handle(); }, "RefreshCaption"},
    {"tvSeriesRG", [](const TmainForm& f) { return f.tvSeriesRG->Handle(); }, "SeriesCaption"},
    {"BitInstall", [](const TmainForm& f) { return f.BitInstall->Handle(); }, "InstallButtonCaption"},
    {"tvIpLbl", [](const TmainForm& f) { return f.tvIpLbl->Handle(); }, "TvAddressCaption"},
    {"installGB", [](const TmainForm& f) { return f.installGB->Handle(); }, "InstallGroupCaption"},
    {"statusLbl", [](const TmainForm& f) { return f.statusLbl->Handle(); }, "PromptText"},
    {"instManualGB", [](const TmainForm& f) { return f.instManualGB->Handle(); }, "ManualCaption"},
    {"manualLbl", [](const TmainForm& f) { return f.manualLbl->Handle(); }, "ManualText"},
    {"mainForm", [](const TmainForm& f) { return f.Handle(); }, "WindowCaption"},
    {"langRG item 0", [](const TmainForm& f) { return f.langRG->ItemHandle(0); }, "LanguageItem0"},
    {"langRG item 1", [](const TmainForm& f) { return f.langRG->ItemHandle(1); }, "LanguageItem1"},
    {"tvSeriesRG item 0", [](const TmainForm& f) { return f.tvSeriesRG->ItemHandle(0); }, "SeriesItem0"},
    {"tvSeriesRG item 1", [](const TmainForm& f) { return f.tvSeriesRG->ItemHandle(1); }, "SeriesItem1"},
};

void ExpectEveryText(const TmainForm& f, int lang) {
    for (const Shown& s : kShown)
        EXPECT_TRUE(expected::Shows(WindowText(s.handle(f)), s.text, lang)) << s.control;
}

// Everything else a switch must leave as it is (caption and items are among the texts above).
auto Snapshot(const TmainForm& f) {
    return std::tuple(WindowText(f.ipValLBL->Handle()), WindowText(f.tvIpEdt->Handle()),
                      f.tvSeriesRG->ItemIndex(),
                      static_cast<int>(SendMessageW(f.installPB->Handle(), PBM_GETPOS, 0, 0)));
}

// Height the label's text needs at the label's width, drawn the way the label draws it.
int TextHeightNeeded(TLabel* label) {
    HDC dc = GetDC(label->Handle());
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label->Handle(), WM_GETFONT, 0, 0)));
    RECT client{};
    GetClientRect(label->Handle(), &client);
    RECT r{0, 0, client.right, 0};
    std::wstring text = WindowText(label->Handle());
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, label->DrawFlags() | DT_CALCRECT);
    SelectObject(dc, old);
    ReleaseDC(label->Handle(), dc);
    return r.bottom - r.top;
}

int LineHeight(TLabel* label) {
    HDC dc = GetDC(label->Handle());
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label->Handle(), WM_GETFONT, 0, 0)));
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(label->Handle(), dc);
    return tm.tmHeight;
}

class LanguageWindow : public ::testing::Test {
protected:
    void SetUp() override {
        // A fixed listing keeps the host-address label the same on every machine.
        previous_ = TIdStack::SetLocalAddressLister([](TIdStackLocalAddressList& list) {
            list.Add(TIdIPVersion::Id_IPv4, L"192.0.2.10");
            list.Add(TIdIPVersion::Id_IPv4, L"198.51.100.7");
        });
        Application->MessageHook = [this](const UnicodeString& text, bool) { boxes_.push_back(text.str()); };
        Application->Initialize();
        Application->CreateForm(mainForm);
        mainForm->Show();
        Pump();
        ASSERT_TRUE(boxes_.empty()) << ToUtf8(boxes_.front());
    }
    void TearDown() override {
        Application->ResetForTests();
        mainForm = nullptr;
        Application->MessageHook = nullptr;
        TIdStack::SetLocalAddressLister(std::move(previous_));
    }

    TmainForm& form() { return *mainForm; }
    TIdStack::LocalAddressLister previous_;
    std::vector<std::wstring> boxes_;
};

TEST_F(LanguageWindow, ShowsEveryTextInTheChosenLanguage) {
    EXPECT_EQ(form().langRG->ItemIndex(), 0);
    {
        SCOPED_TRACE("at start");
        ExpectEveryText(form(), 0);
    }
    ClickItem(form().langRG, 1);
    EXPECT_EQ(form().langRG->ItemIndex(), 1);
    {
        SCOPED_TRACE("after a click on ENG");
        ExpectEveryText(form(), 1);
    }
    ClickItem(form().langRG, 0);
    EXPECT_EQ(form().langRG->ItemIndex(), 0);
    SCOPED_TRACE("after a click back on РУС");
    ExpectEveryText(form(), 0);
}

TEST_F(LanguageWindow, SwitchLeavesSeriesAddressesTypedTextAndBarAlone) {
    ClickItem(form().tvSeriesRG, 1);
    form().ipValLBL->SetCaption(L"10.1.2.3");
    SendMessageW(form().tvIpEdt->Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"192.168.1.20"));
    form().installPB->SetPosition(42);
    Pump();
    const auto before = Snapshot(form());
    ASSERT_EQ(before, std::tuple(std::wstring(L"10.1.2.3"), std::wstring(L"192.168.1.20"), 1, 42));
    ClickItem(form().langRG, 1);
    EXPECT_EQ(Snapshot(form()), before);
    ClickItem(form().langRG, 0);
    EXPECT_EQ(Snapshot(form()), before);
}

TEST_F(LanguageWindow, ApplyingTheShownLanguageResetsOnlyTheStatus) {
    ClickItem(form().langRG, 1);
    form().statusLbl->SetCaption(L"installing");
    form().ApplyLanguage(1);
    ExpectEveryText(form(), 1);

    // An index outside the two languages changes nothing.
    form().statusLbl->SetCaption(L"x");
    form().ApplyLanguage(-1);
    form().ApplyLanguage(2);
    EXPECT_EQ(WindowText(form().statusLbl->Handle()), L"x");
}

TEST_F(LanguageWindow, NoteResizesToItsTextAndStaysInItsFrame) {
    RECT frame{};
    GetClientRect(form().ipGB->Handle(), &frame);
    auto noteRect = [&] {
        RECT r{};
        GetWindowRect(form().ipNoteLbl->Handle(), &r);
        MapWindowPoints(nullptr, form().ipGB->Handle(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    const RECT ru = noteRect();
    ClickItem(form().langRG, 1);
    const RECT en = noteRect();
    EXPECT_NE(ru.right - ru.left, en.right - en.left);
    for (const RECT& r : {ru, en}) {
        EXPECT_GT(r.right - r.left, 300);
        EXPECT_LE(r.right, frame.right);
        EXPECT_LE(r.bottom, frame.bottom);
    }
}

TEST_F(LanguageWindow, TextsFitTheirLabelsInBothLanguages) {
    for (int lang : {0, 1}) {
        SCOPED_TRACE(lang);
        ClickItem(form().langRG, lang);
        for (TLabel* label : {form().manualLbl, form().statusLbl, form().tvIpLbl}) {
            RECT client{};
            GetClientRect(label->Handle(), &client);
            EXPECT_LE(TextHeightNeeded(label), client.bottom) << ToUtf8(label->Name().str());
        }
    }
    // "IP Адрес телевизора" takes two lines beside the address field.
    ClickItem(form().langRG, 0);
    EXPECT_EQ(TextHeightNeeded(form().tvIpLbl), 2 * LineHeight(form().tvIpLbl));
    EXPECT_EQ(form().tvIpLbl->Alignment(), TAlignment::taRightJustify);
}

}  // namespace

// Test programs are built with -municode: the entry point is wmain.
int wmain(int argc, wchar_t** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
