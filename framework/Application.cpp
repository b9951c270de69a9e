#include <windows.h>
#include <commctrl.h>

#include "Dpi.h"
#include "Forms.h"

namespace {
TApplication theApplication;
}
TApplication* Application = &theApplication;

TApplication::TApplication() : TComponent(nullptr) {}

TApplication::~TApplication() = default;

void TApplication::Initialize() {
    instance_ = GetModuleHandleW(nullptr);
    dpi::MakeProcessPerMonitorAware();
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
}

// The one path every message takes, from Run and from ProcessMessages alike: the dialog
// manager first (Tab, arrow keys between radio items), then translation and dispatch.
bool TApplication::HandleOne(MSG& msg) {
    if (msg.message == WM_QUIT) {
        terminated_ = true;
        return false;
    }
    HWND top = mainForm_ ? mainForm_->Handle() : nullptr;
    if (top && IsWindow(top) && IsDialogMessageW(top, &msg)) return true;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return true;
}

void TApplication::Run() {
    if (mainForm_ && !terminated_) mainForm_->Show();
    MSG msg;
    while (!terminated_) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) break;
        if (got == 0) {
            terminated_ = true;
            break;
        }
        HandleOne(msg);
    }
}

// Dispatches everything waiting in the queue and returns. A quit request met here sets the
// terminating flag, which Run and any waiting caller look at.
void TApplication::ProcessMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) HandleOne(msg);
}

void TApplication::Terminate() {
    if (!terminated_) PostQuitMessage(0);
}

void TApplication::ShowException(const Exception& e) {
    if (MessageHook) {
        MessageHook(e.Message(), true);
        return;
    }
    HWND owner = mainForm_ && mainForm_->Handle() && IsWindowVisible(mainForm_->Handle()) ? mainForm_->Handle() : nullptr;
    MessageBoxW(owner, e.Message().c_str(), Title.c_str(), MB_OK | MB_ICONERROR);
}

void TApplication::HandleException() noexcept {
    try {
        try {
            throw;
        } catch (const Exception& e) {
            ShowException(e);
        } catch (const std::exception& e) {
            ShowException(Exception(FromUtf8(e.what())));
        } catch (...) {
            ShowException(Exception(L""));
        }
    } catch (...) {
        // Showing the error failed as well (no memory for the box): nothing more can be done.
    }
}

void TApplication::DestroyForms() {
    while (!forms_.empty()) {
        forms_.pop_back();
    }
    mainForm_ = nullptr;
}

void TApplication::ResetForTests() {
    DestroyForms();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {}
    terminated_ = false;
}

void ShowMessage(const UnicodeString& text) {
    if (Application->MessageHook) {
        Application->MessageHook(text, false);
        return;
    }
    TForm* main = Application->MainForm();
    HWND owner = main && main->Handle() && IsWindowVisible(main->Handle()) ? main->Handle() : nullptr;
    MessageBoxW(owner, text.c_str(), Application->Title.c_str(), MB_OK);
}
