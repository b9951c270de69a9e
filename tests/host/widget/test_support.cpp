#include "test_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <zlib.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace kavorin::wgt::test {
namespace fs = std::filesystem;

fs::path TestKeysDir() { return KAVORIN_TESTKEYS_DIR; }
fs::path WidgetAppDir() { return KAVORIN_WIDGET_APP_DIR; }

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + file.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& file, std::string_view data) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "wgt-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

namespace {

std::uint16_t Get16(std::string_view s, std::size_t at) {
    if (at + 2 > s.size()) throw std::out_of_range("zip: truncated");
    return static_cast<std::uint16_t>(static_cast<unsigned char>(s[at]) |
                                      (static_cast<unsigned char>(s[at + 1]) << 8));
}

std::uint32_t Get32(std::string_view s, std::size_t at) {
    return Get16(s, at) | (static_cast<std::uint32_t>(Get16(s, at + 2)) << 16);
}

std::string InflateRaw(std::string_view packed, std::size_t expected) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) throw std::runtime_error("inflateInit2");
    std::string out(expected + 1, '\0');  // one spare byte reveals a stream that is too long
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    z.avail_in = static_cast<uInt>(packed.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_FINISH);
    const std::size_t produced = out.size() - z.avail_out;
    const bool consumedAll = z.avail_in == 0;
    inflateEnd(&z);
    if (rc != Z_STREAM_END || !consumedAll) throw std::runtime_error("inflate: bad deflate stream");
    out.resize(produced);
    return out;
}

}  // namespace

std::vector<ZipEntryView> ReadZip(std::string_view zip) {
    std::vector<ZipEntryView> entries;
    if (zip.size() < 22) {
        ADD_FAILURE() << "archive too short";
        return entries;
    }
    const std::size_t eocd = zip.size() - 22;  // we never write a comment
    EXPECT_EQ(Get32(zip, eocd), 0x06054b50u) << "end record not at the very end";
    const std::uint16_t count = Get16(zip, eocd + 10);
    EXPECT_EQ(Get16(zip, eocd + 8), count);
    const std::uint32_t cdSize = Get32(zip, eocd + 12);
    const std::uint32_t cdOffset = Get32(zip, eocd + 16);
    EXPECT_EQ(std::size_t{cdOffset} + cdSize, eocd)
        << "central directory must end where the end record starts";

    std::size_t at = cdOffset;
    for (std::uint16_t i = 0; i < count; ++i) {
        ZipEntryView e;
        EXPECT_EQ(Get32(zip, at), 0x02014b50u);
        e.versionNeeded = Get16(zip, at + 6);
        e.flags = Get16(zip, at + 8);
        e.method = Get16(zip, at + 10);
        e.time = Get16(zip, at + 12);
        e.date = Get16(zip, at + 14);
        e.crc = Get32(zip, at + 16);
        e.compressedSize = Get32(zip, at + 20);
        e.size = Get32(zip, at + 24);
        const std::uint16_t nameLength = Get16(zip, at + 28);
        e.centralExtraLength = Get16(zip, at + 30);
        e.commentLength = Get16(zip, at + 32);
        e.externalAttributes = Get32(zip, at + 38);
        e.localOffset = Get32(zip, at + 42);
        e.name = std::string(zip.substr(at + 46, nameLength));
        at += 46 + nameLength + e.centralExtraLength + e.commentLength;

        // The local header must repeat the central one exactly.
        const std::size_t lh = e.localOffset;
        EXPECT_EQ(Get32(zip, lh), 0x04034b50u) << e.name;
        EXPECT_EQ(Get16(zip, lh + 4), e.versionNeeded) << e.name;
        EXPECT_EQ(Get16(zip, lh + 6), e.flags) << e.name;
        EXPECT_EQ(Get16(zip, lh + 8), e.method) << e.name;
        EXPECT_EQ(Get16(zip, lh + 10), e.time) << e.name;
        EXPECT_EQ(Get16(zip, lh + 12), e.date) << e.name;
        EXPECT_EQ(Get32(zip, lh + 14), e.crc) << e.name;
        EXPECT_EQ(Get32(zip, lh + 18), e.compressedSize) << e.name;
        EXPECT_EQ(Get32(zip, lh + 22), e.size) << e.name;
        EXPECT_EQ(Get16(zip, lh + 26), nameLength) << e.name;
        e.localExtraLength = Get16(zip, lh + 28);
        EXPECT_EQ(zip.substr(lh + 30, nameLength), e.name);
        const std::size_t dataAt = lh + 30 + nameLength + e.localExtraLength;
        e.compressed = std::string(zip.substr(dataAt, e.compressedSize));
        const std::size_t after = dataAt + e.compressedSize;
        const std::uint32_t next = Get32(zip, after);
        e.followedBySignature = next == 0x04034b50u || next == 0x02014b50u;
        if (e.method == 8) {
            e.data = InflateRaw(e.compressed, e.size);
            EXPECT_EQ(e.data.size(), e.size) << e.name;
            EXPECT_EQ(
                crc32(0L, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size())),
                e.crc)
                << e.name;
        }
        entries.push_back(std::move(e));
    }
    EXPECT_EQ(at, eocd);
    return entries;
}

int RunOpenssl(const std::string& args) {
    const std::string command = "openssl " + args + " >/dev/null 2>&1";
    return std::system(command.c_str());
}

}  // namespace kavorin::wgt::test
