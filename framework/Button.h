// Push button (the stock BUTTON control); OnClick fires when it is pressed.
#pragma once

#include "Control.h"

class TButton : public TControl {
public:
    using TControl::TControl;
    static constexpr const wchar_t* ClassName = L"TButton";
    const ClassSpec& Spec() const override;
    bool Apply(Prop id, const FormProperty& p) override;
    void CreateHandle() override;
    bool OnCommand(WORD code) override;
};
