// The failure diagnosis against what both bridge clients really print (ours, and the SDK's as
// measured), whatever the line ends, and the box texts it leads to.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ExpectedTexts.h"
#include "bridge/gone.h"
#include "install/Diagnosis.h"
#include "texts/Func.h"

TextTable* textTable = nullptr;

namespace {

// Rows of the run, as the installer numbers them.
constexpr int kConnect = 1, kPush = 6, kInstall = 7;
const char* const kSdkBanner =
    "* Server is not running. Start it now on port 26099 *\n* Server has started successfully *\n";
const char* const kRemote = "/home/owner/share/tmp/sdk_tools/tmp/KAVORIN.wgt";
const char* const kPushed =
    "WARNING: Your data are to be sent over an unencrypted connection and could be read by others.\n"
    "\rpushed                    KAVORIN.wgt\t100%\t  10210 B\t  604KB/s\n1 file(s) pushed. 0 file(s) "
    "skipped.\n";
const char* const kInstallHead =
    "install Qw7TzLp2Xe.KAVORIN\npackage_path /home/owner/share/tmp/sdk_tools/tmp/KAVORIN.wgt\n"
    "was_install_app return WAS_TRUE\napp_id[Qw7TzLp2Xe.KAVORIN] install start\n";
const char* const kSilent = "error: the device stopped answering: timed out waiting for the device\n";
const char* const kArchiveFail =
    "app_id[Qw7TzLp2Xe.KAVORIN] install failed[118, -4] Load archive info fail\n";

enum class Client { Ours, Sdk };

struct Case {
    const char* what;
    Client client;           // the SDK's client starts its server first, and says so in the log
    const char* connectLog;  // null: connected
    const char* connectErr;
    const char* pushLog;
    const char* pushErr;
    const char* installLog;
    const char* laterErr;  // what every later command printed on its error stream
    FailureCause cause;
    const char* tvLine;
};

const Case kCases[] = {
    {"ours: turned away", Client::Ours,
     "connecting to 10.0.0.20:26101 ...\nfailed to connect to 10.0.0.20:26101\n",
     "error: receive: Connection reset by peer\n", "",
     "error: target not found\nfatal: failed to open sync channel: connection fails\n", "",
     "error: target not found\n", FailureCause::TvTurnedPcAway, ""},
    {"sdk: turned away", Client::Sdk, "failed to connect to 10.0.0.20:26101\n", "", "", "", "",
     "error: target not found\nerror: target not found\n", FailureCause::TvTurnedPcAway, ""},
    {"ours: nothing answers", Client::Ours, "error: failed to connect to remote target '10.0.0.20'\n",
     "error: connect: Connection refused\n", "", "error: target not found\n", "", "error: target not found\n",
     FailureCause::NothingAnswers, ""},
    {"sdk: nothing answers", Client::Sdk, "error: failed to connect to remote target '10.0.0.20'\n", "", "",
     "error: target not found\nfatal: failed to open sync channel: connection fails\n", "",
     "error: target not found\nerror: target not found\n", FailureCause::NothingAnswers, ""},
    {"ours: wrong series", Client::Ours, nullptr, "",
     "WARNING: Your data are to be sent over an unencrypted connection and could be read by others.\n",
     "error: failed to close '/opt/usr/apps/tmp/KAVORIN.wgt': Permission denied\n", kArchiveFail, "",
     FailureCause::WrongSeries, "error: failed to close '/opt/usr/apps/tmp/KAVORIN.wgt': Permission denied"},
    {"sdk: wrong series, the folder missing", Client::Sdk, nullptr, "", "\r100% 10210 B",
     "error: failed to close '/opt/usr/apps/tmp/KAVORIN.wgt': No such file or directory\n", kArchiveFail, "",
     FailureCause::WrongSeries,
     "error: failed to close '/opt/usr/apps/tmp/KAVORIN.wgt': No such file or directory"},
    {"both: certificate", Client::Ours, nullptr, "", kPushed, "",
     "app_id[Qw7TzLp2Xe.KAVORIN] install failed[118, -12], reason: Check certificate error\n", "",
     FailureCause::CertificateRefused,
     "app_id[Qw7TzLp2Xe.KAVORIN] install failed[118, -12], reason: Check certificate error"},
    {"certificate not valid yet", Client::Ours, nullptr, "", kPushed, "",
     "app_id[Qw7TzLp2Xe.KAVORIN] install failed[118, -12], reason: Check certificate error : <-7>\n", "",
     FailureCause::CertificateNotYet,
     "app_id[Qw7TzLp2Xe.KAVORIN] install failed[118, -12], reason: Check certificate error : <-7>"},
    {"another author", Client::Ours, nullptr, "", kPushed, "",
     "app_id[Qw7TzLp2Xe.KAVORIN] install failed[118, -11], reason: Author certificate not match :\n", "",
     FailureCause::OtherAuthor,
     "app_id[Qw7TzLp2Xe.KAVORIN] install failed[118, -11], reason: Author certificate not match :"},
    {"another author, older sets", Client::Ours, nullptr, "", kPushed, "",
     "app_id[Qw7TzLp2Xe.KAVORIN] install failed[118012]\n", "", FailureCause::OtherAuthor,
     "app_id[Qw7TzLp2Xe.KAVORIN] install failed[118012]"},
    {"damaged package", Client::Ours, nullptr, "", kPushed, "", kArchiveFail, "",
     FailureCause::PackageDamaged,
     "app_id[Qw7TzLp2Xe.KAVORIN] install failed[118, -4] Load archive info fail"},
    {"another refusal", Client::Ours, nullptr, "", kPushed, "",
     "app_id[Qw7TzLp2Xe.KAVORIN] install failed[118, -99]\n", "", FailureCause::PackageRefused,
     "app_id[Qw7TzLp2Xe.KAVORIN] install failed[118, -99]"},
    {"ours: no space on upload", Client::Ours, nullptr, "",
     "WARNING: Your data are to be sent over an unencrypted connection and could be read by others.\n",
     "error: failed to close '/home/owner/share/tmp/sdk_tools/tmp/KAVORIN.wgt': No space left on device\n",
     kArchiveFail, "", FailureCause::NoSpace,
     "error: failed to close '/home/owner/share/tmp/sdk_tools/tmp/KAVORIN.wgt': No space left on device"},
    {"no space on download", Client::Ours, nullptr, "", kPushed, "",
     "app_id[Qw7TzLp2Xe.KAVORIN] download failed[116]\n", "", FailureCause::NoSpace,
     "app_id[Qw7TzLp2Xe.KAVORIN] download failed[116]"},
    {"ours: dropped upload", Client::Ours, nullptr, "", "",
     "error: failed to push 'KAVORIN.wgt': the device closed the connection\n", kArchiveFail, "",
     FailureCause::ConnectionDropped,
     "error: failed to push 'KAVORIN.wgt': the device closed the connection"},
    {"sdk: dropped upload", Client::Sdk, nullptr, "", "",
     "fatal: failed to close '/home/owner/share/tmp/sdk_tools/tmp/KAVORIN.wgt': connection fails\n", "",
     "error: target not found\nerror: target not found\n", FailureCause::ConnectionDropped,
     "fatal: failed to close '/home/owner/share/tmp/sdk_tools/tmp/KAVORIN.wgt': connection fails"},
    {"TV gone before the install", Client::Ours, nullptr, "", kPushed, "", "", "error: target offline\n",
     FailureCause::ConnectionDropped, "error: target offline"},
    {"client never ran", Client::Ours, "", "", "", "", "", "", FailureCause::ClientNeverRan, ""},
    {"client removed by an antivirus", Client::Ours, "",
     "'iu.exe' is not recognized as an internal or external command,\noperable program or batch file.\n", "",
     "'iu.exe' is not recognized as an internal or external command,\n", "", "", FailureCause::ClientNeverRan,
     ""},
    {"nothing failed that we know of", Client::Ours, nullptr, "", kPushed, "", "", "", FailureCause::Unknown,
     ""},
    {"client error of its own", Client::Ours, "",
     "error: no place to record targets (set LOCALAPPDATA or HOME)\n", "", "", "", "", FailureCause::Unknown,
     "error: no place to record targets (set LOCALAPPDATA or HOME)"},
    // Our client's own limits for a TV that took the connection and then went silent.
    {"ours: handshake unanswered", Client::Ours,
     "connecting to 10.0.0.20:26101 ...\nfailed to connect to 10.0.0.20:26101\n", kSilent, "",
     "error: target not found\nfatal: failed to open sync channel: connection fails\n", "",
     "error: target not found\n", FailureCause::StoppedAnswering, ""},
    {"ours: the sync stream never answered", Client::Ours, nullptr, "", "",
     "error: the device stopped answering: timed out waiting for the device\nfatal: failed to open sync "
     "channel: connection fails\n",
     kArchiveFail, "error: target offline\n", FailureCause::StoppedAnswering, ""},
    {"ours: upload no longer acknowledged", Client::Ours, nullptr, "",
     "WARNING: Your data are to be sent over an unencrypted connection and could be read by others.\n",
     "error: failed to push 'KAVORIN.wgt': the device stopped answering: timed out waiting for the device\n",
     kArchiveFail, "error: target offline\n", FailureCause::StoppedAnswering, ""},
};

enum class Ends { Lf, Crlf, SdkOnWindows };

// The SDK's client on Windows writes through text mode: LF becomes CRLF, a TV's CRLF CR CR LF.
std::string WithEnds(std::string text, Ends ends) {
    if (ends == Ends::Lf) return text;
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += ends == Ends::Crlf ? "\r\n" : "\r\r\n";
        else
            out += c;
    }
    return out;
}

RunRecord RecordOf(const Case& c, Ends ends) {
    RunRecord run;
    for (int i = 0; i < kInstallCommandCount; ++i) {
        run.commands[i].started = true;
        if (kInstallSequence[i].log) run.commands[i].log = "";
        if (i > kConnect) run.commands[i].errors = WithEnds(c.laterErr, ends);
    }
    std::string connectLog =
        c.connectLog ? c.connectLog : "connecting to 10.0.0.20:26101 ...\nconnected to 10.0.0.20:26101\n";
    if (c.client == Client::Sdk) connectLog = kSdkBanner + connectLog;
    run.commands[kConnect].log = WithEnds(connectLog, ends);
    run.commands[kConnect].errors = WithEnds(c.connectErr, ends);
    run.commands[kPush].log = WithEnds(c.pushLog, ends);
    run.commands[kPush].errors = WithEnds(c.pushErr, ends);
    run.commands[kInstall].log = WithEnds(std::string(kInstallHead) + c.installLog + "cmd_ret:0\n", ends);
    return run;
}

TEST(Diagnosis, NamesOneCauseForTheTextsOfBothClientsWhateverTheLineEnds) {
    for (const Case& c : kCases) {
        for (Ends ends : {Ends::Lf, Ends::Crlf, Ends::SdkOnWindows}) {
            SCOPED_TRACE(std::string(c.what) + ", line ends " + std::to_string(static_cast<int>(ends)));
            const Diagnosis d = DiagnoseRun(RecordOf(c, ends));
            EXPECT_EQ(d.cause, c.cause);
            EXPECT_EQ(d.tvLine, c.tvLine);
        }
    }
}

TEST(Diagnosis, WhatTheInstallerKnowsComesBeforeTheLogs) {
    RunRecord run = RecordOf(kCases[0], Ends::Lf);
    run.payloadsWritten = false;
    EXPECT_EQ(DiagnoseRun(run).cause, FailureCause::FolderNotWritable);
    // A connect that never started (the window was closed first) says nothing of the TV.
    RunRecord quit;
    EXPECT_EQ(DiagnoseRun(quit).cause, FailureCause::Unknown);
}

TEST(Diagnosis, TheTvsAnswersSettleWhatTheLogsCannot) {
    const struct {
        FailureCause judged;  // what the TV's answers say (tvprobe::Judge)
        FailureCause cause;
    } rows[] = {
        {FailureCause::NothingAnswers, FailureCause::NothingAnswers},
        {FailureCause::NotATv, FailureCause::NotATv},
        {FailureCause::DevModeOff, FailureCause::DevModeOff},
        {FailureCause::HostIpOther, FailureCause::HostIpOther},
        {FailureCause::HostIpReversed, FailureCause::HostIpReversed},
        {FailureCause::DevModeInactive, FailureCause::DevModeInactive},
        {FailureCause::TvTurnedPcAway, FailureCause::TvTurnedPcAway},
        {FailureCause::StoppedAnswering, FailureCause::StoppedAnswering},
        {FailureCause::Unknown, FailureCause::NothingAnswers},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(WithTvAnswers({FailureCause::NothingAnswers, ""}, {r.judged, "", "", ""}).cause, r.cause);
    }
    // The SDK's client gives up on a silent handshake with the words of a TV that turned it away.
    EXPECT_EQ(
        WithTvAnswers({FailureCause::TvTurnedPcAway, ""}, {FailureCause::StoppedAnswering, "", "", ""}).stage,
        InstallStage::Connecting);
    EXPECT_TRUE(WorthAskingTheTv(FailureCause::TvTurnedPcAway));
    EXPECT_TRUE(WorthAskingTheTv(FailureCause::NothingAnswers));
    EXPECT_FALSE(WorthAskingTheTv(FailureCause::ClientNeverRan));
    EXPECT_FALSE(WorthAskingTheTv(FailureCause::CertificateRefused));
}

// A run in which the TV stopped answering at row `at`: the installer's bound ran out there (the
// rows a stop at a TV command skips then never start), or our client's own limit did (the run
// went on).
RunRecord StoppedRun(int at, bool bound, const char* installLog, const char* afterErr) {
    RunRecord run = RecordOf(kCases[6], Ends::Crlf);  // connected, pushed, the install log set below
    run.commands[kInstall].log = std::string(kInstallHead) + installLog;
    for (int i = at + 1; i < kInstallCommandCount; ++i) {
        run.commands[i].errors = afterErr;
        if (bound && kInstallSequence[at].talksToTv && !InstallCommandRunsAfterStop(i, at))
            run.commands[i] = CommandRecord{};
    }
    run.commands[at].stopped = bound;
    if (!bound) run.commands[at].errors = kSilent;
    return run;
}

TEST(Diagnosis, NamesTheStepWhereTheTvStoppedAnswering) {
    const int kill = 0, paths = 3, uninstall = 4, applist = 9;
    const char* const offline = "error: target offline\nerror: cannot reach 10.0.0.20:26101: timed out\n";
    const char* const refused =
        "app_id[Qw7TzLp2Xe.KAVORIN] install failed[118, -12], reason: Check certificate error\n";
    const struct {
        const char* what;
        int at;
        bool bound;
        const char* installLog;
        const char* afterErr;
        FailureCause cause;
        InstallStage stage;
    } rows[] = {
        {"bound at the connect", kConnect, true, "", "", FailureCause::StoppedAnswering,
         InstallStage::Connecting},
        {"bound at a query", paths, true, "", "", FailureCause::StoppedAnswering, InstallStage::Connecting},
        {"bound at the uninstall", uninstall, true, "", "", FailureCause::StoppedAnswering,
         InstallStage::RemovingOldCopy},
        {"bound at the upload", kPush, true, "", "", FailureCause::StoppedAnswering,
         InstallStage::CopyingWidget},
        {"ours: the upload, the install without the file", kPush, false, kArchiveFail, offline,
         FailureCause::StoppedAnswering, InstallStage::CopyingWidget},
        {"bound at the install", kInstall, true, "", "", FailureCause::StoppedAnswering,
         InstallStage::Installing},
        {"ours: the install, the TV gone after it", kInstall, false, "", offline,
         FailureCause::StoppedAnswering, InstallStage::Installing},
        {"the TV's refusal before a later stop", applist, true, refused, "", FailureCause::CertificateRefused,
         InstallStage::None},
        {"the local server, not the TV", kill, true, "", "", FailureCause::Unknown, InstallStage::None},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        const Diagnosis d = DiagnoseRun(StoppedRun(r.at, r.bound, r.installLog, r.afterErr));
        EXPECT_EQ(d.cause, r.cause);
        EXPECT_EQ(d.stage, r.stage);
        if (r.cause == FailureCause::StoppedAnswering) EXPECT_EQ(d.tvLine, "");
    }
}

TEST(Diagnosis, PcAddressesOnTheTvsNetworkOrAll) {
    const std::vector<std::wstring> pc{L"10.8.0.2", L"192.168.1.5", L"192.168.10.7", L"192.168.1.44"};
    EXPECT_EQ(PcAddressesForTv(L"192.168.1.20", pc),
              (std::vector<std::wstring>{L"192.168.1.5", L"192.168.1.44"}));
    EXPECT_EQ(PcAddressesForTv(L"172.16.0.9", pc), pc);
    EXPECT_EQ(PcAddressesForTv(L"192.168.1.300", pc), pc);
    EXPECT_EQ(PcAddressesForTv(L"192.168.1", pc), pc);
    EXPECT_TRUE(PcAddressesForTv(L"192.168.1.20", {}).empty());
}

// Entry `name` with %1 (and %2, when given) filled in.
std::wstring Filled(const char* name, int lang, const std::wstring& first, const std::wstring& second = {}) {
    std::wstring text = expected::Text(name, lang);
    text.replace(text.find(L"%1"), 2, first);
    if (!second.empty()) text.replace(text.find(L"%2"), 2, second);
    return text;
}

TEST(Diagnosis, TheBoxSaysWhatHappenedWhatToDoAndQuotesTheTv) {
    TextTable table;
    textTable = &table;
    for (int lang : {0, 1}) {
        const std::wstring tvSaid = L"\n\n" + expected::Text("TvSaidText", lang) + L"\n\"";
        EXPECT_EQ(DiagnosisMessage({FailureCause::TvTurnedPcAway, ""}, lang, L"192.168.1.20",
                                   {L"192.168.1.5", L"192.168.1.44"})
                      .str(),
                  Filled("WhyTurnedAwayText", lang,
                         L"192.168.1.5" + expected::Text("OrText", lang) + L"192.168.1.44"));
        EXPECT_EQ(DiagnosisMessage({FailureCause::NothingAnswers, ""}, lang, L"192.168.1.20", {}).str(),
                  Filled("WhyNoAnswerText", lang, L"192.168.1.20"));
        const std::string refusal =
            "app_id[Qw7TzLp2Xe.KAVORIN] install failed[118, -12], reason: Check certificate error";
        EXPECT_EQ(DiagnosisMessage({FailureCause::CertificateRefused, refusal}, lang, L"1.2.3.4", {}).str(),
                  expected::Text("WhyCertificateText", lang) + tvSaid + FromUtf8(refusal) + L"\"");
        // What the TV said of itself: the address it holds, the one to type, its model.
        tvprobe::Judgement other{FailureCause::HostIpOther, "UE43RU7400UXRU", "192.168.1.77", ""};
        const Diagnosis asked = WithTvAnswers({FailureCause::TvTurnedPcAway, ""}, other);
        EXPECT_EQ(DiagnosisMessage(asked, lang, L"192.168.1.20", {L"192.168.1.5"}).str(),
                  Filled("WhyHostIpOtherText", lang, L"192.168.1.77", L"192.168.1.5") + L"\n\n" +
                      Filled("TvModelText", lang, L"UE43RU7400UXRU"));
        const tvprobe::Judgement reversed{FailureCause::HostIpReversed, "", "5.1.168.192", "192.168.1.5"};
        EXPECT_EQ(DiagnosisMessage(WithTvAnswers({FailureCause::TvTurnedPcAway, ""}, reversed), lang,
                                   L"192.168.1.20", {L"192.168.1.5"})
                      .str(),
                  Filled("WhyHostIpReversedText", lang, L"5.1.168.192", L"5.1.168.192"));
        // Where the TV stopped answering, in words.
        for (const auto& [stage, words] : {std::pair{InstallStage::Connecting, "StageConnectingText"},
                                           std::pair{InstallStage::RemovingOldCopy, "StageRemovingText"},
                                           std::pair{InstallStage::CopyingWidget, "StageCopyingText"},
                                           std::pair{InstallStage::Installing, "StageInstallingText"}}) {
            Diagnosis stopped;
            stopped.cause = FailureCause::StoppedAnswering;
            stopped.stage = stage;
            EXPECT_EQ(DiagnosisMessage(stopped, lang, L"1.2.3.4", {}).str(),
                      Filled("WhyStoppedText", lang, expected::Text(words, lang)));
        }
        // A line from the TV cannot break the box: no control characters, a bounded length.
        const std::wstring odd =
            DiagnosisMessage({FailureCause::Unknown, "a\tb\x1b[31m" + std::string(500, 'x')}, lang,
                             L"1.2.3.4", {})
                .str();
        const std::wstring quoted = odd.substr(odd.find(tvSaid) + tvSaid.size());
        EXPECT_EQ(quoted.substr(0, 8), L"a b [31m");
        EXPECT_LT(quoted.size(), 260u);
    }
    textTable = nullptr;
}

// After a search: the TV found (a question), several (a list), none (what to check).
TEST(Diagnosis, TheSearchBoxesNameWhatWasFoundAndWhatToFixFirst) {
    TextTable table;
    textTable = &table;
    tvprobe::TvDevice ready;
    ready.name = "[TV] Samsung 7 Series (43)";
    ready.modelName = "UE43RU7400UXRU";
    ready.type = "Samsung SmartTV";
    ready.developerMode = "1";
    ready.developerIP = "192.168.1.5";
    tvprobe::TvDevice off = ready, other = ready;
    off.developerMode = "0";
    off.name = off.modelName = "";  // named by its type alone
    other.developerIP = "192.168.1.77";
    const std::vector<std::wstring> pc{L"10.8.0.3", L"192.168.1.5"};
    for (int lang : {0, 1}) {
        const std::wstring tv =
            Filled("TvAndModelText", lang, L"[TV] Samsung 7 Series (43)", L"UE43RU7400UXRU");
        const std::wstring question = L"\n\n" + expected::Text("InstallThereText", lang);
        EXPECT_EQ(FoundTvQuestion({"192.168.1.31", ready}, lang, L"", pc).str(),
                  Filled("FoundTvText", lang, L"192.168.1.31", tv) + question);
        // Nothing at the typed address, and the TV found holds another PC's address: that first.
        EXPECT_EQ(FoundTvQuestion({"192.168.1.31", other}, lang, L"192.168.1.30", pc).str(),
                  Filled("NothingAtText", lang, L"192.168.1.30") + L"\n" +
                      Filled("FoundTvText", lang, L"192.168.1.31", tv) + L"\n\n" +
                      Filled("WhyHostIpOtherText", lang, L"192.168.1.77", L"192.168.1.5") + question);
        EXPECT_EQ(FoundTvsList({{"192.168.1.31", ready}, {"192.168.1.32", off}, {"192.168.1.33", other}},
                               lang, L"", pc)
                      .str(),
                  expected::Text("FoundSeveralText", lang) + L"\n192.168.1.31 - " + tv + L", " +
                      expected::Text("ForThisPcText", lang) + L"\n192.168.1.32 - Samsung SmartTV, " +
                      expected::Text("DevModeOffStateText", lang) + L"\n192.168.1.33 - " + tv + L", " +
                      Filled("ForOtherPcText", lang, L"192.168.1.77"));
        EXPECT_EQ(NoTvFoundText(lang).str(),
                  expected::Text("BadAddressText", lang) + L"\n" + expected::Text("SearchNoneText", lang));
    }
    textTable = nullptr;
}

// Our client's words for a TV that went away, from the one place it prints them from
// (bridge/gone.h), each line alone as the push (row 6) prints it and as the later commands do: a
// dropped connection, or for a TV that went silent, one that stopped answering.
TEST(Diagnosis, OurClientsLinesForAGoneTvReadAsSuch) {
    namespace gone = kb::gone;
    constexpr int connectRow = 1, pushRow = 6, lastKillServer = kInstallCommandCount - 1;
    const std::string silent = gone::StoppedAnswering("timed out waiting for the device");
    const struct {
        std::string line;
        bool byPush, byLater;
        FailureCause cause;
    } rows[] = {
        {std::string(gone::kTargetNotFound), true, true, FailureCause::ConnectionDropped},
        {std::string(gone::kTargetOffline), true, true, FailureCause::ConnectionDropped},
        {gone::CannotReach("10.0.0.20:26101", "connect: Connection refused"), true, true,
         FailureCause::ConnectionDropped},
        {std::string(gone::kNoSyncChannel), true, false, FailureCause::ConnectionDropped},
        {gone::Failed(gone::kClosedConnection), true, true, FailureCause::ConnectionDropped},
        {gone::FailedToPush("KAVORIN.wgt", gone::kClosedConnection), true, false,
         FailureCause::ConnectionDropped},
        {gone::FailedToPush("KAVORIN.wgt", silent), true, false, FailureCause::StoppedAnswering},
        {gone::Failed(silent), true, true, FailureCause::StoppedAnswering},
    };
    for (const auto& r : rows) {
        for (const bool inPush : {true, false}) {
            if (!(inPush ? r.byPush : r.byLater)) continue;
            SCOPED_TRACE((inPush ? "the push: " : "the later commands: ") + r.line);
            RunRecord run;
            for (CommandRecord& c : run.commands) c.started = true;
            run.commands[connectRow].log =
                "connecting to 10.0.0.20:26101 ...\nconnected to 10.0.0.20:26101\n";
            // The later commands that talk to the TV: all but the last kill-server.
            const int from = inPush ? pushRow : pushRow + 1, to = inPush ? pushRow + 1 : lastKillServer;
            for (int i = from; i < to; ++i) run.commands[i].errors = r.line;
            EXPECT_EQ(DiagnoseRun(run).cause, r.cause);
        }
    }
}

}  // namespace
