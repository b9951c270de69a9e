// The installation's fixed data and its portable decisions: the eleven command lines, the
// progress-bar steps, the TV-address check and the verdict read from the install log.
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

constexpr int kInstallCommandCount = 11;
constexpr int kInstallBarStart = 2;

// Command line `index` (0..10), exactly as cmd.exe receives it.
UnicodeString BuildInstallCommand(int index, const InstallCommandInputs& in);

// Commands 5 to 8 name the staging directory, so the series is read again before each.
bool InstallCommandNamesStagingDir(int index) noexcept;

// Commands 1 to 9 talk to the TV; 0 and 10 only stop the local bridge server.
bool InstallCommandTalksToTv(int index) noexcept;

// How far the bar rises after command `index`: 2 at the start, 100 after the last.
int InstallBarRaiseAfter(int index) noexcept;

// The TV address goes into a line that cmd.exe parses, so only ASCII digits and "." pass,
// and at least seven of them.
bool IsAcceptableTvAddress(const UnicodeString& address) noexcept;

// The log of the install command (command 7), read after the run.
inline constexpr const wchar_t* kInstallLogFile = L"doLog\\step6.txt";

enum class InstallVerdict {
    Completed,  // the TV reported the install completed and nothing failed
    Failed,     // anything else: no log, empty log, a failure line, no verdict at all
};

// Judges the install log (nullopt: there was no log). Success needs a line with
// "install completed" or "installing[100]" and no line with "failed[".
InstallVerdict JudgeInstallLog(std::optional<std::string_view> logBytes) noexcept;
