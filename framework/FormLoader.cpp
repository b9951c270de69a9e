// The form loader: builds a form's controls from its description (layout is data) and binds
// the fields and handlers the form publishes. The window itself is Form.cpp's.
#include "Form.h"

#include <algorithm>

#include "BitBtn.h"
#include "Classes.h"
#include "Edit.h"
#include "GroupBox.h"
#include "Label.h"
#include "ProgressBar.h"
#include "RadioGroup.h"

namespace {

template <typename T>
std::unique_ptr<TControl> Make(TComponent* owner) {
    return std::make_unique<T>(owner);
}

// The classes a description may place on a form.
struct Maker {
    const wchar_t* className;
    std::unique_ptr<TControl> (*make)(TComponent* owner);
};
constexpr Maker kMakers[] = {
    {TGroupBox::ClassName, &Make<TGroupBox>},
    {TRadioGroup::ClassName, &Make<TRadioGroup>},
    {TLabel::ClassName, &Make<TLabel>},
    {TEdit::ClassName, &Make<TEdit>},
    {TButton::ClassName, &Make<TButton>},
    {TBitBtn::ClassName, &Make<TBitBtn>},
    {TProgressBar::ClassName, &Make<TProgressBar>},
};

std::unique_ptr<TControl> MakeControl(const std::wstring& className, TComponent* owner) {
    for (const Maker& m : kMakers)
        if (className == m.className) return m.make(owner);
    return nullptr;
}

}  // namespace

void TForm::InitializeComponent(const wchar_t* resourceName, const TPublished& published) {
    const TResourceStream description(GetModuleHandleW(nullptr), resourceName, RT_RCDATA);
    InitializeFromText(std::string(static_cast<const char*>(description.Memory()), description.Size()),
                       published);
}

void TForm::InitializeFromText(const std::string& utf8, const TPublished& published) {
    FormNode root = ParseFormDescription(utf8);
    ValidateFormDescription(root);
    Build(root, published);
}

void TForm::Build(const FormNode& root, const TPublished& published) {
    SetName(root.name);
    parentFont_ = false;
    parentColor_ = false;
    SetProperties(*this, root, published);
    CreateAtMonitorDpi();
    Populate(this, root, published);
    OrderTabs(this);
    for (const auto& [name, slot] : published.fields_)
        if (!FindControl(name)) RaiseFormError(root.line, L"the description has no control '" + name + L"'");
    PlaceOnDesktop();
}

// The description's properties and event bindings of one control (or the form itself).
void TForm::SetProperties(TControl& c, const FormNode& node, const TPublished& published) {
    const std::wstring what = &c == this ? L"a form" : node.className;
    for (const FormProperty& p : node.properties) {
        const PropertyEntry* entry = FindPropertyEntry(c.TableEntry(), p.name);
        if (!entry) RaiseFormError(p.line, L"'" + p.name + L"' does not apply to " + what);
        if (entry->id == Prop::OnClick || entry->id == Prop::OnCreate) {
            auto h = published.notify_.find(p.text);
            if (h == published.notify_.end())
                RaiseFormError(p.line, L"the form has no handler '" + p.text + L"'");
            (entry->id == Prop::OnCreate ? OnCreate : c.OnClick) = h->second;
        } else if (entry->id == Prop::OnKeyPress) {
            auto h = published.keys_.find(p.text);
            if (h == published.keys_.end() || !c.SetOnKeyPress(h->second))
                RaiseFormError(p.line, L"the form has no key handler '" + p.text + L"'");
        } else if (!c.Apply(entry->id, p)) {
            RaiseFormError(p.line, L"'" + p.name + L"' does not apply to " + what);
        }
    }
}

void TForm::Populate(TWinControl* parent, const FormNode& node, const TPublished& published) {
    for (const FormNode& child : node.children) {
        std::unique_ptr<TControl> made = MakeControl(child.className, this);
        if (!made) RaiseFormError(child.line, L"unknown class '" + child.className + L"'");
        TControl* c = made.get();
        c->SetName(child.name);
        c->parent_ = parent;
        c->form_ = this;
        c->font_ = parent->font_;
        c->color_ = parent->color_;
        SetProperties(*c, child, published);
        if (c->parentFont_) c->font_ = parent->font_;
        if (c->parentColor_) c->color_ = parent->color_;
        auto field = published.fields_.find(child.name);
        if (field != published.fields_.end()) {
            if (field->second.className != child.className)
                RaiseFormError(child.line, L"'" + child.name + L"' must be a " + field->second.className +
                                               L", not a " + child.className);
            field->second.assign(c);
        }
        owned_.push_back(std::move(made));
        parent->AddChild(c);
        c->CreateHandle();
        if (c->Handle())
            SendMessageW(c->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(c->FontHandle()), FALSE);
        if (const FormProperty* v = child.Find(L"Visible"); v && !v->IsTrue())
            ShowWindow(c->Handle(), SW_HIDE);
        if (const FormProperty* e = child.Find(L"Enabled"); e && !e->IsTrue())
            EnableWindow(c->Handle(), FALSE);
        if (TWinControl* container = c->AsContainer(); container && c->TableEntry().holdsControls) {
            Populate(container, child, published);
            OrderTabs(container);
        }
    }
}

// The dialog manager walks siblings in z-order, so z-order follows the tab order.
void TForm::OrderTabs(TWinControl* parent) {
    std::vector<TControl*> ordered;
    for (TControl* c : parent->Controls())
        if (c->TabOrder() >= 0) ordered.push_back(c);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](TControl* a, TControl* b) { return a->TabOrder() < b->TabOrder(); });
    // Windows already in place are left alone: each move is a round trip to the window server.
    HWND after = HWND_TOP;
    for (TControl* c : ordered) {
        const HWND h = c->Handle();
        const HWND before = GetWindow(h, GW_HWNDPREV);
        if (after == HWND_TOP ? before != nullptr : before != after)
            SetWindowPos(h, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        after = h;
    }
}
