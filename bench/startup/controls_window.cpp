// The installer's window written straight on Win32: the same eighteen controls, fonts, texts,
// icon, picture and manifest, made with the fewest calls and no framework. Timed beside the
// installer, it shows how much of the start-up is the controls themselves (each child window
// costs its creation and its own paint) and how much is ours.
#include <windows.h>
#include <commctrl.h>

#include "texts/Func.h"

TextTable* textTable = new TextTable();

namespace {

HFONT Font(int height, bool bold) {
    return CreateFontW(-height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                       L"Tahoma");
}

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    if (msg == WM_CTLCOLORSTATIC || msg == WM_CTLCOLORBTN) {
        // As the installer's window: controls on the window's own face colour.
        SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    WNDCLASSW wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, L"MAINICON");
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /* IDC_ARROW */);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"ControlsWindow";
    RegisterClassW(&wc);
    // No WS_CLIPCHILDREN: as in a dialog, the window paints under the hollow frames.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame{0, 0, 844, 599};
    AdjustWindowRect(&frame, style, FALSE);
    HWND w = CreateWindowExW(WS_EX_CONTROLPARENT, L"ControlsWindow", L"KAVORIN Tizen Installer", style,
                             CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                             nullptr, nullptr, instance, nullptr);
    const TextTable& t = *textTable;
    const HFONT normal = Font(16, false), bold = Font(16, true), big = Font(27, true);
    const DWORD group = BS_GROUPBOX, first = BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP,
                radio = BS_AUTORADIOBUTTON;
    struct Made {
        const wchar_t* cls;
        const wchar_t* text;
        DWORD style;
        RECT r;  // {left, top, width, height} in the window's client area
        HFONT font;
    };
    const Made controls[] = {
        {L"BUTTON", t.LanguageCaption[0].c_str(), group, {757, 0, 84, 73}, normal},
        {L"BUTTON", L"РУС", first, {765, 20, 70, 22}, normal},
        {L"BUTTON", L"ENG", radio, {765, 44, 70, 22}, normal},
        {L"BUTTON", t.HostAddressCaption[0].c_str(), group, {3, 0, 752, 73}, normal},
        {L"STATIC", L"192.168.0.2", SS_CENTER, {11, 19, 608, 40}, big},
        {L"STATIC", t.HostAddressNote[0].c_str(), SS_LEFT, {11, 55, 549, 13}, Font(11, false)},
        {L"BUTTON", t.RefreshCaption[0].c_str(), WS_TABSTOP, {625, 14, 123, 52}, normal},
        {L"BUTTON", t.InstallGroupCaption[0].c_str(), group, {3, 451, 838, 145}, normal},
        {L"STATIC", t.TvAddressCaption[0].c_str(), SS_RIGHT, {6, 523, 113, 39}, bold},
        {L"STATIC", t.PromptText[0].c_str(), SS_CENTER, {6, 471, 526, 46}, Font(19, true)},
        {L"EDIT", L"", ES_CENTER | WS_BORDER | WS_TABSTOP, {125, 524, 512, 41}, big},
        {L"BUTTON", t.InstallButtonCaption[0].c_str(), WS_TABSTOP, {643, 523, 192, 39}, normal},
        {PROGRESS_CLASSW, L"", 0, {10, 570, 825, 18}, normal},
        {L"BUTTON", t.SeriesCaption[0].c_str(), group, {555, 460, 280, 57}, normal},
        {L"BUTTON", L"J,K", first, {565, 482, 120, 22}, normal},
        {L"BUTTON", L"M,N,Q,R,T,A,B", radio, {690, 482, 140, 22}, normal},
        {L"BUTTON", t.ManualCaption[0].c_str(), group, {3, 73, 838, 379}, normal},
        {L"STATIC", t.ManualText[0].c_str(), SS_LEFT, {14, 94, 824, 351}, Font(15, false)},
    };
    for (const Made& c : controls) {
        HWND h = CreateWindowExW(0, c.cls, c.text, WS_CHILD | WS_VISIBLE | c.style, c.r.left, c.r.top,
                                 c.r.right, c.r.bottom, w, nullptr, instance, nullptr);
        SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(c.font), FALSE);
        if (c.style == first) SendMessageW(h, BM_SETCHECK, BST_CHECKED, 0);
        if (c.text == t.InstallButtonCaption[0].c_str())
            SendMessageW(
                h, BM_SETIMAGE, IMAGE_BITMAP,
                reinterpret_cast<LPARAM>(LoadImageW(instance, L"INSTALLGLYPH", IMAGE_BITMAP, 0, 0, 0)));
    }
    ShowWindow(w, SW_SHOW);
    UpdateWindow(w);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(w, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
