#include "support/payload-layout.h"

#include <gtest/gtest.h>

namespace qv::test {
namespace {

std::uint64_t Read(const std::string& data, size_t offset, int bytes) {
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(data[offset + i]);
  return value;
}

}  // namespace

std::vector<EntryLayout> LayoutOf(const std::string& archive) {
  std::vector<EntryLayout> entries;
  if (archive.size() < 12) {
    ADD_FAILURE() << "archive too short";
    return entries;
  }
  std::uint64_t count = Read(archive, 8, 4);
  size_t at = 12;
  for (std::uint64_t i = 0; i < count; ++i) {
    EntryLayout entry;
    entry.start = at;
    if (at + 2 > archive.size()) break;
    entry.name = at + 2;
    entry.size_at = entry.name + Read(archive, at, 2);
    entry.packed_at = entry.size_at + 8;
    entry.digest = entry.packed_at + 8;
    entry.stream = entry.digest + 64;
    if (entry.stream > archive.size()) break;
    entry.size = Read(archive, entry.size_at, 8);
    entry.packed = Read(archive, entry.packed_at, 8);
    at = entry.stream + entry.packed;
    entries.push_back(entry);
  }
  if (entries.size() != count || at != archive.size()) ADD_FAILURE() << "not a well-formed archive";
  return entries;
}

void PutLittleEndian(std::string& data, size_t offset, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) data[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace qv::test
