#include "selftest/test-payload.h"

#include <zlib.h>

#include <fstream>
#include <stdexcept>

#include "foundation/create-folders.h"
#include "selftest/little-endian.h"

namespace qv::setup {
namespace {

std::string Compress(const std::string& content) {
  uLongf packed_length = compressBound(static_cast<uLong>(content.size()));
  std::string packed(packed_length, '\0');
  int result = compress(reinterpret_cast<Bytef*>(packed.data()), &packed_length,
                        reinterpret_cast<const Bytef*>(content.data()), static_cast<uLong>(content.size()));
  if (result != Z_OK) throw std::runtime_error("zlib could not compress test content");
  packed.resize(packed_length);
  return packed;
}

}  // namespace

std::string BuildTestPayload(const std::filesystem::path& scratch_folder, const FixtureFiles& files,
                             const FileHasher& hasher) {
  std::string image = "QVSETUP1";
  AppendLittleEndian(image, files.size(), 4);
  CreateFolders(scratch_folder);
  const std::filesystem::path scratch_file = scratch_folder / L"hash.bin";
  for (const auto& [name, content] : files) {
    if (name.size() > 0xFFFF) throw std::invalid_argument("test payload name too long: " + name.substr(0, 40));
    {
      // A failed write is not reported: the hasher then hashes what is there.
      std::ofstream out(scratch_file, std::ios::binary | std::ios::trunc);
      out.write(content.data(), static_cast<std::streamsize>(content.size()));
    }
    const std::string digest = hasher(scratch_file);
    const std::string packed = Compress(content);
    AppendLittleEndian(image, name.size(), 2);
    image += name;
    AppendLittleEndian(image, content.size(), 8);
    AppendLittleEndian(image, packed.size(), 8);
    image += digest;
    image += packed;
  }
  return image;
}

}  // namespace qv::setup
