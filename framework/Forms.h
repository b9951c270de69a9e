// Our small window layer: the application object, the form and the controls the installer uses.
// Names follow the platform vocabulary the program is described in (TForm, Caption, ItemIndex,
// OnClick, ...); inside it is plain Win32: stock controls where they exist, subclassed with
// SetWindowSubclass, containers and labels as window classes of our own.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Exception.h"
#include "FormDescription.h"
#include "UnicodeString.h"
#include "UniqueHandle.h"

class TObject {
public:
    virtual ~TObject() = default;
};

class TComponent : public TObject {
public:
    explicit TComponent(TComponent* owner) : owner_(owner) {}
    TComponent* Owner() const noexcept { return owner_; }
    const UnicodeString& Name() const noexcept { return name_; }
    void SetName(UnicodeString name) { name_ = std::move(name); }

private:
    TComponent* owner_;
    UnicodeString name_;
};

using TNotifyEvent = std::function<void(TObject* sender)>;
using TKeyPressEvent = std::function<void(TObject* sender, wchar_t& key)>;

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };
enum class TTextLayout { tlTop, tlCenter, tlBottom };

// Font as the form description gives it: face, height in pixels at 96 DPI (negative = character
// height), style and colour.
struct TFontSpec {
    std::wstring name = L"Tahoma";
    int height = -16;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    COLORREF color = GetSysColor(COLOR_WINDOWTEXT);
    bool operator==(const TFontSpec&) const = default;
};

class TForm;
class TWinControl;

// Every control: a window with a name, a parent and a rectangle in 96-DPI pixels.
class TControl : public TComponent {
public:
    explicit TControl(TComponent* owner) : TComponent(owner) {}
    ~TControl() override;

    HWND Handle() const noexcept { return hwnd_; }
    TWinControl* Parent() const noexcept { return parent_; }
    TForm* Form() const noexcept { return form_; }

    int Left() const noexcept { return left_; }
    int Top() const noexcept { return top_; }
    int Width() const noexcept { return width_; }
    int Height() const noexcept { return height_; }
    void SetBounds(int left, int top, int width, int height);

    UnicodeString Caption() const;
    void SetCaption(const UnicodeString& text);
    UnicodeString Text() const { return Caption(); }
    void SetText(const UnicodeString& text) { SetCaption(text); }

    const TFontSpec& Font() const noexcept { return font_; }
    void SetFont(const TFontSpec& font);
    COLORREF Color() const noexcept { return color_; }
    void SetColor(COLORREF color);
    int TabOrder() const noexcept { return tabOrder_; }
    bool Visible() const;
    bool Enabled() const;
    void SetEnabled(bool enabled);

    TNotifyEvent OnClick;

    // Called by the form after the window exists and by the DPI change: applies the current
    // scale to position, size and font.
    virtual void ApplyScale();
    // Design properties from the form description; returns false for a property this class
    // does not know (the loader then reports the line).
    virtual bool SetProperty(const FormProperty& prop);
    // Creates the window. Parent is null only for the form.
    virtual void CreateHandle() = 0;

    // The window procedure of every class of our own (form, frames, labels).
    static LRESULT CALLBACK OwnWndProc(HWND, UINT, WPARAM, LPARAM);

    // Messages reflected from the parent (WM_COMMAND, WM_CTLCOLOR*, WM_NOTIFY). Returns true
    // when handled, with the result in `result`.
    virtual bool Reflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);

protected:
    friend class TForm;
    friend class TWinControl;
    void AttachWindow(HWND hwnd);  // binds this wrapper to its window
    void DetachWindow();
    virtual void TextChanged() {}
    int Scale(int v) const;
    HFONT FontHandle() const;
    RECT ScaledBounds() const;
    static void Subclass(HWND hwnd, TControl* control);
    virtual LRESULT SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK SubclassThunk(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    // Each class of our own handles its window's messages here.
    virtual LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
    // Painting, text, font and erase messages of the controls that draw themselves.
    bool HandleSelfDrawn(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
    virtual void Paint(HDC dc);

    HWND hwnd_ = nullptr;
    TWinControl* parent_ = nullptr;
    TForm* form_ = nullptr;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    int tabOrder_ = -1;
    TFontSpec font_;
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

protected:
    std::vector<TControl*> children_;
};

// Frame with a caption; a real container window of our own class (WS_EX_CONTROLPARENT) that
// passes its children's notifications on to them.
class TGroupBox : public TWinControl {
public:
    using TWinControl::TWinControl;
    static constexpr const wchar_t* ClassName = L"TGroupBox";
    void CreateHandle() override;
    void TextChanged() override;
    void Paint(HDC dc) override;
    int CaptionHeight() const;  // scaled

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;
};

// Group of radio buttons; ItemIndex is the checked item, OnClick fires when the user changes it.
class TRadioGroup : public TGroupBox {
public:
    using TGroupBox::TGroupBox;
    static constexpr const wchar_t* ClassName = L"TRadioGroup";
    const std::vector<UnicodeString>& Items() const noexcept { return items_; }
    void SetItems(std::vector<UnicodeString> items);
    int Columns() const noexcept { return columns_; }
    void SetColumns(int columns);
    int ItemIndex() const noexcept { return itemIndex_; }
    void SetItemIndex(int index);
    HWND ItemHandle(int index) const;

    void CreateHandle() override;
    void ApplyScale() override;
    bool SetProperty(const FormProperty& prop) override;
    bool ReflectFromButton(HWND button, UINT code);

private:
    void BuildButtons();
    void ArrangeButtons();
    void UpdateChecks();
    std::vector<UnicodeString> items_;
    std::vector<HWND> buttons_;
    int columns_ = 1;
    int itemIndex_ = -1;
};

// Text drawn by the control itself with DrawTextW, so alignment, wrapping and colour are exact.
class TLabel : public TControl {
public:
    using TControl::TControl;
    static constexpr const wchar_t* ClassName = L"TLabel";
    TAlignment Alignment() const noexcept { return alignment_; }
    TTextLayout Layout() const noexcept { return layout_; }
    bool WordWrap() const noexcept { return wordWrap_; }
    bool AutoSize() const noexcept { return autoSize_; }
    bool Transparent() const noexcept { return transparent_; }

    void CreateHandle() override;
    bool SetProperty(const FormProperty& prop) override;
    void ApplyScale() override;
    UINT DrawFlags() const;
    void Paint(HDC dc) override;

    // An auto-sized label takes the size of its text (a wrapping one keeps its width).
    void AdjustSize();

protected:
    void TextChanged() override;
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    TAlignment alignment_ = TAlignment::taLeftJustify;
    TTextLayout layout_ = TTextLayout::tlTop;
    bool wordWrap_ = false;
    bool autoSize_ = true;
    bool transparent_ = false;
};

// Single-line edit; OnKeyPress sees each typed character and may replace it by 0 to drop it.
class TEdit : public TControl {
public:
    using TControl::TControl;
    static constexpr const wchar_t* ClassName = L"TEdit";
    TKeyPressEvent OnKeyPress;
    TAlignment Alignment() const noexcept { return alignment_; }
    int MaxLength() const noexcept { return maxLength_; }

    void CreateHandle() override;
    bool SetProperty(const FormProperty& prop) override;
    bool Reflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

protected:
    LRESULT SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override;

private:
    TAlignment alignment_ = TAlignment::taLeftJustify;
    int maxLength_ = 0;
    UniqueBrush brush_;
};

class TButton : public TControl {
public:
    using TControl::TControl;
    static constexpr const wchar_t* ClassName = L"TButton";
    void CreateHandle() override;
    bool Reflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
};

// Push button with a picture left of its caption. The picture comes from a bitmap resource
// named in the form description (Glyph), and is owned by the form.
class TBitBtn : public TButton {
public:
    using TButton::TButton;
    static constexpr const wchar_t* ClassName = L"TBitBtn";
    void CreateHandle() override;
    bool SetProperty(const FormProperty& prop) override;
    void ApplyScale() override;
    const std::wstring& GlyphResource() const noexcept { return glyph_; }

private:
    std::wstring glyph_;
};

class TProgressBar : public TControl {
public:
    using TControl::TControl;
    static constexpr const wchar_t* ClassName = L"TProgressBar";
    int Min() const noexcept { return min_; }
    int Max() const noexcept { return max_; }
    int Position() const noexcept { return position_; }
    void SetPosition(int position);
    void CreateHandle() override;
    bool SetProperty(const FormProperty& prop) override;

private:
    int min_ = 0, max_ = 100, position_ = 0;
};

// What a form publishes to its description: its control fields and its event handlers, by name.
class TPublished {
public:
    template <typename T>
    TPublished& Field(const wchar_t* name, T*& slot) {
        fields_[name] = {T::ClassName, [&slot](TControl* c) { slot = static_cast<T*>(c); }};
        return *this;
    }
    TPublished& Handler(const wchar_t* name, TNotifyEvent handler) {
        notify_[name] = std::move(handler);
        return *this;
    }
    TPublished& KeyHandler(const wchar_t* name, TKeyPressEvent handler) {
        keys_[name] = std::move(handler);
        return *this;
    }

private:
    friend class TForm;
    struct FieldSlot {
        std::wstring className;
        std::function<void(TControl*)> assign;
    };
    std::map<std::wstring, FieldSlot> fields_;
    std::map<std::wstring, TNotifyEvent> notify_;
    std::map<std::wstring, TKeyPressEvent> keys_;
};

// A top-level window built from a form description resource.
class TForm : public TWinControl {
public:
    static constexpr const wchar_t* ClassName = L"TForm";
    explicit TForm(TComponent* owner);
    ~TForm() override;

    TNotifyEvent OnCreate;

    int PixelsPerInch() const noexcept { return dpi_; }
    int DesignPixelsPerInch() const noexcept { return 96; }
    int ClientWidth() const noexcept { return clientWidth_; }
    int ClientHeight() const noexcept { return clientHeight_; }
    TControl* FindControl(const std::wstring& name) const;
    const std::vector<std::unique_ptr<TControl>>& AllControls() const noexcept { return owned_; }

    void Show();
    void Hide();
    void Close();  // the main form's close ends the application

    void CreateHandle() override;
    bool SetProperty(const FormProperty& prop) override;
    void ApplyScale() override;

    HFONT FontFor(const TFontSpec& spec);  // the form owns every font; controls borrow
    HBRUSH BrushFor(COLORREF color);
    HBITMAP BitmapFor(const std::wstring& resource);
    HIMAGELIST ImageListFor(const std::wstring& resource, int size);

    // Runs the description's OnCreate after construction (the new creation order).
    void DoCreate();

protected:
    // Parses the description resource `resourceName` and creates every control, binding the
    // published fields and handlers. Raises EFormError naming the line of a malformed entry.
    void InitializeComponent(const wchar_t* resourceName, const TPublished& published);
    // The same from text (used by tests).
    void InitializeFromText(const std::string& utf8, const TPublished& published);

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void Build(const FormNode& root, const TPublished& published);
    void Populate(TWinControl* parent, const FormNode& node, const TPublished& published);
    void OrderTabs(TWinControl* parent);
    void SetDpi(int dpi);
    void PlaceOnDesktop();

    std::vector<std::unique_ptr<TControl>> owned_;
    std::map<COLORREF, UniqueBrush> brushes_;
    std::vector<std::pair<TFontSpec, UniqueFont>> fonts_;
    std::map<std::wstring, UniqueBitmap> bitmaps_;
    std::map<std::wstring, UniqueImageList> imageLists_;
    UniqueIcon bigIcon_, smallIcon_;
    std::wstring iconResource_;
    int dpi_ = 96;
    int clientWidth_ = 0, clientHeight_ = 0;
    int maxWidth_ = 0, maxHeight_ = 0;
    bool fixedBorder_ = false;
    bool centred_ = false;
    bool created_ = false;
};

// The application object: message loop, the main form, the error box.
class TApplication : public TComponent {
public:
    TApplication();
    ~TApplication() override;

    void Initialize();
    bool MainFormOnTaskBar = false;
    UnicodeString Title = L"KAVORIN Tizen Installer";

    // Constructs the form, makes the first one the main form, then runs its OnCreate.
    template <typename T>
    void CreateForm(T*& ref) {
        auto form = std::make_unique<T>(this);
        ref = form.get();
        TForm* raw = form.get();
        forms_.push_back(std::move(form));
        if (!mainForm_) mainForm_ = raw;
        try {
            raw->DoCreate();
        } catch (...) {
            HandleException();
        }
    }

    void Run();
    void ProcessMessages();
    bool Terminated() const noexcept { return terminated_; }
    void Terminate();
    TForm* MainForm() const noexcept { return mainForm_; }
    HINSTANCE Instance() const noexcept { return instance_; }

    void ShowException(const Exception& e);
    // Shows the exception in flight (call from a catch block); never throws.
    void HandleException() noexcept;
    // Destroys the forms; called once Run has returned.
    void DestroyForms();
    // Lets a test start over with a new main form after the previous one was closed.
    void ResetForTests();

    // For tests: called with every message box text instead of showing it, when set.
    std::function<void(const UnicodeString& text, bool error)> MessageHook;

private:
    bool HandleOne(MSG& msg);  // the one path: pre-translate, dialog keys, translate, dispatch
    std::vector<std::unique_ptr<TForm>> forms_;
    TForm* mainForm_ = nullptr;
    HINSTANCE instance_ = nullptr;
    bool terminated_ = false;
};

extern TApplication* Application;

// Modal message box with an OK button.
void ShowMessage(const UnicodeString& text);
