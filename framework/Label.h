// Text drawn by the control itself with DrawTextW, so alignment, wrapping and colour are exact.
// An auto-sized label takes the size of its text (a wrapping one keeps its width). Labels take no
// mouse input, like their platform namesakes.
#pragma once

#include "Control.h"

class TLabel : public TControlClass<TLabel, TControl> {
public:
    using TControlClass::TControlClass;
    static constexpr const wchar_t* ClassName = L"TLabel";
    bool Apply(Prop id, const FormProperty& p) override;

    TAlignment Alignment() const noexcept { return alignment_; }
    TTextLayout Layout() const noexcept { return layout_; }
    bool WordWrap() const noexcept { return wordWrap_; }
    bool AutoSize() const noexcept { return autoSize_; }
    UINT DrawFlags() const;

    void CreateHandle() override;
    void ApplyScale() override;
    bool PaintsItself() const override { return true; }
    void Paint(HDC dc) override;
    void TextChanged() override;
    bool TransparentToMouse() const override { return true; }

private:
    void AdjustSize();
    TAlignment alignment_ = TAlignment::taLeftJustify;
    TTextLayout layout_ = TTextLayout::tlTop;
    bool wordWrap_ = false;
    bool autoSize_ = true;
    bool transparent_ = false;
};
