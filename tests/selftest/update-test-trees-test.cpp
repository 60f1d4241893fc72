#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/records/existing-install.h"
#include "engine/records/install-manifest.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "selftest/fixtures/update-test-trees.h"
#include "support/temp-folder.h"

namespace {

using namespace qv::setup;
using qv::test::TempFolder;
namespace fs = std::filesystem;

const std::string kArchive("QAR\0archive bytes\xff", 18);

TEST(UpdateTestTrees, TheOlderInstallationWithoutAManifest) {
  TempFolder temp;
  BuildOlderInstallFixture(temp.path(), false, kArchive);
  const TreeSnapshot expected = {
      {"CUSA09901/chunk1.psarc", "PSAR old archive"},
      {"CUSA09901/texture.qar", kArchive},
      {"data/qv.ini", "user folder settings"},
      {"data/qv.log", "user folder log"},
      {"data/saves/progress.dat", "user save"},
      {"mods/mine/init.lua", "player mod"},
      {"nvngx_dlss.dll", "old dll"},
      {"qv.exe", "old exe"},
      {"qv.ini", "player settings"},
      {"reshade.dll", "player dll"},
      {"shaders/a.spv", "old a"},
      {"shaders/gone.spv", "old gone"},
      {"voice/cmudict-en-us.dict", "old dictionary"},
      {"voice/en-us/mdef", "old acoustic model"},
  };
  EXPECT_EQ(SnapshotFileContents(temp.path()), expected);
  EXPECT_FALSE(fs::exists(temp / L"qv-install-manifest.txt"));
}

TEST(UpdateTestTrees, TheOlderInstallationWithItsManifest) {
  TempFolder temp;
  BuildOlderInstallFixture(temp.path(), true, kArchive);
  const std::string zeros(64, '0');
  std::string expected = "qv-port-install 1\nversion=0.0.9\n";
  for (const char* path : {"qv.exe", "shaders/a.spv", "shaders/gone.spv", "nvngx_dlss.dll", "voice/cmudict-en-us.dict",
                           "voice/en-us/mdef", "data/qv.ini", "data./qv.log", "data /saves/progress.dat",
                           "DATA\\qv.ini"}) {
    expected += "file=" + zeros + " " + path + "\n";
  }
  EXPECT_EQ(ReadFileText(temp / L"qv-install-manifest.txt"), expected);

  // The engine takes it for an installation of 0.0.9 whose port files are
  // the six outside the player's data folder.
  const ExistingInstall existing = ReadExistingInstall(temp.path());
  EXPECT_TRUE(existing.is_install);
  EXPECT_TRUE(existing.has_manifest);
  EXPECT_EQ(existing.version, kOlderInstallVersion);
  std::vector<std::string> ports;
  for (const InstalledFile& file : existing.manifest_files) ports.push_back(file.path);
  EXPECT_EQ(ports, (std::vector<std::string>{"qv.exe", "shaders/a.spv", "shaders/gone.spv", "nvngx_dlss.dll",
                                             "voice/cmudict-en-us.dict", "voice/en-us/mdef"}));
}

TEST(UpdateTestTrees, TheNewRelease) {
  TempFolder temp;
  const std::vector<InstalledFile> files = BuildNewReleaseFixture(temp.path());
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0].path, "qv.exe");
  EXPECT_EQ(files[1].path, "shaders/a.spv");
  EXPECT_EQ(files[2].path, "shaders/b.spv");
  for (const InstalledFile& file : files) EXPECT_EQ(file.sha256, "");
  const TreeSnapshot expected = {
      {"qv-install-manifest.txt", "qv-port-install 1\nversion=0.2.0\n"},
      {"qv.exe", "new exe"},
      {"shaders/a.spv", "new a"},
      {"shaders/b.spv", "new b"},
  };
  EXPECT_EQ(SnapshotFileContents(temp.path()), expected);
}

TEST(UpdateTestTrees, AFileInTheWayOfAFolderFailsLoudly) {
  TempFolder temp;
  WriteFixtureFile(temp / L"root", "a file");
  EXPECT_THROW(BuildOlderInstallFixture(temp / L"root", true, kArchive), fs::filesystem_error);
  EXPECT_THROW(BuildNewReleaseFixture(temp / L"root"), fs::filesystem_error);
}

}  // namespace
