// The payload operations over the test program's own payload (a small archive
// of tests/fixtures/setup-payload, embedded as RCDATA 100), the size of a
// folder's top level, and the folders searched for the player's game.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "foundation/crypto/file-hash.h"
#include "foundation/hooks.h"
#include "foundation/payload/package-folders.h"
#include "foundation/text/text.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "setup/folder-size.h"
#include "setup/install/own-payload.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::PayloadEntry;
using qv::test::TempFolder;
using qv::test::WriteTestFile;

// The port files the test program carries.
const std::vector<std::string> kPayloadNames{
    "amd_fidelityfx_vk.dll", "libxess.dll",    "nvngx_dlss.dll",     "qv-files.json",
    "qv-updater.exe",        "qv.exe",         "shaders/a.spv",      "voice/model one.bin"};

std::vector<std::string> NamesOf(const std::vector<qv::setup::InstalledFile>& files) {
  std::vector<std::string> names;
  for (const auto& file : files) names.push_back(file.path);
  return names;
}

TEST(OwnPayload, IndexAndTotalSizeComeFromTheProgramsResource) {
  const std::vector<PayloadEntry> index = qv::setup::ReadOwnPayloadIndex();
  std::vector<std::string> names;
  std::uint64_t total = 0;
  for (const PayloadEntry& entry : index) {
    names.push_back(entry.name);
    total += entry.size;
  }
  EXPECT_EQ(names, kPayloadNames);
  EXPECT_EQ(qv::setup::OwnPayloadTotalSize(), total);
  EXPECT_GT(total, 0u);
}

TEST(OwnPayload, ExtractsEverythingWithProgress) {
  TempFolder temp{L"qv-own-payload"};
  qv::setup::ResetProgress(1u << 20);
  const auto installed = qv::setup::ExtractOwnPayload(temp.path());
  EXPECT_EQ(qv::setup::ProgressCounters.done, qv::setup::OwnPayloadTotalSize());
  qv::setup::ResetProgress(0);
  EXPECT_EQ(NamesOf(installed), kPayloadNames);
  for (const auto& file : installed) {
    EXPECT_EQ(qv::setup::HashFile(temp / qv::setup::PathFromUtf8(file.path)), file.sha256) << file.path;
  }
  EXPECT_EQ(qv::test::ReadTestFile(temp / L"voice" / L"model one.bin"), "a voice model\n");
}

TEST(OwnPayload, ExtractsOnlyTheListedEntries) {
  TempFolder temp{L"qv-own-payload"};
  const std::vector<PayloadEntry> index = qv::setup::ReadOwnPayloadIndex();
  auto entry = [&](const std::string& name) {
    return *std::find_if(index.begin(), index.end(), [&](const PayloadEntry& e) { return e.name == name; });
  };
  // Duplicates count once; the order of the list does not matter.
  const auto installed =
      qv::setup::ExtractOwnPayloadEntries(temp / L"some", {entry("shaders/a.spv"), entry("qv.exe"), entry("qv.exe")});
  EXPECT_EQ(NamesOf(installed), (std::vector<std::string>{"qv.exe", "shaders/a.spv"}));
  EXPECT_EQ(qv::setup::SnapshotTree(temp / L"some"),
            (qv::setup::TreeSnapshot{{"qv.exe", "Q.V. DU Vora: the game of the setup tests\n"},
                                     {"shaders/", ""},
                                     {"shaders/a.spv", "shader bytes\n"}}));

  EXPECT_TRUE(qv::setup::ExtractOwnPayloadEntries(temp / L"none", {}).empty());
  EXPECT_FALSE(fs::exists(temp / L"none"));
}

TEST(FolderSize, CountsOnlyTheFilesDirectlyInside) {
  TempFolder temp{L"qv-folder-size"};
  EXPECT_EQ(qv::setup::FolderSize(temp / L"missing"), 0u);
  EXPECT_EQ(qv::setup::FolderSize(temp.path()), 0u);
  WriteTestFile(temp / L"a.bin", std::string(1000, 'a'));
  WriteTestFile(temp / L"b.bin", std::string(24, 'b'));
  WriteTestFile(temp / L"empty", "");
  WriteTestFile(temp / L"sub" / L"deep.bin", std::string(5000, 'd'));
  EXPECT_EQ(qv::setup::FolderSize(temp.path()), 1024u);
  // A file's path is no folder to list.
  EXPECT_EQ(qv::setup::FolderSize(temp / L"a.bin"), 0u);
}

TEST(DefaultPackageFolders, DownloadsDesktopDocumentsInThatOrder) {
  auto query = [&](const KNOWNFOLDERID& id) -> std::optional<fs::path> {
    if (IsEqualGUID(id, FOLDERID_Downloads)) return fs::path(L"C:\\D\\Downloads");
    if (IsEqualGUID(id, FOLDERID_Desktop)) return fs::path(L"C:\\D\\Desktop");
    return std::nullopt;  // no Documents on this system
  };
  EXPECT_EQ(qv::setup::DefaultPackageFolders(query),
            (std::vector<fs::path>{L"C:\\D\\Downloads", L"C:\\D\\Desktop"}));

  // The system's own: three folders that exist.
  const std::vector<fs::path> folders = qv::setup::DefaultPackageFolders();
  ASSERT_EQ(folders.size(), 3u);
  for (const fs::path& folder : folders) EXPECT_TRUE(folder.is_absolute()) << folder.string();
  EXPECT_EQ(folders[1].filename(), L"Desktop");
}

}  // namespace
