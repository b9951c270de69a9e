#include "Label.h"

#include "Form.h"
#include "UniqueHandle.h"
#include "WindowProc.h"

bool TLabel::Apply(Prop id, const FormProperty& p) {
    switch (id) {
    case Prop::Alignment: alignment_ = AlignmentOf(p); return true;
    case Prop::Layout:
        layout_ = p.text == L"tlCenter"   ? TTextLayout::tlCenter
                  : p.text == L"tlBottom" ? TTextLayout::tlBottom
                                          : TTextLayout::tlTop;
        return true;
    case Prop::WordWrap: wordWrap_ = p.IsTrue(); return true;
    case Prop::AutoSize: autoSize_ = p.IsTrue(); return true;
    case Prop::Transparent: transparent_ = p.IsTrue(); return true;
    default: return TControl::Apply(id, p);
    }
}

void TLabel::CreateHandle() {
    CreateControlWindow({.className = kLabelClass,
                         .text = text_,
                         .bounds = ScaledBounds(),
                         .parent = parent_->Handle(),
                         .control = this,
                         .what = L"the label " + Name().str()});
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
    const SelectedObject font(dc, FontHandle());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, font_.color);
    const std::wstring text = Caption().str();
    RECT textRect = client;
    if (layout_ != TTextLayout::tlTop) {
        // Vertical placement needs the height of the laid-out text first.
        RECT measure = client;
        DrawTextW(dc, text.c_str(), -1, &measure, DrawFlags() | DT_CALCRECT);
        const int spare = (client.bottom - client.top) - (measure.bottom - measure.top);
        textRect.top += layout_ == TTextLayout::tlCenter ? spare / 2 : spare;
    }
    DrawTextW(dc, text.c_str(), -1, &textRect, DrawFlags());
}

void TLabel::TextChanged() {
    AdjustSize();
    if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
}

void TLabel::AdjustSize() {
    if (!autoSize_ || !hwnd_ || !form_) return;
    RECT r{0, 0, wordWrap_ ? Scale(width_) : 0, 0};
    {
        const WindowDc dc(hwnd_);
        const SelectedObject font(dc.dc(), FontHandle());
        const std::wstring text = Caption().str();
        if (text.empty()) {
            TEXTMETRICW tm{};
            GetTextMetricsW(dc.dc(), &tm);
            r.bottom = tm.tmHeight;
        } else {
            DrawTextW(dc.dc(), text.c_str(), -1, &r, DrawFlags() | DT_CALCRECT);
        }
    }
    const int dpiValue = form_->PixelsPerInch();
    if (!wordWrap_) width_ = MulDiv(r.right - r.left, 96, dpiValue);
    height_ = MulDiv(r.bottom - r.top, 96, dpiValue);
    RECT bounds = ScaledBounds();
    if (!wordWrap_) bounds.right = bounds.left + (r.right - r.left);
    bounds.bottom = bounds.top + (r.bottom - r.top);
    SetWindowPos(hwnd_, nullptr, bounds.left, bounds.top, bounds.right - bounds.left,
                 bounds.bottom - bounds.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TLabel::ApplyScale() {
    TControl::ApplyScale();
    AdjustSize();
}
