#include "foundation/crypto/signed-trailer.h"

#include <cstring>

#include "foundation/crypto/file-hash.h"
#include "foundation/files/file-reads.h"

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
  // The size and the bytes come from one open handle, so both describe the
  // same file, however deep its path.
  std::uint64_t size = 0;
  const std::string bytes =
      ReadFileSlice(path, kSignedTrailerSize, -static_cast<std::int64_t>(kSignedTrailerSize), SliceOrigin::End, &size);
  if (bytes.size() != kSignedTrailerSize) return std::nullopt;
  unsigned char trailer[kSignedTrailerSize];
  std::memcpy(trailer, bytes.data(), kSignedTrailerSize);
  return ParseSignedTrailer(trailer, size);
}

std::string HashSetupFile(const std::filesystem::path& path) {
  // Without a trailer the whole file as the hasher's open handle sees it: a
  // size asked for separately could fail while the file opens, and hashing
  // nothing would pass off the digest of empty input as the file's. A file
  // that cannot be read fails with the hasher's own message.
  std::uint64_t limit = kWholeFile;
  if (auto trailer = ReadSignedTrailer(path)) limit = trailer->manifest_offset;
  return HashFileSha256(path, limit);
}

}  // namespace qv::setup
