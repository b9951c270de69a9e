#include "GdiCache.h"

#include "Exception.h"
#include "SysUtils.h"

HFONT GdiCache::FontFor(const TFontDesc& desc, int dpi) {
    TFontDesc key = desc;
    key.color = 0;
    for (const auto& [k, f] : fonts_)
        if (k == key) return f.get();
    // Rounded toward zero: a font never grows faster than the box it is drawn in, so text
    // that fits at 96 DPI still fits at 144 or 192.
    const int height = desc.height * dpi / 96;
    HFONT font = CreateFontW(height, 0, 0, 0, desc.bold ? FW_BOLD : FW_NORMAL, desc.italic, desc.underline,
                             FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, desc.name.c_str());
    if (!font) Sysutils::RaiseLastError(L"Cannot create the font " + UnicodeString(desc.name));
    fonts_.emplace_back(key, UniqueFont(font));
    return font;
}

HBRUSH GdiCache::BrushFor(COLORREF color) {
    auto it = brushes_.find(color);
    if (it != brushes_.end()) return it->second.get();
    HBRUSH brush = CreateSolidBrush(color);
    brushes_[color] = UniqueBrush(brush);
    return brush;
}

HBITMAP GdiCache::BitmapFor(const std::wstring& resource) {
    auto it = bitmaps_.find(resource);
    if (it != bitmaps_.end()) return it->second.get();
    auto bmp = static_cast<HBITMAP>(
        LoadImageW(GetModuleHandleW(nullptr), resource.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!bmp)
        Sysutils::RaiseSystemError<EResNotFound>(
            L"Picture " + UnicodeString(resource) + L" not found in the program", GetLastError());
    bitmaps_[resource] = UniqueBitmap(bmp);
    return bmp;
}

HIMAGELIST GdiCache::ImageListFor(const std::wstring& resource, int size) {
    const std::wstring key = resource + L"@" + std::to_wstring(size);
    auto it = imageLists_.find(key);
    if (it != imageLists_.end()) return it->second.get();
    HBITMAP source = BitmapFor(resource);
    BITMAP info{};
    GetObjectW(source, sizeof info, &info);
    const WindowDc screen(nullptr);
    UniqueBitmap scaled(CreateCompatibleBitmap(screen.dc(), size, size));
    {
        const UniqueMemoryDc from(CreateCompatibleDC(screen.dc()));
        const UniqueMemoryDc to(CreateCompatibleDC(screen.dc()));
        const SelectedObject fromPicture(from.get(), source);
        const SelectedObject toPicture(to.get(), scaled.get());
        SetStretchBltMode(to.get(), HALFTONE);
        StretchBlt(to.get(), 0, 0, size, size, from.get(), 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    }
    UniqueImageList list(ImageList_Create(size, size, ILC_COLOR32, 1, 0));
    if (!list) Sysutils::RaiseLastError(L"Cannot create the picture list");
    ImageList_Add(list.get(), scaled.get(), nullptr);
    HIMAGELIST made = list.get();
    imageLists_[key] = std::move(list);
    return made;
}

GdiCache::Fonts GdiCache::Rescale() {
    Fonts old = std::move(fonts_);
    fonts_.clear();
    imageLists_.clear();
    return old;
}
