// The expected texts (tests/expected-texts.txt) and the one comparison every text test uses:
// equal, or a failure that says where the first difference is and which two characters differ,
// so a look-alike letter from another script cannot hide. Host and window tests share it.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>

#include "UnicodeString.h"

namespace expected {

// name + "/" + language (0 Russian, 1 English) -> text.
inline std::map<std::string, std::wstring> ReadFile() {
    std::string path = KAVORIN_EXPECTED_TEXTS;
#ifdef _WIN32
    path = "Z:" + path;  // the source tree, through Wine's view of the Unix root
#endif
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("cannot read " + path);
    std::map<std::string, std::wstring> texts;
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') continue;
        const size_t blank1 = line.find(' '), blank2 = line.find(' ', blank1 + 1);
        const size_t open = line.find('"'), close = line.rfind('"');
        if (blank2 == std::string::npos || open != blank2 + 1 || close == open)
            throw std::runtime_error("malformed line in " + path + ": " + line);
        const std::string name = line.substr(0, blank1), lang = line.substr(blank1 + 1, blank2 - blank1 - 1);
        const std::wstring text = FromUtf8(line.substr(open + 1, close - open - 1));
        for (int index : {0, 1}) {
            if (lang != "*" && lang != (index == 0 ? "ru" : "en")) continue;
            texts[name + "/" + std::to_string(index)] = text;
            // "ManualText.01", "ManualText.02", ...: the lines of "ManualText".
            const size_t dot = name.find('.');
            if (dot == std::string::npos) continue;
            std::wstring& whole = texts[name.substr(0, dot) + "/" + std::to_string(index)];
            whole += (whole.empty() ? L"" : L"\n") + text;
        }
    }
    return texts;
}

// The text entry `name` must show in language `lang`.
inline const std::wstring& Text(const std::string& name, int lang) {
    static const std::map<std::string, std::wstring> texts = ReadFile();
    const auto found = texts.find(name + "/" + std::to_string(lang));
    if (found == texts.end()) throw std::runtime_error("no expected text " + name);
    return found->second;
}

inline std::string Describe(const std::wstring& text, size_t at) {
    if (at >= text.size()) return "the end of the text";
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(text[at]));
    return std::string(code) + " '" + ToUtf8(text.substr(at, 1)) + "'";
}

// Passes when `shown` is entry `name` in language `lang`, letter for letter.
inline ::testing::AssertionResult Shows(const std::wstring& shown, const std::string& name, int lang) {
    const std::wstring& want = Text(name, lang);
    size_t at = 0;
    while (at < shown.size() && at < want.size() && shown[at] == want[at]) ++at;
    if (at == shown.size() && at == want.size()) return ::testing::AssertionSuccess();
    size_t line = 1, column = 1, lineStart = 0;
    for (size_t i = 0; i < at; ++i) {
        if (want[i] == L'\n') { ++line; column = 1; lineStart = i + 1; } else { ++column; }
    }
    const std::wstring shownLine = shown.substr(lineStart, shown.find(L'\n', lineStart) - lineStart);
    return ::testing::AssertionFailure()
           << name << " in " << (lang == 0 ? "Russian" : "English") << ": line " << line
           << ", character " << column << " shows " << Describe(shown, at) << " where "
           << Describe(want, at) << " is expected; the line shows \"" << ToUtf8(shownLine) << "\"";
}

}  // namespace expected
