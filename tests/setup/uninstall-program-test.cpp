// "--uninstall" run as Windows runs it, on installations made by "--install"
// of the test release (its "qv-updater.exe" is the built program) with the
// desktop shortcut and the uninstall entry added as the setup adds them.
// Started from inside the installation, the uninstaller hands the work to a
// copy of itself in the temporary folder, which ends by deleting itself: the
// tests poll for that.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/journal/update-journal.h"
#include "foundation/text/text.h"
#include "selftest/fixtures/test-game-files.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "setup/desktop-shortcut.h"
#include "setup/uninstall-entry.h"
#include "setup/uninstall/uninstall.h"
#include "support/child-process.h"
#include "support/planted-update.h"
#include "support/short-names.h"
#include "support/temp-folder.h"
#include "support/test-paths.h"
#include "support/test-releases.h"
#include "support/uninstall-entry-probe.h"

namespace {

namespace fs = std::filesystem;
using qv::test::ReadTestFile;
using qv::test::TempFolder;
using qv::test::UninstallEntryExists;
using qv::test::WriteTestFile;

constexpr std::chrono::seconds kInstallTimeout{120};
// The copy waits up to 3 s for the uninstaller to end, and its deletion
// about 1 s more; Wine on a busy machine is given far more.
constexpr std::chrono::seconds kCopyTimeout{60};

// The temporary copies in `folder`.
std::vector<std::wstring> Copies(const fs::path& folder) {
  std::vector<std::wstring> copies;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    const std::wstring name = entry.path().filename().native();
    if (name.starts_with(L"qv-uninstall-")) copies.push_back(name);
  }
  return copies;
}

// What is left in a folder: paths of files and folders, sorted.
std::vector<std::string> Left(const fs::path& folder) {
  std::vector<std::string> left;
  for (const auto& [path, bytes] : qv::setup::SnapshotTree(folder)) left.push_back(path);
  return left;
}

struct UninstallProgram : ::testing::Test {
  void SetUp() override {
    qv::setup::WriteDumpedGame(dump);
    fs::create_directories(temporary);
    shortcut = *qv::setup::DesktopShortcutPath();
    Clean();

    const fs::path result = temp / L"install-result.txt";
    const qv::test::ChildRun run =
        qv::test::RunProgram(qv::test::TestReleaseSetup(L"good"),
                             {L"--install", dump.native(), install.native(), result.native()}, {}, kInstallTimeout);
    ASSERT_EQ(run.exit_code, 0u) << run.output << ReadTestFile(result);
    ASSERT_TRUE(fs::exists(install / L"qv-updater.exe"));
    qv::setup::WriteUninstallEntry(install);
    qv::setup::CreateDesktopShortcut(install);
    ASSERT_TRUE(fs::exists(shortcut));
    ASSERT_TRUE(UninstallEntryExists());
    WriteTestFile(install / L"data" / L"saves" / L"slot.dat", "progress");
    WriteTestFile(install / L"mods" / L"m.pak", "mod");
    title_folder = qv::setup::SnapshotTree(install / L"CUSA09901");
    ASSERT_FALSE(title_folder.empty());
  }
  void TearDown() override { Clean(); }
  void Clean() {
    ::DeleteFileW(shortcut.c_str());
    qv::test::DeleteUninstallEntryKey();
  }

  // The environment that makes `folder` the uninstaller's temporary folder.
  static std::vector<std::string> TemporaryFolderIs(const fs::path& folder) {
    const std::string text = qv::setup::WideToUtf8(folder.native());
    return {"TMP=" + text, "TEMP=" + text};
  }

  // Runs the installed uninstaller, which must end at once (its copy works
  // on), then waits for the copy to finish: the uninstaller's file gone and
  // no copy left in `temporary_folder`. Whether a copy was seen meanwhile.
  bool UninstallFromInside(const std::vector<std::wstring>& options, const fs::path& temporary_folder) {
    std::vector<std::wstring> arguments = {L"--uninstall"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    arguments.push_back(install.native());
    const qv::test::ChildRun run = qv::test::RunProgram(install / L"qv-updater.exe", arguments,
                                                        TemporaryFolderIs(temporary_folder), std::chrono::seconds(30));
    EXPECT_EQ(run.exit_code, 0u) << run.output;
    bool seen = false;
    const auto deadline = std::chrono::steady_clock::now() + kCopyTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
      const bool copies = !Copies(temporary_folder).empty();
      seen = seen || copies;
      if (!copies && !fs::exists(install / L"qv-updater.exe")) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(Copies(temporary_folder).empty());
    return seen;
  }

  TempFolder temp{L"qv-uninstall-program"};
  fs::path dump = temp / L"dump" / L"CUSA09901";
  fs::path install = temp / L"Games" / L"Q.V. DU Vora";
  fs::path temporary = temp / L"tmp";
  fs::path shortcut;
  qv::setup::TreeSnapshot title_folder;
};

TEST_F(UninstallProgram, FromInsideTheCopyRemovesTheProgramAndKeepsThePlayersData) {
  EXPECT_TRUE(UninstallFromInside({L"--silent"}, temporary));
  EXPECT_FALSE(fs::exists(shortcut));
  EXPECT_FALSE(UninstallEntryExists());
  for (const std::string& path : Left(install)) {
    if (path.starts_with("CUSA09901/") || path.starts_with("data/")) continue;
    EXPECT_TRUE(path == "mods/" || path == "mods/m.pak") << path;
  }
  EXPECT_EQ(ReadTestFile(install / L"data" / L"saves" / L"slot.dat"), "progress");
  EXPECT_EQ(ReadTestFile(install / L"mods" / L"m.pak"), "mod");
  EXPECT_EQ(qv::setup::SnapshotTree(install / L"CUSA09901"), title_folder);
}

// What earlier runs left beside the installation goes with it: a killed
// install's unpacked game, a killed repair's folder, a killed download, and
// the folders that an in-game update's "started" journal names (its backup
// stays while the game holds a file), with the journal itself.
TEST_F(UninstallProgram, NothingOfEarlierRunsIsLeftBesideTheFolder) {
  const fs::path games = install.parent_path();
  const auto beside = [&](const std::string& name) { return games / qv::setup::Utf8ToWide(name); };
  qv::test::PlantUpdate(install, "{44444444-4444-4444-4444-444444444444}", qv::setup::kJournalStarted);
  WriteTestFile(beside(".qv-install-11111111-1111-1111-1111-111111111111") / L"qv.exe", "an unpacked game");
  WriteTestFile(beside(".qv-update-fix-{22222222-2222-2222-2222-222222222222}") / L"qv.exe", "a repaired file");
  WriteTestFile(beside(".qv-update-dl-{33333333-3333-3333-3333-333333333333}") / L"package.part", "a download");

  EXPECT_TRUE(UninstallFromInside({L"--silent"}, temporary));
  EXPECT_FALSE(fs::exists(install / L"qv.exe"));
  EXPECT_FALSE(fs::exists(qv::setup::UpdateJournalPath(install)));
  EXPECT_EQ(ReadTestFile(install / L"data" / L"saves" / L"slot.dat"), "progress");
  std::vector<std::wstring> beside_it;
  for (const auto& entry : fs::directory_iterator(games)) beside_it.push_back(entry.path().filename().native());
  EXPECT_EQ(beside_it, std::vector<std::wstring>{install.filename().native()});
}

// With the player's data the folder keeps only what no record names: the
// title folder with the player's own game files.
TEST_F(UninstallProgram, WithTheDataOnlyThePlayersGameFilesStay) {
  EXPECT_TRUE(UninstallFromInside({L"--remove-data", L"--silent"}, temporary));
  EXPECT_FALSE(fs::exists(shortcut));
  EXPECT_FALSE(UninstallEntryExists());
  for (const std::string& path : Left(install)) EXPECT_TRUE(path.starts_with("CUSA09901/")) << path;
  EXPECT_EQ(qv::setup::SnapshotTree(install / L"CUSA09901"), title_folder);
}

// The copy's final deletion goes through the command interpreter, for which
// this folder's name is syntax; it still deletes the copy and nothing else.
TEST_F(UninstallProgram, TheCopyDeletesItselfFromATemporaryFolderWithCmdSyntaxInItsName) {
  const fs::path odd = temp / L"odd & (x) ^ %OS% !y! 100%";
  WriteTestFile(odd / L"keep.txt", "kept");
  WriteTestFile(odd / L"del", "kept");
  EXPECT_TRUE(UninstallFromInside({L"--silent"}, odd));
  EXPECT_FALSE(fs::exists(install / L"qv.exe"));
  EXPECT_EQ(Left(odd), (std::vector<std::string>{"del", "keep.txt"}));
  EXPECT_TRUE(Copies(temporary).empty());
}

// The temporary copy stopped partway through the removal, as a kill or a
// power loss stops it; then the next uninstall, started from the entry while
// the uninstaller it names is there, else from outside. It finishes the work:
// of the port nothing is left, the player's and the game's files are as they
// were, and the entry is gone.
TEST_F(UninstallProgram, AKilledUninstallIsFinishedByTheNextOne) {
  struct Killed {};
  const fs::path pristine = temp / L"pristine";
  fs::copy(install, pristine, fs::copy_options::recursive);
  const qv::setup::TreeSnapshot data = qv::setup::SnapshotTree(install / L"data");
  const auto fresh_installation = [&] {
    fs::remove_all(install);
    fs::copy(pristine, install, fs::copy_options::recursive);
    qv::setup::WriteUninstallEntry(install);
  };
  // The removal's order, as the copy deletes: which names go, one by one.
  const auto copy_services = [](std::function<void(const std::string&)> removed) {
    return qv::setup::UninstallServices{[](const std::wstring&, unsigned) { return IDYES; }, {}, std::move(removed)};
  };
  std::vector<std::string> order;
  fresh_installation();
  EXPECT_FALSE(qv::setup::Uninstall(install, true, false, true,
                                    copy_services([&](const std::string& name) { order.push_back(name); })));
  ASSERT_GT(order.size(), 5u);
  // What says which files are the port's, and what an installation is
  // recognised by.
  const std::set<std::string> records = {"qv-install-manifest.txt", "qv-files.json", "qv.exe", "qv-updater.exe"};
  const std::size_t first_record = static_cast<std::size_t>(
      std::find_if(order.begin(), order.end(), [&](const std::string& name) { return records.contains(name); }) -
      order.begin());

  const struct {
    const char* when;
    std::size_t stop_after;  // deletions
    bool from_the_entry;     // the uninstaller the entry starts is still there
  } cases[] = {
      {"after the first deletion", 1, true},
      {"just before the records", std::max<std::size_t>(first_record, 1), true},
      {"just after the first record", first_record + 1, true},
      {"before the last deletion", order.size() - 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.when) + ", after " + std::to_string(c.stop_after) + " of " +
                 std::to_string(order.size()));
    fresh_installation();
    std::size_t deleted = 0;
    EXPECT_THROW(qv::setup::Uninstall(install, true, false, true, copy_services([&](const std::string&) {
                                        if (++deleted == c.stop_after) throw Killed{};
                                      })),
                 Killed);
    EXPECT_TRUE(UninstallEntryExists());

    if (c.from_the_entry) {
      if (!fs::exists(install / L"qv-updater.exe")) {
        ADD_FAILURE() << "the uninstaller the entry starts is gone";
        continue;
      }
      UninstallFromInside({L"--silent"}, temporary);
    } else {
      const qv::test::ChildRun run = qv::test::RunProgram(
          qv::test::SetupProgramPath(), {L"--uninstall", L"--silent", install.native()}, TemporaryFolderIs(temporary));
      EXPECT_EQ(run.exit_code, 0u) << run.output;
    }
    for (const std::string& path : Left(install)) {
      EXPECT_TRUE(path.starts_with("CUSA09901/") || path.starts_with("data/") || path.starts_with("mods/")) << path;
    }
    EXPECT_EQ(qv::setup::SnapshotTree(install / L"CUSA09901"), title_folder);
    EXPECT_EQ(qv::setup::SnapshotTree(install / L"data"), data);
    EXPECT_EQ(ReadTestFile(install / L"mods" / L"m.pak"), "mod");
    EXPECT_FALSE(UninstallEntryExists());
  }
}

// Damaged records: the install manifest's "file=" lines and the file list's
// entries name the player's game archive, a screenshot, the settings, by
// short (8.3) names a top-level file of the player's and the title folder,
// and the player's copy of the game in "game/" (its archive pair and a note
// beside it). Whatever a record says, those stay; the port's own files go.
struct DamagedRecordUninstall : UninstallProgram {
  void SetUp() override {
    UninstallProgram::SetUp();
    if (HasFatalFailure()) return;
    WriteTestFile(install / L"screenshots" / L"shot.png", "a screenshot");
    WriteTestFile(install / L"qv.ini", "the player's settings");
    WriteTestFile(install / L"dlssg_sm86.ini", "the player's unlock settings");
    WriteTestFile(install / L"game" / L"chunk1.psarc", qv::setup::PsarcBytes());
    WriteTestFile(install / L"game" / L"texture.qar", qv::setup::QarBytes());
    WriteTestFile(install / L"game" / L"readme.txt", "the player's notes on their copy");
    const std::string unlock = qv::test::ShortNameOf(install / L"dlssg_sm86.ini");
    const std::string title = qv::test::ShortNameOf(install / L"CUSA09901");
    ASSERT_FALSE(unlock.empty());
    ASSERT_FALSE(title.empty());
    const std::vector<std::string> names = {"CUSA09901/chunk1.psarc", "screenshots/shot.png", "qv.ini", unlock,
                                            title + "/texture.qar",   "game/chunk1.psarc",    "game/texture.qar",
                                            "game/readme.txt"};

    // Every name in both records, so that each reader's filter is tried.
    const fs::path manifest = install / L"qv-install-manifest.txt";
    std::string lines = ReadTestFile(manifest);
    ASSERT_TRUE(lines.ends_with("\n")) << lines;
    const fs::path list = install / L"qv-files.json";
    std::string entries = ReadTestFile(list);
    const std::size_t files = entries.find("\"files\"");
    const std::size_t at = entries.find('[', files);
    ASSERT_NE(files, std::string::npos) << entries;
    ASSERT_NE(at, std::string::npos) << entries;
    for (const std::string& name : names) {
      lines += "file=" + std::string(64, 'a') + " " + name + "\n";
      entries.insert(at + 1, "{\"path\": \"" + name + "\", \"size\": 5, \"sha256\": \"" + std::string(64, 'b') + "\"}, ");
    }
    WriteTestFile(manifest, lines);
    WriteTestFile(list, entries);
    kept = qv::setup::SnapshotTree(install, NotNamedPlayersFile);
  }

  // Left out of the snapshot of what the records name of the player's and
  // the game's.
  static bool NotNamedPlayersFile(const std::string& key) {
    return !(key.starts_with("CUSA09901/") || key.starts_with("screenshots/") || key == "qv.ini" ||
             key == "dlssg_sm86.ini" || key.starts_with("game/"));
  }

  // The player's and the game's files as they were; of the port's nothing is
  // left, only the player's data and mods besides.
  void ExpectOnlyThePlayersAndTheGamesFilesLeft() {
    EXPECT_FALSE(fs::exists(install / L"qv.exe"));
    EXPECT_FALSE(fs::exists(install / L"qv-install-manifest.txt"));
    EXPECT_FALSE(fs::exists(install / L"qv-files.json"));
    EXPECT_EQ(qv::setup::SnapshotTree(install / L"CUSA09901"), title_folder);
    for (const std::string& path : Left(install)) {
      if (path.starts_with("data/") || path.starts_with("mods/")) continue;
      EXPECT_FALSE(NotNamedPlayersFile(path)) << path;
    }
    EXPECT_EQ(qv::setup::SnapshotTree(install, NotNamedPlayersFile), kept);
  }

  qv::setup::TreeSnapshot kept;
};

TEST_F(DamagedRecordUninstall, FromTheEntryKeepsWhatTheRecordsNameOfThePlayersAndTheGames) {
  EXPECT_TRUE(UninstallFromInside({L"--silent"}, temporary));
  ExpectOnlyThePlayersAndTheGamesFilesLeft();
}

TEST_F(DamagedRecordUninstall, FromOutsideKeepsWhatTheRecordsNameOfThePlayersAndTheGames) {
  const qv::test::ChildRun run = qv::test::RunProgram(
      qv::test::SetupProgramPath(), {L"--uninstall", L"--silent", install.native()}, TemporaryFolderIs(temporary));
  EXPECT_EQ(run.exit_code, 0u) << run.output;
  ExpectOnlyThePlayersAndTheGamesFilesLeft();
}

// Run from outside the installation the program does the work itself: no
// copy, the same result, before it ends.
TEST_F(UninstallProgram, FromOutsideThereIsNoCopy) {
  const qv::test::ChildRun run = qv::test::RunProgram(
      qv::test::SetupProgramPath(), {L"--uninstall", L"--silent", install.native()}, TemporaryFolderIs(temporary));
  EXPECT_EQ(run.exit_code, 0u) << run.output;
  EXPECT_TRUE(fs::is_empty(temporary));
  EXPECT_FALSE(fs::exists(install / L"qv-updater.exe"));
  EXPECT_FALSE(fs::exists(install / L"qv.exe"));
  EXPECT_FALSE(fs::exists(shortcut));
  EXPECT_FALSE(UninstallEntryExists());
  EXPECT_EQ(ReadTestFile(install / L"mods" / L"m.pak"), "mod");
}

// A folder without an installation, and an installation whose manifest leads
// out of it, end with exit code 1; nothing is touched and no file written,
// not even one named after the last argument in the current folder.
TEST_F(UninstallProgram, FailuresExitWithOneAndWriteNothing) {
  const fs::path current = temp / L"current";
  fs::create_directories(current);
  const fs::path empty = temp / L"empty";
  fs::create_directories(empty);
  // A copy of the program in a folder of its own: its folder is the default.
  const fs::path alone = temp / L"alone" / L"qv-updater.exe";
  fs::create_directories(alone.parent_path());
  fs::copy_file(qv::test::SetupProgramPath(), alone);

  wchar_t previous[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(::SetCurrentDirectoryW(current.c_str()));
  struct Case {
    fs::path program;
    std::vector<std::wstring> arguments;
  } cases[] = {
      {alone, {L"--uninstall", L"--silent"}},
      {qv::test::SetupProgramPath(), {L"--uninstall", L"--silent", empty.native()}},
      {qv::test::SetupProgramPath(), {L"--uninstall", empty.native(), L"--silent"}},
  };
  for (const Case& c : cases) {
    const qv::test::ChildRun run = qv::test::RunProgram(c.program, c.arguments, TemporaryFolderIs(temporary));
    EXPECT_EQ(run.exit_code, 1u) << c.program << " " << c.arguments.size() << run.output;
  }

  WriteTestFile(install / L"qv-install-manifest.txt",
                "qv-port-install 1\nversion=1.1.0\nfile=" + std::string(64, 'a') + " ../outside.txt\n");
  WriteTestFile(install.parent_path() / L"outside.txt", "not the installation's");
  const qv::setup::TreeSnapshot before = qv::setup::SnapshotTree(install);
  const qv::test::ChildRun run = qv::test::RunProgram(
      install / L"qv-updater.exe", {L"--uninstall", install.native(), L"--silent"}, TemporaryFolderIs(temporary));
  ::SetCurrentDirectoryW(previous);
  EXPECT_EQ(run.exit_code, 1u) << run.output;
  EXPECT_EQ(qv::setup::SnapshotTree(install), before);
  EXPECT_EQ(ReadTestFile(install.parent_path() / L"outside.txt"), "not the installation's");
  EXPECT_TRUE(fs::exists(shortcut));
  EXPECT_TRUE(UninstallEntryExists());
  EXPECT_TRUE(fs::is_empty(current));
  EXPECT_TRUE(fs::is_empty(empty));
  EXPECT_TRUE(fs::is_empty(temporary));
  EXPECT_EQ(Left(alone.parent_path()), (std::vector<std::string>{"qv-updater.exe"}));
}

}  // namespace
