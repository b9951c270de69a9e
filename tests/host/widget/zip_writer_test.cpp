#include "zip_writer.h"

#include <gtest/gtest.h>

#include <random>

#include "test_support.h"

namespace kavorin::wgt {
namespace {

using test::ReadZip;

std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(gen() & 0xFF);
    return s;
}

TEST(ZipWriter, EveryEntryIsDeflatedWithFixedHeadersAndNoExtras) {
    const std::string text = "hello hello hello hello widget\n";
    const std::string noise = RandomBytes(3000, 7);  // deflate cannot shrink it; still method 8
    ZipWriter zip;
    zip.AddFile("config.xml", text);
    zip.AddDirectory("css/");
    zip.AddFile("css/noise.bin", noise);
    zip.AddFile("empty.txt", "");
    const std::string archive = zip.Finish();

    const auto entries = ReadZip(archive);
    ASSERT_EQ(entries.size(), 4u);
    const char* names[] = {"config.xml", "css/", "css/noise.bin", "empty.txt"};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& e = entries[i];
        SCOPED_TRACE(e.name);
        EXPECT_EQ(e.name, names[i]);  // archive order is insertion order
        EXPECT_EQ(e.method, 8);
        EXPECT_EQ(e.flags, 0) << "no data descriptor, no encryption, no UTF-8 flag";
        EXPECT_EQ(e.versionNeeded, 20);
        EXPECT_EQ(e.time, 0);
        EXPECT_EQ(e.date, ((2020 - 1980) << 9) | (1 << 5) | 1);
        EXPECT_EQ(e.localExtraLength, 0);
        EXPECT_EQ(e.centralExtraLength, 0);
        EXPECT_EQ(e.commentLength, 0);
        EXPECT_TRUE(e.followedBySignature);
    }
    EXPECT_EQ(entries[0].data, text);
    EXPECT_EQ(entries[2].data, noise);
    EXPECT_GT(entries[2].compressedSize, entries[2].size)
        << "incompressible data must not fall back to stored";
    EXPECT_EQ(entries[1].compressed, std::string("\x03\x00", 2)) << "the empty directory deflates to 03 00";
    EXPECT_EQ(entries[3].compressed, std::string("\x03\x00", 2));
    EXPECT_EQ(entries[1].externalAttributes & 0x10u, 0x10u) << "directory bit";
    EXPECT_EQ(entries[1].externalAttributes >> 16, 040755u);
    EXPECT_EQ(entries[0].externalAttributes >> 16, 0100644u);
}

TEST(ZipWriter, SameInputSameBytesAndTimeOnlyTouchesHeaders) {
    auto build = [](DosTime t) {
        ZipWriter zip(t);
        zip.AddFile("a.txt", "alpha");
        zip.AddDirectory("d/");
        return zip.Finish();
    };
    const std::string first = build(kPackageTime);
    EXPECT_EQ(first, build(kPackageTime));

    const DosTime other = MakeDosTime(2031, 12, 24, 13, 45, 58);
    const std::string later = build(other);
    ASSERT_EQ(later.size(), first.size());
    const auto entries = ReadZip(later);
    for (const auto& e : entries) {
        EXPECT_EQ(e.time, (13 << 11) | (45 << 5) | 29);
        EXPECT_EQ(e.date, ((2031 - 1980) << 9) | (12 << 5) | 24);
    }
    std::size_t differing = 0;
    for (std::size_t i = 0; i < first.size(); ++i) differing += first[i] != later[i];
    EXPECT_LE(differing, 4u * 4u) << "only the time/date fields of the 2 local and 2 central headers";
}

TEST(ZipWriter, RefusesWhatWouldMakeABrokenArchive) {
    ZipWriter zip;
    zip.AddFile("a", "1");
    EXPECT_THROW(zip.AddFile("a", "2"), std::invalid_argument);
    EXPECT_THROW(zip.AddFile("dir/", ""), std::invalid_argument);
    EXPECT_THROW(zip.AddFile("", "x"), std::invalid_argument);
    EXPECT_THROW(zip.AddDirectory("dir"), std::invalid_argument);
    EXPECT_THROW(zip.AddFile("/etc/passwd", "x"), std::invalid_argument);
    zip.Finish();
    EXPECT_THROW(zip.AddFile("b", "x"), std::logic_error);
    EXPECT_THROW(zip.Finish(), std::logic_error);

    EXPECT_THROW(MakeDosTime(1979, 12, 31, 0, 0, 0), std::invalid_argument);
    EXPECT_THROW(MakeDosTime(2108, 1, 1, 0, 0, 0), std::invalid_argument);
    EXPECT_THROW(MakeDosTime(2020, 13, 1, 0, 0, 0), std::invalid_argument);
}

}  // namespace
}  // namespace kavorin::wgt
