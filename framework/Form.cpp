#include "Form.h"

#include <algorithm>

#include "Application.h"
#include "Dpi.h"
#include "WindowProc.h"

namespace {

DWORD FormStyle(bool fixed) {
    return WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN |
           (fixed ? 0 : WS_THICKFRAME | WS_MAXIMIZEBOX);
}
constexpr DWORD kFormExStyle = WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;

int UsableDpi(UINT dpi) { return dpi > 0 ? static_cast<int>(dpi) : 96; }

}  // namespace

TForm::TForm(TComponent* owner) : TControlClass(owner) { form_ = this; }

TForm::~TForm() {
    // The window goes first, so no message reaches a control that is already deleted.
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
    owned_.clear();
}

TControl* TForm::FindControl(const std::wstring& name) const {
    for (const auto& c : owned_)
        if (c->Name().str() == name) return c.get();
    return nullptr;
}

bool TForm::Apply(Prop id, const FormProperty& p) {
    const int value = static_cast<int>(p.integer);
    switch (id) {
    case Prop::ClientWidth: clientWidth_ = value; break;
    case Prop::ClientHeight: clientHeight_ = value; break;
    case Prop::MaxWidth: maxWidth_ = value; break;
    case Prop::MaxHeight: maxHeight_ = value; break;
    case Prop::BorderStyle: fixedBorder_ = p.text != L"bsSizeable"; break;
    case Prop::FormPosition: centred_ = p.text != L"poDesigned"; break;
    case Prop::Icon: iconResource_ = p.text; break;
    case Prop::PixelsPerInch:
    case Prop::TextHeight:
    case Prop::OldCreateOrder: break;  // design-time facts: the layout is in 96-DPI pixels
    default: return TControl::Apply(id, p);
    }
    return true;
}

void TForm::CreateHandle() {
    const int width = Scale(clientWidth_), height = Scale(clientHeight_);
    CreateControlWindow(
        {.className = kFormClass,
         .text = text_,
         .style = FormStyle(fixedBorder_),
         .exStyle = kFormExStyle,
         .bounds = {CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT + width, CW_USEDEFAULT + height},
         .control = this,
         .what = L"the main window"});
    if (iconResource_.empty()) return;
    HINSTANCE inst = GetModuleHandleW(nullptr);
    auto icon = [&](int cx, int cy) {
        return static_cast<HICON>(LoadImageW(inst, iconResource_.c_str(), IMAGE_ICON, GetSystemMetrics(cx),
                                             GetSystemMetrics(cy), 0));
    };
    bigIcon_.reset(icon(SM_CXICON, SM_CYICON));
    smallIcon_.reset(icon(SM_CXSMICON, SM_CYSMICON));
    if (bigIcon_) SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
    if (smallIcon_) SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
}

// The window is created at the system DPI, then takes the DPI of the monitor it is on.
void TForm::CreateAtMonitorDpi() {
    dpi_ = UsableDpi(dpi::ForSystem());
    CreateHandle();
    dpi_ = UsableDpi(dpi::ForWindow(hwnd_));
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle()), FALSE);
}

// The outer rectangle for a client area of that size (96-DPI pixels) at the current DPI.
RECT TForm::FrameFor(int clientWidth, int clientHeight) const {
    RECT r{0, 0, Scale(clientWidth), Scale(clientHeight)};
    dpi::AdjustRect(r, FormStyle(fixedBorder_), kFormExStyle, static_cast<UINT>(dpi_));
    return r;
}

// Client area from the description at the current DPI; the frame is added around it.
void TForm::PlaceOnDesktop() {
    const RECT r = FrameFor(clientWidth_, clientHeight_);
    const int w = r.right - r.left, h = r.bottom - r.top;
    int x = Scale(left_), y = Scale(top_);
    if (centred_) {
        RECT work{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        if (work.right <= work.left)
            work = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        x = work.left + ((work.right - work.left) - w) / 2;
        y = work.top + ((work.bottom - work.top) - h) / 2;
    }
    SetWindowPos(hwnd_, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::ApplyScale() {
    // Fonts made for the old DPI stay alive until every control has taken its new one.
    const GdiCache::Fonts oldFonts = gdi_.Rescale();
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle()), FALSE);
    for (TControl* c : children_) c->ApplyScale();
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void TForm::Show() {
    ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);
    // The first control in tab order takes the focus.
    if (HWND first = GetNextDlgTabItem(hwnd_, nullptr, FALSE)) SetFocus(first);
}

void TForm::Hide() { ShowWindow(hwnd_, SW_HIDE); }

void TForm::Close() { SendMessageW(hwnd_, WM_CLOSE, 0, 0); }

void TForm::DoCreate() {
    if (!created_) {
        created_ = true;
        if (OnCreate) OnCreate(this);
    }
}

// Closing hides the window and ends the application; the window and its controls are
// destroyed only after the message loop has returned.
bool TForm::OnClose() {
    Hide();
    if (Application->MainForm() == this) Application->Terminate();
    return true;
}

bool TForm::EraseBackground(HDC dc) {
    RECT r;
    GetClientRect(hwnd_, &r);
    FillRect(dc, &r, BrushFor(color_));
    return true;
}

// The limits never cut into the client area the description asks for.
bool TForm::OnMinMaxInfo(MINMAXINFO& info) {
    const RECT r = FrameFor(clientWidth_, clientHeight_);
    if (maxWidth_ > 0) info.ptMaxTrackSize.x = std::max<LONG>(Scale(maxWidth_), r.right - r.left);
    if (maxHeight_ > 0) info.ptMaxTrackSize.y = std::max<LONG>(Scale(maxHeight_), r.bottom - r.top);
    return true;
}

bool TForm::OnDpiChanged(UINT dpi, const RECT& suggested) {
    dpi_ = UsableDpi(dpi);
    ApplyScale();
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}
