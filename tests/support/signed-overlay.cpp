#include "support/signed-overlay.h"

#include "support/payload-layout.h"

namespace qv::test {

std::string SignedOverlay(std::uint64_t program_size, const std::string& manifest, const std::string& signature) {
  std::string trailer(48, '\0');
  trailer.replace(TrailerField::kMagic, 8, "QVSIGND1");
  PutLittleEndian(trailer, TrailerField::kVersion, 1, 8);
  PutLittleEndian(trailer, TrailerField::kManifestOffset, program_size, 8);
  PutLittleEndian(trailer, TrailerField::kManifestLength, manifest.size(), 8);
  PutLittleEndian(trailer, TrailerField::kSignatureOffset, program_size + manifest.size(), 8);
  PutLittleEndian(trailer, TrailerField::kSignatureLength, signature.size(), 8);
  return manifest + signature + trailer;
}

}  // namespace qv::test
