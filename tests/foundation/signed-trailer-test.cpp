#include "foundation/crypto/signed-trailer.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "foundation/crypto/file-hash.h"
#include "foundation/files/paths.h"
#include "foundation/text/hex-text.h"
#include "foundation/text/text.h"
#include "selftest/fixtures/fixture-files.h"
#include "support/payload-layout.h"
#include "support/signed-overlay.h"
#include "support/temp-folder.h"
#include "support/thrown.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::ReadSignedTrailer;
using qv::test::PutLittleEndian;
using qv::test::SignedOverlay;
using qv::test::TrailerField;

const std::string kProgram = "MZ" + std::string(998, 'p');  // 1000 bytes
const std::string kManifest = R"({"version":"1.2.0"})";

std::string BufferDigest(const std::string& bytes) {
  unsigned char digest[32];
  EXPECT_TRUE(qv::setup::Sha256OfBuffer(bytes.data(), static_cast<std::uint32_t>(bytes.size()), digest));
  return qv::setup::HexEncode(digest, sizeof digest);
}

class SignedTrailerTest : public ::testing::Test {
 protected:
  fs::path Write(const std::string& bytes) {
    fs::path path = temp / (L"setup-" + std::to_wstring(++files) + L".exe");
    qv::test::WriteTestFile(path, bytes);
    return path;
  }
  qv::test::TempFolder temp{L"qv-trailer"};
  int files = 0;
};

TEST_F(SignedTrailerTest, ReadsAValidTrailer) {
  auto trailer = ReadSignedTrailer(Write(kProgram + SignedOverlay(kProgram.size(), kManifest)));
  ASSERT_TRUE(trailer.has_value());
  EXPECT_EQ(trailer->manifest_offset, 1000u);
  EXPECT_EQ(trailer->manifest_length, kManifest.size());
  EXPECT_EQ(trailer->signature_offset, 1000u + kManifest.size());
  EXPECT_EQ(trailer->signature_length, 64u);

  // The smallest and the largest manifest; an overlay alone makes a valid file too.
  EXPECT_TRUE(ReadSignedTrailer(Write(kProgram + SignedOverlay(kProgram.size(), "x"))));
  EXPECT_TRUE(ReadSignedTrailer(Write(SignedOverlay(0, kManifest))));
  const std::string largest(16u << 20, ' ');
  trailer = ReadSignedTrailer(Write(kProgram + SignedOverlay(kProgram.size(), largest)));
  ASSERT_TRUE(trailer.has_value());
  EXPECT_EQ(trailer->manifest_length, 16u << 20);
}

TEST_F(SignedTrailerTest, EveryDefectMeansNoTrailer) {
  const std::string valid = kProgram + SignedOverlay(kProgram.size(), kManifest);
  const std::size_t at = valid.size() - 48;
  auto with_field = [&](std::size_t field, std::uint64_t value) {
    std::string bytes = valid;
    PutLittleEndian(bytes, at + field, value, 8);
    return bytes;
  };
  std::string wrong_magic = valid;
  wrong_magic[at + 7] = '2';
  std::string one_byte_longer = valid;
  one_byte_longer.insert(at, 1, 's');  // between signature and trailer

  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"47 bytes", valid.substr(valid.size() - 47)},
      {"empty file", ""},
      {"magic", wrong_magic},
      {"version 2", with_field(TrailerField::kVersion, 2)},
      {"version 0", with_field(TrailerField::kVersion, 0)},
      {"signature length 63", with_field(TrailerField::kSignatureLength, 63)},
      {"signature length 65", with_field(TrailerField::kSignatureLength, 65)},
      {"manifest length 0", with_field(TrailerField::kManifestLength, 0)},
      {"manifest length 16 MiB + 1", with_field(TrailerField::kManifestLength, (16u << 20) + 1)},
      {"manifest offset past the end", with_field(TrailerField::kManifestOffset, valid.size() + 1)},
      {"manifest offset near 2^64", with_field(TrailerField::kManifestOffset, ~std::uint64_t{0} - 5)},
      {"manifest offset one early", with_field(TrailerField::kManifestOffset, kProgram.size() - 1)},
      {"signature offset one late", with_field(TrailerField::kSignatureOffset, kProgram.size() + kManifest.size() + 1)},
      {"file one byte longer", one_byte_longer},
      {"file one byte shorter", valid.substr(1)},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(ReadSignedTrailer(Write(c.bytes)).has_value()) << c.what;
  }
  // A 16 MiB + 1 manifest that fits its file in every other way.
  EXPECT_FALSE(ReadSignedTrailer(Write(kProgram + SignedOverlay(kProgram.size(), std::string((16u << 20) + 1, ' ')))));
  EXPECT_FALSE(ReadSignedTrailer(temp / L"missing.exe").has_value());
  EXPECT_FALSE(ReadSignedTrailer(temp.path()).has_value());  // a folder
}

TEST_F(SignedTrailerTest, HashSetupFileLeavesTheOverlayOut) {
  const fs::path plain = Write(kProgram);
  EXPECT_EQ(qv::setup::HashSetupFile(plain), qv::setup::HashFile(plain));
  EXPECT_EQ(qv::setup::HashSetupFile(plain), BufferDigest(kProgram));

  const fs::path released = Write(kProgram + SignedOverlay(kProgram.size(), kManifest));
  EXPECT_EQ(qv::setup::HashSetupFile(released), BufferDigest(kProgram));
  EXPECT_EQ(qv::setup::HashSetupFile(released), qv::setup::HashFileSha256(released, kProgram.size()));

  // A broken trailer leaves the whole file hashed.
  std::string broken = kProgram + SignedOverlay(kProgram.size(), kManifest);
  broken[broken.size() - 40] = 2;  // version
  EXPECT_EQ(qv::setup::HashSetupFile(Write(broken)), BufferDigest(broken));

  const fs::path missing = temp / L"missing.exe";
  EXPECT_EQ(qv::test::ThrownMessage([&] { qv::setup::HashSetupFile(missing); }),
            "Could not read or hash this file to verify its integrity: " + qv::setup::ToGenericUtf8(missing) +
                " (Windows error 2)");
}

// A setup file deeper than MAX_PATH: its trailer is found, and without one
// the whole file is hashed, never the empty input of a size that could not be
// read.
TEST_F(SignedTrailerTest, FilesBeyondMaxPath) {
  const fs::path deep = qv::test::MakeDeepFolder(temp.path(), 300);
  const fs::path released = deep / L"setup.exe";
  const fs::path plain = deep / L"plain.exe";
  ASSERT_GT(released.native().size(), 260u);
  qv::setup::WriteFixtureFile(released, kProgram + SignedOverlay(kProgram.size(), kManifest));
  qv::setup::WriteFixtureFile(plain, kProgram);
  // Named as given and in the "\\?\" form, which every system call takes
  // but the C library's size query does not.
  for (const auto& [released_name, plain_name] :
       {std::pair(released, plain),
        std::pair(fs::path(qv::setup::ToLongPath(released.native())), fs::path(qv::setup::ToLongPath(plain.native())))}) {
    SCOPED_TRACE(released_name.string());
    auto trailer = ReadSignedTrailer(released_name);
    ASSERT_TRUE(trailer.has_value());
    EXPECT_EQ(trailer->manifest_offset, 1000u);
    EXPECT_EQ(qv::setup::HashSetupFile(released_name), BufferDigest(kProgram));
    EXPECT_EQ(qv::setup::HashSetupFile(plain_name), BufferDigest(kProgram));
  }
}

}  // namespace
