// Recording stand-in for the bridge client "iu.exe" (tests only; opens no socket).
//
// Each run appends one record to a journal: the raw command line, the arguments as the C
// runtime split them, and the working directory. Then it prints what a TV would have answered.
//
// Environment:
//   KAVORIN_RECORDER_JOURNAL   journal file (default: recorder-journal.txt in the working dir)
//   KAVORIN_RECORDER_SCRIPT    success (default) | fail118 | fail116 | silent | unreachable
//                              chooses the answers; fail118/fail116 only change the install
//   KAVORIN_RECORDER_SLEEP_MS  sleep this long after recording (a slow TV)
//   KAVORIN_RECORDER_SLEEP_ON  comma-separated command words (kill-server, connect, devices,
//                              push, or a shell verb such as mkdir, vd_appinstall); when set,
//                              only those commands sleep
//   KAVORIN_RECORDER_HANG_ON   command words as above: those commands meet a TV that stopped
//                              answering and, as the SDK's client does, never give up: they
//                              print what such a TV leaves (connect: the connecting line; push:
//                              the warning; vd_appinstall: the lines up to "install start"),
//                              start a child of their own (this exe, detached, "hang-child"),
//                              and wait. Both end by themselves after two minutes, so a failed
//                              test leaves nothing running for long.
//
// Background server, as the SDK's own client has one (KAVORIN_RECORDER_SERVER=1). A command
// that finds no server prints the two start-up lines and re-launches this exe detached as
// "fork-server server"; later commands use it; kill-server asks it to stop and returns once it
// no longer answers.
// The server holds its program file (so "iu.exe") until it has exited. It listens on nothing:
// it is a named event, which is also how clients find it and ask it to stop.
//   KAVORIN_RECORDER_SERVER_EXIT_MS  how long it takes to exit once it has stopped (default 500)
//   KAVORIN_RECORDER_SERVER_DEAF_MS  how long it ignores a kill-server, still serving, before it
//                                    stops as asked (default 0)
// The server reads these when it starts. One never asked to stop ends by itself after two
// minutes, so a failed test leaves nothing running for long. The server journals nothing.
//
// Journal record (UTF-8; "%", CR and LF inside values are written as %25, %0D, %0A):
//   [call]
//   cwd=<working directory>
//   cmdline=<GetCommandLineW>
//   argc=<n>
//   argv[0]=<...>
//   ...
//   file=<name>:<size or missing>     (push only: the local file as the client found it)
//   [end]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::wstring Env(const wchar_t* name) {
    wchar_t buffer[32768];
    const DWORD n = ::GetEnvironmentVariableW(name, buffer, static_cast<DWORD>(std::size(buffer)));
    if (n == 0 || n >= std::size(buffer)) return {};
    return std::wstring(buffer, n);
}

DWORD EnvMs(const wchar_t* name, DWORD fallback) {
    const std::wstring value = Env(name);
    return value.empty() ? fallback : static_cast<DWORD>(std::wcstoul(value.c_str(), nullptr, 10));
}

// The server's port: a named auto-reset event that exists while a server answers. Setting it
// is the kill request.
constexpr const wchar_t* kServerEvent = L"kavorin-recorder-server";
constexpr DWORD kServerLifetimeMs = 120000;
constexpr DWORD kServerStartMs = 30000;  // Wine under emulation is slow to start a process

bool ServerRunning() {
    const HANDLE server = ::OpenEventW(SYNCHRONIZE, FALSE, kServerEvent);
    if (!server) return false;
    ::CloseHandle(server);
    return true;
}

// kill-server: returns once the server has stopped answering (host:kill's reply), or after a
// second if it ignores the request; it may still be exiting. False when no server answers.
bool AskServerToStop() {
    const HANDLE server = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, kServerEvent);
    if (!server) return false;
    ::SetEvent(server);
    ::CloseHandle(server);
    for (int i = 0; i < 100 && ServerRunning(); ++i) ::Sleep(10);
    return true;
}

// "fork-server server": answers until asked to stop, then stops answering at once but takes a
// while longer to exit, holding the program file meanwhile.
int Serve() {
    const DWORD exitMs = EnvMs(L"KAVORIN_RECORDER_SERVER_EXIT_MS", 500);
    const DWORD deafMs = EnvMs(L"KAVORIN_RECORDER_SERVER_DEAF_MS", 0);
    const HANDLE port = ::CreateEventW(nullptr, FALSE, FALSE, kServerEvent);
    if (!port) return 1;
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {  // another server was quicker
        ::CloseHandle(port);
        return 1;
    }
    const DWORD start = ::GetTickCount();
    if (::WaitForSingleObject(port, kServerLifetimeMs) == WAIT_OBJECT_0) {
        const DWORD lived = std::min<DWORD>(::GetTickCount() - start, kServerLifetimeMs);
        ::Sleep(std::min(deafMs, kServerLifetimeMs - lived));
    }
    ::CloseHandle(port);
    ::Sleep(exitMs);
    return 0;
}

// Starts this exe again, detached, with `args`; the process handle is the caller's to close.
HANDLE StartSelfDetached(const wchar_t* args) {
    wchar_t self[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    std::wstring line = L"\"" + std::wstring(self) + L"\" " + args;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr,
                          &startup, &started))
        return nullptr;
    ::CloseHandle(started.hThread);
    return started.hProcess;
}

// Re-launches this exe, detached, as the server and waits until it answers.
bool StartServer() {
    PROCESS_INFORMATION started{};
    started.hProcess = StartSelfDetached(L"fork-server server");
    if (!started.hProcess) return false;
    bool up = ServerRunning();
    for (DWORD waited = 0; !up && waited < kServerStartMs; waited += 10) {
        const bool ended = ::WaitForSingleObject(started.hProcess, 10) == WAIT_OBJECT_0;
        up = ServerRunning();
        if (ended) break;  // lost the race to another server, which may answer now
    }
    ::CloseHandle(started.hProcess);
    return up;
}

// What the SDK's client does before a command when its server is to be used.
void UseServer(const std::wstring& cmd) {
    if (cmd == L"kill-server") {
        if (!AskServerToStop()) std::printf("info: Server is not running\n");
        return;
    }
    if (ServerRunning()) return;
    std::printf("* Server is not running. Start it now on port 26099 *\n");
    std::fflush(stdout);
    if (StartServer())
        std::printf("* Server has started successfully *\n");
    else
        std::fprintf(stderr, "error: failed to start server\n");
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                        nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                          nullptr);
    return out;
}

std::string Escaped(const std::wstring& text) {
    std::string out;
    for (char c : Utf8(text)) {
        if (c == '%')
            out += "%25";
        else if (c == '\r')
            out += "%0D";
        else if (c == '\n')
            out += "%0A";
        else
            out += c;
    }
    return out;
}

std::wstring CurrentDir() {
    wchar_t buffer[32768];
    const DWORD n = ::GetCurrentDirectoryW(static_cast<DWORD>(std::size(buffer)), buffer);
    return n && n < std::size(buffer) ? std::wstring(buffer, n) : std::wstring();
}

void AppendToJournal(const std::string& record) {
    std::wstring path = Env(L"KAVORIN_RECORDER_JOURNAL");
    if (path.empty()) path = L"recorder-journal.txt";
    // Other recorders may be appending too (a run left behind by a closed window); retry a
    // moment on a sharing conflict, then give up rather than hang a test.
    for (int attempt = 0; attempt < 100; ++attempt) {
        HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            ::WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
            ::CloseHandle(file);
            return;
        }
        ::Sleep(10);
    }
}

// The command word the installer uses: argv[1], or for "shell 0 <verb>" the verb.
std::wstring CommandWord(int argc, wchar_t** argv) {
    if (argc < 2) return {};
    std::wstring word = argv[1];
    if (word == L"shell" && argc >= 4) return argv[3];
    return word;
}

// Whether `word` is one of the comma-separated `list`.
bool Listed(const std::wstring& list, const std::wstring& word) {
    if (list.empty()) return false;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(L',', start);
        if (comma == std::wstring::npos) comma = list.size();
        if (list.compare(start, comma - start, word) == 0) return true;
        start = comma + 1;
    }
    return false;
}

bool SleepsOn(const std::wstring& word) {
    const std::wstring list = Env(L"KAVORIN_RECORDER_SLEEP_ON");
    return list.empty() || Listed(list, word);
}

constexpr DWORD kHangLifetimeMs = 120000;

// Starts this exe again, detached, as the hung command's child; it only waits.
void StartHangChild() {
    if (const HANDLE child = StartSelfDetached(L"hang-child")) ::CloseHandle(child);
}

std::string Arg(int argc, wchar_t** argv, int i) { return i < argc ? Utf8(argv[i]) : std::string(); }

// Strips the "; echo cmd_ret:$?;" tail that the installer appends to some shell commands.
std::string WithoutSemicolon(std::string s) {
    if (!s.empty() && s.back() == ';') s.pop_back();
    return s;
}

bool EchoesStatus(int argc, wchar_t** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::wstring(argv[i]) == L"cmd_ret:$?;") return true;
    return false;
}

// What a command printed before the TV stopped answering.
void AnswerUntilTheTvStopped(int argc, wchar_t** argv) {
    const std::wstring word = CommandWord(argc, argv);
    if (word == L"connect") {
        std::printf("connecting to %s ...\n", Arg(argc, argv, 2).c_str());
    } else if (word == L"push") {
        std::printf(
            "WARNING: Your data are to be sent over an unencrypted connection and could be "
            "read by others.\n");
    } else if (word == L"vd_appinstall") {
        const std::string id = Arg(argc, argv, 4);
        std::printf(
            "install %s\npackage_path %s\nwas_install_app return WAS_TRUE\napp_id[%s] install start\n",
            id.c_str(), WithoutSemicolon(Arg(argc, argv, 5)).c_str(), id.c_str());
    }
    std::fflush(stdout);
}

void Answer(const std::wstring& script, int argc, wchar_t** argv) {
    if (argc < 2 || script == L"silent") return;
    const std::wstring cmd = argv[1];
    const std::wstring word = CommandWord(argc, argv);
    const bool reachable = script != L"unreachable";
    if (cmd == L"kill-server") return;
    if (cmd == L"connect") {
        const std::string target = Arg(argc, argv, 2);
        std::printf("connecting to %s ...\n", target.c_str());
        if (reachable)
            std::printf("connected to %s\n", target.c_str());
        else
            std::printf("failed to connect to %s\n", target.c_str());
        return;
    }
    if (cmd == L"devices") {
        std::printf("List of devices attached \n");
        if (reachable) std::printf("%-20s\t%-10s\t%s\n", "127.0.0.1:26101", "device", "UE40KU6000");
        return;
    }
    if (!reachable) {
        std::fprintf(stderr, "error: target not found\n");
        return;
    }
    if (cmd == L"push") {
        const std::string local = Arg(argc, argv, 2);
        std::printf(
            "WARNING: Your data are to be sent over an unencrypted connection and could be "
            "read by others.\n");
        std::printf("pushed %30s\t100%%\t     14KB\t 1464KB/s\n", local.c_str());
        std::printf("1 file(s) pushed. 0 file(s) skipped.\n");
        return;
    }
    if (cmd != L"shell") return;
    const std::string id = WithoutSemicolon(Arg(argc, argv, 4));
    if (word == L"getappinstallpath") {
        std::printf("Tizen Application Installation Path: /opt/usr/apps\n");
    } else if (word == L"vd_appuninstall") {
        std::printf(
            "uninstall %s\napp_id[%s] uninstall start\napp_id[%s] uninstalling[57]\n"
            "app_id[%s] uninstall completed\nspend time for wascmd is [1938]ms\n",
            id.c_str(), id.c_str(), id.c_str(), id.c_str());
    } else if (word == L"vd_appinstall") {
        const std::string path = WithoutSemicolon(Arg(argc, argv, 5));
        std::printf(
            "install %s\npackage_path %s\nwas_install_app return WAS_TRUE\n"
            "app_id[%s] install start\n",
            id.c_str(), path.c_str(), id.c_str());
        if (script == L"fail118") {
            std::printf(
                "app_id[%s] install failed[118, -12], reason: Check certificate error : "
                "Invalid certificate chain\n",
                id.c_str());
        } else if (script == L"fail116") {
            std::printf("app_id[%s] installing[8]\napp_id[%s] install failed[116]\n", id.c_str(), id.c_str());
        } else {
            std::printf(
                "app_id[%s] installing[8]\napp_id[%s] installing[100]\n"
                "app_id[%s] install completed\n",
                id.c_str(), id.c_str(), id.c_str());
        }
        std::printf("spend time for wascmd is [2520]ms\n");
    } else if (word == L"applist") {
        std::printf(
            "\tApplication List for user 5001\n\tUser's Application \n\t Name \t AppID \n"
            "\t=================================================\n"
            "\t'KAVORIN'\t 'Qw7TzLp2Xe.KAVORIN'\n"
            "\t=================================================\n");
    }
    if (EchoesStatus(argc, argv)) std::printf("cmd_ret:0\n");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 2 && std::wstring(argv[1]) == L"fork-server") return Serve();
    if (argc >= 2 && std::wstring(argv[1]) == L"hang-child") {
        ::Sleep(kHangLifetimeMs);
        return 0;
    }

    std::string record = "[call]\n";
    record += "cwd=" + Escaped(CurrentDir()) + "\n";
    record += "cmdline=" + Escaped(::GetCommandLineW()) + "\n";
    record += "argc=" + std::to_string(argc) + "\n";
    for (int i = 0; i < argc; ++i) record += "argv[" + std::to_string(i) + "]=" + Escaped(argv[i]) + "\n";
    if (argc >= 3 && std::wstring(argv[1]) == L"push") {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        std::string size = "missing";
        if (::GetFileAttributesExW(argv[2], GetFileExInfoStandard, &data))
            size = std::to_string((static_cast<unsigned long long>(data.nFileSizeHigh) << 32) |
                                  data.nFileSizeLow);
        record += "file=" + Escaped(argv[2]) + ":" + size + "\n";
    }
    record += "[end]\n";
    AppendToJournal(record);
    if (argc >= 2 && Env(L"KAVORIN_RECORDER_SERVER") == L"1") UseServer(argv[1]);

    const std::wstring sleepMs = Env(L"KAVORIN_RECORDER_SLEEP_MS");
    if (!sleepMs.empty() && SleepsOn(CommandWord(argc, argv))) {
        ::Sleep(static_cast<DWORD>(std::wcstoul(sleepMs.c_str(), nullptr, 10)));
    }

    if (Listed(Env(L"KAVORIN_RECORDER_HANG_ON"), CommandWord(argc, argv))) {
        AnswerUntilTheTvStopped(argc, argv);
        StartHangChild();
        ::Sleep(kHangLifetimeMs);
        return 0;
    }

    std::wstring script = Env(L"KAVORIN_RECORDER_SCRIPT");
    if (script.empty()) script = L"success";
    Answer(script, argc, argv);
    std::fflush(stdout);
    return 0;
}
