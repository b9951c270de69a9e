// The installer's one window: its controls, its fixed widget data and its event handlers. Each
// handler gathers what the window holds and calls one function of a feature folder: texts/
// (language), net/ (host addresses), install/ (the installation).
#pragma once

#include "Forms.h"

class TmainForm : public TForm {
public:
    static constexpr const wchar_t* ClassName = L"TmainForm";

    // Published controls, created from the form description.
    TRadioGroup* langRG = nullptr;
    TBitBtn* BitInstall = nullptr;
    TProgressBar* installPB = nullptr;
    TLabel* ipValLBL = nullptr;
    TButton* refreshIpBTN = nullptr;
    TEdit* tvIpEdt = nullptr;
    TGroupBox* ipGB = nullptr;
    TLabel* ipNoteLbl = nullptr;
    TGroupBox* installGB = nullptr;
    TRadioGroup* tvSeriesRG = nullptr;
    TLabel* tvIpLbl = nullptr;
    TLabel* statusLbl = nullptr;
    TGroupBox* instManualGB = nullptr;
    TLabel* manualLbl = nullptr;

    // Published handlers.
    void BitInstallClick(TObject* Sender);
    void FormCreate(TObject* Sender);
    void refreshIpBTNClick(TObject* Sender);
    void tvIpEdtKeyPress(TObject* Sender, wchar_t& Key);
    void langRGClick(TObject* Sender);

    // Sets the eleven language-dependent texts for language index 0 (Russian) or 1 (English).
    void ApplyLanguage(int lang);

    explicit TmainForm(TComponent* Owner);
    // Builds the window from description text instead of the TMAINFORM resource (tests).
    TmainForm(TComponent* Owner, const std::string& descriptionUtf8);
    ~TmainForm() override;

    // Fixed data of the widget, set by the constructor and never changed.
    UnicodeString widgetName;
    UnicodeString appId;
    UnicodeString tvTmpDir[2];

private:
    TPublished Published();
    void SetOwnFields();
    bool installing_ = false;  // a run is in progress: a further press of Install is ignored
};

extern TmainForm* mainForm;
