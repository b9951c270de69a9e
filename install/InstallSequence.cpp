// The Install button: check the TV address, write the payloads, run the eleven bridge commands
// with their logs in doLog, move the bar, remove the payloads and say honestly how it went. With
// the field empty, or nothing answering at the typed address, look for the TV on this PC's
// networks and offer what was found.
#include <windows.h>

#include <algorithm>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CommandRunner.h"
#include "Diagnosis.h"
#include "Exception.h"
#include "InstallSteps.h"
#include "Mainwin.h"
#include "MessageWait.h"
#include "Payloads.h"
#include "SysUtils.h"
#include "net/LocalAddress.h"
#include "net/TvProbeWin.h"
#include "net/TvSearchWin.h"
#include "texts/Func.h"

// Marks the form busy for one run, on every way out of the handler.
struct InstallRunGuard {
    explicit InstallRunGuard(TmainForm& form) : form_(form) { form_.installing_ = true; }
    ~InstallRunGuard() { form_.installing_ = false; }
    InstallRunGuard(const InstallRunGuard&) = delete;
    InstallRunGuard& operator=(const InstallRunGuard&) = delete;
    static bool Running(const TmainForm& form) noexcept { return form.installing_; }

private:
    TmainForm& form_;
};

namespace {

constexpr const wchar_t* kBridgeFile = L"iu.exe";
constexpr const wchar_t* kLogFolder = L"doLog";
// What the commands write to their error stream, each after a line naming the command.
constexpr const wchar_t* kErrorLog = L"doLog\\errors.txt";
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

// Language 1 is English; anything else reads as Russian, the default.
int LanguageOf(const TRadioGroup* group) { return group->ItemIndex() == 1 ? 1 : 0; }
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
        std::wstring text = textTable->FileInUseText[lang].str();
        const size_t at = text.find(L"%1");
        if (at != std::wstring::npos) text.replace(at, 2, fileName.str());
        throw EFCreateError(text, e.SystemError());
    }
}

// The test setting's cap on the bounds, read when a run starts; 0: the table's bounds.
unsigned long BoundCap() {
    wchar_t text[16];
    const DWORD n = ::GetEnvironmentVariableW(kBoundCapSetting, text, static_cast<DWORD>(std::size(text)));
    return n && n < std::size(text) ? ParseBoundCap(std::wstring_view(text, n)) : 0;
}

// When the install log was last written, so the verdict never reads a log of an earlier run.
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

bool WrittenSince(const std::optional<LogStamp>& before, const LogStamp& after) {
    if (!before || !after.exists) return false;
    if (!before->exists) return true;
    return ::CompareFileTime(&before->written, &after.written) != 0;
}

// The file the commands' error streams go to, created anew for the run; null when it cannot be
// (the commands then run without one). Shared, so the SDK's server may keep writing to it.
UniqueFile OpenErrorLog() {
    const HANDLE file =
        ::CreateFileW(kErrorLog, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return UniqueFile(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

// Where the next byte of the error log goes.
LONGLONG ErrorLogEnd(const UniqueFile& file) {
    LARGE_INTEGER at{};
    if (!file || !::SetFilePointerEx(file.get(), LARGE_INTEGER{}, &at, FILE_CURRENT)) return 0;
    return at.QuadPart;
}

void WriteLine(const UniqueFile& file, const std::string& text) {
    if (!file) return;
    const std::string line = text + "\r\n";
    DWORD written = 0;
    static_cast<void>(
        ::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr));
}

void WriteHeader(const UniqueFile& file, const UnicodeString& commandLine) {
    WriteLine(file, "--- " + ToUtf8(commandLine.str()));
}

// Said after the part of a command that its bound cut short: "stopped after 240 s", "2.5 s".
void WriteStopped(const UniqueFile& file, unsigned long boundMs) {
    std::string seconds = std::to_string(boundMs / 1000);
    if (boundMs % 1000) seconds += "." + std::to_string(boundMs % 1000 / 100);
    WriteLine(file, "installer: the command was stopped after " + seconds + " s");
}

// Reads the log without changing it (read access only, sharing everything).
std::optional<std::string> ReadLog(const UnicodeString& fileName) {
    const UniqueFile file(::CreateFileW(fileName.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxLogBytes) return std::nullopt;
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
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

// What the search for the TV on this PC's networks came to.
enum class Offer {
    Install,    // one TV, and the user chose it: its address is in the field
    Declined,   // one TV, and the user did not choose it
    Listed,     // several: the box listed them for the user to type one
    NoneFound,  // none (or none but the address where nothing answered)
    Quitting,   // the application is quitting: nothing more to ask
};

// Searches with the status line saying so, then offers what it found. `nothingAt`: the typed
// address where nothing answered (empty: the field was empty, and a TV found goes into it before
// the question).
Offer OfferTvsFound(TmainForm& form, const std::wstring& nothingAt) {
    const UnicodeString status = form.statusLbl->Caption();
    form.statusLbl->SetCaption(textTable->SearchingText[LanguageOf(form.langRG)]);
    tvsearch::SearchResult found = tvsearch::SearchTvs();
    // Back to what it said, unless a change of language has put the prompt there meanwhile.
    if (form.statusLbl->Caption() == textTable->SearchingText[LanguageOf(form.langRG)])
        form.statusLbl->SetCaption(status);
    if (found.quitting || Application->Terminated()) return Offer::Quitting;
    std::vector<tvsearch::FoundTv>& tvs = found.tvs;
    tvs.erase(std::remove_if(tvs.begin(), tvs.end(),
                             [&](const tvsearch::FoundTv& tv) { return FromUtf8(tv.address) == nothingAt; }),
              tvs.end());
    if (tvs.empty()) return Offer::NoneFound;

    const int lang = LanguageOf(form.langRG);
    const bool failedRun = !nothingAt.empty();
    const std::vector<std::wstring> pc = GetLocalIPv4Addresses();
    if (tvs.size() > 1) {
        const UnicodeString list = FoundTvsList(tvs, lang, nothingAt, pc);
        failedRun ? ShowErrorMessage(list) : ShowMessage(list);
        return Offer::Listed;
    }
    // The empty field shows the TV's address while the user is asked; a typed one changes on Yes.
    const UnicodeString address = FromUtf8(tvs[0].address);
    if (!failedRun) form.tvIpEdt->SetCaption(address);
    if (!AskYesNo(FoundTvQuestion(tvs[0], lang, nothingAt, pc), textTable->YesCaption[lang],
                  textTable->NoCaption[lang], failedRun))
        return Offer::Declined;
    if (failedRun) form.tvIpEdt->SetCaption(address);
    return Offer::Install;
}

}  // namespace

void TmainForm::BitInstallClick(TObject* /*Sender*/) {
    // The window answers input during every command; a press of Install meanwhile is dropped.
    if (InstallRunGuard::Running(*this)) return;
    InstallRunGuard running(*this);

    // Nothing typed: the TV is looked for on this PC's networks, and installed where the user says.
    if (tvIpEdt->Text().IsEmpty()) {
        const Offer offer = OfferTvsFound(*this, {});
        if (offer == Offer::Install) InstallAt(tvIpEdt->Text(), false);
        if (offer == Offer::NoneFound) ShowMessage(NoTvFoundText(LanguageOf(langRG)));
        return;
    }
    // The address goes into a line that cmd.exe parses; pasted text bypasses the key filter.
    const UnicodeString address = tvIpEdt->Text();
    if (!IsAcceptableTvAddress(address)) {
        const int lang = LanguageOf(langRG);
        ShowMessage(textTable->BadAddressText[lang] + L"\n" + textTable->BadAddressHintText[lang]);
        return;
    }
    // Nothing answered there, and the user chose a TV that answers elsewhere: once more, there.
    if (InstallAt(address, true)) InstallAt(tvIpEdt->Text(), false);
}

bool TmainForm::InstallAt(const UnicodeString& address, bool searchIfNothingAnswers) {
    static_cast<void>(Sysutils::CreateDir(kLogFolder));  // exists already on later runs
    const UnicodeString package = widgetName + L".wgt";
    DeleteFileIfExists(kBridgeFile);
    DeleteFileIfExists(package);
    PayloadCleanup payloads(package);
    // A payload that cannot be written ends the run here, before status and bar change.
    try {
        ExtractPayload(kBridgeFile, L"IUFILE", LanguageOf(langRG));
        ExtractPayload(package, L"WGTFILE", LanguageOf(langRG));
    } catch (const EFCreateError& e) {
        if (InUse(e)) throw;  // already in the user's words
        // Any other reason: this folder cannot be written.
        RunRecord notWritten;
        notWritten.payloadsWritten = false;
        UnicodeString text = DiagnosisMessage(DiagnoseRun(notWritten), LanguageOf(langRG), {}, {});
        if (e.SystemError()) text += L"\n\n" + Sysutils::SysErrorMessage(e.SystemError());
        ShowErrorMessage(text);
        return false;
    }

    statusLbl->SetCaption(textTable->InstallingText[LanguageOf(langRG)]);
    installPB->SetPosition(kInstallBarStart);

    const UniqueFile errorLog = OpenErrorLog();
    const unsigned long boundCap = BoundCap();
    RunRecord record;
    std::vector<std::pair<LONGLONG, LONGLONG>> errorSpans(kInstallCommandCount);
    std::vector<std::optional<LogStamp>> logBefore(kInstallCommandCount);  // set once the command started
    int stopped = -1;          // the first TV command whose bound ran out
    bool stillSilent = false;  // and a clean-up command after it ran out too
    for (int i = 0; i < kInstallCommandCount; ++i) {
        const InstallStep& step = kInstallSequence[i];
        // Once the application is quitting no TV command starts; the closing kill-server does.
        // Once the TV stopped answering, only the clean-up still runs, and only while the TV
        // answers it.
        const bool skip = (step.talksToTv && (Application->Terminated() || stillSilent)) ||
                          (stopped >= 0 && !InstallCommandRunsAfterStop(i, stopped));
        if (!skip) {
            // Built just before it runs: the series may have been switched meanwhile.
            InstallCommandInputs inputs{address, appId, widgetName, {}};
            if (step.NamesStagingDir()) inputs.stagingDir = tvTmpDir[SeriesOf(tvSeriesRG)];
            const UnicodeString line = BuildInstallCommand(i, inputs);
            if (step.log) logBefore[i] = StampOf(UnicodeString(std::wstring(L"doLog\\") + step.log));
            WriteHeader(errorLog, line);
            errorSpans[i].first = ErrorLogEnd(errorLog);
            record.commands[i].started = true;
            const unsigned long bound = InstallCommandBoundMs(i, boundCap, stopped >= 0);
            if (RunCommandWithin(line, bound, errorLog.get()) == CommandEnd::BoundRanOut) {
                WriteStopped(errorLog, bound);
                record.commands[i].stopped = true;
                if (step.talksToTv) {
                    stillSilent = stopped >= 0;
                    if (stopped < 0) stopped = i;
                }
            }
            errorSpans[i].second = ErrorLogEnd(errorLog);
        }
        installPB->SetPosition(installPB->Position() + step.barRaise);
    }

    DeleteBridgeOnceReleased();
    payloads.RemoveNow();

    // The client reports no status of its own; the TV's verdict is in the install log.
    for (int i = 0; i < kInstallCommandCount; ++i) {
        const wchar_t* log = kInstallSequence[i].log;
        if (!log) continue;
        const UnicodeString path(std::wstring(L"doLog\\") + log);
        if (WrittenSince(logBefore[i], StampOf(path))) record.commands[i].log = ReadLog(path);
    }
    const bool completed =
        JudgeInstallLog(record.commands[InstallVerdictCommand()].log) == InstallVerdict::Completed;
    const int lang = LanguageOf(langRG);
    statusLbl->SetCaption(completed ? textTable->DoneText[lang] : textTable->FailedText[lang]);
    // A closed window asks nothing more of the user.
    if (completed || Application->Terminated()) return false;

    if (errorLog) {
        const std::string errors = ReadLog(kErrorLog).value_or(std::string());
        for (int i = 0; i < kInstallCommandCount; ++i) {
            const auto [from, to] = errorSpans[i];
            if (to > from && static_cast<size_t>(from) < errors.size())
                record.commands[i].errors =
                    errors.substr(static_cast<size_t>(from), static_cast<size_t>(to - from));
        }
    }
    Diagnosis why = DiagnoseRun(record);
    const std::vector<std::wstring> pc = GetLocalIPv4Addresses();
    if (WorthAskingTheTv(why.cause)) {
        // The logs cannot tell why the connect failed; the TV at the typed address can, bounded
        // in time, the window answering meanwhile.
        const tvprobe::ProbeResult tv = tvprobe::ProbeTv(ToUtf8(address.str()));
        if (tv.quitting || Application->Terminated()) return false;
        why = WithTvAnswers(why, tvprobe::Judge(tv.port, tv.device, Utf8Addresses(pc)));
    }
    // Nothing there at all: the TV may have another address on this PC's network.
    if (why.cause == FailureCause::NothingAnswers && searchIfNothingAnswers) {
        const Offer offer = OfferTvsFound(*this, address.str());
        if (offer != Offer::NoneFound) return offer == Offer::Install;
    }
    ShowErrorMessage(
        DiagnosisMessage(why, LanguageOf(langRG), address.str(), PcAddressesForTv(address.str(), pc)));
    return false;
}
