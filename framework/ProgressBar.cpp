#include "ProgressBar.h"

#include <commctrl.h>

#include <algorithm>

#include "WindowProc.h"

bool TProgressBar::Apply(Prop id, const FormProperty& p) {
    const int value = static_cast<int>(p.integer);
    switch (id) {
    case Prop::Min: min_ = value; return true;
    case Prop::Max: max_ = value; return true;
    case Prop::Position: position_ = value; return true;
    default: return TControl::Apply(id, p);
    }
}

void TProgressBar::CreateHandle() {
    CreateControlWindow({.className = PROGRESS_CLASSW,
                         .bounds = ScaledBounds(),
                         .parent = parent_->Handle(),
                         .control = this,
                         .what = L"the progress bar " + Name().str()});
    SendMessageW(hwnd_, PBM_SETRANGE32, static_cast<WPARAM>(min_), static_cast<LPARAM>(max_));
    SendMessageW(hwnd_, PBM_SETPOS, static_cast<WPARAM>(position_), 0);
}

void TProgressBar::SetPosition(int position) {
    position_ = std::clamp(position, min_, max_);
    if (hwnd_) SendMessageW(hwnd_, PBM_SETPOS, static_cast<WPARAM>(position_), 0);
}
