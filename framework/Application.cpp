#include "Application.h"

#include "Dpi.h"

namespace {
TApplication theApplication;
}
TApplication* Application = &theApplication;

TApplication::TApplication() : TComponent(nullptr) {}

TApplication::~TApplication() = default;

void TApplication::Initialize() {
    instance_ = GetModuleHandleW(nullptr);
    dpi::MakeProcessPerMonitorAware();
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
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
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

HWND TApplication::BoxOwner() const {
    HWND main = mainForm_ ? mainForm_->Handle() : nullptr;
    return main && IsWindowVisible(main) ? main : nullptr;
}

void TApplication::ShowException(const Exception& e) {
    if (!e.Where().empty()) {
        const UnicodeString trace = e.Message() + L" (" + UnicodeString(e.Where()) + L")\n";
        OutputDebugStringW(trace.c_str());
    }
    ShowErrorMessage(e.Message());
}

void TApplication::HandleException() noexcept {
    try {
        try {
            throw;
        } catch (const Exception& e) {
            ShowException(e);
        } catch (const std::bad_alloc&) {
            ShowException(Exception(L"Out of memory: the action could not be completed."));
        } catch (const std::exception& e) {
            ShowException(Exception(L"Unexpected error: " + UnicodeString(FromUtf8(e.what()))));
        } catch (...) {
            ShowException(Exception(L"Unexpected error of an unknown kind: the action was not completed."));
        }
    } catch (...) {
        // Showing the error failed as well (no memory for the box): nothing more can be done.
    }
}

// Newest first, the reverse of creation.
void TApplication::DestroyForms() {
    while (!forms_.empty()) forms_.pop_back();
    mainForm_ = nullptr;
}

void TApplication::ResetForTests() {
    DestroyForms();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {}
    terminated_ = false;
}

namespace {
void ShowBox(const UnicodeString& text, bool error) {
    if (Application->MessageHook) {
        Application->MessageHook(text, error);
        return;
    }
    MessageBoxW(Application->BoxOwner(), text.c_str(), Application->Title.c_str(),
                MB_OK | (error ? MB_ICONERROR : 0));
}

// The box's buttons take the captions given, as it is activated, before it shows; the hook
// lives for the one box.
struct ButtonCaptions {
    const wchar_t* yes;
    const wchar_t* no;
};
ButtonCaptions* captionsForBox = nullptr;

LRESULT CALLBACK CaptionButtons(int code, WPARAM wParam, LPARAM lParam) {
    ButtonCaptions* captions = captionsForBox;
    if (code == HCBT_ACTIVATE && captions) {
        const HWND box = reinterpret_cast<HWND>(wParam);
        if (GetDlgItem(box, IDYES) && GetDlgItem(box, IDNO)) {
            SetDlgItemTextW(box, IDYES, captions->yes);
            SetDlgItemTextW(box, IDNO, captions->no);
            captionsForBox = nullptr;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
}  // namespace

bool AskYesNo(const UnicodeString& text, const UnicodeString& yes, const UnicodeString& no, bool error) {
    if (Application->QuestionHook) return Application->QuestionHook(text);
    ButtonCaptions captions{yes.c_str(), no.c_str()};
    const HHOOK hook = SetWindowsHookExW(WH_CBT, CaptionButtons, nullptr, GetCurrentThreadId());
    captionsForBox = &captions;
    const int answer = MessageBoxW(Application->BoxOwner(), text.c_str(), Application->Title.c_str(),
                                   MB_YESNO | (error ? MB_ICONERROR : 0));
    captionsForBox = nullptr;
    if (hook) UnhookWindowsHookEx(hook);
    return answer == IDYES;
}

void ShowMessage(const UnicodeString& text) { ShowBox(text, false); }

void ShowErrorMessage(const UnicodeString& text) { ShowBox(text, true); }
