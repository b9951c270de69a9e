#include "Mainwin.h"

#include "KeyFilter.h"
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
    widgetName = L"KAVORIN";
    appId = L"Qw7TzLp2Xe.KAVORIN";
    tvTmpDir[0] = L"/opt/usr/apps/tmp";
    tvTmpDir[1] = L"/home/owner/share/tmp/sdk_tools/tmp";
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
