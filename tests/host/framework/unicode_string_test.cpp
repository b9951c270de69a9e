#include <gtest/gtest.h>

#include "UnicodeString.h"

TEST(UnicodeString, EmptyGivesEmptyTextNeverNull) {
    UnicodeString empty;
    ASSERT_NE(empty.c_str(), nullptr);
    EXPECT_EQ(empty.c_str()[0], L'\0');
    UnicodeString fromNull(static_cast<const wchar_t*>(nullptr));
    EXPECT_TRUE(fromNull.IsEmpty());
}

TEST(UnicodeString, ConcatenatesAndCompares) {
    UnicodeString a = L"iu.exe connect ";
    UnicodeString b = a + L"1.2.3.4" + UnicodeString(L":26101");
    EXPECT_EQ(b, L"iu.exe connect 1.2.3.4:26101");
    EXPECT_EQ(b.Length(), 28);
    EXPECT_EQ(a, L"iu.exe connect ");  // the left operand is not changed
}

TEST(UnicodeString, Utf8RoundTripsCyrillicAndRejectsBrokenBytes) {
    std::wstring text = L"Установка Виджета ОК";
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_EQ(ToUtf8(L"Язык"), "\xD0\xAF\xD0\xB7\xD1\x8B\xD0\xBA");
    EXPECT_EQ(FromUtf8("a\xC3"), L"a\xFFFD");  // cut in the middle of a character
    EXPECT_EQ(FromUtf8("\xFF"
                       "b"),
              L"\xFFFD"
              L"b");  // not a UTF-8 lead byte
}
