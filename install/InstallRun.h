// One run of the eleven commands at one address, from writing the payloads to removing them, and
// the record of what each command left behind. Windows build only.
#pragma once

#include "Diagnosis.h"
#include "Forms.h"
#include "UnicodeString.h"

// The window's controls an installation reads and moves, borrowed for its length. The language
// and the series are read each time they are needed: the user may switch either during a run.
struct InstallControls {
    TEdit* address;  // the typed TV address; a TV the search found and the user chose goes here
    const TRadioGroup* series;
    const TRadioGroup* language;
    TLabel* status;
    TProgressBar* bar;
};

// The widget's fixed data, as the window holds it.
struct WidgetData {
    UnicodeString name;
    UnicodeString appId;
    UnicodeString stagingDirs[2];  // by series index
};

// Writes the payloads into the current folder, shows the installing status, runs the commands
// at `address` within their bounds (the window answering meanwhile), moves the bar, removes the
// payloads and returns the run's record: whether the payloads were written, and each command's
// log as this run wrote it, its part of the error stream, started, stopped. A payload that
// cannot be written ends the run before status and bar change; one in use by another program
// raises EFCreateError with the text that says so in the window's language.
RunRecord RunInstallSteps(const UnicodeString& address, const InstallControls& window,
                          const WidgetData& widget);
