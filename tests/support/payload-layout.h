#pragma once
// Positions of the fields of a well-formed "QVSETUP1" archive, for tests that
// damage archives on purpose.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qv::test {

struct EntryLayout {
  size_t start = 0;      // the name length field
  size_t name = 0;       // the name's first byte
  size_t size_at = 0;    // the unpacked size field
  size_t packed_at = 0;  // the packed length field
  size_t digest = 0;     // the 64 digest characters
  size_t stream = 0;     // the zlib stream
  std::uint64_t size = 0;
  std::uint64_t packed = 0;
};

// The entries of a well-formed archive; fails the test on a malformed one.
std::vector<EntryLayout> LayoutOf(const std::string& archive);

// Overwrites `bytes` bytes at `offset` with `value`, least significant first.
void PutLittleEndian(std::string& data, size_t offset, std::uint64_t value, int bytes);

}  // namespace qv::test
