// A repair ("--install" without a game source on an installation) through
// the built program, with an update journal in the installation that was
// cut short while "swapping" (damaged or planted) and whose steps name the
// game's files in the title folder. The recovery before the repair must
// never move them: a journal naming them by other bytes than an update
// writes is refused whole, and the rollback of one naming them exactly
// leaves the files in place. Either way the update log says what happened
// and the repair ends as it does without a journal.

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "foundation/text/text.h"
#include "selftest/fixtures/test-game-files.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "support/child-process.h"
#include "support/planted-update.h"
#include "support/temp-folder.h"
#include "support/test-paths.h"
#include "support/test-releases.h"

namespace {

namespace fs = std::filesystem;
using qv::test::ReadTestFile;
using qv::test::WriteTestFile;

constexpr std::chrono::seconds kInstallTimeout{120};
constexpr const char* kRun = "{5A5A5A5A-1111-2222-3333-444444444444}";

// The lines of a text, without their ends (LF or CR LF).
std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// A step of the planted journal and what its backup folder holds for it.
struct PlantedStep {
  std::string step;         // "a cusa09901/CHUNK1.PSARC"
  std::string backup_path;  // below the backup folder; empty for none
  std::string backup_bytes;
};

// A case of a planted journal: the folder it is tried in, and its step.
struct JournalCase {
  const char* name;
  PlantedStep planted;
};

struct RepairJournalProgram : ::testing::Test {
  void SetUp() override { qv::setup::WriteDumpedGame(dump); }

  // Installs the good release from the dumped game into `destination`.
  void InstallInto(const fs::path& destination) {
    const std::vector<std::string> lines = Run({L"--install", dump.native(), destination.native()});
    ASSERT_EQ(run.exit_code, 0u) << run.output << ReadTestFile(result);
    ASSERT_FALSE(lines.empty());
    ASSERT_EQ(lines[0], "PASS installed");
  }

  // A repair of `destination` from the files in place; the result's lines.
  std::vector<std::string> Repair(const fs::path& destination) {
    return Run({L"--install", L"", destination.native()});
  }

  std::vector<std::string> Run(std::vector<std::wstring> arguments) {
    fs::remove(result);
    arguments.push_back(result.native());
    run = qv::test::RunProgram(qv::test::TestReleaseSetup(L"good"), arguments, {}, kInstallTimeout);
    return LinesOf(ReadTestFile(result));
  }

  // The journal of an update killed while it moved files ("swapping"), with
  // the staging and backup folders beside the installation, written as its
  // text so that no rule of the writer stands between the test and the reader.
  static void PlantJournal(const fs::path& install, const PlantedStep& planted) {
    const fs::path parent = install.parent_path();
    const fs::path staging = parent / qv::setup::Utf8ToWide(".qv-update-" + std::string(kRun));
    const fs::path backup = parent / qv::setup::Utf8ToWide(".qv-update-old-" + std::string(kRun));
    fs::create_directories(staging);
    fs::create_directories(backup);
    if (!planted.backup_path.empty()) {
      WriteTestFile(backup / fs::path(qv::setup::Utf8ToWide(planted.backup_path)), planted.backup_bytes);
    }
    const auto generic = [](const fs::path& path) { return qv::setup::WideToUtf8(path.generic_wstring()); };
    WriteTestFile(install / L"data" / L"update-journal.txt",
                  "qv-update-journal 1\nstate=swapping\ninstall=" + generic(install) + "\nstaging=" +
                      generic(staging) + "\nbackup=" + generic(backup) +
                      "\ndownload=\nold_version=1.0.0\nnew_version=1.1.0\npid=0\nstep=" + planted.step + "\n");
  }

  // The installation without the update log, which the recovery writes to.
  static qv::setup::TreeSnapshot Installed(const fs::path& install) {
    return qv::setup::SnapshotTree(install, qv::setup::IsUpdateLogKey);
  }

  // The paths whose items differ between two snapshots (missing on one side
  // or with other bytes): the trees hold programs, too long to print whole.
  static std::vector<std::string> Differences(const qv::setup::TreeSnapshot& a, const qv::setup::TreeSnapshot& b) {
    std::map<std::string, const std::string*> items;
    for (const auto& [path, bytes] : a) items[path] = &bytes;
    std::vector<std::string> differ;
    for (const auto& [path, bytes] : b) {
      const auto found = items.find(path);
      if (found == items.end() || *found->second != bytes) differ.push_back(path);
      if (found != items.end()) items.erase(found);
    }
    for (const auto& [path, bytes] : items) differ.push_back(path);
    return differ;
  }

  // The update log's lines that `text` begins.
  static std::vector<std::string> LogLinesWith(const fs::path& install, const std::string& text) {
    std::vector<std::string> found;
    for (const std::string& line : LinesOf(ReadTestFile(install / L"data" / L"qv-update.log"))) {
      if (line.find(text) != std::string::npos) found.push_back(line);
    }
    return found;
  }

  // Installs into a folder of its own, puts the player's `own` files into it,
  // repairs it with `planted` in place and checks what every case shares: the
  // player's files are as they were, the repair's result and installation
  // (without them) are those of a repair without the journal, the title
  // folder is as installed, and the journal is gone. A journal taken for an
  // interrupted update's adds the result's line "recovered an interrupted
  // update" (`rolled_back`). A journal that recovery kept (`set_aside`) is the
  // one difference: it lies set aside in the data folder, for it still names
  // files.
  void RepairWithJournal(const std::string& name, const PlantedStep& planted, bool rolled_back,
                         const std::vector<std::pair<std::string, std::string>>& own = {}, bool set_aside = false) {
    SCOPED_TRACE(planted.step);
    // The same repair without a journal, in a folder of the same name's length.
    const fs::path reference = temp / L"reference" / L"Q.V. DU Vora";
    if (reference_lines.empty()) {
      InstallInto(reference);
      reference_lines = Repair(reference);
      ASSERT_EQ(run.exit_code, 0u) << run.output;
      ASSERT_FALSE(reference_lines.empty());
      ASSERT_EQ(reference_lines[0], "PASS updated");
      reference_tree = Installed(reference);
    }

    install = temp / qv::setup::Utf8ToWide(name) / L"Q.V. DU Vora";
    InstallInto(install);
    const qv::setup::TreeSnapshot title_folder = qv::setup::SnapshotTree(install / L"CUSA09901");
    ASSERT_EQ(ReadTestFile(install / L"CUSA09901" / L"chunk1.psarc"), qv::setup::PsarcBytes());
    // What the setup itself wrote under those names comes back before the comparison.
    std::map<std::string, std::string> installed;
    for (const auto& [path, bytes] : own) {
      const fs::path item = install / fs::path(qv::setup::Utf8ToWide(path));
      if (fs::exists(item)) installed[path] = ReadTestFile(item);
      WriteTestFile(item, bytes);
    }
    PlantJournal(install, planted);

    std::vector<std::string> expected = reference_lines;
    if (rolled_back) expected.insert(expected.end() - 1, "recovered an interrupted update");
    EXPECT_EQ(Repair(install), expected) << run.output;
    EXPECT_EQ(run.exit_code, 0u) << run.output;
    EXPECT_EQ(ReadTestFile(install / L"CUSA09901" / L"chunk1.psarc"), qv::setup::PsarcBytes());
    EXPECT_EQ(qv::setup::SnapshotTree(install / L"CUSA09901"), title_folder);
    // The player's files, then the folders that held only them, out of the way.
    for (const auto& [path, bytes] : own) {
      fs::path item = install / fs::path(qv::setup::Utf8ToWide(path));
      EXPECT_EQ(ReadTestFile(item), bytes) << path;
      if (installed.count(path)) {
        WriteTestFile(item, installed[path]);
        continue;
      }
      fs::remove(item);
      while ((item = item.parent_path()) != install && fs::is_empty(item)) fs::remove(item);
    }
    const std::vector<std::string> differ = Differences(Installed(install), reference_tree);
    if (set_aside) {
      ASSERT_EQ(differ.size(), 1u);
      EXPECT_TRUE(differ[0].starts_with("data/update-journal.kept-") && differ[0].ends_with(".txt")) << differ[0];
    } else {
      EXPECT_EQ(differ, std::vector<std::string>{});
    }
    EXPECT_FALSE(fs::exists(install / L"data" / L"update-journal.txt"));
  }

  qv::test::TempFolder temp{L"qv-repair-journal"};
  fs::path dump = temp / L"dump" / L"CUSA09901";
  fs::path result = temp / L"result.txt";
  fs::path install;
  qv::test::ChildRun run;
  std::vector<std::string> reference_lines;
  qv::setup::TreeSnapshot reference_tree;
};

// Steps on the game's files under other bytes than an update writes them
// (letter case, back slashes), and on the title picture: no commit writes
// such a step, so the journal is no commit's record and nothing moves. Its
// backup copy of a file in place is kept: the repair sets the journal aside
// (never writes over it), and the uninstall then refuses, naming the folder.
TEST_F(RepairJournalProgram, AJournalStepInTheTitleFolderIsRefusedAndTheGameFilesStay) {
  const std::string backup_archive = "the backup's archive";
  const JournalCase cases[] = {
      {"added-other-case", {"a cusa09901/CHUNK1.PSARC", "", ""}},
      {"replaced-other-case", {"r cusa09901/CHUNK1.PSARC", "cusa09901/CHUNK1.PSARC", backup_archive}},
      {"back-slashes", {"r CUSA09901\\chunk1.psarc", "CUSA09901/chunk1.psarc", backup_archive}},
      {"title-picture", {"r cusa09901/sce_sys/PIC1.PNG", "cusa09901/sce_sys/PIC1.PNG", "the backup's picture"}},
  };
  for (const JournalCase& c : cases) {
    const bool kept = !c.planted.backup_path.empty();
    RepairWithJournal(c.name, c.planted, false, {}, kept);
    const std::string log = ReadTestFile(install / L"data" / L"qv-update.log");
    const std::vector<std::string> refused = LogLinesWith(install, "an update journal was refused");
    EXPECT_EQ(refused.size(), 1u) << c.planted.step << "\n" << log;
    EXPECT_TRUE(LogLinesWith(install, "rolled back").empty()) << c.planted.step;
    if (!kept) continue;
    const fs::path backup = install.parent_path() / qv::setup::Utf8ToWide(".qv-update-old-" + std::string(kRun));
    EXPECT_EQ(ReadTestFile(backup / qv::setup::Utf8ToWide(c.planted.backup_path)), c.planted.backup_bytes);
    EXPECT_EQ(LogLinesWith(install, "the update journal that recovery kept was set aside as ").size(), 1u) << log;

    const qv::test::ChildRun uninstall = qv::test::RunProgram(
        qv::test::SetupProgramPath(), {L"--uninstall", L"--silent", install.native()}, {}, kInstallTimeout);
    EXPECT_EQ(uninstall.exit_code, 1u) << uninstall.output;
    EXPECT_NE(uninstall.output.find(qv::setup::NativePathToUtf8(backup)), std::string::npos) << uninstall.output;
    EXPECT_TRUE(fs::exists(install / L"qv-updater.exe"));
    EXPECT_EQ(ReadTestFile(backup / qv::setup::Utf8ToWide(c.planted.backup_path)), c.planted.backup_bytes);

    // The user takes the file from the backup, as the sentence asks: the
    // next repair finishes the journal set aside, and the uninstall goes on.
    const fs::path saved = temp / (std::string("saved ") + c.name);
    fs::rename(backup / qv::setup::Utf8ToWide(c.planted.backup_path), saved);
    const std::vector<std::string> again = Repair(install);
    EXPECT_EQ(run.exit_code, 0u) << run.output;
    ASSERT_FALSE(again.empty());
    EXPECT_EQ(again[0], "PASS updated");
    EXPECT_FALSE(fs::exists(backup));
    EXPECT_EQ(Differences(Installed(install), reference_tree), std::vector<std::string>{});
    EXPECT_EQ(LogLinesWith(install, " is finished and deleted").size(), 1u)
        << ReadTestFile(install / L"data" / L"qv-update.log");
    EXPECT_EQ(qv::test::RunProgram(qv::test::SetupProgramPath(), {L"--uninstall", L"--silent", install.native()}, {},
                                   kInstallTimeout)
                  .exit_code,
              0u);
    EXPECT_FALSE(fs::exists(install / L"qv-updater.exe"));
  }
}

// The player's copy of the game in a folder of their own ("game/", which
// holds the archive pair): no commit writes anything there, so a journal
// that names anything in it is refused whole and nothing moves. Its backup
// copy of a file in place is kept, and the journal with it, set aside.
TEST_F(RepairJournalProgram, AJournalStepInTheFolderOfThePlayersCopyOfTheGameIsRefusedAndItStays) {
  const std::vector<std::pair<std::string, std::string>> copy = {{"game/chunk1.psarc", qv::setup::PsarcBytes()},
                                                                 {"game/texture.qar", qv::setup::QarBytes()},
                                                                 {"game/readme.txt", "the player's notes"}};
  const JournalCase cases[] = {
      {"game-added", {"a game/chunk1.psarc", "", ""}},
      {"game-replaced", {"r game/readme.txt", "game/readme.txt", "the backup's notes"}},
  };
  for (const JournalCase& c : cases) {
    const bool kept = !c.planted.backup_path.empty();
    RepairWithJournal(c.name, c.planted, false, copy, kept);
    const std::vector<std::string> refused = LogLinesWith(install, "an update journal was refused");
    EXPECT_EQ(refused.size(), 1u) << c.planted.step << "\n" << ReadTestFile(install / L"data" / L"qv-update.log");
    EXPECT_TRUE(LogLinesWith(install, "rolled back").empty()) << c.planted.step;
  }
}

// The files an update writes beside the player's under the same names (the
// shortcut icon, the install notes, the extraction log) may be the player's
// own: the rollback takes the journal but never moves them out, and a backup
// copy of them goes.
TEST_F(RepairJournalProgram, TheRollbackLeavesThePlayersOwnPictureAndNotesInPlace) {
  const struct Case {
    const char* name;
    PlantedStep planted;
    std::pair<std::string, std::string> own;
  } cases[] = {
      {"icon-added", {"a icon0.png", "", ""}, {"icon0.png", "the player's own picture"}},
      {"notes-replaced",
       {"r install-notes.txt", "install-notes.txt", "the backup's notes"},
       {"install-notes.txt", "the player's own notes"}},
      {"log-added", {"a install-extraction.log", "", ""}, {"install-extraction.log", "the player's own log"}},
  };
  for (const Case& c : cases) {
    RepairWithJournal(c.name, c.planted, true, {c.own});
    EXPECT_EQ(LogLinesWith(install, "an interrupted update from 1.0.0 to 1.1.0 was rolled back").size(), 1u)
        << c.planted.step << "\n"
        << ReadTestFile(install / L"data" / L"qv-update.log");
    EXPECT_FALSE(fs::exists(install.parent_path() / qv::setup::Utf8ToWide(".qv-update-old-" + std::string(kRun))));
  }
}

// Steps on the game's files under the very names an update writes them: the
// rollback takes the journal, but the files in place are the player's game
// either way and never leave the installation; a backup copy of them goes.
TEST_F(RepairJournalProgram, TheRollbackOfAStepOnTheGamesArchiveLeavesItInPlace) {
  const JournalCase cases[] = {
      {"added", {"a CUSA09901/chunk1.psarc", "", ""}},
      {"replaced", {"r CUSA09901/chunk1.psarc", "CUSA09901/chunk1.psarc", "the backup's archive"}},
  };
  for (const JournalCase& c : cases) {
    RepairWithJournal(c.name, c.planted, true);
    // The staging and backup folders went with the journal.
    std::vector<std::wstring> beside;
    for (const auto& entry : fs::directory_iterator(install.parent_path())) {
      beside.push_back(entry.path().filename().native());
    }
    EXPECT_EQ(beside, std::vector<std::wstring>{L"Q.V. DU Vora"});
    EXPECT_EQ(LogLinesWith(install, "an interrupted update from 1.0.0 to 1.1.0 was rolled back").size(), 1u)
        << c.planted.step << "\n"
        << ReadTestFile(install / L"data" / L"qv-update.log");
    EXPECT_TRUE(LogLinesWith(install, "refused").empty()) << c.planted.step;
  }
}

// Journals that no run used to finish (damaged, named under another drive,
// a removed file put back by hand), planted before a repair and then before
// the uninstall: each run recovers and ends as it does without a journal,
// the game's files are as installed, nothing is left beside the folder, and
// the update log says what happened.
TEST_F(RepairJournalProgram, AStuckJournalIsFinishedByARepairAndByTheUninstall) {
  for (const qv::test::StuckJournal kind : qv::test::kStuckJournals) {
    SCOPED_TRACE(qv::test::StuckJournalName(kind));
    install = temp / qv::setup::Utf8ToWide(std::string("stuck ") + qv::test::StuckJournalName(kind)) /
              L"Q.V. DU Vora";
    InstallInto(install);
    const qv::setup::TreeSnapshot title_folder = qv::setup::SnapshotTree(install / L"CUSA09901");
    const auto beside = [this] {
      std::vector<std::wstring> names;
      for (const auto& entry : fs::directory_iterator(install.parent_path())) names.push_back(entry.path().filename());
      return names;
    };
    const auto logged = [this, kind] {
      return LogLinesWith(install, qv::test::StuckJournalLogLine(kind)).size();
    };

    qv::test::PlantStuckJournal(install, kind);
    const std::vector<std::string> lines = Repair(install);
    EXPECT_EQ(run.exit_code, 0u) << run.output;
    ASSERT_FALSE(lines.empty()) << run.output;
    EXPECT_EQ(lines[0], "PASS updated");
    EXPECT_EQ(qv::setup::SnapshotTree(install / L"CUSA09901"), title_folder);
    EXPECT_FALSE(fs::exists(install / L"data" / L"update-journal.txt"));
    EXPECT_EQ(beside(), std::vector<std::wstring>{L"Q.V. DU Vora"});
    EXPECT_EQ(logged(), 1u) << ReadTestFile(install / L"data" / L"qv-update.log");

    qv::test::PlantStuckJournal(install, kind);
    const qv::test::ChildRun uninstall = qv::test::RunProgram(
        qv::test::SetupProgramPath(), {L"--uninstall", L"--silent", install.native()}, {}, kInstallTimeout);
    EXPECT_EQ(uninstall.exit_code, 0u) << uninstall.output;
    EXPECT_FALSE(fs::exists(install / L"qv-updater.exe"));
    EXPECT_FALSE(fs::exists(install / L"data" / L"update-journal.txt"));
    EXPECT_EQ(beside(), std::vector<std::wstring>{L"Q.V. DU Vora"});
    EXPECT_EQ(logged(), 2u) << ReadTestFile(install / L"data" / L"qv-update.log");
  }
}

}  // namespace
