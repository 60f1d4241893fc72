#pragma once

#include <cstdint>
#include <string>

namespace qv::setup {

// Appends the low `bytes` bytes of `value`, least significant first.
inline void AppendLittleEndian(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace qv::setup
