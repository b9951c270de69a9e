// The fonts, brushes, pictures and picture lists a form owns and its controls borrow: each made
// on first use and kept until the form goes, or until the DPI changes for those drawn at a size.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "Control.h"
#include "UniqueHandle.h"

class GdiCache {
public:
    using Fonts = std::vector<std::pair<TFontDesc, UniqueFont>>;

    // The font `desc` asks for at `dpi`; its colour plays no part (colour is drawn).
    HFONT FontFor(const TFontDesc& desc, int dpi);
    HBRUSH BrushFor(COLORREF color);
    // The picture `resource` stretched to `size` pixels square, in an image list.
    HIMAGELIST ImageListFor(const std::wstring& resource, int size);

    // For a new DPI: fonts and picture lists are made again as they are asked for. The old fonts
    // are handed back, for the caller to keep until every control has taken its new one.
    [[nodiscard]] Fonts Rescale();

private:
    HBITMAP BitmapFor(const std::wstring& resource);

    std::map<COLORREF, UniqueBrush> brushes_;
    Fonts fonts_;
    std::map<std::wstring, UniqueBitmap> bitmaps_;
    std::map<std::wstring, UniqueImageList> imageLists_;
};
