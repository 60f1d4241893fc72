#pragma once
// An update run whose release is one of the test releases, served by the test
// server, for the tests of the download steps.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/payload/package-view.h"
#include "support/scoped-environment.h"
#include "support/temp-folder.h"
#include "update/download/update-run.h"

namespace qv::test {

class DownloadRunTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Serves the good test release as /files/<name> (or `bytes` instead) and
  // points the run at it: the release's address and size, the manifest's
  // package and files, the download folder beside the game.
  void ServeRelease(const std::string& name, const std::string& query = "", const std::string* bytes = nullptr);

  // The manifest's entries for these paths, as the engine asks for them.
  std::vector<qv::setup::PayloadEntry> Wanted(const std::vector<std::string>& paths) const;

  // Relative '/' paths of every file below a folder, sorted.
  static std::vector<std::string> FilesBelow(const std::filesystem::path& folder);

  qv::test::UpdateTestMode test_mode;
  qv::test::TempFolder temp{L"qv-download"};
  std::filesystem::path game;     // temp/games/QV
  std::filesystem::path staging;  // temp/games/.qv-update-test
  std::string setup_bytes;        // the good release's setup file
  std::string name;               // as served
  qv::setup::win_updater::PackageView view;
  std::vector<std::filesystem::path> staged;  // what staged_files was told
  qv::setup::GameUpdatePlatform platform;
  qv::setup::GameUpdateResult result;
  qv::setup::UpdateRun run{platform, result};
};

}  // namespace qv::test
