// The text table against the expected texts, letter for letter, in both languages.
#include <gtest/gtest.h>

#include <cwctype>
#include <iterator>
#include <string>

#include "ExpectedTexts.h"
#include "UnicodeString.h"
#include "texts/Func.h"

namespace {

using Entry = UnicodeString (TextTable::*)[2];

struct NamedEntry {
    const char* name;
    Entry entry;
};

// Member order of the table.
const NamedEntry kEntries[] = {
    {"InstallingText", &TextTable::InstallingText},
    {"LanguageCaption", &TextTable::LanguageCaption},
    {"HostAddressCaption", &TextTable::HostAddressCaption},
    {"HostAddressNote", &TextTable::HostAddressNote},
    {"RefreshCaption", &TextTable::RefreshCaption},
    {"SeriesCaption", &TextTable::SeriesCaption},
    {"InstallButtonCaption", &TextTable::InstallButtonCaption},
    {"TvAddressCaption", &TextTable::TvAddressCaption},
    {"InstallGroupCaption", &TextTable::InstallGroupCaption},
    {"PromptText", &TextTable::PromptText},
    {"DoneText", &TextTable::DoneText},
    {"FailedText", &TextTable::FailedText},
    {"BadAddressText", &TextTable::BadAddressText},
    {"FileInUseText", &TextTable::FileInUseText},
    {"BadAddressHintText", &TextTable::BadAddressHintText},
    {"WhyTurnedAwayText", &TextTable::WhyTurnedAwayText},
    {"WhyNoAnswerText", &TextTable::WhyNoAnswerText},
    {"WhyWrongSeriesText", &TextTable::WhyWrongSeriesText},
    {"WhyCertificateText", &TextTable::WhyCertificateText},
    {"WhyNotYetValidText", &TextTable::WhyNotYetValidText},
    {"WhyOtherAuthorText", &TextTable::WhyOtherAuthorText},
    {"WhyDamagedText", &TextTable::WhyDamagedText},
    {"WhyRefusedText", &TextTable::WhyRefusedText},
    {"WhyNoSpaceText", &TextTable::WhyNoSpaceText},
    {"WhyDroppedText", &TextTable::WhyDroppedText},
    {"WhyStoppedText", &TextTable::WhyStoppedText},
    {"WhyNotRunText", &TextTable::WhyNotRunText},
    {"WhyFolderText", &TextTable::WhyFolderText},
    {"WhyUnknownText", &TextTable::WhyUnknownText},
    {"WhyDevModeOffText", &TextTable::WhyDevModeOffText},
    {"WhyNotATvText", &TextTable::WhyNotATvText},
    {"WhyHostIpOtherText", &TextTable::WhyHostIpOtherText},
    {"WhyHostIpReversedText", &TextTable::WhyHostIpReversedText},
    {"WhyDevModeInactiveText", &TextTable::WhyDevModeInactiveText},
    {"SearchingText", &TextTable::SearchingText},
    {"SearchNoneText", &TextTable::SearchNoneText},
    {"NothingAtText", &TextTable::NothingAtText},
    {"FoundTvText", &TextTable::FoundTvText},
    {"TvAndModelText", &TextTable::TvAndModelText},
    {"InstallThereText", &TextTable::InstallThereText},
    {"FoundSeveralText", &TextTable::FoundSeveralText},
    {"ForThisPcText", &TextTable::ForThisPcText},
    {"ForOtherPcText", &TextTable::ForOtherPcText},
    {"DevModeOffStateText", &TextTable::DevModeOffStateText},
    {"YesCaption", &TextTable::YesCaption},
    {"NoCaption", &TextTable::NoCaption},
    {"StageConnectingText", &TextTable::StageConnectingText},
    {"StageRemovingText", &TextTable::StageRemovingText},
    {"StageCopyingText", &TextTable::StageCopyingText},
    {"StageInstallingText", &TextTable::StageInstallingText},
    {"TvSaidText", &TextTable::TvSaidText},
    {"TvModelText", &TextTable::TvModelText},
    {"OrText", &TextTable::OrText},
    {"ManualCaption", &TextTable::ManualCaption},
    {"ManualText", &TextTable::ManualText},
};

TEST(TextTable, EveryEntryIsTheExpectedTextInBothLanguages) {
    const TextTable table;
    EXPECT_EQ(sizeof(TextTable), std::size(kEntries) * 2 * sizeof(UnicodeString));
    for (const auto& e : kEntries) {
        for (int lang : {0, 1}) EXPECT_TRUE(expected::Shows((table.*e.entry)[lang].str(), e.name, lang));
    }
}

// The expected file is typed by hand; what is known of its texts apart from it guards it
// against a slip in an edit: the manuals' lengths, plain ASCII in English, and no Russian word
// that mixes Cyrillic and Latin letters.
TEST(ExpectedTexts, ManualLengthsAndScriptsAreRight) {
    EXPECT_EQ(expected::Text("ManualText", 0).size(), 1308u);
    EXPECT_EQ(expected::Text("ManualText", 1).size(), 1403u);
    for (const auto& e : kEntries) {
        for (wchar_t c : expected::Text(e.name, 1)) EXPECT_LT(static_cast<unsigned>(c), 0x80u) << e.name;
        int scripts = 0;  // bit 1: Cyrillic, bit 2: Latin, in the word so far
        for (wchar_t c : expected::Text(e.name, 0) + L" ") {
            const int script = (c >= 0x400 && c <= 0x4FF) ? 1 : (std::iswalpha(c) && c < 0x80) ? 2 : 0;
            EXPECT_NE(scripts |= script, 3) << e.name;
            if (!script) scripts = 0;
        }
    }
}

}  // namespace
