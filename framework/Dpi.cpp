#include "Dpi.h"

#include "SystemFolder.h"
#include "UniqueHandle.h"

namespace dpi {

void MakeProcessPerMonitorAware() {
    // The manifest asks for this already; the call covers systems that read only part of it.
    using SetCtx = BOOL(WINAPI*)(HANDLE);
    if (auto set = systemfolder::Function<SetCtx>(L"user32.dll", "SetProcessDpiAwarenessContext")) {
        set(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)));  // PER_MONITOR_AWARE_V2
        return;
    }
    using SetAware = BOOL(WINAPI*)();
    if (auto aware = systemfolder::Function<SetAware>(L"user32.dll", "SetProcessDPIAware")) aware();
}

UINT ForSystem() {
    using GetSys = UINT(WINAPI*)();
    if (auto get = systemfolder::Function<GetSys>(L"user32.dll", "GetDpiForSystem")) return get();
    const WindowDc screen(nullptr);
    const UINT value = screen.dc() ? static_cast<UINT>(GetDeviceCaps(screen.dc(), LOGPIXELSY)) : 96;
    return value ? value : 96;
}

UINT ForWindow(HWND hwnd) {
    using GetWin = UINT(WINAPI*)(HWND);
    if (auto get = systemfolder::Function<GetWin>(L"user32.dll", "GetDpiForWindow")) {
        UINT value = get(hwnd);
        if (value) return value;
    }
    return ForSystem();
}

void AdjustRect(RECT& rect, DWORD style, DWORD exStyle, UINT dpiValue) {
    using Adjust = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    if (auto adjust = systemfolder::Function<Adjust>(L"user32.dll", "AdjustWindowRectExForDpi")) {
        if (adjust(&rect, style, FALSE, exStyle, dpiValue)) return;
    }
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
}

}  // namespace dpi
