// The text form description: the window's layout as data.
//
//   object mainForm: TmainForm          a component: name and class
//     Caption = 'KAVORIN Tizen Installer'
//     Font.Height = -16                 integers, identifiers (clBtnFace, taCenter, True)
//     Font.Style = [fsBold]             sets
//     Items.Strings = (                 lists of strings
//       'J,K'
//       'M,N,Q,R,T,A,B')
//     object langRG: TRadioGroup ...    children, closed by `end`
//   end
//
// Strings are single-quoted ('' is a quote), may hold UTF-8 text, and may be joined from
// pieces: 'abc'#1055'def' (#N is the character with code N) and with `+` across lines.
// Every error names the line it was found on.
#pragma once

#include <string>
#include <variant>
#include <vector>

enum class FormValueKind { Integer, Identifier, String, Set, StringList };

struct FormProperty {
    std::wstring name;
    FormValueKind kind = FormValueKind::Integer;
    long long integer = 0;
    std::wstring text;                // Identifier or String
    std::vector<std::wstring> items;  // Set members or StringList entries
    int line = 0;

    bool IsTrue() const { return kind == FormValueKind::Identifier && text == L"True"; }
};

struct FormNode {
    std::wstring name;
    std::wstring className;
    int line = 0;
    std::vector<FormProperty> properties;
    std::vector<FormNode> children;

    const FormProperty* Find(const std::wstring& propName) const;
};

// Raises EFormError "Form description, line N: what": every fault of a description, whether the
// reader, the checker or the loader finds it.
[[noreturn]] void RaiseFormError(int line, const std::wstring& what);

// Parses the whole text (UTF-8). Raises EFormError("line N: what is wrong").
FormNode ParseFormDescription(const std::string& utf8);

// Checks the tree against the classes and properties the window layer knows (names, value kinds,
// ranges). Raises EFormError naming the line of the first problem.
void ValidateFormDescription(const FormNode& root);
