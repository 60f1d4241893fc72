// Manifests signed with this run's release key (tests/support/make-test-releases.py):
// the signature check before anything is read, the tie to the release, and
// manifests read from setup files on disk.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "foundation/crypto/signed-trailer.h"
#include "foundation/text/hex-text.h"
#include "support/scoped-environment.h"
#include "support/temp-folder.h"
#include "support/test-releases.h"
#include "update/release-service.h"
#include "update/signed-manifest.h"

namespace {

using namespace qv::update;
using qv::test::ReadSignedTestManifest;
using qv::test::ReadTestFile;
using qv::test::ScopedEnvironment;
using qv::test::SignedTestManifest;
using qv::test::TempFolder;
using qv::test::WriteTestFile;

Release ReleaseOf(const std::string& version) {
  Release release;
  release.version = version;
  return release;
}

class SignedManifest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(key_hex.size(), 64u) << "no test releases: run this test program through ctest";
    ASSERT_EQ(ReleasePublicKey(), key);
  }
  std::string ErrorOf(std::string_view manifest, std::string_view signature, std::string_view public_key) {
    std::string error = "untouched";
    if (ParseSignedManifest(manifest, qv::setup::HexEncode(signature.data(), signature.size()), public_key, &error)) {
      return "accepted";
    }
    return error;
  }

  qv::test::UpdateTestMode test_mode;
  const std::string key_hex = qv::test::TestReleasePublicKeyHex();
  const std::string key = qv::setup::HexDecode(key_hex, 32).value_or("");
  ScopedEnvironment test_key{"QV_UPDATE_TEST_PUBLIC_KEY", key_hex};
};

TEST_F(SignedManifest, TheReaderRunsOnlyOnceTheSignatureHolds) {
  const SignedTestManifest minimal = ReadSignedTestManifest(L"minimal");
  const SignedTestManifest unknown_format = ReadSignedTestManifest(L"unknown-format");
  const SignedTestManifest not_json = ReadSignedTestManifest(L"not-json");
  ASSERT_EQ(minimal.signature.size(), 64u);

  std::string error = "untouched";
  std::optional<UpdateManifest> manifest =
      ParseSignedManifest(minimal.manifest, qv::setup::HexEncode(minimal.signature.data(), 64), key, &error);
  ASSERT_TRUE(manifest) << error;
  EXPECT_EQ(error, "untouched");
  EXPECT_EQ(manifest->version, "2.0.0");
  EXPECT_EQ(manifest->packages.at("windows").size, 1000u);
  ASSERT_EQ(manifest->files.at("windows").size(), 1u);
  EXPECT_EQ(manifest->files.at("windows")[0].packed, 50u);

  EXPECT_EQ(ErrorOf(unknown_format.manifest, unknown_format.signature, key),
            "the update manifest has an unknown format");
  EXPECT_EQ(ErrorOf(not_json.manifest, not_json.signature, key), "the update manifest is not valid");
  // Under another key, or with another manifest's signature, nothing is read.
  const std::string built_in = *qv::setup::HexDecode(kReleasePublicKeyHex, 32);
  EXPECT_EQ(ErrorOf(not_json.manifest, not_json.signature, built_in), "the update manifest's signature is not valid");
  EXPECT_EQ(ErrorOf(not_json.manifest, minimal.signature, key), "the update manifest's signature is not valid");
  EXPECT_EQ(ErrorOf(minimal.manifest, minimal.signature, key.substr(0, 31)), "no release key");
}

TEST_F(SignedManifest, AnyFlippedBitFails) {
  const SignedTestManifest minimal = ReadSignedTestManifest(L"minimal");
  ASSERT_EQ(ErrorOf(minimal.manifest, minimal.signature, key), "accepted");
  for (size_t bit = 0; bit < minimal.signature.size() * 8; ++bit) {
    std::string signature = minimal.signature;
    signature[bit / 8] ^= static_cast<char>(1 << (bit % 8));
    EXPECT_EQ(ErrorOf(minimal.manifest, signature, key), "the update manifest's signature is not valid") << bit;
  }
  for (size_t bit = 0; bit < minimal.manifest.size() * 8; ++bit) {
    std::string manifest = minimal.manifest;
    manifest[bit / 8] ^= static_cast<char>(1 << (bit % 8));
    EXPECT_EQ(ErrorOf(manifest, minimal.signature, key), "the update manifest's signature is not valid") << bit;
  }
  // Nothing added or taken away either.
  EXPECT_EQ(ErrorOf(minimal.manifest + " ", minimal.signature, key), "the update manifest's signature is not valid");
  EXPECT_EQ(ErrorOf(minimal.manifest.substr(0, minimal.manifest.size() - 1), minimal.signature, key),
            "the update manifest's signature is not valid");
}

TEST_F(SignedManifest, CheckAgainstTheRelease) {
  struct Case {
    const wchar_t* manifest;
    std::string release_version;
    std::uint64_t package_size;
    std::string error;  // "accepted" when it passes
  } cases[] = {
      {L"minimal", "2.0.0", 1000, "accepted"},
      {L"minimal", "v2.0.0", 1000, "accepted"},
      {L"v-prefix", "2.0.0", 1000, "accepted"},
      {L"v-prefix", "V2.0.0", 1000, "accepted"},
      {L"minimal", "2.0.1", 1000, "the update manifest is for version 2.0.0, not 2.0.1"},
      {L"minimal", "2.0", 1000, "the update manifest is for version 2.0.0, not 2.0"},  // the same text, not order
      {L"v-prefix", "v3.0", 1000, "the update manifest is for version 2.0.0, not 3.0"},
      {L"other-system", "2.0.0", 1000, "the update manifest has no package for this system"},
      {L"other-name", "2.0.0", 1000, "the update manifest has no package for this system"},
      {L"minimal", "2.0.0", 999, "the update manifest names another package than the one it is in"},
      {L"minimal", "2.0.0", 1001, "the update manifest names another package than the one it is in"},
      {L"unknown-format", "2.0.0", 1000, "the update manifest has an unknown format"},
  };
  for (const Case& c : cases) {
    const SignedTestManifest signed_manifest = ReadSignedTestManifest(c.manifest);
    std::string error = "untouched";
    std::optional<UpdateManifest> manifest = CheckManifestAgainstRelease(
        ReleaseOf(c.release_version), signed_manifest.manifest, signed_manifest.signature, c.package_size, &error);
    EXPECT_EQ(manifest ? "accepted" : error, c.error)
        << std::filesystem::path(c.manifest).string() << " " << c.release_version;
  }
  // Outside test mode the release signer's key counts, and the test key's manifests fail.
  ScopedEnvironment off("QV_UPDATE_TEST", std::nullopt);
  const SignedTestManifest minimal = ReadSignedTestManifest(L"minimal");
  std::string error;
  EXPECT_FALSE(CheckManifestAgainstRelease(ReleaseOf("2.0.0"), minimal.manifest, minimal.signature, 1000, &error));
  EXPECT_EQ(error, "the update manifest's signature is not valid");
}

TEST_F(SignedManifest, ReadFromASetupFileOnDisk) {
  const std::filesystem::path newer = qv::test::TestReleaseSetup(L"newer");
  std::optional<qv::setup::SignedTrailer> trailer = qv::setup::ReadSignedTrailer(newer);
  ASSERT_TRUE(trailer);

  std::string error = "untouched";
  std::optional<UpdateManifest> manifest = ReadLocalSignedManifest(ReleaseOf("2.0.0"), newer, &error);
  ASSERT_TRUE(manifest) << error;
  EXPECT_EQ(manifest->version, "2.0.0");
  EXPECT_EQ(manifest->packages.at("windows").size, trailer->manifest_offset);
  EXPECT_EQ(manifest->packages.at("windows").sha256, qv::setup::HashSetupFile(newer));
  EXPECT_FALSE(manifest->files.at("windows").empty());

  std::string bytes, signature;
  ASSERT_TRUE(ReadManifestAndSignature(newer, bytes, signature));
  const std::string file = ReadTestFile(newer);
  EXPECT_EQ(bytes, file.substr(trailer->manifest_offset, trailer->manifest_length));
  EXPECT_EQ(signature, file.substr(trailer->signature_offset, 64));

  // An older release offered as the newer one is refused by its signed version.
  EXPECT_FALSE(ReadLocalSignedManifest(ReleaseOf("2.0.0"), qv::test::TestReleaseSetup(L"good"), &error));
  EXPECT_EQ(error, "the update manifest is for version 1.1.0, not 2.0.0");

  TempFolder temp{L"qv-local-manifest"};
  struct Case {
    const wchar_t* name;
    std::string bytes;
    std::string error;
  } cases[] = {
      {L"cut.exe", file.substr(0, file.size() - 1), "the package carries no signed update manifest"},
      {L"longer.exe", file + "x", "the package carries no signed update manifest"},
      {L"plain.exe", file.substr(0, trailer->manifest_offset), "the package carries no signed update manifest"},
      {L"empty.exe", "", "the package carries no signed update manifest"},
      {L"changed-manifest.exe",
       file.substr(0, trailer->manifest_offset + 20) + "#" + file.substr(trailer->manifest_offset + 21),
       "the update manifest's signature is not valid"},
      {L"changed-program.exe", "M" + file.substr(1), "accepted"},  // the program's bytes are the download's to check
  };
  for (const Case& c : cases) {
    WriteTestFile(temp / c.name, c.bytes);
    error = "untouched";
    manifest = ReadLocalSignedManifest(ReleaseOf("2.0.0"), temp / c.name, &error);
    EXPECT_EQ(manifest ? "accepted" : error, c.error) << std::filesystem::path(c.name).string();
  }
  EXPECT_FALSE(ReadLocalSignedManifest(ReleaseOf("2.0.0"), temp / L"missing.exe", &error));
  EXPECT_EQ(error, "the package carries no signed update manifest");
  EXPECT_FALSE(ReadManifestAndSignature(temp / L"plain.exe", bytes, signature));
}

}  // namespace
