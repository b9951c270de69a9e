#include "FormDescription.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <set>

#include "ClassTable.h"
#include "Exception.h"
#include "UnicodeString.h"

namespace {

enum class Tok { End, Ident, Integer, String, Symbol };

struct Token {
    Tok kind = Tok::End;
    std::wstring text;  // identifier, string value, or the symbol
    long long integer = 0;
    int line = 1;
    bool spaceBefore = false;
};

class Lexer {
public:
    explicit Lexer(std::wstring text) : s_(std::move(text)) {}

    Token Next() {
        Token t;
        t.spaceBefore = SkipBlanks();
        t.line = line_;
        if (pos_ >= s_.size()) return t;
        wchar_t c = s_[pos_];
        if (IsIdentStart(c)) {
            size_t start = pos_;
            while (pos_ < s_.size() && (IsIdentStart(s_[pos_]) || IsDigit(s_[pos_]) || s_[pos_] == L'.'))
                ++pos_;
            t.kind = Tok::Ident;
            t.text = s_.substr(start, pos_ - start);
            return t;
        }
        if (IsDigit(c) || c == L'$' ||
            (c == L'-' && pos_ + 1 < s_.size() && (IsDigit(s_[pos_ + 1]) || s_[pos_ + 1] == L'$'))) {
            t.kind = Tok::Integer;
            t.integer = ReadInteger();
            return t;
        }
        if (c == L'\'' || c == L'#') {
            t.kind = Tok::String;
            t.text = ReadStringPiece();
            return t;
        }
        if (std::wstring(L"=:[](),+").find(c) != std::wstring::npos) {
            ++pos_;
            t.kind = Tok::Symbol;
            t.text = std::wstring(1, c);
            return t;
        }
        RaiseFormError(line_, L"unexpected character '" + std::wstring(1, c) + L"'");
    }

private:
    static bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
    static bool IsIdentStart(wchar_t c) {
        return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || c == L'_';
    }

    bool SkipBlanks() {
        bool any = false;
        while (pos_ < s_.size()) {
            wchar_t c = s_[pos_];
            if (c == L'\n') {
                ++line_;
            } else if (c == L'/' && pos_ + 1 < s_.size() && s_[pos_ + 1] == L'/') {
                while (pos_ < s_.size() && s_[pos_] != L'\n') ++pos_;
                any = true;
                continue;
            } else if (c != L' ' && c != L'\t' && c != L'\r' && c != 0xFEFF) {
                break;
            }
            any = true;
            ++pos_;
        }
        return any;
    }

    long long ReadInteger() {
        bool negative = false;
        if (s_[pos_] == L'-') {
            negative = true;
            ++pos_;
        }
        int base = 10;
        if (s_[pos_] == L'$') {
            base = 16;
            ++pos_;
        }
        size_t start = pos_;
        long long value = 0;
        while (pos_ < s_.size()) {
            wchar_t c = s_[pos_];
            int digit;
            if (IsDigit(c))
                digit = c - L'0';
            else if (base == 16 && c >= L'a' && c <= L'f')
                digit = c - L'a' + 10;
            else if (base == 16 && c >= L'A' && c <= L'F')
                digit = c - L'A' + 10;
            else
                break;
            if (value > (0x7FFFFFFFLL - digit) / base) RaiseFormError(line_, L"number too large");
            value = value * base + digit;
            ++pos_;
        }
        if (pos_ == start) RaiseFormError(line_, L"a number has no digits");
        if (pos_ < s_.size() && (IsIdentStart(s_[pos_]) || IsDigit(s_[pos_])))
            RaiseFormError(line_, L"malformed number");
        return negative ? -value : value;
    }

    // One quoted run or one #code; adjacent pieces are joined by the parser.
    std::wstring ReadStringPiece() {
        std::wstring out;
        if (s_[pos_] == L'#') {
            ++pos_;
            size_t start = pos_;
            long code = 0;
            while (pos_ < s_.size() && IsDigit(s_[pos_])) {
                code = code * 10 + (s_[pos_] - L'0');
                if (code > 0xFFFF) RaiseFormError(line_, L"character code out of range");
                ++pos_;
            }
            if (pos_ == start) RaiseFormError(line_, L"'#' without a character code");
            if (code == 0) RaiseFormError(line_, L"character code 0 is not allowed");
            out += static_cast<wchar_t>(code);
            return out;
        }
        ++pos_;  // opening quote
        for (;;) {
            if (pos_ >= s_.size() || s_[pos_] == L'\n') RaiseFormError(line_, L"unterminated string");
            wchar_t c = s_[pos_++];
            if (c == L'\'') {
                if (pos_ < s_.size() && s_[pos_] == L'\'') {
                    out += L'\'';
                    ++pos_;
                    continue;
                }
                return out;
            }
            out += c;
        }
    }

    std::wstring s_;
    size_t pos_ = 0;
    int line_ = 1;
};

class Parser {
public:
    explicit Parser(std::wstring text) : lex_(std::move(text)) { Advance(); }

    FormNode ParseRoot() {
        if (!IsIdent(L"object")) RaiseFormError(tok_.line, L"expected 'object' at the start");
        FormNode root = ParseObject(0);
        if (tok_.kind != Tok::End) RaiseFormError(tok_.line, L"unexpected text after the final 'end'");
        return root;
    }

private:
    void Advance() { tok_ = lex_.Next(); }
    bool IsIdent(const wchar_t* word) const { return tok_.kind == Tok::Ident && tok_.text == word; }
    bool IsSymbol(wchar_t c) const { return tok_.kind == Tok::Symbol && tok_.text[0] == c; }
    void Expect(wchar_t c, const wchar_t* what) {
        if (!IsSymbol(c)) RaiseFormError(tok_.line, std::wstring(L"expected ") + what);
        Advance();
    }

    FormNode ParseObject(int depth) {
        if (depth > 16) RaiseFormError(tok_.line, L"objects nested too deeply");
        FormNode node;
        node.line = tok_.line;
        Advance();  // 'object'
        if (tok_.kind != Tok::Ident) RaiseFormError(tok_.line, L"expected the object's name after 'object'");
        node.name = tok_.text;
        Advance();
        Expect(L':', L"':' between the object's name and class");
        if (tok_.kind != Tok::Ident) RaiseFormError(tok_.line, L"expected the object's class after ':'");
        node.className = tok_.text;
        Advance();
        for (;;) {
            if (tok_.kind == Tok::End)
                RaiseFormError(tok_.line, L"missing 'end' for object '" + node.name + L"' (line " +
                                              std::to_wstring(node.line) + L")");
            if (IsIdent(L"end")) {
                Advance();
                return node;
            }
            if (IsIdent(L"object")) {
                node.children.push_back(ParseObject(depth + 1));
                continue;
            }
            if (tok_.kind != Tok::Ident)
                RaiseFormError(tok_.line, L"expected a property name, 'object' or 'end'");
            node.properties.push_back(ParseProperty());
        }
    }

    FormProperty ParseProperty() {
        FormProperty p;
        p.name = tok_.text;
        p.line = tok_.line;
        Advance();
        Expect(L'=', (L"'=' after '" + p.name + L"'").c_str());
        if (tok_.kind == Tok::End) RaiseFormError(p.line, L"missing value of '" + p.name + L"'");
        // A long string may start on the next line; a name or number there is the next entry.
        if (tok_.line != p.line && tok_.kind != Tok::String && !IsSymbol(L'(') && !IsSymbol(L'['))
            RaiseFormError(p.line, L"missing value of '" + p.name + L"'");
        switch (tok_.kind) {
        case Tok::Integer:
            p.kind = FormValueKind::Integer;
            p.integer = tok_.integer;
            Advance();
            break;
        case Tok::Ident:
            p.kind = FormValueKind::Identifier;
            p.text = tok_.text;
            Advance();
            break;
        case Tok::String:
            p.kind = FormValueKind::String;
            p.text = ParseString();
            break;
        case Tok::Symbol:
            if (IsSymbol(L'[')) {
                p.kind = FormValueKind::Set;
                Advance();
                while (!IsSymbol(L']')) {
                    if (tok_.kind != Tok::Ident)
                        RaiseFormError(tok_.line, L"expected a name or ']' in the set of '" + p.name + L"'");
                    p.items.push_back(tok_.text);
                    Advance();
                    if (IsSymbol(L','))
                        Advance();
                    else if (!IsSymbol(L']'))
                        RaiseFormError(tok_.line, L"expected ',' or ']' in the set of '" + p.name + L"'");
                }
                Advance();
            } else if (IsSymbol(L'(')) {
                p.kind = FormValueKind::StringList;
                Advance();
                while (!IsSymbol(L')')) {
                    if (tok_.kind != Tok::String)
                        RaiseFormError(tok_.line,
                                       L"expected a string or ')' in the list of '" + p.name + L"'");
                    p.items.push_back(ParseString());
                }
                Advance();
            } else {
                RaiseFormError(tok_.line,
                               L"unexpected '" + tok_.text + L"' as the value of '" + p.name + L"'");
            }
            break;
        case Tok::End: break;
        }
        return p;
    }

    // Pieces written next to each other, or joined with '+', form one string.
    std::wstring ParseString() {
        std::wstring out = tok_.text;
        Advance();
        for (;;) {
            if (tok_.kind == Tok::String && !tok_.spaceBefore) {
                out += tok_.text;
                Advance();
            } else if (IsSymbol(L'+')) {
                Advance();
                if (tok_.kind != Tok::String) RaiseFormError(tok_.line, L"expected a string after '+'");
                out += tok_.text;
                Advance();
            } else {
                return out;
            }
        }
    }

    Lexer lex_;
    Token tok_;
};

// ---- validation -------------------------------------------------------------------------

const wchar_t* KindName(FormValueKind k) {
    switch (k) {
    case FormValueKind::Integer: return L"a number";
    case FormValueKind::Identifier: return L"a name";
    case FormValueKind::String: return L"a string";
    case FormValueKind::Set: return L"a set";
    case FormValueKind::StringList: return L"a list of strings";
    }
    return L"a value";
}

void CheckProperty(const FormNode& node, const FormProperty& p, const PropertyEntry& entry) {
    auto wrong = [&](const std::wstring& expected) {
        RaiseFormError(p.line, L"'" + p.name + L"' of '" + node.name + L"' must be " + expected + L", not " +
                                   KindName(p.kind));
    };
    switch (entry.want) {
    case Want::Int:
        if (p.kind != FormValueKind::Integer) wrong(L"a number");
        if (p.integer < -100000 || p.integer > 100000)
            RaiseFormError(p.line, L"'" + p.name + L"' is out of range");
        break;
    case Want::NonNegInt:
        if (p.kind != FormValueKind::Integer) wrong(L"a number");
        if (p.integer < 0 || p.integer > 100000)
            RaiseFormError(p.line, L"'" + p.name + L"' must be between 0 and 100000");
        break;
    case Want::Bool:
        if (p.kind != FormValueKind::Identifier || (p.text != L"True" && p.text != L"False"))
            wrong(L"True or False");
        break;
    case Want::Color:
        if (p.kind == FormValueKind::Integer) {
            if (p.integer < 0 || p.integer > 0xFFFFFF)
                RaiseFormError(p.line, L"colour value out of range in '" + p.name + L"'");
        } else if (p.kind != FormValueKind::Identifier || !FindNamedColor(p.text)) {
            RaiseFormError(p.line, L"unknown colour in '" + p.name + L"'");
        }
        break;
    case Want::String:
        if (p.kind != FormValueKind::String) wrong(L"a string");
        break;
    case Want::Handler:
        if (p.kind != FormValueKind::Identifier) wrong(L"the name of a handler");
        break;
    case Want::StringList:
        if (p.kind != FormValueKind::StringList) wrong(L"a list of strings");
        break;
    case Want::FontStyle:
        if (p.kind != FormValueKind::Set) wrong(L"a set such as [fsBold]");
        for (const auto& item : p.items)
            if (item != L"fsBold" && item != L"fsItalic" && item != L"fsUnderline" && item != L"fsStrikeOut")
                RaiseFormError(p.line, L"unknown font style '" + item + L"'");
        break;
    case Want::Choice:
        if (p.kind != FormValueKind::Identifier) wrong(L"a name");
        if (std::find(entry.choices.begin(), entry.choices.end(), p.text) == entry.choices.end())
            RaiseFormError(p.line, L"'" + p.text + L"' is not a valid value of '" + p.name + L"'");
        break;
    }
}

void ValidateNode(const FormNode& node, bool isRoot, std::set<std::wstring>& names) {
    if (!names.insert(node.name).second)
        RaiseFormError(node.line, L"a second object named '" + node.name + L"'");
    // The root is a form of its own class, derived from TForm.
    const ClassEntry* cls = FindClassEntry(isRoot ? L"TForm" : node.className);
    if (!cls) RaiseFormError(node.line, L"unknown class '" + node.className + L"'");
    if (!isRoot && node.className == L"TForm")
        RaiseFormError(node.line, L"a form cannot be placed inside another object");

    std::set<std::wstring> seen;
    for (const auto& p : node.properties) {
        if (!seen.insert(p.name).second) RaiseFormError(p.line, L"'" + p.name + L"' is given twice");
        const PropertyEntry* entry = FindPropertyEntry(*cls, p.name);
        if (!entry) RaiseFormError(p.line, L"unknown property '" + p.name + L"' for class " + node.className);
        CheckProperty(node, p, *entry);
    }
    if (cls->check) cls->check(node);
    if (cls->holdsControls) {
        for (const auto& child : node.children) ValidateNode(child, false, names);
    } else if (!node.children.empty()) {
        RaiseFormError(node.children.front().line, L"a " + node.className + L" cannot hold other objects");
    }
}

}  // namespace

void RaiseFormError(int line, const std::wstring& what) {
    throw EFormError(L"Form description, line " + std::to_wstring(line) + L": " + what);
}

const FormProperty* FormNode::Find(const std::wstring& propName) const {
    for (const auto& p : properties)
        if (p.name == propName) return &p;
    return nullptr;
}

FormNode ParseFormDescription(const std::string& utf8) {
    Parser parser(FromUtf8(utf8));
    return parser.ParseRoot();
}

void ValidateFormDescription(const FormNode& root) {
    std::set<std::wstring> names;
    ValidateNode(root, true, names);
}
