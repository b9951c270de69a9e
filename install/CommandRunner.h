// Runs one command line as a hidden child process and waits for it while the window lives on.
#pragma once

#include "UnicodeString.h"
#include "UniqueHandle.h"

// Starts `commandLine` (hidden, no handles inherited, in the program's environment and current
// directory) and returns when the child has ended. The line begins with "cmd.exe ", and the
// system folder's cmd.exe runs it; a line that names another program is not started.
// Meanwhile every window message is dispatched, so the window repaints and its handlers run. It
// also returns when the application is asked to quit meanwhile (the child's whole tree is ended
// first) or when the wait fails, and at once when the child cannot be started. Nothing is
// reported in any case.
void RunCommandAndWait(UnicodeString commandLine);

// How a bounded run of one command ended.
enum class CommandEnd {
    Ended,        // the child ended by itself (or the wait failed)
    NotStarted,   // the child could not be started
    BoundRanOut,  // it ran longer than its bound: its whole tree was ended
    Quit,         // the application is quitting: its whole tree was ended
};

// The same wait, bounded: once `boundMs` have passed since the start (INFINITE: never), and as
// soon as the application is asked to quit while it runs, the child's whole tree is ended (the command interpreter,
// the client and whatever the client started for this command) and the call returns once it is
// gone. A command started once the application was quitting runs to its end or its bound. A
// tree that ends by itself may leave what it started running (the SDK client's background
// server). The tree is a job object per command; where the system refuses one, the
// interpreter's descendants are found by their parent's process id.
// With `errorStream` (a file handle of the caller's, or null), the child's error stream goes
// there and that handle is the only one it inherits; its other standard streams are none. When
// the handle cannot be passed on, the child still runs, with no error stream.
CommandEnd RunCommandWithin(UnicodeString commandLine, DWORD boundMs, HANDLE errorStream = nullptr);

// Tests play a system that refuses a job for the child (an older Windows whose installer already
// runs in a job that forbids nesting), so that the tree is found by parent id. Returns the
// previous setting.
bool SetRunnerJobsRefusedForTests(bool refused) noexcept;
