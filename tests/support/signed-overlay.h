#pragma once
// The signed overlay a release appends to a setup file: the manifest, its
// 64-byte signature and the 48-byte trailer "QVSIGND1" that locates both.

#include <cstdint>
#include <string>

namespace qv::test {

// Offsets of the trailer's fields, counted from the trailer's first byte.
struct TrailerField {
  static constexpr std::size_t kMagic = 0;
  static constexpr std::size_t kVersion = 8;
  static constexpr std::size_t kManifestOffset = 16;
  static constexpr std::size_t kManifestLength = 24;
  static constexpr std::size_t kSignatureOffset = 32;
  static constexpr std::size_t kSignatureLength = 40;
};

// Manifest, signature and a valid trailer for a program of `program_size`
// bytes (the manifest starts there).
std::string SignedOverlay(std::uint64_t program_size, const std::string& manifest,
                          const std::string& signature = std::string(64, 'S'));

}  // namespace qv::test
