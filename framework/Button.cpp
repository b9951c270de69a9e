#include "Button.h"

#include <commctrl.h>

#include "WindowProc.h"

bool TButton::Apply(Prop id, const FormProperty& p) {
    if (id == Prop::Default) return true;  // Enter is the dialog manager's; nothing to keep
    return TControl::Apply(id, p);
}

void TButton::CreateHandle() {
    CreateControlWindow({.className = WC_BUTTONW,
                         .text = text_,
                         .style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON,
                         .bounds = ScaledBounds(),
                         .parent = parent_->Handle(),
                         .control = this,
                         .what = L"the button " + Name().str()});
}

bool TButton::OnCommand(WORD code) {
    if (code != BN_CLICKED) return false;
    if (OnClick) OnClick(this);
    return true;
}
