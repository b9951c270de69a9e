#include "BitBtn.h"

#include <commctrl.h>

#include "Form.h"

bool TBitBtn::Apply(Prop id, const FormProperty& p) {
    if (id != Prop::Glyph) return TButton::Apply(id, p);
    glyph_ = p.text;
    return true;
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
