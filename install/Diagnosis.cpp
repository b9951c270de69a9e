#include "Diagnosis.h"

#include <iterator>
#include <utility>
#include <vector>

#include "texts/Func.h"

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

// Everything a command printed, the log first, then its error stream.
std::vector<std::string_view> Output(const CommandRecord& c) {
    std::vector<std::string_view> lines;
    if (c.log) lines = Lines(*c.log);
    for (std::string_view l : Lines(c.errors)) lines.push_back(l);
    return lines;
}

std::optional<std::string_view> FirstWith(const std::vector<std::string_view>& lines, std::string_view what) {
    for (std::string_view l : lines)
        if (Has(l, what)) return l;
    return std::nullopt;
}

Diagnosis Found(FailureCause cause, std::optional<std::string_view> line = std::nullopt) {
    Diagnosis d;
    d.cause = cause;
    if (line) d.tvLine = std::string(*line);
    return d;
}

// A client's line saying the TV was reached before but is gone now (both clients' words). One
// that says it stopped answering means a TV still there but silent.
bool SaysTvIsGone(std::string_view line) {
    if (Has(line, "stopped answering")) return false;
    for (std::string_view words : {"failed to push", "connection fails", "target not found", "target offline",
                                   "cannot reach", "closed the connection"})
        if (Has(line, words)) return true;
    return false;
}

// A line in which a bridge client reports a failure of its own.
bool IsClientError(std::string_view line) {
    return line.rfind("error:", 0) == 0 || line.rfind("fatal:", 0) == 0;
}

// The TV took the command and then said nothing more: the installer's bound ran out, or our
// client's own limit for a silent TV did (its "the device stopped answering").
bool StoppedAnsweringIn(const CommandRecord& c) {
    if (c.stopped) return true;
    for (std::string_view l : Lines(c.errors))
        if (IsClientError(l) && Has(l, "stopped answering")) return true;
    return false;
}

Diagnosis StoppedAt(int index) {
    Diagnosis d;
    d.cause = FailureCause::StoppedAnswering;
    d.stage = kInstallSequence[index].stage;
    return d;
}

// The first command of rows [from, to) that talks to the TV and at which the TV stopped answering.
std::optional<Diagnosis> FirstStop(const RunRecord& run, int from, int to) {
    for (int i = from; i < to; ++i) {
        const CommandRecord& c = run.commands[i];
        if (c.started && kInstallSequence[i].talksToTv && StoppedAnsweringIn(c)) return StoppedAt(i);
    }
    return std::nullopt;
}

// The connect command (row `index`): reached, turned away, silent, nothing there, or no client.
std::optional<Diagnosis> FromConnect(const CommandRecord& connect, int index) {
    const std::vector<std::string_view> lines = Output(connect);
    if (connect.stopped) return StoppedAt(index);
    // Ours prints "failed to connect to remote target" when no TCP connection could be made,
    // and "failed to connect to <ip>:<port>" when the TV accepted and then closed it, or left
    // the handshake unanswered (on its error stream, "the device stopped answering"). The SDK's
    // client prints the latter in every case; asking the TV itself tells them apart.
    if (FirstWith(lines, "failed to connect to remote target")) return Found(FailureCause::NothingAnswers);
    if (FirstWith(lines, "failed to connect to"))
        return StoppedAnsweringIn(connect) ? StoppedAt(index) : Found(FailureCause::TvTurnedPcAway);
    if (FirstWith(lines, "connected to")) return std::nullopt;
    // Nothing from the client, at most the command interpreter's word that it could not start
    // it (the file gone, access denied): an antivirus or the firewall stopped it.
    bool clientSpoke = connect.log && !Lines(*connect.log).empty();
    for (std::string_view l : Lines(connect.errors)) clientSpoke = clientSpoke || IsClientError(l);
    if (!clientSpoke) return Found(FailureCause::ClientNeverRan);
    return std::nullopt;
}

// The upload: the TV's refusal passed on by the client, or the connection gone.
std::optional<Diagnosis> FromPush(const CommandRecord& push) {
    for (std::string_view l : Output(push)) {
        if (Has(l, "No space left on device")) return Found(FailureCause::NoSpace, l);
        if (Has(l, "Permission denied") || Has(l, "No such file or directory") ||
            Has(l, "Read-only file system"))
            return Found(FailureCause::WrongSeries, l);
    }
    for (std::string_view l : Output(push)) {
        if (IsClientError(l) && SaysTvIsGone(l)) return Found(FailureCause::ConnectionDropped, l);
    }
    return std::nullopt;
}

// The TV's installer: its failure codes.
std::optional<Diagnosis> FromInstall(const CommandRecord& install) {
    const std::vector<std::string_view> lines = Output(install);
    // 116: the TV could not take the package in ("download failed[116]", on some sets "install").
    if (auto l = FirstWith(lines, "failed[116]")) return Found(FailureCause::NoSpace, l);
    if (auto l = FirstWith(lines, "failed[118, -12]")) {
        return Found(Has(*l, "<-7>") ? FailureCause::CertificateNotYet : FailureCause::CertificateRefused, l);
    }
    if (auto l = FirstWith(lines, "failed[118, -11]")) return Found(FailureCause::OtherAuthor, l);
    if (auto l = FirstWith(lines, "failed[118012]")) return Found(FailureCause::OtherAuthor, l);
    if (auto l = FirstWith(lines, "failed[118, -4]")) return Found(FailureCause::PackageDamaged, l);
    if (auto l = FirstWith(lines, "failed[")) return Found(FailureCause::PackageRefused, l);
    return std::nullopt;
}

// After a good connect, a command that finds the TV gone means the connection dropped.
std::optional<Diagnosis> FromLostTarget(const RunRecord& run, int from) {
    for (int i = from; i < kInstallCommandCount; ++i) {
        if (!run.commands[i].started || !kInstallSequence[i].talksToTv) continue;
        for (std::string_view l : Lines(run.commands[i].errors)) {
            if (IsClientError(l) && SaysTvIsGone(l)) return Found(FailureCause::ConnectionDropped, l);
        }
    }
    return std::nullopt;
}

// Any failure line at all, for the unknown cause: the first from the TV's installer, else the
// first error a client printed.
std::optional<std::string_view> AnyFailureLine(const RunRecord& run) {
    for (const CommandRecord& c : run.commands)
        if (auto l = FirstWith(Output(c), "failed[")) return l;
    for (const CommandRecord& c : run.commands)
        for (std::string_view l : Lines(c.errors))
            if (IsClientError(l)) return l;
    return std::nullopt;
}

// The catalogue: each cause with its text and the address its remedy names.
enum class Names { Nothing, TvAddress, PcAddresses, TvHostIpThenPc, TvHostIpThenReversedPc, Stage };
struct CauseEntry {
    FailureCause cause;
    UnicodeString (TextTable::*text)[2];
    Names names;
};
constexpr CauseEntry kCatalogue[] = {
    {FailureCause::TvTurnedPcAway, &TextTable::WhyTurnedAwayText, Names::PcAddresses},
    {FailureCause::NothingAnswers, &TextTable::WhyNoAnswerText, Names::TvAddress},
    {FailureCause::WrongSeries, &TextTable::WhyWrongSeriesText, Names::Nothing},
    {FailureCause::CertificateRefused, &TextTable::WhyCertificateText, Names::Nothing},
    {FailureCause::CertificateNotYet, &TextTable::WhyNotYetValidText, Names::Nothing},
    {FailureCause::OtherAuthor, &TextTable::WhyOtherAuthorText, Names::Nothing},
    {FailureCause::PackageDamaged, &TextTable::WhyDamagedText, Names::Nothing},
    {FailureCause::PackageRefused, &TextTable::WhyRefusedText, Names::Nothing},
    {FailureCause::NoSpace, &TextTable::WhyNoSpaceText, Names::Nothing},
    {FailureCause::ConnectionDropped, &TextTable::WhyDroppedText, Names::Nothing},
    {FailureCause::StoppedAnswering, &TextTable::WhyStoppedText, Names::Stage},
    {FailureCause::ClientNeverRan, &TextTable::WhyNotRunText, Names::Nothing},
    {FailureCause::FolderNotWritable, &TextTable::WhyFolderText, Names::Nothing},
    {FailureCause::Unknown, &TextTable::WhyUnknownText, Names::Nothing},
    {FailureCause::DevModeOff, &TextTable::WhyDevModeOffText, Names::PcAddresses},
    {FailureCause::NotATv, &TextTable::WhyNotATvText, Names::TvAddress},
    {FailureCause::HostIpOther, &TextTable::WhyHostIpOtherText, Names::TvHostIpThenPc},
    {FailureCause::HostIpReversed, &TextTable::WhyHostIpReversedText, Names::TvHostIpThenReversedPc},
    {FailureCause::DevModeInactive, &TextTable::WhyDevModeInactiveText, Names::Nothing},
};

// The words for each step at which the TV may stop answering.
constexpr std::pair<InstallStage, UnicodeString (TextTable::*)[2]> kStageWords[] = {
    {InstallStage::Connecting, &TextTable::StageConnectingText},
    {InstallStage::RemovingOldCopy, &TextTable::StageRemovingText},
    {InstallStage::CopyingWidget, &TextTable::StageCopyingText},
    {InstallStage::Installing, &TextTable::StageInstallingText},
};

std::wstring StageWords(InstallStage stage, int lang) {
    for (const auto& [s, text] : kStageWords)
        if (s == stage) return (textTable->*text)[lang].str();
    return (textTable->*kStageWords[0].second)[lang].str();
}

void Fill(std::wstring& text, std::wstring_view mark, const std::wstring& value) {
    if (const size_t at = text.find(mark); at != std::wstring::npos) text.replace(at, mark.size(), value);
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

Diagnosis DiagnoseRun(const RunRecord& run) {
    if (!run.payloadsWritten) return Found(FailureCause::FolderNotWritable);
    static const int connect = InstallRowStartingWith(L"connect");
    static const int push = InstallRowStartingWith(L"push");
    static const int install = InstallVerdictCommand();

    if (run.commands[connect].started) {
        if (auto d = FromConnect(run.commands[connect], connect)) return *d;
    }
    // A refused upload comes first, then a TV that stopped answering up to the upload: the
    // install that follows either fails for want of the file.
    if (auto d = FromPush(run.commands[push])) return *d;
    if (auto d = FirstStop(run, connect + 1, push + 1)) return *d;
    if (auto d = FromInstall(run.commands[install])) return *d;
    // Where the TV stopped answering, not what the commands after it found.
    if (auto d = FirstStop(run, push + 1, kInstallCommandCount)) return *d;
    if (auto d = FromLostTarget(run, connect + 1)) return *d;
    return Found(FailureCause::Unknown, AnyFailureLine(run));
}

bool WorthAskingTheTv(FailureCause cause) noexcept {
    return cause == FailureCause::TvTurnedPcAway || cause == FailureCause::NothingAnswers;
}

Diagnosis WithTvAnswers(Diagnosis logOnly, const tvprobe::Judgement& tv) {
    using tvprobe::Finding;
    logOnly.tvModel = tv.modelName;
    logOnly.tvHostIp = tv.developerIP;
    logOnly.pcMatched = tv.pcAddress;
    switch (tv.finding) {
    case Finding::NothingAnswers: logOnly.cause = FailureCause::NothingAnswers; break;
    case Finding::NotATvService: logOnly.cause = FailureCause::NotATv; break;
    case Finding::DeveloperModeOff: logOnly.cause = FailureCause::DevModeOff; break;
    case Finding::HostIpOther: logOnly.cause = FailureCause::HostIpOther; break;
    case Finding::HostIpReversed: logOnly.cause = FailureCause::HostIpReversed; break;
    case Finding::DeveloperModeInactive: logOnly.cause = FailureCause::DevModeInactive; break;
    case Finding::ClosedNoService: logOnly.cause = FailureCause::TvTurnedPcAway; break;
    case Finding::AcceptedButSilent:
        logOnly.cause = FailureCause::StoppedAnswering;
        logOnly.stage = InstallStage::Connecting;
        break;
    case Finding::Unclear: break;  // the logs' word stands
    }
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

UnicodeString DiagnosisMessage(const Diagnosis& d, int lang, const std::wstring& tvAddress,
                               const std::vector<std::wstring>& pcAddresses) {
    lang = lang == 1 ? 1 : 0;
    const CauseEntry* entry = &kCatalogue[std::size(kCatalogue) - 1];
    for (const CauseEntry& e : kCatalogue)
        if (e.cause == d.cause) entry = &e;
    std::wstring text = (textTable->*entry->text)[lang].str();
    std::wstring pc;
    for (const std::wstring& a : pcAddresses) pc += (pc.empty() ? L"" : textTable->OrText[lang].str()) + a;
    switch (entry->names) {
    case Names::Nothing: break;
    case Names::TvAddress: Fill(text, L"%1", tvAddress); break;
    case Names::PcAddresses: Fill(text, L"%1", pc); break;
    case Names::TvHostIpThenPc:
        Fill(text, L"%1", Quotable(d.tvHostIp));
        Fill(text, L"%2", pc);
        break;
    case Names::TvHostIpThenReversedPc:
        Fill(text, L"%1", Quotable(d.tvHostIp));
        Fill(text, L"%2", FromUtf8(tvprobe::ReversedIPv4(d.pcMatched)));
        break;
    case Names::Stage: Fill(text, L"%1", StageWords(d.stage, lang)); break;
    }
    if (!d.tvModel.empty()) {
        std::wstring model = textTable->TvModelText[lang].str();
        Fill(model, L"%1", Quotable(d.tvModel));
        text += L"\n\n" + model;
    }
    if (!d.tvLine.empty())
        text += L"\n\n" + textTable->TvSaidText[lang].str() + L"\n\"" + Quotable(d.tvLine) + L"\"";
    return UnicodeString(std::move(text));
}

namespace {

// The TV as its answer names it: its name (or its type), and its model.
std::wstring Describe(const tvprobe::TvDevice& device, int lang) {
    const std::wstring name = Quotable(device.name.empty() ? device.type : device.name);
    if (device.modelName.empty()) return name;
    std::wstring text = textTable->TvAndModelText[lang].str();
    Fill(text, L"%1", name);
    Fill(text, L"%2", Quotable(device.modelName));
    return text;
}

std::wstring NothingAt(const std::wstring& address, int lang) {
    if (address.empty()) return {};
    std::wstring text = textTable->NothingAtText[lang].str();
    Fill(text, L"%1", address);
    return text + L"\n";
}

}  // namespace

UnicodeString FoundTvQuestion(const tvsearch::FoundTv& tv, int lang, const std::wstring& nothingAt,
                              const std::vector<std::wstring>& pcAddresses) {
    lang = lang == 1 ? 1 : 0;
    const std::wstring address = FromUtf8(tv.address);
    std::wstring found = textTable->FoundTvText[lang].str();
    Fill(found, L"%1", address);
    Fill(found, L"%2", Describe(tv.device, lang));
    std::wstring text = NothingAt(nothingAt, lang) + found;
    // What the TV's answer says to fix first, as the box after a failed run says it.
    Diagnosis d = WithTvAnswers(Diagnosis{}, tvsearch::JudgeFound(tv.device, Utf8Addresses(pcAddresses)));
    if (d.cause != FailureCause::Unknown) {
        d.tvModel.clear();  // named above
        text += L"\n\n" + DiagnosisMessage(d, lang, address, PcAddressesForTv(address, pcAddresses)).str();
    }
    return UnicodeString(text + L"\n\n" + textTable->InstallThereText[lang].str());
}

UnicodeString FoundTvsList(const std::vector<tvsearch::FoundTv>& tvs, int lang, const std::wstring& nothingAt,
                           const std::vector<std::wstring>& pcAddresses) {
    lang = lang == 1 ? 1 : 0;
    std::wstring text = NothingAt(nothingAt, lang) + textTable->FoundSeveralText[lang].str();
    for (const tvsearch::FoundTv& tv : tvs) {
        const tvprobe::Judgement j = tvsearch::JudgeFound(tv.device, Utf8Addresses(pcAddresses));
        std::wstring state = textTable->ForThisPcText[lang].str();
        if (j.finding == tvprobe::Finding::DeveloperModeOff) {
            state = textTable->DevModeOffStateText[lang].str();
        } else if (j.finding != tvprobe::Finding::Unclear) {
            state = textTable->ForOtherPcText[lang].str();
            Fill(state, L"%1", Quotable(tv.device.developerIP));
        }
        text += L"\n" + FromUtf8(tv.address) + L" - " + Describe(tv.device, lang) + L", " + state;
    }
    return UnicodeString(std::move(text));
}

UnicodeString NoTvFoundText(int lang) {
    lang = lang == 1 ? 1 : 0;
    return textTable->BadAddressText[lang] + L"\n" + textTable->SearchNoneText[lang];
}
