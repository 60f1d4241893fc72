// DownloadWholePackage and CheckDownloadedPackage against the test release on
// the test server: each failure with its sentence, nothing written beside the
// game but the download folder, and the progress of the download.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "download-fixtures.h"
#include "foundation/crypto/signed-trailer.h"
#include "foundation/hooks.h"
#include "support/test-releases.h"
#include "support/test-server.h"
#include "support/thrown.h"
#include "update/download/whole-package.h"

namespace {

using namespace qv::setup;
using qv::test::DownloadRunTest;
using qv::test::ThrownMessage;

using WholePackage = DownloadRunTest;

std::size_t RequestCount(const std::string& name) { return qv::test::TestServerLogFor("/files/" + name).size(); }

// Beside the game there is the game and at most the download folder.
void ExpectOnlyTheDownloadFolderBeside(const std::filesystem::path& games) {
  for (const auto& item : std::filesystem::directory_iterator(games)) {
    const std::wstring name = item.path().filename().native();
    EXPECT_TRUE(name == L"QV" || name == L".qv-update-test" || name == L".qv-update-dl-{test-run}")
        << item.path().string();
  }
}

TEST_F(WholePackage, DownloadsOnceWithProgressAgainstThePackageSize) {
  ServeRelease("whole-good.exe");
  std::vector<std::pair<std::uint64_t, std::uint64_t>> reports;
  ProgressHook = [&reports](std::uint64_t done, std::uint64_t total) { reports.emplace_back(done, total); };

  CheckDownloadedPackage(run);
  EXPECT_EQ(run.downloaded_package, run.download_folder / L"Q.V.PC.Rure.Setup.exe");
  EXPECT_EQ(qv::test::ReadTestFile(run.downloaded_package), setup_bytes);
  EXPECT_NE(run.payload.first, nullptr);
  EXPECT_EQ(result.requests, 1);
  EXPECT_EQ(result.bytes_downloaded, setup_bytes.size());
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.front(), std::make_pair(std::uint64_t{0}, std::uint64_t{setup_bytes.size()}));
  EXPECT_EQ(reports.back(), std::make_pair(std::uint64_t{setup_bytes.size()}, std::uint64_t{setup_bytes.size()}));

  // Both steps are done once per run.
  CheckDownloadedPackage(run);
  DownloadWholePackage(run);
  EXPECT_EQ(RequestCount(name), 1u);
  EXPECT_EQ(result.requests, 1);
}

TEST_F(WholePackage, AReleaseWithoutASizeAllowsTwoGibibytes) {
  ServeRelease("whole-unsized.exe");
  run.release.package_size = 0;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> reports;
  ProgressHook = [&reports](std::uint64_t done, std::uint64_t total) { reports.emplace_back(done, total); };
  DownloadWholePackage(run);
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.front().second, 0x80000000u);
  EXPECT_EQ(reports.back(), std::make_pair(std::uint64_t{setup_bytes.size()}, std::uint64_t{0x80000000u}));
}

TEST(WholePackageLimit, ThePackageSizeUpToTheSetupFileCeiling) {
  const struct {
    std::uint64_t stated;
    std::uint64_t limit;
  } cases[] = {
      {0, 0x80000000ull},            // nothing stated
      {1, 1},
      {123456789, 123456789},
      {0xFFFFFFFFull, 0xFFFFFFFFull},
      {0x100000000ull, 0x100000000ull},
      {0x100000001ull, 0x100000000ull},
      {1ull << 40, 0x100000000ull},  // an unsigned document may claim anything
      {~0ull, 0x100000000ull},
  };
  for (const auto& c : cases) EXPECT_EQ(WholePackageLimit(c.stated), c.limit) << c.stated;
}

TEST_F(WholePackage, AReleaseClaimingMoreThanASetupFileCanBeIsNotFetched) {
  ServeRelease("whole-huge.exe");
  run.release.package_size = (1ull << 40);
  EXPECT_EQ(ThrownMessage([&] { DownloadWholePackage(run); }),
            "The release's setup file is larger than 4 GiB, more than a setup file can be.");
  EXPECT_EQ(result.requests, 0);
  EXPECT_EQ(RequestCount(name), 0u);
  EXPECT_FALSE(std::filesystem::exists(run.download_folder));
}

TEST_F(WholePackage, DownloadFailuresNameTheirCause) {
  // Each failure leaves the installation alone and raises its sentence.
  ServeRelease("whole-failures.exe");
  const std::string good_url = run.release.package_url;

  run.release.package_url = qv::test::TestHttpsUrl("/files/whole-missing.exe");
  EXPECT_EQ(ThrownMessage([&] { DownloadWholePackage(run); }), "The download failed: HTTP 404 from localhost.");
  EXPECT_EQ(result.requests, 1);
  EXPECT_TRUE(run.downloaded_package.empty());

  run.release.package_url = good_url;
  run.release.package_size = setup_bytes.size() - 1;
  EXPECT_EQ(ThrownMessage([&] { DownloadWholePackage(run); }),
            "The download failed: the file is larger than expected.");
  run.release.package_size = setup_bytes.size();

  // A cancel is the user's, not a failure of the download: it reads as every other phase's.
  // Whether its request reaches the server is a race between the download's
  // thread and the waiting one (and a request may arrive after the call has
  // returned), so it asks for an address of its own that nothing below counts.
  run.release.package_url = qv::test::TestHttpsUrl("/files/whole-failures-cancelled.exe");
  CancelHook = [] { return true; };
  EXPECT_EQ(ThrownMessage([&] { DownloadWholePackage(run); }), "Installation cancelled.");
  CancelHook = nullptr;
  run.release.package_url = good_url;

  // A folder with content where the file goes.
  std::filesystem::remove(run.download_folder / L"Q.V.PC.Rure.Setup.exe");
  qv::test::WriteTestFile(run.download_folder / L"Q.V.PC.Rure.Setup.exe" / L"in the way", "x");
  EXPECT_EQ(ThrownMessage([&] { DownloadWholePackage(run); }), "Could not write the download.");
  EXPECT_EQ(result.requests, 3);  // no request without a file to write to
  ExpectOnlyTheDownloadFolderBeside(temp / L"games");

  // A file where the download folder's parent should be.
  qv::test::WriteTestFile(temp / L"blocked", "x");
  run.download_folder = temp / L"blocked" / L".qv-update-dl-x";
  const std::string message = ThrownMessage([&] { DownloadWholePackage(run); });
  EXPECT_TRUE(message.starts_with("Could not create the download folder next to the install: ")) << message;
  EXPECT_TRUE(message.ends_with(".") && !message.ends_with("..")) << message;
  EXPECT_EQ(RequestCount(name), 1u);  // the answer too large; nothing after it
}

TEST_F(WholePackage, ChecksRefuseAPackageThatIsNotTheManifests) {
  // One byte more than the manifest's size, without the signed overlay.
  const std::optional<SignedTrailer> trailer = ReadSignedTrailer(qv::test::TestReleaseSetup(L"good"));
  ASSERT_TRUE(trailer);
  std::string longer = setup_bytes.substr(0, trailer->manifest_offset) + "x";
  ServeRelease("whole-longer.exe", "", &longer);
  run.release.package_size = longer.size();
  EXPECT_EQ(ThrownMessage([&] { CheckDownloadedPackage(run); }),
            "The download has the wrong size. Nothing was changed.");
  EXPECT_EQ(run.payload.first, nullptr);

  struct Case {
    const char* label;
    std::function<void(qv::setup::UpdateRun&)> change;
    std::string message;
  } cases[] = {
      {"digest", [](auto& r) { r.package.sha256[0] = r.package.sha256[0] == '0' ? '1' : '0'; },
       "The download does not match the signed manifest (SHA-256). Nothing was changed."},
      {"one entry more", [](auto& r) { r.files.push_back(r.files.back()); r.files.back().path = "extra.bin"; },
       "The package's files do not match the signed manifest. Nothing was changed."},
      {"one entry less", [](auto& r) { r.files.pop_back(); },
       "The package's files do not match the signed manifest. Nothing was changed."},
      {"one digest", [](auto& r) { r.files[3].sha256 = std::string(64, 'a'); },
       "The package's files do not match the signed manifest. Nothing was changed."},
      {"one size", [](auto& r) { r.files[3].size += 1; },
       "The package's files do not match the signed manifest. Nothing was changed."},
  };
  for (const Case& c : cases) {
    ServeRelease(std::string("whole-check-") + c.label + ".exe");
    run.downloaded_package.clear();
    run.payload = {nullptr, 0};
    platform.close_package();
    c.change(run);
    EXPECT_EQ(ThrownMessage([&] { CheckDownloadedPackage(run); }), c.message) << c.label;
    EXPECT_EQ(run.payload.first, nullptr) << c.label;
  }
  ExpectOnlyTheDownloadFolderBeside(temp / L"games");
  EXPECT_TRUE(std::filesystem::is_empty(game));
}

}  // namespace
