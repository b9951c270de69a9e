#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "UnicodeString.h"
#include "texts/Func.h"

namespace {

using Entry = UnicodeString (TextTable::*)[2];

struct NamedEntry {
    const char* name;
    Entry entry;
    int lengthRu;
    int lengthEn;
};

// Member order of the table, with the length of each text.
const NamedEntry kEntries[] = {
    {"InstallingText", &TextTable::InstallingText, 29, 31},
    {"LanguageCaption", &TextTable::LanguageCaption, 4, 8},
    {"HostAddressCaption", &TextTable::HostAddressCaption, 11, 13},
    {"HostAddressNote", &TextTable::HostAddressNote, 100, 93},
    {"RefreshCaption", &TextTable::RefreshCaption, 11, 10},
    {"SeriesCaption", &TextTable::SeriesCaption, 8, 9},
    {"InstallButtonCaption", &TextTable::InstallButtonCaption, 17, 14},
    {"TvAddressCaption", &TextTable::TvAddressCaption, 19, 13},
    {"InstallGroupCaption", &TextTable::InstallGroupCaption, 17, 19},
    {"PromptText", &TextTable::PromptText, 69, 66},
    {"DoneText", &TextTable::DoneText, 75, 82},
    {"FailedText", &TextTable::FailedText, 63, 67},
    {"BadAddressText", &TextTable::BadAddressText, 48, 49},
    {"FileInUseText", &TextTable::FileInUseText, 104, 118},
    {"ManualCaption", &TextTable::ManualCaption, 23, 19},
    {"ManualText", &TextTable::ManualText, 1308, 1403},
};

// Expected texts are written here as UTF-8 bytes and decoded, a second path that does not
// depend on how the compiler encodes wide literals.
UnicodeString U8(std::string_view utf8) { return FromUtf8(utf8); }

std::vector<std::wstring> SplitLines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(L'\n', start);
        lines.push_back(text.substr(start, end == std::wstring::npos ? end : end - start));
        if (end == std::wstring::npos) return lines;
        start = end + 1;
    }
}

class TextTableTest : public ::testing::Test {
protected:
    TextTable table;
};

TEST_F(TextTableTest, HasSixteenEntriesOfTwoLanguages) {
    EXPECT_EQ(sizeof(TextTable), std::size(kEntries) * 2 * sizeof(UnicodeString));
    for (const auto& e : kEntries) {
        SCOPED_TRACE(e.name);
        EXPECT_EQ((table.*e.entry)[0].Length(), e.lengthRu);
        EXPECT_EQ((table.*e.entry)[1].Length(), e.lengthEn);
    }
}

TEST_F(TextTableTest, EnglishIsAsciiRussianIsCyrillicOnly) {
    for (const auto& e : kEntries) {
        SCOPED_TRACE(e.name);
        for (wchar_t c : (table.*e.entry)[1].str()) {
            EXPECT_LT(static_cast<unsigned>(c), 0x80u) << "non-ASCII code " << static_cast<unsigned>(c);
        }
        // Mis-decoded source would show up as Latin-1 or replacement characters here.
        bool cyrillic = false;
        for (wchar_t c : (table.*e.entry)[0].str()) {
            const auto code = static_cast<unsigned>(c);
            EXPECT_TRUE(code < 0x80u || (code >= 0x400u && code <= 0x4FFu)) << "code " << code;
            cyrillic = cyrillic || code >= 0x400u;
        }
        EXPECT_TRUE(cyrillic);
        EXPECT_EQ((table.*e.entry)[0].str().find(L'\r'), std::wstring::npos);
        EXPECT_EQ((table.*e.entry)[1].str().find(L'\r'), std::wstring::npos);
    }
}

TEST_F(TextTableTest, ExactTexts) {
    EXPECT_EQ(table.LanguageCaption[0], U8("Язык"));
    // The frame title has no colon, unlike the form's design text.
    EXPECT_EQ(table.HostAddressCaption[0], U8("IP Адрес ПК"));
    EXPECT_EQ(table.HostAddressCaption[1], L"IP Address PC");
    EXPECT_EQ(table.TvAddressCaption[0], U8("IP Адрес телевизора"));
    EXPECT_EQ(table.InstallGroupCaption[0], U8("Установка Виджета"));
    EXPECT_EQ(table.BadAddressText[0], U8("IP Адрес ТВ не задан или имеет не верный формат."));
    EXPECT_EQ(table.BadAddressText[1], L"IP Address TV is not set or has the wrong format.");
    EXPECT_EQ(table.DoneText[0],
              U8("Процесс установки завершен. Проверьте наличие виджета в SmartHub Вашего ТВ."));
    EXPECT_EQ(table.FailedText[1],
              L"There were errors while installing the widget. Installation failed.");
    // The file's name goes where %1 stands, once, in both languages.
    for (int lang : {0, 1}) {
        const std::wstring& text = table.FileInUseText[lang].str();
        EXPECT_NE(text.find(L"\"%1\""), std::wstring::npos);
        EXPECT_EQ(text.find(L"%1"), text.rfind(L"%1"));
    }
    EXPECT_EQ(table.HostAddressNote[0],
              U8("* Если отображается более одного IP адреса - используйте тот который "
                 "расположен в одной подсети с ТВ"));
}

TEST_F(TextTableTest, PromptNamesTheButtonOtherThanItsCaption) {
    EXPECT_EQ(table.InstallButtonCaption[0], U8("Установить Виджет"));
    EXPECT_EQ(table.InstallButtonCaption[1], L"Widget Install");
    EXPECT_EQ(table.PromptText[0],
              U8("Введите IP вашего ТВ, Выберите его серию, Нажмите \"Установить виджет\""));
    EXPECT_EQ(table.PromptText[1],
              L"Enter the IP of your TV, Select its series, Click \"Install Widget\"");
    for (int lang : {0, 1}) {
        EXPECT_EQ(table.PromptText[lang].str().find(table.InstallButtonCaption[lang].str()),
                  std::wstring::npos);
    }
}

TEST_F(TextTableTest, ManualsHaveEighteenMatchingLines) {
    for (int lang : {0, 1}) {
        SCOPED_TRACE(lang);
        const std::wstring& text = table.ManualText[lang].str();
        ASSERT_FALSE(text.empty());
        EXPECT_NE(text.back(), L'\n');
        const auto lines = SplitLines(text);
        ASSERT_EQ(lines.size(), 18u);
        for (size_t i = 0; i < lines.size(); ++i) {
            SCOPED_TRACE(i + 1);
            // Lines 1, 9, 13 and 18 open a section ("1." ... "4."); the rest are indented.
            const bool section = i == 0 || i == 8 || i == 12 || i == 17;
            ASSERT_GE(lines[i].size(), 3u);
            if (section) {
                EXPECT_TRUE(lines[i][0] >= L'1' && lines[i][0] <= L'4' && lines[i][1] == L'.');
            } else {
                EXPECT_EQ(lines[i].substr(0, 2), L"  ");
                EXPECT_NE(lines[i][2], L' ');
            }
            // Only line 3 ends with a blank.
            EXPECT_EQ(lines[i].back() == L' ', i == 2);
        }
        EXPECT_EQ(lines[2].substr(lines[2].size() - 22), L"\"Developer Mode\"=\"ON\" ");
    }
}

TEST_F(TextTableTest, ManualOkIsCyrillicInRussianLatinInEnglish) {
    const auto ru = SplitLines(table.ManualText[0].str());
    const auto en = SplitLines(table.ManualText[1].str());
    ASSERT_EQ(ru.size(), 18u);
    ASSERT_EQ(en.size(), 18u);
    EXPECT_EQ(UnicodeString(ru[4]), U8("  1.4. Выбрать и нажать экранную кнопку ОК."));
    EXPECT_NE(ru[4].find(L"\u041E\u041A."), std::wstring::npos);  // Cyrillic O, Ka
    EXPECT_EQ(ru[4].find(L"OK"), std::wstring::npos);
    EXPECT_EQ(en[4], L"  1.4. Select and click screen-button OK.");
}

TEST_F(TextTableTest, ManualFirstAndLastLines) {
    const auto ru = SplitLines(table.ManualText[0].str());
    const auto en = SplitLines(table.ManualText[1].str());
    ASSERT_EQ(ru.size(), 18u);
    ASSERT_EQ(en.size(), 18u);
    EXPECT_EQ(UnicodeString(ru[0]), U8("1. Включить режим разработчика в ТВ:"));
    EXPECT_EQ(en[0], L"1. Enable developer mode in TV:");
    EXPECT_EQ(UnicodeString(ru[14]),
              U8("  3.2. Кликнуть по кнопке \"Установить Виджет\" и дождаться окончания процесса "
                 "установки"));
    EXPECT_EQ(en[17],
              L"4. If the installation was not successful: restart your PC and TV, disabled the "
              L"firewall and the antivirus blocking the network connection, check all the "
              L"parameters again and try the installation again.");
}

}  // namespace
