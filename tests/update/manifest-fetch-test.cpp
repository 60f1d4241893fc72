// The signed manifest of a release read by two range requests from the
// project's HTTPS test server, which serves this run's test releases.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/crypto/signed-trailer.h"
#include "support/payload-layout.h"
#include "support/scoped-environment.h"
#include "support/signed-overlay.h"
#include "support/temp-folder.h"
#include "support/test-releases.h"
#include "support/test-server.h"
#include "update/manifest-fetch.h"

namespace {

using namespace qv::update;
using qv::test::LoggedRequest;
using qv::test::PutTestServerFile;
using qv::test::ScopedEnvironment;
using qv::test::TestHttpsUrl;
using qv::test::TrailerField;

std::string RangeText(std::uint64_t first, std::uint64_t last) {
  return "bytes=" + std::to_string(first) + "-" + std::to_string(last);
}

class ManifestFetch : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(qv::test::RunningTestServer(), nullptr);
    ASSERT_TRUE(qv::test::TrustTestRoot());
    ASSERT_EQ(key_hex.size(), 64u) << "no test releases: run this test program through ctest";
    newer = qv::test::ReadTestFile(qv::test::TestReleaseSetup(L"newer"));
    trailer = qv::setup::ReadSignedTrailer(qv::test::TestReleaseSetup(L"newer")).value_or(qv::setup::SignedTrailer{});
    ASSERT_GT(trailer.manifest_offset, 0u);
  }

  // A release of version `version` whose setup file is served under `name`.
  Release Serve(const std::string& name, const std::string& bytes, const std::string& version = "2.0.0",
                const std::string& query = "") {
    PutTestServerFile(name, bytes);
    Release release;
    release.version = version;
    release.package_url = TestHttpsUrl("/files/" + name + query);
    release.package_size = bytes.size();
    return release;
  }

  std::string ErrorOf(const Release& release, bool* ranges_unsupported = nullptr) {
    std::string error = "untouched";
    if (FetchSignedManifest(release, &error, ranges_unsupported)) return "accepted";
    return error;
  }

  // The newer release with one trailer field replaced.
  std::string WithTrailerField(std::size_t field, std::uint64_t value) const {
    std::string bytes = newer;
    std::string trailer_bytes = bytes.substr(bytes.size() - 48);
    qv::test::PutLittleEndian(trailer_bytes, field, value, 8);
    return bytes.replace(bytes.size() - 48, 48, trailer_bytes);
  }

  qv::test::UpdateTestMode test_mode;
  const std::string key_hex = qv::test::TestReleasePublicKeyHex();
  ScopedEnvironment test_key{"QV_UPDATE_TEST_PUBLIC_KEY", key_hex};
  std::string newer;
  qv::setup::SignedTrailer trailer;
};

TEST_F(ManifestFetch, TwoRangeRequestsBringTheVerifiedManifest) {
  const Release release = Serve("newer.exe", newer);
  std::string error = "untouched";
  bool ranges_unsupported = true;
  std::optional<UpdateManifest> manifest = FetchSignedManifest(release, &error, &ranges_unsupported);
  ASSERT_TRUE(manifest) << error;
  EXPECT_EQ(error, "untouched");
  EXPECT_FALSE(ranges_unsupported);
  EXPECT_EQ(manifest->version, "2.0.0");
  EXPECT_EQ(manifest->packages.at("windows").size, trailer.manifest_offset);
  EXPECT_FALSE(manifest->files.at("windows").empty());

  // Exactly the trailer, then manifest and signature in one piece; never the setup file.
  std::vector<LoggedRequest> asked = qv::test::TestServerLogFor("/files/newer.exe");
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].range, RangeText(newer.size() - 48, newer.size() - 1));
  EXPECT_EQ(asked[0].status, "206");
  EXPECT_EQ(asked[0].sent, 48u);
  EXPECT_EQ(asked[1].range, RangeText(trailer.manifest_offset, trailer.signature_offset + 63));
  EXPECT_EQ(asked[1].status, "206");
  EXPECT_EQ(asked[1].sent, trailer.manifest_length + 64);

  EXPECT_TRUE(FetchSignedManifest(release, nullptr, nullptr));
}

TEST_F(ManifestFetch, AfterARedirectTheSecondRequestGoesStraightToTheFile) {
  PutTestServerFile("moved.exe", newer);
  Release release;
  release.version = "2.0.0";
  release.package_url = TestHttpsUrl("/redirect/302?to=/files/moved.exe");
  release.package_size = newer.size();
  EXPECT_EQ(ErrorOf(release), "accepted");
  EXPECT_EQ(qv::test::TestServerLogFor("/redirect/302?to=/files/moved.exe").size(), 1u);
  std::vector<LoggedRequest> asked = qv::test::TestServerLogFor("/files/moved.exe");
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].range, RangeText(newer.size() - 48, newer.size() - 1));
  EXPECT_EQ(asked[1].range, RangeText(trailer.manifest_offset, trailer.signature_offset + 63));
}

TEST_F(ManifestFetch, AHopToAHostNotAllowedIsNeverContacted) {
  PutTestServerFile("elsewhere.exe", newer);
  const qv::test::TestServer& server = *qv::test::RunningTestServer();
  // A redirect to a host outside the download hosts (were it asked, the name
  // would not even lead to the test server).
  Release release;
  release.version = "2.0.0";
  release.package_size = newer.size();
  release.package_url = TestHttpsUrl("/redirect/302?to=https://downloads.example.com:" +
                                     std::to_string(server.https) + "/files/elsewhere.exe");
  EXPECT_EQ(ErrorOf(release), "could not read the end of elsewhere.exe: refused address https://downloads.example.com");
  EXPECT_TRUE(qv::test::TestServerLogFor("/files/elsewhere.exe").empty());

  // Outside test mode the local server itself is no download host: not even the first request is made.
  ScopedEnvironment off("QV_UPDATE_TEST", std::nullopt);
  release.package_url = TestHttpsUrl("/files/elsewhere.exe?first");
  EXPECT_EQ(ErrorOf(release), "could not read the end of elsewhere.exe?first: refused address https://localhost");
  EXPECT_TRUE(qv::test::TestServerLogFor("/files/elsewhere.exe").empty());
}

TEST_F(ManifestFetch, ServerThatIgnoresRanges) {
  const Release release = Serve("whole.exe", newer, "2.0.0", "?ranges=ignore");
  bool ranges_unsupported = false;
  EXPECT_EQ(ErrorOf(release, &ranges_unsupported),
            "could not read the end of whole.exe?ranges=ignore: localhost does not serve parts of a file");
  EXPECT_TRUE(ranges_unsupported);
  std::vector<LoggedRequest> asked = qv::test::TestServerLogFor("/files/whole.exe");
  ASSERT_EQ(asked.size(), 1u);  // nothing more is asked
  EXPECT_EQ(asked[0].status, "200");
}

TEST_F(ManifestFetch, AnswersOfTheWrongLength) {
  PutTestServerFile("odd.exe", newer);
  struct Case {
    std::string query;
    std::string error;
  } cases[] = {
      {"?extra=1", "could not read the end of odd.exe?extra=1: the file is larger than expected"},
      {"?extra=5&nolength=1", "could not read the end of odd.exe?extra=5&nolength=1: the file is larger than expected"},
      // Short answers the client finds nothing wrong with are named too.
      {"?cut=8", "could not read the end of odd.exe?cut=8: the server sent 40 of the 48 bytes asked for"},
      {"?cut=1&nolength=1", "could not read the end of odd.exe?cut=1&nolength=1: the server sent 47 of the 48 bytes asked for"},
  };
  for (const Case& c : cases) {
    Release release;
    release.version = "2.0.0";
    release.package_url = TestHttpsUrl("/files/odd.exe" + c.query);
    release.package_size = newer.size();
    EXPECT_EQ(ErrorOf(release), c.error) << c.query;
  }
}

TEST_F(ManifestFetch, ReleasesWithoutAUsableSetupFile) {
  Release release;
  release.version = "2.0.0";
  release.package_size = newer.size();
  EXPECT_EQ(ErrorOf(release), "the release has no package for this system");
  release.package_url = TestHttpsUrl("/files/short.exe");
  release.package_size = 47;
  EXPECT_EQ(ErrorOf(release), "the release has no package for this system");
  bool ranges_unsupported = true;
  EXPECT_FALSE(FetchSignedManifest(release, nullptr, &ranges_unsupported));
  EXPECT_FALSE(ranges_unsupported);

  PutTestServerFile("tiny.exe", std::string(48, 'x'));
  release.package_url = TestHttpsUrl("/files/tiny.exe");
  release.package_size = 48;
  EXPECT_EQ(ErrorOf(release), "the package carries no signed update manifest");
  release.package_url = TestHttpsUrl("/files/not-there.exe");
  EXPECT_EQ(ErrorOf(release), "could not read the end of not-there.exe: HTTP 404 from localhost");
}

TEST_F(ManifestFetch, TrailerDefects) {
  const std::uint64_t size = newer.size();
  struct Case {
    const char* what;
    std::string bytes;
    std::uint64_t announced_size;
  } cases[] = {
      {"magic", [&] { std::string b = newer; b[b.size() - 48] = 'X'; return b; }(), size},
      {"format 2", WithTrailerField(TrailerField::kVersion, 2), size},
      {"signature length 63", WithTrailerField(TrailerField::kSignatureLength, 63), size},
      {"manifest length 0", WithTrailerField(TrailerField::kManifestLength, 0), size},
      {"manifest length 16 MiB + 1", WithTrailerField(TrailerField::kManifestLength, 16777217), size},
      {"manifest offset past the end", WithTrailerField(TrailerField::kManifestOffset, size + 1), size},
      {"manifest offset one later", WithTrailerField(TrailerField::kManifestOffset, trailer.manifest_offset + 1), size},
      {"signature offset one later", WithTrailerField(TrailerField::kSignatureOffset, trailer.signature_offset + 1), size},
      {"huge manifest offset", WithTrailerField(TrailerField::kManifestOffset, ~0ull - 10), size},
      {"a release that states the size one byte short", newer, size - 1},
      {"a file with a byte more", newer + "x", size + 1},
  };
  for (const Case& c : cases) {
    Release release = Serve("trailer.exe", c.bytes);
    release.package_size = c.announced_size;
    EXPECT_EQ(ErrorOf(release), "the package carries no signed update manifest") << c.what;
  }
  // Only the trailer was ever asked for.
  for (const LoggedRequest& request : qv::test::TestServerLogFor("/files/trailer.exe")) {
    EXPECT_EQ(request.sent, 48u) << request.range;
  }
  // A release that states more bytes than the file has: a range that runs past
  // the end comes back cut at the file's end, one that starts past it is refused.
  Release past_the_end = Serve("trailer.exe", newer);
  past_the_end.package_size = size + 10;
  EXPECT_EQ(ErrorOf(past_the_end), "could not read the end of trailer.exe: the server sent 38 of the 48 bytes asked for");
  past_the_end.package_size = size + 100;
  EXPECT_EQ(ErrorOf(past_the_end), "could not read the end of trailer.exe: HTTP 416 from localhost");
}

TEST_F(ManifestFetch, SignatureAndVersionDefects) {
  std::string changed_signature = newer;
  changed_signature[trailer.signature_offset + 5] ^= 0x20;
  EXPECT_EQ(ErrorOf(Serve("bad-signature.exe", changed_signature)), "the update manifest's signature is not valid");
  std::string changed_manifest = newer;
  changed_manifest[trailer.manifest_offset + trailer.manifest_length / 2] ^= 0x01;
  EXPECT_EQ(ErrorOf(Serve("bad-manifest.exe", changed_manifest)), "the update manifest's signature is not valid");

  // A genuinely signed older release offered as the newer one.
  const std::string good = qv::test::ReadTestFile(qv::test::TestReleaseSetup(L"good"));
  EXPECT_EQ(ErrorOf(Serve("rollback.exe", good, "2.0.0")), "the update manifest is for version 1.1.0, not 2.0.0");
  EXPECT_EQ(ErrorOf(Serve("rollback.exe", good, "v1.1.0")), "accepted");

  // The release signer's key, not this run's, outside test mode... and in test
  // mode without the test key.
  ScopedEnvironment no_key("QV_UPDATE_TEST_PUBLIC_KEY", std::nullopt);
  EXPECT_EQ(ErrorOf(Serve("no-key.exe", newer)), "the update manifest's signature is not valid");
}

}  // namespace
