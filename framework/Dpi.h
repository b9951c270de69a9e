// DPI services that newer Windows versions have; looked up at run time so the program still
// starts on Windows Vista and 7, where it falls back to the system DPI.
#pragma once

#include <windows.h>

namespace dpi {
void MakeProcessPerMonitorAware();
UINT ForWindow(HWND hwnd);
UINT ForSystem();
// Outer window rectangle for a client rectangle at the given DPI.
void AdjustRect(RECT& rect, DWORD style, DWORD exStyle, UINT dpi);
inline int Scale(int value, UINT dpi) { return MulDiv(value, static_cast<int>(dpi), 96); }
}  // namespace dpi
