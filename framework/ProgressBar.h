// Progress bar (the stock msctls_progress32 control) from Min to Max.
#pragma once

#include "Control.h"

class TProgressBar : public TControlClass<TProgressBar, TControl> {
public:
    using TControlClass::TControlClass;
    static constexpr const wchar_t* ClassName = L"TProgressBar";
    bool Apply(Prop id, const FormProperty& p) override;

    int Max() const noexcept { return max_; }
    int Position() const noexcept { return position_; }
    // Clamped to Min..Max.
    void SetPosition(int position);
    void CreateHandle() override;

private:
    int min_ = 0, max_ = 100, position_ = 0;
};
