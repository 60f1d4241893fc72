#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/journal/journal-rollback.h"
#include "engine/journal/update-journal.h"
#include "foundation/files/canonical-path.h"
#include "foundation/files/tree-walk.h"
#include "foundation/text/text.h"
#include "foundation/win/unique-handle.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "support/fake-links.h"
#include "support/temp-folder.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::FixtureFiles;
using qv::setup::RollBackJournal;
using qv::setup::SnapshotFileContents;
using qv::setup::SnapshotTree;
using qv::setup::TreeSnapshot;
using qv::setup::UpdateJournal;
using qv::setup::WriteFixtureFile;
using qv::test::TempFolder;

// An installation with staging and backup folders beside it, and the record
// a journal reader would return for them.
struct RollbackSite {
  TempFolder temp;
  fs::path parent = qv::setup::WeaklyCanonicalPath(temp.path());
  UpdateJournal journal;

  RollbackSite() {
    journal.install = parent / L"Game";
    journal.staging = parent / L".qv-update-r";
    journal.backup = parent / L".qv-update-old-r";
    for (const fs::path& folder : {journal.install, journal.staging, journal.backup}) fs::create_directories(folder);
    WriteFixtureFile(journal.install / L"data" / L"qv.ini", "settings");
  }

  static void Fill(const fs::path& root, const FixtureFiles& files) {
    for (const auto& [path, content] : files) WriteFixtureFile(root / qv::setup::PathFromUtf8(path), content);
  }
};

TreeSnapshot Files(const FixtureFiles& files) {
  TreeSnapshot snapshot(files.begin(), files.end());
  std::sort(snapshot.begin(), snapshot.end());
  return snapshot;
}

// Every state a step can be found in, whatever point the update reached, and
// what the rollback makes of it. The step's file is "sub/f.txt".
TEST(RollBackJournal, EachStepStateIsRecognised) {
  const FixtureFiles none;
  const FixtureFiles old_file{{"sub/f.txt", "old"}};
  const FixtureFiles new_file{{"sub/f.txt", "new"}};
  const FixtureFiles settings{{"data/qv.ini", "settings"}};
  auto with_settings = [&](const FixtureFiles& files) {
    FixtureFiles all = settings;
    all.insert(all.end(), files.begin(), files.end());
    return all;
  };
  struct Case {
    const char* what;
    char kind;
    FixtureFiles install, staging, backup;
    FixtureFiles install_after, staging_after, backup_after;
    bool ok;
    std::string message;
  } cases[] = {
      {"a, new file installed", 'a', new_file, none, none, none, new_file, none, true, ""},
      {"a, never ran", 'a', none, new_file, none, none, new_file, none, true, ""},
      {"r, both moves done", 'r', new_file, none, old_file, old_file, new_file, none, true, ""},
      {"r, stopped between the moves", 'r', none, new_file, old_file, old_file, new_file, none, true, ""},
      {"r, never started", 'r', old_file, new_file, none, old_file, new_file, none, true, ""},
      {"d, moved out", 'd', none, none, old_file, old_file, none, none, true, ""},
      {"d, never started", 'd', old_file, none, none, old_file, none, none, true, ""},
      // The staging folder is the update's own: a file under the name there
      // gives way, and the old version is back without a new file in it.
      {"r, staging already holds the name", 'r', new_file, {{"sub/f.txt", "other"}}, old_file, old_file, new_file,
       none, true, ""},
      {"a, staging already holds the name", 'a', new_file, {{"sub/f.txt", "other"}}, none, none, new_file, none,
       true, ""},
      // A file put back by hand gives way to the old one as a new file does.
      {"d, something came in its place", 'd', {{"sub/f.txt", "intruder"}}, none, old_file, old_file,
       {{"sub/f.txt", "intruder"}}, none, true, ""},
  };
  for (const Case& c : cases) {
    RollbackSite site;
    RollbackSite::Fill(site.journal.install, c.install);
    RollbackSite::Fill(site.journal.staging, c.staging);
    RollbackSite::Fill(site.journal.backup, c.backup);
    site.journal.steps = {{c.kind, "sub/f.txt"}};
    std::string message;
    EXPECT_EQ(RollBackJournal(site.journal, &message), c.ok) << c.what;
    EXPECT_EQ(message, c.message) << c.what;
    EXPECT_EQ(SnapshotFileContents(site.journal.install), Files(with_settings(c.install_after))) << c.what;
    EXPECT_EQ(SnapshotFileContents(site.journal.staging), Files(c.staging_after)) << c.what;
    EXPECT_EQ(SnapshotFileContents(site.journal.backup), Files(c.backup_after)) << c.what;
  }
}

// The game's files never leave the installation, yet a whole old archive
// never gives way to a file that may be a part of the new one: while the new
// archive is still in the staging folder its move never finished, and what
// stands in its place (the platform's copy to another volume, stopped
// halfway) goes to the staging folder. A temporary copy beside it goes too.
TEST(RollBackJournal, AGameFileGivesWayToItsBackupOnlyWhenItsMoveNeverFinished) {
  const std::string archive = "CUSA09901/chunk1.psarc";
  const FixtureFiles none;
  const FixtureFiles old_file{{archive, "PSAR old"}};
  const FixtureFiles new_file{{archive, "PSAR new"}};
  const FixtureFiles part{{archive, "PSAR n"}};
  const struct {
    const char* what;
    FixtureFiles install, staging, backup;
    FixtureFiles install_after;
  } cases[] = {
      {"the new archive moved in", new_file, none, old_file, new_file},
      {"stopped between the moves", none, new_file, old_file, old_file},
      {"a part of the new archive in place", part, new_file, old_file, old_file},
      {"a part left beside the place", {{archive + ".qv-tmp", "PSAR n"}}, new_file, old_file, old_file},
      {"never started", old_file, new_file, none, old_file},
  };
  for (const auto& c : cases) {
    RollbackSite site;
    RollbackSite::Fill(site.journal.install, c.install);
    RollbackSite::Fill(site.journal.staging, c.staging);
    RollbackSite::Fill(site.journal.backup, c.backup);
    site.journal.steps = {{'r', archive}};
    std::string message;
    EXPECT_TRUE(RollBackJournal(site.journal, &message)) << c.what;
    EXPECT_EQ(message, "") << c.what;
    FixtureFiles install_after{{"data/qv.ini", "settings"}};
    install_after.insert(install_after.end(), c.install_after.begin(), c.install_after.end());
    EXPECT_EQ(SnapshotFileContents(site.journal.install), Files(install_after)) << c.what;
    EXPECT_EQ(SnapshotFileContents(site.journal.backup), Files(none)) << c.what;
  }
}

// A folder in the staging folder under the name of a new file is not the
// update's doing: the new file stays, the step fails and says why, so the
// journal is kept rather than the old version reported back.
TEST(RollBackJournal, AFolderInStagingUnderTheNameFailsTheStep) {
  for (const char kind : {'a', 'r'}) {
    RollbackSite site;
    RollbackSite::Fill(site.journal.install, {{"sub/f.txt", "new"}});
    if (kind == 'r') RollbackSite::Fill(site.journal.backup, {{"sub/f.txt", "old"}});
    fs::create_directories(site.journal.staging / L"sub" / L"f.txt");
    site.journal.steps = {{kind, "sub/f.txt"}};
    std::string message;
    EXPECT_FALSE(RollBackJournal(site.journal, &message)) << kind;
    EXPECT_EQ(message, "could not move sub/f.txt back: a folder of that name is in the staging folder " +
                           qv::setup::ToGenericUtf8(site.journal.staging) + "; move that folder elsewhere")
        << kind;
    EXPECT_EQ(qv::setup::ReadFileText(site.journal.install / L"sub" / L"f.txt"), "new") << kind;
  }
}

TEST(RollBackJournal, AddedFileFoldersArePrunedUpToTheInstallation) {
  RollbackSite site;
  WriteFixtureFile(site.journal.install / L"shaders" / L"new" / L"x.spv", "new x");
  WriteFixtureFile(site.journal.install / L"keep" / L"deep" / L"y.spv", "new y");
  WriteFixtureFile(site.journal.install / L"keep" / L"other.txt", "stays");
  site.journal.steps = {{'a', "shaders/new/x.spv"}, {'a', "keep/deep/y.spv"}};
  EXPECT_TRUE(RollBackJournal(site.journal));
  EXPECT_EQ(SnapshotTree(site.journal.install),
            (TreeSnapshot{{"data/", ""}, {"data/qv.ini", "settings"}, {"keep/", ""}, {"keep/other.txt", "stays"}}));

  // A file directly in the installation: the installation itself stays, even empty.
  RollbackSite bare;
  qv::setup::RemoveTree(bare.journal.install / L"data");
  WriteFixtureFile(bare.journal.install / L"new.dll", "n");
  bare.journal.steps = {{'a', "new.dll"}};
  EXPECT_TRUE(RollBackJournal(bare.journal));
  EXPECT_TRUE(fs::is_directory(bare.journal.install));
  EXPECT_EQ(SnapshotFileContents(bare.journal.staging), (TreeSnapshot{{"new.dll", "n"}}));
}

TEST(RollBackJournal, PruningStopsAtASymbolicLink) {
  RollbackSite site;
  WriteFixtureFile(site.journal.install / L"linked" / L"sub" / L"x.spv", "new x");
  site.journal.steps = {{'a', "linked/sub/x.spv"}};
  auto view = qv::test::ViewWithReparsePoints({{site.journal.install / L"linked", qv::setup::kReparseTagSymlink}});
  EXPECT_TRUE(RollBackJournal(site.journal, nullptr, view));
  EXPECT_TRUE(fs::is_directory(site.journal.install / L"linked"));
  EXPECT_FALSE(fs::exists(site.journal.install / L"linked" / L"sub"));
}

TEST(RollBackJournal, GoesOnPastFailuresAndReportsTheEarliest) {
  RollbackSite site;
  // Steps in plan order; the rollback walks them last first.
  RollbackSite::Fill(site.journal.install, {{"one.txt", "new 1"}, {"two.txt", "new 2"}, {"three.txt", "new 3"}});
  fs::create_directories(site.journal.staging / L"one.txt");
  fs::create_directories(site.journal.staging / L"three.txt");
  RollbackSite::Fill(site.journal.backup, {{"one.txt", "old 1"}, {"two.txt", "old 2"}, {"three.txt", "old 3"}});
  site.journal.steps = {{'r', "one.txt"}, {'r', "two.txt"}, {'r', "three.txt"}};
  std::string message;
  EXPECT_FALSE(RollBackJournal(site.journal, &message));
  EXPECT_EQ(message, "could not move one.txt back: a folder of that name is in the staging folder " +
                         qv::setup::ToGenericUtf8(site.journal.staging) + "; move that folder elsewhere");
  // The step between the two failures was undone all the same.
  EXPECT_EQ(qv::setup::ReadFileText(site.journal.install / L"two.txt"), "old 2");
  EXPECT_EQ(qv::setup::ReadFileText(site.journal.staging / L"two.txt"), "new 2");
}

TEST(RollBackJournal, AFileThatCannotMoveFailsItsStepOnly) {
  RollbackSite site;
  RollbackSite::Fill(site.journal.install, {{"locked.dll", "new"}, {"free.dll", "new free"}});
  RollbackSite::Fill(site.journal.backup, {{"locked.dll", "old"}, {"free.dll", "old free"}});
  site.journal.steps = {{'r', "locked.dll"}, {'r', "free.dll"}};
  {
    // Held open without delete sharing, as a running program holds its DLLs.
    qv::setup::UniqueFile held(::CreateFileW((site.journal.install / L"locked.dll").c_str(), GENERIC_READ,
                                             FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    std::string message;
    EXPECT_FALSE(RollBackJournal(site.journal, &message));
    EXPECT_EQ(message.rfind("could not move locked.dll back: ", 0), 0u) << message;
    EXPECT_GT(message.size(), std::string("could not move locked.dll back: ").size());
  }
  EXPECT_EQ(qv::setup::ReadFileText(site.journal.install / L"locked.dll"), "new");
  EXPECT_EQ(qv::setup::ReadFileText(site.journal.backup / L"locked.dll"), "old");
  EXPECT_EQ(qv::setup::ReadFileText(site.journal.install / L"free.dll"), "old free");
  // Once the file is free, a second rollback finishes the job.
  std::string message;
  EXPECT_TRUE(RollBackJournal(site.journal, &message)) << message;
  EXPECT_EQ(qv::setup::ReadFileText(site.journal.install / L"locked.dll"), "old");
  EXPECT_EQ(qv::setup::ReadFileText(site.journal.staging / L"locked.dll"), "new");
}

// The files an update writes beside the player's and the game's under the
// same names (the install notes, the extraction log, the shortcut icon, the
// game's archives) may be the player's own: the rollback never moves what is
// in place, and a backup comes back only where nothing is.
TEST(RollBackJournal, TheFilesAnUpdateWritesBesideThePlayersNeverMoveOut) {
  for (const char* name : {"icon0.png", "install-notes.txt", "install-extraction.log", "CUSA09901/chunk1.psarc"}) {
    for (const char kind : {'a', 'r'}) {
      SCOPED_TRACE(std::string(1, kind) + " " + name);
      RollbackSite site;
      RollbackSite::Fill(site.journal.install, {{name, "the player's"}});
      if (kind == 'r') RollbackSite::Fill(site.journal.backup, {{name, "the backup"}});
      site.journal.steps = {{kind, name}};
      std::string message;
      EXPECT_TRUE(RollBackJournal(site.journal, &message)) << message;
      EXPECT_EQ(SnapshotFileContents(site.journal.install),
                Files({{"data/qv.ini", "settings"}, {name, "the player's"}}));
      EXPECT_EQ(SnapshotFileContents(site.journal.staging), TreeSnapshot{});
      EXPECT_EQ(SnapshotFileContents(site.journal.backup), TreeSnapshot{});
    }
    // Nothing in place: the backup comes back.
    RollbackSite site;
    RollbackSite::Fill(site.journal.backup, {{name, "the backup"}});
    site.journal.steps = {{'r', name}};
    std::string message;
    EXPECT_TRUE(RollBackJournal(site.journal, &message)) << message;
    EXPECT_EQ(SnapshotFileContents(site.journal.install), Files({{"data/qv.ini", "settings"}, {name, "the backup"}}))
        << name;
  }
}

// A folder that holds the game's archive pair is the game's whatever its
// name ("game/" where the player copied the archives): a journal that names
// anything in it is no commit's record, and nothing in it moves.
TEST(RollBackJournal, AStepInAFolderOfTheGamesDataTouchesNothing) {
  const FixtureFiles game{{"data/qv.ini", "settings"},
                          {"game/chunk1.psarc", "the player's archive"},
                          {"game/texture.qar", "the player's textures"},
                          {"game/readme.txt", "the player's notes"}};
  const struct {
    char kind;
    const char* path;
    std::string message;
  } cases[] = {
      {'a', "game/readme.txt", "game/readme.txt lies in the game's data, which no update writes under that name"},
      {'r', "Game/readme.txt", "Game/readme.txt lies in the game's data, which no update writes under that name"},
      {'a', "game/chunk1.psarc", "game/chunk1.psarc lies in the game's data, which no update writes under that name"},
      {'r', "game/texture.qar", "game/texture.qar lies in the game's data, which no update writes under that name"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    RollbackSite site;
    RollbackSite::Fill(site.journal.install, game);
    if (c.kind == 'r') RollbackSite::Fill(site.journal.backup, {{c.path, "the backup"}});
    site.journal.steps = {{c.kind, c.path}};
    std::string message;
    EXPECT_FALSE(qv::setup::CheckJournalSteps(site.journal, &message));
    EXPECT_EQ(message, c.message);
    message.clear();
    EXPECT_FALSE(RollBackJournal(site.journal, &message));
    EXPECT_EQ(message, c.message);
    EXPECT_EQ(SnapshotFileContents(site.journal.install), Files(game));
  }
}

TEST(RollBackJournal, UnsafeStepOfAHandBuiltRecordTouchesNothing) {
  RollbackSite site;
  WriteFixtureFile(site.parent / L"outside.txt", "outside");
  site.journal.steps = {{'a', "../outside.txt"}};
  std::string message;
  EXPECT_FALSE(RollBackJournal(site.journal, &message));
  EXPECT_EQ(message, "../outside.txt is not a safe name for a file of the installation");
  EXPECT_EQ(qv::setup::ReadFileText(site.parent / L"outside.txt"), "outside");
}

}  // namespace
