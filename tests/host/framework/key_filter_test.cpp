#include <gtest/gtest.h>

#include "KeyFilter.h"

// Every UTF-16 code unit: only the ten digits, the full stop and backspace pass unchanged.
TEST(KeyFilter, PassesDigitsPointAndBackspaceOnly) {
    int passed = 0;
    for (unsigned code = 0; code <= 0xFFFF; ++code) {
        auto key = static_cast<wchar_t>(code);
        bool expected = (code >= u'0' && code <= u'9') || code == u'.' || code == 0x08;
        wchar_t result = FilterAddressKey(key);
        if (expected) {
            EXPECT_EQ(result, key) << code;
            ++passed;
        } else {
            ASSERT_EQ(result, 0) << "code " << code;
        }
    }
    EXPECT_EQ(passed, 12);
}

TEST(KeyFilter, LookalikeDigitsAndControlCodesAreDropped) {
    EXPECT_EQ(FilterAddressKey(L'\x0660'), 0);  // Arabic-Indic zero
    EXPECT_EQ(FilterAddressKey(L'\xFF11'), 0);  // full-width one
    EXPECT_EQ(FilterAddressKey(L'\x16'), 0);    // Ctrl+V as a character
    EXPECT_EQ(FilterAddressKey(L'\x03'), 0);    // Ctrl+C
    EXPECT_EQ(FilterAddressKey(L'\r'), 0);
    EXPECT_EQ(FilterAddressKey(L','), 0);
    EXPECT_EQ(FilterAddressKey(L':'), 0);
}
