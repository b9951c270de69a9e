#include "CommandRunner.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "Forms.h"
#include "MessageWait.h"
#include "SystemFolder.h"

namespace {

bool jobsRefused = false;  // a test plays a system that refuses a job for the child

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

// Every child starts held (suspended) and runs only once it is in its job, so nothing it starts
// can escape the job before.
constexpr DWORD kHeld = CREATE_SUSPENDED;
constexpr DWORD kHeldWithList = CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT;
// After its tree was ended, how long a command gets to be gone (so that its files are released
// and nothing more of it reaches the error stream).
constexpr DWORD kTreeGoneMs = 3000;

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
        ok = ::CreateProcessW(Interpreter(), line.data(), nullptr, nullptr, TRUE, kHeldWithList, nullptr,
                              nullptr, &startup.StartupInfo, &started) != 0;
    }
    ::DeleteProcThreadAttributeList(list);
    return ok;
}

FILETIME CreationOf(HANDLE process) {
    FILETIME created{}, exited, kernel, user;
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) created = FILETIME{};
    return created;
}

// One command's process tree: the command interpreter and everything started below it.
class ChildTree {
public:
    // Takes in the interpreter, still held: into a job of its own where the system allows one
    // (children of a process in a job are in it too), else it is remembered for the walk by
    // parent id. The job is not killed when its handle closes: a tree that ended by itself may
    // leave the SDK client's server running, which the last command stops.
    ChildTree(HANDLE interpreter, DWORD id) : root_(interpreter), rootId_(id) {
        if (jobsRefused) return;
        UniqueKernelHandle job(::CreateJobObjectW(nullptr, nullptr));
        if (job && ::AssignProcessToJobObject(job.get(), interpreter)) job_ = std::move(job);
    }

    // Ends every process of the tree and waits (the window answering) until they are gone.
    void End() {
        if (job_) {
            ::TerminateJobObject(job_.get(), kEndedExitCode);
        } else {
            EndByParentId();
        }
        const DWORD start = ::GetTickCount();
        while (!Gone() && ::GetTickCount() - start < kTreeGoneMs) DispatchMessagesFor(5);
    }

private:
    static constexpr UINT kEndedExitCode = 1;

    // The interpreter's descendants, found by parent id, ended from the top down, then the
    // interpreter. A process counts as a child only if it started after its parent, so an id
    // the system gave again to a newer process is not taken for an old parent's. A child may
    // start another while the tree is walked: a fresh look is taken until one finds no one new.
    void EndByParentId() {
        struct Member {
            DWORD id;
            FILETIME created;
        };
        std::vector<Member> tree{{rootId_, CreationOf(root_)}};
        for (int look = 0; look < 8; ++look) {
            const UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
            if (!snapshot) break;
            std::vector<PROCESSENTRY32W> all;
            PROCESSENTRY32W entry{};
            entry.dwSize = sizeof entry;
            for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
                 more = ::Process32NextW(snapshot.get(), &entry))
                all.push_back(entry);
            bool foundNew = false;
            for (size_t parent = 0; parent < tree.size(); ++parent) {
                for (const PROCESSENTRY32W& p : all) {
                    if (p.th32ParentProcessID != tree[parent].id || p.th32ProcessID == rootId_) continue;
                    const bool known = std::any_of(tree.begin(), tree.end(),
                                                   [&](const Member& m) { return m.id == p.th32ProcessID; });
                    if (known) continue;
                    UniqueKernelHandle child(
                        ::OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE,
                                      FALSE, p.th32ProcessID));
                    if (!child) continue;
                    const FILETIME created = CreationOf(child.get());
                    if (::CompareFileTime(&created, &tree[parent].created) < 0) continue;
                    ::TerminateProcess(child.get(), kEndedExitCode);
                    tree.push_back({p.th32ProcessID, created});
                    ended_.push_back(std::move(child));
                    foundNew = true;
                }
            }
            if (!foundNew) break;
        }
        ::TerminateProcess(root_, kEndedExitCode);
    }

    bool Gone() const {
        if (::WaitForSingleObject(root_, 0) != WAIT_OBJECT_0) return false;
        if (job_) {
            JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
            return !::QueryInformationJobObject(job_.get(), JobObjectBasicAccountingInformation, &info,
                                                sizeof info, nullptr) ||
                   info.ActiveProcesses == 0;
        }
        return std::all_of(ended_.begin(), ended_.end(), [](const UniqueKernelHandle& p) {
            return ::WaitForSingleObject(p.get(), 0) == WAIT_OBJECT_0;
        });
    }

    HANDLE root_;
    DWORD rootId_;
    UniqueKernelHandle job_;
    std::vector<UniqueKernelHandle> ended_;
};

}  // namespace

CommandEnd RunCommandWithin(UnicodeString commandLine, DWORD boundMs, HANDLE errorStream) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;  // cmd.exe gets a console of its own; keep it out of sight
    PROCESS_INFORMATION started{};

    // CreateProcessW may write into the command line, so it gets a copy of its own.
    std::wstring buffer = commandLine.str();
    if (!StartsWithInterpreter(buffer)) return CommandEnd::NotStarted;
    const bool withErrors = errorStream && errorStream != INVALID_HANDLE_VALUE &&
                            StartWithErrorStream(buffer, errorStream, started);
    if (!withErrors) {
        if (!::CreateProcessW(Interpreter(), buffer.data(), nullptr, nullptr, FALSE, kHeld, nullptr, nullptr,
                              &startup, &started))
            return CommandEnd::NotStarted;
    }
    UniqueKernelHandle process(started.hProcess);
    UniqueKernelHandle thread(started.hThread);  // declared last: closed first
    ChildTree tree(process.get(), started.dwProcessId);
    ::ResumeThread(thread.get());
    thread.reset();

    // Sleep until the child ends, input arrives or the bound runs out; never poll. A command
    // started once the application was quitting (the last kill-server) is let finish.
    const bool quitBefore = Application->Terminated();
    const DWORD start = ::GetTickCount();
    InputWait sleep;
    for (;;) {
        DWORD wait = INFINITE;
        if (boundMs != INFINITE) {
            const DWORD spent = ::GetTickCount() - start;
            if (spent >= boundMs) {
                tree.End();
                return CommandEnd::BoundRanOut;
            }
            wait = boundMs - spent;
        }
        const HANDLE waitOn = process.get();
        const DWORD woke = sleep.ForHandlesOrInput(1, &waitOn, wait);
        if (woke == WAIT_TIMEOUT) continue;    // the bound, looked at above
        if (woke != WAIT_OBJECT_0 + 1) break;  // ended, or the wait failed
        if (QuittingAfterDispatch() && !quitBefore) {
            tree.End();  // left to itself, a client that never gives up would never end
            return CommandEnd::Quit;
        }
    }
    return CommandEnd::Ended;
}

bool SetRunnerJobsRefusedForTests(bool refused) noexcept { return std::exchange(jobsRefused, refused); }

void RunCommandAndWait(UnicodeString commandLine) {
    static_cast<void>(RunCommandWithin(std::move(commandLine), INFINITE));
}
