#include "Dpi.h"

#include "UniqueHandle.h"

namespace {
template <typename F>
F Lookup(const wchar_t* module, const char* name) {
    HMODULE m = GetModuleHandleW(module);
    if (!m) m = LoadLibraryW(module);
    return m ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name))) : nullptr;
}
}  // namespace

namespace dpi {

void MakeProcessPerMonitorAware() {
    // The manifest asks for this already; the call covers systems that read only part of it.
    using SetCtx = BOOL(WINAPI*)(HANDLE);
    if (auto set = Lookup<SetCtx>(L"user32.dll", "SetProcessDpiAwarenessContext")) {
        set(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)));  // PER_MONITOR_AWARE_V2
        return;
    }
    using SetAware = BOOL(WINAPI*)();
    if (auto aware = Lookup<SetAware>(L"user32.dll", "SetProcessDPIAware")) aware();
}

UINT ForSystem() {
    using GetSys = UINT(WINAPI*)();
    if (auto get = Lookup<GetSys>(L"user32.dll", "GetDpiForSystem")) return get();
    const WindowDc screen(nullptr);
    const UINT value = screen.dc() ? static_cast<UINT>(GetDeviceCaps(screen.dc(), LOGPIXELSY)) : 96;
    return value ? value : 96;
}

UINT ForWindow(HWND hwnd) {
    using GetWin = UINT(WINAPI*)(HWND);
    if (auto get = Lookup<GetWin>(L"user32.dll", "GetDpiForWindow")) {
        UINT value = get(hwnd);
        if (value) return value;
    }
    return ForSystem();
}

void AdjustRect(RECT& rect, DWORD style, DWORD exStyle, UINT dpiValue) {
    using Adjust = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    if (auto adjust = Lookup<Adjust>(L"user32.dll", "AdjustWindowRectExForDpi")) {
        if (adjust(&rect, style, FALSE, exStyle, dpiValue)) return;
    }
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
}

}  // namespace dpi
