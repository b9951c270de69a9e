// A frame with a caption: a container window of our own class (WS_EX_CONTROLPARENT, so Tab walks
// into it) that paints its etched edge and caption itself and passes its children's
// notifications on to them.
#pragma once

#include "Control.h"

class TGroupBox : public TControlClass<TGroupBox, TWinControl> {
public:
    using TControlClass::TControlClass;
    static constexpr const wchar_t* ClassName = L"TGroupBox";
    void CreateHandle() override;

    bool PaintsItself() const override { return true; }
    void Paint(HDC dc) override;
    void TextChanged() override;

protected:
    int CaptionHeight() const;  // scaled
};
