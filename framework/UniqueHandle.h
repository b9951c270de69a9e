// One move-only owner for every kind of handle: processes, threads, files, GDI objects, device
// contexts and the objects selected into them.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <utility>

namespace handle_detail {
template <typename T>
constexpr T NoHandle() noexcept {
    return T{};
}
}  // namespace handle_detail

// `Invalid` gives the value that means "nothing owned": null for most kinds, INVALID_HANDLE_VALUE
// for files. A handle may be a small struct when closing needs more than one value (a window's
// DC needs its window); it then compares with ==.
template <typename T, auto Close, auto Invalid = &handle_detail::NoHandle<T>>
class UniqueHandle {
public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(T handle) noexcept : handle_(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    T get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return !(handle_ == Invalid()); }
    T release() noexcept { return std::exchange(handle_, Invalid()); }
    void reset(T handle = Invalid()) noexcept {
        T old = std::exchange(handle_, handle);
        if (!(old == Invalid())) Close(old);
    }

private:
    T handle_ = Invalid();
};

namespace handle_detail {
inline void CloseKernel(HANDLE h) { ::CloseHandle(h); }
inline HANDLE NoFile() noexcept { return INVALID_HANDLE_VALUE; }
inline void DeleteGdi(HGDIOBJ h) { ::DeleteObject(h); }
inline void DestroyImages(HIMAGELIST h) { ::ImageList_Destroy(h); }
inline void DestroyIconHandle(HICON h) { ::DestroyIcon(h); }
inline void DeleteMemoryDc(HDC h) { ::DeleteDC(h); }

struct WindowDc {
    HWND window = nullptr;
    HDC dc = nullptr;
    bool operator==(const WindowDc&) const = default;
};
inline void ReleaseWindowDc(WindowDc h) { ::ReleaseDC(h.window, h.dc); }

// What was selected before, to be selected back.
struct Selection {
    HDC dc = nullptr;
    HGDIOBJ previous = nullptr;
    bool operator==(const Selection&) const = default;
};
inline void SelectBack(Selection s) { ::SelectObject(s.dc, s.previous); }

struct Painting {
    HWND window = nullptr;
    PAINTSTRUCT* paint = nullptr;
    bool operator==(const Painting&) const = default;
};
inline void EndPainting(Painting p) { ::EndPaint(p.window, p.paint); }
}  // namespace handle_detail

using UniqueKernelHandle = UniqueHandle<HANDLE, handle_detail::CloseKernel>;  // process, thread, event
using UniqueFile = UniqueHandle<HANDLE, handle_detail::CloseKernel, handle_detail::NoFile>;
using UniqueFont = UniqueHandle<HFONT, handle_detail::DeleteGdi>;
using UniqueBitmap = UniqueHandle<HBITMAP, handle_detail::DeleteGdi>;
using UniqueBrush = UniqueHandle<HBRUSH, handle_detail::DeleteGdi>;
using UniqueImageList = UniqueHandle<HIMAGELIST, handle_detail::DestroyImages>;
using UniqueIcon = UniqueHandle<HICON, handle_detail::DestroyIconHandle>;
using UniqueMemoryDc = UniqueHandle<HDC, handle_detail::DeleteMemoryDc>;

// The DC of a window (null: the screen), released when it goes.
class WindowDc : public UniqueHandle<handle_detail::WindowDc, handle_detail::ReleaseWindowDc> {
public:
    explicit WindowDc(HWND window) : UniqueHandle({window, ::GetDC(window)}) {}
    HDC dc() const noexcept { return get().dc; }
};

// An object selected into a DC for as long as this lives; the previous one goes back after.
class SelectedObject : public UniqueHandle<handle_detail::Selection, handle_detail::SelectBack> {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : UniqueHandle({dc, ::SelectObject(dc, object)}) {}
};

// BeginPaint ... EndPaint for the lifetime of this object.
class PaintDc {
public:
    explicit PaintDc(HWND window) : dc_(::BeginPaint(window, &paint_)), end_({window, &paint_}) {}
    PaintDc(PaintDc&&) = delete;  // EndPaint is given the struct inside
    HDC dc() const noexcept { return dc_; }

private:
    PAINTSTRUCT paint_{};
    HDC dc_;
    UniqueHandle<handle_detail::Painting, handle_detail::EndPainting> end_;
};
