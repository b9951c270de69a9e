// Unit Func: the text table. Every text of the window that changes with the language, and every
// status line and message of the installation, in Russian (index 0) and English (index 1).
// Readers index an entry by the selected item of the language group, read when the text is needed.
#pragma once

#include "UnicodeString.h"

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
    UnicodeString FailedText[2];            // kept for a failed installation
    UnicodeString BadAddressText[2];        // message box for an unusable TV address
    UnicodeString FileInUseText[2];         // error box: a payload file in use (%1: its name)
    UnicodeString BadAddressHintText[2];    // second line of the bad-address box: what to type
    // The box after a failed run, one entry per cause: what happened (line 1), then the one thing
    // to do (line 2); %1 is the address the remedy names.
    UnicodeString WhyTurnedAwayText[2];
    UnicodeString WhyNoAnswerText[2];
    UnicodeString WhyWrongSeriesText[2];
    UnicodeString WhyCertificateText[2];
    UnicodeString WhyNotYetValidText[2];
    UnicodeString WhyOtherAuthorText[2];
    UnicodeString WhyDamagedText[2];
    UnicodeString WhyRefusedText[2];
    UnicodeString WhyNoSpaceText[2];
    UnicodeString WhyDroppedText[2];
    UnicodeString WhyStoppedText[2];  // %1: the step, one of the four below
    UnicodeString WhyNotRunText[2];
    UnicodeString WhyFolderText[2];
    UnicodeString WhyUnknownText[2];
    // After asking the TV itself (%1, %2: the addresses the remedy names).
    UnicodeString WhyDevModeOffText[2];
    UnicodeString WhyNotATvText[2];
    UnicodeString WhyHostIpOtherText[2];
    UnicodeString WhyHostIpReversedText[2];
    UnicodeString WhyDevModeInactiveText[2];
    // The search for the TV on this PC's networks (address field empty, or nothing answers at
    // the typed address). %1, %2: the addresses and names the text gives.
    UnicodeString SearchingText[2];     // status line while it searches
    UnicodeString SearchNoneText[2];    // empty field, no TV: the line after BadAddressText
    UnicodeString NothingAtText[2];     // nothing answers at the typed address %1
    UnicodeString FoundTvText[2];       // one TV: its address %1 and what it is %2
    UnicodeString TvAndModelText[2];    // what it is: name %1 and model %2
    UnicodeString InstallThereText[2];  // the question after FoundTvText
    UnicodeString FoundSeveralText[2];  // several TVs: what to do, then one line each
    UnicodeString ForThisPcText[2];     // a line's state: developer mode on for this PC
    UnicodeString ForOtherPcText[2];    // on, for another PC (%1: the Host PC IP it holds)
    UnicodeString DevModeOffStateText[2];
    UnicodeString YesCaption[2];  // the buttons of a question box
    UnicodeString NoCaption[2];
    // The step at which the TV stopped answering, as WhyStoppedText names it.
    UnicodeString StageConnectingText[2];
    UnicodeString StageRemovingText[2];
    UnicodeString StageCopyingText[2];
    UnicodeString StageInstallingText[2];
    UnicodeString TvSaidText[2];     // diagnosis box: before the TV's own line
    UnicodeString TvModelText[2];    // diagnosis box: the model the TV named
    UnicodeString OrText[2];         // joins several addresses of this PC
    UnicodeString ManualCaption[2];  // instManualGB
    UnicodeString ManualText[2];     // manualLbl: eighteen lines
};

// The single table, created by the main-window unit before the entry point runs and never freed.
extern TextTable* textTable;
