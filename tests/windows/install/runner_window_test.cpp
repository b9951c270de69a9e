// The command runner with the window up: it waits for the child, keeps the window answering
// and painting, leaves when the application quits, and shows no console.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "ExpectedBar.h"
#include "ExpectedTexts.h"
#include "MessageWait.h"
#include "install/Payloads.h"
#include "install/CommandRunner.h"
#include "install_test_support.h"

using namespace installtest;

namespace {

using Clock = std::chrono::steady_clock;

class Runner : public InstallWindow {
protected:
    void SetUp() override {
        InstallWindow::SetUp();
        // The recording stand-in, written where a command can name it as "iu.exe".
        ExtractResourceToFile(L"iu.exe", L"IUFILE");
    }
    // A command that takes `ms` and then writes "connected to ..." into out.txt.
    static std::wstring SlowCommand(int ms) {
        SetEnv(L"KAVORIN_RECORDER_SLEEP_MS", std::to_wstring(ms).c_str());
        return L"cmd.exe /c \"iu.exe connect 127.0.0.1:26101 > out.txt\"";
    }
    // A connect to a TV that stopped answering, by a client that never gives up and has started
    // a child of its own: the interpreter, the client and its child.
    static std::wstring HungCommand() {
        SetEnv(L"KAVORIN_RECORDER_HANG_ON", L"connect");
        return L"cmd.exe /c \"iu.exe connect 127.0.0.1:26101 > out.txt\"";
    }
};

// Visible top-level windows of other processes (a console would be one).
BOOL CALLBACK CollectForeignVisible(HWND hwnd, LPARAM lp) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != GetCurrentProcessId() && IsWindowVisible(hwnd)) {
        wchar_t cls[128] = L"";
        GetClassNameW(hwnd, cls, 128);
        reinterpret_cast<std::vector<std::wstring>*>(lp)->push_back(cls);
    }
    return TRUE;
}

std::vector<std::wstring> ForeignVisibleWindows() {
    std::vector<std::wstring> found;
    EnumWindows(CollectForeignVisible, reinterpret_cast<LPARAM>(&found));
    return found;
}

// The wait of a system before Windows 8, which refuses the touch and pointer bits of the mask.
std::vector<DWORD> g_wakeMasks;
DWORD WINAPI WaitBeforeWindows8(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD ms, DWORD mask) {
    g_wakeMasks.push_back(mask);
    if (mask & ~0x04FFu) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    return MsgWaitForMultipleObjects(count, handles, waitAll, ms, mask);
}

}  // namespace

TEST_F(Runner, EmptyOrUnstartableLineReturnsAtOnceWithoutDispatching) {
    const UINT probe = WM_APP + 11;
    PostMessageW(form().Handle(), probe, 0, 0);
    RunCommandAndWait(L"");
    EXPECT_EQ(RunCommandWithin(L"no-such-program-kavorin.exe", 60000), CommandEnd::NotStarted);
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, form().Handle(), probe, probe, PM_REMOVE))
        << "a failed start must not pump messages";
}

TEST_F(Runner, QuickCommandHasFinishedWhenTheCallReturns) {
    EXPECT_EQ(RunCommandWithin(L"cmd.exe /c \"echo ready> quick.txt\"", 60000), CommandEnd::Ended);
    const auto text = ReadBytes(Work(L"quick.txt"));
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, "ready\r\n");
    // The same through the stand-in: its output lands before the call returns.
    RunCommandAndWait(SlowCommand(0));
    ASSERT_TRUE(ReadBytes(Work(L"out.txt")).has_value());
    EXPECT_NE(ReadBytes(Work(L"out.txt"))->find("connected to 127.0.0.1:26101"), std::string::npos);
    ASSERT_EQ(Journal().size(), 1u);
    EXPECT_EQ(Journal()[0].cwd, work_);
}

// While a 3 s command runs: sent messages are answered and an invalidated label is painted
// again.
TEST_F(Runner, WindowAnswersAndPaintsDuringALongCommand) {
    const HWND form = this->form().Handle();
    const HWND label = this->form().statusLbl->Handle();
    std::atomic<bool> done{false};
    std::atomic<long long> worstAnswerMs{0};
    std::atomic<int> answered{0}, painted{0}, probes{0};

    std::thread prober([&] {
        Sleep(500);  // the child is running by now
        for (int i = 0; i < 8 && !done; ++i) {
            const auto t0 = Clock::now();
            DWORD_PTR result = 0;
            if (SendMessageTimeoutW(form, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result)) ++answered;
            const long long ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
            if (ms > worstAnswerMs) worstAnswerMs = ms;
            InvalidateRect(label, nullptr, TRUE);
            Sleep(150);
            if (!GetUpdateRect(label, nullptr, FALSE)) ++painted;
            ++probes;
        }
    });
    const auto t0 = Clock::now();
    RunCommandAndWait(SlowCommand(3000));
    const auto took = Clock::now() - t0;
    done = true;
    prober.join();

    EXPECT_GE(took, std::chrono::milliseconds(2900)) << "returned before the child ended";
    EXPECT_NE(ReadBytes(Work(L"out.txt")).value_or("").find("connected to"), std::string::npos);
    ASSERT_GT(probes.load(), 3);
    EXPECT_EQ(answered.load(), probes.load());
    EXPECT_EQ(painted.load(), probes.load());
    // A frozen window would answer only when the 3 s command ends; how fast it answers is a
    // benchmark's figure (install_bench), not this test's.
    EXPECT_LT(worstAnswerMs.load(), 1000) << "slowest answer to a sent message";
}

// The installer is a windowed program, so cmd.exe gets a console of its own, which must stay
// hidden. This test program has a console; let go of it so the child's situation is the same.
TEST_F(Runner, NoConsoleWindowShows) {
    FreeConsole();
    std::vector<std::wstring> seen;
    {
        DuringRun look([&, ticks = 0]() mutable {
            if (++ticks % 20 == 0)
                for (const auto& cls : ForeignVisibleWindows()) seen.push_back(cls);
        });
        RunCommandAndWait(SlowCommand(1500));
        RunCommandAndWait(L"cmd.exe /c \"iu.exe devices\"");  // output not redirected
        // With an error stream handed over: it reaches the file, and the console stays hidden.
        const HANDLE errors = CreateFileW(Work(L"errors.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                          nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(errors, INVALID_HANDLE_VALUE);
        RunCommandWithin(L"cmd.exe /c \"iu.exe devices & dir /b no-such-file\"", INFINITE, errors);
        CloseHandle(errors);
    }
    EXPECT_FALSE(ReadBytes(Work(L"errors.txt")).value_or("").empty())
        << "cmd's complaint did not reach the file";
    EXPECT_TRUE(seen.empty()) << "a visible window of another process: " << ToUtf8(seen.front());

    // Control: the same start shown normally does put up a window we can see, so the check
    // above can fail.
    STARTUPINFOW shown{};
    shown.cb = sizeof shown;
    shown.dwFlags = STARTF_USESHOWWINDOW;
    shown.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi{};
    std::wstring line = SlowCommand(4000);
    ASSERT_TRUE(
        CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &shown, &pi));
    std::vector<std::wstring> control;
    for (int i = 0; i < 35 && control.empty(); ++i) {
        Sleep(100);
        control = ForeignVisibleWindows();
    }
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_FALSE(control.empty()) << "a shown console was not seen: the check proves nothing here";
}

// A client that never gives up would never end by itself: closing the window ends the command's
// whole tree, found through its job or, where the system refuses one, by parent id.
TEST_F(Runner, QuittingEndsTheCommandsWholeTree) {
    for (const bool jobsRefused : {false, true}) {
        SCOPED_TRACE(jobsRefused ? "by parent id" : "job");
        Application->ResetForTests();  // the window of the last round was closed
        Application->CreateForm(mainForm);
        mainForm->Show();
        SetRunnerJobsRefusedForTests(jobsRefused);
        size_t seen = 0;
        Clock::time_point closed{};
        CommandEnd end;
        {
            // A look at the process list is slow under Wine: one every 20 ticks leaves the queue
            // room to empty.
            DuringRun closeOnceTheChildRuns([&, ticks = 0]() mutable {
                if (++ticks % 20 || closed != Clock::time_point{}) return;
                seen = std::max(seen, StandInProcesses().size());
                if (seen >= 2) {
                    closed = Clock::now();
                    form().Close();  // the user closes the window
                }
            });
            end = RunCommandWithin(HungCommand(), INFINITE);
        }
        const auto took = Clock::now() - closed;
        EXPECT_EQ(end, CommandEnd::Quit);
        EXPECT_EQ(seen, 2u) << "the client and its child";
        EXPECT_LT(took, std::chrono::milliseconds(3000)) << "the wait outlived the quit request";
        EXPECT_TRUE(StandInProcesses().empty()) << "part of the tree still runs";
        EXPECT_EQ(ReadBytes(Work(L"out.txt")).value_or(""), "connecting to 127.0.0.1:26101 ...\r\n");
    }
}

// The bound runs out: the tree is ended, the call says so, and the window answered throughout.
TEST_F(Runner, ABoundThatRunsOutEndsTheTreeWithTheWindowAnswering) {
    const HWND form = this->form().Handle();
    std::atomic<bool> waiting{false}, done{false};
    std::atomic<long long> worstAnswerMs{0};
    std::thread prober([&] {
        while (!waiting && !done) Sleep(10);  // the child's start blocks the thread under Wine
        while (!done) {
            const auto t0 = Clock::now();
            DWORD_PTR result = 0;
            SendMessageTimeoutW(form, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result);
            const long long ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
            if (ms > worstAnswerMs && !done) worstAnswerMs = ms;  // not one the call's return left waiting
            Sleep(20);
        }
    });
    const auto t0 = Clock::now();
    CommandEnd end;
    {
        DuringRun inTheWait([&] { waiting = true; });
        end = RunCommandWithin(HungCommand(), 3000);
    }
    const auto took = Clock::now() - t0;
    done = true;
    prober.join();
    EXPECT_EQ(end, CommandEnd::BoundRanOut);
    EXPECT_GE(took, std::chrono::milliseconds(3000));
    EXPECT_LT(took, std::chrono::milliseconds(6000));
    EXPECT_TRUE(StandInProcesses().empty()) << "part of the tree still runs";
    // Answered well before the bound runs out; how fast is a benchmark's figure.
    EXPECT_LT(worstAnswerMs.load(), 1000) << "slowest answer to a sent message";
}

// Where the system refuses the full wake mask, the runner waits with the older one: each
// command still ends before the next starts, and the window still answers meanwhile.
TEST_F(Runner, WithTheOlderWakeMaskTheInstallStillWaitsForEachCommand) {
    const MsgWaitFunction previous = SetMessageWaitForTests(WaitBeforeWindows8);
    SetEnv(L"KAVORIN_RECORDER_SLEEP_MS", L"150");
    TypeAddress(L"10.0.0.20");
    std::vector<int> barAtEachStart;
    {
        DuringRun watch([&, seen = size_t{0}]() mutable {
            if (Calls() == seen) return;
            seen = Calls();
            barAtEachStart.push_back(Bar());
        });
        ClickInstall();
    }
    SetMessageWaitForTests(previous);
    EXPECT_NE(std::count(g_wakeMasks.begin(), g_wakeMasks.end(), 0x04FFu), 0)
        << "the older mask was never used";
    // Eleven commands, each seen running at its own step, and the install log read after the
    // install command had written it.
    EXPECT_EQ(barAtEachStart, expected::kBarWhileRunning);
    EXPECT_TRUE(expected::Shows(Status(), "DoneText", 0)) << "statusLbl";
}
