#include "WindowProc.h"

#include <commctrl.h>

#include <string_view>

#include "Application.h"
#include "Control.h"
#include "SysUtils.h"
#include "UniqueHandle.h"

namespace {

constexpr UINT kDpiChanged = 0x02E0;  // WM_DPICHANGED (Windows 8.1)

// Our classes and the common controls, once per process, before the first window.
void RegisterClassesOnce() {
    static bool done = false;
    if (done) return;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    HINSTANCE inst = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /* IDC_ARROW */);
    wc.lpfnWndProc = &WindowProc::Own;

    // No class icon: a form takes the one its description names (WM_SETICON), and each icon
    // given to a top-level window is converted for the window manager once more.
    wc.lpszClassName = kFormClass;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    RegisterClassExW(&wc);

    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpszClassName = kGroupClass;
    RegisterClassExW(&wc);
    wc.lpszClassName = kLabelClass;
    RegisterClassExW(&wc);
    done = true;
}

bool IsOwnClass(std::wstring_view name) {
    return name == kFormClass || name == kGroupClass || name == kLabelClass;
}

}  // namespace

HWND CreateControlWindow(const WindowArgs& a) {
    RegisterClassesOnce();
    const bool own = IsOwnClass(a.className);
    const RECT& r = a.bounds;
    HWND hwnd = CreateWindowExW(a.exStyle, a.className, a.text.c_str(), a.style, r.left, r.top,
                                r.right - r.left, r.bottom - r.top, a.parent, nullptr,
                                GetModuleHandleW(nullptr), own ? a.control : nullptr);
    if (!hwnd) Sysutils::RaiseLastError(L"Cannot create " + UnicodeString(a.what));
    if (!own && a.control) {
        a.control->AttachWindow(hwnd);
        SetWindowSubclass(hwnd, &WindowProc::Stock, 1, reinterpret_cast<DWORD_PTR>(a.control));
    }
    return hwnd;
}

// The wrapper lives in the window's user data, ours to use on stock controls as on our own
// classes; reading it needs no call to the window server, unlike a window property.
TControl* WrapperOf(HWND hwnd) {
    return hwnd ? reinterpret_cast<TControl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)) : nullptr;
}

void TControl::AttachWindow(HWND hwnd) {
    hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void TControl::DetachWindow() {
    if (hwnd_) SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    hwnd_ = nullptr;
}

// Messages every window of ours may get: notifications and colour requests of its children.
bool WindowProc::Crack(TControl& c, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    switch (msg) {
    case WM_COMMAND: {
        const auto from = reinterpret_cast<HWND>(lp);
        const WORD code = HIWORD(wp);
        if (!from) return false;
        TControl* child = WrapperOf(from);
        const bool handled = child ? child->OnCommand(code) : c.OnItemCommand(from, code);
        result = 0;
        return handled;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        const auto from = reinterpret_cast<HWND>(lp);
        const auto dc = reinterpret_cast<HDC>(wp);
        TControl* child = WrapperOf(from);
        HBRUSH brush = child ? child->OnColor(dc) : c.OnItemColor(from, dc);
        result = reinterpret_cast<LRESULT>(brush);
        return brush != nullptr;
    }
    default: return false;
    }
}

// Messages of our own classes, which draw, hold text and answer for their font themselves.
bool WindowProc::CrackOwn(TControl& c, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    result = 0;
    switch (msg) {
    case WM_ERASEBKGND: result = 1; return c.PaintsItself() || c.EraseBackground(reinterpret_cast<HDC>(wp));
    case WM_PAINT: {
        if (!c.PaintsItself()) return false;
        const PaintDc paint(c.hwnd_);
        c.Paint(paint.dc());
        return true;
    }
    case WM_SETTEXT:
        result = DefWindowProcW(c.hwnd_, msg, wp, lp);
        c.TextChanged();
        return true;
    case WM_GETFONT: result = reinterpret_cast<LRESULT>(c.FontHandle()); return true;
    case WM_SETFONT:
        if (c.PaintsItself()) InvalidateRect(c.hwnd_, nullptr, TRUE);
        return true;
    case WM_NCHITTEST: result = HTTRANSPARENT; return c.TransparentToMouse();
    case WM_CLOSE: return c.OnClose();
    case WM_GETMINMAXINFO: return c.OnMinMaxInfo(*reinterpret_cast<MINMAXINFO*>(lp));
    case kDpiChanged: return c.OnDpiChanged(HIWORD(wp), *reinterpret_cast<const RECT*>(lp));
    default: return Crack(c, msg, wp, lp, result);
    }
}

LRESULT CALLBACK WindowProc::Own(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<TControl*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        self->AttachWindow(hwnd);
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
    TControl* self = WrapperOf(hwnd);
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        self->DetachWindow();
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
    try {
        LRESULT result = 0;
        if (CrackOwn(*self, msg, wp, lp, result)) return result;
    } catch (...) {
        Application->HandleException();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK WindowProc::Stock(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
    auto* self = reinterpret_cast<TControl*>(ref);
    if (msg == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, &WindowProc::Stock, 1);
        self->DetachWindow();
        return DefSubclassProc(hwnd, msg, wp, lp);
    }
    try {
        if (msg == WM_CHAR) {
            auto key = static_cast<wchar_t>(wp);
            self->OnChar(key);
            if (key == 0) return 0;  // the handler dropped the keystroke
            wp = static_cast<WPARAM>(static_cast<char16_t>(key));
        }
    } catch (...) {
        Application->HandleException();
        return 0;
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}
