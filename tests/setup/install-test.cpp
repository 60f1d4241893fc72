// Install in this process, from the test program's own payload: what it adds
// around the engine (path length, shortcut, uninstall entry, test switches)
// and that a failed run leaves neither.

#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "engine/installation-guard.h"
#include "engine/journal/update-journal.h"
#include "engine/transaction/transaction-queries.h"
#include "foundation/files/item-status.h"
#include "foundation/hooks.h"
#include "foundation/text/text.h"
#include "selftest/fixtures/test-game-files.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "setup/desktop-shortcut.h"
#include "setup/install/install.h"
#include "setup/install/own-payload.h"
#include "setup/window/outcome-summary.h"
#include "support/planted-update.h"
#include "support/scoped-variable.h"
#include "support/temp-folder.h"
#include "support/thrown.h"
#include "support/uninstall-entry-probe.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::Install;
using qv::setup::InstallOutcome;
using qv::test::ScopedVariable;
using qv::test::TempFolder;
using qv::test::ThrownMessage;
using qv::test::UninstallEntryExists;
using qv::test::UninstallEntryLocation;

const std::string kTooLong =
    "This installation folder's path is too long: the game cannot start when its path has 250 characters or more. "
    "Choose a folder with a shorter path.";

struct InstallTest : ::testing::Test {
  void SetUp() override {
    qv::setup::WriteDumpedGame(dump);
    shortcut = *qv::setup::DesktopShortcutPath();
    Clean();
  }
  void TearDown() override {
    Clean();
    qv::setup::CancelHook = nullptr;
  }
  void Clean() {
    ::DeleteFileW(shortcut.c_str());
    qv::test::DeleteUninstallEntryKey();
  }
  // The failure's text; and nothing beside the destination, no shortcut and no entry.
  std::string FailedRun(const fs::path& source, const fs::path& destination,
                        const qv::setup::TransactionQueries& queries = qv::setup::SystemTransactionQueries()) {
    fs::create_directories(destination.parent_path());
    const qv::setup::TreeSnapshot before = qv::setup::SnapshotTree(destination.parent_path());
    const std::string error = ThrownMessage([&] { Install(source, destination, true, true, queries); });
    EXPECT_EQ(qv::setup::SnapshotTree(destination.parent_path()), before) << error;
    EXPECT_FALSE(fs::exists(shortcut)) << error;
    EXPECT_FALSE(UninstallEntryExists()) << error;
    return error;
  }

  TempFolder temp{L"qv-install"};
  fs::path dump = temp / L"dump" / L"CUSA09901";
  fs::path shortcut;
};

TEST_F(InstallTest, FreshInstallWithShortcutAndUninstallEntry) {
  const fs::path destination = temp / L"Games" / L"Q.V. DU Vora";
  const InstallOutcome outcome = Install(dump, destination, true, true);
  EXPECT_FALSE(outcome.updated);
  EXPECT_TRUE(outcome.notes.empty());
  EXPECT_TRUE(outcome.warnings.empty());
  EXPECT_EQ(qv::test::ReadTestFile(destination / L"voice" / L"model one.bin"), "a voice model\n");
  EXPECT_EQ(qv::test::ReadTestFile(destination / L"CUSA09901" / L"chunk1.psarc"), qv::setup::PsarcBytes());
  EXPECT_TRUE(fs::exists(destination / L"qv-install-manifest.txt"));
  EXPECT_TRUE(fs::exists(shortcut));
  EXPECT_EQ(UninstallEntryLocation(), destination.native());

  // Again: an update of the same version, every port file as it was.
  Clean();
  const auto port_files = [&] {
    qv::setup::TreeSnapshot files;
    for (const auto& entry : qv::setup::ReadOwnPayloadIndex()) {
      files.emplace_back(entry.name, qv::test::ReadTestFile(destination / qv::setup::PathFromUtf8(entry.name)));
    }
    return files;
  };
  const qv::setup::TreeSnapshot before = port_files();
  const InstallOutcome again = Install({}, destination, false, false);
  EXPECT_TRUE(again.updated);
  EXPECT_EQ(again.previous_version, "1.1.0");
  EXPECT_EQ(again.unchanged, before.size());
  EXPECT_EQ(again.added + again.removed, 0u);
  // The window tells the same counts as the update log: no file of the port
  // was written (the install manifest is, but it is not one of them).
  EXPECT_EQ(again.replaced + again.added + again.unchanged, again.verified);
  EXPECT_EQ(qv::setup::FormatOutcomeSummary(again),
            L"Updated to version 1.1.0: 0 files replaced, 0 added, 0 removed. Your settings and saves are unchanged.");
  EXPECT_EQ(port_files(), before);
  EXPECT_FALSE(fs::exists(shortcut));
  EXPECT_FALSE(UninstallEntryExists());
}

TEST_F(InstallTest, FailedRunsLeaveNeitherShortcutNorEntry) {
  EXPECT_EQ(FailedRun(temp / L"nowhere", temp / L"a" / L"QV"),
            "Select your Q.V. game: a fake PKG, or the game folder from your console dump.");

  qv::setup::TransactionQueries full = qv::setup::SystemTransactionQueries();
  full.available_space = [](const fs::path&) { return std::uint64_t{3221225471}; };  // 1 byte short of 3 GiB
  EXPECT_EQ(FailedRun(dump, temp / L"b" / L"QV", full), "At least 3 GB free space is required.");

  qv::setup::CancelHook = [] { return true; };
  EXPECT_EQ(FailedRun(dump, temp / L"c" / L"QV"), "Installation cancelled.");
  qv::setup::CancelHook = nullptr;

  // Another run of the same folder (an update, another setup) holds it.
  const std::optional<qv::setup::InstallationGuard> other =
      qv::setup::TryGuardInstallation(temp / L"d" / L"QV", "{another run}");
  ASSERT_TRUE(other);
  EXPECT_EQ(FailedRun(dump, temp / L"d" / L"QV"), "Another update of this install is running.");
}

// A repair beside another run's journal: that run holds the installation
// and is still moving files under its journal, which must not be taken for an
// interrupted update's. The repair is refused before it reads the journal,
// and the journal, the run's folders and the installation stay as they were.
TEST_F(InstallTest, ARepairBesideALiveRunsJournalIsRefusedAndTouchesNothing) {
  const fs::path games = temp / L"Games";
  const fs::path destination = games / L"QV";
  Install(dump, destination, false, false);
  const std::string run = "{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}";
  const std::optional<qv::setup::InstallationGuard> other = qv::setup::TryGuardInstallation(destination, run);
  ASSERT_TRUE(other);
  qv::test::PlantUpdate(destination, run, qv::setup::kJournalSwapping);
  const qv::setup::TreeSnapshot before = qv::setup::SnapshotTree(games);

  for (const fs::path& source : {fs::path(), dump}) {
    EXPECT_EQ(ThrownMessage([&] { Install(source, destination, false, false); }),
              "Another update of this install is running.");
    EXPECT_EQ(qv::setup::SnapshotTree(games), before);
  }
}

TEST_F(InstallTest, GamePathOf250CharactersIsRefusedBeforeAnythingIsTouched) {
  // The destination's "\qv.exe" takes 7 characters.
  fs::path parent = temp / L"deep";
  while (parent.native().size() < 230) parent /= L"level";
  const std::wstring name_249(249 - 7 - parent.native().size() - 1, L'q');
  const fs::path accepted = parent / name_249;
  const fs::path refused = parent / (name_249 + L"q");
  ASSERT_EQ((accepted / L"qv.exe").native().size(), 249u);

  EXPECT_EQ(ThrownMessage([&] { Install(dump, refused, false, false); }), kTooLong);
  EXPECT_FALSE(qv::setup::ReadItemStatus(parent).has_value());  // not even the parent was made

  // Measured on the normal absolute form: a trailing separator or a "." does not count.
  EXPECT_EQ(ThrownMessage([&] { Install(dump, refused / L"." / L"", false, false); }), kTooLong);
  const InstallOutcome outcome = Install(dump, accepted, false, false);
  EXPECT_FALSE(outcome.updated);
  EXPECT_TRUE(qv::setup::IsRegularFile(accepted / L"qv.exe"));
}

// A folder typed without its drive would land below whatever the current
// folder is, and a device name would turn the folder into the device: both are
// refused before anything is touched, the device by the folder as typed. (A
// pending cancel stops every destination that passes at once.)
TEST_F(InstallTest, DestinationsWithoutAFullPathOrWithADeviceNameAreRefusedAsTyped) {
  const std::string full_path =
      "Choose the installation folder by its full path, starting with a drive letter or a network share (for "
      "example C:\\Games\\Q.V. DU Vora).";
  const auto device = [](const fs::path& folder, const char* name) {
    return "Could not create the folder " + qv::setup::NativePathToUtf8(folder) + ": Windows keeps the name \"" +
           name + "\" for a device.";
  };
  const fs::path games = temp / L"Games";
  fs::create_directories(games);
  struct Case {
    fs::path destination;
    std::string message;
  } cases[] = {
      {L"relative\\QV", full_path},
      {L".\\QV", full_path},
      {L"..\\Games\\QV", full_path},
      {L"\\Games\\QV", full_path},  // below the root of the current drive
      {L"C:Games\\QV", full_path},    // below the current folder of drive C:
      {games / L"CON", device(games / L"CON", "CON")},
      {games / L"nul.txt" / L"QV", device(games / L"nul.txt" / L"QV", "nul.txt")},
      {games / L"Com1 " / L"QV", device(games / L"Com1 " / L"QV", "Com1 ")},
      {games / L"QV", "Installation cancelled."},
      {games / L"CONSOLE" / L"QV", "Installation cancelled."},
  };
  wchar_t previous[MAX_PATH] = {};
  ASSERT_NE(::GetCurrentDirectoryW(MAX_PATH, previous), 0u);
  ASSERT_TRUE(::SetCurrentDirectoryW(games.c_str()));
  qv::setup::CancelHook = [] { return true; };
  for (const Case& c : cases) {
    EXPECT_EQ(ThrownMessage([&] { Install(dump, c.destination, true, true); }), c.message) << c.destination;
  }
  qv::setup::CancelHook = nullptr;
  ::SetCurrentDirectoryW(previous);
  EXPECT_TRUE(fs::is_empty(games));
  EXPECT_FALSE(fs::exists(shortcut));
  EXPECT_FALSE(UninstallEntryExists());
}

TEST_F(InstallTest, HooksCarryTheSetupsOwnOperations) {
  qv::setup::InstallHooks hooks = qv::setup::SetupInstallHooks();
  EXPECT_EQ(hooks.new_version, "1.1.0");
  ASSERT_EQ(hooks.run_id.size(), 36u);
  for (std::size_t i = 0; i < 36; ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      EXPECT_EQ(hooks.run_id[i], '-') << hooks.run_id;
    } else {
      EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(hooks.run_id[i])) &&
                  !std::islower(static_cast<unsigned char>(hooks.run_id[i])))
          << hooks.run_id;
    }
  }
  EXPECT_NE(qv::setup::SetupInstallHooks().run_id, hooks.run_id);
  EXPECT_TRUE(hooks.validate_destination && hooks.verify_setup && hooks.payload_size && hooks.extract_payload &&
              hooks.check_payload && hooks.extract_package && hooks.create_shortcut &&
              hooks.picture_search_folders && hooks.payload_entries && hooks.extract_entries && hooks.hash_file);
  EXPECT_FALSE(hooks.keep_journal || hooks.portable_copy || hooks.expected_changes || hooks.before_commit);
  EXPECT_EQ(hooks.payload_size(), qv::setup::OwnPayloadTotalSize());
  EXPECT_EQ(hooks.fail_at_step, -1);
  EXPECT_EQ(hooks.pause_at_step, -1);
  EXPECT_EQ(hooks.corrupt_after_commit, "");
}

// The setup's own payload is held to the rule the updater holds a signed
// manifest to: a short (8.3) name form is refused before anything is
// installed, for it may stand for another folder ("CUSA~PNS" for the title
// folder) or for one the same payload creates.
TEST_F(InstallTest, ThePayloadCheckRefusesShortNameForms) {
  const qv::setup::InstallHooks hooks = qv::setup::SetupInstallHooks();
  const std::vector<qv::setup::InstalledFile> runtimes = {
      {"amd_fidelityfx_vk.dll", ""}, {"nvngx_dlss.dll", ""}, {"libxess.dll", ""}};
  const struct {
    std::vector<std::string> names;
    std::string message;
  } cases[] = {
      {{"qv.exe", "a~/x"}, "(no exception)"},
      {{"CUSA~PNS/chunk1.psarc"},
       "The installer payload lists CUSA~PNS/chunk1.psarc, whose CUSA~PNS has the form of a short (8.3) name, "
       "which may stand for another folder or file."},
      {{"newlongfolder/x.bin", "newl~1oa/y.bin"},
       "The installer payload lists newl~1oa/y.bin, whose newl~1oa has the form of a short (8.3) name, which may "
       "stand for another folder or file."},
  };
  for (const auto& c : cases) {
    std::vector<qv::setup::InstalledFile> files = runtimes;
    for (const std::string& name : c.names) files.push_back({name, ""});
    EXPECT_EQ(qv::test::ThrownMessage([&] { hooks.check_payload(files); }), c.message) << c.names.back();
  }
}

TEST_F(InstallTest, TestSwitchesOnlyWithTestHooksOn) {
  ScopedVariable fail("QV_UPDATE_TEST_FAIL_AT", "3");
  ScopedVariable pause("QV_UPDATE_TEST_PAUSE_AT", "  -2z");
  ScopedVariable corrupt("QV_UPDATE_TEST_CORRUPT", "shaders/a.spv");
  qv::setup::InstallHooks off = qv::setup::SetupInstallHooks();
  EXPECT_EQ(off.fail_at_step, -1);
  EXPECT_EQ(off.pause_at_step, -1);
  EXPECT_EQ(off.corrupt_after_commit, "");

  ScopedVariable on("QV_UPDATE_TEST", "1");
  qv::setup::InstallHooks hooks = qv::setup::SetupInstallHooks();
  EXPECT_EQ(hooks.fail_at_step, 3);
  EXPECT_EQ(hooks.pause_at_step, -2);
  EXPECT_EQ(hooks.corrupt_after_commit, "shaders/a.spv");
  ScopedVariable letters("QV_UPDATE_TEST_FAIL_AT", "x");
  EXPECT_EQ(qv::setup::SetupInstallHooks().fail_at_step, 0);
}

}  // namespace
