// The window in both languages: what the eleven controls show at start, after a click on
// "ENG" and after a click back on "РУС"; what a switch leaves alone; whether the texts fit.
// Set KAVORIN_SCREENSHOT_DIR to also save window-ru.bmp and window-en.bmp there.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Mainwin.h"
#include "WindowTestSupport.h"
#include "net/IdStack.h"
#include "texts/Func.h"

namespace {

using windowtest::Pump;
using windowtest::WindowText;

// What a user does: a click on the radio item, so the group's OnClick runs.
void ClickItem(TRadioGroup* group, int index) {
    SendMessageW(group->ItemHandle(index), BM_CLICK, 0, 0);
    Pump();
}

// The eleven language-dependent controls, in the order the switch sets them.
std::vector<HWND> ElevenHandles(const TmainForm& f) {
    return {f.langRG->Handle(),     f.ipGB->Handle(),       f.ipNoteLbl->Handle(),
            f.refreshIpBTN->Handle(), f.tvSeriesRG->Handle(), f.BitInstall->Handle(),
            f.tvIpLbl->Handle(),    f.installGB->Handle(),  f.statusLbl->Handle(),
            f.instManualGB->Handle(), f.manualLbl->Handle()};
}

std::vector<std::wstring> ShownTexts(const TmainForm& f) {
    std::vector<std::wstring> texts;
    for (HWND h : ElevenHandles(f)) texts.push_back(WindowText(h));
    return texts;
}

std::vector<std::wstring> TableTexts(int lang) {
    const TextTable& t = *textTable;
    return {t.LanguageCaption[lang].str(),     t.HostAddressCaption[lang].str(),
            t.HostAddressNote[lang].str(),     t.RefreshCaption[lang].str(),
            t.SeriesCaption[lang].str(),       t.InstallButtonCaption[lang].str(),
            t.TvAddressCaption[lang].str(),    t.InstallGroupCaption[lang].str(),
            t.PromptText[lang].str(),          t.ManualCaption[lang].str(),
            t.ManualText[lang].str()};
}

// Everything a switch must leave as it is.
struct Untouched {
    std::wstring caption, hostAddresses, typedAddress;
    std::vector<std::wstring> items;
    int series, bar;
    bool operator==(const Untouched&) const = default;
};

Untouched Snapshot(const TmainForm& f) {
    Untouched u;
    u.caption = WindowText(f.Handle());
    u.hostAddresses = WindowText(f.ipValLBL->Handle());
    u.typedAddress = WindowText(f.tvIpEdt->Handle());
    for (int i = 0; i < 2; ++i) {
        u.items.push_back(WindowText(f.langRG->ItemHandle(i)));
        u.items.push_back(WindowText(f.tvSeriesRG->ItemHandle(i)));
    }
    u.series = f.tvSeriesRG->ItemIndex();
    u.bar = static_cast<int>(SendMessageW(f.installPB->Handle(), PBM_GETPOS, 0, 0));
    return u;
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

// Saves what the screen shows of the window as a 24-bit BMP.
void SaveWindowBitmap(HWND hwnd, const std::wstring& path) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(mem, old);
    BITMAPINFOHEADER info{sizeof info, w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const DWORD stride = ((static_cast<DWORD>(w) * 3 + 3) & ~3u);
    std::vector<unsigned char> pixels(stride * static_cast<DWORD>(h));
    GetDIBits(mem, bmp, 0, static_cast<UINT>(h), pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    if (FILE* out = _wfopen(path.c_str(), L"wb")) {
        fwrite(&file, sizeof file, 1, out);
        fwrite(&info, sizeof info, 1, out);
        fwrite(pixels.data(), 1, pixels.size(), out);
        fclose(out);
    }
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

TEST_F(LanguageWindow, StartsInRussianWithTheTableTexts) {
    EXPECT_EQ(form().langRG->ItemIndex(), 0);
    EXPECT_EQ(ShownTexts(form()), TableTexts(0));
    // The table's texts, not the design texts, are on the screen.
    EXPECT_EQ(WindowText(form().ipGB->Handle()), FromUtf8("IP Адрес ПК"));
    EXPECT_EQ(WindowText(form().BitInstall->Handle()), FromUtf8("Установить Виджет"));
    EXPECT_EQ(form().ipGB->Caption(), textTable->HostAddressCaption[0]);
}

TEST_F(LanguageWindow, ClickOnEnglishAndBackGivesTheFirstStartTexts) {
    const auto atStart = ShownTexts(form());

    ClickItem(form().langRG, 1);
    EXPECT_EQ(form().langRG->ItemIndex(), 1);
    EXPECT_EQ(ShownTexts(form()), TableTexts(1));

    ClickItem(form().langRG, 0);
    EXPECT_EQ(form().langRG->ItemIndex(), 0);
    EXPECT_EQ(ShownTexts(form()), atStart);
}

TEST_F(LanguageWindow, SwitchLeavesCaptionItemsSeriesAddressesTypedTextAndBarAlone) {
    ClickItem(form().tvSeriesRG, 1);
    form().ipValLBL->SetCaption(L"10.1.2.3");
    SendMessageW(form().tvIpEdt->Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"192.168.1.20"));
    form().installPB->SetPosition(42);
    Pump();
    const Untouched before = Snapshot(form());
    ASSERT_EQ(before.series, 1);
    ASSERT_EQ(before.bar, 42);
    EXPECT_EQ(before.caption, L"KAVORIN Tizen Installer");

    ClickItem(form().langRG, 1);
    EXPECT_EQ(Snapshot(form()), before);
    ClickItem(form().langRG, 0);
    EXPECT_EQ(Snapshot(form()), before);
    EXPECT_EQ(form().installPB->Position(), 42);
}

TEST_F(LanguageWindow, SwitchAlwaysShowsThePromptAgain) {
    form().statusLbl->SetCaption(textTable->DoneText[0]);
    ClickItem(form().langRG, 1);
    EXPECT_EQ(WindowText(form().statusLbl->Handle()), textTable->PromptText[1].str());

    // Applying the language already shown changes only the status line.
    form().statusLbl->SetCaption(textTable->InstallingText[1]);
    form().ApplyLanguage(1);
    EXPECT_EQ(ShownTexts(form()), TableTexts(1));

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

TEST_F(LanguageWindow, Screenshots) {
    const char* dir = std::getenv("KAVORIN_SCREENSHOT_DIR");
    if (!dir) GTEST_SKIP() << "KAVORIN_SCREENSHOT_DIR not set";
    // A Unix path is reached through Wine's Z: drive.
    std::wstring base = FromUtf8(dir);
    if (!base.empty() && base[0] == L'/') base = L"Z:" + base;
    for (wchar_t& c : base) c = c == L'/' ? L'\\' : c;
    base += L"\\";
    SetForegroundWindow(form().Handle());
    for (int lang : {0, 1}) {
        ClickItem(form().langRG, lang);
        RedrawWindow(form().Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Pump();
        Sleep(300);
        Pump();
        SaveWindowBitmap(form().Handle(), base + (lang == 0 ? L"window-ru.bmp" : L"window-en.bmp"));
    }
}

}  // namespace

// Test programs are built with -municode: the entry point is wmain.
int wmain(int argc, wchar_t** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
