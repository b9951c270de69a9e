// Controls and the form. Each wrapper is bound to its window when the window is created and
// unbound when the window is destroyed; notifications that stock controls send to their parent
// are handed back to the wrapper of the control that sent them.
#include "Forms.h"

#include <commctrl.h>

#include <algorithm>

#include "Dpi.h"

namespace {

constexpr const wchar_t* kFormClass = L"KavorinForm";
constexpr const wchar_t* kGroupClass = L"KavorinGroup";
constexpr const wchar_t* kLabelClass = L"KavorinLabel";
constexpr const wchar_t* kWrapperProp = L"KavorinControl";  // stock controls: wrapper pointer

COLORREF ColorFromName(const FormProperty& p) {
    if (p.kind == FormValueKind::Integer) {
        // Stored as $00BBGGRR, like COLORREF.
        return static_cast<COLORREF>(p.integer);
    }
    if (p.text == L"clBtnFace") return GetSysColor(COLOR_BTNFACE);
    if (p.text == L"clWindowText") return GetSysColor(COLOR_WINDOWTEXT);
    if (p.text == L"clWindow") return GetSysColor(COLOR_WINDOW);
    if (p.text == L"clRed") return RGB(255, 0, 0);
    if (p.text == L"clBlack") return RGB(0, 0, 0);
    if (p.text == L"clWhite") return RGB(255, 255, 255);
    if (p.text == L"clGreen") return RGB(0, 128, 0);
    if (p.text == L"clBlue") return RGB(0, 0, 255);
    if (p.text == L"clGray") return RGB(128, 128, 128);
    return GetSysColor(COLOR_WINDOWTEXT);
}

TAlignment AlignmentFromName(const std::wstring& name) {
    if (name == L"taCenter") return TAlignment::taCenter;
    if (name == L"taRightJustify") return TAlignment::taRightJustify;
    return TAlignment::taLeftJustify;
}

[[noreturn]] void FailAt(int line, const std::wstring& what) {
    throw EFormError(L"Form description, line " + std::to_wstring(line) + L": " + what);
}

TControl* WrapperOf(HWND hwnd) {
    if (!hwnd) return nullptr;
    return static_cast<TControl*>(GetPropW(hwnd, kWrapperProp));
}

void RegisterClasses();

// Handles the messages that containers (the form and group boxes) pass on to their children.
bool ReflectToChild(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    HWND child = nullptr;
    switch (msg) {
    case WM_COMMAND:
        child = reinterpret_cast<HWND>(lp);
        break;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        child = reinterpret_cast<HWND>(lp);
        break;
    case WM_NOTIFY:
        child = reinterpret_cast<NMHDR*>(lp)->hwndFrom;
        break;
    default:
        return false;
    }
    if (TControl* c = WrapperOf(child)) return c->Reflect(msg, wp, lp, result);
    return false;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TControl

TControl::~TControl() {
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

void TControl::AttachWindow(HWND hwnd) {
    hwnd_ = hwnd;
    SetPropW(hwnd, kWrapperProp, this);
}

void TControl::DetachWindow() {
    if (hwnd_) RemovePropW(hwnd_, kWrapperProp);
    hwnd_ = nullptr;
}

int TControl::Scale(int v) const { return dpi::Scale(v, form_ ? form_->PixelsPerInch() : 96); }

RECT TControl::ScaledBounds() const {
    RECT r{Scale(left_), Scale(top_), 0, 0};
    r.right = r.left + Scale(width_);
    r.bottom = r.top + Scale(height_);
    return r;
}

HFONT TControl::FontHandle() const { return form_ ? form_->FontFor(font_) : nullptr; }

void TControl::SetBounds(int left, int top, int width, int height) {
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    if (hwnd_) {
        RECT r = ScaledBounds();
        SetWindowPos(hwnd_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

UnicodeString TControl::Caption() const {
    if (!hwnd_) return UnicodeString(text_);
    int len = GetWindowTextLengthW(hwnd_);
    std::wstring buffer(static_cast<size_t>(len) + 1, L'\0');
    int got = GetWindowTextW(hwnd_, buffer.data(), len + 1);
    buffer.resize(static_cast<size_t>(got > 0 ? got : 0));
    return UnicodeString(std::move(buffer));
}

void TControl::SetCaption(const UnicodeString& text) {
    text_ = text.str();
    // Our own controls hear of the change through WM_SETTEXT, as they do when others set it.
    if (hwnd_) SetWindowTextW(hwnd_, text_.c_str());
    else TextChanged();
}

void TControl::SetFont(const TFontSpec& font) {
    font_ = font;
    parentFont_ = false;
    if (hwnd_) {
        SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle()), TRUE);
        TextChanged();
    }
}

void TControl::SetColor(COLORREF color) {
    color_ = color;
    parentColor_ = false;
    if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
}

bool TControl::Visible() const { return hwnd_ && IsWindowVisible(hwnd_); }
bool TControl::Enabled() const { return hwnd_ && IsWindowEnabled(hwnd_); }
void TControl::SetEnabled(bool enabled) {
    if (hwnd_) EnableWindow(hwnd_, enabled);
}

void TControl::ApplyScale() {
    if (!hwnd_) return;
    RECT r = ScaledBounds();
    SetWindowPos(hwnd_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle()), TRUE);
}

bool TControl::SetProperty(const FormProperty& p) {
    const std::wstring& n = p.name;
    if (n == L"Left") left_ = static_cast<int>(p.integer);
    else if (n == L"Top") top_ = static_cast<int>(p.integer);
    else if (n == L"Width") width_ = static_cast<int>(p.integer);
    else if (n == L"Height") height_ = static_cast<int>(p.integer);
    else if (n == L"TabOrder") tabOrder_ = static_cast<int>(p.integer);
    else if (n == L"Caption") text_ = p.text;
    else if (n == L"Font.Name") { font_.name = p.text; parentFont_ = false; }
    else if (n == L"Font.Height") { font_.height = static_cast<int>(p.integer); parentFont_ = false; }
    else if (n == L"Font.Color") { font_.color = ColorFromName(p); parentFont_ = false; }
    else if (n == L"Font.Charset") { /* every font uses the default character set */ }
    else if (n == L"Font.Style") {
        font_.bold = std::find(p.items.begin(), p.items.end(), L"fsBold") != p.items.end();
        font_.italic = std::find(p.items.begin(), p.items.end(), L"fsItalic") != p.items.end();
        font_.underline = std::find(p.items.begin(), p.items.end(), L"fsUnderline") != p.items.end();
        parentFont_ = false;
    }
    else if (n == L"ParentFont") parentFont_ = p.IsTrue();
    else if (n == L"Color") { color_ = ColorFromName(p); parentColor_ = false; }
    else if (n == L"ParentColor") parentColor_ = p.IsTrue();
    else if (n == L"Visible" || n == L"Enabled" || n == L"TabStop") { /* applied by CreateHandle */ }
    else return false;
    return true;
}

bool TControl::Reflect(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

void TControl::Subclass(HWND hwnd, TControl* control) {
    SetWindowSubclass(hwnd, &TControl::SubclassThunk, 1, reinterpret_cast<DWORD_PTR>(control));
}

LRESULT CALLBACK TControl::SubclassThunk(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
    auto* self = reinterpret_cast<TControl*>(ref);
    if (msg == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, &TControl::SubclassThunk, 1);
        self->DetachWindow();
        return DefSubclassProc(hwnd, msg, wp, lp);
    }
    try {
        return self->SubclassProc(hwnd, msg, wp, lp);
    } catch (...) {
        Application->HandleException();
        return 0;
    }
}

LRESULT TControl::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return DefSubclassProc(hwnd, msg, wp, lp);
}

// The window procedure of every class of our own (form, frames, labels): binds the wrapper
// at WM_NCCREATE, unbinds it at WM_NCDESTROY, and keeps exceptions inside.
LRESULT CALLBACK TControl::OwnWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<TControl*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->AttachWindow(hwnd);
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
    auto* self = reinterpret_cast<TControl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->DetachWindow();
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
    try {
        return self->HandleMessage(msg, wp, lp);
    } catch (...) {
        Application->HandleException();
        return 0;
    }
}

LRESULT TControl::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) { return DefWindowProcW(hwnd_, msg, wp, lp); }

// Messages every self-drawn control of ours answers alike: it paints itself in full (so no
// background erase), follows text set from outside, and reports the font the form made for it.
bool TControl::HandleSelfDrawn(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    switch (msg) {
    case WM_ERASEBKGND:
        result = 1;
        return true;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd_, &ps);
        Paint(dc);
        EndPaint(hwnd_, &ps);
        result = 0;
        return true;
    }
    case WM_SETTEXT:
        result = DefWindowProcW(hwnd_, msg, wp, lp);
        TextChanged();
        return true;
    case WM_GETFONT:
        result = reinterpret_cast<LRESULT>(FontHandle());
        return true;
    case WM_SETFONT:
        InvalidateRect(hwnd_, nullptr, TRUE);
        result = 0;
        return true;
    default:
        return false;
    }
}

void TControl::Paint(HDC) {}

// Creates a stock control as a child of `parent` and subclasses it.
static HWND CreateStock(HWND parent, const wchar_t* cls, DWORD style, DWORD exStyle,
                        const std::wstring& text, RECT r) {
    HWND hwnd = CreateWindowExW(exStyle, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                                r.right - r.left, r.bottom - r.top, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!hwnd) throw EOSError(L"Cannot create a window of class " + std::wstring(cls));
    return hwnd;
}

// ---------------------------------------------------------------------------------------------
// TWinControl

void TWinControl::ApplyScale() {
    TControl::ApplyScale();
    for (TControl* c : children_) c->ApplyScale();
}

// ---------------------------------------------------------------------------------------------
// TGroupBox

void TGroupBox::CreateHandle() {
    RECT r = ScaledBounds();
    HWND hwnd = CreateWindowExW(WS_EX_CONTROLPARENT, kGroupClass, text_.c_str(),
                                WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, r.left, r.top, r.right - r.left,
                                r.bottom - r.top, parent_->Handle(), nullptr, GetModuleHandleW(nullptr), this);
    if (!hwnd) throw EOSError(L"Cannot create the frame " + Name().str());
}

void TGroupBox::TextChanged() {
    if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
}

int TGroupBox::CaptionHeight() const {
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old = SelectObject(dc, FontHandle());
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    return tm.tmHeight;
}

void TGroupBox::Paint(HDC dc) {
    RECT client;
    GetClientRect(hwnd_, &client);
    HBRUSH back = form_->BrushFor(color_);
    FillRect(dc, &client, back);

    HGDIOBJ oldFont = SelectObject(dc, FontHandle());
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    RECT frame = client;
    frame.top += tm.tmHeight / 2;
    DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);

    std::wstring text = Caption().str();
    if (!text.empty()) {
        RECT textRect{Scale(8), 0, client.right - Scale(8), tm.tmHeight};
        DrawTextW(dc, text.c_str(), -1, &textRect, DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
        RECT gap = textRect;
        gap.left -= Scale(2);
        gap.right += Scale(2);
        FillRect(dc, &gap, back);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, font_.color);
        DrawTextW(dc, text.c_str(), -1, &textRect, DT_SINGLELINE | DT_NOPREFIX);
    }
    SelectObject(dc, oldFont);
}

LRESULT TGroupBox::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    LRESULT result = 0;
    if (HandleSelfDrawn(msg, wp, lp, result)) return result;
    switch (msg) {
    case WM_COMMAND:
        if (auto* radios = dynamic_cast<TRadioGroup*>(this)) {
            if (radios->ReflectFromButton(reinterpret_cast<HWND>(lp), HIWORD(wp))) return 0;
        }
        break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        if (!WrapperOf(reinterpret_cast<HWND>(lp))) {
            // The radio buttons of a radio group: our colours, the group's font colour.
            HDC dc = reinterpret_cast<HDC>(wp);
            SetBkColor(dc, color_);
            SetTextColor(dc, font_.color);
            return reinterpret_cast<LRESULT>(form_->BrushFor(color_));
        }
        break;
    default:
        break;
    }
    if (ReflectToChild(msg, wp, lp, result)) return result;
    return DefWindowProcW(hwnd_, msg, wp, lp);
}

// ---------------------------------------------------------------------------------------------
// TRadioGroup

void TRadioGroup::SetItems(std::vector<UnicodeString> items) {
    items_ = std::move(items);
    if (itemIndex_ >= static_cast<int>(items_.size())) itemIndex_ = -1;
    if (hwnd_) BuildButtons();
}

void TRadioGroup::SetColumns(int columns) {
    columns_ = std::clamp(columns, 1, 16);
    if (hwnd_) ArrangeButtons();
}

void TRadioGroup::SetItemIndex(int index) {
    if (index < -1 || index >= static_cast<int>(items_.size())) index = -1;
    itemIndex_ = index;
    UpdateChecks();
}

HWND TRadioGroup::ItemHandle(int index) const {
    return index >= 0 && index < static_cast<int>(buttons_.size()) ? buttons_[static_cast<size_t>(index)] : nullptr;
}

bool TRadioGroup::SetProperty(const FormProperty& p) {
    if (p.name == L"Items.Strings") {
        items_.clear();
        for (const auto& s : p.items) items_.emplace_back(s);
        return true;
    }
    if (p.name == L"Columns") { columns_ = static_cast<int>(p.integer); return true; }
    if (p.name == L"ItemIndex") { itemIndex_ = static_cast<int>(p.integer); return true; }
    return TGroupBox::SetProperty(p);
}

void TRadioGroup::CreateHandle() {
    TGroupBox::CreateHandle();
    BuildButtons();
}

void TRadioGroup::BuildButtons() {
    for (HWND b : buttons_) DestroyWindow(b);
    buttons_.clear();
    for (size_t i = 0; i < items_.size(); ++i) {
        DWORD style = WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP : 0);
        HWND b = CreateWindowExW(0, WC_BUTTONW, items_[i].c_str(), style, 0, 0, 0, 0, hwnd_, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        if (!b) throw EOSError(L"Cannot create the items of " + Name().str());
        buttons_.push_back(b);
    }
    ArrangeButtons();
    UpdateChecks();
}

// Items fill the area under the caption in columns of equal width and rows of equal height.
void TRadioGroup::ArrangeButtons() {
    if (buttons_.empty()) return;
    HFONT font = FontHandle();
    int count = static_cast<int>(buttons_.size());
    int perColumn = (count + columns_ - 1) / columns_;
    RECT client;
    GetClientRect(hwnd_, &client);
    int captionHeight = CaptionHeight();
    int buttonWidth = (client.right - Scale(10)) / columns_;
    int room = client.bottom - captionHeight - Scale(5);
    int buttonHeight = room / perColumn;
    int topMargin = captionHeight + Scale(1) + (room % perColumn) / 2;
    for (int i = 0; i < count; ++i) {
        HWND b = buttons_[static_cast<size_t>(i)];
        SendMessageW(b, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        SetWindowPos(b, nullptr, (i / perColumn) * buttonWidth + Scale(8), (i % perColumn) * buttonHeight + topMargin,
                     buttonWidth, buttonHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    InvalidateRect(hwnd_, nullptr, TRUE);
}

// The checked item is the group's only tab stop, so Tab enters the group at the selection.
void TRadioGroup::UpdateChecks() {
    for (size_t i = 0; i < buttons_.size(); ++i) {
        bool checked = static_cast<int>(i) == itemIndex_;
        SendMessageW(buttons_[i], BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
        LONG_PTR style = GetWindowLongPtrW(buttons_[i], GWL_STYLE);
        bool stop = checked || (itemIndex_ < 0 && i == 0);
        style = stop ? (style | WS_TABSTOP) : (style & ~static_cast<LONG_PTR>(WS_TABSTOP));
        SetWindowLongPtrW(buttons_[i], GWL_STYLE, style);
    }
}

bool TRadioGroup::ReflectFromButton(HWND button, UINT code) {
    auto it = std::find(buttons_.begin(), buttons_.end(), button);
    if (it == buttons_.end()) return false;
    if (code == BN_CLICKED) {
        int index = static_cast<int>(it - buttons_.begin());
        if (index != itemIndex_) {
            itemIndex_ = index;
            UpdateChecks();
            if (OnClick) OnClick(this);
        }
    }
    return true;
}

void TRadioGroup::ApplyScale() {
    TGroupBox::ApplyScale();
    ArrangeButtons();
}

// ---------------------------------------------------------------------------------------------
// TLabel

bool TLabel::SetProperty(const FormProperty& p) {
    if (p.name == L"Alignment") { alignment_ = AlignmentFromName(p.text); return true; }
    if (p.name == L"Layout") {
        layout_ = p.text == L"tlCenter" ? TTextLayout::tlCenter : p.text == L"tlBottom" ? TTextLayout::tlBottom : TTextLayout::tlTop;
        return true;
    }
    if (p.name == L"WordWrap") { wordWrap_ = p.IsTrue(); return true; }
    if (p.name == L"AutoSize") { autoSize_ = p.IsTrue(); return true; }
    if (p.name == L"Transparent") { transparent_ = p.IsTrue(); return true; }
    return TControl::SetProperty(p);
}

void TLabel::CreateHandle() {
    RECT r = ScaledBounds();
    HWND hwnd = CreateWindowExW(0, kLabelClass, text_.c_str(), WS_CHILD | WS_VISIBLE, r.left, r.top,
                                r.right - r.left, r.bottom - r.top, parent_->Handle(), nullptr,
                                GetModuleHandleW(nullptr), this);
    if (!hwnd) throw EOSError(L"Cannot create the label " + Name().str());
    AdjustSize();
}

UINT TLabel::DrawFlags() const {
    UINT flags = DT_EXPANDTABS | DT_NOPREFIX;
    if (wordWrap_) flags |= DT_WORDBREAK;
    switch (alignment_) {
    case TAlignment::taCenter: flags |= DT_CENTER; break;
    case TAlignment::taRightJustify: flags |= DT_RIGHT; break;
    case TAlignment::taLeftJustify: flags |= DT_LEFT; break;
    }
    return flags;
}

void TLabel::Paint(HDC dc) {
    RECT client;
    GetClientRect(hwnd_, &client);
    if (!transparent_) FillRect(dc, &client, form_->BrushFor(color_));
    HGDIOBJ oldFont = SelectObject(dc, FontHandle());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, font_.color);
    std::wstring text = Caption().str();
    RECT textRect = client;
    if (layout_ != TTextLayout::tlTop) {
        // Vertical placement needs the height of the laid-out text first.
        RECT measure = client;
        DrawTextW(dc, text.c_str(), -1, &measure, DrawFlags() | DT_CALCRECT);
        int spare = (client.bottom - client.top) - (measure.bottom - measure.top);
        textRect.top += layout_ == TTextLayout::tlCenter ? spare / 2 : spare;
    }
    DrawTextW(dc, text.c_str(), -1, &textRect, DrawFlags());
    SelectObject(dc, oldFont);
}

void TLabel::TextChanged() {
    AdjustSize();
    if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
}

// An auto-sized label takes the size of its text; the width of a label that wraps stays.
void TLabel::AdjustSize() {
    if (!autoSize_ || !hwnd_ || !form_) return;
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old = SelectObject(dc, FontHandle());
    std::wstring text = Caption().str();
    RECT r{0, 0, wordWrap_ ? Scale(width_) : 0, 0};
    if (text.empty()) {
        TEXTMETRICW tm{};
        GetTextMetricsW(dc, &tm);
        r.bottom = tm.tmHeight;
    } else {
        DrawTextW(dc, text.c_str(), -1, &r, DrawFlags() | DT_CALCRECT);
    }
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    int dpiValue = form_->PixelsPerInch();
    if (!wordWrap_) width_ = MulDiv(r.right - r.left, 96, dpiValue);
    height_ = MulDiv(r.bottom - r.top, 96, dpiValue);
    RECT bounds = ScaledBounds();
    if (!wordWrap_) bounds.right = bounds.left + (r.right - r.left);
    bounds.bottom = bounds.top + (r.bottom - r.top);
    SetWindowPos(hwnd_, nullptr, bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void TLabel::ApplyScale() {
    TControl::ApplyScale();
    AdjustSize();
}

LRESULT TLabel::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    LRESULT result = 0;
    if (HandleSelfDrawn(msg, wp, lp, result)) return result;
    switch (msg) {
    case WM_NCHITTEST:
        return HTTRANSPARENT;  // labels take no input, like their platform namesakes
    default:
        return DefWindowProcW(hwnd_, msg, wp, lp);
    }
}

// ---------------------------------------------------------------------------------------------
// TEdit

bool TEdit::SetProperty(const FormProperty& p) {
    if (p.name == L"Text") { text_ = p.text; return true; }
    if (p.name == L"Alignment") { alignment_ = AlignmentFromName(p.text); return true; }
    if (p.name == L"MaxLength") { maxLength_ = static_cast<int>(p.integer); return true; }
    return TControl::SetProperty(p);
}

void TEdit::CreateHandle() {
    DWORD align = alignment_ == TAlignment::taCenter ? ES_CENTER : alignment_ == TAlignment::taRightJustify ? ES_RIGHT : ES_LEFT;
    HWND hwnd = CreateStock(parent_->Handle(), WC_EDITW, WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL | align,
                            WS_EX_CLIENTEDGE, text_, ScaledBounds());
    AttachWindow(hwnd);
    Subclass(hwnd, this);
    // 0 lifts the edit's default limit of 32767 characters ("no length limit").
    SendMessageW(hwnd, EM_SETLIMITTEXT, static_cast<WPARAM>(maxLength_), 0);
}

LRESULT TEdit::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CHAR && OnKeyPress) {
        auto key = static_cast<wchar_t>(wp);
        OnKeyPress(this, key);
        if (key == 0) return 0;  // the handler dropped the keystroke
        wp = static_cast<WPARAM>(static_cast<char16_t>(key));
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

bool TEdit::Reflect(UINT msg, WPARAM wp, LPARAM, LRESULT& result) {
    if (msg == WM_CTLCOLOREDIT || msg == WM_CTLCOLORSTATIC) {
        HDC dc = reinterpret_cast<HDC>(wp);
        COLORREF back = GetSysColor(COLOR_WINDOW);
        SetTextColor(dc, font_.color);
        SetBkColor(dc, back);
        result = reinterpret_cast<LRESULT>(form_->BrushFor(back));
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// TButton, TBitBtn

void TButton::CreateHandle() {
    HWND hwnd = CreateStock(parent_->Handle(), WC_BUTTONW, WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, 0, text_,
                            ScaledBounds());
    AttachWindow(hwnd);
    Subclass(hwnd, this);
}

bool TButton::Reflect(UINT msg, WPARAM wp, LPARAM, LRESULT& result) {
    if (msg == WM_COMMAND && HIWORD(wp) == BN_CLICKED) {
        if (OnClick) OnClick(this);
        result = 0;
        return true;
    }
    return false;
}

bool TBitBtn::SetProperty(const FormProperty& p) {
    if (p.name == L"Glyph") { glyph_ = p.text; return true; }
    if (p.name == L"Default") return true;
    return TButton::SetProperty(p);
}

void TBitBtn::CreateHandle() {
    TButton::CreateHandle();
    ApplyScale();
}

void TBitBtn::ApplyScale() {
    TButton::ApplyScale();
    if (glyph_.empty() || !hwnd_) return;
    BUTTON_IMAGELIST images{};
    images.himl = form_->ImageListFor(glyph_, Scale(24));
    images.margin = RECT{Scale(4), 0, 0, 0};
    images.uAlign = BUTTON_IMAGELIST_ALIGN_LEFT;
    SendMessageW(hwnd_, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&images));
}

// ---------------------------------------------------------------------------------------------
// TProgressBar

bool TProgressBar::SetProperty(const FormProperty& p) {
    if (p.name == L"Min") { min_ = static_cast<int>(p.integer); return true; }
    if (p.name == L"Max") { max_ = static_cast<int>(p.integer); return true; }
    if (p.name == L"Position") { position_ = static_cast<int>(p.integer); return true; }
    return TControl::SetProperty(p);
}

void TProgressBar::CreateHandle() {
    HWND hwnd = CreateStock(parent_->Handle(), PROGRESS_CLASSW, 0, 0, L"", ScaledBounds());
    AttachWindow(hwnd);
    Subclass(hwnd, this);
    SendMessageW(hwnd, PBM_SETRANGE32, static_cast<WPARAM>(min_), static_cast<LPARAM>(max_));
    SendMessageW(hwnd, PBM_SETPOS, static_cast<WPARAM>(position_), 0);
}

void TProgressBar::SetPosition(int position) {
    position_ = std::clamp(position, min_, max_);
    if (hwnd_) SendMessageW(hwnd_, PBM_SETPOS, static_cast<WPARAM>(position_), 0);
}

// ---------------------------------------------------------------------------------------------
// TForm

TForm::TForm(TComponent* owner) : TWinControl(owner) {
    RegisterClasses();
    form_ = this;
}

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

bool TForm::SetProperty(const FormProperty& p) {
    const std::wstring& n = p.name;
    if (n == L"ClientWidth") clientWidth_ = static_cast<int>(p.integer);
    else if (n == L"ClientHeight") clientHeight_ = static_cast<int>(p.integer);
    else if (n == L"Constraints.MaxWidth") maxWidth_ = static_cast<int>(p.integer);
    else if (n == L"Constraints.MaxHeight") maxHeight_ = static_cast<int>(p.integer);
    else if (n == L"BorderStyle") fixedBorder_ = p.text != L"bsSizeable";
    else if (n == L"Position") centred_ = p.text != L"poDesigned";
    else if (n == L"Icon") iconResource_ = p.text;
    else if (n == L"PixelsPerInch" || n == L"TextHeight" || n == L"OldCreateOrder" || n == L"OnCreate") {}
    else return TControl::SetProperty(p);
    return true;
}

static DWORD FormStyle(bool fixed) {
    return WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN | (fixed ? 0 : WS_THICKFRAME | WS_MAXIMIZEBOX);
}
static constexpr DWORD kFormExStyle = WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;

void TForm::CreateHandle() {
    HWND hwnd = CreateWindowExW(kFormExStyle, kFormClass, text_.c_str(), FormStyle(fixedBorder_), CW_USEDEFAULT,
                                CW_USEDEFAULT, Scale(clientWidth_), Scale(clientHeight_), nullptr, nullptr,
                                GetModuleHandleW(nullptr), this);
    if (!hwnd) throw EOSError(L"Cannot create the main window");
    if (!iconResource_.empty()) {
        HINSTANCE inst = GetModuleHandleW(nullptr);
        bigIcon_.reset(static_cast<HICON>(LoadImageW(inst, iconResource_.c_str(), IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                                     GetSystemMetrics(SM_CYICON), 0)));
        smallIcon_.reset(static_cast<HICON>(LoadImageW(inst, iconResource_.c_str(), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                       GetSystemMetrics(SM_CYSMICON), 0)));
        if (bigIcon_) SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
        if (smallIcon_) SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
    }
}

void TForm::SetDpi(int newDpi) {
    dpi_ = newDpi > 0 ? newDpi : 96;
}

// Client area from the description at the current DPI; the frame is added around it.
void TForm::PlaceOnDesktop() {
    RECT r{0, 0, Scale(clientWidth_), Scale(clientHeight_)};
    dpi::AdjustRect(r, FormStyle(fixedBorder_), kFormExStyle, static_cast<UINT>(dpi_));
    int w = r.right - r.left, h = r.bottom - r.top;
    int x = 0, y = 0;
    if (centred_) {
        RECT work{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        if (work.right <= work.left) work = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        x = work.left + ((work.right - work.left) - w) / 2;
        y = work.top + ((work.bottom - work.top) - h) / 2;
    } else {
        x = Scale(left_);
        y = Scale(top_);
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

HFONT TForm::FontFor(const TFontSpec& spec) {
    TFontSpec key = spec;
    key.color = 0;  // colour is drawn, not part of the font
    for (const auto& [k, f] : fonts_)
        if (k == key) return f.get();
    // Rounded toward zero: a font never grows faster than the box it is drawn in, so text
    // that fits at 96 DPI still fits at 144 or 192.
    int height = spec.height * dpi_ / 96;
    HFONT font = CreateFontW(height, 0, 0, 0, spec.bold ? FW_BOLD : FW_NORMAL, spec.italic, spec.underline, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, spec.name.c_str());
    if (!font) throw EOSError(L"Cannot create the font " + spec.name);
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
    HBITMAP bmp = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), resource.c_str(), IMAGE_BITMAP, 0, 0,
                                                  LR_CREATEDIBSECTION));
    if (!bmp) throw EResNotFound(L"Picture " + resource + L" not found in the program");
    bitmaps_[resource] = UniqueBitmap(bmp);
    return bmp;
}

// The button picture at the size the DPI asks for, in an image list the form owns.
HIMAGELIST TForm::ImageListFor(const std::wstring& resource, int size) {
    std::wstring key = resource + L"@" + std::to_wstring(size);
    auto it = imageLists_.find(key);
    if (it != imageLists_.end()) return it->second.get();
    HBITMAP source = BitmapFor(resource);
    BITMAP info{};
    GetObjectW(source, sizeof info, &info);
    HDC screen = GetDC(nullptr);
    HDC from = CreateCompatibleDC(screen);
    HDC to = CreateCompatibleDC(screen);
    UniqueBitmap scaled(CreateCompatibleBitmap(screen, size, size));
    HGDIOBJ oldFrom = SelectObject(from, source);
    HGDIOBJ oldTo = SelectObject(to, scaled.get());
    SetStretchBltMode(to, HALFTONE);
    StretchBlt(to, 0, 0, size, size, from, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    SelectObject(from, oldFrom);
    SelectObject(to, oldTo);
    DeleteDC(from);
    DeleteDC(to);
    ReleaseDC(nullptr, screen);
    HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR32, 1, 0);
    if (!list) throw EOSError(L"Cannot create the picture list");
    ImageList_Add(list, scaled.get(), nullptr);
    imageLists_[key] = UniqueImageList(list);
    return list;
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
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC res = FindResourceW(module, resourceName, MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!res) throw EResNotFound(L"Form description " + std::wstring(resourceName) + L" not found in the program");
    HGLOBAL data = LoadResource(module, res);
    const char* bytes = data ? static_cast<const char*>(LockResource(data)) : nullptr;
    if (!bytes) throw EResNotFound(L"Form description " + std::wstring(resourceName) + L" cannot be read");
    InitializeFromText(std::string(bytes, SizeofResource(module, res)), published);
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
    for (const auto& p : root.properties) {
        if (!SetProperty(p)) FailAt(p.line, L"'" + p.name + L"' does not apply to a form");
        if (p.name == L"OnCreate") {
            auto h = published.notify_.find(p.text);
            if (h == published.notify_.end()) FailAt(p.line, L"the form has no handler '" + p.text + L"'");
            OnCreate = h->second;
        }
    }
    // The window is created at the system DPI, then takes the DPI of the monitor it is on.
    SetDpi(static_cast<int>(dpi::ForSystem()));
    CreateHandle();
    SetDpi(static_cast<int>(dpi::ForWindow(hwnd_)));
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle()), FALSE);
    Populate(this, root, published);
    OrderTabs(this);
    for (const auto& [name, slot] : published.fields_)
        if (!FindControl(name)) FailAt(root.line, L"the description has no control '" + name + L"'");
    PlaceOnDesktop();
}

namespace {
std::unique_ptr<TControl> MakeControl(const std::wstring& cls, TComponent* owner) {
    if (cls == L"TGroupBox") return std::make_unique<TGroupBox>(owner);
    if (cls == L"TRadioGroup") return std::make_unique<TRadioGroup>(owner);
    if (cls == L"TLabel") return std::make_unique<TLabel>(owner);
    if (cls == L"TEdit") return std::make_unique<TEdit>(owner);
    if (cls == L"TButton") return std::make_unique<TButton>(owner);
    if (cls == L"TBitBtn") return std::make_unique<TBitBtn>(owner);
    if (cls == L"TProgressBar") return std::make_unique<TProgressBar>(owner);
    return nullptr;
}
}  // namespace

void TForm::Populate(TWinControl* parent, const FormNode& node, const TPublished& published) {
    for (const FormNode& child : node.children) {
        std::unique_ptr<TControl> made = MakeControl(child.className, this);
        if (!made) FailAt(child.line, L"unknown class '" + child.className + L"'");
        TControl* c = made.get();
        c->SetName(child.name);
        c->parent_ = parent;
        c->form_ = this;
        c->font_ = parent->font_;
        c->color_ = parent->color_;
        for (const auto& p : child.properties) {
            if (p.name == L"OnClick") {
                auto h = published.notify_.find(p.text);
                if (h == published.notify_.end()) FailAt(p.line, L"the form has no handler '" + p.text + L"'");
                c->OnClick = h->second;
            } else if (p.name == L"OnKeyPress") {
                auto h = published.keys_.find(p.text);
                auto* edit = dynamic_cast<TEdit*>(c);
                if (h == published.keys_.end() || !edit) FailAt(p.line, L"the form has no key handler '" + p.text + L"'");
                edit->OnKeyPress = h->second;
            } else if (!c->SetProperty(p)) {
                FailAt(p.line, L"'" + p.name + L"' does not apply to " + child.className);
            }
        }
        if (c->parentFont_) c->font_ = parent->font_;
        if (c->parentColor_) c->color_ = parent->color_;
        auto field = published.fields_.find(child.name);
        if (field != published.fields_.end()) {
            if (field->second.className != child.className)
                FailAt(child.line, L"'" + child.name + L"' must be a " + field->second.className + L", not a " + child.className);
            field->second.assign(c);
        }
        owned_.push_back(std::move(made));
        parent->AddChild(c);
        c->CreateHandle();
        if (c->Handle()) SendMessageW(c->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(c->FontHandle()), FALSE);
        if (const FormProperty* v = child.Find(L"Visible"); v && !v->IsTrue()) ShowWindow(c->Handle(), SW_HIDE);
        if (const FormProperty* e = child.Find(L"Enabled"); e && !e->IsTrue()) EnableWindow(c->Handle(), FALSE);
        if (auto* container = dynamic_cast<TWinControl*>(c); container && !dynamic_cast<TRadioGroup*>(c)) {
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
    std::stable_sort(ordered.begin(), ordered.end(), [](TControl* a, TControl* b) { return a->TabOrder() < b->TabOrder(); });
    HWND after = HWND_TOP;
    for (TControl* c : ordered) {
        SetWindowPos(c->Handle(), after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        after = c->Handle();
    }
}

LRESULT TForm::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CLOSE:
        // Closing hides the window and ends the application; the window and its controls are
        // destroyed only after the message loop has returned.
        Hide();
        if (Application->MainForm() == this) Application->Terminate();
        return 0;
    case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(hwnd_, &r);
        FillRect(reinterpret_cast<HDC>(wp), &r, BrushFor(color_));
        return 1;
    }
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(FontHandle());
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(lp);
        RECT r{0, 0, Scale(clientWidth_), Scale(clientHeight_)};
        dpi::AdjustRect(r, FormStyle(fixedBorder_), kFormExStyle, static_cast<UINT>(dpi_));
        // The limits never cut into the client area the description asks for.
        if (maxWidth_ > 0) info->ptMaxTrackSize.x = std::max<LONG>(Scale(maxWidth_), r.right - r.left);
        if (maxHeight_ > 0) info->ptMaxTrackSize.y = std::max<LONG>(Scale(maxHeight_), r.bottom - r.top);
        return 0;
    }
    case 0x02E0: {  // WM_DPICHANGED
        SetDpi(HIWORD(wp));
        ApplyScale();
        const RECT* suggested = reinterpret_cast<const RECT*>(lp);
        SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    default:
        break;
    }
    LRESULT result = 0;
    if (ReflectToChild(msg, wp, lp, result)) return result;
    return DefWindowProcW(hwnd_, msg, wp, lp);
}

// ---------------------------------------------------------------------------------------------

namespace {
void RegisterClasses() {
    static bool done = false;
    if (done) return;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    HINSTANCE inst = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /* IDC_ARROW */);

    wc.lpszClassName = kFormClass;
    wc.lpfnWndProc = &TControl::OwnWndProc;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.hIcon = LoadIconW(inst, L"MAINICON");
    RegisterClassExW(&wc);

    wc.hIcon = nullptr;
    wc.lpszClassName = kGroupClass;
    wc.lpfnWndProc = &TControl::OwnWndProc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    RegisterClassExW(&wc);

    wc.lpszClassName = kLabelClass;
    wc.lpfnWndProc = &TControl::OwnWndProc;
    RegisterClassExW(&wc);
    done = true;
}
}  // namespace
