#include "Edit.h"

#include <commctrl.h>

#include "Form.h"
#include "WindowProc.h"

bool TEdit::Apply(Prop id, const FormProperty& p) {
    switch (id) {
    case Prop::Text: text_ = p.text; return true;
    case Prop::Alignment: alignment_ = AlignmentOf(p); return true;
    case Prop::MaxLength: maxLength_ = static_cast<int>(p.integer); return true;
    default: return TControl::Apply(id, p);
    }
}

bool TEdit::SetOnKeyPress(TKeyPressEvent handler) {
    OnKeyPress = std::move(handler);
    return true;
}

void TEdit::CreateHandle() {
    const DWORD align = alignment_ == TAlignment::taCenter         ? ES_CENTER
                        : alignment_ == TAlignment::taRightJustify ? ES_RIGHT
                                                                   : ES_LEFT;
    CreateControlWindow({.className = WC_EDITW,
                         .text = text_,
                         .style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL | align,
                         .exStyle = WS_EX_CLIENTEDGE,
                         .bounds = ScaledBounds(),
                         .parent = parent_->Handle(),
                         .control = this,
                         .what = L"the edit " + Name().str()});
    // 0 lifts the edit's default limit of 32767 characters ("no length limit").
    SendMessageW(hwnd_, EM_SETLIMITTEXT, static_cast<WPARAM>(maxLength_), 0);
}

void TEdit::OnChar(wchar_t& key) {
    if (OnKeyPress) OnKeyPress(this, key);
}

// Black on the window colour, whatever the parent's colours are.
HBRUSH TEdit::OnColor(HDC dc) {
    const COLORREF back = GetSysColor(COLOR_WINDOW);
    SetTextColor(dc, font_.color);
    SetBkColor(dc, back);
    return form_->BrushFor(back);
}
