// A minimal zip writer for widget packages: every entry deflated (directories included), fixed
// timestamps, no extra fields, no data descriptors, no zip64. The same input gives the same
// bytes on every run (given the same zlib).
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

namespace kavorin::wgt {

struct DosTime {
    std::uint16_t time = 0;
    std::uint16_t date = 0;
};

// MS-DOS date/time as zip headers store it (two-second resolution, years 1980-2107).
DosTime MakeDosTime(int year, int month, int day, int hour, int minute, int second);

// The timestamp every entry of our packages carries: 2020-01-01 00:00:00.
inline constexpr DosTime kPackageTime{0x0000, ((2020 - 1980) << 9) | (1 << 5) | 1};

// Raw deflate (no zlib header), best compression. An empty input gives the two bytes 03 00.
std::string DeflateRaw(std::string_view data);

class ZipWriter {
public:
    explicit ZipWriter(DosTime time = kPackageTime) : stamp(time) {}

    // name: forward slashes, no leading slash; a directory name ends with '/'.
    void AddFile(std::string_view name, std::string_view data);
    void AddDirectory(std::string_view name);

    // Appends the central directory and returns the whole archive. The writer is spent after.
    std::string Finish();

private:
    void AddEntry(std::string_view name, std::string_view data, bool directory);

    DosTime stamp;
    std::string archive;
    std::string central;
    std::set<std::string, std::less<>> names;
    bool finished = false;
};

}  // namespace kavorin::wgt
