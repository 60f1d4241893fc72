#include <gtest/gtest.h>

#include "download-fixtures.h"

#include <algorithm>

#include "foundation/crypto/file-hash.h"
#include "foundation/crypto/signed-trailer.h"
#include "foundation/files/tree-walk.h"
#include "foundation/hooks.h"
#include "foundation/text/text.h"
#include "support/test-releases.h"
#include "support/test-server.h"
#include "update/signed-manifest.h"

namespace qv::test {

void DownloadRunTest::SetUp() {
  ASSERT_NE(RunningTestServer(), nullptr);
  ASSERT_TRUE(TrustTestRoot());
  game = temp / L"games" / L"QV";
  std::filesystem::create_directories(game);
  staging = temp / L"games" / L".qv-update-test";
  std::filesystem::create_directories(staging);
  setup_bytes = ReadTestFile(TestReleaseSetup(L"good"));

  platform.run_id = "{test-run}";
  platform.hash_file = qv::setup::HashFile;
  platform.hash_setup_file = qv::setup::HashSetupFile;
  platform.open_package = [this](const std::filesystem::path& package) {
    return qv::setup::OpenPackageView(view, package);
  };
  platform.close_package = [this] {
    view.module.reset();
    view.file.reset();
  };
  platform.staged_files = [this](const std::filesystem::path& folder) { staged.push_back(folder); };
  result.parts = true;
  run.parts = true;
  run.game_folder = game;
  run.download_folder = qv::setup::DownloadFolderFor(game, platform.run_id);
  qv::setup::ResetProgress(1);
}

void DownloadRunTest::TearDown() {
  platform.close_package();
  qv::setup::CancelHook = nullptr;
  qv::setup::ProgressHook = nullptr;
}

void DownloadRunTest::ServeRelease(const std::string& served_name, const std::string& query, const std::string* bytes) {
  name = served_name;
  PutTestServerFile(name, bytes ? *bytes : setup_bytes);
  run.release.package_url = TestHttpsUrl("/files/" + name + (query.empty() ? "" : "?" + query));
  run.release.package_size = setup_bytes.size();
  std::string manifest, signature;
  ASSERT_TRUE(qv::update::ReadManifestAndSignature(TestReleaseSetup(L"good"), manifest, signature));
  std::optional<qv::update::UpdateManifest> read = qv::update::ReadVerifiedManifest(manifest, nullptr);
  ASSERT_TRUE(read);
  run.manifest = *read;
  run.package = read->packages.at("windows");
  run.files = read->files.at("windows");
}

std::vector<qv::setup::PayloadEntry> DownloadRunTest::Wanted(const std::vector<std::string>& paths) const {
  std::vector<qv::setup::PayloadEntry> wanted;
  for (const std::string& path : paths) {
    auto found = std::find_if(run.files.begin(), run.files.end(), [&](const auto& file) { return file.path == path; });
    EXPECT_NE(found, run.files.end()) << path;
    if (found != run.files.end()) wanted.push_back({found->path, found->size, found->sha256});
  }
  return wanted;
}

std::vector<std::string> DownloadRunTest::FilesBelow(const std::filesystem::path& folder) {
  std::vector<std::string> files;
  qv::setup::WalkTree(folder, [&files](const qv::setup::TreeEntry& entry) {
    if (!entry.info.IsFolder()) files.push_back(qv::setup::ToGenericUtf8(entry.relative));
    return qv::setup::WalkStep::kContinue;
  });
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace qv::test
