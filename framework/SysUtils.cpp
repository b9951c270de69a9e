#include "SysUtils.h"

#include <string>

#include "UniqueHandle.h"

namespace Sysutils {

bool FileExists(UnicodeString fileName) noexcept {
    const DWORD attrs = ::GetFileAttributesW(fileName.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) return false;
    if (!(attrs & FILE_ATTRIBUTE_REPARSE_POINT)) return !(attrs & FILE_ATTRIBUTE_DIRECTORY);
    // A link: the attributes above are the link's own. Opening follows it to the target.
    UniqueFile target(::CreateFileW(fileName.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!target) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(target.get(), &info)) return false;
    return !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

#pragma push_macro("DeleteFile")
#undef DeleteFile
bool DeleteFile(UnicodeString fileName) noexcept { return ::DeleteFileW(fileName.c_str()) != FALSE; }
#pragma pop_macro("DeleteFile")

bool CreateDir(UnicodeString dirName) noexcept {
    return ::CreateDirectoryW(dirName.c_str(), nullptr) != FALSE;
}

UnicodeString SysErrorMessage(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (length && buffer) text.assign(buffer, length);
    if (buffer) ::LocalFree(buffer);
    while (!text.empty() &&
           (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' || text.back() == L'.'))
        text.pop_back();
    if (text.empty()) text = L"System error " + std::to_wstring(error);
    return UnicodeString(std::move(text));
}

}  // namespace Sysutils
