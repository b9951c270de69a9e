// UnicodeString: the UTF-16 text type of the program (file names, command lines, captions).
// A plain value type over std::wstring: a callee that takes it by value owns its copy for the
// call. An empty string still yields "" from c_str(), never a null pointer.
#pragma once

#include <string>
#include <string_view>

class UnicodeString {
public:
    UnicodeString() = default;
    UnicodeString(const wchar_t* text) : text_(text ? text : L"") {}
    UnicodeString(std::wstring text) : text_(std::move(text)) {}
    UnicodeString(std::wstring_view text) : text_(text) {}

    const wchar_t* c_str() const noexcept { return text_.c_str(); }
    const std::wstring& str() const noexcept { return text_; }
    int Length() const noexcept { return static_cast<int>(text_.size()); }
    bool IsEmpty() const noexcept { return text_.empty(); }

    UnicodeString& operator+=(const UnicodeString& more) {
        text_ += more.text_;
        return *this;
    }
    friend UnicodeString operator+(UnicodeString a, const UnicodeString& b) {
        a += b;
        return a;
    }
    friend UnicodeString operator+(UnicodeString a, const wchar_t* b) {
        a += UnicodeString(b);
        return a;
    }
    friend UnicodeString operator+(const wchar_t* a, const UnicodeString& b) { return UnicodeString(a) + b; }
    friend bool operator==(const UnicodeString& a, const UnicodeString& b) { return a.text_ == b.text_; }
    friend bool operator==(const UnicodeString& a, const wchar_t* b) { return a.text_ == (b ? b : L""); }

private:
    std::wstring text_;
};

// UTF-8 <-> UTF-16 for messages that leave the program as bytes (logs, test output).
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(std::string_view text);
