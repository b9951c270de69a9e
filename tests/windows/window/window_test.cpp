// The main window built from its description, checked against one table of what the user
// should see, then driven with real messages.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Classes.h"
#include "Mainwin.h"
#include "WindowTestSupport.h"

namespace {

struct Expected {
    const wchar_t* name;
    const wchar_t* parent;  // nullptr: the window itself
    int left, top, width, height;
    const wchar_t* face;
    int fontHeight;  // character height in pixels at 96 DPI
    bool bold;
    COLORREF color;
};

constexpr COLORREF kRed = RGB(255, 0, 0);
const COLORREF kText = GetSysColor(COLOR_WINDOWTEXT);

// Width and height of ipNoteLbl follow its text (auto-size): -1 skips them.
const std::vector<Expected>& Layout() {
    static const std::vector<Expected> table = {
        {L"langRG", nullptr, 757, 0, 84, 73, L"Tahoma", 16, false, kText},
        {L"ipGB", nullptr, 3, 0, 752, 73, L"Tahoma", 16, false, kText},
        {L"ipValLBL", L"ipGB", 8, 19, 608, 40, L"Tahoma", 27, true, kRed},
        {L"ipNoteLbl", L"ipGB", 8, 55, -1, -1, L"Tahoma", 11, false, kText},
        {L"refreshIpBTN", L"ipGB", 622, 14, 123, 52, L"Tahoma", 16, false, kText},
        {L"installGB", nullptr, 3, 451, 838, 145, L"Tahoma", 16, false, kText},
        {L"tvIpLbl", L"installGB", 3, 72, 113, 39, L"Tahoma", 16, true, kText},
        {L"statusLbl", L"installGB", 3, 20, 526, 46, L"Tahoma", 19, true, kRed},
        {L"tvIpEdt", L"installGB", 122, 73, 512, 41, L"Tahoma", 27, true, kRed},
        {L"BitInstall", L"installGB", 640, 72, 192, 39, L"Tahoma", 16, false, kText},
        {L"installPB", L"installGB", 7, 119, 825, 18, L"Tahoma", 16, false, kText},
        {L"tvSeriesRG", L"installGB", 552, 9, 280, 57, L"Tahoma", 16, false, kText},
        {L"instManualGB", nullptr, 3, 73, 838, 379, L"Tahoma", 16, false, kText},
        {L"manualLbl", L"instManualGB", 11, 21, 824, 351, L"Tahoma", 15, false, kText},
    };
    return table;
}

using windowtest::Pump;
const auto TextOf = windowtest::WindowText;

// Position of a window in its parent's client coordinates.
RECT RectInParent(HWND hwnd) {
    RECT r;
    GetWindowRect(hwnd, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        Application->ResetForTests();
        Application->Initialize();
        Application->MessageHook = [this](const UnicodeString& text, bool) { boxes.push_back(text.str()); };
        Application->CreateForm(mainForm);
        mainForm->Show();
        Pump();
    }
    void TearDown() override {
        Application->MessageHook = nullptr;
        Application->ResetForTests();
    }
    TControl* Control(const wchar_t* name) { return mainForm->FindControl(name); }
    HWND Focused() {
        Pump();
        return GetFocus();
    }
    void PressKey(UINT vk, bool shift = false) {
        HWND target = GetFocus();
        if (shift) {
            BYTE keys[256];
            GetKeyboardState(keys);
            keys[VK_SHIFT] = 0x80;
            SetKeyboardState(keys);
        }
        PostMessageW(target, WM_KEYDOWN, vk, 1);
        PostMessageW(target, WM_KEYUP, vk, 0xC0000001);
        Pump();
        if (shift) {
            BYTE keys[256];
            GetKeyboardState(keys);
            keys[VK_SHIFT] = 0;
            SetKeyboardState(keys);
        }
    }
    std::vector<std::wstring> boxes;
};

TEST_F(MainWindow, EveryControlHasItsPlaceFontAndColour) {
    for (const Expected& e : Layout()) {
        SCOPED_TRACE(ToUtf8(e.name));
        TControl* c = Control(e.name);
        ASSERT_NE(c, nullptr);
        HWND expectedParent = e.parent ? Control(e.parent)->Handle() : mainForm->Handle();
        EXPECT_EQ(GetParent(c->Handle()), expectedParent);
        RECT r = RectInParent(c->Handle());
        EXPECT_EQ(r.left, e.left);
        EXPECT_EQ(r.top, e.top);
        if (e.width >= 0) {
            EXPECT_EQ(r.right - r.left, e.width);
            EXPECT_EQ(r.bottom - r.top, e.height);
        }
        auto font = reinterpret_cast<HFONT>(SendMessageW(c->Handle(), WM_GETFONT, 0, 0));
        ASSERT_NE(font, nullptr);
        LOGFONTW lf{};
        ASSERT_NE(GetObjectW(font, sizeof lf, &lf), 0);
        EXPECT_STREQ(lf.lfFaceName, e.face);
        EXPECT_EQ(lf.lfHeight, -e.fontHeight);
        EXPECT_EQ(lf.lfWeight, e.bold ? FW_BOLD : FW_NORMAL);
        EXPECT_EQ(lf.lfCharSet, DEFAULT_CHARSET);
        EXPECT_EQ(c->Font().color, e.color);
    }
    // The host-address label paints on the window's own colour; labels take no focus.
    EXPECT_EQ(Control(L"ipValLBL")->Color(), GetSysColor(COLOR_BTNFACE));
    auto* ipVal = static_cast<TLabel*>(Control(L"ipValLBL"));
    EXPECT_EQ(ipVal->Alignment(), TAlignment::taCenter);
    EXPECT_FALSE(ipVal->WordWrap());
    EXPECT_FALSE(ipVal->AutoSize());
    auto* tvIp = static_cast<TLabel*>(Control(L"tvIpLbl"));
    EXPECT_EQ(tvIp->Alignment(), TAlignment::taRightJustify);
    EXPECT_TRUE(tvIp->WordWrap());
    auto* status = static_cast<TLabel*>(Control(L"statusLbl"));
    EXPECT_EQ(status->Alignment(), TAlignment::taCenter);
    EXPECT_EQ(status->Layout(), TTextLayout::tlCenter);
    EXPECT_TRUE(static_cast<TLabel*>(Control(L"manualLbl"))->WordWrap());
    EXPECT_TRUE(static_cast<TLabel*>(Control(L"ipNoteLbl"))->AutoSize());
    EXPECT_NE(GetWindowLongW(mainForm->tvIpEdt->Handle(), GWL_STYLE) & ES_CENTER, 0);
}

TEST_F(MainWindow, WindowFrameSizeAndPlace) {
    HWND hwnd = mainForm->Handle();
    RECT client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, 844);
    EXPECT_EQ(client.bottom, 599);
    LONG style = GetWindowLongW(hwnd, GWL_STYLE);
    EXPECT_EQ(style & WS_THICKFRAME, 0) << "the border is fixed";
    EXPECT_NE(style & WS_CAPTION, 0);
    // Centred on the desktop's work area.
    RECT outer, work;
    GetWindowRect(hwnd, &outer);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_LE(std::abs((outer.left + outer.right) - (work.left + work.right)), 2);
    EXPECT_LE(std::abs((outer.top + outer.bottom) - (work.top + work.bottom)), 2);
    // Size limits: at most 850 x 625 outside, never less than the client area needs.
    MINMAXINFO info{};
    SendMessageW(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_GE(info.ptMaxTrackSize.x, outer.right - outer.left);
    EXPECT_LE(info.ptMaxTrackSize.x, std::max<LONG>(850, outer.right - outer.left));
    EXPECT_LE(info.ptMaxTrackSize.y, std::max<LONG>(625, outer.bottom - outer.top));
    // The window has its icon (its format is checked in the built exe).
    EXPECT_NE(SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0), 0);
}

TEST_F(MainWindow, RadioGroupsShowTheirItemsAndSelection) {
    TRadioGroup* lang = mainForm->langRG;
    ASSERT_EQ(lang->Items().size(), 2u);
    EXPECT_EQ(lang->ItemIndex(), 0);
    EXPECT_EQ(SendMessageW(lang->ItemHandle(0), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(RectInParent(lang->ItemHandle(0)).left, RectInParent(lang->ItemHandle(1)).left) << "one column";
    TRadioGroup* series = mainForm->tvSeriesRG;
    EXPECT_EQ(series->ItemIndex(), 0);
    EXPECT_EQ(RectInParent(series->ItemHandle(0)).top, RectInParent(series->ItemHandle(1)).top)
        << "two columns";
    EXPECT_LT(RectInParent(series->ItemHandle(0)).right, RectInParent(series->ItemHandle(1)).left + 2);
    // A click selects the other item.
    SendMessageW(series->ItemHandle(1), BM_CLICK, 0, 0);
    Pump();
    EXPECT_EQ(series->ItemIndex(), 1);
    EXPECT_EQ(SendMessageW(series->ItemHandle(0), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(mainForm->installPB->Position(), 0);
    EXPECT_EQ(mainForm->installPB->Max(), 100);
    EXPECT_TRUE(TextOf(mainForm->tvIpEdt->Handle()).empty());
}

TEST_F(MainWindow, TabWalksTheControlsInOrderAndBack) {
    HWND expected[] = {mainForm->langRG->ItemHandle(0),     mainForm->refreshIpBTN->Handle(),
                       mainForm->tvIpEdt->Handle(),         mainForm->BitInstall->Handle(),
                       mainForm->tvSeriesRG->ItemHandle(0), mainForm->langRG->ItemHandle(0)};
    EXPECT_EQ(Focused(), expected[0]) << "the first control in tab order has the focus at start";
    for (size_t i = 1; i < std::size(expected); ++i) {
        PressKey(VK_TAB);
        EXPECT_EQ(Focused(), expected[i]) << "after " << i << " presses of Tab";
    }
    PressKey(VK_TAB, true);  // Shift+Tab goes back
    EXPECT_EQ(Focused(), mainForm->tvSeriesRG->ItemHandle(0));
    // The progress bar, the frames and the labels never take the focus.
    for (const wchar_t* name :
         {L"installPB", L"ipGB", L"installGB", L"instManualGB", L"ipValLBL", L"manualLbl"})
        EXPECT_EQ(GetWindowLongW(Control(name)->Handle(), GWL_STYLE) & WS_TABSTOP, 0) << ToUtf8(name);
}

TEST_F(MainWindow, AddressFieldTakesOnlyDigitsPointsAndBackspace) {
    HWND edit = mainForm->tvIpEdt->Handle();
    SetFocus(edit);
    auto type = [&](const std::wstring& keys) {
        for (wchar_t k : keys) PostMessageW(edit, WM_CHAR, static_cast<WPARAM>(k), 1);
        Pump();
    };
    type(L"192.168.1.20");
    EXPECT_EQ(TextOf(edit), L"192.168.1.20");
    type(L"a -,:Я\x16\x03\r\t");
    EXPECT_EQ(TextOf(edit), L"192.168.1.20") << "letters, blanks, signs and control characters are dropped";
    type(L"\b\b");
    EXPECT_EQ(TextOf(edit), L"192.168.1.");
    type(L"1..2...3");
    EXPECT_EQ(TextOf(edit), L"192.168.1.1..2...3") << "the filter does not judge the address";
    // Text that is not typed is not filtered (pasting through the context menu).
    SetWindowTextW(edit, L"");
    SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"x y"));
    EXPECT_EQ(TextOf(edit), L"x y");
}

// Started on a screen of any DPI, the window and every control scale with it (run at 96, and
// by CTest again with Wine set to 144 and 192 DPI).
TEST_F(MainWindow, FollowsTheSystemDpi) {
    const int d = mainForm->PixelsPerInch();
    if (const char* expected = std::getenv("KAVORIN_EXPECT_DPI")) {
        EXPECT_EQ(d, std::atoi(expected));
    }
    RECT client;
    GetClientRect(mainForm->Handle(), &client);
    EXPECT_EQ(client.right, MulDiv(844, d, 96));
    EXPECT_EQ(client.bottom, MulDiv(599, d, 96));
    for (const Expected& e : Layout()) {
        SCOPED_TRACE(ToUtf8(e.name));
        RECT r = RectInParent(Control(e.name)->Handle());
        EXPECT_NEAR(r.left, MulDiv(e.left, d, 96), 1);
        EXPECT_NEAR(r.top, MulDiv(e.top, d, 96), 1);
        if (e.width >= 0) {
            EXPECT_NEAR(r.right - r.left, MulDiv(e.width, d, 96), 1);
            EXPECT_NEAR(r.bottom - r.top, MulDiv(e.height, d, 96), 1);
        }
    }
    RECT outer, work;
    GetWindowRect(mainForm->Handle(), &outer);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_LE(std::abs((outer.left + outer.right) - (work.left + work.right)), 2) << "centred";
    std::printf("window at %d DPI: client %ld x %ld\n", d, client.right, client.bottom);
}

// Per-monitor DPI: every rectangle and font scales with the DPI, and no text is cut.
TEST_F(MainWindow, ScalesWithTheMonitorDpi) {
    for (int dpiValue : {144, 192, 96}) {
        SCOPED_TRACE(dpiValue);
        RECT suggested{0, 0, MulDiv(850, dpiValue, 96), MulDiv(630, dpiValue, 96)};
        SendMessageW(mainForm->Handle(), 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(dpiValue, dpiValue),
                     reinterpret_cast<LPARAM>(&suggested));
        Pump();
        EXPECT_EQ(mainForm->PixelsPerInch(), dpiValue);
        for (const Expected& e : Layout()) {
            SCOPED_TRACE(ToUtf8(e.name));
            HWND h = Control(e.name)->Handle();
            RECT r = RectInParent(h);
            EXPECT_NEAR(r.left, MulDiv(e.left, dpiValue, 96), 1);
            EXPECT_NEAR(r.top, MulDiv(e.top, dpiValue, 96), 1);
            if (e.width >= 0) {
                EXPECT_NEAR(r.right - r.left, MulDiv(e.width, dpiValue, 96), 1);
                EXPECT_NEAR(r.bottom - r.top, MulDiv(e.height, dpiValue, 96), 1);
            }
            LOGFONTW lf{};
            GetObjectW(reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)), sizeof lf, &lf);
            EXPECT_EQ(lf.lfHeight, -(e.fontHeight * dpiValue / 96));
        }
        // Labels: the laid-out text fits the label; buttons: the caption fits the button.
        for (const wchar_t* name : {L"manualLbl", L"statusLbl", L"tvIpLbl", L"ipNoteLbl"}) {
            auto* label = static_cast<TLabel*>(Control(name));
            HWND h = label->Handle();
            RECT client;
            GetClientRect(h, &client);
            HDC dc = GetDC(h);
            SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)));
            RECT need = client;
            std::wstring text = TextOf(h);
            DrawTextW(dc, text.c_str(), -1, &need, label->DrawFlags() | DT_CALCRECT);
            ReleaseDC(h, dc);
            EXPECT_LE(need.bottom - need.top, client.bottom) << ToUtf8(name) << " is cut at the bottom";
            EXPECT_LE(need.right - need.left, client.right + 1) << ToUtf8(name) << " is cut at the side";
        }
        for (TControl* button :
             {static_cast<TControl*>(mainForm->refreshIpBTN), static_cast<TControl*>(mainForm->BitInstall)}) {
            HWND h = button->Handle();
            HDC dc = GetDC(h);
            SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)));
            SIZE size{};
            std::wstring text = TextOf(h);
            GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
            ReleaseDC(h, dc);
            RECT client;
            GetClientRect(h, &client);
            int glyph = button == mainForm->BitInstall ? MulDiv(28, dpiValue, 96) : 0;
            EXPECT_LE(size.cx + glyph, client.right) << ToUtf8(button->Name().str()) << " caption is cut";
        }
    }
}

// A broken description is input like any other: an error naming the line, never a crash.
TEST_F(MainWindow, BrokenDescriptionsAreRefusedWithTheLine) {
    struct Case {
        std::string text;
        std::string expected;
    } cases[] = {
        {"object mainForm: TmainForm\n  OnCreate = NoSuchHandler\nend\n",
         "line 2: the form has no handler 'NoSuchHandler'"},
        {"object mainForm: TmainForm\n  object langRG: TLabel\n  end\nend\n",
         "line 2: 'langRG' must be a TRadioGroup, not a TLabel"},
        {"object mainForm: TmainForm\nend\n", "line 1: the description has no control"},
        {"object mainForm: TmainForm\n  Caption = 'x\nend\n", "line 2: unterminated string"},
    };
    for (const auto& c : cases) {
        try {
            TmainForm form(Application, c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const EFormError& e) {
            EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << e.what();
        }
    }
}

// The checker and the controls read one class table: every property it lists for a class is
// taken by that class's control (the form itself is built from the real description above).
TEST_F(MainWindow, EveryPropertyOfTheClassTableIsTakenByItsControl) {
    const TResourceStream resource(GetModuleHandleW(nullptr), L"TMAINFORM", RT_RCDATA);
    std::string text(static_cast<const char*>(resource.Memory()), resource.Size());
    std::string extra;
    for (const ClassEntry* cls : ClassEntries()) {
        if (std::wstring_view(cls->name) == L"TForm") continue;
        extra += "  object every" + ToUtf8(cls->name) + ": " + ToUtf8(cls->name) + "\n";
        for (const ClassEntry* c = cls; c; c = c->base) {
            for (const PropertyEntry& p : c->own) {
                std::string value;
                switch (p.want) {
                case Want::Int:
                case Want::NonNegInt: value = "1"; break;
                case Want::Bool: value = "True"; break;
                case Want::Color: value = "clRed"; break;
                case Want::String: value = p.id == Prop::Glyph ? "'INSTALLGLYPH'" : "'Tahoma'"; break;
                case Want::Handler:
                    value = p.id == Prop::OnKeyPress ? "tvIpEdtKeyPress" : "langRGClick";
                    break;
                case Want::StringList: value = "(\n      'a'\n      'b')"; break;
                case Want::FontStyle: value = "[fsBold]"; break;
                case Want::Choice: value = ToUtf8(std::wstring(p.choices.back())); break;
                }
                extra += "    " + ToUtf8(p.name) + " = " + value + "\n";
            }
        }
        extra += "  end\n";
    }
    text.insert(text.rfind("end"), extra);
    try {
        TmainForm form(Application, text);
        for (const ClassEntry* cls : ClassEntries()) {
            if (std::wstring_view(cls->name) == L"TForm") continue;
            EXPECT_NE(form.FindControl(L"every" + std::wstring(cls->name)), nullptr) << ToUtf8(cls->name);
        }
    } catch (const Exception& e) {
        ADD_FAILURE() << e.what();
    }
}

// An error box says what was attempted and the system's reason; where it was raised is kept for
// developers (the debugger output), never shown. An exception of no known kind still gets a message.
TEST_F(MainWindow, ErrorBoxesSayWhatFailedAndWhyButNotWhere) {
    std::wstring place;
    try {
        const TResourceStream missing(GetModuleHandleW(nullptr), L"NOSUCHRESOURCE", RT_RCDATA);
        ADD_FAILURE() << "a missing resource was found";
    } catch (const Exception& e) {
        place = e.Where();
        Application->HandleException();
    }
    try {
        throw 42;
    } catch (...) {
        Application->HandleException();
    }
    ASSERT_EQ(boxes.size(), 2u);
    const std::wstring& funnel = boxes[0];
    const size_t reason = funnel.find(L"Resource NOSUCHRESOURCE not found. ");
    ASSERT_NE(reason, std::wstring::npos) << ToUtf8(funnel);
    EXPECT_GT(funnel.size(), reason + 40) << "the system's text follows: " << ToUtf8(funnel);
    EXPECT_EQ(funnel.find(L".cpp"), std::wstring::npos) << ToUtf8(funnel);
    EXPECT_EQ(funnel.find(L"TResourceStream"), std::wstring::npos) << ToUtf8(funnel);
    EXPECT_EQ(place.find(L"Classes.cpp:"), 0u) << ToUtf8(place);
    EXPECT_GT(boxes[1].size(), 20u) << ToUtf8(boxes[1]);
}

}  // namespace

// The entry point is the shared one of install_test_support.cpp.
