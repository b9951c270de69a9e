// e2e_probe: reads the installer's window from outside, for the end-to-end tests. It only
// looks (window texts, rectangles, check states, bar position, processes); the tests give the
// input themselves through the X server, as a user would.
//
// One request per line on stdin, one JSON line (ASCII, \uXXXX escapes) per request on stdout:
//   snap            the main window and every control under it
//   bar             only the progress bar's position and the texts of the labels beside it,
//                   top to bottom (cheap enough to follow the bar step by step)
//   ping <ms>       how long the window takes to answer a sent message (timeout <ms>)
//   box             the installer's message box, if one is shown: its text and the centre of OK
//                   (a question: of Yes and No, and their texts)
//   procs           every Windows process: id, parent id, exe name
//   quit
// With arguments, runs those requests once each and exits (e.g. `e2e_probe snap`).
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr const wchar_t* kFormClass = L"KavorinForm";
constexpr const wchar_t* kCaption = L"KAVORIN Tizen Installer";
// A window that does not answer a text request within this is reported as not answering.
constexpr UINT kTextTimeoutMs = 2000;

std::string Json(const std::wstring& text) {
    std::string out = "\"";
    for (wchar_t c : text) {
        if (c == L'"' || c == L'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c) & 0xffffu);
            out += buf;
        }
    }
    return out + "\"";
}

std::string Num(long long v) { return std::to_string(v); }

std::string Rect(const RECT& r) {
    char buf[80];
    std::snprintf(buf, sizeof buf, "[%ld,%ld,%ld,%ld]", r.left, r.top, r.right, r.bottom);
    return buf;
}

// WM_GETTEXT through SendMessageTimeout, so a window that hangs cannot hang the probe.
bool TextOf(HWND hwnd, std::wstring& text) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kTextTimeoutMs, &length))
        return false;
    std::wstring buffer(static_cast<size_t>(length) + 64, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                             SMTO_ABORTIFHUNG, kTextTimeoutMs, &copied))
        return false;
    buffer.resize(static_cast<size_t>(copied));
    text = buffer;
    return true;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[128] = {};
    GetClassNameW(hwnd, name, 127);
    return name;
}

std::vector<HWND> MainWindows() {
    std::vector<HWND> found;
    HWND after = nullptr;
    while ((after = FindWindowExW(nullptr, after, kFormClass, kCaption)) != nullptr) found.push_back(after);
    return found;
}

// The centre of the caption's close box: the title row scanned with WM_NCHITTEST.
bool CloseBox(HWND hwnd, POINT& centre) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    const int rowHeight = GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYFRAME) + 8;
    int first = -1, last = -1, row = -1;
    for (int y = r.top + 2; y < r.top + rowHeight && first < 0; y += 2) {
        for (int x = r.right - 2; x > r.right - 120; --x) {
            DWORD_PTR hit = 0;
            if (!SendMessageTimeoutW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(x, y), SMTO_ABORTIFHUNG,
                                     kTextTimeoutMs, &hit))
                return false;
            if (hit == HTCLOSE) {
                if (last < 0) last = x;
                first = x;
                row = y;
            } else if (last >= 0) {
                break;
            }
        }
    }
    if (first < 0) return false;
    // The vertical middle of the box on that column.
    int top = row, bottom = row;
    for (int y = row; y >= r.top; --y) {
        DWORD_PTR hit = 0;
        SendMessageTimeoutW(hwnd, WM_NCHITTEST, 0, MAKELPARAM((first + last) / 2, y), SMTO_ABORTIFHUNG,
                            kTextTimeoutMs, &hit);
        if (hit != HTCLOSE) break;
        top = y;
    }
    for (int y = row; y < r.top + rowHeight + 20; ++y) {
        DWORD_PTR hit = 0;
        SendMessageTimeoutW(hwnd, WM_NCHITTEST, 0, MAKELPARAM((first + last) / 2, y), SMTO_ABORTIFHUNG,
                            kTextTimeoutMs, &hit);
        if (hit != HTCLOSE) break;
        bottom = y;
    }
    centre = {(first + last) / 2, (top + bottom) / 2};
    return true;
}

struct Collected {
    std::string json;
};

BOOL CALLBACK AddChild(HWND child, LPARAM param) {
    auto* out = reinterpret_cast<Collected*>(param);
    const std::wstring cls = ClassOf(child);
    std::wstring text;
    const bool answered = TextOf(child, text);
    RECT r{};
    GetWindowRect(child, &r);
    const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
    std::string item = "{\"hwnd\":" + Num(reinterpret_cast<INT_PTR>(child)) +
                       ",\"parent\":" + Num(reinterpret_cast<INT_PTR>(GetParent(child))) +
                       ",\"class\":" + Json(cls) + ",\"text\":" + Json(text) +
                       ",\"answered\":" + (answered ? "true" : "false") +
                       ",\"style\":" + Num(static_cast<long long>(style & 0xffffffff)) +
                       ",\"visible\":" + (IsWindowVisible(child) ? "true" : "false") +
                       ",\"enabled\":" + (IsWindowEnabled(child) ? "true" : "false") + ",\"rect\":" + Rect(r);
    DWORD_PTR value = 0;
    if (lstrcmpiW(cls.c_str(), L"Button") == 0 &&
        SendMessageTimeoutW(child, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kTextTimeoutMs, &value))
        item += ",\"check\":" + Num(static_cast<long long>(value));
    if (lstrcmpiW(cls.c_str(), PROGRESS_CLASSW) == 0 &&
        SendMessageTimeoutW(child, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kTextTimeoutMs, &value))
        item += ",\"pos\":" + Num(static_cast<long long>(value));
    item += "}";
    if (out->json.size() > 1) out->json += ",";
    out->json += item;
    return TRUE;
}

std::string Snap() {
    const std::vector<HWND> windows = MainWindows();
    if (windows.empty()) return "{\"found\":false,\"count\":0}";
    const HWND main = windows.front();
    DWORD pid = 0;
    GetWindowThreadProcessId(main, &pid);
    std::wstring title;
    TextOf(main, title);
    RECT r{}, client{};
    GetWindowRect(main, &r);
    GetClientRect(main, &client);
    POINT origin{0, 0};
    ClientToScreen(main, &origin);
    std::string out =
        "{\"found\":true,\"count\":" + Num(static_cast<long long>(windows.size())) +
        ",\"hwnd\":" + Num(reinterpret_cast<INT_PTR>(main)) + ",\"pid\":" + Num(pid) +
        ",\"title\":" + Json(title) + ",\"visible\":" + (IsWindowVisible(main) ? "true" : "false") +
        ",\"foreground\":" + (GetForegroundWindow() == main ? "true" : "false") + ",\"rect\":" + Rect(r) +
        ",\"client\":" + Rect(RECT{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom});
    POINT box{};
    if (IsWindowVisible(main) && CloseBox(main, box))
        out += ",\"close\":[" + Num(box.x) + "," + Num(box.y) + "]";
    Collected children{"["};
    EnumChildWindows(main, AddChild, reinterpret_cast<LPARAM>(&children));
    return out + ",\"controls\":" + children.json + "]}";
}

struct BarSearch {
    HWND bar = nullptr;
};

BOOL CALLBACK FindBar(HWND child, LPARAM param) {
    if (lstrcmpiW(ClassOf(child).c_str(), PROGRESS_CLASSW) != 0) return TRUE;
    reinterpret_cast<BarSearch*>(param)->bar = child;
    return FALSE;
}

std::string Bar() {
    const std::vector<HWND> windows = MainWindows();
    if (windows.empty()) return "{\"found\":false}";
    BarSearch search;
    EnumChildWindows(windows.front(), FindBar, reinterpret_cast<LPARAM>(&search));
    if (!search.bar) return "{\"found\":true,\"pos\":null}";
    DWORD_PTR pos = 0;
    if (!SendMessageTimeoutW(search.bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kTextTimeoutMs, &pos))
        return "{\"found\":true,\"pos\":null}";
    std::vector<std::pair<LONG, std::wstring>> labels;
    for (HWND c = GetWindow(GetParent(search.bar), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (ClassOf(c) != L"KavorinLabel") continue;
        RECT r{};
        GetWindowRect(c, &r);
        std::wstring text;
        TextOf(c, text);
        labels.emplace_back(r.top, text);
    }
    std::sort(labels.begin(), labels.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string out = "{\"found\":true,\"pos\":" + Num(static_cast<long long>(pos)) + ",\"labels\":[";
    for (size_t i = 0; i < labels.size(); ++i) {
        if (i) out += ",";
        out += Json(labels[i].second);
    }
    return out + "]}";
}

// Sends the window a message and measures how long it takes to come back.
std::string Ping(UINT timeoutMs) {
    const std::vector<HWND> windows = MainWindows();
    if (windows.empty()) return "{\"found\":false}";
    LARGE_INTEGER freq{}, t0{}, t1{};
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);
    DWORD_PTR length = 0;
    const bool answered = SendMessageTimeoutW(windows.front(), WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG,
                                              timeoutMs, &length) != 0;
    QueryPerformanceCounter(&t1);
    const double ms =
        1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) / static_cast<double>(freq.QuadPart);
    char buf[96];
    std::snprintf(buf, sizeof buf, "{\"found\":true,\"answered\":%s,\"ms\":%.3f}",
                  answered ? "true" : "false", ms);
    return buf;
}

struct BoxSearch {
    DWORD pid = 0;
    HWND box = nullptr;
};

BOOL CALLBACK FindBox(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<BoxSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != search->pid || !IsWindowVisible(hwnd) || ClassOf(hwnd) != L"#32770") return TRUE;
    search->box = hwnd;
    return FALSE;
}

// A message box of the installer's process: its text and where its OK button is.
std::string Box() {
    const std::vector<HWND> windows = MainWindows();
    if (windows.empty()) return "{\"found\":false}";
    BoxSearch search;
    GetWindowThreadProcessId(windows.front(), &search.pid);
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    if (!search.box) return "{\"found\":false}";
    std::wstring text, title;
    TextOf(GetDlgItem(search.box, 0xFFFF), text);
    TextOf(search.box, title);
    std::string out = "{\"found\":true,\"title\":" + Json(title) + ",\"text\":" + Json(text);
    // Where to click each button it has, and a question's button texts.
    for (const auto& [id, name] : {std::pair{IDOK, "ok"}, std::pair{IDYES, "yes"}, std::pair{IDNO, "no"}}) {
        const HWND button = GetDlgItem(search.box, id);
        RECT r{};
        if (!button || !GetWindowRect(button, &r)) continue;
        out += std::string(",\"") + name + "\":[" + Num((r.left + r.right) / 2) + "," +
               Num((r.top + r.bottom) / 2) + "]";
        if (id == IDOK) continue;
        std::wstring caption;
        TextOf(button, caption);
        out += std::string(",\"") + name + "_text\":" + Json(caption);
    }
    return out + "}";
}

std::string Procs() {
    std::string out = "{\"procs\":[";
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return "{\"procs\":null}";
    PROCESSENTRY32W e{};
    e.dwSize = sizeof e;
    bool first = true;
    for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e)) {
        if (!first) out += ",";
        first = false;
        out += "{\"pid\":" + Num(e.th32ProcessID) + ",\"ppid\":" + Num(e.th32ParentProcessID) +
               ",\"exe\":" + Json(e.szExeFile) + "}";
    }
    CloseHandle(snap);
    return out + "]}";
}

// Answers one request; false for "quit".
bool Answer(const std::string& request) {
    std::string reply;
    if (request == "snap") {
        reply = Snap();
    } else if (request == "bar") {
        reply = Bar();
    } else if (request.rfind("ping", 0) == 0) {
        const long ms = request.size() > 5 ? std::strtol(request.c_str() + 5, nullptr, 10) : 200;
        reply = Ping(ms > 0 ? static_cast<UINT>(ms) : 200u);
    } else if (request == "box") {
        reply = Box();
    } else if (request == "procs") {
        reply = Procs();
    } else if (request == "quit") {
        return false;
    } else {
        reply = "{\"error\":\"unknown request\"}";
    }
    std::fputs(reply.c_str(), stdout);
    std::fputs("\n", stdout);
    std::fflush(stdout);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) {
        for (int i = 1; i < argc; ++i) Answer(argv[i]);
        return 0;
    }
    char line[256];
    while (std::fgets(line, sizeof line, stdin)) {
        std::string request(line);
        while (!request.empty() &&
               (request.back() == '\n' || request.back() == '\r' || request.back() == ' '))
            request.pop_back();
        if (request.empty()) continue;
        if (!Answer(request)) break;
    }
    return 0;
}
