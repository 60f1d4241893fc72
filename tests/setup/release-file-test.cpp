// The setup files that the release tool makes, read the way the program and
// the updater read them: signed overlay, manifest, package digest, payload
// streams at the manifest's positions, and the payload itself.

#include <windows.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "engine/records/files-json.h"
#include "foundation/crypto/ed25519.h"
#include "foundation/crypto/file-hash.h"
#include "foundation/crypto/setup-integrity.h"
#include "foundation/crypto/signed-trailer.h"
#include "foundation/payload/package-view.h"
#include "foundation/payload/payload-archive.h"
#include "foundation/text/hex-text.h"
#include "foundation/text/json.h"
#include "foundation/text/text.h"
#include "foundation/win/unique-handle.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "support/child-process.h"
#include "support/temp-folder.h"
#include "support/test-paths.h"
#include "support/test-releases.h"
#include "support/thrown.h"

namespace {

namespace fs = std::filesystem;
using qv::test::TestReleaseContent;
using qv::test::TestReleaseSetup;
using qv::test::ThrownMessage;

std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Sha256Hex(const std::string& bytes) {
  unsigned char digest[32];
  if (!qv::setup::Sha256OfBuffer(bytes.data(), static_cast<std::uint32_t>(bytes.size()), digest)) return "";
  return qv::setup::HexEncode(digest, sizeof digest);
}

// The zlib stream inflated; "(not a whole stream)" unless it ends exactly there.
std::string Inflate(const std::string& stream, std::uint64_t size) {
  std::string out(size, '\0');
  uLongf length = static_cast<uLongf>(size);
  uLong consumed = static_cast<uLong>(stream.size());
  const int result = ::uncompress2(reinterpret_cast<Bytef*>(out.data()), &length,
                                   reinterpret_cast<const Bytef*>(stream.data()), &consumed);
  if (result != Z_OK || length != size || consumed != stream.size()) return "(not a whole stream)";
  return out;
}

// The content folder's files by generic relative path.
std::map<std::string, std::string> ContentFiles() {
  std::map<std::string, std::string> files;
  for (const auto& [path, bytes] : qv::setup::SnapshotFileContents(TestReleaseContent())) files[path] = bytes;
  return files;
}

struct SignedRelease {
  std::string file;
  qv::setup::SignedTrailer trailer;
  std::string manifest;
  std::string signature;
};

SignedRelease ReadRelease(const fs::path& setup) {
  SignedRelease release;
  release.file = ReadWhole(setup);
  auto trailer = qv::setup::ReadSignedTrailer(setup);
  EXPECT_TRUE(trailer.has_value()) << setup.string();
  if (!trailer) return release;
  release.trailer = *trailer;
  release.manifest = release.file.substr(trailer->manifest_offset, trailer->manifest_length);
  release.signature = release.file.substr(trailer->signature_offset, trailer->signature_length);
  return release;
}

bool SignatureHolds(const SignedRelease& release) {
  auto key = qv::setup::HexDecode(qv::test::TestReleasePublicKeyHex(), 32);
  if (!key || release.signature.size() != 64) return false;
  return qv::setup::Ed25519Verify(reinterpret_cast<const std::uint8_t*>(release.signature.data()),
                                  reinterpret_cast<const std::uint8_t*>(release.manifest.data()),
                                  release.manifest.size(), reinterpret_cast<const std::uint8_t*>(key->data()));
}

std::string MemberText(const qv::setup::JsonValue& object, const char* key) {
  const qv::setup::JsonValue* member = qv::setup::FindJsonMember(object, key);
  return member ? member->text : "(missing)";
}

TEST(ReleaseFile, OverlayIsSignedAndDescribesThePackage) {
  const fs::path setup = TestReleaseSetup(L"good");
  SignedRelease release = ReadRelease(setup);
  ASSERT_FALSE(release.manifest.empty());
  EXPECT_TRUE(SignatureHolds(release));
  std::string tampered = release.manifest;
  tampered[tampered.size() / 2] ^= 1;
  EXPECT_FALSE(SignatureHolds({release.file, release.trailer, tampered, release.signature}));

  auto manifest = qv::setup::ParseJsonDocument(release.manifest);
  ASSERT_TRUE(manifest.has_value());
  EXPECT_EQ(MemberText(*manifest, "format"), "1");
  EXPECT_EQ(MemberText(*manifest, "version"), "1.1.0");
  const qv::setup::JsonValue* packages = qv::setup::FindJsonMember(*manifest, "packages");
  ASSERT_NE(packages, nullptr);
  const qv::setup::JsonValue* windows = qv::setup::FindJsonMember(*packages, "windows");
  ASSERT_NE(windows, nullptr);
  EXPECT_EQ(MemberText(*windows, "name"), "Q.V.PC.Rure.Setup.exe");
  EXPECT_EQ(MemberText(*windows, "size"), std::to_string(release.trailer.manifest_offset));
  EXPECT_EQ(MemberText(*windows, "sha256"), qv::setup::HashSetupFile(setup));
  EXPECT_EQ(MemberText(*windows, "sha256"), Sha256Hex(release.file.substr(0, release.trailer.manifest_offset)));

  // The stamp covers the package without its overlay.
  EXPECT_TRUE(qv::setup::CheckSetupImageIntegrity(release.file));

  // The program's own resources survive the payload's embedding.
  qv::setup::UniqueModule module(::LoadLibraryExW(
      setup.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  ASSERT_TRUE(module.valid());
  EXPECT_NE(::FindResourceW(module.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24) /* RT_MANIFEST */), nullptr);
  EXPECT_NE(::FindResourceW(module.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16) /* RT_VERSION */), nullptr);
}

TEST(ReleaseFile, EveryListedStreamInflatesToItsFile) {
  SignedRelease release = ReadRelease(TestReleaseSetup(L"good"));
  auto manifest = qv::setup::ParseJsonDocument(release.manifest);
  ASSERT_TRUE(manifest.has_value());
  const qv::setup::JsonValue* files = qv::setup::FindJsonMember(*manifest, "files");
  ASSERT_NE(files, nullptr);
  const qv::setup::JsonValue* windows = qv::setup::FindJsonMember(*files, "windows");
  ASSERT_NE(windows, nullptr);

  std::map<std::string, std::string> content = ContentFiles();
  std::vector<std::string> listed;
  for (const qv::setup::JsonValue& item : windows->items) {
    const std::string path = MemberText(item, "path");
    listed.push_back(path);
    const std::uint64_t offset = std::stoull(MemberText(item, "offset"));
    const std::uint64_t packed = std::stoull(MemberText(item, "packed"));
    const std::uint64_t size = std::stoull(MemberText(item, "size"));
    ASSERT_LE(offset + packed, release.trailer.manifest_offset) << path;
    const std::string bytes = Inflate(release.file.substr(offset, packed), size);
    EXPECT_EQ(Sha256Hex(bytes), MemberText(item, "sha256")) << path;
    if (path != "qv-files.json") {
      EXPECT_EQ(bytes, content[path]) << path;
    }
  }
  std::vector<std::string> expected{"qv-files.json"};
  for (const auto& [path, bytes] : content) expected.push_back(path);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(listed, expected);
}

TEST(ReleaseFile, PayloadHoldsTheFolderAndItsFileList) {
  qv::setup::win_updater::PackageView view;
  auto [data, size] = qv::setup::OpenPackageView(view, TestReleaseSetup(L"good"));
  std::vector<std::string> names;
  for (const auto& entry : qv::setup::ReadPayloadIndex(data, size)) names.push_back(entry.name);
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));

  qv::test::TempFolder temp{L"qv-release"};
  auto installed = qv::setup::ExtractPayload(data, size, temp.path(), qv::setup::HashFile);
  EXPECT_EQ(installed.size(), names.size());

  qv::setup::TreeSnapshot extracted = qv::setup::SnapshotFileContents(temp.path());
  std::erase_if(extracted, [](const auto& item) { return item.first == "qv-files.json"; });
  EXPECT_EQ(extracted, qv::setup::SnapshotFileContents(TestReleaseContent()));

  // The file list names every other file with its size and digest.
  std::vector<qv::setup::PayloadEntry> list = qv::setup::ReadFilesJson(temp / L"qv-files.json");
  ASSERT_EQ(list.size(), extracted.size());
  for (std::size_t i = 0; i < list.size(); ++i) {
    EXPECT_EQ(list[i].name, extracted[i].first);
    EXPECT_EQ(list[i].size, extracted[i].second.size()) << list[i].name;
    EXPECT_EQ(list[i].sha256, Sha256Hex(extracted[i].second)) << list[i].name;
  }
}

TEST(ReleaseFile, DamagedReleases) {
  // Changed before stamping: the file is consistent, its payload is not.
  const std::string damaged = ReadWhole(TestReleaseSetup(L"damaged-payload"));
  EXPECT_TRUE(qv::setup::CheckSetupImageIntegrity(damaged));
  EXPECT_TRUE(SignatureHolds(ReadRelease(TestReleaseSetup(L"damaged-payload"))));
  qv::setup::win_updater::PackageView view;
  auto [data, size] = qv::setup::OpenPackageView(view, TestReleaseSetup(L"damaged-payload"));
  qv::test::TempFolder temp{L"qv-release"};
  EXPECT_EQ(ThrownMessage([&] { qv::setup::ExtractPayload(data, size, temp.path(), qv::setup::HashFile); }),
            "Installer payload decompression failed.");

  // Changed after stamping: the integrity check notices.
  EXPECT_FALSE(qv::setup::CheckSetupImageIntegrity(ReadWhole(TestReleaseSetup(L"modified-after-stamp"))));

  // The plain build carries no payload at all.
  qv::setup::win_updater::PackageView plain;
  EXPECT_EQ(ThrownMessage([&] { qv::setup::OpenPackageView(plain, qv::test::SetupProgramPath()); }),
            "The downloaded package holds no payload.");
}

TEST(ReleaseFile, VerifyIntegrityModeOfEachRelease) {
  qv::test::TempFolder temp{L"qv-release"};
  const fs::path result = temp / L"result.txt";
  const struct {
    const wchar_t* release;
    std::uint32_t exit_code;
    const char* text;
  } cases[] = {
      {L"good", 0, "PASS integrity verified\r\n"},
      {L"damaged-payload", 0, "PASS integrity verified\r\n"},  // stamped after the damage
      {L"modified-after-stamp", 1, "This setup file is damaged or was modified. Please download it again."},
  };
  for (const auto& c : cases) {
    auto run = qv::test::RunProgram(TestReleaseSetup(c.release), {L"--verify-integrity", result.native()});
    EXPECT_EQ(run.exit_code, c.exit_code) << qv::setup::WideToUtf8(c.release) << "\n" << run.output;
    EXPECT_EQ(ReadWhole(result), c.text) << qv::setup::WideToUtf8(c.release);
    fs::remove(result);
  }
}

}  // namespace
