// Figures of the installation, measured on the real installer exe that carries the recording
// stand-in as its bridge client (so nothing leaves the machine):
//   1. the whole run against the same eleven lines run from one batch file, as a ratio;
//   2. the CPU time the installer spends while one 5 s command runs;
//   3. the longest delay in answering a sent message during a run.
// With --server-exit it measures only this: with the stand-in acting as the SDK's client, whose
// background server takes 0.5 s or 3 s to exit after kill-server, the time from the last
// command reaching the client to nothing of it running and both payloads gone.
// With --bound it measures only this: with the stand-in hanging in the install command, as a
// client that never gives up on a silent TV, and the installer's bounds cut to 3 s, the time from
// the bound running out to the box that says why, and the window's longest delay in answering a
// message meanwhile; next to the three clean-up commands that run in between, from a batch file.
// The installer is driven from outside, as a user would: text into the address field, a click
// on Install. A run has ended when the journal holds eleven calls and the payloads are gone.
// With --tv [--rows] [KavorinInstaller.exe] it measures the shipped installer and the client
// inside it against a TV at 127.0.0.1:26101 (bench/install/run_tv.py puts the TV simulator
// there behind the link emulator): connect plus one shell command, as two runs of that client,
// next to the protocol's floor; and the whole installation next to a batch file running the
// same eleven lines with the same two payloads, taken from the installer's resources.
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "../bridge/floor.h"
#include "Prober.h"
#include "install/InstallSteps.h"

namespace {

using bench::Clock;
using bench::Ms;
using bench::Prober;

std::wstring TempDir(const wchar_t* tag) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring dir =
        std::wstring(temp) + L"kavorin-bench-" + tag + L"-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

size_t JournalCalls(const std::wstring& path) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return 0;
    std::string bytes;
    char buffer[8192];
    DWORD got = 0;
    while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got) bytes.append(buffer, got);
    CloseHandle(f);
    size_t n = 0;
    for (size_t at = bytes.find("[end]\n"); at != std::string::npos; at = bytes.find("[end]\n", at + 1)) ++n;
    return n;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring ClassOf(HWND h) {
    wchar_t cls[64] = L"";
    GetClassNameW(h, cls, 64);
    return cls;
}

std::wstring TextOf(HWND h) {
    wchar_t text[256] = L"";
    GetWindowTextW(h, text, 256);
    return text;
}

// The installer, started in a folder of its own, with its window's controls found.
struct Installer {
    PROCESS_INFORMATION pi{};
    HWND form = nullptr, edit = nullptr, install = nullptr;
    std::wstring work, journal;

    bool Start(const std::wstring& exe, const std::wstring& folder) {
        work = folder;
        journal = folder + L"\\journal.txt";
        SetEnvironmentVariableW(L"KAVORIN_RECORDER_JOURNAL", journal.c_str());
        STARTUPINFOW si{};
        si.cb = sizeof si;
        std::wstring line = L"\"" + exe + L"\"";
        if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                            &si, &pi))
            return false;
        WaitForInputIdle(pi.hProcess, 20000);
        for (int i = 0; i < 200 && !install; ++i) {
            Sleep(50);
            FindControls();
        }
        return install && edit;
    }
    static BOOL CALLBACK TopLevel(HWND h, LPARAM lp) {
        auto* self = reinterpret_cast<Installer*>(lp);
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        if (pid == self->pi.dwProcessId && IsWindowVisible(h)) {
            self->form = h;
            return FALSE;
        }
        return TRUE;
    }
    static BOOL CALLBACK Child(HWND h, LPARAM lp) {
        auto* self = reinterpret_cast<Installer*>(lp);
        const std::wstring cls = ClassOf(h);
        if (cls == L"Edit") self->edit = h;
        if (cls == L"Button" && (TextOf(h) == L"Установить Виджет" || TextOf(h) == L"Widget Install"))
            self->install = h;
        return TRUE;
    }
    void FindControls() {
        form = nullptr;
        EnumWindows(TopLevel, reinterpret_cast<LPARAM>(this));
        if (form) EnumChildWindows(form, Child, reinterpret_cast<LPARAM>(this));
    }
    // Clicks Install and returns once the run has ended.
    Clock::duration Run(const wchar_t* address) {
        SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(address));
        const size_t before = JournalCalls(journal);
        const auto t0 = Clock::now();
        PostMessageW(install, BM_CLICK, 0, 0);
        while (JournalCalls(journal) < before + kInstallCommandCount || Exists(work + L"\\KAVORIN.wgt") ||
               Exists(work + L"\\iu.exe"))
            Sleep(1);
        return Clock::now() - t0;
    }
    double CpuMs() const {
        FILETIME created, exited, kernel, user;
        GetProcessTimes(pi.hProcess, &created, &exited, &kernel, &user);
        auto v = [](FILETIME f) {
            return (static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
        };
        return static_cast<double>(v(kernel) + v(user)) / 10000.0;
    }
    void Close() {
        PostMessageW(form, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(pi.hProcess, 20000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
};

// Under Wine the installer is also a Linux process; its own CPU ticks (utime + stime, no
// children) are in /proc. Returns -1 when not under Wine or not found.
std::string ReadSmall(const std::wstring& path) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return {};
    char buffer[4096];
    DWORD got = 0;
    ReadFile(f, buffer, sizeof buffer, &got, nullptr);
    CloseHandle(f);
    return std::string(buffer, got);
}

long UnixPidOf(const std::wstring& exeName) {
    long found = -1;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(L"Z:\\proc\\*", &data);
    if (find == INVALID_HANDLE_VALUE) return -1;
    do {
        const std::wstring name = data.cFileName;
        if (name.empty() || name.find_first_not_of(L"0123456789") != std::wstring::npos) continue;
        const std::string cmdline = ReadSmall(L"Z:\\proc\\" + name + L"\\cmdline");
        std::string narrow(exeName.begin(), exeName.end());
        if (cmdline.find(narrow) != std::string::npos) found = std::wcstol(name.c_str(), nullptr, 10);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return found;
}

double UnixCpuMs(long pid) {
    if (pid < 0) return -1;
    const std::string stat = ReadSmall(L"Z:\\proc\\" + std::to_wstring(pid) + L"\\stat");
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) return -1;
    // Fields after the command name: state is field 3, utime 14, stime 15.
    std::vector<std::string> fields;
    size_t at = close + 2;
    while (at < stat.size()) {
        size_t sp = stat.find(' ', at);
        if (sp == std::string::npos) sp = stat.size();
        fields.push_back(stat.substr(at, sp - at));
        at = sp + 1;
    }
    if (fields.size() < 13) return -1;
    return (std::stod(fields[11]) + std::stod(fields[12])) * 10.0;  // USER_HZ is 100
}

// Runs `line` (hidden, in `folder`) and returns how long it took.
Clock::duration RunProcess(std::wstring line, const std::wstring& folder) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi{};
    const auto t0 = Clock::now();
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        folder.c_str(), &si, &pi))
        return {};
    WaitForSingleObject(pi.hProcess, INFINITE);
    const auto took = Clock::now() - t0;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return took;
}

// Runs the install's command lines `from` to `to` (exclusive) from a batch file in `folder`, with
// the recorder as "iu.exe" there and the package beside it, and returns how long it took.
Clock::duration RunBatch(const std::wstring& recorder, const std::wstring& folder,
                         const std::wstring& package = {}, int from = 0, int to = kInstallCommandCount) {
    CopyFileW(recorder.c_str(), (folder + L"\\iu.exe").c_str(), FALSE);
    CopyFileW((package.empty() ? recorder : package).c_str(), (folder + L"\\KAVORIN.wgt").c_str(), FALSE);
    CreateDirectoryW((folder + L"\\doLog").c_str(), nullptr);
    std::string batch = "@echo off\r\n";
    const InstallCommandInputs in{L"127.0.0.1", L"Qw7TzLp2Xe.KAVORIN", L"KAVORIN", L"/opt/usr/apps/tmp"};
    for (int i = from; i < to; ++i) {
        const UnicodeString line = BuildInstallCommand(i, in);
        for (wchar_t c : line.str()) batch += static_cast<char>(c);  // the lines are ASCII
        batch += "\r\n";
    }
    HANDLE f =
        CreateFileW((folder + L"\\run.bat").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(f, batch.data(), static_cast<DWORD>(batch.size()), &written, nullptr);
    CloseHandle(f);

    return RunProcess(L"cmd.exe /c run.bat >nul", folder);  // the installer's commands print nowhere either
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Every process the system lists now.
std::vector<PROCESSENTRY32W> Processes() {
    std::vector<PROCESSENTRY32W> all;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return all;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        all.push_back(entry);
    CloseHandle(snapshot);
    return all;
}

bool BridgeRunning() {
    for (const PROCESSENTRY32W& p : Processes())
        if (_wcsicmp(p.szExeFile, L"iu.exe") == 0) return true;
    return false;
}

int MeasureServerExit(const std::wstring& exe, bool rows) {
    const int rounds = 3;
    SetEnvironmentVariableW(L"KAVORIN_RECORDER_SCRIPT", L"success");
    SetEnvironmentVariableW(L"KAVORIN_RECORDER_SERVER", L"1");
    std::printf("from the last command (kill-server) to nothing running and the folder clean\n");
    for (const wchar_t* exitMs : {L"500", L"3000"}) {
        SetEnvironmentVariableW(L"KAVORIN_RECORDER_SERVER_EXIT_MS", exitMs);
        const std::wstring work = TempDir(L"server-exit");
        Installer app;
        if (!app.Start(exe, work)) return 1;
        std::vector<double> ms;
        for (int r = 0; r < rounds; ++r) {
            SendMessageW(app.edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"127.0.0.1"));
            const size_t before = JournalCalls(app.journal);
            PostMessageW(app.install, BM_CLICK, 0, 0);
            const auto deadline = Clock::now() + std::chrono::minutes(3);
            while (JournalCalls(app.journal) < before + kInstallCommandCount && Clock::now() < deadline)
                Sleep(2);
            const auto last = Clock::now();
            while ((BridgeRunning() || Exists(work + L"\\iu.exe") || Exists(work + L"\\KAVORIN.wgt")) &&
                   Clock::now() < deadline)
                Sleep(5);
            if (Clock::now() >= deadline) {
                std::fprintf(stderr, "the run did not end within 3 minutes\n");
                return 1;
            }
            ms.push_back(Ms(Clock::now() - last));
        }
        app.Close();
        RemoveTree(work);
        if (rows)
            std::printf(
                "@row\tSDK-like server exiting %ls ms after kill-server: last command to folder "
                "clean\t%.3f\tms\t"
                "the server's own exit time\t%ls\t\t\n",
                exitMs, Median(ms), exitMs);
        std::printf("  server exits %ls ms after kill-server: median %.0f ms, rounds", exitMs, Median(ms));
        for (double v : ms) std::printf(" %.0f", v);
        std::printf("\n");
    }
    return 0;
}

// Writes an RCDATA resource of `exe` to `file`.
bool SaveResource(const std::wstring& exe, const wchar_t* name, const std::wstring& file) {
    HMODULE module =
        LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) return false;
    bool ok = false;
    if (HRSRC info = FindResourceW(module, name, MAKEINTRESOURCEW(10))) {  // RT_RCDATA
        const DWORD size = SizeofResource(module, info);
        const void* bytes = LockResource(LoadResource(module, info));
        HANDLE f = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        ok = bytes && f != INVALID_HANDLE_VALUE && WriteFile(f, bytes, size, &written, nullptr) &&
             written == size;
        if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
    }
    FreeLibrary(module);
    return ok;
}

std::string ReadAll(const std::wstring& path) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char buffer[8192];
    DWORD got = 0;
    while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got) bytes.append(buffer, got);
    CloseHandle(f);
    return bytes;
}

// One Install press of the real installer: from the click until both payloads are gone again
// (they appear at once, live through the eleven commands, and go just before the verdict).
Clock::duration RunReal(Installer& app) {
    const std::wstring iu = app.work + L"\\iu.exe", wgt = app.work + L"\\KAVORIN.wgt";
    SendMessageW(app.edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"127.0.0.1"));
    const auto t0 = Clock::now();
    PostMessageW(app.install, BM_CLICK, 0, 0);
    while (!Exists(iu) && Clock::now() - t0 < std::chrono::seconds(30)) Sleep(1);
    while ((Exists(iu) || Exists(wgt)) && Clock::now() - t0 < std::chrono::minutes(5)) Sleep(1);
    return Clock::now() - t0;
}

void Row(bool rows, const char* figure, double value, const char* anchor, double anchorValue,
         const char* goal, const std::string& note) {
    if (rows)
        std::printf("@row\t%s\t%.3f\tms\t%s\t%.3f\t%s\t%s\n", figure, value, anchor, anchorValue, goal,
                    note.c_str());
}

std::string Rounds(const std::vector<double>& a, const std::vector<double>& b) {
    char part[32];
    std::string text = "rounds:";
    for (double v : a) text += (std::snprintf(part, sizeof part, " %.0f", v), part);
    text += " / batch:";
    for (double v : b) text += (std::snprintf(part, sizeof part, " %.0f", v), part);
    return text;
}

// The command interpreter the installer runs now (the one alive among its children), or null.
HANDLE RunningInterpreter(DWORD installerId) {
    for (const PROCESSENTRY32W& p : Processes())
        if (p.th32ParentProcessID == installerId && _wcsicmp(p.szExeFile, L"cmd.exe") == 0)
            return OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, p.th32ProcessID);
    return nullptr;
}

ULONGLONG Ticks100ns(FILETIME f) {
    return (static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
}

struct BoxFinder {
    DWORD pid;
    HWND box = nullptr;
    static BOOL CALLBACK Each(HWND h, LPARAM lp) {
        auto* self = reinterpret_cast<BoxFinder*>(lp);
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        if (pid == self->pid && IsWindowVisible(h) && ClassOf(h) == L"#32770") {
            self->box = h;
            return FALSE;
        }
        return TRUE;
    }
};

HWND MessageBoxOf(DWORD pid) {
    BoxFinder finder{pid};
    EnumWindows(BoxFinder::Each, reinterpret_cast<LPARAM>(&finder));
    return finder.box;
}

int MeasureBound(const std::wstring& exe, const std::wstring& recorder, bool rows) {
    const int rounds = 3;
    const DWORD capMs = 3000;
    SetEnvironmentVariableW(L"KAVORIN_RECORDER_SCRIPT", L"success");
    SetEnvironmentVariableW(L"KAVORIN_RECORDER_SLEEP_MS", nullptr);
    SetEnvironmentVariableW(L"KAVORIN_TEST_BOUND_CAP_MS", std::to_wstring(capMs).c_str());
    SetEnvironmentVariableW(L"KAVORIN_RECORDER_HANG_ON", L"vd_appinstall");
    const std::wstring work = TempDir(L"bound");
    Installer app;
    if (!app.Start(exe, work)) return 1;
    const int install = InstallVerdictCommand();
    std::vector<double> toBoxMs, worstMs, p99Ms;
    bool treesEnded = true;
    for (int r = 0; r < rounds; ++r) {
        SendMessageW(app.edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"127.0.0.1"));
        const size_t before = JournalCalls(app.journal);
        PostMessageW(app.install, BM_CLICK, 0, 0);
        const auto deadline = Clock::now() + std::chrono::minutes(3);
        HANDLE hung = nullptr;
        while (!hung && Clock::now() < deadline) {
            if (JournalCalls(app.journal) > before + install) hung = RunningInterpreter(app.pi.dwProcessId);
            Sleep(1);
        }
        if (!hung) {
            std::fprintf(stderr, "the install command never ran\n");
            return 1;
        }
        // The bound runs from the interpreter's start, on the system clock; the prober's clock is
        // another one.
        FILETIME created{}, exited, kernel, user, now{};
        GetProcessTimes(hung, &created, &exited, &kernel, &user);
        GetSystemTimePreciseAsFileTime(&now);
        const auto boundOut = Clock::now() -
                              std::chrono::microseconds((Ticks100ns(now) - Ticks100ns(created)) / 10) +
                              std::chrono::milliseconds(capMs);
        Prober probe(app.form, 5);
        HWND box = nullptr;
        Clock::time_point shown{};
        while (!box && Clock::now() < deadline) {
            box = MessageBoxOf(app.pi.dwProcessId);
            shown = Clock::now();
            if (!box) Sleep(1);
        }
        probe.Stop();
        CloseHandle(hung);
        if (!box) {
            std::fprintf(stderr, "no box within 3 minutes\n");
            return 1;
        }
        toBoxMs.push_back(Ms(shown - boundOut));
        worstMs.push_back(probe.Worst(boundOut, shown));
        p99Ms.push_back(probe.Percentile(0.99));
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        while ((MessageBoxOf(app.pi.dwProcessId) || Exists(work + L"\\iu.exe")) && Clock::now() < deadline)
            Sleep(5);
        treesEnded = treesEnded && !BridgeRunning();
    }
    app.Close();
    RemoveTree(work);

    // The anchor: the clean-up commands that run between the stop and the box, from a batch file.
    SetEnvironmentVariableW(L"KAVORIN_RECORDER_HANG_ON", nullptr);
    const std::wstring batchDir = TempDir(L"bound-batch");
    std::vector<double> cleanupMs;
    for (int r = 0; r < rounds; ++r)
        cleanupMs.push_back(Ms(RunBatch(recorder, batchDir, {}, install + 1, kInstallCommandCount)));
    RemoveTree(batchDir);

    const double box = Median(toBoxMs), cleanup = Median(cleanupMs);
    const double worst = *std::max_element(worstMs.begin(), worstMs.end());
    const double p99 = *std::max_element(p99Ms.begin(), p99Ms.end());
    std::printf("a command whose %lu ms bound runs out (the stand-in hangs in the install)\n", capMs);
    std::printf("  from the bound running out to the box shown  : %8.1f ms (median of %d)\n", box, rounds);
    std::printf("  the three clean-up commands between, a .bat  : %8.1f ms\n", cleanup);
    std::printf("  longest answer of the window, until the box  : %8.1f ms (p99 %.1f ms)\n", worst, p99);
    std::printf("  the stopped tree gone after every run        : %s\n", treesEnded ? "yes" : "NO");
    Row(rows, "a bound that runs out: to the box shown (three clean-up commands in between)", box,
        "those three commands from a batch file", cleanup, "1000 ms",
        treesEnded ? "the stopped tree gone every time" : "a stopped tree still ran");
    Row(rows, "a bound that runs out: longest answer of the window until the box", worst, "", 0, "50 ms",
        "p99 " + std::to_string(static_cast<int>(p99)) +
            " ms; each clean-up command's start holds the thread inside CreateProcess under Wine");
    return treesEnded ? 0 : 1;
}

int MeasureAgainstTv(const std::wstring& exe, bool rows) {
    const int rounds = 5;
    const double rttMs = 5.0, rateMbit = 50.0;
    const std::wstring payloads = TempDir(L"payloads");
    const std::wstring iu = payloads + L"\\iu.exe", wgt = payloads + L"\\KAVORIN.wgt";
    if (!SaveResource(exe, L"IUFILE", iu) || !SaveResource(exe, L"WGTFILE", wgt)) {
        std::fprintf(stderr, "cannot read the payloads of %ls\n", exe.c_str());
        return 1;
    }

    // 1. connect plus one shell command: two runs of the client, as the installer starts them.
    std::vector<double> clientMs;
    const std::wstring client = L"\"" + iu + L"\" ";
    for (int r = 0; r < 6; ++r) {
        RunProcess(client + L"kill-server", payloads);
        const auto took = RunProcess(client + L"connect 127.0.0.1:26101", payloads) +
                          RunProcess(client + L"shell 0 getappinstallpath", payloads);
        if (r > 0) clientMs.push_back(Ms(took));  // the first start of the client warms the caches
    }
    const double floorMs =
        kb::bench::ConnectShellFloor("shell:0 getappinstallpath", 30).Ms({rttMs, rateMbit});
    std::printf("against the TV at 127.0.0.1:26101, RTT %.0f ms, %.0f Mbit/s\n", rttMs, rateMbit);
    std::printf("  connect + one shell command, two runs of iu.exe: %8.1f ms (floor %.1f ms, x%.1f)\n",
                Median(clientMs), floorMs, Median(clientMs) / floorMs);
    Row(rows, "iu.exe (32-bit, Wine): connect + one shell command, RTT 5 ms", Median(clientMs),
        "protocol floor", floorMs, "", "two process starts of the client under Wine dominate");

    // 2. The whole installation: installer and batch file alternately, so both see the same load.
    std::vector<double> installerMs, batchMs;
    bool allInstalled = true;
    const std::wstring work = TempDir(L"installer-tv");
    const std::wstring batchDir = TempDir(L"batch-tv");
    Installer app;
    if (!app.Start(exe, work)) {
        std::fprintf(stderr, "could not start or find the installer window: %ls\n", exe.c_str());
        return 1;
    }
    for (int r = 0; r <= rounds; ++r) {
        const double installer = Ms(RunReal(app));
        allInstalled = allInstalled &&
                       ReadAll(work + L"\\doLog\\step6.txt").find("install completed") != std::string::npos;
        const double batch = Ms(RunBatch(iu, batchDir, wgt));
        allInstalled = allInstalled && ReadAll(batchDir + L"\\doLog\\step6.txt").find("install completed") !=
                                           std::string::npos;
        if (r == 0) continue;  // warm-up of both
        installerMs.push_back(installer);
        batchMs.push_back(batch);
    }
    app.Close();
    RemoveTree(work);
    RemoveTree(batchDir);
    RemoveTree(payloads);
    const double a = Median(installerMs), b = Median(batchMs);
    std::printf("  whole installation, installer  : %8.1f ms\n", a);
    std::printf("  the same 11 lines from a .bat  : %8.1f ms\n", b);
    std::printf("  ratio installer / batch        : %8.3f  (%s)\n", a / b,
                Rounds(installerMs, batchMs).c_str());
    std::printf("  every run installed the widget : %s\n", allInstalled ? "yes" : "NO");
    Row(rows, "whole installation at RTT 5 ms: KavorinInstaller.exe (Release, real iu.exe)", a,
        "the same eleven lines from a batch file", b, "1.05",
        Rounds(installerMs, batchMs) +
            (allInstalled ? "; every run installed" : "; NOT every run installed"));
    return allInstalled ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc > 1 && std::wstring(argv[1]) == L"--tv") {
        bool rows = false;
        std::wstring exe = KAVORIN_BENCH_SHIPPED;
        for (int i = 2; i < argc; ++i) {
            if (std::wstring(argv[i]) == L"--rows")
                rows = true;
            else
                exe = argv[i];
        }
        return MeasureAgainstTv(exe, rows);
    }
    // --rows (last) adds the report's machine-readable lines.
    const bool rows = argc > 1 && std::wstring(argv[argc - 1]) == L"--rows";
    if (rows) --argc;
    if (argc > 1 && std::wstring(argv[1]) == L"--server-exit")
        return MeasureServerExit(argc > 2 ? argv[2] : KAVORIN_BENCH_INSTALLER, rows);
    if (argc > 1 && std::wstring(argv[1]) == L"--bound")
        return MeasureBound(argc > 2 ? argv[2] : KAVORIN_BENCH_INSTALLER, KAVORIN_BENCH_RECORDER, rows);
    const std::wstring exe = argc > 1 ? argv[1] : KAVORIN_BENCH_INSTALLER;
    const std::wstring recorder = argc > 2 ? argv[2] : KAVORIN_BENCH_RECORDER;
    const int rounds = 5;
    SetEnvironmentVariableW(L"KAVORIN_RECORDER_SCRIPT", L"success");
    SetEnvironmentVariableW(L"KAVORIN_RECORDER_SLEEP_MS", nullptr);
    SetEnvironmentVariableW(L"KAVORIN_RECORDER_SLEEP_ON", nullptr);

    // 1. Overhead: installer runs and batch runs, interleaved so both see the same load.
    std::vector<double> installerMs, batchMs;
    double worstInstantMs = 0, p99InstantMs = 0;
    size_t probesInstant = 0;
    {
        const std::wstring work = TempDir(L"installer");
        Installer app;
        if (!app.Start(exe, work)) {
            std::fprintf(stderr, "could not start or find the installer window: %ls\n", exe.c_str());
            return 1;
        }
        app.Run(L"127.0.0.1");  // warm-up: first start of cmd.exe and of the stand-in
        const std::wstring batchDir = TempDir(L"batch");
        RunBatch(recorder, batchDir);
        for (int r = 0; r < rounds; ++r) {
            Prober probe(app.form, 5);
            installerMs.push_back(Ms(app.Run(L"127.0.0.1")));
            probe.Stop();
            worstInstantMs = std::max(worstInstantMs, probe.Worst());
            p99InstantMs = std::max(p99InstantMs, probe.Percentile(0.99));
            probesInstant += probe.Count();
            batchMs.push_back(Ms(RunBatch(recorder, batchDir)));
        }
        app.Close();
        RemoveTree(work);
        RemoveTree(batchDir);
    }

    // 2. A run whose push takes 5 s, left alone: the CPU time the installer spends meanwhile.
    // 3. The same run again with a prober sending it messages throughout.
    SetEnvironmentVariableW(L"KAVORIN_RECORDER_SLEEP_MS", L"5000");
    SetEnvironmentVariableW(L"KAVORIN_RECORDER_SLEEP_ON", L"push");
    double cpuDuringMs = 0, unixCpuDuringMs = -1, slowMs = 0, worstSlowMs = 0, p99SlowMs = 0;
    size_t probesSlow = 0;
    double cpuIdleMs = 0;
    {
        // Baseline: the same window doing nothing for 5 s.
        const std::wstring work = TempDir(L"idle");
        Installer app;
        if (!app.Start(exe, work)) return 1;
        Sleep(1000);
        const double c0 = app.CpuMs();
        Sleep(5000);
        cpuIdleMs = app.CpuMs() - c0;
        app.Close();
        RemoveTree(work);
    }
    for (const bool probing : {false, true}) {
        const std::wstring work = TempDir(probing ? L"slow-probed" : L"slow");
        Installer app;
        if (!app.Start(exe, work)) return 1;
        std::unique_ptr<Prober> probe;
        if (probing) probe = std::make_unique<Prober>(app.form, 5);
        std::thread measure([&] {
            while (JournalCalls(app.journal) < 7) Sleep(1);  // push has started
            Sleep(200);                                      // its cmd.exe and stand-in are up
            const long unixPid = UnixPidOf(L"KavorinInstallerRecording.exe");
            const double u0 = UnixCpuMs(unixPid);
            const double c0 = app.CpuMs();
            const auto t0 = Clock::now();
            while (JournalCalls(app.journal) < 8) Sleep(20);  // the next command started
            if (!probing) {
                cpuDuringMs = app.CpuMs() - c0;
                if (u0 >= 0) unixCpuDuringMs = UnixCpuMs(unixPid) - u0;
                slowMs = Ms(Clock::now() - t0);
            }
        });
        app.Run(L"127.0.0.1");
        measure.join();
        if (probe) {
            probe->Stop();
            worstSlowMs = probe->Worst();
            p99SlowMs = probe->Percentile(0.99);
            probesSlow = probe->Count();
        }
        app.Close();
        RemoveTree(work);
    }

    std::printf("install bench (recording stand-in, %d rounds, median)\n", rounds);
    std::printf("  whole run, installer          : %8.1f ms\n", Median(installerMs));
    std::printf("  same 11 lines from a .bat     : %8.1f ms\n", Median(batchMs));
    std::printf("  ratio installer / batch       : %8.2f\n", Median(installerMs) / Median(batchMs));
    std::printf("  CPU of the installer during a 5 s command, %.0f ms long (no probing):\n", slowMs);
    if (unixCpuDuringMs >= 0)
        std::printf("    Linux /proc utime+stime (10 ms ticks)                 : %.1f ms\n", unixCpuDuringMs);
    std::printf("    GetProcessTimes as Wine reports it                     : %.1f ms\n", cpuDuringMs);
    std::printf("  CPU of the installer idle for 5 s (GetProcessTimes, baseline): %.1f ms\n", cpuIdleMs);
    std::printf("  longest answer to a sent message, instant runs: %.1f ms (p99 %.1f ms, %zu probes)\n",
                worstInstantMs, p99InstantMs, probesInstant);
    std::printf(
        "  longest answer to a sent message, run with a 5 s command: %.1f ms (p99 %.1f ms, %zu probes)\n",
        worstSlowMs, p99SlowMs, probesSlow);
    std::printf("  rounds, installer ms:");
    for (double v : installerMs) std::printf(" %.0f", v);
    std::printf("\n  rounds, batch ms    :");
    for (double v : batchMs) std::printf(" %.0f", v);
    std::printf("\n");
    if (rows) {
        std::printf(
            "@row\twhole run with the recording stand-in (no TV, no network)\t%.3f\tms\t"
            "the same eleven lines from a batch file\t%.3f\t\tinstaller runs answer a message every 5 ms "
            "meanwhile\n",
            Median(installerMs), Median(batchMs));
        std::printf(
            "@row\tinstaller CPU while one 5 s command runs (Linux /proc)\t%.3f\tms\t\t\t\t%.0f ms command\n",
            unixCpuDuringMs, slowMs);
        std::printf(
            "@row\tlongest answer of the window to a sent message during a run\t%.3f\tms\t\t\t\tp99 %.1f "
            "ms\n",
            std::max(worstInstantMs, worstSlowMs), std::max(p99InstantMs, p99SlowMs));
    }
    return 0;
}
