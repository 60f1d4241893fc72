#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "engine/transaction/file-moves.h"
#include "foundation/win/unique-handle.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "support/fake-links.h"
#include "support/temp-folder.h"
#include "support/thrown.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using qv::setup::ExistingTarget;
using qv::setup::MoveStagedFile;
using qv::setup::PruneEmptyParents;
using qv::setup::ReadFileText;
using qv::setup::RenameWithRetry;
using qv::setup::SnapshotTree;
using qv::setup::TreeSnapshot;
using qv::setup::WriteFixtureFile;
using qv::test::TempFolder;

TEST(RenameWithRetry, GivesUpOnALockedTargetAfterItsAttempts) {
  TempFolder temp;
  WriteFixtureFile(temp / L"from", "new");
  WriteFixtureFile(temp / L"to", "old");
  qv::setup::UniqueFile held(
      ::CreateFileW((temp / L"to").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  const auto start = std::chrono::steady_clock::now();
  try {
    RenameWithRetry(temp / L"from", temp / L"to", ExistingTarget::kReplace, 20ms);
    ADD_FAILURE() << "no exception";
  } catch (const fs::filesystem_error& error) {
    EXPECT_NE(std::string(error.what()).find("rename"), std::string::npos);
    EXPECT_EQ(error.path1(), temp / L"from");
    EXPECT_EQ(error.path2(), temp / L"to");
    EXPECT_TRUE(error.code());
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, 30 * 20ms);  // 31 attempts, 30 pauses
  EXPECT_LT(elapsed, 10s);
  held.reset();
  EXPECT_EQ(ReadFileText(temp / L"to"), "old");

  // Freed in time: the next attempt succeeds.
  RenameWithRetry(temp / L"from", temp / L"to", ExistingTarget::kReplace, 1ms);
  EXPECT_EQ(ReadFileText(temp / L"to"), "new");
}

TEST(RenameWithRetry, NoWaitForAMissingSourceOrATakenPlace) {
  TempFolder temp;
  WriteFixtureFile(temp / L"from", "new");
  WriteFixtureFile(temp / L"to", "old");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(RenameWithRetry(temp / L"missing", temp / L"x", ExistingTarget::kReplace, 2s), fs::filesystem_error);
  EXPECT_THROW(RenameWithRetry(temp / L"from", temp / L"to", ExistingTarget::kRefuse, 2s), fs::filesystem_error);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_EQ(ReadFileText(temp / L"to"), "old");
  EXPECT_EQ(ReadFileText(temp / L"from"), "new");
}

TEST(MoveStagedFile, CreatesFoldersAndNeverReplaces) {
  TempFolder temp;
  WriteFixtureFile(temp / L"install" / L"a" / L"b" / L"f.dll", "old");
  MoveStagedFile(temp / L"install", temp / L"backup", "a/b/f.dll");
  EXPECT_EQ(ReadFileText(temp / L"backup" / L"a" / L"b" / L"f.dll"), "old");
  EXPECT_FALSE(fs::exists(temp / L"install" / L"a" / L"b" / L"f.dll"));

  // A backup already in place stays the backup.
  WriteFixtureFile(temp / L"install" / L"a" / L"b" / L"f.dll", "newer");
  EXPECT_THROW(MoveStagedFile(temp / L"install", temp / L"backup", "a\\b\\f.dll"), fs::filesystem_error);
  EXPECT_EQ(ReadFileText(temp / L"backup" / L"a" / L"b" / L"f.dll"), "old");
  EXPECT_EQ(ReadFileText(temp / L"install" / L"a" / L"b" / L"f.dll"), "newer");

  EXPECT_EQ(qv::test::ThrownMessage([&] { MoveStagedFile(temp / L"install", temp / L"backup", "../x"); }),
            "Unsafe payload path.");
}

TEST(PruneEmptyParents, RemovesEmptyFoldersUpToTheRoot) {
  struct Case {
    const char* relative;
    std::vector<std::wstring> folders;  // created empty below the root
    TreeSnapshot after;
  } cases[] = {
      {"shaders/new/x.spv", {L"shaders\\new"}, {}},
      {"shaders\\new\\x.spv", {L"shaders\\new"}, {}},
      {"x.spv", {}, {}},
      // The player's folders are never removed, however deep.
      {"mods/pack/x.pak", {L"mods\\pack"}, {{"mods/", ""}, {"mods/pack/", ""}}},
      {"MODS/x.pak", {L"MODS"}, {{"MODS/", ""}}},
      {"data/sub/x", {L"data\\sub"}, {{"data/", ""}, {"data/sub/", ""}}},
      {"CUSA09901/sub/x", {L"CUSA09901\\sub"}, {{"CUSA09901/", ""}, {"CUSA09901/sub/", ""}}},
      {"saves/x", {L"saves"}, {{"saves/", ""}}},
      {"dlssg_sm86/x.dll", {L"dlssg_sm86"}, {{"dlssg_sm86/", ""}}},
      // An unpreserved folder below a preserved one is removed, the preserved one stays.
      {"extractor/mods/x", {L"extractor\\mods"}, {}},
      {"../outside/x", {}, {}},
  };
  for (const Case& c : cases) {
    TempFolder temp;
    for (const std::wstring& folder : c.folders) fs::create_directories(temp / folder);
    PruneEmptyParents(temp.path(), c.relative);
    EXPECT_EQ(SnapshotTree(temp.path()), c.after) << c.relative;
    EXPECT_TRUE(fs::is_directory(temp.path()));
  }

  // A folder with content ends the climb.
  TempFolder temp;
  WriteFixtureFile(temp / L"shaders" / L"keep.spv", "k");
  fs::create_directories(temp / L"shaders" / L"new");
  PruneEmptyParents(temp.path(), "shaders/new/x.spv");
  EXPECT_EQ(SnapshotTree(temp.path()), (TreeSnapshot{{"shaders/", ""}, {"shaders/keep.spv", "k"}}));

  // A symbolic link is never removed, a junction to an empty folder may be.
  fs::create_directories(temp / L"linked" / L"deeper");
  auto link = qv::test::ViewWithReparsePoints({{temp / L"linked", qv::setup::kReparseTagSymlink}});
  PruneEmptyParents(temp.path(), "linked/deeper/x", link);
  EXPECT_TRUE(fs::exists(temp / L"linked"));
  EXPECT_FALSE(fs::exists(temp / L"linked" / L"deeper"));
}

}  // namespace
