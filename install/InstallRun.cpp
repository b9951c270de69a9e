// The run itself: payloads, the eleven commands within their bounds, their logs and error stream
// gathered into one record as each command ends, the payloads removed.
#include "InstallRun.h"

#include <windows.h>

#include <algorithm>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "CommandRunner.h"
#include "Exception.h"
#include "InstallSteps.h"
#include "MessageWait.h"
#include "Payloads.h"
#include "SysUtils.h"
#include "texts/Func.h"
#include "texts/Messages.h"

namespace {

// A test shortens every command's bound to at most this many milliseconds (README, "Time bounds").
constexpr const wchar_t* kBoundCapSetting = L"KAVORIN_TEST_BOUND_CAP_MS";
// The SDK's client leaves a background server running from "iu.exe", and after kill-server the
// server takes a moment to exit; until then "iu.exe" cannot be deleted. It is tried again this
// often, for this long, the window answering meanwhile. After that the file stays, and the next
// run says so if it is still in use.
constexpr DWORD kBridgeRetryMs = 50;
constexpr DWORD kBridgeReleaseMs = 10000;
// A real install log is a few hundred bytes; anything huge is not one.
constexpr LONGLONG kMaxLogBytes = 16LL << 20;

int SeriesOf(const TRadioGroup* group) { return group->ItemIndex() == 1 ? 1 : 0; }

// Removes both payloads when the run leaves, whichever way it leaves.
class PayloadCleanup {
public:
    explicit PayloadCleanup(UnicodeString package) : package_(std::move(package)) {}
    ~PayloadCleanup() { RemoveNow(); }
    PayloadCleanup(const PayloadCleanup&) = delete;
    PayloadCleanup& operator=(const PayloadCleanup&) = delete;
    void RemoveNow() noexcept {
        DeleteFileIfExists(kBridgeFile);
        DeleteFileIfExists(package_);
    }

private:
    UnicodeString package_;
};

void DeleteBridgeOnceReleased() {
    const DWORD start = ::GetTickCount();
    while (Sysutils::FileExists(kBridgeFile) && !Sysutils::DeleteFile(kBridgeFile)) {
        const DWORD spent = ::GetTickCount() - start;
        if (spent >= kBridgeReleaseMs) return;
        DispatchMessagesFor(std::min(kBridgeRetryMs, kBridgeReleaseMs - spent));
    }
}

// The file is held by another program, most likely "iu.exe" of an earlier run whose bridge
// server has not ended.
bool InUse(const EFCreateError& e) {
    return e.SystemError() == ERROR_SHARING_VIOLATION || e.SystemError() == ERROR_LOCK_VIOLATION;
}

// Writes one payload; a file in use is reported in the window's language.
void ExtractPayload(const UnicodeString& fileName, const wchar_t* resourceName, int lang) {
    try {
        ExtractResourceToFile(fileName, resourceName);
    } catch (const EFCreateError& e) {
        if (!InUse(e)) throw;
        throw EFCreateError(Say(Msg::FileInUseText, lang, {fileName.str()}), e.SystemError());
    }
}

// The test setting's cap on the bounds, read when a run starts; 0: the table's bounds.
unsigned long BoundCap() {
    wchar_t text[16];
    const DWORD n = ::GetEnvironmentVariableW(kBoundCapSetting, text, static_cast<DWORD>(std::size(text)));
    return n && n < std::size(text) ? ParseBoundCap(std::wstring_view(text, n)) : 0;
}

// When a log was last written, so that a record never holds a log of an earlier run.
struct LogStamp {
    bool exists = false;
    FILETIME written{};
};

LogStamp StampOf(const UnicodeString& fileName) {
    LogStamp stamp;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (::GetFileAttributesExW(fileName.c_str(), GetFileExInfoStandard, &data) &&
        !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        stamp.exists = true;
        stamp.written = data.ftLastWriteTime;
    }
    return stamp;
}

bool WrittenSince(const LogStamp& before, const LogStamp& after) {
    if (!after.exists) return false;
    if (!before.exists) return true;
    return ::CompareFileTime(&before.written, &after.written) != 0;
}

// Reads `length` bytes of a file from `offset` without changing it (read access only, sharing
// everything); nullopt when it cannot be read or the part is too large to be a log.
std::optional<std::string> ReadPart(const UnicodeString& fileName, LONGLONG offset, LONGLONG length) {
    const UniqueFile file(::CreateFileW(fileName.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || length < 0 || length > kMaxLogBytes) return std::nullopt;
    LARGE_INTEGER at{};
    at.QuadPart = offset;
    if (!::SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN)) return std::nullopt;
    std::string bytes(static_cast<size_t>(length), '\0');
    size_t filled = 0;
    while (filled < bytes.size()) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), bytes.data() + filled, static_cast<DWORD>(bytes.size() - filled), &got,
                        nullptr))
            return std::nullopt;
        if (got == 0) break;
        filled += got;
    }
    bytes.resize(filled);
    return bytes;
}

// A whole log, as the command's redirection left it.
std::optional<std::string> ReadLog(const UnicodeString& fileName) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(fileName.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    const LONGLONG size = (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return ReadPart(fileName, 0, size);
}

// The file the commands' error streams go to, created anew for the run, each command's part after
// a line naming it. Without it (it cannot be created) the commands run with no error stream.
// Shared, so the SDK's server may keep writing to it.
class ErrorLog {
public:
    ErrorLog()
        : path_(LogPath(kErrorLogName)),
          file_(::CreateFileW(path_.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr)) {}

    HANDLE Handle() const noexcept { return file_ ? file_.get() : nullptr; }

    // Where the next byte goes (the commands write through the same file object).
    LONGLONG End() const {
        LARGE_INTEGER at{};
        if (!file_ || !::SetFilePointerEx(file_.get(), LARGE_INTEGER{}, &at, FILE_CURRENT)) return 0;
        return at.QuadPart;
    }

    void WriteHeader(const UnicodeString& commandLine) const {
        WriteLine("--- " + ToUtf8(commandLine.str()));
    }

    // Said after the part of a command that its bound cut short: "stopped after 240 s", "2.5 s".
    void WriteStopped(unsigned long boundMs) const {
        std::string seconds = std::to_string(boundMs / 1000);
        if (boundMs % 1000) {
            seconds += '.';
            seconds += std::to_string(boundMs % 1000 / 100);
        }
        WriteLine("installer: the command was stopped after " + seconds + " s");
    }

    // What a command wrote between `from` and `to`.
    std::string Part(LONGLONG from, LONGLONG to) const {
        if (!file_ || to <= from) return {};
        return ReadPart(path_, from, to - from).value_or(std::string());
    }

private:
    void WriteLine(const std::string& text) const {
        if (!file_) return;
        const std::string line = text + "\r\n";
        DWORD written = 0;
        static_cast<void>(
            ::WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr));
    }

    UnicodeString path_;
    UniqueFile file_;
};

// Where a run stands after a command's bound ran out, and what still runs.
struct StopState {
    int stopped = -1;          // the first TV command whose bound ran out
    bool stillSilent = false;  // and a clean-up command after it ran out too

    // Once the application is quitting no TV command starts; the closing kill-server does. Once
    // the TV stopped answering, only the clean-up still runs, and only while the TV answers it.
    bool Skips(int index) const {
        const bool talksToTv = kInstallSequence[index].talksToTv;
        return (talksToTv && (Application->Terminated() || stillSilent)) ||
               (stopped >= 0 && !InstallCommandRunsAfterStop(index, stopped));
    }

    void RanOut(int index) {
        if (!kInstallSequence[index].talksToTv) return;
        stillSilent = stopped >= 0;
        if (stopped < 0) stopped = index;
    }
};

}  // namespace

RunRecord RunInstallSteps(const UnicodeString& address, const InstallControls& window,
                          const WidgetData& widget) {
    RunRecord record;
    static_cast<void>(Sysutils::CreateDir(kLogFolder));  // exists already on later runs
    const UnicodeString package = widget.name + L".wgt";
    DeleteFileIfExists(kBridgeFile);
    DeleteFileIfExists(package);
    PayloadCleanup payloads(package);
    // A payload that cannot be written ends the run here, before status and bar change.
    try {
        ExtractPayload(kBridgeFile, L"IUFILE", LanguageIndex(window.language->ItemIndex()));
        ExtractPayload(package, L"WGTFILE", LanguageIndex(window.language->ItemIndex()));
    } catch (const EFCreateError& e) {
        if (InUse(e)) throw;  // already in the user's words
        record.payloadsWritten = false;
        record.payloadError = e.SystemError();
        return record;
    }

    window.status->SetCaption(textTable->InstallingText[LanguageIndex(window.language->ItemIndex())]);
    window.bar->SetPosition(kInstallBarStart);

    const ErrorLog errors;
    const unsigned long boundCap = BoundCap();
    StopState stop;
    for (int i = 0; i < kInstallCommandCount; ++i) {
        const InstallStep& step = kInstallSequence[i];
        CommandRecord& command = record.commands[i];
        if (!stop.Skips(i)) {
            // Built just before it runs: the series may have been switched meanwhile.
            InstallCommandInputs inputs{address, widget.appId, widget.name, {}};
            if (step.NamesStagingDir()) inputs.stagingDir = widget.stagingDirs[SeriesOf(window.series)];
            const UnicodeString line = BuildInstallCommand(i, inputs);
            const UnicodeString log = step.log ? LogPath(step.log) : UnicodeString();
            const LogStamp logBefore = step.log ? StampOf(log) : LogStamp{};
            errors.WriteHeader(line);
            const LONGLONG from = errors.End();
            command.started = true;
            const unsigned long bound = InstallCommandBoundMs(i, boundCap, stop.stopped >= 0);
            if (RunCommandWithin(line, bound, errors.Handle()) == CommandEnd::BoundRanOut) {
                errors.WriteStopped(bound);
                command.stopped = true;
                stop.RanOut(i);
            }
            // The client reports no status of its own: what it printed is all there is.
            if (step.log && WrittenSince(logBefore, StampOf(log))) command.log = ReadLog(log);
            command.errors = errors.Part(from, errors.End());
        }
        window.bar->SetPosition(window.bar->Position() + step.barRaise);
    }

    DeleteBridgeOnceReleased();
    payloads.RemoveNow();
    return record;
}
