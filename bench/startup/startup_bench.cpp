// Times process start to the first painted window: CreateProcess until the program's first
// top-level window is visible and its message loop has gone idle (it has painted and waits for
// input). Runs the programs in turn, several times, and prints medians and the installer's ratio
// to each yardstick: the minimal window, and (when given) the same controls made straight on
// Win32, which shows how much of the difference the controls cost by themselves.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Search {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK MatchVisible(HWND h, LPARAM lp) {
    auto* search = reinterpret_cast<Search*>(lp);
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    if (owner == search->pid && IsWindowVisible(h) && GetWindowTextLengthW(h) > 0) {
        search->found = h;
        return FALSE;
    }
    return TRUE;
}

HWND VisibleWindowOf(DWORD pid) {
    Search s{pid, nullptr};
    EnumWindows(MatchVisible, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

// Milliseconds to the first painted window, or -1.
double TimeOne(const std::wstring& exe) {
    LARGE_INTEGER freq, start, end;
    QueryPerformanceFrequency(&freq);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring line = L"\"" + exe + L"\"";
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1;
    HWND hwnd = nullptr;
    for (int i = 0; i < 30000 && !hwnd; ++i) {
        hwnd = VisibleWindowOf(pi.dwProcessId);
        if (!hwnd) Sleep(1);
    }
    WaitForInputIdle(pi.hProcess, 30000);
    QueryPerformanceCounter(&end);
    if (hwnd) PostMessageW(hwnd, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return hwnd ? 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                      static_cast<double>(freq.QuadPart)
                : -1;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fwprintf(
            stderr,
            L"usage: startup_bench <installer.exe> <minimal_window.exe> [runs] [controls_window.exe]\n");
        return 2;
    }
    const int runs = argc > 3 ? _wtoi(argv[3]) : 7;
    const bool controls = argc > 4;
    std::vector<double> installer, minimal, same;
    TimeOne(argv[2]);  // warm-up: the first start in a prefix loads more than later ones
    for (int i = 0; i < runs; ++i) {
        installer.push_back(TimeOne(argv[1]));
        minimal.push_back(TimeOne(argv[2]));
        if (controls) same.push_back(TimeOne(argv[4]));
    }
    const double a = Median(installer), b = Median(minimal), c = Median(same);
    std::wprintf(L"start to first painted window, median of %d runs:\n", runs);
    std::wprintf(L"  installer       %8.1f ms\n  minimal window  %8.1f ms\n", a, b);
    if (controls) std::wprintf(L"  same controls   %8.1f ms\n", c);
    std::wprintf(L"  ratio           %8.2f\n", b > 0 ? a / b : 0.0);
    if (controls) {
        std::wprintf(L"  same controls to minimal window   %8.2f\n", b > 0 ? c / b : 0.0);
        std::wprintf(L"  installer to same controls        %8.2f\n", c > 0 ? a / c : 0.0);
    }
    return 0;
}
