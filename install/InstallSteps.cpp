#include "InstallSteps.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <utility>

#include "texts/Messages.h"

namespace {

constexpr std::wstring_view kStaging = L"%staging";

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

UnicodeString LogPath(const wchar_t* name) { return UnicodeString(std::wstring(kLogFolder) + L"\\" + name); }

bool InstallStep::NamesStagingDir() const noexcept {
    return std::wstring_view(args).find(kStaging) != std::wstring_view::npos;
}

UnicodeString BuildInstallCommand(int index, const InstallCommandInputs& in) {
    const InstallStep* step = StepAt(index);
    if (!step) return {};
    // The inner command is quoted once; a kept log is a redirection cmd.exe makes.
    const std::wstring port = std::to_wstring(kTvDeveloperPort);
    std::wstring line = L"cmd.exe /c \"" + std::wstring(kBridgeFile) + L" " +
                        FillPlaceholders(step->args, {{L"address", in.tvAddress.str()},
                                                      {L"port", port},
                                                      {L"appId", in.appId.str()},
                                                      {L"widget", in.widgetName.str()},
                                                      {L"staging", in.stagingDir.str()}});
    if (step->log) line += L" > " + LogPath(step->log).str();
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
    case AfterStop::Skipped: return false;
    case AfterStop::Runs: return true;
    case AfterStop::RunsIfConnected: return stopped > InstallRowOf(CommandRole::Connect);
    case AfterStop::RunsIfUploaded: return stopped >= InstallRowOf(CommandRole::Push);
    }
    return false;
}

int InstallVerdictCommand() noexcept { return InstallRowOf(CommandRole::Install); }

UnicodeString InstallVerdictLog() { return LogPath(kInstallSequence[InstallVerdictCommand()].log); }

bool IsAcceptableTvAddress(const UnicodeString& address) noexcept {
    const std::wstring& text = address.str();
    if (text.size() < 7) return false;
    return std::all_of(text.begin(), text.end(),
                       [](wchar_t c) { return (c >= L'0' && c <= L'9') || c == L'.'; });
}

bool IsFailureLine(std::string_view line) noexcept { return ContainsNoCase(line, "failed["); }

InstallVerdict JudgeInstallLog(std::optional<std::string_view> logBytes) noexcept {
    if (!logBytes) return InstallVerdict::Failed;
    // The patterns hold no line end, so looking through the whole text is the same as looking
    // line by line, whatever the line ends are (LF, CRLF, CR CR LF, progress rewritten with CR).
    const std::string_view log = *logBytes;
    if (IsFailureLine(log)) return InstallVerdict::Failed;
    if (Contains(log, "install completed") || Contains(log, "installing[100]"))
        return InstallVerdict::Completed;
    return InstallVerdict::Failed;
}
