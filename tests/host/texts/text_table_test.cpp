// The text table against the expected texts, letter for letter, in both languages.
#include <gtest/gtest.h>

#include <cwctype>
#include <iterator>
#include <string>

#include "ExpectedTexts.h"
#include "UnicodeString.h"
#include "texts/Func.h"
#include "texts/Messages.h"

namespace {

using Entry = UnicodeString (TextTable::*)[2];

// A text by the name the expected file gives it: an entry of the window's table, or (entry
// null) a row of the program's other texts.
struct NamedEntry {
    const char* name;
    Entry entry;
    Msg msg = Msg::Count;
};

// Member order of the window's table, then the order of the other texts' rows.
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
    {"ManualCaption", &TextTable::ManualCaption},
    {"ManualText", &TextTable::ManualText},
    {"FileInUseText", nullptr, Msg::FileInUseText},
    {"BadAddressHintText", nullptr, Msg::BadAddressHintText},
    {"WhyTurnedAwayText", nullptr, Msg::WhyTurnedAwayText},
    {"WhyNoAnswerText", nullptr, Msg::WhyNoAnswerText},
    {"WhyWrongSeriesText", nullptr, Msg::WhyWrongSeriesText},
    {"WhyCertificateText", nullptr, Msg::WhyCertificateText},
    {"WhyNotYetValidText", nullptr, Msg::WhyNotYetValidText},
    {"WhyOtherAuthorText", nullptr, Msg::WhyOtherAuthorText},
    {"WhyDamagedText", nullptr, Msg::WhyDamagedText},
    {"WhyRefusedText", nullptr, Msg::WhyRefusedText},
    {"WhyNoSpaceText", nullptr, Msg::WhyNoSpaceText},
    {"WhyDroppedText", nullptr, Msg::WhyDroppedText},
    {"WhyStoppedText", nullptr, Msg::WhyStoppedText},
    {"WhyNotRunText", nullptr, Msg::WhyNotRunText},
    {"WhyFolderText", nullptr, Msg::WhyFolderText},
    {"WhyUnknownText", nullptr, Msg::WhyUnknownText},
    {"WhyDevModeOffText", nullptr, Msg::WhyDevModeOffText},
    {"WhyNotATvText", nullptr, Msg::WhyNotATvText},
    {"WhyHostIpOtherText", nullptr, Msg::WhyHostIpOtherText},
    {"WhyHostIpReversedText", nullptr, Msg::WhyHostIpReversedText},
    {"WhyDevModeInactiveText", nullptr, Msg::WhyDevModeInactiveText},
    {"StageConnectingText", nullptr, Msg::StageConnectingText},
    {"StageRemovingText", nullptr, Msg::StageRemovingText},
    {"StageCopyingText", nullptr, Msg::StageCopyingText},
    {"StageInstallingText", nullptr, Msg::StageInstallingText},
    {"TvSaidText", nullptr, Msg::TvSaidText},
    {"TvModelText", nullptr, Msg::TvModelText},
    {"OrText", nullptr, Msg::OrText},
    {"SearchingText", nullptr, Msg::SearchingText},
    {"SearchNoneText", nullptr, Msg::SearchNoneText},
    {"NothingAtText", nullptr, Msg::NothingAtText},
    {"FoundTvText", nullptr, Msg::FoundTvText},
    {"TvAndModelText", nullptr, Msg::TvAndModelText},
    {"InstallThereText", nullptr, Msg::InstallThereText},
    {"FoundSeveralText", nullptr, Msg::FoundSeveralText},
    {"ForThisPcText", nullptr, Msg::ForThisPcText},
    {"ForOtherPcText", nullptr, Msg::ForOtherPcText},
    {"DevModeOffStateText", nullptr, Msg::DevModeOffStateText},
    {"YesCaption", nullptr, Msg::YesCaption},
    {"NoCaption", nullptr, Msg::NoCaption},
};
constexpr size_t kWindowEntries = 15;

std::wstring TextOf(const TextTable& table, const NamedEntry& e, int lang) {
    return e.entry ? (table.*e.entry)[lang].str() : Say(e.msg, lang).str();
}

TEST(TextTable, EveryEntryIsTheExpectedTextInBothLanguages) {
    const TextTable table;
    EXPECT_EQ(sizeof(TextTable), kWindowEntries * 2 * sizeof(UnicodeString));
    EXPECT_EQ(std::size(kEntries), kWindowEntries + static_cast<size_t>(Msg::Count));
    for (const auto& e : kEntries) {
        for (int lang : {0, 1}) EXPECT_TRUE(expected::Shows(TextOf(table, e, lang), e.name, lang));
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

// One filler for the texts ("%1") and the command rows ("%address"): each placeholder once, in
// one pass, so a value that holds a placeholder of its own (a TV's text) is never filled again.
TEST(Placeholders, FilledInOnePassByName) {
    EXPECT_EQ(FillPlaceholders(L"connect %address:%port", {{L"address", L"10.0.0.2"}, {L"port", L"26101"}}),
              L"connect 10.0.0.2:26101");
    EXPECT_EQ(FillPlaceholders(L"%1 and %2.", {{L"1", L"%2"}, {L"2", L"b"}}), L"%2 and b.");
    EXPECT_EQ(FillPlaceholders(L"100% %x %", {{L"1", L"a"}}), L"100% %x %");
    EXPECT_EQ(Say(Msg::TvAndModelText, 1, {L"%2", L"UE43"}).str(), L"%2, model UE43");
}
