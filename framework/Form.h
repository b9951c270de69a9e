// A top-level window built from a form description: it creates every control of the
// description and binds the form's published fields and handlers (the loader, FormLoader.cpp),
// owns the fonts, brushes and pictures its controls borrow (GdiCache), and follows the DPI of
// the monitor it is on.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Control.h"
#include "GdiCache.h"
#include "UniqueHandle.h"

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

class TForm : public TControlClass<TForm, TWinControl> {
public:
    static constexpr const wchar_t* ClassName = L"TForm";
    explicit TForm(TComponent* owner);
    ~TForm() override;

    TNotifyEvent OnCreate;

    int PixelsPerInch() const noexcept { return dpi_; }
    TControl* FindControl(const std::wstring& name) const;

    void Show();
    void Hide();
    void Close();  // the main form's close ends the application

    bool Apply(Prop id, const FormProperty& p) override;
    void CreateHandle() override;
    void ApplyScale() override;

    // The form owns every font, brush and picture list; controls borrow.
    HFONT FontFor(const TFontDesc& desc) { return gdi_.FontFor(desc, dpi_); }
    HBRUSH BrushFor(COLORREF color) { return gdi_.BrushFor(color); }
    HIMAGELIST ImageListFor(const std::wstring& resource, int size) {
        return gdi_.ImageListFor(resource, size);
    }

    // Runs the description's OnCreate after construction.
    void DoCreate();

    bool EraseBackground(HDC dc) override;
    bool OnClose() override;
    bool OnMinMaxInfo(MINMAXINFO& info) override;
    bool OnDpiChanged(UINT dpi, const RECT& suggested) override;

protected:
    // Parses the description resource `resourceName` and creates every control, binding the
    // published fields and handlers. Raises EFormError naming the line of a malformed entry.
    void InitializeComponent(const wchar_t* resourceName, const TPublished& published);
    // The same from text (used by tests).
    void InitializeFromText(const std::string& utf8, const TPublished& published);

private:
    // The loader (FormLoader.cpp).
    void Build(const FormNode& root, const TPublished& published);
    void Populate(TWinControl* parent, const FormNode& node, const TPublished& published);
    void SetProperties(TControl& control, const FormNode& node, const TPublished& published);
    void OrderTabs(TWinControl* parent);
    // The window.
    void CreateAtMonitorDpi();
    void PlaceOnDesktop();
    RECT FrameFor(int clientWidth, int clientHeight) const;

    std::vector<std::unique_ptr<TControl>> owned_;
    GdiCache gdi_;
    UniqueIcon bigIcon_, smallIcon_;
    std::wstring iconResource_;
    int dpi_ = 96;
    int clientWidth_ = 0, clientHeight_ = 0;
    int maxWidth_ = 0, maxHeight_ = 0;
    bool fixedBorder_ = false;
    bool centred_ = false;
    bool created_ = false;
};
