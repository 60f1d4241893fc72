// Hostile input never crashes the readers of release documents, manifests and
// fetched trailers: seeded mutations of valid inputs, each read from a buffer
// that ends where an inaccessible page begins, end in a sound result or in one
// of the readers' own failures.

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "support/guarded-bytes.h"
#include "support/payload-layout.h"
#include "support/scoped-environment.h"
#include "support/signed-overlay.h"
#include "update/download-policy.h"
#include "update/manifest-fetch.h"
#include "update/release-info.h"
#include "update/signed-manifest.h"
#include "update/version-order.h"

namespace {

using namespace qv::update;
using qv::test::GuardedBytes;

constexpr std::uint32_t kSeed = 0x51561710;
constexpr int kMutants = 1500;

const std::string kApiDocument =
    R"({"tag_name":"v2.0.1","html_url":"https://localhost/r/2.0.1","draft":false,"prerelease":"false",)"
    R"("body":"Faster loading.\nSecond line","assets":[)"
    R"({"name":"Q.V.PC.Rure.Setup-linux","browser_download_url":"https://localhost/l","size":9},)"
    R"({"name":"Q.V.PC.Rure.Setup.exe","browser_download_url":"https://localhost/s.exe","size":123456},)"
    R"({"name":"Q.V.PC.Rure.Setup.exe","browser_download_url":"http://127.0.0.1:8/t.exe","size":18446744073709551615}]})";

const std::string kOwnDocument =
    R"({"version":"0.2.0","notes":"x\u00e9y","url":"https://sample.test/r",)"
    R"("platforms":{"windows":{"url":"https://sample.test/w.exe"},"linux":{"url":"https://sample.test/l"}}})";

const std::string kDigest = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

const std::string kManifest =
    R"({"format":1,"version":"2.0.1","packages":{"windows":{"name":"Q.V.PC.Rure.Setup.exe","size":100000,)"
    R"("sha256":")" + kDigest + R"("},"linux":{"name":"l","size":5,"sha256":")" + kDigest + R"("}},)"
    R"("files":{"windows":[{"path":"qv.exe","size":4096,"sha256":")" + kDigest + R"(","offset":2048,"packed":900},)"
    R"({"path":"shaders/a.spv","size":0,"sha256":")" + kDigest + R"("},)"
    R"({"path":"voice/mod\u00e8le.bin","size":65536,"sha256":")" + kDigest + R"(","offset":99000,"packed":1000}],)"
    R"("macos-x64":[{"path":"x","size":1,"sha256":")" + kDigest + R"(","offset":1,"packed":1}]}})";

const std::set<std::string> kManifestTexts = {
    "the update manifest is not valid",
    "the update manifest has an unknown format",
    "the update manifest has no version",
    "the update manifest lists a package without its size or SHA-256",
    "the update manifest lists a file without its size or SHA-256",
    "the update manifest lists a file outside its package",
    "the update manifest lists no package",
};

// Pieces that move a JSON reader into its corners.
const char* const kTokens[] = {
    "{", "}", "[", "]", "\"", "\\", ",", ":", "\\u", "\\ud800", "\\u00", "\xC3", "\xFF", "\0", " ", "\n",
    "1", "-", "0", "99999999999999999999999", "18446744073709551616", "1e999", "true", "false", "null",
    "\"\"", "[[[[[[[[[[[[[[[[[[", "{\"a\":{\"a\":{\"a\":{\"a\":{\"a\":{\"a\":{\"a\":{\"a\":{\"a\":",
    "\"format\":\"1\",", "\"size\":\"7\",", "\"packed\":0,", "\"offset\":99999999,",
};

// One damaged copy of a text.
std::string Mutate(const std::string& valid, std::mt19937& random) {
  std::string text = valid;
  auto pick = [&](size_t bound) { return bound == 0 ? size_t{0} : static_cast<size_t>(random() % bound); };
  for (int rounds = 1 + static_cast<int>(pick(3)); rounds > 0; --rounds) {
    switch (pick(6)) {
      case 0:  // flipped bytes
        for (size_t n = 1 + pick(4); n > 0 && !text.empty(); --n) text[pick(text.size())] ^= static_cast<char>(1 + pick(255));
        break;
      case 1:  // cut
        text.resize(pick(text.size() + 1));
        break;
      case 2: {  // a token put in
        const char* token = kTokens[pick(std::size(kTokens))];
        std::string piece = *token ? std::string(token) : std::string(1, '\0');
        text.insert(pick(text.size() + 1), piece);
        break;
      }
      case 3: {  // a span taken out
        size_t at = pick(text.size() + 1);
        text.erase(at, pick(40));
        break;
      }
      case 4: {  // a span repeated
        size_t at = pick(text.size() + 1);
        std::string span = text.substr(at, pick(60));
        text.insert(pick(text.size() + 1), span);
        break;
      }
      default: {  // a digit replaced by another
        size_t at = text.find_first_of("0123456789", pick(text.size() + 1));
        if (at != std::string::npos) text[at] = static_cast<char>('0' + pick(10));
        break;
      }
    }
  }
  return text;
}

TEST(HostileInput, ReleaseDocuments) {
  qv::test::UpdateTestMode test_mode;  // the local links are allowed download addresses
  std::mt19937 random(kSeed);
  int accepted = 0;
  for (int i = 0; i < kMutants; ++i) {
    const std::string& valid = i % 2 == 0 ? kApiDocument : kOwnDocument;
    const GuardedBytes document(Mutate(valid, random));
    SCOPED_TRACE("mutant " + std::to_string(i) + ": " + std::string(document.data(), document.size()));
    std::optional<Release> release;
    EXPECT_NO_THROW(release = ParseRelease(std::string_view(document.data(), document.size()), "windows"));
    if (!release) continue;
    ++accepted;
    EXPECT_FALSE(release->version.empty());
    EXPECT_LE(release->notes.size(), kReleaseNotesLimit);
    EXPECT_FALSE(release->manifest_resolved);
    EXPECT_EQ(release->download_estimate, 0u);
    if (!release->page.empty()) {  // API form
      EXPECT_TRUE(IsValidVersion(release->version));
      EXPECT_EQ(release->url.rfind("https://", 0), 0u);
      EXPECT_LE(release->url.size(), 2048u);
    } else {
      EXPECT_LE(release->url.size(), 512u);
      EXPECT_EQ(release->package_size, 0u);
    }
    if (!release->package_url.empty()) {
      EXPECT_TRUE(IsAllowedDownloadUrl(release->package_url));
    } else {
      EXPECT_EQ(release->package_size, 0u);
    }
  }
  EXPECT_GT(accepted, kMutants / 20);  // the mutants reach the readers' later steps
}

TEST(HostileInput, ManifestsBehindTheSignature) {
  ASSERT_TRUE(ReadVerifiedManifest(kManifest, nullptr));
  std::mt19937 random(kSeed + 1);
  std::map<std::string, int> seen;
  for (int i = 0; i < kMutants; ++i) {
    const GuardedBytes manifest(Mutate(kManifest, random));
    SCOPED_TRACE("mutant " + std::to_string(i) + ": " + std::string(manifest.data(), manifest.size()));
    std::string error;
    std::optional<UpdateManifest> result;
    EXPECT_NO_THROW(result = ReadVerifiedManifest(std::string_view(manifest.data(), manifest.size()), &error));
    if (!result) {
      EXPECT_EQ(kManifestTexts.count(error), 1u) << error;
      ++seen[error];
      continue;
    }
    ++seen["accepted"];
    EXPECT_TRUE(IsValidVersion(result->version));
    EXPECT_FALSE(result->packages.empty());
    for (const auto& [platform, package] : result->packages) {
      EXPECT_FALSE(package.name.empty());
      EXPECT_EQ(package.sha256.size(), 64u);
    }
    for (const auto& [platform, files] : result->files) {
      auto package = result->packages.find(platform);
      for (const FileEntry& file : files) {
        EXPECT_FALSE(file.path.empty());
        EXPECT_EQ(file.sha256.find_first_not_of("0123456789abcdef"), std::string::npos);
        if (file.packed == 0) {
          EXPECT_EQ(file.offset, 0u);
        }
        if (package != result->packages.end()) {
          EXPECT_LE(file.offset, package->second.size);
          EXPECT_LE(file.packed, package->second.size - file.offset);
        }
      }
    }
  }
  // Most of the failures are met, and some mutants still pass.
  EXPECT_GE(seen.size(), 6u);
  EXPECT_GT(seen["accepted"], 10);
}

TEST(HostileInput, FetchedTrailers) {
  const std::uint64_t package_size = 100000 + kManifest.size() + 64 + 48;
  const std::string overlay = qv::test::SignedOverlay(100000, kManifest);
  const std::string valid = overlay.substr(overlay.size() - 48);
  ASSERT_TRUE(ReadFetchedTrailer(valid, package_size));
  const std::uint64_t nasty[] = {0, 1, 47, 48, 63, 64, 65, 112, 16777216, 16777217, package_size - 112,
                                 package_size - 111, package_size - 48, package_size, package_size + 1,
                                 1ull << 32, 1ull << 63, ~0ull, ~0ull - 47, ~0ull - 111};
  std::mt19937 random(kSeed + 2);
  int accepted = 0;
  for (int i = 0; i < kMutants; ++i) {
    std::string trailer = valid;
    switch (random() % 4) {
      case 0:
        trailer[random() % trailer.size()] ^= static_cast<char>(1 + random() % 255);
        break;
      case 1:
        trailer.resize(random() % 49);  // fewer bytes than a trailer
        break;
      case 2:
        trailer += std::string(1 + random() % 8, '\0');  // more
        break;
      default:
        for (int n = 1 + random() % 2; n > 0; --n) {
          qv::test::PutLittleEndian(trailer, 8 * (1 + random() % 5), nasty[random() % std::size(nasty)], 8);
        }
        break;
    }
    const GuardedBytes bytes(trailer);
    const std::uint64_t size = random() % 8 == 0 ? nasty[random() % std::size(nasty)] : package_size;
    std::optional<qv::setup::SignedTrailer> read = ReadFetchedTrailer(std::string_view(bytes.data(), bytes.size()), size);
    if (!read) continue;
    ++accepted;
    // Whatever passes locates manifest and signature inside the file, before the trailer.
    EXPECT_GE(read->manifest_length, 1u);
    EXPECT_LE(read->manifest_length, 16u * 1024 * 1024);
    EXPECT_EQ(read->signature_length, 64u);
    EXPECT_EQ(read->signature_offset, read->manifest_offset + read->manifest_length);
    EXPECT_EQ(read->signature_offset + 64 + 48, size);
  }
  EXPECT_GT(accepted, 0);
}

}  // namespace
