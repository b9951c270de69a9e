// The application object: the message loop, the main form, and the one place errors are shown.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

#include "Exception.h"
#include "Form.h"

class TApplication : public TComponent {
public:
    TApplication();
    ~TApplication() override;

    void Initialize();
    bool MainFormOnTaskBar = false;
    UnicodeString Title = L"KAVORIN Tizen Installer";

    // Constructs the form, makes the first one the main form, then runs its OnCreate.
    template <typename T>
    void CreateForm(T*& ref) {
        auto form = std::make_unique<T>(this);
        ref = form.get();
        TForm* raw = form.get();
        forms_.push_back(std::move(form));
        if (!mainForm_) mainForm_ = raw;
        try {
            raw->DoCreate();
        } catch (...) {
            HandleException();
        }
    }

    void Run();
    void ProcessMessages();
    bool Terminated() const noexcept { return terminated_; }
    void Terminate();
    TForm* MainForm() const noexcept { return mainForm_; }
    HINSTANCE Instance() const noexcept { return instance_; }

    // The error box: the message only. Where the error was raised goes to the debugger output
    // (OutputDebugString), for developers, never into the box.
    void ShowException(const Exception& e);
    // Shows the exception in flight (call from a catch block); never throws.
    void HandleException() noexcept;
    // Destroys the forms; called once Run has returned.
    void DestroyForms();
    // Lets a test start over with a new main form after the previous one was closed.
    void ResetForTests();

    // For tests: called with every message box text instead of showing it, when set.
    std::function<void(const UnicodeString& text, bool error)> MessageHook;
    // For tests: called with every question's text instead of asking it, when set; its result is
    // the answer (true: Yes).
    std::function<bool(const UnicodeString& text)> QuestionHook;
    // The window a message box belongs to: the main form while it is shown.
    HWND BoxOwner() const;

private:
    bool HandleOne(MSG& msg);  // the one path: pre-translate, dialog keys, translate, dispatch
    std::vector<std::unique_ptr<TForm>> forms_;
    TForm* mainForm_ = nullptr;
    HINSTANCE instance_ = nullptr;
    bool terminated_ = false;
};

extern TApplication* Application;

// Modal message box with an OK button.
void ShowMessage(const UnicodeString& text);
// The same with the error icon, for what went wrong.
void ShowErrorMessage(const UnicodeString& text);
// Modal question with two buttons captioned `yes` and `no` (in the window's language, whatever
// the system's); with `error`, the error icon. True when the user chose `yes`.
bool AskYesNo(const UnicodeString& text, const UnicodeString& yes, const UnicodeString& no, bool error);
