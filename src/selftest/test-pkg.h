#pragma once
// Console package images for tests: the smallest package the package reader
// accepts, with a name table and one icon entry.

#include <cstdint>
#include <string>

namespace qv::setup {

// 202 + icon length bytes: header, the names-table entry, the "icon0.png"
// entry (marked encrypted when asked), the names table and the icon bytes.
std::string BuildTestPkg(const std::string& icon, bool encrypted);

// One 32-byte entry-table record: id, name offset 0, flags1, flags 2 = 0,
// data offset, data size (big-endian), then 8 zero bytes.
std::string BuildTestPkgEntry(std::uint32_t id, std::uint32_t flags1, std::uint32_t offset, std::uint32_t size);

}  // namespace qv::setup
