// One move-only owner for every kind of handle: processes, threads, files, GDI objects.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <utility>

// Null is the invalid value; files, whose invalid value differs, have UniqueFile below.
template <typename T, auto Close>
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
    explicit operator bool() const noexcept { return handle_ != invalid(); }
    T release() noexcept { return std::exchange(handle_, invalid()); }
    void reset(T handle = invalid()) noexcept {
        T old = std::exchange(handle_, handle);
        if (old != invalid()) Close(old);
    }
    T* put() noexcept { reset(); return &handle_; }

private:
    static constexpr T invalid() noexcept { return T{}; }
    T handle_ = invalid();
};

namespace handle_detail {
inline void CloseKernel(HANDLE h) { ::CloseHandle(h); }
inline void DeleteGdi(HGDIOBJ h) { ::DeleteObject(h); }
inline void DestroyImages(HIMAGELIST h) { ::ImageList_Destroy(h); }
inline void DestroyIconHandle(HICON h) { ::DestroyIcon(h); }
}  // namespace handle_detail

using UniqueKernelHandle = UniqueHandle<HANDLE, handle_detail::CloseKernel>;  // process, thread, event
using UniqueFont = UniqueHandle<HFONT, handle_detail::DeleteGdi>;
using UniqueBitmap = UniqueHandle<HBITMAP, handle_detail::DeleteGdi>;
using UniqueBrush = UniqueHandle<HBRUSH, handle_detail::DeleteGdi>;
using UniqueImageList = UniqueHandle<HIMAGELIST, handle_detail::DestroyImages>;
using UniqueIcon = UniqueHandle<HICON, handle_detail::DestroyIconHandle>;

// Files: INVALID_HANDLE_VALUE, not null, marks "no file".
class UniqueFile {
public:
    UniqueFile() noexcept = default;
    explicit UniqueFile(HANDLE h) noexcept : h_(h) {}
    UniqueFile(const UniqueFile&) = delete;
    UniqueFile& operator=(const UniqueFile&) = delete;
    UniqueFile(UniqueFile&& o) noexcept : h_(std::exchange(o.h_, INVALID_HANDLE_VALUE)) {}
    UniqueFile& operator=(UniqueFile&& o) noexcept {
        if (this != &o) { reset(); h_ = std::exchange(o.h_, INVALID_HANDLE_VALUE); }
        return *this;
    }
    ~UniqueFile() { reset(); }
    HANDLE get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    void reset() noexcept {
        if (*this) ::CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};
