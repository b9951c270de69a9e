#include "MessageWait.h"

#include <algorithm>
#include <utility>

#include "Application.h"

namespace {

// QS_ALLINPUT in its full form: key, mouse move and button, posted, timer, paint, sent,
// hot key, raw input, touch and pointer. Spelled out because older headers leave the last
// two out of the macro.
constexpr DWORD kWakeOnAnyInput = 0x1CFF;
// Touch and pointer input came with Windows 8; a system before it may refuse those two bits.
// Rather than take that refusal for "a handle is signalled" (and start the next command while
// this one still runs), wait again without them.
constexpr DWORD kWakeOnAnyInputBeforeWindows8 = 0x04FF;

MsgWaitFunction msgWait = ::MsgWaitForMultipleObjects;

bool RefusedTheMask() {
    const DWORD error = ::GetLastError();
    return error == ERROR_INVALID_FLAGS || error == ERROR_INVALID_PARAMETER;
}

}  // namespace

MsgWaitFunction SetMessageWaitForTests(MsgWaitFunction wait) noexcept { return std::exchange(msgWait, wait); }

DWORD InputWait::ForHandlesOrInput(DWORD count, const HANDLE* handles, DWORD milliseconds) {
    for (;;) {
        const DWORD wakeMask = olderMask_ ? kWakeOnAnyInputBeforeWindows8 : kWakeOnAnyInput;
        const DWORD woke = msgWait(count, handles, FALSE, milliseconds, wakeMask);
        if (woke != WAIT_FAILED || olderMask_ || !RefusedTheMask()) return woke;
        olderMask_ = true;
    }
}

DWORD WaitForHandlesOrInput(DWORD count, const HANDLE* handles, DWORD milliseconds) {
    return InputWait().ForHandlesOrInput(count, handles, milliseconds);
}

bool QuittingAfterDispatch() {
    Application->ProcessMessages();
    return Application->Terminated();
}

void DispatchMessagesFor(unsigned long milliseconds) {
    const DWORD start = ::GetTickCount();
    InputWait wait;
    for (;;) {
        const DWORD spent = ::GetTickCount() - start;
        if (spent >= milliseconds) return;
        const DWORD woke = wait.ForHandlesOrInput(0, nullptr, milliseconds - spent);
        if (woke == WAIT_FAILED) {
            ::Sleep(milliseconds - spent);  // never spin
            return;
        }
        if (woke != WAIT_OBJECT_0) return;  // the time is up
        Application->ProcessMessages();
    }
}

Woke SleepServingTheWindow(HandleWaitFunction wait, const std::vector<HANDLE>& events, ULONGLONG until) {
    const ULONGLONG now = ::GetTickCount64();
    const DWORD count = DWORD(events.size());
    const DWORD ms = DWORD(std::min<ULONGLONG>(until > now ? until - now : 0, INFINITE - 1));
    const DWORD woke = (wait ? wait : WaitForHandlesOrInput)(count, events.data(), ms);
    if (woke == WAIT_OBJECT_0 + count) return QuittingAfterDispatch() ? Woke::Quitting : Woke::Served;
    if (woke < WAIT_OBJECT_0 + count) return Woke::Event;
    return woke == WAIT_FAILED ? Woke::Failed : Woke::Time;
}
