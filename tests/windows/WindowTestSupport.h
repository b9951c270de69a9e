// Small helpers shared by the window test programs.
#pragma once

#include <windows.h>

#include <string>

#include "Forms.h"

namespace windowtest {

// The text of any window, ours or a stock control.
inline std::wstring WindowText(HWND hwnd) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

// Lets posted messages and the repaints they cause run through the application's loop.
inline void Pump() {
    for (int i = 0; i < 3; ++i) {
        Application->ProcessMessages();
        Sleep(10);
    }
}

}  // namespace windowtest
