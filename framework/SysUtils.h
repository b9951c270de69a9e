// Runtime helpers for files and folders, under the names the program is written with.
// windows.h defines DeleteFile as a macro for DeleteFileW. We keep our declaration out of its
// reach (push/undef/pop), and also declare Sysutils::DeleteFileW, so a call written
// Sysutils::DeleteFile(...) still lands here in a unit where the macro is in force.
#pragma once

#include <windows.h>

#include <source_location>
#include <type_traits>

#include "Exception.h"
#include "UnicodeString.h"

namespace Sysutils {

// True when `fileName` names an existing file. Links are followed: a link counts only when its
// target exists and is a file. A directory is not a file.
bool FileExists(UnicodeString fileName) noexcept;

#pragma push_macro("DeleteFile")
#undef DeleteFile
// Deletes the file; false when it could not be deleted. Never raises.
bool DeleteFile(UnicodeString fileName) noexcept;
#pragma pop_macro("DeleteFile")

inline bool DeleteFileW(UnicodeString fileName) noexcept {
#pragma push_macro("DeleteFile")
#undef DeleteFile
    return DeleteFile(std::move(fileName));
#pragma pop_macro("DeleteFile")
}

// Creates one folder; false when it could not be created (it exists already, no rights...).
bool CreateDir(UnicodeString dirName) noexcept;

// The system's text for an error code, without the trailing line end; never empty.
UnicodeString SysErrorMessage(DWORD error);

// The one way a failed system call is raised: what was attempted, the system's own text for
// `error` after it, and where (the error box shows the place below the text).
//   if (!hwnd) Sysutils::RaiseSystemError(L"Cannot create the label " + name);
template <typename E = EOSError>
[[noreturn]] void RaiseSystemError(const UnicodeString& attempted, DWORD error,
                                   const std::source_location& where = std::source_location::current()) {
    const UnicodeString text = attempted + L". " + SysErrorMessage(error);
    if constexpr (std::is_base_of_v<EFCreateError, E>)
        throw E(text, error, where);
    else
        throw E(text, where);
}

// The same for the calling thread's last error. Build `attempted` from text only: a system call
// made while building it could change the error.
template <typename E = EOSError>
[[noreturn]] void RaiseLastError(const UnicodeString& attempted,
                                 const std::source_location& where = std::source_location::current()) {
    RaiseSystemError<E>(attempted, ::GetLastError(), where);
}

}  // namespace Sysutils
