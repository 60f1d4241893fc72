#include "support/zip-writer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>

namespace qv::test {
namespace {

void Put16(std::string& out, std::uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

// Raw deflate (no zlib header), as zip stores it.
std::string Deflate(const std::string& content) {
  z_stream stream{};
  EXPECT_EQ(deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string packed(deflateBound(&stream, static_cast<uLong>(content.size())), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
  stream.avail_in = static_cast<uInt>(content.size());
  stream.next_out = reinterpret_cast<Bytef*>(packed.data());
  stream.avail_out = static_cast<uInt>(packed.size());
  EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
  packed.resize(stream.total_out);
  deflateEnd(&stream);
  return packed;
}

}  // namespace

std::string BuildZip(const std::vector<ZipEntry>& entries) {
  std::string archive;
  std::string directory;
  for (const ZipEntry& entry : entries) {
    const bool folder = !entry.name.empty() && entry.name.back() == '/';
    const bool deflated = entry.deflated && !folder;
    const std::string data = deflated ? Deflate(entry.content) : entry.content;
    const std::uint32_t crc = static_cast<std::uint32_t>(
        crc32(0L, reinterpret_cast<const Bytef*>(entry.content.data()), static_cast<uInt>(entry.content.size())));
    const std::uint32_t offset = static_cast<std::uint32_t>(archive.size());
    const std::uint32_t method = deflated ? 8 : 0;
    // Both headers share these fields: version needed, flags (bit 11: UTF-8
    // names), method, time and date (1 January 2024), CRC, sizes, name length.
    auto common = [&](std::string& out) {
      Put16(out, 20);
      Put16(out, 0x0800);
      Put16(out, method);
      Put16(out, 0);
      Put16(out, (44 << 9) | (1 << 5) | 1);
      Put32(out, crc);
      Put32(out, static_cast<std::uint32_t>(data.size()));
      Put32(out, static_cast<std::uint32_t>(entry.content.size()));
      Put16(out, static_cast<std::uint32_t>(entry.name.size()));
    };
    Put32(archive, 0x04034b50);
    common(archive);
    Put16(archive, 0);  // extra field length
    archive += entry.name;
    archive += data;

    Put32(directory, 0x02014b50);
    Put16(directory, 20);  // version made by
    common(directory);
    Put16(directory, 0);  // extra field length
    Put16(directory, 0);  // comment length
    Put16(directory, 0);  // disk number
    Put16(directory, 0);  // internal attributes
    Put32(directory, folder ? 0x10 : 0);  // external attributes: the folder bit
    Put32(directory, offset);
    directory += entry.name;
  }
  const std::uint32_t directory_offset = static_cast<std::uint32_t>(archive.size());
  archive += directory;
  Put32(archive, 0x06054b50);
  Put16(archive, 0);
  Put16(archive, 0);
  Put16(archive, static_cast<std::uint32_t>(entries.size()));
  Put16(archive, static_cast<std::uint32_t>(entries.size()));
  Put32(archive, static_cast<std::uint32_t>(directory.size()));
  Put32(archive, directory_offset);
  Put16(archive, 0);  // comment length
  return archive;
}

}  // namespace qv::test
