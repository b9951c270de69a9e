// Programs and libraries from the system folder only. The installer is started where the
// browser put it, beside files that any web page may have left there, and Windows looks for a
// program or a library in the program's own folder (and the current folder) first.
#pragma once

#include <windows.h>

#include <string>

namespace systemfolder {

// From now on the process loads libraries named without a path from the system folder alone.
// Called first thing at start, before any library is loaded.
void RestrictLibrarySearch() noexcept;

// `name` in the system folder, as a full path ("C:\Windows\system32\cmd.exe"); empty when the
// system does not say where that folder is. A 32-bit program on 64-bit Windows gets the 32-bit
// one through the system's own redirection.
std::wstring PathOf(const wchar_t* name);

// The library `name`, loaded from the system folder alone; null when it is not there.
HMODULE Library(const wchar_t* name);

// The function `name` of the system library `library`; null where this Windows has no such
// library or function.
template <typename F>
F Function(const wchar_t* library, const char* name) {
    const HMODULE module = Library(library);
    return module ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

}  // namespace systemfolder
