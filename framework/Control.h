// The base of every control: a window with a name, a parent and a rectangle in 96-DPI pixels.
// Names follow the platform vocabulary the program is described in (TForm, Caption, OnClick...);
// inside it is plain Win32. The window procedure (WindowProc.cpp) cracks each message once and
// calls the typed virtuals below; a control overrides those it answers.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "ClassTable.h"
#include "FormDescription.h"
#include "UnicodeString.h"

class TObject {
public:
    virtual ~TObject() = default;
};

class TComponent : public TObject {
public:
    // Ownership is by value here (the application holds its forms, a form its controls); the
    // owner is taken for the platform's constructor shape only.
    explicit TComponent(TComponent* /*owner*/) {}
    const UnicodeString& Name() const noexcept { return name_; }
    void SetName(UnicodeString name) { name_ = std::move(name); }

private:
    UnicodeString name_;
};

using TNotifyEvent = std::function<void(TObject* sender)>;
using TKeyPressEvent = std::function<void(TObject* sender, wchar_t& key)>;

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };
enum class TTextLayout { tlTop, tlCenter, tlBottom };

// Font as the form description gives it: face, height in pixels at 96 DPI (negative = character
// height), style and colour.
struct TFontDesc {
    std::wstring name = L"Tahoma";
    int height = -16;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    COLORREF color = GetSysColor(COLOR_WINDOWTEXT);
    bool operator==(const TFontDesc&) const = default;
};

// A colour of the description: a name (clBtnFace...) or $00BBGGRR.
COLORREF ColorOf(const FormProperty& p);
TAlignment AlignmentOf(const FormProperty& p);

class TForm;
class TWinControl;
struct WindowArgs;

class TControl : public TComponent {
public:
    explicit TControl(TComponent* owner) : TComponent(owner) {}
    ~TControl() override;

    HWND Handle() const noexcept { return hwnd_; }

    UnicodeString Caption() const;
    void SetCaption(const UnicodeString& text);
    UnicodeString Text() const { return Caption(); }

    const TFontDesc& Font() const noexcept { return font_; }
    COLORREF Color() const noexcept { return color_; }
    int TabOrder() const noexcept { return tabOrder_; }

    TNotifyEvent OnClick;

    // The class of the form description this control is; its properties come from there.
    virtual const ClassEntry& TableEntry() const = 0;
    // One property of the description, already checked against TableEntry(). False for one this
    // control does not apply (the loader then reports the line).
    virtual bool Apply(Prop id, const FormProperty& p);
    // Binds the description's OnKeyPress; false where the class has no such event.
    virtual bool SetOnKeyPress(TKeyPressEvent) { return false; }

    // Creates the window under the parent's; the form's is made by the form.
    virtual void CreateHandle() = 0;
    // The control as a container of others, for the classes that hold controls.
    virtual TWinControl* AsContainer() noexcept { return nullptr; }
    // Applies the current scale to position, size and font (after creation and a DPI change).
    virtual void ApplyScale();

    // --- typed messages, called by the window procedure --------------------------------------
    // A notification this control sent its parent (BN_CLICKED...); true when handled.
    virtual bool OnCommand(WORD /*code*/) { return false; }
    // The parent asks for this control's colours (WM_CTLCOLOR*); null leaves them to the system.
    virtual HBRUSH OnColor(HDC /*dc*/) { return nullptr; }
    // The same from a child window that has no wrapper of its own (a radio group's items).
    virtual bool OnItemCommand(HWND /*item*/, WORD /*code*/) { return false; }
    virtual HBRUSH OnItemColor(HWND /*item*/, HDC /*dc*/) { return nullptr; }
    // A typed character reached the control; it may change it, or set it to 0 to drop it.
    virtual void OnChar(wchar_t& /*key*/) {}
    // Controls that draw themselves paint in full (no background erase) and are repainted when
    // their font changes.
    virtual bool PaintsItself() const { return false; }
    virtual void Paint(HDC /*dc*/) {}
    // Fills the background; true when done (the form's own colour).
    virtual bool EraseBackground(HDC /*dc*/) { return false; }
    // The caption changed, through the wrapper or a WM_SETTEXT from anyone.
    virtual void TextChanged() {}
    // Labels let mouse input through to what lies under them.
    virtual bool TransparentToMouse() const { return false; }
    // Top-level windows only: the close box, the size limits, a move to a monitor of another DPI.
    virtual bool OnClose() { return false; }
    virtual bool OnMinMaxInfo(MINMAXINFO& /*info*/) { return false; }
    virtual bool OnDpiChanged(UINT /*dpi*/, const RECT& /*suggested*/) { return false; }

protected:
    friend class TForm;
    friend struct WindowProc;
    friend HWND CreateControlWindow(const WindowArgs& args);
    void AttachWindow(HWND hwnd);  // binds this wrapper to its window
    void DetachWindow();
    int Scale(int v) const;
    HFONT FontHandle() const;
    RECT ScaledBounds() const;

    HWND hwnd_ = nullptr;
    TWinControl* parent_ = nullptr;
    TForm* form_ = nullptr;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    int tabOrder_ = -1;
    TFontDesc font_;
    bool parentFont_ = true;
    COLORREF color_ = GetSysColor(COLOR_BTNFACE);
    bool parentColor_ = true;
    std::wstring text_;  // caption kept here too, so it survives handle recreation
};

// A control that can hold others.
class TWinControl : public TControl {
public:
    using TControl::TControl;
    const std::vector<TControl*>& Controls() const noexcept { return children_; }
    void AddChild(TControl* child) { children_.push_back(child); }
    void ApplyScale() override;
    TWinControl* AsContainer() noexcept override { return this; }

protected:
    std::vector<TControl*> children_;
};

// A control class's entry in the class table, found once from its ClassName:
//   class TLabel : public TControlClass<TLabel, TControl> { ... ClassName = L"TLabel"; ... };
template <typename Self, typename Base>
class TControlClass : public Base {
public:
    using Base::Base;
    const ClassEntry& TableEntry() const override {
        static const ClassEntry& entry = *FindClassEntry(Self::ClassName);
        return entry;
    }
};
