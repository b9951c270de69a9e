// Unit Func: the text table. The texts of the window that change with the language, and the
// status lines and the bad-address box of the installation, in Russian (index 0) and English
// (index 1); every other text the program says is a row of texts/Messages.h.
// Readers index an entry by the selected item of the language group, read when the text is needed.
#pragma once

#include "UnicodeString.h"

inline constexpr int kRussian = 0;
inline constexpr int kEnglish = 1;

// The language of the language group's selected item: 1 is English, anything else (nothing
// selected) reads as Russian, the default.
constexpr int LanguageIndex(int itemIndex) noexcept { return itemIndex == kEnglish ? kEnglish : kRussian; }

class TextTable {
public:
    // Builds every entry; nothing writes an entry afterwards.
    TextTable();

    UnicodeString InstallingText[2];        // status line while an installation runs
    UnicodeString LanguageCaption[2];       // langRG
    UnicodeString HostAddressCaption[2];    // ipGB
    UnicodeString HostAddressNote[2];       // ipNoteLbl
    UnicodeString RefreshCaption[2];        // refreshIpBTN
    UnicodeString SeriesCaption[2];         // tvSeriesRG
    UnicodeString InstallButtonCaption[2];  // BitInstall
    UnicodeString TvAddressCaption[2];      // tvIpLbl
    UnicodeString InstallGroupCaption[2];   // installGB
    UnicodeString PromptText[2];            // statusLbl after every language switch
    UnicodeString DoneText[2];              // status line once an installation has ended
    UnicodeString FailedText[2];            // status line once an installation has failed
    UnicodeString BadAddressText[2];        // message box for an unusable TV address
    UnicodeString ManualCaption[2];         // instManualGB
    UnicodeString ManualText[2];            // manualLbl: eighteen lines
};

// The single table, created by the main-window unit before the entry point runs and never freed.
extern TextTable* textTable;
