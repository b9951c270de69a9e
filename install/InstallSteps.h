// The installation's fixed data and its portable decisions: the eleven commands with what is known
// about each, the TV-address check and the verdict read from the install log.
// No Windows here, so the host tests check every byte of it.
#pragma once

#include <optional>
#include <string_view>

#include "UnicodeString.h"
#include "net/TvPorts.h"

// What the installation writes in the folder it runs in: the bridge client, and the folder that
// keeps the commands' logs and their error stream.
inline constexpr const wchar_t* kBridgeFile = L"iu.exe";
inline constexpr const wchar_t* kLogFolder = L"doLog";
inline constexpr const wchar_t* kErrorLogName = L"errors.txt";
// "doLog\<name>", as the command lines and the installer name a file of that folder.
UnicodeString LogPath(const wchar_t* name);

// What the command lines are built from. The staging directory is the one of the series
// selected when the line is built (the user may switch series during a run).
struct InstallCommandInputs {
    UnicodeString tvAddress;
    UnicodeString appId;
    UnicodeString widgetName;
    UnicodeString stagingDir;
};

// What a person calls the part of the installation a command belongs to, for the box that says
// where the TV stopped answering.
enum class InstallStage { None, Connecting, RemovingOldCopy, CopyingWidget, Installing };

// What a command does in the sequence; readers find a row by its role, never by its words.
enum class CommandRole {
    StopServer,      // kill-server: the local bridge server only (first and last)
    Connect,         // connect to the TV
    ListDevices,     // devices
    AskInstallPath,  // getappinstallpath
    RemoveOldCopy,   // vd_appuninstall
    MakeStagingDir,  // mkdir of the series' staging directory
    Push,            // the upload of the package
    Install,         // vd_appinstall: its log holds the TV's verdict
    RemoveUpload,    // rmfile of the upload
    ListApps,        // applist: what the TV holds afterwards
};

// Whether a command still runs once an earlier one was stopped because its bound ran out.
enum class AfterStop {
    Skipped,          // it builds toward the install, which cannot happen now
    Runs,             // it needs no TV: stops the local bridge server
    RunsIfConnected,  // it asks the TV, unless the connect itself was stopped
    RunsIfUploaded,   // it removes the upload from the TV, once the push had started
};

// One command of the installation and what is known about it. Every line is
//   cmd.exe /c "iu.exe <args>[ > doLog\<log>]"
// with %address, %appId, %widget and %staging in `args` filled in from the inputs and %port with
// the TV's developer port (texts/Messages.h, FillPlaceholders; cmd.exe never sees them).
struct InstallStep {
    CommandRole role;
    const wchar_t* args;
    const wchar_t* log;  // the file in doLog its output goes to; null: not kept
    int barRaise;        // how far the bar rises once it has run
    bool talksToTv;      // false: it only stops the local bridge server
    int boundSeconds;    // longest it may run; then its whole process tree is ended (README)
    InstallStage stage;
    AfterStop afterStop;
    // The staging directory is the series' one, so the series is read again before the line.
    bool NamesStagingDir() const noexcept;
};

constexpr int kInstallCommandCount = 11;
constexpr int kInstallBarStart = 2;  // the bar's position when the first command starts

// The eleven commands in the order they run. The bounds and why each is what it is: README,
// "Time bounds".
inline constexpr InstallStep kInstallSequence[kInstallCommandCount] = {
    {CommandRole::StopServer, L"kill-server", nullptr, 4, false, 30, InstallStage::None, AfterStop::Runs},
    {CommandRole::Connect, L"connect %address:%port", L"step1.txt", 12, true, 60, InstallStage::Connecting,
     AfterStop::Skipped},
    {CommandRole::ListDevices, L"devices", L"step2.txt", 4, true, 60, InstallStage::Connecting,
     AfterStop::Skipped},
    {CommandRole::AskInstallPath, L"shell 0 getappinstallpath", L"step3.txt", 5, true, 60,
     InstallStage::Connecting, AfterStop::Skipped},
    {CommandRole::RemoveOldCopy, L"shell 0 vd_appuninstall %appId; echo cmd_ret:$?;", L"step4.txt", 12, true,
     90, InstallStage::RemovingOldCopy, AfterStop::Skipped},
    {CommandRole::MakeStagingDir, L"shell 0 mkdir %staging", nullptr, 9, true, 60,
     InstallStage::CopyingWidget, AfterStop::Skipped},
    {CommandRole::Push, L"push %widget.wgt %staging/%widget.wgt", L"step5.txt", 12, true, 180,
     InstallStage::CopyingWidget, AfterStop::Skipped},
    {CommandRole::Install, L"shell 0 vd_appinstall %appId %staging/%widget.wgt; echo cmd_ret:$?;",
     L"step6.txt", 12, true, 240, InstallStage::Installing, AfterStop::Skipped},
    {CommandRole::RemoveUpload, L"shell 0 rmfile %staging/%widget.wgt", nullptr, 9, true, 60,
     InstallStage::Installing, AfterStop::RunsIfUploaded},
    {CommandRole::ListApps, L"shell 0 applist", L"step7.txt", 9, true, 60, InstallStage::Installing,
     AfterStop::RunsIfConnected},
    {CommandRole::StopServer, L"kill-server", nullptr, 10, false, 30, InstallStage::None, AfterStop::Runs},
};

// The first row of role `role`; -1 when there is none (the checks below rule that out for every
// role the program looks up).
constexpr int InstallRowOf(CommandRole role) noexcept {
    for (int i = 0; i < kInstallCommandCount; ++i)
        if (kInstallSequence[i].role == role) return i;
    return -1;
}
static_assert(InstallRowOf(CommandRole::Connect) > 0 &&
                  InstallRowOf(CommandRole::Push) > InstallRowOf(CommandRole::Connect) &&
                  InstallRowOf(CommandRole::Install) > InstallRowOf(CommandRole::Push),
              "the connect, the upload and the install, in this order");
static_assert(kInstallSequence[InstallRowOf(CommandRole::Install)].log != nullptr,
              "the install's log holds the verdict");

// Command line `index` (0..10), exactly as cmd.exe receives it; empty for any other index.
UnicodeString BuildInstallCommand(int index, const InstallCommandInputs& in);

// The facts of row `index`, for readers that go by number (false or 0 outside 0..10).
bool InstallCommandNamesStagingDir(int index) noexcept;
bool InstallCommandTalksToTv(int index) noexcept;
int InstallBarRaiseAfter(int index) noexcept;

// Once the TV stopped answering, a clean-up command asks it only this long: a TV that answers
// again does so at once, and one still silent should not keep the user waiting a minute more.
inline constexpr int kAfterStopBoundSeconds = 20;

// The bound of row `index` in milliseconds (0 outside 0..10): the table's, at most
// kAfterStopBoundSeconds `afterStop`, and no longer than `capMs` when that is not 0. The cap is a
// test's setting (KAVORIN_TEST_BOUND_CAP_MS); the shipped program runs with the table's bounds.
unsigned long InstallCommandBoundMs(int index, unsigned long capMs, bool afterStop = false) noexcept;
// The cap from that setting's text: plain decimal digits, at least kMinBoundCapMs (a smaller
// number is raised to it); 0, meaning no cap, for an empty, malformed or huge text.
inline constexpr unsigned long kMinBoundCapMs = 500;
unsigned long ParseBoundCap(std::wstring_view text) noexcept;

// Whether row `index` runs when row `stopped` (one that talks to the TV) was stopped earlier in
// the run.
bool InstallCommandRunsAfterStop(int index, int stopped) noexcept;

// The index of the command whose log holds the verdict, and that log's path from the
// program's folder ("doLog\step6.txt").
int InstallVerdictCommand() noexcept;
UnicodeString InstallVerdictLog();

// The TV address goes into a line that cmd.exe parses, so only ASCII digits and "." pass,
// and at least seven of them.
bool IsAcceptableTvAddress(const UnicodeString& address) noexcept;

// The one rule for a line in which the TV's installer reports a failure ("... failed[<code>]",
// in any case); the verdict and the diagnosis both go by it.
bool IsFailureLine(std::string_view line) noexcept;

enum class InstallVerdict {
    Completed,  // the TV reported the install completed and nothing failed
    Failed,     // anything else: no log, empty log, a failure line, no verdict at all
};

// Judges the install log (nullopt: there was no log). Success needs a line with
// "install completed" or "installing[100]" and no failure line.
InstallVerdict JudgeInstallLog(std::optional<std::string_view> logBytes) noexcept;
