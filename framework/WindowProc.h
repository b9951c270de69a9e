// Where windows are made and where their messages arrive.
//
// Every window of the program is created by CreateControlWindow from a WindowArgs. Windows of
// our own classes (form, frames, labels) get the wrapper at WM_NCCREATE; stock controls (edit,
// buttons, progress bar) are subclassed right after creation. Either way the wrapper is unbound
// at WM_NCDESTROY, the last message. Messages are cracked once, in WindowProc, into the typed
// virtuals of TControl; notifications a stock control sends its parent go back to the wrapper of
// the control that sent them. No exception leaves a window procedure: the application shows it.
#pragma once

#include <windows.h>

#include <string>

class TControl;

// Window classes of our own.
inline constexpr const wchar_t* kFormClass = L"KavorinForm";
inline constexpr const wchar_t* kGroupClass = L"KavorinGroup";
inline constexpr const wchar_t* kLabelClass = L"KavorinLabel";

struct WindowArgs {
    const wchar_t* className = nullptr;
    std::wstring text = {};
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
    RECT bounds{};  // left, top, right, bottom in device pixels
    HWND parent = nullptr;
    // The wrapper to bind; null for a window that has none (a radio group's items).
    TControl* control = nullptr;
    // What the window is, for the error when it cannot be made ("the label statusLbl").
    std::wstring what = {};
};

// Creates the window and binds it to its wrapper. Raises EOSError naming what could not be made,
// with the system's reason.
HWND CreateControlWindow(const WindowArgs& args);

// The wrapper bound to `hwnd`, or null.
TControl* WrapperOf(HWND hwnd);

struct WindowProc {
    // The procedure of our own classes.
    static LRESULT CALLBACK Own(HWND, UINT, WPARAM, LPARAM);
    // The subclass procedure of the stock controls.
    static LRESULT CALLBACK Stock(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

private:
    // The cracker: true when `control` answered `msg`, with the result.
    static bool Crack(TControl& control, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
    static bool CrackOwn(TControl& control, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
};
