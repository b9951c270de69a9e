// A file that someone else left in the Downloads folder, built as a program (planted as cmd.exe)
// and as a library (planted as iphlpapi.dll and shcore.dll). Whenever Windows runs or loads it,
// it leaves "<its own path>.ran" beside itself, and does nothing else.
#include <windows.h>

namespace {

void LeaveMarker(HMODULE self) {
    wchar_t path[MAX_PATH + 8];
    const DWORD length = ::GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    ::lstrcatW(path, L".ran");
    const HANDLE marker = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (marker != INVALID_HANDLE_VALUE) ::CloseHandle(marker);
}

}  // namespace

#ifdef KAVORIN_PLANTED_LIBRARY
extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) LeaveMarker(self);
    return TRUE;
}

// As iphlpapi.dll: the one function the installer takes from that library, answering "no
// adapters", so a program that imports it still starts.
extern "C" __declspec(dllexport) ULONG WINAPI GetAdaptersAddresses(ULONG, ULONG, void*, void*, ULONG*) {
    return ERROR_NO_DATA;
}
#else
int wmain() {
    LeaveMarker(nullptr);
    return 0;
}
#endif
