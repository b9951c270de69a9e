// The installation's fixed data and its portable decisions: the eleven commands with what is known
// about each, the TV-address check and the verdict read from the install log.
// No Windows here, so the host tests check every byte of it.
#pragma once

#include <optional>
#include <string_view>

#include "UnicodeString.h"

// What the command lines are built from. The staging directory is the one of the series
// selected when the line is built (the user may switch series during a run).
struct InstallCommandInputs {
    UnicodeString tvAddress;
    UnicodeString appId;
    UnicodeString widgetName;
    UnicodeString stagingDir;
};

// One command of the installation and what is known about it. Every line is
//   cmd.exe /c "iu.exe <args>[ > doLog\<log>]"
// with {address}, {appId}, {widget} and {staging} in `args` filled in from the inputs and {port}
// with the TV's developer port.
struct InstallStep {
    const wchar_t* args;
    const wchar_t* log;  // the file in doLog its output goes to; null: not kept
    int barRaise;        // how far the bar rises once it has run
    bool talksToTv;      // false: it only stops the local bridge server
    bool holdsVerdict;   // its log is where the TV says whether the install completed
    // The staging directory is the series' one, so the series is read again before the line.
    bool NamesStagingDir() const noexcept;
};

inline constexpr const wchar_t* kTvPort = L"26101";
constexpr int kInstallCommandCount = 11;
constexpr int kInstallBarStart = 2;  // the bar's position when the first command starts

// The eleven commands in the order they run.
extern const InstallStep kInstallSequence[kInstallCommandCount];

// Command line `index` (0..10), exactly as cmd.exe receives it; empty for any other index.
UnicodeString BuildInstallCommand(int index, const InstallCommandInputs& in);

// The facts of row `index`, for readers that go by number (false or 0 outside 0..10).
bool InstallCommandNamesStagingDir(int index) noexcept;
bool InstallCommandTalksToTv(int index) noexcept;
int InstallBarRaiseAfter(int index) noexcept;

// The index of the command whose log holds the verdict, and that log's path from the
// program's folder ("doLog\step6.txt").
int InstallVerdictCommand() noexcept;
UnicodeString InstallVerdictLog();

// The TV address goes into a line that cmd.exe parses, so only ASCII digits and "." pass,
// and at least seven of them.
bool IsAcceptableTvAddress(const UnicodeString& address) noexcept;

enum class InstallVerdict {
    Completed,  // the TV reported the install completed and nothing failed
    Failed,     // anything else: no log, empty log, a failure line, no verdict at all
};

// Judges the install log (nullopt: there was no log). Success needs a line with
// "install completed" or "installing[100]" and no line with "failed[".
InstallVerdict JudgeInstallLog(std::optional<std::string_view> logBytes) noexcept;
