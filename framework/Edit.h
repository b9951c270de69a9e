// Single-line edit (the stock EDIT control). OnKeyPress sees each typed character and may
// replace it by 0 to drop it.
#pragma once

#include "Control.h"
#include "UniqueHandle.h"

class TEdit : public TControlClass<TEdit, TControl> {
public:
    using TControlClass::TControlClass;
    static constexpr const wchar_t* ClassName = L"TEdit";
    bool Apply(Prop id, const FormProperty& p) override;
    bool SetOnKeyPress(TKeyPressEvent handler) override;

    TKeyPressEvent OnKeyPress;
    TAlignment Alignment() const noexcept { return alignment_; }

    void CreateHandle() override;
    void OnChar(wchar_t& key) override;
    HBRUSH OnColor(HDC dc) override;

private:
    TAlignment alignment_ = TAlignment::taLeftJustify;
    int maxLength_ = 0;
};
