#include "ClassTable.h"

#include <string>

#include "Exception.h"
#include "FormDescription.h"

namespace {

void CheckRadioGroup(const FormNode& node) {
    const FormProperty* items = node.Find(L"Items.Strings");
    const FormProperty* index = node.Find(L"ItemIndex");
    const FormProperty* columns = node.Find(L"Columns");
    const long long count = items ? static_cast<long long>(items->items.size()) : 0;
    if (index && (index->integer < -1 || index->integer >= count))
        RaiseFormError(index->line, L"ItemIndex " + std::to_wstring(index->integer) + L" is outside the " +
                                        std::to_wstring(count) + L" items");
    if (columns && (columns->integer < 1 || columns->integer > 16))
        RaiseFormError(columns->line, L"Columns must be between 1 and 16");
}

void CheckProgressBar(const FormNode& node) {
    const FormProperty* min = node.Find(L"Min");
    const FormProperty* max = node.Find(L"Max");
    if ((min ? min->integer : 0) > (max ? max->integer : 100)) RaiseFormError(node.line, L"Min is above Max");
}

const std::vector<std::wstring_view> kAlignments{L"taLeftJustify", L"taRightJustify", L"taCenter"};

const ClassEntry kControl{L"TControl",
                          nullptr,
                          {
                              {L"Left", Prop::Left, Want::Int},
                              {L"Top", Prop::Top, Want::Int},
                              {L"Width", Prop::Width, Want::NonNegInt},
                              {L"Height", Prop::Height, Want::NonNegInt},
                              {L"TabOrder", Prop::TabOrder, Want::NonNegInt},
                              {L"Caption", Prop::Caption, Want::String},
                              {L"Font.Name", Prop::FontName, Want::String},
                              {L"Font.Height", Prop::FontHeight, Want::Int},
                              {L"Font.Style", Prop::FontStyle, Want::FontStyle},
                              {L"Font.Color", Prop::FontColor, Want::Color},
                              {L"Font.Charset",
                               Prop::FontCharset,
                               Want::Choice,
                               {L"DEFAULT_CHARSET", L"ANSI_CHARSET", L"RUSSIAN_CHARSET"}},
                              {L"ParentFont", Prop::ParentFont, Want::Bool},
                              {L"Color", Prop::Color, Want::Color},
                              {L"ParentColor", Prop::ParentColor, Want::Bool},
                              {L"Visible", Prop::Visible, Want::Bool},
                              {L"Enabled", Prop::Enabled, Want::Bool},
                              {L"TabStop", Prop::TabStop, Want::Bool},
                          }};

const ClassEntry kForm{L"TForm",
                       &kControl,
                       {
                           {L"BorderStyle",
                            Prop::BorderStyle,
                            Want::Choice,
                            {L"bsSingle", L"bsSizeable", L"bsDialog", L"bsToolWindow"}},
                           {L"ClientWidth", Prop::ClientWidth, Want::NonNegInt},
                           {L"ClientHeight", Prop::ClientHeight, Want::NonNegInt},
                           {L"Constraints.MaxWidth", Prop::MaxWidth, Want::NonNegInt},
                           {L"Constraints.MaxHeight", Prop::MaxHeight, Want::NonNegInt},
                           {L"Position",
                            Prop::FormPosition,
                            Want::Choice,
                            {L"poDesigned", L"poDesktopCenter", L"poScreenCenter"}},
                           {L"PixelsPerInch", Prop::PixelsPerInch, Want::NonNegInt},
                           {L"TextHeight", Prop::TextHeight, Want::NonNegInt},
                           {L"OldCreateOrder", Prop::OldCreateOrder, Want::Bool},
                           {L"OnCreate", Prop::OnCreate, Want::Handler},
                           {L"Icon", Prop::Icon, Want::String},
                       },
                       true};

const ClassEntry kGroupBox{L"TGroupBox", &kControl, {}, true};

// Its items are buttons of its own; it holds no controls of the description.
const ClassEntry kRadioGroup{L"TRadioGroup",
                             &kGroupBox,
                             {
                                 {L"Items.Strings", Prop::Items, Want::StringList},
                                 {L"Columns", Prop::Columns, Want::NonNegInt},
                                 {L"ItemIndex", Prop::ItemIndex, Want::Int},
                                 {L"OnClick", Prop::OnClick, Want::Handler},
                             },
                             false,
                             &CheckRadioGroup};

const ClassEntry kLabel{L"TLabel",
                        &kControl,
                        {
                            {L"Alignment", Prop::Alignment, Want::Choice, kAlignments},
                            {L"Layout", Prop::Layout, Want::Choice, {L"tlTop", L"tlCenter", L"tlBottom"}},
                            {L"WordWrap", Prop::WordWrap, Want::Bool},
                            {L"AutoSize", Prop::AutoSize, Want::Bool},
                            {L"Transparent", Prop::Transparent, Want::Bool},
                        }};

const ClassEntry kEdit{L"TEdit",
                       &kControl,
                       {
                           {L"Text", Prop::Text, Want::String},
                           {L"Alignment", Prop::Alignment, Want::Choice, kAlignments},
                           {L"MaxLength", Prop::MaxLength, Want::NonNegInt},
                           {L"OnKeyPress", Prop::OnKeyPress, Want::Handler},
                       }};

const ClassEntry kButton{L"TButton",
                         &kControl,
                         {
                             {L"OnClick", Prop::OnClick, Want::Handler},
                             {L"Default", Prop::Default, Want::Bool},
                         }};

const ClassEntry kBitBtn{L"TBitBtn",
                         &kButton,
                         {
                             {L"Glyph", Prop::Glyph, Want::String},
                         }};

const ClassEntry kProgressBar{L"TProgressBar",
                              &kControl,
                              {
                                  {L"Min", Prop::Min, Want::Int},
                                  {L"Max", Prop::Max, Want::Int},
                                  {L"Position", Prop::Position, Want::Int},
                              },
                              false,
                              &CheckProgressBar};

// TControl is the common part, not a class a description may name.
const ClassEntry* const kClasses[] = {&kForm, &kGroupBox, &kRadioGroup, &kLabel,
                                      &kEdit, &kButton,   &kBitBtn,     &kProgressBar};

struct ColorName {
    std::wstring_view name;
    NamedColor color;
};
// System colour indexes as the platform numbers them.
constexpr unsigned kSysWindow = 5, kSysWindowText = 8, kSysBtnFace = 15;
constexpr ColorName kColors[] = {
    {L"clBtnFace", {true, kSysBtnFace}}, {L"clWindowText", {true, kSysWindowText}},
    {L"clWindow", {true, kSysWindow}},   {L"clRed", {false, 0x0000FF}},
    {L"clBlack", {false, 0x000000}},     {L"clWhite", {false, 0xFFFFFF}},
    {L"clGreen", {false, 0x008000}},     {L"clBlue", {false, 0xFF0000}},
    {L"clGray", {false, 0x808080}},
};

}  // namespace

const ClassEntry* FindClassEntry(std::wstring_view name) {
    for (const ClassEntry* cls : kClasses)
        if (name == cls->name) return cls;
    return nullptr;
}

std::span<const ClassEntry* const> ClassEntries() { return kClasses; }

const PropertyEntry* FindPropertyEntry(const ClassEntry& cls, std::wstring_view name) {
    for (const ClassEntry* c = &cls; c; c = c->base)
        for (const PropertyEntry& p : c->own)
            if (name == p.name) return &p;
    return nullptr;
}

std::optional<NamedColor> FindNamedColor(std::wstring_view name) {
    for (const ColorName& c : kColors)
        if (c.name == name) return c.color;
    return std::nullopt;
}
