// The Install button end to end on the real window, with the recording stand-in as "iu.exe":
// what the client is asked (the journal), what lands in the folder, what the window shows.
#include <windows.h>

#include <chrono>

#include "Classes.h"
#include "install/CommandRunner.h"
#include "ExpectedBar.h"
#include "ExpectedTexts.h"
#include "install/Payloads.h"
#include "install_test_support.h"

using namespace installtest;

namespace {

const std::wstring kJK = L"/opt/usr/apps/tmp";
const std::wstring kNewer = L"/home/owner/share/tmp/sdk_tools/tmp";
const std::wstring kApp = L"Qw7TzLp2Xe.KAVORIN";
using Clock = std::chrono::steady_clock;

// The client's arguments for each of the eleven lines, as the C runtime splits what cmd.exe
// hands over (the redirection is cmd's and does not reach the client).
std::vector<std::vector<std::wstring>> ExpectedArgs(const std::wstring& ip,
                                                    const std::vector<std::wstring>& dirFor) {
    return {
        {L"iu.exe", L"kill-server"},
        {L"iu.exe", L"connect", ip + L":26101"},
        {L"iu.exe", L"devices"},
        {L"iu.exe", L"shell", L"0", L"getappinstallpath"},
        {L"iu.exe", L"shell", L"0", L"vd_appuninstall", kApp + L";", L"echo", L"cmd_ret:$?;"},
        {L"iu.exe", L"shell", L"0", L"mkdir", dirFor[5]},
        {L"iu.exe", L"push", L"KAVORIN.wgt", dirFor[6] + L"/KAVORIN.wgt"},
        {L"iu.exe", L"shell", L"0", L"vd_appinstall", kApp, dirFor[7] + L"/KAVORIN.wgt;", L"echo",
         L"cmd_ret:$?;"},
        {L"iu.exe", L"shell", L"0", L"rmfile", dirFor[8] + L"/KAVORIN.wgt"},
        {L"iu.exe", L"shell", L"0", L"applist"},
        {L"iu.exe", L"kill-server"},
    };
}

std::vector<std::wstring> Dirs(const std::wstring& dir) { return std::vector<std::wstring>(11, dir); }

std::vector<std::vector<std::wstring>> Args(const std::vector<Call>& calls) {
    std::vector<std::vector<std::wstring>> args;
    for (const auto& c : calls) args.push_back(c.argv);
    return args;
}

// The seven logs and, beside them, what the commands wrote to their error stream.
const std::vector<std::wstring> kLogs{L"errors.txt", L"step1.txt", L"step2.txt", L"step3.txt",
                                      L"step4.txt",  L"step5.txt", L"step6.txt", L"step7.txt"};

using expected::Shows;

class Install : public InstallWindow {
protected:
    void ExpectCleanFolderAfterRun() {
        EXPECT_EQ(ListDir(work_), std::vector<std::wstring>{L"doLog"});
        EXPECT_EQ(ListDir(Work(L"doLog")), kLogs);
    }
};

}  // namespace

TEST_F(Install, RunsTheElevenLinesInOrderAndCleansUp) {
    TypeAddress(L"192.168.1.66");
    ClickInstall();

    const auto calls = Journal();
    EXPECT_EQ(Args(calls), ExpectedArgs(L"192.168.1.66", Dirs(kJK)));
    for (const auto& c : calls) {
        EXPECT_EQ(c.cwd, work_) << "the client runs in the program's working folder";
        EXPECT_EQ(c.cmdline.find(L"doLog"), std::wstring::npos) << "redirection reached the client";
    }
    ASSERT_EQ(calls.size(), 11u);
    EXPECT_NE(calls[4].cmdline.find(L"vd_appuninstall Qw7TzLp2Xe.KAVORIN; echo cmd_ret:$?;"),
              std::wstring::npos);
    // The package was there, whole, when the client pushed it.
    const auto widget = ReadBytes(KAVORIN_TEST_WIDGET_FILE);
    ASSERT_TRUE(widget.has_value());
    EXPECT_EQ(calls[6].file, L"KAVORIN.wgt:" + std::to_wstring(widget->size()));

    ExpectCleanFolderAfterRun();
    EXPECT_NE(ReadBytes(Work(L"doLog\\step1.txt"))->find("connected to 192.168.1.66:26101\r\n"),
              std::string::npos);
    EXPECT_NE(ReadBytes(Work(L"doLog\\step2.txt"))->find("List of devices attached"), std::string::npos);
    EXPECT_NE(ReadBytes(Work(L"doLog\\step5.txt"))->find("1 file(s) pushed"), std::string::npos);
    EXPECT_NE(ReadBytes(Work(L"doLog\\step6.txt"))->find("install completed"), std::string::npos);
    EXPECT_NE(ReadBytes(Work(L"doLog\\step7.txt"))->find("Qw7TzLp2Xe.KAVORIN"), std::string::npos);
    EXPECT_TRUE(Shows(Status(), "DoneText", 0)) << "statusLbl";
    EXPECT_EQ(Bar(), 100);
    EXPECT_TRUE(Boxes().empty());

    // A second run reuses doLog, replaces the logs, and runs again (the guard was released).
    Click(form().tvSeriesRG, 1);
    TypeAddress(L"999.999.999.999");
    ClickInstall();
    const auto again = Journal();
    ASSERT_EQ(again.size(), 22u);
    EXPECT_EQ(Args({again.begin() + 11, again.end()}), ExpectedArgs(L"999.999.999.999", Dirs(kNewer)));
    EXPECT_NE(ReadBytes(Work(L"doLog\\step1.txt"))->find("connected to 999.999.999.999:26101"),
              std::string::npos);
    EXPECT_EQ(ReadBytes(Work(L"doLog\\step1.txt"))->find("192.168.1.66"), std::string::npos);
    ExpectCleanFolderAfterRun();
}

TEST_F(Install, BarStatusAndMidRunSwitchesOfSeriesAndLanguage) {
    SetEnv(L"KAVORIN_RECORDER_SLEEP_MS", L"150");
    TypeAddress(L"1.1.1.1");
    std::vector<int> barWhileRunning;
    std::vector<std::wstring> statusWhileRunning;
    size_t seen = 0;
    {
        DuringRun watch([&] {
            const size_t n = Calls();
            if (n == seen) return;
            seen = n;
            barWhileRunning.push_back(Bar());
            statusWhileRunning.push_back(Status());
            if (n == 3) Click(form().langRG, 1);      // during "devices"
            if (n == 6) Click(form().tvSeriesRG, 1);  // during "mkdir", built with J,K
        });
        ClickInstall();
    }
    EXPECT_EQ(barWhileRunning, expected::kBarWhileRunning);
    EXPECT_EQ(Bar(), 100);
    ASSERT_EQ(statusWhileRunning.size(), 11u);
    EXPECT_TRUE(Shows(statusWhileRunning[0], "InstallingText", 0)) << "statusLbl";
    EXPECT_TRUE(Shows(statusWhileRunning[3], "PromptText", 1)) << "statusLbl";  // the switch shows the prompt
    EXPECT_TRUE(Shows(Status(), "DoneText", 1)) << "statusLbl";                 // and the end is in English

    std::vector<std::wstring> dirs = Dirs(kJK);
    dirs[6] = dirs[7] = dirs[8] = kNewer;
    EXPECT_EQ(Args(Journal()), ExpectedArgs(L"1.1.1.1", dirs));
}

TEST_F(Install, PressDuringARunIsIgnored) {
    SetEnv(L"KAVORIN_RECORDER_SLEEP_MS", L"100");
    TypeAddress(L"1234567");
    int pressed = 0;
    {
        DuringRun watch([&] {
            if (Calls() == 4 && pressed++ == 0) SendMessageW(form().BitInstall->Handle(), BM_CLICK, 0, 0);
        });
        ClickInstall();
    }
    EXPECT_GE(pressed, 1);
    EXPECT_EQ(Args(Journal()), ExpectedArgs(L"1234567", Dirs(kJK)));
    Pump();
    EXPECT_EQ(Journal().size(), 11u) << "nothing queued for later either";
    EXPECT_TRUE(Shows(Status(), "DoneText", 0)) << "statusLbl";
}

TEST_F(Install, RejectedAddressesShowTheMessageAndTouchNothing) {
    form().statusLbl->SetCaption(L"before");
    form().installPB->SetPosition(37);
    const std::vector<std::wstring> bad{L"",
                                        L"1.2.3.",
                                        L"1.2.3.4&echo x>pwned.txt",
                                        L"1.2.3.4 ",
                                        L"tv.local.lan",
                                        L"\uFF11.\uFF12.\uFF13.\uFF14",
                                        L"1.2.3.4\"&calc"};
    for (int lang : {0, 1}) {
        Click(form().langRG, lang);
        Pump();
        form().statusLbl->SetCaption(L"before");
        for (const auto& address : bad) {
            TypeAddress(address.c_str());
            const int searchesBefore = searches_;
            ClickInstall();
            const auto boxes = Boxes();
            ASSERT_EQ(boxes.size(), 1u) << ToUtf8(address);
            // An empty field is looked for on the network first (the stand-in finds nothing).
            EXPECT_EQ(searches_ - searchesBefore, address.empty() ? 1 : 0) << ToUtf8(address);
            EXPECT_EQ(boxes[0].text,
                      expected::Text("BadAddressText", lang) + L"\n" +
                          expected::Text(address.empty() ? "SearchNoneText" : "BadAddressHintText", lang));
            EXPECT_FALSE(boxes[0].error);
        }
        EXPECT_EQ(Status(), L"before");
        EXPECT_EQ(Bar(), 37);
    }
    EXPECT_TRUE(ListDir(work_).empty());
    EXPECT_FALSE(IsFile(journal_));
    EXPECT_FALSE(IsFile(Work(L"pwned.txt")));
}

// Either payload may be the one that cannot be written, the second after the first was
// written; a folder such as Z:\proc refuses both.
TEST_F(Install, APayloadThatCannotBeWrittenShowsTheErrorLeavesNeitherFileAndRunsNothing) {
    struct Case {
        const wchar_t* blocked;  // a folder of this name stands where the file should go
        const wchar_t* folder;   // working folder, if not the usual one
    };
    const Case cases[] = {{L"iu.exe", nullptr}, {L"KAVORIN.wgt", nullptr}, {nullptr, L"Z:\\proc"}};
    TypeAddress(L"1.1.1.1");
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.blocked ? c.blocked : c.folder));
        form().statusLbl->SetCaption(L"before");
        form().installPB->SetPosition(37);
        const std::wstring folder = c.folder ? c.folder : work_;
        if (c.blocked) CreateDirectoryW(Work(c.blocked).c_str(), nullptr);
        ASSERT_TRUE(SetCurrentDirectoryW(folder.c_str()));
        ClickInstall();
        SetCurrentDirectoryW(work_.c_str());
        if (c.blocked) RemoveDirectoryW(Work(c.blocked).c_str());

        const auto boxes = Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(boxes[0].error);
        // The box says what to do, then gives the system's reason; no path, no place in the source.
        const std::wstring& what = expected::Text("WhyFolderText", 0);
        EXPECT_EQ(boxes[0].text.substr(0, what.size() + 2), what + L"\n\n") << ToUtf8(boxes[0].text);
        EXPECT_GT(boxes[0].text.size(), what.size() + 10) << ToUtf8(boxes[0].text);
        EXPECT_EQ(boxes[0].text.find(L".cpp"), std::wstring::npos) << ToUtf8(boxes[0].text);
        EXPECT_EQ(boxes[0].text.find(folder), std::wstring::npos) << ToUtf8(boxes[0].text);
        EXPECT_FALSE(IsFile(journal_));
        EXPECT_EQ(Status(), L"before");
        EXPECT_EQ(Bar(), 37);
        EXPECT_EQ(ListDir(work_), std::vector<std::wstring>{L"doLog"}) << "a payload was left behind";
    }

    // The window stays usable: once the folder is fixed, Install works.
    ClickInstall();
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(Journal().size(), 11u);
    EXPECT_TRUE(Shows(Status(), "DoneText", 0)) << "statusLbl";
}

// Entry `name` with its %1 filled by anything: the text on either side of it must stand as it is.
::testing::AssertionResult ShowsFilled(const std::wstring& shown, const char* name, int lang) {
    const std::wstring& want = expected::Text(name, lang);
    const size_t at = want.find(L"%1");
    if (at == std::wstring::npos) return Shows(shown, name, lang);
    const std::wstring before = want.substr(0, at), after = want.substr(at + 2);
    if (shown.size() >= before.size() + after.size() && shown.compare(0, before.size(), before) == 0 &&
        shown.compare(shown.size() - after.size(), after.size(), after) == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << name << " does not frame \"" << ToUtf8(shown) << "\"";
}

// Every failed run ends in one box that says why; a good one in none.
TEST_F(Install, VerdictComesFromTheInstallLogAndAFailureSaysWhy) {
    struct Case {
        const wchar_t* script;
        bool done;
        const char* inLog;
        int lang;
        const char* why;     // the box's entry, null: no box
        const char* tvLine;  // the TV's line the box quotes
    };
    const Case cases[] = {
        {L"success", true, "install completed", 1, nullptr, nullptr},
        {L"fail118", false, "install failed[118, -12]", 1, "WhyCertificateText",
         "app_id[Qw7TzLp2Xe.KAVORIN] install failed[118, -12], reason: Check certificate error : Invalid "
         "certificate "
         "chain"},
        {L"fail116", false, "install failed[116]", 0, "WhyNoSpaceText",
         "app_id[Qw7TzLp2Xe.KAVORIN] install failed[116]"},
        {L"silent", false, "", 1, "WhyNotRunText", nullptr},  // a client that never ran prints nothing
        {L"unreachable", false, "", 0, "WhyTurnedAwayText", nullptr},
        {L"success", true, "install completed", 0, nullptr, nullptr},
    };
    TypeAddress(L"10.0.0.20");
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.script));
        SetEnv(L"KAVORIN_RECORDER_SCRIPT", c.script);
        Click(form().langRG, c.lang);
        Pump();
        const size_t before = Journal().size();
        std::wstring statusWhileRunning;
        {
            DuringRun watch([&] {
                if (statusWhileRunning.empty() && Calls() > before) statusWhileRunning = Status();
            });
            ClickInstall();
        }
        EXPECT_TRUE(Shows(statusWhileRunning, "InstallingText", c.lang)) << "statusLbl";
        EXPECT_EQ(Journal().size(), before + 11) << "every command runs whatever the TV says";
        EXPECT_EQ(Bar(), 100);
        EXPECT_TRUE(Shows(Status(), c.done ? "DoneText" : "FailedText", c.lang)) << "statusLbl";
        const auto log = ReadBytes(Work(L"doLog\\step6.txt"));
        ASSERT_TRUE(log.has_value());
        EXPECT_NE(log->find(c.inLog), std::string::npos);
        ExpectCleanFolderAfterRun();
        const bool connectFailed = std::wstring(c.script) == L"unreachable";
        EXPECT_EQ(std::exchange(probed_, {}),
                  connectFailed ? std::vector<std::string>{"10.0.0.20"} : std::vector<std::string>{})
            << "only a failed connect asks the TV, once, at the typed address";
        EXPECT_EQ(std::exchange(searches_, 0), 0) << "something answered at the typed address: no search";

        const auto boxes = Boxes();
        if (!c.why) {
            EXPECT_TRUE(boxes.empty());
            continue;
        }
        ASSERT_EQ(boxes.size(), 1u);
        const std::wstring quote =
            c.tvLine ? L"\n\n" + expected::Text("TvSaidText", c.lang) + L"\n\"" + FromUtf8(c.tvLine) + L"\""
                     : L"";
        ASSERT_GE(boxes[0].text.size(), quote.size());
        EXPECT_EQ(boxes[0].text.substr(boxes[0].text.size() - quote.size()), quote);
        EXPECT_TRUE(ShowsFilled(boxes[0].text.substr(0, boxes[0].text.size() - quote.size()), c.why, c.lang));
        // The client's error stream is kept, after a line naming the command.
        if (std::wstring(c.script) != L"unreachable") continue;
        const std::string errors = ReadBytes(Work(L"doLog\\errors.txt")).value_or("");
        EXPECT_NE(
            errors.find(
                "--- cmd.exe /c \"iu.exe shell 0 applist > doLog\\step7.txt\"\r\nerror: target not found"),
            std::string::npos)
            << errors;
    }
}

// A folder whose error file cannot be opened still runs every command, and still says why it failed.
TEST_F(Install, CommandsRunWhenTheErrorStreamCannotBeKept) {
    CreateDirectoryW(Work(L"doLog").c_str(), nullptr);
    WriteBytes(Work(L"doLog\\errors.txt"), "held");
    const HANDLE held =
        CreateFileW(Work(L"doLog\\errors.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    SetEnv(L"KAVORIN_RECORDER_SCRIPT", L"fail118");
    TypeAddress(L"10.0.0.20");
    ClickInstall();
    CloseHandle(held);
    EXPECT_EQ(Journal().size(), 11u);
    EXPECT_TRUE(Shows(Status(), "FailedText", 0)) << "statusLbl";
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text.find(expected::Text("WhyCertificateText", 0)), 0u) << ToUtf8(boxes[0].text);
    EXPECT_EQ(ReadBytes(Work(L"doLog\\errors.txt")), std::optional<std::string>("held"));
}

// A log that says "install completed" from an earlier run is no verdict on this one, whatever
// its time stamp says. The log is held open without write sharing, so this run's install
// command cannot write it.
TEST_F(Install, AnInstallLogFromAnEarlierRunIsNoVerdict) {
    struct Case {
        const char* what;
        LONGLONG stampAheadDays;  // the old log's time stamp, from now
        bool held;
        const char* status;
    };
    const Case cases[] = {
        {"stamped yesterday, not rewritten", -1, true, "FailedText"},
        {"stamped a year ahead, not rewritten", 365, true, "FailedText"},
        {"stamped a year ahead, rewritten by this run", 365, false, "DoneText"},
    };
    const std::wstring log = Work(L"doLog\\step6.txt");
    CreateDirectoryW(Work(L"doLog").c_str(), nullptr);
    TypeAddress(L"10.0.0.20");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteBytes(log, "Installing...\r\ninstall completed\r\n");
        HANDLE file = CreateFileW(log.c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        ULARGE_INTEGER stamp;
        GetSystemTimeAsFileTime(reinterpret_cast<FILETIME*>(&stamp));
        stamp.QuadPart += static_cast<ULONGLONG>(c.stampAheadDays * 864'000'000'000LL);  // 100 ns units
        ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, reinterpret_cast<FILETIME*>(&stamp)));
        if (!c.held) CloseHandle(file);
        ClickInstall();
        if (c.held) CloseHandle(file);
        EXPECT_TRUE(Shows(Status(), c.status, 0)) << "statusLbl";
        EXPECT_EQ(Bar(), 100);
    }
}

TEST_F(Install, LogsAreLeftAsTheClientWroteThem) {
    SetEnv(L"KAVORIN_RECORDER_SCRIPT", L"fail118");
    TypeAddress(L"10.0.0.20");
    std::string logsDuring;
    {
        DuringRun watch([&] {
            if (Calls() == 9 && logsDuring.empty())
                logsDuring = ReadBytes(Work(L"doLog\\step6.txt")).value_or("?");
        });
        SetEnv(L"KAVORIN_RECORDER_SLEEP_MS", L"100");
        ClickInstall();
    }
    EXPECT_EQ(ReadBytes(Work(L"doLog\\step6.txt")).value_or(""), logsDuring);
    EXPECT_TRUE(Shows(Status(), "FailedText", 0)) << "statusLbl";
}

// The SDK's own client as "iu.exe": its first command starts a background server that runs
// from "iu.exe" until kill-server ends it, and it takes a moment to exit.
TEST_F(Install, WithTheSdkServerTheEndFindsNothingRunningAndTheFolderClean) {
    struct Case {
        const wchar_t* script;
        const wchar_t* exitMs;
        bool serverBefore;  // another tool's server already runs when Install is pressed
        bool done;
        int lang;
    };
    const Case cases[] = {
        {L"success", L"500", false, true, 0},
        {L"fail118", L"3000", true, false, 1},
    };
    SetEnv(L"KAVORIN_RECORDER_SERVER", L"1");
    TypeAddress(L"10.0.0.20");
    const std::wstring tool = *scratch_ / L"tool";
    CreateDirectoryW(tool.c_str(), nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(std::wstring(c.script) + L" " + c.exitMs));
        SetEnv(L"KAVORIN_RECORDER_SCRIPT", c.script);
        SetEnv(L"KAVORIN_RECORDER_SERVER_EXIT_MS", c.exitMs);
        if (c.serverBefore) {
            ExtractResourceToFile(tool + L"\\sdb.exe", L"IUFILE");
            StartStandInServer(tool + L"\\sdb.exe");
        }
        Click(form().langRG, c.lang);
        Pump();
        ClickInstall();
        EXPECT_EQ(Status(),
                  c.done ? expected::Text("DoneText", c.lang) : expected::Text("FailedText", c.lang));
        EXPECT_TRUE(StandInProcesses().empty());
        EXPECT_FALSE(StandInServerAnswers());
        ExpectCleanFolderAfterRun();
        // connect started the server: the one before was stopped by the first kill-server.
        EXPECT_EQ(ReadBytes(Work(L"doLog\\step1.txt"))
                      .value_or("")
                      .find("* Server is not running. Start it now on port 26099 *\r\n"
                            "* Server has started successfully *\r\nconnecting to"),
                  0u);
        // Only the failed run says why.
        const auto boxes = Boxes();
        ASSERT_EQ(boxes.size(), c.done ? 0u : 1u);
        if (!c.done) EXPECT_EQ(boxes[0].text.find(expected::Text("WhyCertificateText", c.lang)), 0u);
    }
}

// A server that ignores kill-server keeps "iu.exe" past the installer's retries.
TEST_F(Install, AServerThatKeepsIuExeDoesNotBreakTheNextRuns) {
    SetEnv(L"KAVORIN_RECORDER_SERVER", L"1");
    SetEnv(L"KAVORIN_RECORDER_SERVER_DEAF_MS", L"600000");
    TypeAddress(L"10.0.0.20");
    bool answeredWhileRetrying = false;
    {
        DuringRun watch([&] {
            if (Bar() == 100 && Status() == expected::Text("InstallingText", 0)) answeredWhileRetrying = true;
        });
        ClickInstall();
    }
    EXPECT_TRUE(answeredWhileRetrying) << "the window froze while iu.exe was tried again";
    EXPECT_EQ(Status(), expected::Text("DoneText", 0));
    EXPECT_EQ(ListDir(Work(L"doLog")), kLogs);
    EXPECT_FALSE(IsFile(Work(L"KAVORIN.wgt")));
    ASSERT_TRUE(IsFile(Work(L"iu.exe")));
    ASSERT_EQ(StandInProcesses().size(), 1u);

    // Still held at the next run: the error in the window's language, nothing runs, and
    // "iu.exe" is left whole.
    SetEnv(L"KAVORIN_RECORDER_SERVER_DEAF_MS", nullptr);
    Click(form().langRG, 1);
    Pump();
    const size_t calls = Calls();
    ClickInstall();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_TRUE(boxes_[0].error);
    std::wstring inUse = expected::Text("FileInUseText", 1);
    inUse.replace(inUse.find(L"%1"), 2, L"iu.exe");
    EXPECT_EQ(boxes_[0].text, inUse);
    EXPECT_EQ(Calls(), calls);
    EXPECT_EQ(Status(), expected::Text("PromptText", 1));
    const TResourceStream bridge(GetModuleHandleW(nullptr), L"IUFILE", RT_RCDATA);
    EXPECT_TRUE(ReadBytes(Work(L"iu.exe")) ==
                std::string(static_cast<const char*>(bridge.Memory()), bridge.Size()));

    // Once the server has gone, the stale "iu.exe" is replaced and the run goes through.
    EndStandIns();
    boxes_.clear();
    ClickInstall();
    EXPECT_TRUE(boxes_.empty());
    EXPECT_EQ(Status(), expected::Text("DoneText", 1));
    EXPECT_TRUE(StandInProcesses().empty());
    ExpectCleanFolderAfterRun();
}

TEST_F(Install, ClosingTheWindowStopsTheTvCommandsAndStillCleansUp) {
    // With the SDK's server: the final kill-server must still reach it.
    SetEnv(L"KAVORIN_RECORDER_SERVER", L"1");
    SetEnv(L"KAVORIN_RECORDER_SERVER_EXIT_MS", L"3000");
    SetEnv(L"KAVORIN_RECORDER_SLEEP_MS", L"300");
    TypeAddress(L"10.0.0.20");
    {
        DuringRun watch([&] {
            if (Calls() == 5 && !Application->Terminated()) form().Close();  // during vd_appuninstall
        });
        ClickInstall();
    }
    EXPECT_TRUE(Application->Terminated());
    auto expected = ExpectedArgs(L"10.0.0.20", Dirs(kJK));
    expected.erase(expected.begin() + 5, expected.begin() + 10);  // 5..9 never start
    EXPECT_EQ(Args(Journal()), expected);
    EXPECT_TRUE(StandInProcesses().empty());
    EXPECT_EQ(ListDir(work_), std::vector<std::wstring>{L"doLog"});
    EXPECT_TRUE(Shows(Status(), "FailedText", 0)) << "statusLbl";
    EXPECT_TRUE(Boxes().empty()) << "a closed window asks nothing more";
}

// A client that never gives up on a silent TV: closing the window ends the command's tree at once,
// and the payloads still go.
TEST_F(Install, ClosingDuringAHungCommandEndsItsTreeAndCleansUp) {
    SetEnv(L"KAVORIN_RECORDER_HANG_ON", L"push");
    TypeAddress(L"10.0.0.20");
    Clock::time_point closed{};
    {
        // A look at the process list is slow under Wine: one every 20 ticks leaves the queue room
        // to empty.
        DuringRun watch([&, ticks = 0]() mutable {
            if (++ticks % 20 || closed != Clock::time_point{}) return;
            if (Calls() == 7 && StandInProcesses().size() >= 2) {
                closed = Clock::now();
                form().Close();  // during push, its child running
            }
        });
        ClickInstall();
    }
    const auto took = Clock::now() - closed;
    const auto calls = Journal();
    ASSERT_EQ(calls.size(), 8u);
    EXPECT_EQ(calls.back().argv, (std::vector<std::wstring>{L"iu.exe", L"kill-server"}));
    EXPECT_LT(took, std::chrono::seconds(15)) << "one kill-server after the close";
    EXPECT_TRUE(StandInProcesses().empty());
    EXPECT_FALSE(IsFile(Work(L"iu.exe")));
    EXPECT_FALSE(IsFile(Work(L"KAVORIN.wgt")));
    EXPECT_TRUE(Boxes().empty()) << "a closed window asks nothing more";
}

// A TV that stops answering, and a client that never gives up (as the SDK's): the command's bound
// runs out, its tree is ended, the run goes on with the clean-up that still makes sense while
// the TV answers it, and the box says at which step the TV stopped answering. Bounds are cut to
// 4 s.
TEST_F(Install, ACommandWhoseBoundRunsOutIsEndedAndTheBoxSaysWhere) {
    struct Case {
        const wchar_t* hangOn;
        int lang;
        bool jobsRefused;  // the tree found by parent id
        std::vector<int> ran;
        const char* stage;
    };
    const Case cases[] = {
        {L"connect", 0, false, {0, 1, 10}, "StageConnectingText"},
        // Still silent at rmfile: the list is not asked any more.
        {L"push,rmfile", 1, true, {0, 1, 2, 3, 4, 5, 6, 8, 10}, "StageCopyingText"},
    };
    SetEnv(L"KAVORIN_TEST_BOUND_CAP_MS", L"4000");
    TypeAddress(L"10.0.0.20");
    const auto all = ExpectedArgs(L"10.0.0.20", Dirs(kJK));
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.hangOn));
        SetEnv(L"KAVORIN_RECORDER_HANG_ON", c.hangOn);
        SetRunnerJobsRefusedForTests(c.jobsRefused);
        Click(form().langRG, c.lang);
        Pump();
        const size_t before = Calls();
        ClickInstall();

        std::vector<std::vector<std::wstring>> expected;
        for (int i : c.ran) expected.push_back(all[i]);
        const auto calls = Journal();
        EXPECT_EQ(Args({calls.begin() + static_cast<std::ptrdiff_t>(before), calls.end()}), expected);
        EXPECT_TRUE(StandInProcesses().empty()) << "the stopped command's tree still runs";
        EXPECT_TRUE(Shows(Status(), "FailedText", c.lang)) << "statusLbl";
        EXPECT_EQ(Bar(), 100);
        EXPECT_EQ(ListDir(work_), std::vector<std::wstring>{L"doLog"}) << "a payload was left behind";
        EXPECT_NE(ReadBytes(Work(L"doLog\\errors.txt"))
                      .value_or("")
                      .find("installer: the command was stopped after 4 s\r\n"),
                  std::string::npos);
        const auto boxes = Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        std::wstring why = expected::Text("WhyStoppedText", c.lang);
        why.replace(why.find(L"%1"), 2, expected::Text(c.stage, c.lang));
        EXPECT_EQ(boxes[0].text, why);
        EXPECT_TRUE(boxes[0].error);
    }
}
