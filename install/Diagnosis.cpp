#include "Diagnosis.h"

#include <array>
#include <iterator>
#include <utility>
#include <vector>

#include "texts/Func.h"
#include "texts/Messages.h"

namespace {

// Lines of a command's output, whatever the line ends (LF, CRLF, CR CR LF, progress rewritten
// with CR): every CR or LF ends a piece, and empty pieces are dropped.
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != '\r' && text[i] != '\n') continue;
        std::string_view line = text.substr(start, i - start);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
        if (!line.empty()) lines.push_back(line);
        start = i + 1;
    }
    return lines;
}

bool Has(std::string_view line, std::string_view what) { return line.find(what) != std::string_view::npos; }

// Whether `line` holds one of the `|`-separated words of `words`.
bool HasOneOf(std::string_view line, std::string_view words) {
    while (!words.empty()) {
        const size_t bar = words.find('|');
        if (Has(line, words.substr(0, bar))) return true;
        words = bar == std::string_view::npos ? std::string_view() : words.substr(bar + 1);
    }
    return false;
}

// A line in which a bridge client reports a failure of its own.
bool IsClientError(std::string_view line) {
    return line.rfind("error:", 0) == 0 || line.rfind("fatal:", 0) == 0;
}

// What a client says when the TV took a command and then said nothing more (our client's own
// limit for a silent TV: "the device stopped answering").
constexpr std::string_view kSilentWords = "stopped answering";
// What the clients say when the TV they had reached is gone (both clients' words, as measured).
constexpr std::string_view kTvGoneWords =
    "failed to push|connection fails|target not found|target offline|cannot reach|closed the connection";

// Which part of a command's record a rule reads.
enum class Source {
    Output,        // its lines: the log's, then the error stream's
    ClientErrors,  // the error stream's lines in which the client reports a failure
    FailureLines,  // its lines in which the TV's installer reports a failure (IsFailureLine)
    Silence,       // the TV stopped answering in it: its bound ran out, or a client error
                   // says so (kSilentWords)
    Nothing,       // the client printed nothing at all, at most the interpreter's words
};

// The commands a rule reads, by their role in the sequence.
using Roles = unsigned;
constexpr Roles Role(CommandRole role) { return 1u << static_cast<unsigned>(role); }
constexpr Roles kConnect = Role(CommandRole::Connect);
constexpr Roles kPush = Role(CommandRole::Push);
constexpr Roles kInstall = Role(CommandRole::Install);
// The TV's commands after the connect, up to and with the upload, and after it.
constexpr Roles kUpToUpload = Role(CommandRole::ListDevices) | Role(CommandRole::AskInstallPath) |
                              Role(CommandRole::RemoveOldCopy) | Role(CommandRole::MakeStagingDir) | kPush;
constexpr Roles kAfterUpload = kInstall | Role(CommandRole::RemoveUpload) | Role(CommandRole::ListApps);
constexpr Roles kAfterConnect = kUpToUpload | kAfterUpload;
constexpr Roles kAll = ~0u;

// One rule: in the commands of `roles` (in the order they ran, started ones only), the first line
// of `source` that holds one of the `|`-separated words of `pattern` (every line when it is
// empty), and `also` where there is one, means `cause`; `quoted`: the box quotes that line.
struct Rule {
    Roles roles;
    Source source;
    std::string_view pattern;
    FailureCause cause;
    bool quoted;
    std::string_view also = {};
};

using enum FailureCause;

// Pattern -> cause. The first rule that matches wins: the order is the precedence.
constexpr Rule kRules[] = {
    // The connect: silent, nothing there, turned away, or no client at all. Ours prints "failed
    // to connect to remote target" when no TCP connection could be made, and "failed to connect
    // to <ip>:<port>" when the TV accepted and then closed it (or left the handshake unanswered:
    // its error stream then says so). The SDK's client prints the latter in every case; asking
    // the TV itself tells them apart.
    {kConnect, Source::Silence, "", StoppedAnswering, false},
    {kConnect, Source::Output, "failed to connect to remote target", NothingAnswers, false},
    {kConnect, Source::Output, "failed to connect to", TvTurnedPcAway, false},
    // Nothing from the client, at most the command interpreter's word that it could not start
    // it (the file gone, access denied): an antivirus or the firewall stopped it.
    {kConnect, Source::Nothing, "", ClientNeverRan, false},
    // The upload: the TV's refusal passed on by the client, or the connection gone. A refused
    // upload comes before a TV that stopped answering up to it: the install that follows either
    // fails for want of the file.
    {kPush, Source::Output, "No space left on device", NoSpace, true},
    {kPush, Source::Output, "Permission denied|No such file or directory|Read-only file system", WrongSeries,
     true},
    // A push whose client says the TV went silent (our client then also says the sync stream
    // failed, in the words of a TV that is gone) is a TV that stopped answering. Every command
    // whose gone words are read below was read for silence first.
    {kPush, Source::Silence, "", StoppedAnswering, false},
    {kPush, Source::ClientErrors, kTvGoneWords, ConnectionDropped, true},
    {kUpToUpload, Source::Silence, "", StoppedAnswering, false},
    // The TV's installer: its failure codes. 116: it could not take the package in ("download
    // failed[116]", on some sets "install").
    {kInstall, Source::Output, "failed[116]", NoSpace, true},
    {kInstall, Source::Output, "failed[118, -12]", CertificateNotYet, true, "<-7>"},
    {kInstall, Source::Output, "failed[118, -12]", CertificateRefused, true},
    {kInstall, Source::Output, "failed[118, -11]|failed[118012]", OtherAuthor, true},
    {kInstall, Source::Output, "failed[118, -4]", PackageDamaged, true},
    {kInstall, Source::FailureLines, "", PackageRefused, true},
    // Where the TV stopped answering, not what the commands after it found.
    {kAfterUpload, Source::Silence, "", StoppedAnswering, false},
    // After a good connect, a command that finds the TV gone means the connection dropped.
    {kAfterConnect, Source::ClientErrors, kTvGoneWords, ConnectionDropped, true},
    // Any failure line at all, for the unknown cause: the first from the TV's installer, else
    // the first error a client printed.
    {kAll, Source::FailureLines, "", Unknown, true},
    {kAll, Source::ClientErrors, "", Unknown, true},
};

// One command's record split into lines once, as the rules read it.
struct CommandLines {
    std::vector<std::string_view> output;        // the log's, then the error stream's
    std::vector<std::string_view> clientErrors;  // of the error stream
    bool stopped = false;
    bool logEmpty = true;
};

CommandLines Split(const CommandRecord& c) {
    CommandLines lines;
    if (c.log) lines.output = Lines(*c.log);
    lines.logEmpty = lines.output.empty();
    for (std::string_view l : Lines(c.errors)) {
        lines.output.push_back(l);
        if (IsClientError(l)) lines.clientErrors.push_back(l);
    }
    lines.stopped = c.stopped;
    return lines;
}

// The lines of `source` in one command; for Silence and Nothing, one empty line when the command
// is so, none otherwise.
std::vector<std::string_view> LinesOf(const CommandLines& c, Source source) {
    switch (source) {
    case Source::Output: return c.output;
    case Source::ClientErrors: return c.clientErrors;
    case Source::FailureLines: {
        std::vector<std::string_view> lines = c.output;
        std::erase_if(lines, [](std::string_view l) { return !IsFailureLine(l); });
        return lines;
    }
    case Source::Silence: {
        bool silent = c.stopped;
        for (std::string_view l : c.clientErrors) silent = silent || Has(l, kSilentWords);
        return silent ? std::vector<std::string_view>(1) : std::vector<std::string_view>{};
    }
    case Source::Nothing:
        return c.logEmpty && c.clientErrors.empty() ? std::vector<std::string_view>(1)
                                                    : std::vector<std::string_view>{};
    }
    return {};
}

bool Matches(const Rule& rule, std::string_view line) {
    return (rule.pattern.empty() || HasOneOf(line, rule.pattern)) &&
           (rule.also.empty() || Has(line, rule.also));
}

}  // namespace

Diagnosis DiagnoseRun(const RunRecord& run) {
    Diagnosis d;
    if (!run.payloadsWritten) {
        d.cause = FolderNotWritable;
        return d;
    }
    std::array<CommandLines, kInstallCommandCount> lines;
    for (int i = 0; i < kInstallCommandCount; ++i) lines[i] = Split(run.commands[i]);
    for (const Rule& rule : kRules) {
        for (int i = 0; i < kInstallCommandCount; ++i) {
            if (!run.commands[i].started || !(rule.roles & Role(kInstallSequence[i].role))) continue;
            for (std::string_view line : LinesOf(lines[i], rule.source)) {
                if (!Matches(rule, line)) continue;
                d.cause = rule.cause;
                if (rule.quoted) d.tvLine = std::string(line);
                if (rule.cause == StoppedAnswering) d.stage = kInstallSequence[i].stage;
                return d;
            }
        }
    }
    return d;
}

bool WorthAskingTheTv(FailureCause cause) noexcept {
    return cause == FailureCause::TvTurnedPcAway || cause == FailureCause::NothingAnswers;
}

Diagnosis WithTvAnswers(Diagnosis logOnly, const tvprobe::Judgement& tv) {
    logOnly.tvModel = tv.modelName;
    logOnly.tvHostIp = tv.developerIP;
    logOnly.pcMatched = tv.pcAddress;
    if (tv.cause == Unknown) return logOnly;  // the logs' word stands
    logOnly.cause = tv.cause;
    // The TV is asked after a failed connect only: that is where it stopped answering.
    if (tv.cause == StoppedAnswering) logOnly.stage = InstallStage::Connecting;
    return logOnly;
}

std::vector<std::string> Utf8Addresses(const std::vector<std::wstring>& addresses) {
    std::vector<std::string> out;
    for (const std::wstring& a : addresses) out.push_back(ToUtf8(a));
    return out;
}

std::vector<std::wstring> PcAddressesForTv(const std::wstring& tvAddress,
                                           const std::vector<std::wstring>& pc) {
    std::vector<std::wstring> near;
    if (const auto tv = tvprobe::ParseIPv4(ToUtf8(tvAddress))) {
        for (const std::wstring& a : pc) {
            const auto mine = tvprobe::ParseIPv4(ToUtf8(a));
            if (mine && *mine >> 8 == *tv >> 8) near.push_back(a);
        }
    }
    return near.empty() ? pc : near;
}

namespace {

// The catalogue: each cause with its text and what its remedy names, indexed by the cause.
enum class Names { Nothing, TvAddress, PcAddresses, TvHostIpThenPc, TvHostIpThenReversedPc, Stage };
struct CauseEntry {
    FailureCause cause;
    Msg text;
    Names names;
};
constexpr CauseEntry kCatalogue[] = {
    {Unknown, Msg::WhyUnknownText, Names::Nothing},
    {TvTurnedPcAway, Msg::WhyTurnedAwayText, Names::PcAddresses},
    {NothingAnswers, Msg::WhyNoAnswerText, Names::TvAddress},
    {WrongSeries, Msg::WhyWrongSeriesText, Names::Nothing},
    {CertificateRefused, Msg::WhyCertificateText, Names::Nothing},
    {CertificateNotYet, Msg::WhyNotYetValidText, Names::Nothing},
    {OtherAuthor, Msg::WhyOtherAuthorText, Names::Nothing},
    {PackageDamaged, Msg::WhyDamagedText, Names::Nothing},
    {PackageRefused, Msg::WhyRefusedText, Names::Nothing},
    {NoSpace, Msg::WhyNoSpaceText, Names::Nothing},
    {ConnectionDropped, Msg::WhyDroppedText, Names::Nothing},
    {StoppedAnswering, Msg::WhyStoppedText, Names::Stage},
    {ClientNeverRan, Msg::WhyNotRunText, Names::Nothing},
    {FolderNotWritable, Msg::WhyFolderText, Names::Nothing},
    {DevModeOff, Msg::WhyDevModeOffText, Names::PcAddresses},
    {NotATv, Msg::WhyNotATvText, Names::TvAddress},
    {HostIpOther, Msg::WhyHostIpOtherText, Names::TvHostIpThenPc},
    {HostIpReversed, Msg::WhyHostIpReversedText, Names::TvHostIpThenReversedPc},
    {DevModeInactive, Msg::WhyDevModeInactiveText, Names::Nothing},
};

constexpr bool EveryCauseHasItsText() {
    for (size_t i = 0; i < std::size(kCatalogue); ++i)
        if (static_cast<size_t>(kCatalogue[i].cause) != i) return false;
    return std::size(kCatalogue) == static_cast<size_t>(FailureCause::Count);
}
static_assert(EveryCauseHasItsText(), "the catalogue must follow FailureCause, one entry each");

// The words for each step at which the TV may stop answering.
constexpr std::pair<InstallStage, Msg> kStageWords[] = {
    {InstallStage::Connecting, Msg::StageConnectingText},
    {InstallStage::RemovingOldCopy, Msg::StageRemovingText},
    {InstallStage::CopyingWidget, Msg::StageCopyingText},
    {InstallStage::Installing, Msg::StageInstallingText},
};

std::wstring StageWords(InstallStage stage, int lang) {
    for (const auto& [s, text] : kStageWords)
        if (s == stage) return Say(text, lang).str();
    return Say(kStageWords[0].second, lang).str();
}

// A TV's line as the box quotes it: control characters shown as blanks, and no longer than a
// box line should be.
std::wstring Quotable(const std::string& line) {
    constexpr size_t kMaxChars = 240;
    std::wstring text = FromUtf8(line);
    for (wchar_t& c : text)
        if (c < 0x20 || c == 0x7f) c = L' ';
    if (text.size() > kMaxChars) text = text.substr(0, kMaxChars) + L"...";
    return text;
}

}  // namespace

UnicodeString DiagnosisMessage(const Diagnosis& d, int lang, const std::wstring& tvAddress,
                               const std::vector<std::wstring>& pcAddresses) {
    const int cause = static_cast<int>(d.cause);
    const CauseEntry& entry =
        kCatalogue[cause >= 0 && cause < static_cast<int>(FailureCause::Count) ? cause : 0];
    std::wstring pc;
    for (const std::wstring& a : pcAddresses) pc += (pc.empty() ? L"" : Say(Msg::OrText, lang).str()) + a;
    std::wstring text;
    switch (entry.names) {
    case Names::Nothing: text = Say(entry.text, lang).str(); break;
    case Names::TvAddress: text = Say(entry.text, lang, {tvAddress}).str(); break;
    case Names::PcAddresses: text = Say(entry.text, lang, {pc}).str(); break;
    case Names::TvHostIpThenPc: text = Say(entry.text, lang, {Quotable(d.tvHostIp), pc}).str(); break;
    case Names::TvHostIpThenReversedPc:
        text =
            Say(entry.text, lang, {Quotable(d.tvHostIp), FromUtf8(tvprobe::ReversedIPv4(d.pcMatched))}).str();
        break;
    case Names::Stage: text = Say(entry.text, lang, {StageWords(d.stage, lang)}).str(); break;
    }
    if (!d.tvModel.empty()) text += L"\n\n" + Say(Msg::TvModelText, lang, {Quotable(d.tvModel)}).str();
    if (!d.tvLine.empty())
        text += L"\n\n" + Say(Msg::TvSaidText, lang).str() + L"\n\"" + Quotable(d.tvLine) + L"\"";
    return UnicodeString(std::move(text));
}

namespace {

// The TV as its answer names it: its name (or its type), and its model.
std::wstring Describe(const tvprobe::TvDevice& device, int lang) {
    const std::wstring name = Quotable(device.name.empty() ? device.type : device.name);
    if (device.modelName.empty()) return name;
    return Say(Msg::TvAndModelText, lang, {name, Quotable(device.modelName)}).str();
}

std::wstring NothingAt(const std::wstring& address, int lang) {
    if (address.empty()) return {};
    return Say(Msg::NothingAtText, lang, {address}).str() + L"\n";
}

}  // namespace

UnicodeString FoundTvQuestion(const tvsearch::FoundTv& tv, int lang, const std::wstring& nothingAt,
                              const std::vector<std::wstring>& pcAddresses) {
    const std::wstring address = FromUtf8(tv.address);
    std::wstring text =
        NothingAt(nothingAt, lang) + Say(Msg::FoundTvText, lang, {address, Describe(tv.device, lang)}).str();
    // What the TV's answer says to fix first, as the box after a failed run says it.
    Diagnosis d = WithTvAnswers(Diagnosis{}, tvsearch::JudgeFound(tv.device, Utf8Addresses(pcAddresses)));
    if (d.cause != Unknown) {
        d.tvModel.clear();  // named above
        text += L"\n\n" + DiagnosisMessage(d, lang, address, PcAddressesForTv(address, pcAddresses)).str();
    }
    return UnicodeString(text + L"\n\n" + Say(Msg::InstallThereText, lang).str());
}

UnicodeString FoundTvsList(const std::vector<tvsearch::FoundTv>& tvs, int lang, const std::wstring& nothingAt,
                           const std::vector<std::wstring>& pcAddresses) {
    std::wstring text = NothingAt(nothingAt, lang) + Say(Msg::FoundSeveralText, lang).str();
    for (const tvsearch::FoundTv& tv : tvs) {
        const tvprobe::Judgement j = tvsearch::JudgeFound(tv.device, Utf8Addresses(pcAddresses));
        std::wstring state = Say(Msg::ForThisPcText, lang).str();
        if (j.cause == DevModeOff) {
            state = Say(Msg::DevModeOffStateText, lang).str();
        } else if (j.cause != Unknown) {
            state = Say(Msg::ForOtherPcText, lang, {Quotable(tv.device.developerIP)}).str();
        }
        text += L"\n" + FromUtf8(tv.address) + L" - " + Describe(tv.device, lang) + L", " + state;
    }
    return UnicodeString(std::move(text));
}

UnicodeString NoTvFoundText(int lang) {
    return textTable->BadAddressText[LanguageIndex(lang)] + L"\n" + Say(Msg::SearchNoneText, lang);
}
