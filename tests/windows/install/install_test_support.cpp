#include "install_test_support.h"

#include <tlhelp32.h>

#include <algorithm>
#include <atomic>

#include "UnicodeString.h"
#include "install/CommandRunner.h"

namespace installtest {

ScratchDir::ScratchDir(const wchar_t* tag) {
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring base(temp);
    if (!base.empty() && base.back() == L'\\') base.pop_back();
    path_ = base + L"\\kavorin-" + tag + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(counter++);
    RemoveTree(path_);
    CreateDirectoryW(path_.c_str(), nullptr);
}

ScratchDir::~ScratchDir() { RemoveTree(path_); }

void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

bool IsFile(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsDir(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::string> ReadBytes(const std::wstring& path) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got) bytes.append(buffer, got);
    CloseHandle(f);
    return bytes;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE) << ToUtf8(path);
    DWORD written = 0;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(f);
}

std::vector<std::wstring> ListDir(const std::wstring& path) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

void SetEnv(const wchar_t* name, const wchar_t* value) { SetEnvironmentVariableW(name, value); }

namespace {

std::wstring Unescape(const std::string& value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value.compare(i, 3, "%25") == 0) {
            out += '%';
            i += 2;
        } else if (value.compare(i, 3, "%0D") == 0) {
            out += '\r';
            i += 2;
        } else if (value.compare(i, 3, "%0A") == 0) {
            out += '\n';
            i += 2;
        } else
            out += value[i];
    }
    return FromUtf8(out);
}

}  // namespace

std::vector<Call> ReadJournal(const std::wstring& path) {
    std::vector<Call> calls;
    const auto bytes = ReadBytes(path);
    if (!bytes) return calls;
    size_t pos = 0;
    Call current;
    bool open = false;
    while (pos < bytes->size()) {
        size_t end = bytes->find('\n', pos);
        if (end == std::string::npos) break;  // a record still being written
        const std::string line = bytes->substr(pos, end - pos);
        pos = end + 1;
        if (line == "[call]") {
            current = Call{};
            open = true;
        } else if (line == "[end]") {
            if (open) calls.push_back(current);
            open = false;
        } else if (open) {
            const size_t eq = line.find('=');
            if (eq == std::string::npos) continue;
            const std::string key = line.substr(0, eq);
            const std::wstring value = Unescape(line.substr(eq + 1));
            if (key == "cwd")
                current.cwd = value;
            else if (key == "cmdline")
                current.cmdline = value;
            else if (key.rfind("argv[", 0) == 0)
                current.argv.push_back(value);
            else if (key == "file")
                current.file = value;
        }
    }
    return calls;
}

size_t CountCalls(const std::wstring& path) {
    const auto bytes = ReadBytes(path);
    if (!bytes) return 0;
    size_t count = 0;
    for (size_t at = bytes->find("[end]\n"); at != std::string::npos; at = bytes->find("[end]\n", at + 1))
        ++count;
    return count;
}

bool StandInServerAnswers() {
    const HANDLE server = OpenEventW(SYNCHRONIZE, FALSE, L"kavorin-recorder-server");
    if (server) CloseHandle(server);
    return server != nullptr;
}

std::vector<DWORD> StandInProcesses(const wchar_t* exeName) {
    std::vector<DWORD> ids;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (_wcsicmp(entry.szExeFile, exeName) == 0) ids.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return ids;
}

void StartStandInServer(const std::wstring& exe) {
    std::wstring line = L"\"" + exe + L"\" fork-server server";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    ASSERT_TRUE(CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                               nullptr, &startup, &started));
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    for (int i = 0; i < 3000 && !StandInServerAnswers(); ++i) Sleep(10);
    ASSERT_TRUE(StandInServerAnswers());
}

void EndStandIns() {
    auto ids = StandInProcesses(L"iu.exe");
    for (const DWORD id : StandInProcesses(L"sdb.exe")) ids.push_back(id);
    for (const DWORD id : ids) {
        const HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        if (!process) continue;
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 10000);
        CloseHandle(process);
    }
}

namespace {
std::function<void()> g_tick;
void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (g_tick) g_tick();
}
}  // namespace

DuringRun::DuringRun(std::function<void()> tick) {
    g_tick = std::move(tick);
    timer_ = SetTimer(nullptr, 0, 10, Tick);
}

DuringRun::~DuringRun() {
    KillTimer(nullptr, timer_);
    g_tick = nullptr;
}

namespace {
BOOL CALLBACK FindBox(HWND hwnd, LPARAM found) {
    wchar_t cls[16] = L"";
    GetClassNameW(hwnd, cls, 16);
    if (wcscmp(cls, L"#32770") != 0 || !IsWindowVisible(hwnd)) return TRUE;
    *reinterpret_cast<HWND*>(found) = hwnd;
    return FALSE;
}
BOOL CALLBACK FindErrorIcon(HWND child, LPARAM found) {
    if (SendMessageW(child, STM_GETICON, 0, 0) == reinterpret_cast<LRESULT>(LoadIconW(nullptr, IDI_ERROR)))
        *reinterpret_cast<bool*>(found) = true;
    return TRUE;
}

// The box runs its own modal loop, which dispatches this thread timer too.
std::vector<Box>* g_boxes = nullptr;
void CALLBACK AnswerBox(HWND, UINT, UINT_PTR, DWORD) {
    HWND box = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindBox, reinterpret_cast<LPARAM>(&box));
    if (!box || !g_boxes) return;
    Box seen{WindowText(GetDlgItem(box, 0xFFFF)), false};  // 0xFFFF: the box's text
    EnumChildWindows(box, FindErrorIcon, reinterpret_cast<LPARAM>(&seen.error));
    g_boxes->push_back(seen);
    EndDialog(box, IDOK);
}

// Searches are counted and find nothing; none leaves the test.
int* g_searches = nullptr;
tvsearch::SearchResult FindNothing(const tvsearch::SearchOptions&) {
    if (g_searches) ++*g_searches;
    return {};
}

// The addresses typed here belong to no test TV, so no socket is opened for the probe after a
// failed connect. It is answered as the stand-in client's failed connect means it: a TV whose
// port takes the connection and closes it at once, with no REST service answering.
std::vector<std::string>* g_probed = nullptr;
tvprobe::ProbeResult AnswerTurnedAway(const std::string& address, const tvprobe::ProbeOptions&) {
    if (g_probed) g_probed->push_back(address);
    tvprobe::ProbeResult turnedAway;
    turnedAway.port = tvprobe::PortAnswer::ClosedAtOnce;
    return turnedAway;
}
}  // namespace

void InstallWindow::SetUp() {
    scratch_ = std::make_unique<ScratchDir>(L"install");
    work_ = *scratch_ / L"work";
    journal_ = *scratch_ / L"journal.txt";
    CreateDirectoryW(work_.c_str(), nullptr);
    wchar_t dir[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, dir);
    previousDir_ = dir;
    ASSERT_TRUE(SetCurrentDirectoryW(work_.c_str()));
    SetEnv(L"KAVORIN_RECORDER_JOURNAL", journal_.c_str());
    SetEnv(L"KAVORIN_RECORDER_SCRIPT", nullptr);
    SetEnv(L"KAVORIN_RECORDER_SLEEP_MS", nullptr);
    SetEnv(L"KAVORIN_RECORDER_SLEEP_ON", nullptr);
    SetEnv(L"KAVORIN_RECORDER_SERVER", nullptr);
    SetEnv(L"KAVORIN_RECORDER_SERVER_EXIT_MS", nullptr);
    SetEnv(L"KAVORIN_RECORDER_SERVER_DEAF_MS", nullptr);
    SetEnv(L"KAVORIN_RECORDER_HANG_ON", nullptr);
    SetEnv(L"KAVORIN_TEST_BOUND_CAP_MS", nullptr);

    Application->MessageHook = nullptr;
    g_boxes = &boxes_;
    g_probed = &probed_;
    previousProbe_ = tvprobe::SetProbeForTests(AnswerTurnedAway);
    g_searches = &searches_;
    previousSearch_ = tvsearch::SetSearchForTests(FindNothing);
    boxTimer_ = SetTimer(nullptr, 0, 20, AnswerBox);
    Application->Initialize();
    Application->CreateForm(mainForm);
    mainForm->Show();
    Pump();
}

void InstallWindow::TearDown() {
    SetRunnerJobsRefusedForTests(false);
    Application->ResetForTests();
    mainForm = nullptr;
    KillTimer(nullptr, boxTimer_);
    g_boxes = nullptr;
    tvprobe::SetProbeForTests(previousProbe_);
    g_probed = nullptr;
    tvsearch::SetSearchForTests(previousSearch_);
    g_searches = nullptr;
    SetCurrentDirectoryW(previousDir_.c_str());
    EndStandIns();  // only a failed test leaves one
    // A command left running by a closed window may still hold a file for a moment.
    for (int i = 0; i < 50 && IsDir(scratch_->path()); ++i) {
        RemoveTree(scratch_->path());
        if (IsDir(scratch_->path())) Sleep(100);
    }
    scratch_.reset();
}

void InstallWindow::TypeAddress(const wchar_t* text) {
    SendMessageW(form().tvIpEdt->Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

void InstallWindow::ClickInstall() {
    SendMessageW(form().BitInstall->Handle(), BM_CLICK, 0, 0);
    Pump();
}

void InstallWindow::Click(TRadioGroup* group, int index) {
    SendMessageW(group->ItemHandle(index), BM_CLICK, 0, 0);
}

}  // namespace installtest

// Test programs are built with -municode: the entry point is wmain.
int wmain(int argc, wchar_t** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
