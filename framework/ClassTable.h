// What each control class of the form description takes: its properties, the kind of value each
// wants, and whether it holds other controls. The description's checker and the controls'
// property setters both read this table, so a property is declared once.
#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <vector>

struct FormNode;

// Every property any class takes; a control's setter switches on these.
enum class Prop {
    // every control
    Left,
    Top,
    Width,
    Height,
    TabOrder,
    Caption,
    FontName,
    FontHeight,
    FontStyle,
    FontColor,
    FontCharset,
    ParentFont,
    Color,
    ParentColor,
    Visible,
    Enabled,
    TabStop,
    // form
    BorderStyle,
    ClientWidth,
    ClientHeight,
    MaxWidth,
    MaxHeight,
    FormPosition,
    PixelsPerInch,
    TextHeight,
    OldCreateOrder,
    OnCreate,
    Icon,
    // radio group
    Items,
    Columns,
    ItemIndex,
    // label, edit
    Alignment,
    Layout,
    WordWrap,
    AutoSize,
    Transparent,
    Text,
    MaxLength,
    // buttons
    Default,
    Glyph,
    // progress bar
    Min,
    Max,
    Position,
    // events
    OnClick,
    OnKeyPress,
};

enum class Want { Int, NonNegInt, Bool, Color, String, Handler, StringList, FontStyle, Choice };

struct PropertyEntry {
    const wchar_t* name;
    Prop id;
    Want want;
    std::vector<std::wstring_view> choices = {};  // for Choice
};

struct ClassEntry {
    const wchar_t* name;
    const ClassEntry* base;  // the class whose properties it also takes; null for the root
    std::vector<PropertyEntry> own = {};
    bool holdsControls = false;
    // Checks between properties (an index inside the items...); raises EFormError.
    void (*check)(const FormNode& node) = nullptr;
};

// The class of that name, or null.
const ClassEntry* FindClassEntry(std::wstring_view name);
// Every class a description may name.
std::span<const ClassEntry* const> ClassEntries();

// The property of that name that `cls` or one of its bases takes, or null.
const PropertyEntry* FindPropertyEntry(const ClassEntry& cls, std::wstring_view name);

// Colours by name. System colours are given by their index (COLOR_BTNFACE...), to be read from
// the system where the window is drawn; the others as 0x00BBGGRR.
struct NamedColor {
    bool system;
    unsigned value;
};
std::optional<NamedColor> FindNamedColor(std::wstring_view name);
