#include "foundation/setup-integrity.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "foundation/file-hash.h"
#include "foundation/file-reads.h"
#include "foundation/process-helpers.h"
#include "foundation/signed-trailer.h"

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

bool CheckSetupImageIntegrity(std::string image) {
  image.resize(WithoutSignedOverlay(image).size());
  const std::string_view content = image;
  if (content.size() > std::numeric_limits<std::uint32_t>::max()) return false;

  const std::string_view marker = IntegrityMarker();
  std::size_t field = std::string_view::npos;
  for (std::size_t at = content.find(marker); at != std::string_view::npos && at + kFieldSize <= content.size();
       at = content.find(marker, at + 1)) {
    if (field != std::string_view::npos) return false;  // a second marker: nothing can be trusted
    field = at;
  }
  if (field == std::string_view::npos) return false;

  const std::size_t digest_at = field + kIntegrityMarkerSize;
  const std::string stamped(content.substr(digest_at, kIntegrityDigestSize));
  if (stamped.find_first_not_of('\0') == std::string::npos) return false;  // never stamped

  std::memset(image.data() + digest_at, 0, kIntegrityDigestSize);
  unsigned char digest[kIntegrityDigestSize];
  if (!Sha256OfBuffer(image.data(), static_cast<std::uint32_t>(image.size()), digest)) return false;
  return std::memcmp(digest, stamped.data(), kIntegrityDigestSize) == 0;
}

bool CheckSetupIntegrity() {
  const std::filesystem::path own = OwnExecutablePath();
  if (own.empty()) return false;
  // One buffer of the whole file, moved into the check: the setup file is
  // several hundred MiB. An unreadable file gives an empty one, which fails.
  return CheckSetupImageIntegrity(ReadSmallFile(own, UINT64_MAX));
}

}  // namespace qv::setup
