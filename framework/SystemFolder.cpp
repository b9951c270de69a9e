#include "SystemFolder.h"

namespace systemfolder {

void RestrictLibrarySearch() noexcept {
    // Windows 8 and later, and Vista and 7 with update KB2533623: system folder only. kernel32 is
    // loaded in every process, so asking it loads nothing.
    using SetDefault = BOOL(WINAPI*)(DWORD);
    const auto setDefault = reinterpret_cast<SetDefault>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
    // Older systems: at least the current folder drops out of the search.
    ::SetDllDirectoryW(L"");
}

std::wstring PathOf(const wchar_t* name) {
    wchar_t folder[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return std::wstring(folder, length) + L"\\" + name;
}

HMODULE Library(const wchar_t* name) {
    if (const HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return module;
    // A system without that flag refuses it as a bad parameter: name the file by its full path
    // then, and let its own imports be looked for beside it.
    if (::GetLastError() != ERROR_INVALID_PARAMETER) return nullptr;
    const std::wstring path = PathOf(name);
    return path.empty() ? nullptr : ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace systemfolder
