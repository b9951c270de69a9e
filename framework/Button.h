// Push button (the stock BUTTON control); OnClick fires when it is pressed.
#pragma once

#include "Control.h"

class TButton : public TControlClass<TButton, TControl> {
public:
    using TControlClass::TControlClass;
    static constexpr const wchar_t* ClassName = L"TButton";
    bool Apply(Prop id, const FormProperty& p) override;
    void CreateHandle() override;
    bool OnCommand(WORD code) override;
};
