#pragma once
// Hexadecimal text of keys, signatures and digests.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qv::setup {

// Exactly n bytes from 2n hexadecimal digits (either letter case, high nibble
// first), after trimming white space at both ends; absent for any other text.
std::optional<std::string> HexDecode(std::string_view text, std::size_t n);

// 2 * length lower-case hexadecimal digits, high nibble first.
std::string HexEncode(const void* bytes, std::size_t length);

}  // namespace qv::setup
