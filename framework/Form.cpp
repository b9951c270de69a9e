#include "Form.h"

#include <commctrl.h>

#include <algorithm>

#include "Application.h"
#include "BitBtn.h"
#include "Classes.h"
#include "Dpi.h"
#include "Edit.h"
#include "Label.h"
#include "ProgressBar.h"
#include "RadioGroup.h"
#include "SysUtils.h"
#include "WindowProc.h"

namespace {

template <typename T>
std::unique_ptr<TControl> Make(TComponent* owner) {
    return std::make_unique<T>(owner);
}

// The classes a description may place on a form.
struct Maker {
    const wchar_t* className;
    std::unique_ptr<TControl> (*make)(TComponent* owner);
};
constexpr Maker kMakers[] = {
    {TGroupBox::ClassName, &Make<TGroupBox>},
    {TRadioGroup::ClassName, &Make<TRadioGroup>},
    {TLabel::ClassName, &Make<TLabel>},
    {TEdit::ClassName, &Make<TEdit>},
    {TButton::ClassName, &Make<TButton>},
    {TBitBtn::ClassName, &Make<TBitBtn>},
    {TProgressBar::ClassName, &Make<TProgressBar>},
};

std::unique_ptr<TControl> MakeControl(const std::wstring& className, TComponent* owner) {
    for (const Maker& m : kMakers)
        if (className == m.className) return m.make(owner);
    return nullptr;
}

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
    auto oldFonts = std::move(fonts_);
    fonts_.clear();
    imageLists_.clear();
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle()), FALSE);
    for (TControl* c : children_) c->ApplyScale();
    InvalidateRect(hwnd_, nullptr, TRUE);
}

HFONT TForm::FontFor(const TFontDesc& desc) {
    TFontDesc key = desc;
    key.color = 0;  // colour is drawn, not part of the font
    for (const auto& [k, f] : fonts_)
        if (k == key) return f.get();
    // Rounded toward zero: a font never grows faster than the box it is drawn in, so text
    // that fits at 96 DPI still fits at 144 or 192.
    const int height = desc.height * dpi_ / 96;
    HFONT font = CreateFontW(height, 0, 0, 0, desc.bold ? FW_BOLD : FW_NORMAL, desc.italic, desc.underline,
                             FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, desc.name.c_str());
    if (!font) Sysutils::RaiseLastError(L"Cannot create the font " + UnicodeString(desc.name));
    fonts_.emplace_back(key, UniqueFont(font));
    return font;
}

HBRUSH TForm::BrushFor(COLORREF color) {
    auto it = brushes_.find(color);
    if (it != brushes_.end()) return it->second.get();
    HBRUSH brush = CreateSolidBrush(color);
    brushes_[color] = UniqueBrush(brush);
    return brush;
}

HBITMAP TForm::BitmapFor(const std::wstring& resource) {
    auto it = bitmaps_.find(resource);
    if (it != bitmaps_.end()) return it->second.get();
    auto bmp = static_cast<HBITMAP>(
        LoadImageW(GetModuleHandleW(nullptr), resource.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!bmp)
        Sysutils::RaiseSystemError<EResNotFound>(
            L"Picture " + UnicodeString(resource) + L" not found in the program", GetLastError());
    bitmaps_[resource] = UniqueBitmap(bmp);
    return bmp;
}

// The button picture at the size the DPI asks for, in an image list the form owns.
HIMAGELIST TForm::ImageListFor(const std::wstring& resource, int size) {
    const std::wstring key = resource + L"@" + std::to_wstring(size);
    auto it = imageLists_.find(key);
    if (it != imageLists_.end()) return it->second.get();
    HBITMAP source = BitmapFor(resource);
    BITMAP info{};
    GetObjectW(source, sizeof info, &info);
    const WindowDc screen(nullptr);
    UniqueBitmap scaled(CreateCompatibleBitmap(screen.dc(), size, size));
    {
        const UniqueMemoryDc from(CreateCompatibleDC(screen.dc()));
        const UniqueMemoryDc to(CreateCompatibleDC(screen.dc()));
        const SelectedObject fromPicture(from.get(), source);
        const SelectedObject toPicture(to.get(), scaled.get());
        SetStretchBltMode(to.get(), HALFTONE);
        StretchBlt(to.get(), 0, 0, size, size, from.get(), 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    }
    UniqueImageList list(ImageList_Create(size, size, ILC_COLOR32, 1, 0));
    if (!list) Sysutils::RaiseLastError(L"Cannot create the picture list");
    ImageList_Add(list.get(), scaled.get(), nullptr);
    HIMAGELIST made = list.get();
    imageLists_[key] = std::move(list);
    return made;
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

void TForm::InitializeComponent(const wchar_t* resourceName, const TPublished& published) {
    const TResourceStream description(GetModuleHandleW(nullptr), resourceName, RT_RCDATA);
    InitializeFromText(std::string(static_cast<const char*>(description.Memory()), description.Size()),
                       published);
}

void TForm::InitializeFromText(const std::string& utf8, const TPublished& published) {
    FormNode root = ParseFormDescription(utf8);
    ValidateFormDescription(root);
    Build(root, published);
}

void TForm::Build(const FormNode& root, const TPublished& published) {
    SetName(root.name);
    parentFont_ = false;
    parentColor_ = false;
    SetProperties(*this, root, published);
    // The window is created at the system DPI, then takes the DPI of the monitor it is on.
    dpi_ = UsableDpi(dpi::ForSystem());
    CreateHandle();
    dpi_ = UsableDpi(dpi::ForWindow(hwnd_));
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle()), FALSE);
    Populate(this, root, published);
    OrderTabs(this);
    for (const auto& [name, slot] : published.fields_)
        if (!FindControl(name)) RaiseFormError(root.line, L"the description has no control '" + name + L"'");
    PlaceOnDesktop();
}

// The description's properties and event bindings of one control (or the form itself).
void TForm::SetProperties(TControl& c, const FormNode& node, const TPublished& published) {
    const std::wstring what = &c == this ? L"a form" : node.className;
    for (const FormProperty& p : node.properties) {
        const PropertyEntry* entry = FindPropertyEntry(c.TableEntry(), p.name);
        if (!entry) RaiseFormError(p.line, L"'" + p.name + L"' does not apply to " + what);
        if (entry->id == Prop::OnClick || entry->id == Prop::OnCreate) {
            auto h = published.notify_.find(p.text);
            if (h == published.notify_.end())
                RaiseFormError(p.line, L"the form has no handler '" + p.text + L"'");
            (entry->id == Prop::OnCreate ? OnCreate : c.OnClick) = h->second;
        } else if (entry->id == Prop::OnKeyPress) {
            auto h = published.keys_.find(p.text);
            if (h == published.keys_.end() || !c.SetOnKeyPress(h->second))
                RaiseFormError(p.line, L"the form has no key handler '" + p.text + L"'");
        } else if (!c.Apply(entry->id, p)) {
            RaiseFormError(p.line, L"'" + p.name + L"' does not apply to " + what);
        }
    }
}

void TForm::Populate(TWinControl* parent, const FormNode& node, const TPublished& published) {
    for (const FormNode& child : node.children) {
        std::unique_ptr<TControl> made = MakeControl(child.className, this);
        if (!made) RaiseFormError(child.line, L"unknown class '" + child.className + L"'");
        TControl* c = made.get();
        c->SetName(child.name);
        c->parent_ = parent;
        c->form_ = this;
        c->font_ = parent->font_;
        c->color_ = parent->color_;
        SetProperties(*c, child, published);
        if (c->parentFont_) c->font_ = parent->font_;
        if (c->parentColor_) c->color_ = parent->color_;
        auto field = published.fields_.find(child.name);
        if (field != published.fields_.end()) {
            if (field->second.className != child.className)
                RaiseFormError(child.line, L"'" + child.name + L"' must be a " + field->second.className +
                                               L", not a " + child.className);
            field->second.assign(c);
        }
        owned_.push_back(std::move(made));
        parent->AddChild(c);
        c->CreateHandle();
        if (c->Handle())
            SendMessageW(c->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(c->FontHandle()), FALSE);
        if (const FormProperty* v = child.Find(L"Visible"); v && !v->IsTrue())
            ShowWindow(c->Handle(), SW_HIDE);
        if (const FormProperty* e = child.Find(L"Enabled"); e && !e->IsTrue())
            EnableWindow(c->Handle(), FALSE);
        if (TWinControl* container = c->AsContainer(); container && c->TableEntry().holdsControls) {
            Populate(container, child, published);
            OrderTabs(container);
        }
    }
}

// The dialog manager walks siblings in z-order, so z-order follows the tab order.
void TForm::OrderTabs(TWinControl* parent) {
    std::vector<TControl*> ordered;
    for (TControl* c : parent->Controls())
        if (c->TabOrder() >= 0) ordered.push_back(c);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](TControl* a, TControl* b) { return a->TabOrder() < b->TabOrder(); });
    // Windows already in place are left alone: each move is a round trip to the window server.
    HWND after = HWND_TOP;
    for (TControl* c : ordered) {
        const HWND h = c->Handle();
        const HWND before = GetWindow(h, GW_HWNDPREV);
        if (after == HWND_TOP ? before != nullptr : before != after)
            SetWindowPos(h, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        after = h;
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
