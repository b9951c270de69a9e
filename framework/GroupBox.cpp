#include "GroupBox.h"

#include "Form.h"
#include "UniqueHandle.h"
#include "WindowProc.h"

void TGroupBox::CreateHandle() {
    CreateControlWindow({.className = kGroupClass,
                         .text = text_,
                         .style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS,
                         .exStyle = WS_EX_CONTROLPARENT,
                         .bounds = ScaledBounds(),
                         .parent = parent_->Handle(),
                         .control = this,
                         .what = L"the frame " + Name().str()});
}

void TGroupBox::TextChanged() {
    if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
}

int TGroupBox::CaptionHeight() const {
    const WindowDc dc(hwnd_);
    const SelectedObject font(dc.dc(), FontHandle());
    TEXTMETRICW tm{};
    GetTextMetricsW(dc.dc(), &tm);
    return tm.tmHeight;
}

void TGroupBox::Paint(HDC dc) {
    RECT client;
    GetClientRect(hwnd_, &client);
    HBRUSH back = form_->BrushFor(color_);
    FillRect(dc, &client, back);

    const SelectedObject font(dc, FontHandle());
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    RECT frame = client;
    frame.top += tm.tmHeight / 2;
    DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);

    const std::wstring text = Caption().str();
    if (text.empty()) return;
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
