// The waits that keep the window answering: they sleep until a handle is signalled, window input
// arrives or the time is up (never polling), and hand the input to the application's one pump.
// The command runner waits for its child here, the TV probe and the network search for their
// sockets' events.
#pragma once

#include <windows.h>

#include <vector>

// The system's wait that every one of these sleeps in (MsgWaitForMultipleObjects). Tests put a
// stand-in here to play a system that refuses part of the wake mask; the previous one is returned.
using MsgWaitFunction = DWORD(WINAPI*)(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                                       DWORD wakeMask);
MsgWaitFunction SetMessageWaitForTests(MsgWaitFunction wait) noexcept;

// One sleeper's wake mask: all input, or, once the system has refused that, the mask of the
// systems before Windows 8 from then on.
class InputWait {
public:
    // Returns when one of `handles` is signalled (WAIT_OBJECT_0 + i), input arrives
    // (WAIT_OBJECT_0 + count), the time is up or the wait fails, as MsgWaitForMultipleObjects
    // says it. It dispatches nothing itself.
    DWORD ForHandlesOrInput(DWORD count, const HANDLE* handles, DWORD milliseconds);

private:
    bool olderMask_ = false;
};

// The same with a wake mask of its own.
DWORD WaitForHandlesOrInput(DWORD count, const HANDLE* handles, DWORD milliseconds);

// Dispatches the input that has come (Application->ProcessMessages); true when the application
// is quitting.
bool QuittingAfterDispatch();

// Lets `milliseconds` pass while dispatching every window message.
void DispatchMessagesFor(unsigned long milliseconds);

// How one sleep of a wait that keeps the window answering ended.
enum class Woke {
    Event,     // one of the events is set (others may be too)
    Served,    // window input came and was dispatched
    Time,      // `until` came
    Quitting,  // the input dispatched asked the application to quit
    Failed,    // the wait cannot be made
};
// A wait of WaitForHandlesOrInput's form, for tests to stand in for it.
using HandleWaitFunction = DWORD (*)(DWORD count, const HANDLE* handles, DWORD milliseconds);
// Sleeps in `wait` (null: WaitForHandlesOrInput) until one of `events` is set, window input
// arrives (dispatched here) or `until` (GetTickCount64) comes.
Woke SleepServingTheWindow(HandleWaitFunction wait, const std::vector<HANDLE>& events, ULONGLONG until);
