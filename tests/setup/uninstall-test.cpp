// Uninstall in this process, on installations made by Install from the test
// program's own payload with shortcut and uninstall entry. The message boxes
// are answered by the test (a real box would block it).

#include "engine/installation-guard.h"
#include "setup/uninstall/uninstall.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cwctype>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/journal/update-journal.h"
#include "foundation/text/text.h"
#include "foundation/win/unique-handle.h"
#include "selftest/fixtures/test-game-files.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "setup/desktop-shortcut.h"
#include "setup/install-from-shortcut.h"
#include "setup/install/install.h"
#include "setup/uninstall-entry.h"
#include "setup/uninstall/installed-files-removal.h"
#include "setup/uninstall/uninstall-messages.h"
#include "setup/uninstall/uninstall-mode.h"
#include "support/planted-update.h"
#include "support/scoped-variable.h"
#include "support/temp-folder.h"
#include "support/test-paths.h"
#include "support/thrown.h"
#include "support/uninstall-entry-probe.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::UninstallServices;
using qv::test::ReadTestFile;
using qv::test::TempFolder;
using qv::test::UninstallEntryExists;
using qv::test::UninstallEntryLocation;
using qv::test::WriteTestFile;

struct Box {
  std::wstring text;
  unsigned flags = 0;
  bool operator==(const Box&) const = default;
};

struct UninstallTest : ::testing::Test {
  void SetUp() override {
    qv::setup::WriteDumpedGame(dump);
    shortcut = *qv::setup::DesktopShortcutPath();
    Clean();
  }
  void TearDown() override { Clean(); }
  void Clean() {
    ::DeleteFileW(shortcut.c_str());
    qv::test::DeleteUninstallEntryKey();
  }

  // An installation with the player's settings, a save and a mod, its
  // shortcut and its uninstall entry.
  void InstallInto(const fs::path& folder) {
    qv::setup::Install(dump, folder, true, true);
    WriteTestFile(folder / L"data" / L"saves" / L"slot.dat", "progress");
    WriteTestFile(folder / L"mods" / L"m.pak", "mod");
  }

  // Services whose boxes are recorded and answered with `answer`.
  UninstallServices Answering(int answer, fs::path own = qv::test::TestBinaryFolder() / L"setup_tests.exe") {
    return {[this, answer](const std::wstring& text, unsigned flags) {
              boxes.push_back({text, flags});
              return answer;
            },
            std::move(own), {}};
  }

  TempFolder temp{L"qv-uninstall"};
  fs::path dump = temp / L"dump" / L"CUSA09901";
  fs::path install = temp / L"Games" / L"Q.V. DU Vora";
  fs::path shortcut;
  std::vector<Box> boxes;
};

TEST_F(UninstallTest, NoInstallationIsReportedUnlessSilent) {
  fs::create_directories(temp / L"empty");
  WriteTestFile(temp / L"other" / L"letter.txt", "mine");
  for (const fs::path& folder : {temp / L"empty", temp / L"missing", temp / L"other"}) {
    boxes.clear();
    EXPECT_TRUE(qv::setup::Uninstall(folder, false, false, false, Answering(IDOK)));
    EXPECT_EQ(boxes,
              (std::vector<Box>{{L"No Q.V. DU Vora installation was found in:\n" + folder.native(), MB_ICONERROR}}));
    boxes.clear();
    EXPECT_TRUE(qv::setup::Uninstall(folder, true, true, false, Answering(IDOK)));
    EXPECT_TRUE(boxes.empty());
  }
  EXPECT_EQ(ReadTestFile(temp / L"other" / L"letter.txt"), "mine");
}

// Not while another run (an update, a repair) holds the installation: its
// journal and backup would lose the installation under them.
TEST_F(UninstallTest, NotWhileAnotherRunHoldsTheInstallation) {
  InstallInto(install);
  const qv::setup::TreeSnapshot before = qv::setup::SnapshotTree(install);
  {
    const std::optional<qv::setup::InstallationGuard> other =
        qv::setup::TryGuardInstallation(install, "{an update}");
    ASSERT_TRUE(other);
    EXPECT_EQ(qv::test::ThrownMessage([&] { qv::setup::Uninstall(install, true, true, false, Answering(IDYES)); }),
              "Another update of this install is running.");
    EXPECT_EQ(qv::setup::SnapshotTree(install), before);
    EXPECT_TRUE(fs::exists(shortcut));
  }
  EXPECT_FALSE(qv::setup::Uninstall(install, true, true, false, Answering(IDYES)));
  EXPECT_FALSE(fs::exists(install / L"qv.exe"));
}

// What earlier runs left beside the installation goes under the rules every
// run keeps: the folders a "started" journal names, with the journal, and the
// folders of killed runs; a live run's folders stay, and so does a backup
// that no journal names (it may hold the only copy of a file).
TEST_F(UninstallTest, EarlierRunsAreFinishedAsEveryRunFinishesThem) {
  InstallInto(install);
  const fs::path games = install.parent_path();
  const auto beside = [&](const std::string& name) { return games / qv::setup::Utf8ToWide(name); };
  const std::string live = "{55555555-5555-5555-5555-555555555555}";
  const std::optional<qv::setup::InstallationGuard> other =
      qv::setup::TryGuardInstallation(games / L"Another installation", live);
  ASSERT_TRUE(other);
  qv::test::PlantUpdate(install, "{44444444-4444-4444-4444-444444444444}", qv::setup::kJournalStarted);
  const struct {
    std::string name;
    bool removed;
  } cases[] = {
      {".qv-install-11111111-1111-1111-1111-111111111111", true},
      {".qv-update-fix-{22222222-2222-2222-2222-222222222222}", true},
      {".qv-update-dl-{33333333-3333-3333-3333-333333333333}", true},
      {".qv-update-{44444444-4444-4444-4444-444444444444}", true},
      {".qv-update-old-{44444444-4444-4444-4444-444444444444}", true},
      {".qv-install-" + live, false},
      {".qv-update-old-{66666666-6666-6666-6666-666666666666}", false},
      {".qv-install-mine", false},
  };
  for (const auto& c : cases) WriteTestFile(beside(c.name) / L"file", "left");

  EXPECT_FALSE(qv::setup::Uninstall(install, true, false, false, Answering(IDYES)));
  for (const auto& c : cases) EXPECT_EQ(fs::exists(beside(c.name)), !c.removed) << c.name;
  EXPECT_FALSE(fs::exists(qv::setup::UpdateJournalPath(install)));
  EXPECT_FALSE(fs::exists(install / L"qv.exe"));
  EXPECT_EQ(ReadTestFile(install / L"data" / L"saves" / L"slot.dat"), "progress");
}

// An update cut short while it moved files is rolled back first, so that the
// removal finds the files its records name; when it cannot be undone, or its
// backup keeps files its journal does not name, nothing is uninstalled.
TEST_F(UninstallTest, AnInterruptedUpdateIsRolledBackOrNothingIsUninstalled) {
  const std::string run = "{44444444-4444-4444-4444-444444444444}";
  const std::string kept_journal_text =
      "An earlier update could not be finished: its journal " +
      qv::setup::WideToUtf8(qv::setup::UpdateJournalPath(install).native()) +
      " and its folders beside the installation stay (the update log says why). The folder " +
      qv::setup::WideToUtf8((install.parent_path() / (L".qv-update-old-" + qv::setup::Utf8ToWide(run))).native()) +
      " still holds files of the game's installation: close any program that uses them, or move them where they "
      "belong, then try again. Nothing was uninstalled.";
  const struct {
    const char* what;
    std::function<void(const qv::setup::UpdateJournal&)> plant;
    std::string message;  // empty: uninstalled
  } cases[] = {
      {"undone", [](const qv::setup::UpdateJournal&) {}, ""},
      {"a folder in the way of the new qv.exe",
       [](const qv::setup::UpdateJournal& journal) { fs::create_directories(journal.staging / L"qv.exe" / L"x"); },
       "An earlier update could not be undone (could not move qv.exe back: a folder of that name is in the "
       "staging folder " +
           qv::setup::ToGenericUtf8(install.parent_path() / qv::setup::Utf8ToWide(".qv-update-" + run)) +
           "). Move that folder elsewhere, then try again; until then the update's backup folder " +
           qv::setup::ToGenericUtf8(install.parent_path() / qv::setup::Utf8ToWide(".qv-update-old-" + run)) +
           " is kept."},
      // Of what the journal does not name, an old file comes back where
      // nothing is in place; one with a file in its place stays, and so do
      // the journal and the installation, with a sentence naming the folder.
      {"a backup that holds more than the journal names",
       [this](const qv::setup::UpdateJournal& journal) {
         WriteTestFile(journal.backup / L"unnamed.dll", "old");
         WriteTestFile(install / L"unnamed.dll", "in place");
       },
       kept_journal_text},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Clean();
    fs::remove_all(install.parent_path());
    InstallInto(install);
    const qv::setup::UpdateJournal journal = qv::test::PlantUpdate(install, run, qv::setup::kJournalSwapping);
    c.plant(journal);
    const std::string message =
        qv::test::ThrownMessage([&] { qv::setup::Uninstall(install, true, false, false, Answering(IDYES)); });
    if (c.message.empty()) {
      EXPECT_EQ(message, "(no exception)");
      EXPECT_FALSE(fs::exists(install / L"qv.exe"));
      // Moved back into the staging folder by the rollback, and gone with it.
      EXPECT_FALSE(fs::exists(install / L"shaders" / L"new.spv"));
      EXPECT_FALSE(fs::exists(journal.staging));
      EXPECT_FALSE(fs::exists(journal.backup));
      EXPECT_FALSE(fs::exists(qv::setup::UpdateJournalPath(install)));
      continue;
    }
    EXPECT_EQ(message, c.message);
    EXPECT_TRUE(fs::exists(qv::setup::UpdateJournalPath(install)));
    EXPECT_TRUE(fs::exists(journal.backup));
    EXPECT_TRUE(fs::exists(install / L"qv-updater.exe"));
    EXPECT_TRUE(fs::exists(install / L"qv-install-manifest.txt"));
    EXPECT_TRUE(fs::exists(shortcut));
    EXPECT_TRUE(UninstallEntryExists());
  }
}

TEST_F(UninstallTest, AnswerNoLeavesEverything) {
  InstallInto(install);
  const qv::setup::TreeSnapshot before = qv::setup::SnapshotTree(install);
  for (bool remove_data : {false, true}) {
    boxes.clear();
    // The folder as typed: relative parts and a trailing separator are normalised in the question.
    EXPECT_FALSE(qv::setup::Uninstall(install / L"." / L"", false, remove_data, false, Answering(IDNO)));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].flags, static_cast<unsigned>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(boxes[0].text,
              L"Uninstall Q.V. DU Vora from:\n" + install.native() +
                  (remove_data ? L"\n\nProgram files, saves and settings will be removed. Continue?"
                               : L"\n\nProgram files and desktop shortcut will be removed.\nYour saves, settings "
                                 L"(data/) and mods will be kept. Continue?"));
  }
  EXPECT_EQ(qv::setup::SnapshotTree(install), before);
  EXPECT_TRUE(fs::exists(shortcut));
  EXPECT_EQ(UninstallEntryLocation(), install.native());
}

TEST_F(UninstallTest, FromOutsideItRemovesEverythingAndSaysHowManyFiles) {
  InstallInto(install);
  EXPECT_FALSE(qv::setup::Uninstall(install, false, false, false, Answering(IDYES)));
  ASSERT_EQ(boxes.size(), 2u);
  const std::vector<std::string> left = [&] {
    std::vector<std::string> paths;
    for (const auto& [path, bytes] : qv::setup::SnapshotTree(install)) paths.push_back(path);
    return paths;
  }();
  EXPECT_EQ(boxes[1].flags, static_cast<unsigned>(MB_ICONINFORMATION));
  EXPECT_EQ(boxes[1].text.rfind(L"Q.V. DU Vora has been uninstalled (", 0), 0u) << boxes[1].text;
  EXPECT_FALSE(fs::exists(install / L"qv.exe"));
  EXPECT_FALSE(fs::exists(install / L"qv-updater.exe"));
  EXPECT_FALSE(fs::exists(install / L"qv-install-manifest.txt"));
  EXPECT_FALSE(fs::exists(install / L"shaders"));
  EXPECT_EQ(ReadTestFile(install / L"data" / L"saves" / L"slot.dat"), "progress");
  EXPECT_EQ(ReadTestFile(install / L"mods" / L"m.pak"), "mod");
  EXPECT_TRUE(fs::exists(install / L"CUSA09901" / L"chunk1.psarc"));  // the player's game: no record names it
  EXPECT_FALSE(fs::exists(shortcut));
  EXPECT_FALSE(UninstallEntryExists());
  for (const std::string& path : left) {
    EXPECT_TRUE(path.starts_with("data/") || path.starts_with("mods/") || path.starts_with("CUSA09901/")) << path;
  }
}

// The game's icon that the setup put at the top for the shortcut goes with
// the installation; a picture of that name the player put there stays, and
// so does the folder that holds it.
TEST_F(UninstallTest, TheShortcutIconGoesWhenItIsTheSetupsCopy) {
  const struct {
    const char* what;
    std::optional<std::string> replaced_by;  // the player's own bytes
    bool removed;
  } cases[] = {
      {"the setup's copy", std::nullopt, true},
      {"the player's picture", qv::setup::PngBytes("the player's own icon"), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    InstallInto(install);
    ASSERT_TRUE(fs::is_regular_file(install / L"icon0.png"));
    if (c.replaced_by) WriteTestFile(install / L"icon0.png", *c.replaced_by);
    fs::remove_all(install / L"CUSA09901");  // the player keeps the game elsewhere
    EXPECT_FALSE(qv::setup::Uninstall(install, true, true, false, Answering(IDYES)));
    EXPECT_EQ(fs::exists(install / L"icon0.png"), !c.removed);
    EXPECT_EQ(fs::exists(install), !c.removed);
    fs::remove_all(install);
  }
}

// The done box counts in the number that goes with its count.
TEST(UninstallMessages, TheDoneBoxSaysOneFileForOne) {
  EXPECT_EQ(qv::setup::UninstalledMessage(1), L"Q.V. DU Vora has been uninstalled (1 file removed).");
  EXPECT_EQ(qv::setup::UninstalledMessage(0), L"Q.V. DU Vora has been uninstalled (0 files removed).");
  EXPECT_EQ(qv::setup::UninstalledMessage(2), L"Q.V. DU Vora has been uninstalled (2 files removed).");
}

// The same count whoever does the work: the uninstaller started from outside,
// or the temporary copy, which deletes "qv-updater.exe" among its last names,
// as soon as the uninstaller that started it has ended.
TEST_F(UninstallTest, TheDoneBoxCountsTheItemsDeleted) {
  for (const bool temporary_copy : {false, true}) {
    SCOPED_TRACE(temporary_copy ? "the temporary copy" : "from outside");
    boxes.clear();
    fs::remove_all(install);  // the player's game files that the first round left
    InstallInto(install);
    // The same installation's files, counted by a removal of a copy of it.
    const fs::path twin = temp / L"twin";
    fs::remove_all(twin);
    fs::copy(install, twin, fs::copy_options::recursive);
    const qv::setup::RemovalCounts counts = qv::setup::RemoveInstalledFiles(twin, true);
    ASSERT_GT(counts.removed, 5u);
    EXPECT_FALSE(qv::setup::Uninstall(install, false, true, temporary_copy, Answering(IDYES)));
    ASSERT_EQ(boxes.size(), temporary_copy ? 1u : 2u);  // the copy was started after the question
    EXPECT_EQ(boxes.back(),
              (Box{L"Q.V. DU Vora has been uninstalled (" + std::to_wstring(counts.removed) + L" files removed).",
                   MB_ICONINFORMATION}));
    EXPECT_FALSE(fs::exists(install / L"qv-updater.exe"));
    EXPECT_FALSE(fs::exists(install / L"data"));
    EXPECT_FALSE(fs::exists(install / L"mods"));
  }
}

// The shortcut and the entry of a later installation elsewhere stay when an
// older copy is uninstalled.
TEST_F(UninstallTest, AnotherInstallationsShortcutAndEntryStay) {
  const fs::path current = temp / L"Games" / L"Current";
  InstallInto(install);
  InstallInto(current);
  ASSERT_EQ(qv::setup::FindInstallFromShortcut(), current);
  EXPECT_FALSE(qv::setup::Uninstall(install, true, true, false, Answering(IDYES)));
  EXPECT_TRUE(boxes.empty());
  EXPECT_FALSE(fs::exists(install / L"qv.exe"));
  EXPECT_TRUE(fs::exists(shortcut));
  EXPECT_EQ(UninstallEntryLocation(), current.native());

  // The current one, typed in other letter case, takes both with it.
  std::wstring typed = current.native();
  for (wchar_t& c : typed) c = static_cast<wchar_t>(std::towupper(c));
  EXPECT_FALSE(qv::setup::Uninstall(typed, true, true, false, Answering(IDYES)));
  EXPECT_FALSE(fs::exists(shortcut));
  EXPECT_FALSE(UninstallEntryExists());
}

// The entry goes only with the records that make the folder an installation:
// while the install manifest cannot be deleted (another program holds it),
// the entry stays for the uninstall that finishes the work later.
TEST_F(UninstallTest, TheEntryStaysWhileTheInstallationsRecordsStay) {
  InstallInto(install);
  {
    const qv::setup::UniqueHandle held(::CreateFileW((install / L"qv-install-manifest.txt").c_str(), GENERIC_READ,
                                                     FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.valid());
    EXPECT_FALSE(qv::setup::Uninstall(install, true, false, false, Answering(IDYES)));
    EXPECT_TRUE(fs::exists(install / L"qv-install-manifest.txt"));
    EXPECT_EQ(UninstallEntryLocation(), install.native());
  }
  EXPECT_FALSE(qv::setup::Uninstall(install, true, false, false, Answering(IDYES)));
  EXPECT_FALSE(fs::exists(install / L"qv-install-manifest.txt"));
  EXPECT_FALSE(UninstallEntryExists());
}

// An entry that names no folder is taken for this installation's.
TEST_F(UninstallTest, AnEntryWithoutItsLocationGoes) {
  InstallInto(install);
  ASSERT_EQ(::RegDeleteKeyValueW(HKEY_CURRENT_USER, std::wstring(qv::setup::kUninstallKeyPath).c_str(),
                                 L"InstallLocation"),
            ERROR_SUCCESS);
  EXPECT_FALSE(qv::setup::Uninstall(install, true, false, false, Answering(IDYES)));
  EXPECT_FALSE(UninstallEntryExists());
}

// An uninstaller inside the installation that cannot start its temporary
// copy (here a file that is no program) does the work itself and leaves no
// copy behind.
TEST_F(UninstallTest, ACopyThatCannotStartLeavesNothingAndTheWorkIsDoneHere) {
  InstallInto(install);
  const fs::path temporary = temp / L"temporary";
  fs::create_directories(temporary);
  qv::test::ScopedVariable tmp("TMP", qv::setup::WideToUtf8(temporary.native()));
  qv::test::ScopedVariable temp_variable("TEMP", qv::setup::WideToUtf8(temporary.native()));
  EXPECT_FALSE(qv::setup::Uninstall(install, false, false, false, Answering(IDYES, install / L"qv-updater.exe")));
  EXPECT_EQ(boxes.size(), 2u);
  EXPECT_FALSE(fs::exists(install / L"qv-updater.exe"));
  EXPECT_FALSE(fs::exists(install / L"qv.exe"));
  EXPECT_TRUE(fs::is_empty(temporary));
}

TEST_F(UninstallTest, FailuresAreShownUnlessSilentAndPassOn) {
  InstallInto(install);
  WriteTestFile(install / L"qv-install-manifest.txt",
                "qv-port-install 1\nversion=1.1.0\nfile=" + std::string(64, 'a') + " ../outside.txt\n");
  WriteTestFile(temp / L"Games" / L"outside.txt", "not the installation's");
  for (bool silent : {false, true}) {
    boxes.clear();
    qv::setup::UninstallArgs args;
    args.folder = install;
    args.silent = silent;
    EXPECT_EQ(qv::test::ThrownMessage([&] { qv::setup::RunUninstall(args, Answering(IDYES)); }),
              "Unsafe payload path.");
    if (silent) {
      EXPECT_TRUE(boxes.empty());
    } else {
      EXPECT_EQ(boxes, (std::vector<Box>{{L"Unsafe payload path.", MB_ICONERROR}}));
    }
  }
  EXPECT_TRUE(fs::exists(install / L"qv.exe"));
  EXPECT_TRUE(fs::exists(shortcut));
  EXPECT_EQ(ReadTestFile(temp / L"Games" / L"outside.txt"), "not the installation's");
}

TEST(UninstallArgs, OptionsInAnyOrderAndTheLastFolderWins) {
  const fs::path own = L"C:\\Games\\QV\\qv-updater.exe";
  struct Case {
    std::vector<std::wstring> args;
    bool parsed;
    std::wstring folder;
    bool silent, remove_data, self_delete;
  } cases[] = {
      {{L"p.exe", L"--uninstall"}, true, L"C:\\Games\\QV", false, false, false},
      {{L"p.exe", L"--uninstall", L"--silent"}, true, L"C:\\Games\\QV", true, false, false},
      {{L"p.exe", L"--uninstall", L"D:\\A", L"--remove-data", L"D:\\B", L"--self-delete", L"--silent"},
       true,
       L"D:\\B",
       true,
       true,
       true},
      {{L"p.exe", L"--uninstall", L"--SILENT"}, true, L"--SILENT", false, false, false},
      {{L"p.exe", L"--uninstall", L""}, true, L"", false, false, false},
      {{L"p.exe", L"--UNINSTALL"}, false, L"", false, false, false},
      {{L"p.exe", L"x", L"--uninstall"}, false, L"", false, false, false},
      {{L"p.exe"}, false, L"", false, false, false},
  };
  for (const Case& c : cases) {
    const auto parsed = qv::setup::ParseUninstallArgs(c.args, own);
    ASSERT_EQ(parsed.has_value(), c.parsed) << c.args.size();
    if (!parsed) continue;
    EXPECT_EQ(parsed->folder, c.folder);
    EXPECT_EQ(parsed->silent, c.silent);
    EXPECT_EQ(parsed->remove_data, c.remove_data);
    EXPECT_EQ(parsed->self_delete, c.self_delete);
  }
}

}  // namespace
