// The expected texts (tests/expected-texts.txt) and the one comparison every text test uses:
// equal, or a failure that says where the first difference is and which two characters differ,
// by code, so a look-alike letter from another script cannot hide. Host and window tests share it.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>

#include "UnicodeString.h"

namespace expected {

#ifdef _WIN32
inline constexpr const char* kRoot = "Z:";  // the source tree, as Wine shows the Unix root
#else
inline constexpr const char* kRoot = "";
#endif

// Entry `name` in language `lang` (0 Russian, 1 English). Entries "<name>.01", "<name>.02", ...
// are also joined with line feeds into "<name>".
inline const std::wstring& Text(const std::string& name, int lang) {
    static const auto texts = [] {
        std::map<std::string, std::wstring> read;
        std::ifstream file(kRoot + std::string(KAVORIN_EXPECTED_TEXTS), std::ios::binary);
        for (std::string line; std::getline(file, line);) {
            const size_t blank = line.find(' '), open = line.find('"'), close = line.rfind('"');
            if (line.empty() || line[0] == '#' || close == open) continue;
            const std::string entry = line.substr(0, blank), langs = line.substr(blank + 1, open - blank - 2);
            for (const char* key : {"ru", "en"}) {
                if (langs != key && langs != "*") continue;
                const std::string suffix = key[0] == 'r' ? "/0" : "/1";
                const std::wstring text = FromUtf8(line.substr(open + 1, close - open - 1));
                read[entry + suffix] = text;
                std::wstring& whole = read[entry.substr(0, entry.find('.')) + suffix];
                if (entry.find('.') != std::string::npos) whole += (whole.empty() ? L"" : L"\n") + text;
            }
        }
        return read;
    }();
    const auto found = texts.find(name + "/" + std::to_string(lang));
    if (found == texts.end())
        throw std::runtime_error("no expected text " + name + " in " + KAVORIN_EXPECTED_TEXTS);
    return found->second;
}

inline std::string Describe(const std::wstring& text, size_t at) {
    if (at >= text.size()) return "the end of the text";
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X '", static_cast<unsigned>(text[at]));
    return code + ToUtf8(text.substr(at, 1)) + "'";
}

// Passes when `shown` is entry `name` in language `lang`, letter for letter.
inline ::testing::AssertionResult Shows(const std::wstring& shown, const std::string& name, int lang) {
    const std::wstring& want = Text(name, lang);
    size_t at = 0, line = 1, lineStart = 0;
    for (; at < shown.size() && at < want.size() && shown[at] == want[at]; ++at) {
        if (want[at] == L'\n') ++line, lineStart = at + 1;
    }
    if (at == shown.size() && at == want.size()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << name << " in " << (lang == 0 ? "Russian" : "English") << ": line " << line << ", character "
           << at - lineStart + 1 << " shows " << Describe(shown, at) << " where " << Describe(want, at)
           << " is expected; the line shows \""
           << ToUtf8(shown.substr(lineStart, shown.find(L'\n', lineStart) - lineStart)) << "\"";
}

}  // namespace expected
