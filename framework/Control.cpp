#include "Control.h"

#include <algorithm>

#include "Dpi.h"
#include "Form.h"

COLORREF ColorOf(const FormProperty& p) {
    if (p.kind == FormValueKind::Integer) return static_cast<COLORREF>(p.integer);  // $00BBGGRR
    const std::optional<NamedColor> named = FindNamedColor(p.text);
    if (!named) return GetSysColor(COLOR_WINDOWTEXT);
    return named->system ? GetSysColor(static_cast<int>(named->value)) : named->value;
}

TAlignment AlignmentOf(const FormProperty& p) {
    if (p.text == L"taCenter") return TAlignment::taCenter;
    if (p.text == L"taRightJustify") return TAlignment::taRightJustify;
    return TAlignment::taLeftJustify;
}

TControl::~TControl() {
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

int TControl::Scale(int v) const { return dpi::Scale(v, form_ ? form_->PixelsPerInch() : 96); }

RECT TControl::ScaledBounds() const {
    RECT r{Scale(left_), Scale(top_), 0, 0};
    r.right = r.left + Scale(width_);
    r.bottom = r.top + Scale(height_);
    return r;
}

HFONT TControl::FontHandle() const { return form_ ? form_->FontFor(font_) : nullptr; }

UnicodeString TControl::Caption() const {
    if (!hwnd_) return UnicodeString(text_);
    const int len = GetWindowTextLengthW(hwnd_);
    std::wstring buffer(static_cast<size_t>(len) + 1, L'\0');
    const int got = GetWindowTextW(hwnd_, buffer.data(), len + 1);
    buffer.resize(static_cast<size_t>(got > 0 ? got : 0));
    return UnicodeString(std::move(buffer));
}

void TControl::SetCaption(const UnicodeString& text) {
    text_ = text.str();
    // Our own controls hear of the change through WM_SETTEXT, as they do when others set it.
    if (hwnd_)
        SetWindowTextW(hwnd_, text_.c_str());
    else
        TextChanged();
}

void TControl::ApplyScale() {
    if (!hwnd_) return;
    const RECT r = ScaledBounds();
    SetWindowPos(hwnd_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle()), TRUE);
}

bool TControl::Apply(Prop id, const FormProperty& p) {
    const int value = static_cast<int>(p.integer);
    auto has = [&p](const wchar_t* style) {
        return std::find(p.items.begin(), p.items.end(), style) != p.items.end();
    };
    switch (id) {
    case Prop::Left: left_ = value; break;
    case Prop::Top: top_ = value; break;
    case Prop::Width: width_ = value; break;
    case Prop::Height: height_ = value; break;
    case Prop::TabOrder: tabOrder_ = value; break;
    case Prop::Caption: text_ = p.text; break;
    case Prop::FontName:
        font_.name = p.text;
        parentFont_ = false;
        break;
    case Prop::FontHeight:
        font_.height = value;
        parentFont_ = false;
        break;
    case Prop::FontColor:
        font_.color = ColorOf(p);
        parentFont_ = false;
        break;
    case Prop::FontStyle:
        font_.bold = has(L"fsBold");
        font_.italic = has(L"fsItalic");
        font_.underline = has(L"fsUnderline");
        parentFont_ = false;
        break;
    case Prop::FontCharset: break;  // every font uses the default character set
    case Prop::ParentFont: parentFont_ = p.IsTrue(); break;
    case Prop::Color:
        color_ = ColorOf(p);
        parentColor_ = false;
        break;
    case Prop::ParentColor: parentColor_ = p.IsTrue(); break;
    case Prop::Visible:
    case Prop::Enabled:
    case Prop::TabStop: break;  // applied by the loader once the window exists
    default: return false;
    }
    return true;
}

void TWinControl::ApplyScale() {
    TControl::ApplyScale();
    for (TControl* c : children_) c->ApplyScale();
}
