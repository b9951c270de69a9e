// The language switch: copies one language's texts from the table into the eleven controls
// that show them. The window caption, the radio items, the series choice, the host addresses,
// the typed TV address and the progress bar are the same in both languages and stay as they are.
#include "Mainwin.h"
#include "texts/Func.h"

void TmainForm::ApplyLanguage(int lang) {
    // The language group has exactly two items; any other index (nothing selected) would read
    // outside the table, so it changes nothing.
    if (lang != 0 && lang != 1) return;
    const TextTable& t = *textTable;
    langRG->SetCaption(t.LanguageCaption[lang]);
    ipGB->SetCaption(t.HostAddressCaption[lang]);
    ipNoteLbl->SetCaption(t.HostAddressNote[lang]);  // the label sizes itself to the new text
    refreshIpBTN->SetCaption(t.RefreshCaption[lang]);
    tvSeriesRG->SetCaption(t.SeriesCaption[lang]);
    BitInstall->SetCaption(t.InstallButtonCaption[lang]);
    tvIpLbl->SetCaption(t.TvAddressCaption[lang]);
    installGB->SetCaption(t.InstallGroupCaption[lang]);
    statusLbl->SetCaption(t.PromptText[lang]);  // a switch always shows the prompt again
    instManualGB->SetCaption(t.ManualCaption[lang]);
    manualLbl->SetCaption(t.ManualText[lang]);
}

void TmainForm::langRGClick(TObject* /*Sender*/) { ApplyLanguage(langRG->ItemIndex()); }
