#include "state.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace kb {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kHeader = "# kavorin bridge targets v1\n";
constexpr size_t kMaxStateFile = 1 << 20;

// A field may not carry the separators of the file format.
std::string Clean(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == '\t' || c == '\n' || c == '\r' || c == '\0') c = ' ';
    }
    return out;
}

FILE* OpenFile(const fs::path& file, bool write) {
#ifdef _WIN32
    return _wfopen(file.c_str(), write ? L"wb" : L"rb");
#else
    return std::fopen(file.c_str(), write ? "wb" : "rb");
#endif
}

std::string PathText(const fs::path& path) {
    std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

unsigned long ProcessId() {
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
}

}  // namespace

std::string SerializeTargets(const std::vector<Target>& targets) {
    std::string text(kHeader);
    for (const Target& t : targets) {
        text += Clean(t.serial) + '\t' + Clean(t.state) + '\t' + Clean(t.name) + '\n';
    }
    return text;
}

std::vector<Target> ParseTargets(std::string_view text) {
    std::vector<Target> targets;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line[0] == '#') continue;

        Target t;
        size_t tab1 = line.find('\t');
        t.serial = std::string(line.substr(0, tab1));
        if (tab1 != std::string_view::npos) {
            std::string_view rest = line.substr(tab1 + 1);
            size_t tab2 = rest.find('\t');
            std::string_view state = rest.substr(0, tab2);
            if (!state.empty()) t.state = std::string(state);
            if (tab2 != std::string_view::npos) t.name = std::string(rest.substr(tab2 + 1));
        }
        bool printable = !t.serial.empty();
        for (unsigned char c : t.serial) printable = printable && c > 0x20 && c < 0x7f;
        if (!printable) continue;
        bool duplicate = false;
        for (const Target& known : targets) duplicate = duplicate || known.serial == t.serial;
        if (!duplicate) targets.push_back(std::move(t));
    }
    return targets;
}

fs::path DefaultStatePath() {
#ifdef _WIN32
    if (const wchar_t* file = _wgetenv(L"KAVORIN_BRIDGE_STATE"); file && *file) return fs::path(file);
    if (const wchar_t* local = _wgetenv(L"LOCALAPPDATA"); local && *local) {
        return fs::path(local) / L"KavorinBridge" / L"targets";
    }
    if (const wchar_t* profile = _wgetenv(L"USERPROFILE"); profile && *profile) {
        return fs::path(profile) / L"AppData" / L"Local" / L"KavorinBridge" / L"targets";
    }
    return {};
#else
    if (const char* file = std::getenv("KAVORIN_BRIDGE_STATE"); file && *file) return fs::path(file);
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/') {
        return fs::path(state) / "kavorin-bridge" / "targets";
    }
    if (const char* home = std::getenv("HOME"); home && *home) {
        return fs::path(home) / ".local" / "state" / "kavorin-bridge" / "targets";
    }
    return {};
#endif
}

std::vector<Target> LoadTargets(const fs::path& file) {
    FILE* f = OpenFile(file, false);
    if (!f) return {};
    std::string text;
    char chunk[4096];
    size_t n;
    while (text.size() < kMaxStateFile && (n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        text.append(chunk, n);
    }
    std::fclose(f);
    return ParseTargets(text);
}

void SaveTargets(const fs::path& file, const std::vector<Target>& targets) {
    std::error_code ec;
    if (file.has_parent_path()) fs::create_directories(file.parent_path(), ec);

    fs::path temp = file;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%lu.tmp", ProcessId());
    temp += suffix;
    const std::string text = SerializeTargets(targets);
    FILE* f = OpenFile(temp, true);
    if (!f) throw std::runtime_error("cannot write " + PathText(temp));
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size() && std::fflush(f) == 0;
#ifdef _WIN32
    ok = ok && _commit(_fileno(f)) == 0;
#else
    ok = ok && fsync(fileno(f)) == 0;
#endif
    ok = std::fclose(f) == 0 && ok;
#ifdef _WIN32
    ok = ok &&
         MoveFileExW(temp.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    ok = ok && std::rename(temp.c_str(), file.c_str()) == 0;
#endif
    if (!ok) {
        fs::remove(temp, ec);
        throw std::runtime_error("cannot write " + PathText(file));
    }
}

bool ForgetTargets(const fs::path& file) {
    std::error_code ec;
    return fs::remove(file, ec);
}

}  // namespace kb
