// Push button with a picture left of its caption. The picture comes from a bitmap resource named
// in the form description (Glyph), scaled to the DPI in an image list the form owns.
#pragma once

#include <string>

#include "Button.h"

class TBitBtn : public TControlClass<TBitBtn, TButton> {
public:
    using TControlClass::TControlClass;
    static constexpr const wchar_t* ClassName = L"TBitBtn";
    bool Apply(Prop id, const FormProperty& p) override;
    void CreateHandle() override;
    void ApplyScale() override;

private:
    std::wstring glyph_;
};
