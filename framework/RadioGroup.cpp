#include "RadioGroup.h"

#include <commctrl.h>

#include <algorithm>

#include "Form.h"
#include "WindowProc.h"

bool TRadioGroup::Apply(Prop id, const FormProperty& p) {
    switch (id) {
    case Prop::Items: items_.assign(p.items.begin(), p.items.end()); return true;
    case Prop::Columns: columns_ = static_cast<int>(p.integer); return true;
    case Prop::ItemIndex: itemIndex_ = static_cast<int>(p.integer); return true;
    default: return TGroupBox::Apply(id, p);
    }
}

HWND TRadioGroup::ItemHandle(int index) const {
    return index >= 0 && index < static_cast<int>(buttons_.size()) ? buttons_[static_cast<size_t>(index)]
                                                                   : nullptr;
}

void TRadioGroup::CreateHandle() {
    TGroupBox::CreateHandle();
    BuildButtons();
}

void TRadioGroup::BuildButtons() {
    for (HWND b : buttons_) DestroyWindow(b);
    buttons_.clear();
    for (size_t i = 0; i < items_.size(); ++i) {
        const DWORD first = i == 0 ? WS_GROUP : 0;
        buttons_.push_back(CreateControlWindow({.className = WC_BUTTONW,
                                                .text = items_[i].str(),
                                                .style = WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON | first,
                                                .parent = hwnd_,
                                                .what = L"the items of " + Name().str()}));
    }
    ArrangeButtons();
    UpdateChecks();
}

// Items fill the area under the caption in columns of equal width and rows of equal height.
void TRadioGroup::ArrangeButtons() {
    if (buttons_.empty()) return;
    HFONT font = FontHandle();
    const int count = static_cast<int>(buttons_.size());
    const int perColumn = (count + columns_ - 1) / columns_;
    RECT client;
    GetClientRect(hwnd_, &client);
    const int captionHeight = CaptionHeight();
    const int buttonWidth = (client.right - Scale(10)) / columns_;
    const int room = client.bottom - captionHeight - Scale(5);
    const int buttonHeight = room / perColumn;
    const int topMargin = captionHeight + Scale(1) + (room % perColumn) / 2;
    for (int i = 0; i < count; ++i) {
        HWND b = buttons_[static_cast<size_t>(i)];
        SendMessageW(b, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        SetWindowPos(b, nullptr, (i / perColumn) * buttonWidth + Scale(8),
                     (i % perColumn) * buttonHeight + topMargin, buttonWidth, buttonHeight,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    InvalidateRect(hwnd_, nullptr, TRUE);
}

// The checked item is the group's only tab stop, so Tab enters the group at the selection.
void TRadioGroup::UpdateChecks() {
    for (size_t i = 0; i < buttons_.size(); ++i) {
        const bool checked = static_cast<int>(i) == itemIndex_;
        SendMessageW(buttons_[i], BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
        LONG_PTR style = GetWindowLongPtrW(buttons_[i], GWL_STYLE);
        const bool stop = checked || (itemIndex_ < 0 && i == 0);
        style = stop ? (style | WS_TABSTOP) : (style & ~static_cast<LONG_PTR>(WS_TABSTOP));
        SetWindowLongPtrW(buttons_[i], GWL_STYLE, style);
    }
}

bool TRadioGroup::OnItemCommand(HWND item, WORD code) {
    const auto it = std::find(buttons_.begin(), buttons_.end(), item);
    if (it == buttons_.end()) return false;
    const int index = static_cast<int>(it - buttons_.begin());
    if (code == BN_CLICKED && index != itemIndex_) {
        itemIndex_ = index;
        UpdateChecks();
        if (OnClick) OnClick(this);
    }
    return true;
}

// The items in the group's colours and the group's font colour.
HBRUSH TRadioGroup::OnItemColor(HWND, HDC dc) {
    SetBkColor(dc, color_);
    SetTextColor(dc, font_.color);
    return form_->BrushFor(color_);
}

void TRadioGroup::ApplyScale() {
    TGroupBox::ApplyScale();
    ArrangeButtons();
}
