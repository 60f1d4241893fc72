#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "engine/installation-guard.h"
#include "engine/journal/update-journal.h"
#include "engine/journal/update-temp-folders.h"
#include "foundation/files/canonical-path.h"
#include "foundation/files/tree-walk.h"
#include "foundation/text/text.h"
#include "foundation/win/unique-handle.h"
#include "selftest/fixtures/fixture-files.h"
#include "support/fake-links.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using qv::setup::RemoveStaleTemporary;
using qv::setup::RemoveUpdateTempFolders;
using qv::setup::UpdateJournal;
using qv::setup::WriteFixtureFile;
using qv::test::TempFolder;

struct TempSite {
  TempFolder temp;
  fs::path parent = qv::setup::WeaklyCanonicalPath(temp.path());
  UpdateJournal journal;

  TempSite() {
    journal.install = parent / L"Game";
    journal.staging = parent / L".qv-update-r";
    journal.backup = parent / L".qv-update-old-r";
    journal.download = parent / L".qv-update-dl-r";
    WriteFixtureFile(journal.install / L"qv.exe", "game");
    WriteFixtureFile(journal.staging / L"shaders" / L"a.spv", "staged");
    WriteFixtureFile(journal.backup / L"deep" / L"er" / L"old.dll", "backup");
    WriteFixtureFile(journal.download / L"part", "downloaded");
  }
};

TEST(RemoveUpdateTempFolders, RemovesTheThreeFoldersAndNothingElse) {
  TempSite site;
  WriteFixtureFile(site.parent / L".qv-update-other" / L"x", "another run's");
  RemoveUpdateTempFolders(site.journal);
  EXPECT_FALSE(fs::exists(site.journal.staging));
  EXPECT_FALSE(fs::exists(site.journal.backup));
  EXPECT_FALSE(fs::exists(site.journal.download));
  EXPECT_TRUE(fs::exists(site.journal.install / L"qv.exe"));
  EXPECT_TRUE(fs::exists(site.parent / L".qv-update-other" / L"x"));
  // Again, with everything gone: nothing to do, nothing fails.
  RemoveUpdateTempFolders(site.journal);

  TempSite without_download;
  qv::setup::RemoveTree(without_download.journal.download);
  without_download.journal.download.clear();
  RemoveUpdateTempFolders(without_download.journal);
  EXPECT_FALSE(fs::exists(without_download.journal.staging));
  EXPECT_FALSE(fs::exists(without_download.journal.backup));
}

TEST(RemoveUpdateTempFolders, FoldersThatAreNotTheUpdatesStay) {
  TempSite site;
  WriteFixtureFile(site.parent / L"elsewhere" / L".qv-update-x" / L"keep", "k");
  WriteFixtureFile(site.parent / L"Photos" / L"keep", "k");
  UpdateJournal foreign = site.journal;
  foreign.staging = site.parent / L"elsewhere" / L".qv-update-x";  // not beside the installation
  foreign.backup = site.parent / L"Photos";                        // no update prefix
  foreign.download = site.journal.install;                         // the installation itself
  RemoveUpdateTempFolders(foreign);
  EXPECT_TRUE(fs::exists(site.parent / L"elsewhere" / L".qv-update-x" / L"keep"));
  EXPECT_TRUE(fs::exists(site.parent / L"Photos" / L"keep"));
  EXPECT_TRUE(fs::exists(site.journal.install / L"qv.exe"));

  // Each folder must carry its own prefix: the backup slot wants ".qv-update-old-".
  UpdateJournal swapped = site.journal;
  swapped.backup = site.journal.staging;
  swapped.staging = fs::path();
  swapped.download = fs::path();
  RemoveUpdateTempFolders(swapped);
  EXPECT_TRUE(fs::exists(site.journal.staging / L"shaders" / L"a.spv"));
}

TEST(RemoveUpdateTempFolders, NeverDeletesThroughALink) {
  TempSite site;
  auto link = qv::test::ViewWithReparsePoints({{site.journal.backup, qv::setup::kReparseTagSymlink}});
  RemoveUpdateTempFolders(site.journal, 1ms, link);
  EXPECT_TRUE(fs::exists(site.journal.backup / L"deep" / L"er" / L"old.dll"));
  EXPECT_FALSE(fs::exists(site.journal.staging));

  // A junction is removed as itself, never what is behind it. (The fake
  // junction is a real folder, so its removal fails and is retried; its
  // content must still be there afterwards.)
  TempSite junction_site;
  auto junction = qv::test::ViewWithReparsePoints({{junction_site.journal.backup, qv::setup::kReparseTagMountPoint}});
  RemoveUpdateTempFolders(junction_site.journal, 1ms, junction);
  EXPECT_TRUE(fs::exists(junction_site.journal.backup / L"deep" / L"er" / L"old.dll"));
}

TEST(RemoveUpdateTempFolders, RetriesAFileInUseThenGivesUp) {
  TempSite site;
  {
    qv::setup::UniqueFile held(::CreateFileW((site.journal.backup / L"deep" / L"er" / L"old.dll").c_str(), GENERIC_READ,
                                             FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    const auto start = std::chrono::steady_clock::now();
    RemoveUpdateTempFolders(site.journal, 20ms);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    // 30 attempts, 29 pauses between them.
    EXPECT_GE(elapsed, 29 * 20ms);
    EXPECT_LT(elapsed, 10s);
    EXPECT_TRUE(fs::exists(site.journal.backup / L"deep" / L"er" / L"old.dll"));
    EXPECT_FALSE(fs::exists(site.journal.staging));
    EXPECT_FALSE(fs::exists(site.journal.download));
  }
  RemoveUpdateTempFolders(site.journal, 1ms);
  EXPECT_FALSE(fs::exists(site.journal.backup));
}

TEST(RemoveStaleTemporary, OnlyPrefixedItemsDirectlyBesideTheInstallation) {
  TempFolder temp;
  const fs::path parent = temp.path();
  struct Case {
    fs::path item;
    bool removed;
  } cases[] = {
      {parent / L".qv-install-", true},
      {parent / L".qv-install-run", true},
      {parent / L".qv-update-", true},
      {parent / L".qv-update-fix-run", true},
      {parent / L".qv-update-old-run", true},
      {parent / L".qv-installer", false},
      {parent / L"qv-update-run", false},
      {parent / L".QV-INSTALL-run", false},
      {parent / L"sub" / L".qv-install-run", false},
  };
  for (const Case& c : cases) {
    WriteFixtureFile(c.item / L"inner" / L"file", "content");
    RemoveStaleTemporary(parent, c.item);
    EXPECT_EQ(!fs::exists(c.item), c.removed) << c.item.string();
  }
  // A file of that name goes too.
  WriteFixtureFile(parent / L".qv-update-file", "x");
  RemoveStaleTemporary(parent, parent / L".qv-update-file");
  EXPECT_FALSE(fs::exists(parent / L".qv-update-file"));
  // Missing: nothing happens.
  RemoveStaleTemporary(parent, parent / L".qv-install-missing");

  // A symbolic link is left alone, and so is what it leads to.
  WriteFixtureFile(parent / L".qv-install-link" / L"file", "behind");
  auto link = qv::test::ViewWithReparsePoints({{parent / L".qv-install-link", qv::setup::kReparseTagSymlink}});
  RemoveStaleTemporary(parent, parent / L".qv-install-link", link);
  EXPECT_TRUE(fs::exists(parent / L".qv-install-link" / L"file"));
}

// What killed runs left beside an installation: staging, download and repair
// folders named with a run identifier go, and nothing else does.
TEST(RemoveAbandonedUpdateFolders, OnlyTheTemporaryFoldersOfRunsThatEnded) {
  const std::wstring run = L"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9";
  const std::wstring live = L"11111111-2222-3333-4444-555555555555";
  const std::wstring current = L"{66666666-7777-8888-9999-AAAAAAAAAAAA}";
  struct Case {
    std::wstring name;
    bool removed;
  } cases[] = {
      {L".qv-update-{" + run + L"}", true},
      {L".qv-update-" + run, true},
      {L".qv-update-dl-{" + run + L"}", true},
      {L".qv-update-dl-" + run, true},
      {L".qv-update-{" + live + L"}", false},
      {L".qv-update-dl-" + current, false},
      {L".qv-update-fix-{" + run + L"}", true},
      {L".qv-update-fix-" + run, true},
      {L".qv-install-{" + run + L"}", true},
      {L".qv-install-" + run, true},
      {L".qv-update-fix-{" + live + L"}", false},
      {L".qv-install-{" + live + L"}", false},
      {L".qv-update-fix-" + current, false},
      {L".qv-update-old-{" + run + L"}", false},
      {L".qv-update-old-" + run, false},
      {L".qv-install-run", false},
      {L".qv-update-fix-", false},
      {L".qv-update-run", false},
      {L".qv-update-{" + run, false},
      {L".qv-update-{" + run + L"}x", false},
      {L".qv-update-dl-", false},
  };
  TempFolder temp;
  const fs::path parent = qv::setup::WeaklyCanonicalPath(temp.path());
  const fs::path install = parent / L"Game";
  WriteFixtureFile(install / L"qv.exe", "game");
  for (const Case& c : cases) WriteFixtureFile(parent / c.name / L"part", "leftover");
  // A file of such a name is no folder a run made.
  WriteFixtureFile(parent / (L".qv-update-dl-{" + live + L"}0"), "a file");
  const std::optional<qv::setup::InstallationGuard> other =
      qv::setup::TryGuardInstallation(parent / L"Other", qv::setup::WideToUtf8(L"{" + live + L"}"));
  ASSERT_TRUE(other);

  // While a journal lies in the installation, it may name any of them.
  WriteFixtureFile(qv::setup::UpdateJournalPath(install), "journal\n");
  qv::setup::RemoveAbandonedUpdateFolders(install, qv::setup::WideToUtf8(current));
  for (const Case& c : cases) EXPECT_TRUE(fs::exists(parent / c.name)) << qv::setup::WideToUtf8(c.name);

  fs::remove(qv::setup::UpdateJournalPath(install));
  qv::setup::RemoveAbandonedUpdateFolders(install, qv::setup::WideToUtf8(current));
  for (const Case& c : cases) EXPECT_EQ(!fs::exists(parent / c.name), c.removed) << qv::setup::WideToUtf8(c.name);
  EXPECT_TRUE(fs::exists(install / L"qv.exe"));

  // A junction or link of such a name is never entered, nor removed: an
  // empty one too would be taken for a folder of the run.
  const fs::path linked = parent / (L".qv-update-{" + run + L"}");
  WriteFixtureFile(linked / L"behind", "target's");
  const fs::path empty_links[] = {parent / (L".qv-update-dl-" + run), parent / (L".qv-install-{" + run + L"}")};
  for (const fs::path& folder : empty_links) fs::create_directories(folder);
  for (std::uint32_t tag : {qv::setup::kReparseTagMountPoint, qv::setup::kReparseTagSymlink}) {
    auto link = qv::test::ViewWithReparsePoints({{linked, tag}, {empty_links[0], tag}, {empty_links[1], tag}});
    qv::setup::RemoveAbandonedUpdateFolders(install, "", link);
    EXPECT_TRUE(fs::exists(linked / L"behind")) << tag;
    for (const fs::path& folder : empty_links) EXPECT_TRUE(fs::exists(folder)) << folder.string() << " " << tag;
  }
}

}  // namespace

namespace {

// What the clean-up guard and the removal after a rollback count as a file
// left in a backup: a link to a file counts (it is a file there), a link to a
// folder or a junction is neither entered nor counted.
TEST(FolderHoldsFiles, LinksToFilesCount) {
  TempSite site;
  const fs::path backup = site.journal.backup;
  EXPECT_TRUE(qv::setup::FolderHoldsFiles(backup));
  qv::setup::RemoveTree(backup);
  fs::create_directories(backup / L"empty" / L"folders");
  EXPECT_FALSE(qv::setup::FolderHoldsFiles(backup));
  EXPECT_FALSE(qv::setup::FolderHoldsFiles(site.parent / L"missing"));

  WriteFixtureFile(backup / L"linked.dll", "a link to a file");
  WriteFixtureFile(backup / L"linked folder" / L"inside.bin", "behind a folder link");
  for (std::uint32_t tag : {qv::setup::kReparseTagSymlink, 0x9000001Au /* a cloud placeholder */}) {
    const auto view = qv::test::ViewWithReparsePoints(
        {{backup / L"linked.dll", tag}, {backup / L"linked folder", qv::setup::kReparseTagSymlink}});
    EXPECT_TRUE(qv::setup::FolderHoldsFiles(backup, view)) << tag;
  }
  fs::remove(backup / L"linked.dll");
  for (std::uint32_t tag : {qv::setup::kReparseTagSymlink, qv::setup::kReparseTagMountPoint}) {
    const auto view = qv::test::ViewWithReparsePoints({{backup / L"linked folder", tag}});
    EXPECT_FALSE(qv::setup::FolderHoldsFiles(backup, view)) << tag;
  }
  EXPECT_TRUE(qv::setup::FolderHoldsFiles(backup));  // the same folder, not a link
}

// After a rollback the folders go only when the backup holds no file.
TEST(RemoveFoldersAfterRollback, BackupWithFilesStaysWithTheStagingFolder) {
  TempSite site;
  fs::create_directories(site.journal.install / L"data");
  // Something in its place keeps the old file in the backup.
  WriteFixtureFile(site.journal.install / L"deep" / L"er" / L"old.dll", "in place");
  std::string message;
  EXPECT_FALSE(qv::setup::RemoveFoldersAfterRollback(site.journal, &message));
  EXPECT_EQ(message, "the backup folder " + qv::setup::ToGenericUtf8(site.journal.backup) + " still holds files");
  EXPECT_TRUE(fs::exists(site.journal.backup / L"deep" / L"er" / L"old.dll"));
  EXPECT_TRUE(fs::exists(site.journal.staging / L"shaders" / L"a.spv"));
  EXPECT_NE(qv::setup::ReadFileText(site.journal.install / L"data" / L"qv-update.log").find("still holds files"),
            std::string::npos);

  fs::remove(site.journal.backup / L"deep" / L"er" / L"old.dll");
  message.clear();
  EXPECT_TRUE(qv::setup::RemoveFoldersAfterRollback(site.journal, &message));
  EXPECT_EQ(message, "");
  EXPECT_FALSE(fs::exists(site.journal.backup));
  EXPECT_FALSE(fs::exists(site.journal.staging));
  EXPECT_FALSE(fs::exists(site.journal.download));
}

}  // namespace
