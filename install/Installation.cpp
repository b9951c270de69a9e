// One installation as one path: the run's record (InstallRun.cpp), its verdict, the diagnosis,
// the TV asked where the logs cannot tell, a search where nothing answers, then the box.
#include "Installation.h"

#include <optional>
#include <string>
#include <vector>

#include "Diagnosis.h"
#include "InstallSteps.h"
#include "SysUtils.h"
#include "net/LocalAddress.h"
#include "net/TvProbeWin.h"
#include "net/TvSearchWin.h"
#include "texts/Func.h"
#include "texts/Messages.h"

namespace {

int LanguageOf(const InstallControls& window) { return LanguageIndex(window.language->ItemIndex()); }

// What the search for the TV on this PC's networks came to.
enum class Offer {
    Install,    // one TV, and the user chose it: its address is in the field
    Declined,   // one TV, and the user did not choose it
    Listed,     // several: the box listed them for the user to type one
    NoneFound,  // none (or none but the address where nothing answered)
    Quitting,   // the application is quitting: nothing more to ask
};

// Searches with the status line saying so, then offers what it found. `nothingAt`: the typed
// address where nothing answered (empty: the field was empty, and a TV found goes into it before
// the question).
Offer OfferTvsFound(const InstallControls& window, const std::wstring& nothingAt) {
    const UnicodeString status = window.status->Caption();
    window.status->SetCaption(Say(Msg::SearchingText, LanguageOf(window)));
    tvsearch::SearchResult found = tvsearch::SearchTvs();
    // Back to what it said, unless a change of language has put the prompt there meanwhile.
    if (window.status->Caption() == Say(Msg::SearchingText, LanguageOf(window)))
        window.status->SetCaption(status);
    if (found.quitting || Application->Terminated()) return Offer::Quitting;
    std::vector<tvsearch::FoundTv>& tvs = found.tvs;
    std::erase_if(tvs, [&](const tvsearch::FoundTv& tv) { return FromUtf8(tv.address) == nothingAt; });
    if (tvs.empty()) return Offer::NoneFound;

    const int lang = LanguageOf(window);
    const bool failedRun = !nothingAt.empty();
    const std::vector<std::wstring> pc = GetLocalIPv4Addresses();
    if (tvs.size() > 1) {
        const UnicodeString list = FoundTvsList(tvs, lang, nothingAt, pc);
        failedRun ? ShowErrorMessage(list) : ShowMessage(list);
        return Offer::Listed;
    }
    // The empty field shows the TV's address while the user is asked; a typed one changes on Yes.
    const UnicodeString address = FromUtf8(tvs[0].address);
    if (!failedRun) window.address->SetCaption(address);
    if (!AskYesNo(FoundTvQuestion(tvs[0], lang, nothingAt, pc), Say(Msg::YesCaption, lang),
                  Say(Msg::NoCaption, lang), failedRun))
        return Offer::Declined;
    if (failedRun) window.address->SetCaption(address);
    return Offer::Install;
}

// Why a failed run failed: the record's cause, made precise by the TV itself where the logs
// cannot tell (bounded in time, the window answering meanwhile). Nullopt: the application is
// quitting.
std::optional<Diagnosis> Diagnose(const RunRecord& run, const UnicodeString& address,
                                  const std::vector<std::wstring>& pc) {
    Diagnosis why = DiagnoseRun(run);
    if (!WorthAskingTheTv(why.cause)) return why;
    const tvprobe::ProbeResult tv = tvprobe::ProbeTv(ToUtf8(address.str()));
    if (tv.quitting || Application->Terminated()) return std::nullopt;
    return WithTvAnswers(why, tvprobe::Judge(tv.port, tv.device, Utf8Addresses(pc)));
}

// One installation at `address`, from the payloads to the box that says why it failed. True
// when nothing answered there, a search found a TV elsewhere and the user chose to install
// there (its address is now in the field); only where `searchIfNothingAnswers`.
bool InstallAt(const UnicodeString& address, bool searchIfNothingAnswers, const InstallControls& window,
               const WidgetData& widget) {
    const RunRecord run = RunInstallSteps(address, window, widget);
    if (!run.payloadsWritten) {
        // This folder cannot be written: said before status and bar change.
        UnicodeString text = DiagnosisMessage(DiagnoseRun(run), LanguageOf(window), {}, {});
        if (run.payloadError) text += L"\n\n" + Sysutils::SysErrorMessage(run.payloadError);
        ShowErrorMessage(text);
        return false;
    }

    // The TV's verdict is in the install log.
    const bool completed =
        JudgeInstallLog(run.commands[InstallVerdictCommand()].log) == InstallVerdict::Completed;
    const int lang = LanguageOf(window);
    window.status->SetCaption(completed ? textTable->DoneText[lang] : textTable->FailedText[lang]);
    // A closed window asks nothing more of the user.
    if (completed || Application->Terminated()) return false;

    const std::vector<std::wstring> pc = GetLocalIPv4Addresses();
    const std::optional<Diagnosis> why = Diagnose(run, address, pc);
    if (!why) return false;
    // Nothing there at all: the TV may have another address on this PC's network.
    if (why->cause == FailureCause::NothingAnswers && searchIfNothingAnswers) {
        const Offer offer = OfferTvsFound(window, address.str());
        if (offer != Offer::NoneFound) return offer == Offer::Install;
    }
    ShowErrorMessage(
        DiagnosisMessage(*why, LanguageOf(window), address.str(), PcAddressesForTv(address.str(), pc)));
    return false;
}

}  // namespace

void InstallFromWindow(const InstallControls& window, const WidgetData& widget) {
    // Nothing typed: the TV is looked for on this PC's networks, and installed where the user says.
    if (window.address->Text().IsEmpty()) {
        const Offer offer = OfferTvsFound(window, {});
        if (offer == Offer::Install) InstallAt(window.address->Text(), false, window, widget);
        if (offer == Offer::NoneFound) ShowMessage(NoTvFoundText(LanguageOf(window)));
        return;
    }
    // The address goes into a line that cmd.exe parses; pasted text bypasses the key filter.
    const UnicodeString address = window.address->Text();
    if (!IsAcceptableTvAddress(address)) {
        const int lang = LanguageOf(window);
        ShowMessage(textTable->BadAddressText[lang] + L"\n" + Say(Msg::BadAddressHintText, lang));
        return;
    }
    // Nothing answered there, and the user chose a TV that answers elsewhere: once more, there.
    if (InstallAt(address, true, window, widget)) InstallAt(window.address->Text(), false, window, widget);
}
