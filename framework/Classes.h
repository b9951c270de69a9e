// Streams over the program's own data: a resource read in place and written out to a file.
#pragma once

#include <windows.h>

#include <cstddef>

#include "Exception.h"
#include "UnicodeString.h"

// A read-only view of one resource of a module (language 1033, English (United States)).
// Nothing is copied: the bytes stay in the mapped image and need no freeing.
class TResourceStream {
public:
    // Raises EResNotFound when the module holds no such resource.
    TResourceStream(HINSTANCE instance, UnicodeString name, const wchar_t* type);
    TResourceStream(const TResourceStream&) = delete;
    TResourceStream& operator=(const TResourceStream&) = delete;

    const void* Memory() const noexcept { return data_; }
    std::size_t Size() const noexcept { return size_; }

    // Creates the file anew (an older file of that name is replaced whole) and writes every
    // byte. Raises EFCreateError when the file cannot be created and EWriteError when not all
    // bytes could be written; the message names the file and the system's reason. A file that
    // could not be written whole is removed again.
    void SaveToFile(UnicodeString fileName) const;

private:
    const void* data_ = nullptr;
    std::size_t size_ = 0;
};
