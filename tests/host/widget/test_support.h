// Helpers shared by the widget packager's tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kavorin::wgt::test {

std::filesystem::path TestKeysDir();
std::filesystem::path WidgetAppDir();
std::string ReadFile(const std::filesystem::path& file);
void WriteFile(const std::filesystem::path& file, std::string_view data);

// A fresh directory under the system temp folder, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path; }

private:
    std::filesystem::path path;
};

// One entry as read back from an archive by an independent little reader.
struct ZipEntryView {
    std::string name;
    std::uint16_t versionNeeded = 0, flags = 0, method = 0, time = 0, date = 0;
    std::uint16_t localExtraLength = 0, centralExtraLength = 0, commentLength = 0;
    std::uint32_t crc = 0, compressedSize = 0, size = 0, externalAttributes = 0, localOffset = 0;
    std::string compressed;            // raw deflate stream as stored
    std::string data;                  // inflated
    bool followedBySignature = false;  // next bytes after the data are a header: no data descriptor
};

// Parses the central directory and each local header; fails the current test on any mismatch.
std::vector<ZipEntryView> ReadZip(std::string_view archive);

// Runs `openssl` with args (a test-only convenience for making odd keys); returns its exit code.
int RunOpenssl(const std::string& args);

}  // namespace kavorin::wgt::test
