#include "foundation/signed-trailer.h"

#include <cstring>
#include <fstream>
#include <system_error>

#include "foundation/file-hash.h"

namespace qv::setup {
namespace {

constexpr char kTrailerMagic[8] = {'Q', 'V', 'S', 'I', 'G', 'N', 'D', '1'};
constexpr std::uint64_t kTrailerVersion = 1;
constexpr std::uint64_t kSignatureLength = 64;

std::uint64_t ReadLittleEndian64(const unsigned char* bytes) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | bytes[i];
  return value;
}

}  // namespace

std::optional<SignedTrailer> ParseSignedTrailer(const unsigned char (&trailer)[kSignedTrailerSize],
                                                std::uint64_t file_size) {
  if (std::memcmp(trailer, kTrailerMagic, sizeof kTrailerMagic) != 0) return std::nullopt;
  if (ReadLittleEndian64(trailer + 8) != kTrailerVersion) return std::nullopt;
  SignedTrailer t;
  t.manifest_offset = ReadLittleEndian64(trailer + 16);
  t.manifest_length = ReadLittleEndian64(trailer + 24);
  t.signature_offset = ReadLittleEndian64(trailer + 32);
  t.signature_length = ReadLittleEndian64(trailer + 40);
  if (t.manifest_length < 1 || t.manifest_length > kMaxSignedManifestLength) return std::nullopt;
  if (t.signature_length != kSignatureLength) return std::nullopt;
  // Written so that no sum can wrap around.
  if (t.manifest_offset > file_size || t.manifest_length > file_size - t.manifest_offset) return std::nullopt;
  if (t.signature_offset != t.manifest_offset + t.manifest_length) return std::nullopt;
  if (file_size < kSignatureLength + kSignedTrailerSize ||
      t.signature_offset != file_size - kSignatureLength - kSignedTrailerSize) {
    return std::nullopt;
  }
  return t;
}

std::optional<SignedTrailer> ReadSignedTrailer(const std::filesystem::path& path) {
  std::error_code error;
  const std::uint64_t size = std::filesystem::file_size(path, error);
  if (error || size < kSignedTrailerSize) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  unsigned char trailer[kSignedTrailerSize];
  in.seekg(static_cast<std::streamoff>(size - kSignedTrailerSize));
  in.read(reinterpret_cast<char*>(trailer), sizeof trailer);
  if (!in) return std::nullopt;
  return ParseSignedTrailer(trailer, size);
}

std::string HashSetupFile(const std::filesystem::path& path) {
  std::uint64_t limit = 0;
  if (auto trailer = ReadSignedTrailer(path)) {
    limit = trailer->manifest_offset;
  } else {
    std::error_code error;
    const std::uint64_t size = std::filesystem::file_size(path, error);
    if (!error) limit = size;
  }
  return HashFileSha256(path, limit);
}

}  // namespace qv::setup
