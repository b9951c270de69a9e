// The eleven command lines byte for byte, the address check and the install verdict.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "ExpectedBar.h"
#include "bridge/args.h"
#include "bridge/device.h"
#include "install/InstallSteps.h"

namespace {

const wchar_t* const kJK = L"/opt/usr/apps/tmp";
const wchar_t* const kNewer = L"/home/owner/share/tmp/sdk_tools/tmp";
const int kPushRow = InstallRowOf(CommandRole::Push);

InstallCommandInputs Inputs(const wchar_t* address, const wchar_t* staging) {
    return {address, L"Qw7TzLp2Xe.KAVORIN", L"KAVORIN", staging};
}

std::vector<std::wstring> AllLines(const InstallCommandInputs& in) {
    std::vector<std::wstring> lines;
    for (int i = 0; i < kInstallCommandCount; ++i) lines.push_back(BuildInstallCommand(i, in).str());
    return lines;
}

// Written out in full, not assembled, so a changed blank or quote shows.
std::vector<std::wstring> Expected(const std::wstring& ip, const std::wstring& dir) {
    return {
        L"cmd.exe /c \"iu.exe kill-server\"",
        L"cmd.exe /c \"iu.exe connect " + ip + L":26101 > doLog\\step1.txt\"",
        L"cmd.exe /c \"iu.exe devices > doLog\\step2.txt\"",
        L"cmd.exe /c \"iu.exe shell 0 getappinstallpath > doLog\\step3.txt\"",
        L"cmd.exe /c \"iu.exe shell 0 vd_appuninstall Qw7TzLp2Xe.KAVORIN; echo cmd_ret:$?; > "
        L"doLog\\step4.txt\"",
        L"cmd.exe /c \"iu.exe shell 0 mkdir " + dir + L"\"",
        L"cmd.exe /c \"iu.exe push KAVORIN.wgt " + dir + L"/KAVORIN.wgt > doLog\\step5.txt\"",
        L"cmd.exe /c \"iu.exe shell 0 vd_appinstall Qw7TzLp2Xe.KAVORIN " + dir +
            L"/KAVORIN.wgt; echo cmd_ret:$?; > doLog\\step6.txt\"",
        L"cmd.exe /c \"iu.exe shell 0 rmfile " + dir + L"/KAVORIN.wgt\"",
        L"cmd.exe /c \"iu.exe shell 0 applist > doLog\\step7.txt\"",
        L"cmd.exe /c \"iu.exe kill-server\"",
    };
}

}  // namespace

// Our client stands apart from the installer, and takes the same port when none is given.
static_assert(kb::kDefaultDevicePort == kTvDeveloperPort);

TEST(InstallCommands, BothSeriesExactly) {
    EXPECT_EQ(AllLines(Inputs(L"192.168.1.66", kJK)), Expected(L"192.168.1.66", kJK));
    EXPECT_EQ(AllLines(Inputs(L"192.168.1.66", kNewer)), Expected(L"192.168.1.66", kNewer));
}

TEST(InstallCommands, OddAcceptedAddressesAreCarriedUnchanged) {
    for (const wchar_t* ip : {L"1.1.1.1", L"1234567", L"999.999.999.999", L"1..2...3", L"......."}) {
        SCOPED_TRACE(std::string(ip, ip + std::wcslen(ip)));
        EXPECT_EQ(AllLines(Inputs(ip, kJK)), Expected(ip, kJK));
    }
}

TEST(InstallCommands, OnlyStagingLinesDependOnTheSeries) {
    const auto a = AllLines(Inputs(L"10.0.0.20", kJK));
    const auto b = AllLines(Inputs(L"10.0.0.20", kNewer));
    for (int i = 0; i < kInstallCommandCount; ++i) {
        EXPECT_EQ(a[i] != b[i], InstallCommandNamesStagingDir(i)) << "command " << i;
    }
    // 0 and 10 stop the local server; every other line reaches the TV.
    EXPECT_FALSE(InstallCommandTalksToTv(0));
    EXPECT_FALSE(InstallCommandTalksToTv(10));
    for (int i = 1; i <= 9; ++i) EXPECT_TRUE(InstallCommandTalksToTv(i));
    EXPECT_TRUE(BuildInstallCommand(11, Inputs(L"1.1.1.1", kJK)).IsEmpty());
    EXPECT_TRUE(BuildInstallCommand(-1, Inputs(L"1.1.1.1", kJK)).IsEmpty());
}

TEST(InstallCommands, BarStepsReachExactlyOneHundred) {
    std::vector<int> seen{kInstallBarStart};
    int pos = kInstallBarStart;
    for (int i = 0; i < kInstallCommandCount; ++i) seen.push_back(pos += InstallBarRaiseAfter(i));
    std::vector<int> expectedBar = expected::kBarWhileRunning;
    expectedBar.push_back(expected::kBarAtEnd);
    EXPECT_EQ(seen, expectedBar);
}

// Each bound generous for a working TV, none above five minutes, and longer than our client's own
// limits for a silent TV, so that its words reach the error stream first; a test's cap only
// shortens the bounds, and no text it is given makes one 0 or huge.
TEST(InstallCommands, BoundsAndTheTestCap) {
    const kb::Timeouts client;
    for (int i = 0; i < kInstallCommandCount; ++i) {
        SCOPED_TRACE(i);
        const unsigned long ms = InstallCommandBoundMs(i, 0);
        EXPECT_GE(ms, 30000u);
        EXPECT_LE(ms, 300000u);
        if (InstallCommandTalksToTv(i)) EXPECT_GT(ms, 4ul * (client.connectMs + client.handshakeMs));
    }
    EXPECT_GT(InstallCommandBoundMs(kPushRow, 0), 2ul * client.idleMs);
    EXPECT_GT(InstallCommandBoundMs(InstallVerdictCommand(), 0),
              static_cast<unsigned long>(client.shellIdleMs));
    EXPECT_EQ(InstallCommandBoundMs(11, 0), 0u);
    const struct {
        const wchar_t* text;
        unsigned long cap;
    } caps[] = {{L"", 0},           {L"2500", 2500}, {L"0", 0},      {L"1", 500},   {L"999999999", 999999999},
                {L"9999999999", 0}, {L"-5", 0},      {L"2500ms", 0}, {L" 2500", 0}, {L"1e9", 0},
                {L"\uFF12", 0}};
    for (const auto& c : caps) EXPECT_EQ(ParseBoundCap(c.text), c.cap) << ToUtf8(c.text);
    EXPECT_EQ(InstallCommandBoundMs(7, 2500), 2500u);
    EXPECT_EQ(InstallCommandBoundMs(0, 999999999), 30000u) << "a cap never lengthens a bound";
    EXPECT_EQ(InstallCommandBoundMs(7, 1), 500u);
    // After a stop the clean-up asks the TV briefly; the cap still applies.
    EXPECT_EQ(InstallCommandBoundMs(9, 0, true), 20000u);
    EXPECT_EQ(InstallCommandBoundMs(0, 0, true), 20000u);
    EXPECT_EQ(InstallCommandBoundMs(9, 4000, true), 4000u);
}

// Once the TV stopped answering at a command, the run skips to the clean-up: the upload is removed
// once the push had started, the list is asked once the connect had gone through, and the
// bridge server is stopped in every case.
TEST(InstallCommands, WhatStillRunsAfterAStop) {
    auto running = [](int stopped) {
        std::wstring ran;
        for (int i = stopped + 1; i < kInstallCommandCount; ++i)
            if (InstallCommandRunsAfterStop(i, stopped)) ran += std::to_wstring(i) + L" ";
        return ran;
    };
    EXPECT_EQ(running(1), L"10 ");  // connect
    EXPECT_EQ(running(2), L"9 10 ");
    EXPECT_EQ(running(4), L"9 10 ");  // uninstall
    EXPECT_EQ(running(5), L"9 10 ");  // mkdir
    EXPECT_EQ(running(6), L"8 9 10 ");
    EXPECT_EQ(running(7), L"8 9 10 ");
    EXPECT_EQ(running(8), L"9 10 ");
}

TEST(TvAddress, AcceptsSevenOrMoreDigitsAndPoints) {
    for (const wchar_t* ip :
         {L"1.1.1.1", L"1234567", L"999.999.999.999", L"1..2...3", L"192.168.100.200", L"0000000"}) {
        EXPECT_TRUE(IsAcceptableTvAddress(ip)) << std::string(ip, ip + std::wcslen(ip));
    }
}

TEST(TvAddress, RejectsShortEmptyAndAnythingButDigitsAndPoints) {
    const std::vector<std::wstring> rejected{
        L"",
        L"1",
        L"1.2.3.",
        L"123456",
        L"1.2.3.4&echo x>pwned.txt",  // pasted past the key filter
        L"1.2.3.4 ",
        L" 1.2.3.4",
        L"1.2.3 .4",
        L"\t1.2.3.4",
        L"1.2.3.4\r\n",
        L"tv.local",
        L"1.2.3.a4",
        L"1,2,3,4",
        L"1.2.3.4\"",
        L"1.2.3.4|x",
        L"1.2.3.4%PATH%",
        L"1.2.3.4^",
        L"1.2.3.4:26101",
        L"\u0661.\u0662.\u0663.\u0664",  // Arabic-Indic digits
        L"\uFF11.\uFF12.\uFF13.\uFF14",  // full-width digits
        L"1.2.3.\u0664\u0665\u0666",
        std::wstring(L"1.2.3.4\0x", 9),  // embedded NUL
    };
    for (const auto& ip : rejected) {
        EXPECT_FALSE(IsAcceptableTvAddress(UnicodeString(ip))) << ToUtf8(ip);
    }
}

// Logs as the client writes them: text mode on Windows turns "\n" into "\r\n", and a TV's own
// "\r\n" may come out as "\r\r\n".
TEST(InstallVerdictTest, CompletedLogIsSuccessWhateverTheLineEnds) {
    const std::string lf =
        "install Qw7TzLp2Xe.KAVORIN\n"
        "package_path /opt/usr/apps/tmp/KAVORIN.wgt\n"
        "was_install_app return WAS_TRUE\n"
        "app_id[Qw7TzLp2Xe.KAVORIN] install start\n"
        "app_id[Qw7TzLp2Xe.KAVORIN] installing[8]\n"
        "app_id[Qw7TzLp2Xe.KAVORIN] installing[100]\n"
        "app_id[Qw7TzLp2Xe.KAVORIN] install completed\n"
        "spend time for wascmd is [2520]ms\n"
        "cmd_ret:0\n";
    auto replaceAll = [](std::string s, const std::string& with) {
        std::string out;
        for (char c : s) c == '\n' ? out += with : out += c;
        return out;
    };
    EXPECT_EQ(JudgeInstallLog(lf), InstallVerdict::Completed);
    EXPECT_EQ(JudgeInstallLog(replaceAll(lf, "\r\n")), InstallVerdict::Completed);
    EXPECT_EQ(JudgeInstallLog(replaceAll(lf, "\r\r\n")), InstallVerdict::Completed);
    EXPECT_EQ(JudgeInstallLog(replaceAll(lf, "\r")), InstallVerdict::Completed);
    // No trailing line end, progress lines absent.
    EXPECT_EQ(JudgeInstallLog("app_id[Qw7TzLp2Xe.KAVORIN] install completed"), InstallVerdict::Completed);
    // Some TVs print only the progress, ending at 100.
    EXPECT_EQ(JudgeInstallLog("app_id[Qw7TzLp2Xe.KAVORIN] installing[100]\r\ncmd_ret:0\r\n"),
              InstallVerdict::Completed);
}

TEST(InstallVerdictTest, FailuresAndSilenceAreFailures) {
    // The echoed shell status is 0 even when the install failed.
    EXPECT_EQ(JudgeInstallLog(
                  "install Qw7TzLp2Xe.KAVORIN\r\n"
                  "app_id[Qw7TzLp2Xe.KAVORIN] install start\r\n"
                  "app_id[Qw7TzLp2Xe.KAVORIN] install failed[118, -12], reason: Check certificate error\r\n"
                  "spend time for wascmd is [72]ms\r\ncmd_ret:0\r\n"),
              InstallVerdict::Failed);
    EXPECT_EQ(JudgeInstallLog("app_id[Qw7TzLp2Xe.KAVORIN] install failed[116]\r\r\ncmd_ret:0\r\r\n"),
              InstallVerdict::Failed);
    // A failure line wins over a completed line anywhere in the log.
    EXPECT_EQ(JudgeInstallLog("app_id[x] installing[100]\napp_id[x] install completed\n"
                              "app_id[x] install failed[118]\n"),
              InstallVerdict::Failed);
    EXPECT_EQ(JudgeInstallLog("app_id[x] INSTALL FAILED[118]\napp_id[x] install completed\n"),
              InstallVerdict::Failed);
    EXPECT_EQ(JudgeInstallLog(""), InstallVerdict::Failed);
    EXPECT_EQ(JudgeInstallLog(std::nullopt), InstallVerdict::Failed);
    EXPECT_EQ(JudgeInstallLog("cmd_ret:0\r\n"), InstallVerdict::Failed);
    EXPECT_EQ(JudgeInstallLog("app_id[x] installing[8]\r\napp_id[x] installing[57]\r\n"),
              InstallVerdict::Failed);
    // What the client prints when the TV is not there.
    EXPECT_EQ(JudgeInstallLog("error: target not found\r\n"), InstallVerdict::Failed);
    EXPECT_EQ(JudgeInstallLog("closed\r\n"), InstallVerdict::Failed);
    EXPECT_EQ(JudgeInstallLog(std::string("\0\0\0", 3)), InstallVerdict::Failed);
}
