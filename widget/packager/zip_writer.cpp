#include "zip_writer.h"

#include <zlib.h>

#include <limits>
#include <stdexcept>

namespace kavorin::wgt {
namespace {

constexpr std::uint16_t kVersionNeeded = 20;             // 2.0: deflate
constexpr std::uint16_t kVersionMadeBy = (3 << 8) | 20;  // host Unix, so the modes below count
constexpr std::uint16_t kMethodDeflate = 8;
constexpr std::uint32_t kFileAttributes = 0100644u << 16;
constexpr std::uint32_t kDirectoryAttributes = (040755u << 16) | 0x10;  // plus MS-DOS directory bit

void Put16(std::string& out, std::uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

std::uint32_t Checked32(std::size_t v, const char* what) {
    if (v >= std::numeric_limits<std::uint32_t>::max())
        throw std::length_error(std::string("zip: ") + what + " does not fit without zip64");
    return static_cast<std::uint32_t>(v);
}

}  // namespace

DosTime MakeDosTime(int year, int month, int day, int hour, int minute, int second) {
    if (year < 1980 || year > 2107 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 ||
        hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        throw std::invalid_argument("zip: timestamp outside the MS-DOS range");
    return DosTime{static_cast<std::uint16_t>((hour << 11) | (minute << 5) | (second / 2)),
                   static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day)};
}

std::string DeflateRaw(std::string_view data) {
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("zlib: deflateInit2 failed");
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&z, Z_FINISH);
    const std::size_t produced = out.size() - z.avail_out;
    deflateEnd(&z);
    if (rc != Z_STREAM_END) throw std::runtime_error("zlib: deflate did not finish");
    out.resize(produced);
    return out;
}

void ZipWriter::AddFile(std::string_view name, std::string_view data) {
    if (name.empty() || name.back() == '/') throw std::invalid_argument("zip: bad file name");
    AddEntry(name, data, false);
}

void ZipWriter::AddDirectory(std::string_view name) {
    if (name.size() < 2 || name.back() != '/') throw std::invalid_argument("zip: bad directory name");
    AddEntry(name, {}, true);
}

void ZipWriter::AddEntry(std::string_view name, std::string_view data, bool directory) {
    if (finished) throw std::logic_error("zip: writer already finished");
    if (name.front() == '/') throw std::invalid_argument("zip: absolute entry name");
    if (!names.emplace(name).second) throw std::invalid_argument("zip: duplicate entry " + std::string(name));
    if (names.size() > 0xFFFF) throw std::length_error("zip: too many entries without zip64");
    Checked32(data.size(), "entry size");
    if (name.size() > 0xFFFF) throw std::length_error("zip: entry name too long");
    const auto nameLength = static_cast<std::uint16_t>(name.size());

    const std::string packed = DeflateRaw(data);
    const auto crc = static_cast<std::uint32_t>(
        crc32(0L, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    const std::uint32_t offset = Checked32(archive.size(), "archive");
    const std::uint32_t packedSize = Checked32(packed.size(), "compressed size");
    const auto size = static_cast<std::uint32_t>(data.size());

    Put32(archive, 0x04034b50);
    Put16(archive, kVersionNeeded);
    Put16(archive, 0);  // flags: no data descriptor, no encryption, names are plain ASCII
    Put16(archive, kMethodDeflate);
    Put16(archive, stamp.time);
    Put16(archive, stamp.date);
    Put32(archive, crc);
    Put32(archive, packedSize);
    Put32(archive, size);
    Put16(archive, nameLength);
    Put16(archive, 0);  // no extra field
    archive += name;
    archive += packed;
    Checked32(archive.size(), "archive");

    Put32(central, 0x02014b50);
    Put16(central, kVersionMadeBy);
    Put16(central, kVersionNeeded);
    Put16(central, 0);
    Put16(central, kMethodDeflate);
    Put16(central, stamp.time);
    Put16(central, stamp.date);
    Put32(central, crc);
    Put32(central, packedSize);
    Put32(central, size);
    Put16(central, nameLength);
    Put16(central, 0);  // extra
    Put16(central, 0);  // comment
    Put16(central, 0);  // disk
    Put16(central, 0);  // internal attributes
    Put32(central, directory ? kDirectoryAttributes : kFileAttributes);
    Put32(central, offset);
    central += name;
}

std::string ZipWriter::Finish() {
    if (finished) throw std::logic_error("zip: writer already finished");
    finished = true;
    const std::uint32_t centralOffset = Checked32(archive.size(), "archive");
    const std::uint32_t centralSize = Checked32(central.size(), "central directory");
    archive += central;
    const auto count = static_cast<std::uint16_t>(names.size());
    Put32(archive, 0x06054b50);
    Put16(archive, 0);  // this disk
    Put16(archive, 0);  // disk with the central directory
    Put16(archive, count);
    Put16(archive, count);
    Put32(archive, centralSize);
    Put32(archive, centralOffset);
    Put16(archive, 0);  // no comment
    Checked32(archive.size(), "archive");
    central.clear();
    return std::move(archive);
}

}  // namespace kavorin::wgt
