// Runs one command line as a hidden child process and waits for it while the window lives on.
#pragma once

#include "UnicodeString.h"
#include "UniqueHandle.h"

// Starts `commandLine` (hidden, no handles inherited, in the program's environment and current
// directory) and returns when the child has ended. The line begins with "cmd.exe ", and the
// system folder's cmd.exe runs it; a line that names another program is not started.
// Meanwhile every window message is dispatched, so the window repaints and its handlers run. It
// also returns when the application is quitting (the child then runs on by itself) or when the
// wait fails, and at once when the child cannot be started. Nothing is reported in any case.
void RunCommandAndWait(UnicodeString commandLine);

// The same wait; when it is left while the child still runs (the application is quitting),
// the child's process handle is handed back so the caller can give it a last moment to end.
// Otherwise the result is empty.
// With `errorStream` (a file handle of the caller's, or null), the child's error stream goes
// there and that handle is the only one it inherits; its other standard streams are none. When
// the handle cannot be passed on, the child still runs, with no error stream.
UniqueKernelHandle RunCommandAndWaitOrQuit(UnicodeString commandLine, HANDLE errorStream = nullptr);

// The system's wait that the runner sleeps in (MsgWaitForMultipleObjects). Tests put a stand-in
// here to play a system that refuses part of the wake mask; the previous one is returned.
using MsgWaitFunction = DWORD(WINAPI*)(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                                       DWORD wakeMask);
MsgWaitFunction SetRunnerWaitForTests(MsgWaitFunction wait) noexcept;

// The runner's sleep, for other waits that must keep the window answering: returns when one of
// `handles` is signalled (WAIT_OBJECT_0 + i), input arrives (WAIT_OBJECT_0 + count), the time is
// up or the wait fails, as MsgWaitForMultipleObjects says it. It dispatches nothing itself.
DWORD WaitForHandlesOrInput(DWORD count, const HANDLE* handles, DWORD milliseconds);

// Lets `milliseconds` pass while dispatching every window message, as the wait above does.
void DispatchMessagesFor(unsigned long milliseconds);
