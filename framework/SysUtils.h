// Runtime helpers for files and folders, under the names the program is written with.
// windows.h defines DeleteFile as a macro for DeleteFileW. We keep our declaration out of its
// reach (push/undef/pop), and also declare Sysutils::DeleteFileW, so a call written
// Sysutils::DeleteFile(...) still lands here in a unit where the macro is in force.
#pragma once

#include <windows.h>

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

}  // namespace Sysutils
