#include "Payloads.h"

#include <windows.h>

#include "Classes.h"
#include "Forms.h"
#include "SysUtils.h"

namespace {

HINSTANCE OwnModule() {
    HINSTANCE instance = Application ? Application->Instance() : nullptr;
    return instance ? instance : ::GetModuleHandleW(nullptr);
}

}  // namespace

void ExtractResourceToFile(UnicodeString fileName, UnicodeString resourceName) {
    // The stream is opened first: a missing resource raises before any file is created.
    const TResourceStream payload(OwnModule(), resourceName, RT_RCDATA);
    payload.SaveToFile(fileName);
}

void DeleteFileIfExists(UnicodeString fileName) noexcept {
    try {
        if (Sysutils::FileExists(fileName)) static_cast<void>(Sysutils::DeleteFile(fileName));
    } catch (...) {
        // A file that stays is decided by the next write of that name.
    }
}
