// The real program as a separate process: it ends with exit code 0 after a normal close and
// after a start-up failure that it reported in an error box.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

struct Found {
    DWORD pid;
    const wchar_t* className;  // nullptr: any class
    HWND hwnd;
};

// Named callbacks: a lambda cannot be a stdcall function pointer in the 32-bit build.
BOOL CALLBACK MatchTopWindow(HWND h, LPARAM lp) {
    auto* found = reinterpret_cast<Found*>(lp);
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    wchar_t cls[64] = {};
    GetClassNameW(h, cls, 64);
    if (owner == found->pid && IsWindowVisible(h) &&
        (!found->className || wcscmp(cls, found->className) == 0)) {
        found->hwnd = h;
        return FALSE;
    }
    return TRUE;
}

HWND FindTopWindow(DWORD pid, const wchar_t* className) {
    Found f{pid, className, nullptr};
    EnumWindows(MatchTopWindow, reinterpret_cast<LPARAM>(&f));
    return f.hwnd;
}

HWND WaitForWindow(DWORD pid, const wchar_t* className, HANDLE process) {
    for (int i = 0; i < 600; ++i) {
        if (HWND h = FindTopWindow(pid, className)) return h;
        if (WaitForSingleObject(process, 50) == WAIT_OBJECT_0) return nullptr;
    }
    return nullptr;
}

BOOL CALLBACK AppendText(HWND h, LPARAM lp) {
    wchar_t buffer[1024];
    int n = GetWindowTextW(h, buffer, 1024);
    reinterpret_cast<std::wstring*>(lp)->append(buffer, static_cast<size_t>(n > 0 ? n : 0)).append(L"\n");
    return TRUE;
}

std::wstring AllText(HWND dialog) {
    std::wstring out;
    EnumChildWindows(dialog, AppendText, reinterpret_cast<LPARAM>(&out));
    return out;
}

class Program {
public:
    explicit Program(const wchar_t* exe) {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        std::wstring line = L"\"" + std::wstring(exe) + L"\"";
        started_ =
            CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_);
    }
    ~Program() {
        if (!started_) return;
        if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 99);
        CloseHandle(pi_.hThread);
        CloseHandle(pi_.hProcess);
    }
    bool started() const { return started_; }
    DWORD pid() const { return pi_.dwProcessId; }
    HANDLE process() const { return pi_.hProcess; }
    // Exit code once it has ended within the time, or STILL_ACTIVE.
    DWORD ExitCode(DWORD ms) const {
        WaitForSingleObject(pi_.hProcess, ms);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(pi_.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION pi_{};
    bool started_ = false;
};

TEST(Program, ClosingTheWindowEndsWithExitCodeZero) {
    Program p(KAVORIN_PLAIN_EXE);
    ASSERT_TRUE(p.started());
    HWND main = WaitForWindow(p.pid(), L"KavorinForm", p.process());
    ASSERT_NE(main, nullptr) << "the window did not appear";
    wchar_t caption[64];
    GetWindowTextW(main, caption, 64);
    EXPECT_STREQ(caption, L"KAVORIN Tizen Installer");
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(p.ExitCode(20000), 0u);
}

TEST(Program, StartupFailureShowsTheErrorThenEndsWithZero) {
    Program p(KAVORIN_BROKEN_EXE);
    ASSERT_TRUE(p.started());
    HWND box = WaitForWindow(p.pid(), L"#32770", p.process());
    ASSERT_NE(box, nullptr) << "no error box";
    std::wstring text = AllText(box);
    EXPECT_NE(text.find(L"line 9"), std::wstring::npos) << "the box names the broken line";
    EXPECT_NE(text.find(L"Heigth"), std::wstring::npos);
    EXPECT_EQ(FindTopWindow(p.pid(), L"KavorinForm"), nullptr) << "no half-built window";
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(p.ExitCode(20000), 0u);
}

}  // namespace
