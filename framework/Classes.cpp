#include "Classes.h"

#include <iterator>
#include <string>

#include "SysUtils.h"
#include "UniqueHandle.h"

namespace {

constexpr WORD kResourceLanguage = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);  // 1033

// The full path, so the error box says where the program tried to write.
UnicodeString FullPath(const UnicodeString& fileName) {
    wchar_t buffer[MAX_PATH * 2];
    const DWORD n =
        ::GetFullPathNameW(fileName.c_str(), static_cast<DWORD>(std::size(buffer)), buffer, nullptr);
    if (n == 0 || n >= std::size(buffer)) return fileName;
    return UnicodeString(std::wstring(buffer, n));
}

UnicodeString Quoted(const UnicodeString& fileName) {
    return UnicodeString(L"\"") + FullPath(fileName) + L"\"";
}

}  // namespace

TResourceStream::TResourceStream(HINSTANCE instance, UnicodeString name, const wchar_t* type) {
    HRSRC info = ::FindResourceExW(instance, type, name.c_str(), kResourceLanguage);
    HGLOBAL loaded = info ? ::LoadResource(instance, info) : nullptr;
    if (!loaded) Sysutils::RaiseLastError<EResNotFound>(UnicodeString(L"Resource ") + name + L" not found");
    size_ = ::SizeofResource(instance, info);
    data_ = ::LockResource(loaded);
    if (!data_ && size_ != 0)
        Sysutils::RaiseLastError<EResNotFound>(UnicodeString(L"Resource ") + name + L" not found");
}

void TResourceStream::SaveToFile(UnicodeString fileName) const {
    const HANDLE created = ::CreateFileW(fileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        Sysutils::RaiseSystemError<EFCreateError>(UnicodeString(L"Cannot create file ") + Quoted(fileName),
                                                  error);
    }
    UniqueFile file(created);
    auto fail = [&](DWORD error, const std::source_location& where = std::source_location::current()) {
        file.reset();
        ::DeleteFileW(fileName.c_str());  // a payload cut short is of no use to anybody
        Sysutils::RaiseSystemError<EWriteError>(UnicodeString(L"Stream write error: ") + Quoted(fileName),
                                                error, where);
    };
    if (size_ > MAXDWORD) fail(ERROR_FILE_TOO_LARGE);
    // One WriteFile for the whole resource; the count written must be all of it.
    const DWORD size = static_cast<DWORD>(size_);
    DWORD written = 0;
    if (!::WriteFile(file.get(), data_, size, &written, nullptr)) fail(::GetLastError());
    if (written != size) fail(ERROR_HANDLE_DISK_FULL);
    // Closing can report a late write error (network folders): that file is not whole either.
    if (!::CloseHandle(file.release())) fail(::GetLastError());
}
