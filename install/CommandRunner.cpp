#include "CommandRunner.h"

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "Forms.h"
#include "SystemFolder.h"

namespace {

// QS_ALLINPUT in its full form: key, mouse move and button, posted, timer, paint, sent,
// hot key, raw input, touch and pointer. Spelled out because older headers leave the last
// two out of the macro.
constexpr DWORD kWakeOnAnyInput = 0x1CFF;
// Touch and pointer input came with Windows 8; a system before it may refuse those two bits.
// Rather than treat that refusal as "the child has ended" (and start the next command while
// this one still runs), wait again without them.
constexpr DWORD kWakeOnAnyInputBeforeWindows8 = 0x04FF;

MsgWaitFunction msgWait = ::MsgWaitForMultipleObjects;

// Every command line starts with "cmd.exe". The system's own is named in full as the program,
// so that a cmd.exe beside the program or in the current folder is never the one started; a line
// that names another program, or none, is not started at all. An empty path (the system folder
// unknown) makes every start fail.
const wchar_t* Interpreter() {
    static const std::wstring path = systemfolder::PathOf(L"cmd.exe");
    return path.c_str();
}

bool StartsWithInterpreter(const std::wstring& line) {
    return ::_wcsnicmp(line.c_str(), L"cmd.exe ", 8) == 0;
}

bool RefusedTheMask() {
    const DWORD error = ::GetLastError();
    return error == ERROR_INVALID_FLAGS || error == ERROR_INVALID_PARAMETER;
}

// Sleeps until a handle is signalled, input arrives or the time is up. A system that refuses
// the full wake mask is asked again, and from then on, with the older one.
DWORD WaitForInputOr(DWORD count, const HANDLE* handles, DWORD milliseconds, DWORD& wakeMask) {
    for (;;) {
        const DWORD woke = msgWait(count, handles, FALSE, milliseconds, wakeMask);
        if (woke != WAIT_FAILED || wakeMask != kWakeOnAnyInput || !RefusedTheMask()) return woke;
        wakeMask = kWakeOnAnyInputBeforeWindows8;
    }
}

// Starts the child with `errorStream` as its error stream and the only handle it inherits: an
// inheritable copy is made for the start and closed right after it. `line` is its own copy, as
// CreateProcessW may write into it.
bool StartWithErrorStream(std::wstring line, HANDLE errorStream, PROCESS_INFORMATION& started) {
    HANDLE inheritable = nullptr;
    const HANDLE self = ::GetCurrentProcess();
    if (!::DuplicateHandle(self, errorStream, self, &inheritable, 0, TRUE, DUPLICATE_SAME_ACCESS))
        return false;
    const UniqueKernelHandle copy(inheritable);
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<unsigned char> storage(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
    if (size == 0 || !::InitializeProcThreadAttributeList(list, 1, 0, &size)) return false;
    bool ok = ::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &inheritable,
                                          sizeof inheritable, nullptr, nullptr) != 0;
    if (ok) {
        STARTUPINFOEXW startup{};
        startup.StartupInfo.cb = sizeof startup;
        startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
        startup.StartupInfo.wShowWindow = SW_HIDE;
        startup.StartupInfo.hStdError = inheritable;
        startup.lpAttributeList = list;
        ok =
            ::CreateProcessW(Interpreter(), line.data(), nullptr, nullptr, TRUE, EXTENDED_STARTUPINFO_PRESENT,
                             nullptr, nullptr, &startup.StartupInfo, &started) != 0;
    }
    ::DeleteProcThreadAttributeList(list);
    return ok;
}

}  // namespace

UniqueKernelHandle RunCommandAndWaitOrQuit(UnicodeString commandLine, HANDLE errorStream) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;  // cmd.exe gets a console of its own; keep it out of sight
    PROCESS_INFORMATION started{};

    // CreateProcessW may write into the command line, so it gets a copy of its own.
    std::wstring buffer = commandLine.str();
    if (!StartsWithInterpreter(buffer)) return {};
    const bool withErrors = errorStream && errorStream != INVALID_HANDLE_VALUE &&
                            StartWithErrorStream(buffer, errorStream, started);
    if (!withErrors) {
        if (!::CreateProcessW(Interpreter(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &started))
            return {};
    }
    UniqueKernelHandle process(started.hProcess);
    UniqueKernelHandle thread(started.hThread);  // declared last: closed first

    // Sleep until the child ends or input arrives; never poll, never time out.
    DWORD wakeMask = kWakeOnAnyInput;
    for (;;) {
        const HANDLE waitOn = process.get();
        const DWORD woke = WaitForInputOr(1, &waitOn, INFINITE, wakeMask);
        if (woke != WAIT_OBJECT_0 + 1) break;  // ended, or the wait failed
        Application->ProcessMessages();
        if (Application->Terminated()) {
            thread.reset();
            return process;  // still running, on its own from now on
        }
    }
    return {};
}

MsgWaitFunction SetRunnerWaitForTests(MsgWaitFunction wait) noexcept { return std::exchange(msgWait, wait); }

void RunCommandAndWait(UnicodeString commandLine) {
    static_cast<void>(RunCommandAndWaitOrQuit(std::move(commandLine)));
}

DWORD WaitForHandlesOrInput(DWORD count, const HANDLE* handles, DWORD milliseconds) {
    DWORD wakeMask = kWakeOnAnyInput;
    return WaitForInputOr(count, handles, milliseconds, wakeMask);
}

void DispatchMessagesFor(unsigned long milliseconds) {
    const DWORD start = ::GetTickCount();
    DWORD wakeMask = kWakeOnAnyInput;
    for (;;) {
        const DWORD spent = ::GetTickCount() - start;
        if (spent >= milliseconds) return;
        const DWORD woke = WaitForInputOr(0, nullptr, milliseconds - spent, wakeMask);
        if (woke == WAIT_FAILED) {
            ::Sleep(milliseconds - spent);  // never spin
            return;
        }
        if (woke != WAIT_OBJECT_0) return;  // the time is up
        Application->ProcessMessages();
    }
}
