// A frame of radio buttons. ItemIndex is the checked item (-1: none); OnClick fires when the user
// checks another. The buttons are stock windows of the frame with no wrapper of their own; the
// frame answers their notifications and colours.
#pragma once

#include <vector>

#include "GroupBox.h"

class TRadioGroup : public TControlClass<TRadioGroup, TGroupBox> {
public:
    using TControlClass::TControlClass;
    static constexpr const wchar_t* ClassName = L"TRadioGroup";
    bool Apply(Prop id, const FormProperty& p) override;

    const std::vector<UnicodeString>& Items() const noexcept { return items_; }
    int ItemIndex() const noexcept { return itemIndex_; }
    HWND ItemHandle(int index) const;

    void CreateHandle() override;
    void ApplyScale() override;
    bool OnItemCommand(HWND item, WORD code) override;
    HBRUSH OnItemColor(HWND item, HDC dc) override;

private:
    void BuildButtons();
    void ArrangeButtons();
    void UpdateChecks();
    std::vector<UnicodeString> items_;
    std::vector<HWND> buttons_;
    int columns_ = 1;
    int itemIndex_ = -1;
};
