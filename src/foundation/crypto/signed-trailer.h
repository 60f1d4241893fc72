#pragma once
// The signed overlay at the end of a released setup file:
//
//   manifest (UTF-8 JSON) | Ed25519 signature (64 bytes) | trailer (48 bytes)
//
// The trailer, all integers unsigned 64-bit little-endian: "QVSIGND1",
// version 1, manifest offset, manifest length (1 byte to 16 MiB), signature
// offset (right after the manifest), signature length 64; the file ends right
// after the trailer. The manifest begins where the built program ends, and
// every digest and position in it refers to the file without the overlay.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace qv::setup {

struct SignedTrailer {
  std::uint64_t manifest_offset = 0;
  std::uint64_t manifest_length = 0;
  std::uint64_t signature_offset = 0;
  std::uint64_t signature_length = 0;  // always 64
};

inline constexpr std::uint64_t kSignedTrailerSize = 48;
inline constexpr std::uint64_t kMaxSignedManifestLength = 16u << 20;

// The trailer in the last 48 bytes of a file of `file_size` bytes; absent when
// it breaks any rule above.
std::optional<SignedTrailer> ParseSignedTrailer(const unsigned char (&trailer)[kSignedTrailerSize],
                                                std::uint64_t file_size);

// The trailer of the file; absent when the file is shorter than 48 bytes,
// cannot be read, or does not end in a valid trailer. Never raises.
std::optional<SignedTrailer> ReadSignedTrailer(const std::filesystem::path& path);

// SHA-256 (64 lower-case hexadecimal characters) of the setup file without its
// signed overlay: up to the manifest when the file ends in a valid trailer,
// else of the whole file. Fails as HashFileSha256 does.
std::string HashSetupFile(const std::filesystem::path& path);

}  // namespace qv::setup
