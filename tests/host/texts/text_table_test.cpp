// The text table against the expected texts, letter for letter, in both languages.
#include <gtest/gtest.h>

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
    {"ManualCaption", &TextTable::ManualCaption},
    {"ManualText", &TextTable::ManualText},
};

bool IsCyrillic(wchar_t c) { return c >= 0x400 && c <= 0x4FF; }
bool IsLatin(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

TEST(TextTable, EveryEntryIsTheExpectedTextInBothLanguages) {
    const TextTable table;
    EXPECT_EQ(sizeof(TextTable), std::size(kEntries) * 2 * sizeof(UnicodeString));
    for (const auto& e : kEntries) {
        for (int lang : {0, 1}) EXPECT_TRUE(expected::Shows((table.*e.entry)[lang].str(), e.name, lang));
    }
}

// The expected file is typed by hand; these facts about it are known independently of it, so a
// slip in an edit of the file (a stray Latin letter, a lost blank) shows here.
TEST(ExpectedTexts, ManualLengthsAndScriptsAreRight) {
    EXPECT_EQ(expected::Text("ManualText", 0).size(), 1308u);
    EXPECT_EQ(expected::Text("ManualText", 1).size(), 1403u);
    for (const auto& e : kEntries) {
        SCOPED_TRACE(e.name);
        for (wchar_t c : expected::Text(e.name, 1)) EXPECT_LT(static_cast<unsigned>(c), 0x80u);
        // No Russian word mixes Cyrillic and Latin letters.
        const std::wstring& ru = expected::Text(e.name, 0);
        bool cyrillic = false, latin = false;
        for (size_t i = 0; i <= ru.size(); ++i) {
            const wchar_t c = i < ru.size() ? ru[i] : L' ';
            if (IsCyrillic(c) || IsLatin(c)) {
                cyrillic = cyrillic || IsCyrillic(c);
                latin = latin || IsLatin(c);
                continue;
            }
            EXPECT_FALSE(cyrillic && latin) << "a word before character " << i + 1;
            cyrillic = latin = false;
        }
    }
}

}  // namespace
