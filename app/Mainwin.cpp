#include "Mainwin.h"

#include "KeyFilter.h"
#include "Widget.h"
#include "install/Installation.h"
#include "net/LocalAddress.h"
#include "texts/Func.h"

// The text table is made once, before the program's entry point runs, and lives until the
// process ends.
TextTable* textTable = new TextTable();

TmainForm* mainForm = nullptr;

TmainForm::TmainForm(TComponent* Owner) : TForm(Owner) {
    InitializeComponent(L"TMAINFORM", Published());
    SetOwnFields();
}

TmainForm::TmainForm(TComponent* Owner, const std::string& descriptionUtf8) : TForm(Owner) {
    InitializeFromText(descriptionUtf8, Published());
    SetOwnFields();
}

TmainForm::~TmainForm() = default;

void TmainForm::SetOwnFields() {
    widgetName = kWidgetName;
    appId = kWidgetAppId;
    tvTmpDir[0] = kTvStagingDirs[0];
    tvTmpDir[1] = kTvStagingDirs[1];
}

TPublished TmainForm::Published() {
    TPublished p;
    p.Field(L"langRG", langRG)
        .Field(L"BitInstall", BitInstall)
        .Field(L"installPB", installPB)
        .Field(L"ipValLBL", ipValLBL)
        .Field(L"refreshIpBTN", refreshIpBTN)
        .Field(L"tvIpEdt", tvIpEdt)
        .Field(L"ipGB", ipGB)
        .Field(L"ipNoteLbl", ipNoteLbl)
        .Field(L"installGB", installGB)
        .Field(L"tvSeriesRG", tvSeriesRG)
        .Field(L"tvIpLbl", tvIpLbl)
        .Field(L"statusLbl", statusLbl)
        .Field(L"instManualGB", instManualGB)
        .Field(L"manualLbl", manualLbl);
    p.Handler(L"BitInstallClick", [this](TObject* s) { BitInstallClick(s); })
        .Handler(L"FormCreate", [this](TObject* s) { FormCreate(s); })
        .Handler(L"refreshIpBTNClick", [this](TObject* s) { refreshIpBTNClick(s); })
        .Handler(L"langRGClick", [this](TObject* s) { langRGClick(s); })
        .KeyHandler(L"tvIpEdtKeyPress", [this](TObject* s, wchar_t& k) { tvIpEdtKeyPress(s, k); });
    return p;
}

void TmainForm::FormCreate(TObject* /*Sender*/) {
    ipValLBL->SetCaption(GetLocalAddressText());
    ApplyLanguage(langRG->ItemIndex());
}

void TmainForm::tvIpEdtKeyPress(TObject* /*Sender*/, wchar_t& Key) { Key = FilterAddressKey(Key); }

void TmainForm::refreshIpBTNClick(TObject* /*Sender*/) { ipValLBL->SetCaption(GetLocalAddressText()); }

void TmainForm::langRGClick(TObject* /*Sender*/) { ApplyLanguage(langRG->ItemIndex()); }

// The language switch: one language's texts from the table into the eleven controls that show
// them. The window caption, the radio items, the series choice, the host addresses, the typed TV
// address and the progress bar are the same in both languages and stay as they are.
void TmainForm::ApplyLanguage(int lang) {
    // Nothing selected (or any index but the two languages) would read outside the table: then
    // nothing changes.
    if (lang != LanguageIndex(lang)) return;
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

void TmainForm::BitInstallClick(TObject* /*Sender*/) {
    // The window answers input during every command; a press of Install meanwhile is dropped.
    if (installing_) return;
    struct Busy {
        bool& flag;
        explicit Busy(bool& f) : flag(f) { flag = true; }
        ~Busy() { flag = false; }
    } busy(installing_);
    InstallFromWindow({tvIpEdt, tvSeriesRG, langRG, statusLbl, installPB},
                      {widgetName, appId, {tvTmpDir[0], tvTmpDir[1]}});
}
