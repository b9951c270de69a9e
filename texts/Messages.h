// The texts the program says beyond the window's own fifteen (texts/Func.h): one table of rows
// (name, Russian, English), and the one filler of placeholders that these texts and the command
// rows share. A placeholder is "%" and a name of letters and digits: "%1", "%2" in these texts,
// "%address" in a command row.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "UnicodeString.h"

// The rows' names, in the table's order.
enum class Msg {
    // A payload cannot be written, the address typed cannot be used.
    FileInUseText,       // %1: the file's name
    BadAddressHintText,  // after BadAddressText: what to type
    // The box after a failed run, one per cause: what happened (line 1), then the one thing to do (line 2).
    WhyTurnedAwayText,  // %1: this PC's addresses
    WhyNoAnswerText,    // %1: the TV's address
    WhyWrongSeriesText,
    WhyCertificateText,
    WhyNotYetValidText,
    WhyOtherAuthorText,
    WhyDamagedText,
    WhyRefusedText,
    WhyNoSpaceText,
    WhyDroppedText,
    WhyStoppedText,  // %1: the step
    WhyNotRunText,
    WhyFolderText,
    WhyUnknownText,
    // Causes only the TV's own answers tell.
    WhyDevModeOffText,      // %1: this PC's addresses
    WhyNotATvText,          // %1: the TV's address
    WhyHostIpOtherText,     // %1: the Host PC IP the TV holds, %2: this PC's addresses
    WhyHostIpReversedText,  // %1: the Host PC IP the TV holds, %2: this PC's address backwards
    WhyDevModeInactiveText,
    // The step at which the TV stopped answering, as WhyStoppedText names it.
    StageConnectingText,
    StageRemovingText,
    StageCopyingText,
    StageInstallingText,
    // What the box adds after the cause, and how it joins this PC's addresses.
    TvSaidText,
    TvModelText,  // %1: the model
    OrText,
    // The search for the TV on this PC's networks.
    SearchingText,     // status line while it searches
    SearchNoneText,    // after BadAddressText when the field was empty
    NothingAtText,     // %1: the typed address
    FoundTvText,       // %1: its address, %2: what it is
    TvAndModelText,    // %1: its name, %2: its model
    InstallThereText,  // the question after FoundTvText
    FoundSeveralText,  // then one line for each TV
    ForThisPcText,     // the state in such a line
    ForOtherPcText,    // %1: the Host PC IP it holds
    DevModeOffStateText,
    YesCaption,  // the buttons of a question box
    NoCaption,
    Count  // not a text: how many there are
};

struct MessageRow {
    Msg name;
    const wchar_t* ru;
    const wchar_t* en;
};

// Every row, indexed by its name.
extern const MessageRow kMessages[static_cast<int>(Msg::Count)];

struct Placeholder {
    std::wstring_view name;  // without its "%"
    std::wstring_view value;
};

// `pattern` with each known placeholder replaced by its value, in one pass: a value is never
// read again, so a TV's text that holds "%2" stays as it is. An unknown name, or a "%" not
// followed by a name, stays as written.
std::wstring FillPlaceholders(std::wstring_view pattern, std::span<const Placeholder> values);
inline std::wstring FillPlaceholders(std::wstring_view pattern, std::initializer_list<Placeholder> values) {
    return FillPlaceholders(pattern, std::span<const Placeholder>(values.begin(), values.size()));
}

// Row `name` in language `lang` (texts/Func.h, LanguageIndex), with "%1", "%2", ... filled from
// `values` in order.
UnicodeString Say(Msg name, int lang, std::initializer_list<std::wstring_view> values = {});
