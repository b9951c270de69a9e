// The real program as a separate process: it ends with exit code 0 after a normal close and
// after a start-up failure that it reported in an error box; started from a Downloads folder
// with someone else's programs and libraries beside it, it runs and loads none of them.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ExpectedTexts.h"
#include "net/LocalAddress.h"
#include "install_test_support.h"

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
    explicit Program(const std::wstring& exe, const wchar_t* currentDir = nullptr) {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        std::wstring line = L"\"" + exe + L"\"";
        started_ = CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, currentDir,
                                  &si, &pi_);
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

// A text of another process's window, asked with a bound so a hung window cannot hang the test.
std::wstring TextOf(HWND hwnd) {
    wchar_t text[1024] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(hwnd, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                        5000, &copied);
    return text;
}

struct Child {
    std::wstring className, text;
    HWND hwnd;
};

BOOL CALLBACK AddChild(HWND h, LPARAM lp) {
    wchar_t cls[64] = {};
    GetClassNameW(h, cls, 64);
    reinterpret_cast<std::vector<Child>*>(lp)->push_back({cls, TextOf(h), h});
    return TRUE;
}

std::vector<Child> Children(HWND main) {
    std::vector<Child> out;
    EnumChildWindows(main, AddChild, reinterpret_cast<LPARAM>(&out));
    return out;
}

HWND Find(HWND main, const wchar_t* className, const std::wstring& text = {}) {
    for (const Child& c : Children(main))
        if (c.className == className && (text.empty() || c.text == text)) return c.hwnd;
    return nullptr;
}

// Someone else's files where the browser put the installer: a cmd.exe, an iphlpapi.dll and a
// shcore.dll that each leave "<name>.ran" when run or loaded, beside the program and in the
// folder it is started in. Under Wine the test runs with WINEDLLOVERRIDES preferring such
// libraries to Wine's own ("iphlpapi,shcore=n,b"), as Windows would take them; Wine reads that
// when a process starts, so it is set for this whole program (CMakeLists.txt). The program is
// the installer with the recording stand-in as its bridge client.
class Downloads : public ::testing::Test {
protected:
    void SetUp() override {
        const bool underWine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
        const char* overrides = std::getenv("WINEDLLOVERRIDES");
        if (underWine) {
            ASSERT_TRUE(overrides && std::strstr(overrides, "iphlpapi,shcore=n,b"))
                << "run with WINEDLLOVERRIDES=\"iphlpapi,shcore=n,b\": Wine would not load the planted "
                   "libraries";
        }
        for (const std::wstring& dir : {program_, current_}) {
            ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
            ASSERT_TRUE(CopyFileW(KAVORIN_PLANTED_PROGRAM, (dir + L"\\cmd.exe").c_str(), FALSE));
            for (const wchar_t* library : {L"\\iphlpapi.dll", L"\\shcore.dll"})
                ASSERT_TRUE(CopyFileW(KAVORIN_PLANTED_LIBRARY, (dir + library).c_str(), FALSE));
        }
        ASSERT_TRUE(CopyFileW(KAVORIN_RECORDING_EXE, installer_.c_str(), FALSE));
        installtest::SetEnv(L"KAVORIN_RECORDER_JOURNAL", journal_.c_str());
    }
    void TearDown() override { installtest::SetEnv(L"KAVORIN_RECORDER_JOURNAL", nullptr); }
    // The markers of whatever planted file ran.
    std::vector<std::wstring> Markers() const {
        std::vector<std::wstring> found;
        for (const std::wstring& dir : {program_, current_})
            for (const std::wstring& name : installtest::ListDir(dir))
                if (name.ends_with(L".ran")) found.push_back(dir + L"\\" + name);
        return found;
    }
    static std::string Joined(const std::vector<std::wstring>& names) {
        std::string out;
        for (const std::wstring& name : names) out += ToUtf8(name) + " ";
        return out;
    }

    installtest::ScratchDir scratch_{L"downloads"};
    const std::wstring program_ = scratch_ / L"Downloads", current_ = scratch_ / L"elsewhere";
    const std::wstring installer_ = program_ + L"\\KavorinInstaller.exe",
                       journal_ = scratch_ / L"journal.txt";
};

TEST_F(Downloads, NoPlantedLibraryIsLoaded) {
    Program p(installer_, current_.c_str());
    ASSERT_TRUE(p.started());
    HWND main = WaitForWindow(p.pid(), L"KavorinForm", p.process());
    ASSERT_NE(main, nullptr) << "the window did not appear";
    EXPECT_EQ(Joined(Markers()), "");
    // The address label holds what the system lists, not the planted library's empty list.
    const std::wstring addresses = GetLocalAddressText().str();
    if (!addresses.empty()) {
        EXPECT_NE(Find(main, L"KavorinLabel", addresses), nullptr) << ToUtf8(addresses);
    }
    const char* dpi = std::getenv("KAVORIN_EXPECT_DPI");
    const int d = dpi ? std::atoi(dpi) : 96;
    RECT client{};
    GetClientRect(main, &client);
    EXPECT_EQ(client.right, MulDiv(844, d, 96));
    EXPECT_EQ(client.bottom, MulDiv(599, d, 96));
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(p.ExitCode(20000), 0u);
    EXPECT_EQ(Joined(Markers()), "");
}

TEST_F(Downloads, InstallRunsTheSystemsInterpreter) {
    Program p(installer_, current_.c_str());
    ASSERT_TRUE(p.started());
    HWND main = WaitForWindow(p.pid(), L"KavorinForm", p.process());
    ASSERT_NE(main, nullptr) << "the window did not appear";
    HWND address = Find(main, WC_EDITW),
         install = Find(main, WC_BUTTONW, expected::Text("InstallButtonCaption", 0));
    ASSERT_TRUE(address && install);
    SendMessageTimeoutW(address, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"127.0.0.1"), SMTO_ABORTIFHUNG,
                        5000, nullptr);
    PostMessageW(install, BM_CLICK, 0, 0);
    // Eleven commands under emulation on a busy machine: minutes at worst.
    const std::wstring &done = expected::Text("DoneText", 0), &failed = expected::Text("FailedText", 0);
    for (int i = 0; i < 3000 && !Find(main, L"KavorinLabel", done) && !Find(main, L"KavorinLabel", failed);
         ++i)
        if (WaitForSingleObject(p.process(), 100) == WAIT_OBJECT_0) break;
    EXPECT_NE(Find(main, L"KavorinLabel", done), nullptr) << "the run did not end with the done text";
    DWORD_PTR bar = 0;
    SendMessageTimeoutW(Find(main, PROGRESS_CLASSW), PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 5000, &bar);
    EXPECT_EQ(bar, 100u);
    EXPECT_EQ(Joined(Markers()), "");
    // Every command reached the bridge client, through the system's cmd.exe, in the current folder.
    const std::vector<installtest::Call> calls = installtest::ReadJournal(journal_);
    EXPECT_EQ(calls.size(), 11u);
    for (const installtest::Call& call : calls) EXPECT_EQ(call.cwd, current_);
    EXPECT_TRUE(installtest::IsFile(current_ + L"\\doLog\\step7.txt"));
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(p.ExitCode(20000), 0u);
}

}  // namespace
