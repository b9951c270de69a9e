#include "InstallSteps.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <utility>

using enum InstallStage;
using enum AfterStop;

// The bounds and why each is what it is: README, "Time bounds".
const InstallStep kInstallSequence[kInstallCommandCount] = {
    {L"kill-server", nullptr, 4, false, false, 30, None, Runs},
    {L"connect {address}:{port}", L"step1.txt", 12, true, false, 60, Connecting, Skipped},
    {L"devices", L"step2.txt", 4, true, false, 60, Connecting, Skipped},
    {L"shell 0 getappinstallpath", L"step3.txt", 5, true, false, 60, Connecting, Skipped},
    {L"shell 0 vd_appuninstall {appId}; echo cmd_ret:$?;", L"step4.txt", 12, true, false, 90, RemovingOldCopy,
     Skipped},
    {L"shell 0 mkdir {staging}", nullptr, 9, true, false, 60, CopyingWidget, Skipped},
    {L"push {widget}.wgt {staging}/{widget}.wgt", L"step5.txt", 12, true, false, 180, CopyingWidget, Skipped},
    {L"shell 0 vd_appinstall {appId} {staging}/{widget}.wgt; echo cmd_ret:$?;", L"step6.txt", 12, true, true,
     240, Installing, Skipped},
    {L"shell 0 rmfile {staging}/{widget}.wgt", nullptr, 9, true, false, 60, Installing, RunsIfUploaded},
    {L"shell 0 applist", L"step7.txt", 9, true, false, 60, Installing, RunsIfConnected},
    {L"kill-server", nullptr, 10, false, false, 30, None, Runs},
};

namespace {

constexpr std::wstring_view kStaging = L"{staging}";

// `args` with each {name} replaced by its input, in one pass: a value is never read again.
std::wstring Fill(std::wstring_view args, const InstallCommandInputs& in) {
    const UnicodeString port(kTvPort);
    const std::pair<std::wstring_view, const UnicodeString*> fields[] = {{L"{address}", &in.tvAddress},
                                                                         {L"{port}", &port},
                                                                         {L"{appId}", &in.appId},
                                                                         {L"{widget}", &in.widgetName},
                                                                         {kStaging, &in.stagingDir}};
    std::wstring out;
    size_t at = 0;
    while (at < args.size()) {
        bool filled = false;
        for (const auto& [name, value] : fields) {
            if (args.substr(at, name.size()) == name) {
                out += value->str();
                at += name.size();
                filled = true;
                break;
            }
        }
        if (!filled) out += args[at++];
    }
    return out;
}

const InstallStep* StepAt(int index) noexcept {
    return index >= 0 && index < kInstallCommandCount ? &kInstallSequence[index] : nullptr;
}

bool Contains(std::string_view hay, std::string_view needle) {
    return hay.find(needle) != std::string_view::npos;
}

bool ContainsNoCase(std::string_view hay, std::string_view needle) {
    auto lower = [](unsigned char c) { return static_cast<char>(std::tolower(c)); };
    return std::search(hay.begin(), hay.end(), needle.begin(), needle.end(),
                       [&](char a, char b) { return lower(a) == lower(b); }) != hay.end();
}

}  // namespace

int InstallRowStartingWith(std::wstring_view verb) noexcept {
    for (int i = 0; i < kInstallCommandCount; ++i)
        if (std::wstring_view(kInstallSequence[i].args).substr(0, verb.size()) == verb) return i;
    return -1;
}

bool InstallStep::NamesStagingDir() const noexcept {
    return std::wstring_view(args).find(kStaging) != std::wstring_view::npos;
}

UnicodeString BuildInstallCommand(int index, const InstallCommandInputs& in) {
    const InstallStep* step = StepAt(index);
    if (!step) return {};
    // The inner command is quoted once; a kept log is a redirection cmd.exe makes.
    std::wstring line = L"cmd.exe /c \"iu.exe " + Fill(step->args, in);
    if (step->log) line += std::wstring(L" > doLog\\") + step->log;
    line += L"\"";
    return UnicodeString(std::move(line));
}

bool InstallCommandNamesStagingDir(int index) noexcept {
    const InstallStep* step = StepAt(index);
    return step && step->NamesStagingDir();
}

bool InstallCommandTalksToTv(int index) noexcept {
    const InstallStep* step = StepAt(index);
    return step && step->talksToTv;
}

int InstallBarRaiseAfter(int index) noexcept {
    const InstallStep* step = StepAt(index);
    return step ? step->barRaise : 0;
}

unsigned long InstallCommandBoundMs(int index, unsigned long capMs, bool afterStop) noexcept {
    const InstallStep* step = StepAt(index);
    if (!step) return 0;
    const int seconds = afterStop ? std::min(step->boundSeconds, kAfterStopBoundSeconds) : step->boundSeconds;
    const unsigned long bound = static_cast<unsigned long>(seconds) * 1000UL;
    return capMs ? std::min(bound, std::max(capMs, kMinBoundCapMs)) : bound;
}

unsigned long ParseBoundCap(std::wstring_view text) noexcept {
    // Nine digits at most: no bound of the table is longer, and nothing can overflow.
    if (text.empty() || text.size() > 9) return 0;
    unsigned long ms = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return 0;
        ms = ms * 10 + static_cast<unsigned long>(c - L'0');
    }
    return ms ? std::max(ms, kMinBoundCapMs) : 0;
}

bool InstallCommandRunsAfterStop(int index, int stopped) noexcept {
    const InstallStep* step = StepAt(index);
    if (!step) return false;
    switch (step->afterStop) {
    case Skipped: return false;
    case Runs: return true;
    case RunsIfConnected: return stopped > InstallRowStartingWith(L"connect");
    case RunsIfUploaded: return stopped >= InstallRowStartingWith(L"push");
    }
    return false;
}

int InstallVerdictCommand() noexcept {
    for (int i = 0; i < kInstallCommandCount; ++i)
        if (kInstallSequence[i].holdsVerdict) return i;
    return -1;
}

UnicodeString InstallVerdictLog() {
    return UnicodeString(std::wstring(L"doLog\\") + kInstallSequence[InstallVerdictCommand()].log);
}

bool IsAcceptableTvAddress(const UnicodeString& address) noexcept {
    const std::wstring& text = address.str();
    if (text.size() < 7) return false;
    return std::all_of(text.begin(), text.end(),
                       [](wchar_t c) { return (c >= L'0' && c <= L'9') || c == L'.'; });
}

InstallVerdict JudgeInstallLog(std::optional<std::string_view> logBytes) noexcept {
    if (!logBytes) return InstallVerdict::Failed;
    // The patterns hold no line end, so looking through the whole text is the same as looking
    // line by line, whatever the line ends are (LF, CRLF, CR CR LF, progress rewritten with CR).
    const std::string_view log = *logBytes;
    if (ContainsNoCase(log, "failed[")) return InstallVerdict::Failed;
    if (Contains(log, "install completed") || Contains(log, "installing[100]"))
        return InstallVerdict::Completed;
    return InstallVerdict::Failed;
}
