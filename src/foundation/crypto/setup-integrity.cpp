#include "foundation/crypto/setup-integrity.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "foundation/crypto/file-hash.h"
#include "foundation/crypto/signed-trailer.h"
#include "foundation/files/paths.h"
#include "foundation/win/process-helpers.h"
#include "foundation/win/unique-handle.h"

// The integrity field: the marker, then the digest the build stamps in (zero
// until then). Written character by character so that no string constant holds
// a second copy of the marker; C linkage gives the build a fixed symbol to keep
// it in the program even before any code of the program calls the check.
extern "C" {
__attribute__((used)) volatile unsigned char qv_setup_integrity_field[qv::setup::kIntegrityMarkerSize +
                                                                      qv::setup::kIntegrityDigestSize] = {
    '~', 'Q', 'V', '-', 'I', 'N', 'T', 'E', 'G', 'R', 'I', 'T', 'Y', '-', 'v', '1'};
}

namespace qv::setup {
namespace {

constexpr std::size_t kFieldSize = kIntegrityMarkerSize + kIntegrityDigestSize;
// Read and hashed a piece at a time: the setup file is hundreds of MiB.
constexpr std::size_t kPieceSize = 1 << 20;

// Reads `length` bytes of the content at `offset` into `buffer`; false when it cannot.
using ContentReader = std::function<bool(std::uint64_t offset, char* buffer, std::size_t length)>;

// Where the content's one integrity field begins: empty when the marker is
// missing, or found twice (nothing could be trusted then). Only markers whose
// whole field lies inside the content count.
std::optional<std::uint64_t> FindIntegrityField(std::uint64_t size, const ContentReader& read) {
  const std::string_view marker = IntegrityMarker();
  if (size < kFieldSize) return std::nullopt;
  const std::uint64_t last_start = size - kFieldSize;  // the last place a field fits
  std::vector<char> buffer(kPieceSize + kIntegrityMarkerSize);
  std::optional<std::uint64_t> field;
  // Pieces overlap by the marker's length less one byte, so that a marker
  // across two pieces is seen once.
  for (std::uint64_t offset = 0; offset <= last_start; offset += kPieceSize) {
    const std::size_t length =
        static_cast<std::size_t>(std::min<std::uint64_t>(kPieceSize + kIntegrityMarkerSize - 1, size - offset));
    if (!read(offset, buffer.data(), length)) return std::nullopt;
    const std::string_view piece(buffer.data(), length);
    for (std::size_t at = piece.find(marker); at != std::string_view::npos && at < kPieceSize;
         at = piece.find(marker, at + 1)) {
      if (offset + at > last_start) break;
      if (field) return std::nullopt;
      field = offset + at;
    }
  }
  return field;
}

// The digest of the content with the 32 bytes at `digest_at` zeroed.
bool HashWithZeroedDigest(std::uint64_t size, std::uint64_t digest_at, const ContentReader& read,
                          unsigned char* digest) {
  std::vector<char> buffer(kPieceSize);
  return Sha256OfPieces(
      [&](const Sha256Add& add) {
        for (std::uint64_t offset = 0; offset < size; offset += kPieceSize) {
          const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(kPieceSize, size - offset));
          if (!read(offset, buffer.data(), length)) return false;
          const std::uint64_t zero_from = std::max(offset, digest_at);
          const std::uint64_t zero_to = std::min(offset + length, digest_at + kIntegrityDigestSize);
          if (zero_from < zero_to) {
            std::memset(buffer.data() + (zero_from - offset), 0, static_cast<std::size_t>(zero_to - zero_from));
          }
          if (!add(buffer.data(), length)) return false;
        }
        return true;
      },
      digest);
}

// The check over a content of `size` bytes (the setup file without its
// signed overlay), read piece by piece: memory stays the same whatever the size.
bool CheckContentIntegrity(std::uint64_t size, const ContentReader& read) {
  const std::optional<std::uint64_t> field = FindIntegrityField(size, read);
  if (!field) return false;
  const std::uint64_t digest_at = *field + kIntegrityMarkerSize;
  char stamped[kIntegrityDigestSize];
  if (!read(digest_at, stamped, sizeof stamped)) return false;
  // Never stamped: all zero.
  if (std::all_of(std::begin(stamped), std::end(stamped), [](char c) { return c == '\0'; })) return false;
  unsigned char digest[kIntegrityDigestSize];
  if (!HashWithZeroedDigest(size, digest_at, read, digest)) return false;
  return std::memcmp(digest, stamped, kIntegrityDigestSize) == 0;
}

// The image without a valid signed overlay at its end.
std::string_view WithoutSignedOverlay(std::string_view image) {
  if (image.size() < kSignedTrailerSize) return image;
  unsigned char trailer[kSignedTrailerSize];
  std::memcpy(trailer, image.data() + image.size() - kSignedTrailerSize, kSignedTrailerSize);
  auto signed_trailer = ParseSignedTrailer(trailer, image.size());
  if (!signed_trailer || signed_trailer->manifest_offset >= image.size()) return image;
  return image.substr(0, static_cast<std::size_t>(signed_trailer->manifest_offset));
}

}  // namespace

std::string_view IntegrityMarker() {
  // Copied through volatile reads: the compiler must take the bytes from the
  // field, never fold them into a constant of its own.
  static const std::array<char, kIntegrityMarkerSize> marker = [] {
    std::array<char, kIntegrityMarkerSize> copy{};
    for (std::size_t i = 0; i < kIntegrityMarkerSize; ++i) copy[i] = static_cast<char>(qv_setup_integrity_field[i]);
    return copy;
  }();
  return std::string_view(marker.data(), marker.size());
}

bool CheckSetupImageIntegrity(std::string_view image) {
  const std::string_view content = WithoutSignedOverlay(image);
  return CheckContentIntegrity(content.size(), [content](std::uint64_t offset, char* buffer, std::size_t length) {
    if (offset > content.size() || length > content.size() - offset) return false;
    std::memcpy(buffer, content.data() + offset, length);
    return true;
  });
}

bool CheckSetupIntegrity() {
  const std::filesystem::path own = OwnExecutablePath();
  if (own.empty()) return false;
  UniqueFile file(::CreateFileW(ApiPath(own).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  LARGE_INTEGER file_size{};
  if (!file || !::GetFileSizeEx(file.get(), &file_size)) return false;
  std::uint64_t size = static_cast<std::uint64_t>(file_size.QuadPart);
  // The overlay takes no part in the digest.
  if (std::optional<SignedTrailer> trailer = ReadSignedTrailer(own); trailer && trailer->manifest_offset < size) {
    size = trailer->manifest_offset;
  }
  return CheckContentIntegrity(size, [&file](std::uint64_t offset, char* buffer, std::size_t length) {
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(file.get(), position, nullptr, FILE_BEGIN)) return false;
    while (length != 0) {
      DWORD read = 0;
      if (!::ReadFile(file.get(), buffer, static_cast<DWORD>(length), &read, nullptr) || read == 0) return false;
      buffer += read;
      length -= read;
    }
    return true;
  });
}

}  // namespace qv::setup
