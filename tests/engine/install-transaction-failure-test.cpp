// How install and update runs fail: the sentences, and what each failure
// leaves behind (the installation as it was, or the previous version restored,
// and no temporary folder unless a later recovery needs it).

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/journal/update-journal.h"
#include "engine/journal/update-recovery.h"
#include "engine/transaction/install-transaction.h"
#include "engine/transaction/transaction-failure.h"
#include "foundation/files/item-status.h"
#include "foundation/files/paths.h"
#include "foundation/text/text.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "support/temp-folder.h"
#include "support/thrown.h"
#include "transaction-fixtures.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::InstallHooks;
using qv::setup::InstallOutcome;
using qv::setup::ReadFileText;
using qv::setup::RunInstallTransaction;
using qv::setup::TreeSnapshot;
using qv::setup::WriteFixtureFile;
using qv::test::HookRecorder;
using qv::test::InstalledSite;
using qv::test::PlentyOfSpace;
using qv::test::SnapshotWithoutLog;
using qv::test::TemporaryItemsBeside;
using qv::test::ThrownMessage;

const std::string kNextStart = "The next start of the game or the setup restores the previous version.";

// An update of an installation of 1.0.0 to 1.1.0 that a test makes fail.
struct FailingUpdate {
  InstalledSite site;
  InstallHooks hooks = site.UpdateHooks("f");
  TreeSnapshot before;

  FailingUpdate() { WriteFixtureFile(site.install / L"data" / L"qv.ini", "settings"); }

  std::string Failure(bool shortcut = false) {
    before = SnapshotWithoutLog(site.install);
    InstallOutcome outcome;
    return ThrownMessage([&] { RunInstallTransaction(outcome, {}, site.install, shortcut, hooks, PlentyOfSpace()); });
  }
  // The installation as it was, and nothing of the run left beside it.
  void ExpectUntouched() {
    EXPECT_EQ(SnapshotWithoutLog(site.install), before);
    EXPECT_EQ(TemporaryItemsBeside(site.install), std::vector<std::string>{});
    EXPECT_FALSE(qv::setup::ReadItemStatus(qv::setup::UpdateJournalPath(site.install)));
  }
  std::string Log() { return ReadFileText(site.install / L"data" / L"qv-update.log"); }
};

TEST(TransactionFailure, FailedCommitLeavesTheInstallationAsItWas) {
  for (int step : {0, 1, 3}) {
    SCOPED_TRACE(step);
    FailingUpdate update;
    update.hooks.fail_at_step = step;
    EXPECT_EQ(update.Failure(), "Test failure during the update.");
    update.ExpectUntouched();
  }
}

TEST(TransactionFailure, FileSystemErrorOfTheCommitNamesTheInstalledPath) {
  FailingUpdate update;
  // A file of the player's where the new version needs a folder.
  WriteFixtureFile(update.site.install / L"tools", "in the way");
  auto files = qv::test::PortFiles("1.1.0");
  files.push_back({"tools/helper.bin", "helper"});
  update.hooks = qv::test::MakeTestHooks(qv::test::MakeTestPayload(update.site.temp / L"scratch2", files), "1.1.0", "f");
  const std::string shown = qv::setup::ToGenericUtf8(update.site.install / L"tools");
  EXPECT_EQ(update.Failure(), "Could not replace " + shown +
                                  ": it is in use (is Q.V. still running?). Close it and try again. Nothing was changed.");
  update.ExpectUntouched();
}

TEST(TransactionFailure, CommitErrorTextNamesTheInstalledFileAndTellsWhetherTheUndoCompleted) {
  qv::test::TempFolder temp;
  qv::setup::TransactionState state;
  state.destination = temp / L"QV";
  state.parent = temp.path();
  state.staging = temp / L".qv-update-x";
  state.backup = temp / L".qv-update-old-x";
  state.journal_path = qv::setup::UpdateJournalPath(state.destination);
  const std::error_code denied(ERROR_SHARING_VIOLATION, std::system_category());
  const std::string installed_exe = qv::setup::ToGenericUtf8(state.destination / L"bin" / L"qv.exe");
  const std::string tail = ": it is in use (is Q.V. still running?). Close it and try again. ";
  struct Case {
    fs::path path;
    std::string shown;
  };
  const Case cases[] = {
      {state.staging / L"bin" / L"qv.exe", installed_exe},
      {state.backup / L"bin" / L"qv.exe", installed_exe},
      {state.destination / L"bin" / L"qv.exe", installed_exe},
      {temp / L".qv-update-xy" / L"qv.exe", qv::setup::ToGenericUtf8(temp / L".qv-update-xy" / L"qv.exe")},
      {fs::path(), qv::setup::ToGenericUtf8(state.destination)},
  };
  for (const Case& test : cases) {
    const fs::filesystem_error error("rename", test.path, state.destination / L"x", denied);
    EXPECT_EQ(qv::setup::CommitFailureText(error, state), "Could not replace " + test.shown + tail + "Nothing was changed.");
  }
  // A journal left behind means the undo did not complete.
  WriteFixtureFile(state.journal_path, "qv-update-journal 1\n");
  const fs::filesystem_error error("rename", state.staging / L"bin" / L"qv.exe", denied);
  EXPECT_EQ(qv::setup::CommitFailureText(error, state), "Could not replace " + installed_exe + tail + kNextStart);
}

TEST(TransactionFailure, CorruptionAfterTheCommitIsRepaired) {
  InstalledSite site;
  // A repair folder an earlier run of the same identifier left.
  WriteFixtureFile(site.temp / L"games" / L".qv-update-fix-c" / L"stale.bin", "stale");
  InstallHooks hooks = site.UpdateHooks("c");
  hooks.corrupt_after_commit = "shaders/a.spv";  // a file the commit did not touch
  InstallOutcome outcome;
  RunInstallTransaction(outcome, {}, site.install, false, hooks, PlentyOfSpace());
  EXPECT_EQ(outcome.repaired, 1u);
  EXPECT_EQ(outcome.verified, 5u);
  EXPECT_EQ(ReadFileText(site.install / L"shaders" / L"a.spv"), "shader a");
  EXPECT_EQ(TemporaryItemsBeside(site.install), std::vector<std::string>{});
  const std::string log = ReadFileText(site.install / L"data" / L"qv-update.log");
  EXPECT_NE(log.find(" 1 file differs after the update (first shaders/a.spv); fetching it again\n"), std::string::npos)
      << log;
  EXPECT_NE(log.find(" update 1.0.0 to 1.1.0: 1 replaced, 2 added, 2 unchanged, 1 removed, all 5 files checked, 1 "
                     "fetched again\n"),
            std::string::npos)
      << log;
}

TEST(TransactionFailure, DifferenceThatSurvivesTheRepairRollsBack) {
  FailingUpdate update;
  update.hooks.corrupt_after_commit = "qv.exe";
  auto extract = update.hooks.extract_entries;
  int calls = 0;
  update.hooks.extract_entries = [&](const fs::path& folder, const std::vector<qv::setup::PayloadEntry>& entries) {
    if (++calls == 2) throw std::runtime_error("no second copy");
    return extract(folder, entries);
  };
  EXPECT_EQ(update.Failure(),
            "1 file of the new version did not install correctly (first: qv.exe). The previous version was restored.");
  update.ExpectUntouched();
  const std::string log = update.Log();
  EXPECT_NE(log.find(" the repair failed: no second copy\n"), std::string::npos);
  EXPECT_NE(log.find(" update to 1.1.0 failed its check: 1 file differs (first qv.exe); the old version was restored\n"),
            std::string::npos)
      << log;
}

// The sentence and the log line count the damaged files in the number that goes with them.
TEST(TransactionFailure, TheDamagedFilesAreCountedInTheirNumber) {
  for (const std::size_t count : {1u, 2u, 3u}) {
    qv::test::TempFolder temp{L"qv-damaged-count"};
    qv::setup::TransactionState state;
    state.destination = temp / L"QV";
    fs::create_directories(state.destination / L"data");
    state.journal_path = qv::setup::UpdateJournalPath(state.destination);  // none: nothing to undo
    std::vector<qv::setup::PayloadEntry> damaged(count);
    damaged[0].name = "qv.exe";
    InstallHooks hooks;
    hooks.new_version = "1.1.0";
    EXPECT_EQ(ThrownMessage([&] { qv::setup::FailDamagedUpdate(state, damaged, hooks); }),
              std::to_string(count) + (count == 1 ? " file" : " files") +
                  " of the new version did not install correctly (first: qv.exe). " + kNextStart);
    const std::string log = ReadFileText(state.destination / L"data" / L"qv-update.log");
    EXPECT_NE(log.find(" update to 1.1.0 failed its check: " + std::to_string(count) +
                       (count == 1 ? " file differs" : " files differ") + " (first qv.exe); it could not be undone: "),
              std::string::npos)
        << log;
  }
}

// The repair's fresh copy cannot be moved in. The damaged file it was to
// replace (here one the commit did not touch, so without a backup or a
// journal step) is still there: the repair never deletes before it moves.
TEST(TransactionFailure, RepairThatCannotMoveInKeepsTheDamagedFile) {
  FailingUpdate update;
  update.hooks.corrupt_after_commit = "voice/model.bin";
  update.hooks.extract_entries = [&, extract = update.hooks.extract_entries](
                                     const fs::path& folder, const std::vector<qv::setup::PayloadEntry>& entries) {
    if (folder.filename() == L".qv-update-f") return extract(folder, entries);
    return std::vector<qv::setup::InstalledFile>{};  // claims success, writes nothing
  };
  EXPECT_EQ(update.Failure(), "1 file of the new version did not install correctly (first: voice/model.bin). The "
                              "previous version was restored.");
  EXPECT_EQ(ReadFileText(update.site.install / L"voice" / L"model.bin"), "damaged");
  EXPECT_EQ(ReadFileText(update.site.install / L"qv.exe"), "game executable 1.0.0");
  EXPECT_EQ(TemporaryItemsBeside(update.site.install), std::vector<std::string>{});
  EXPECT_NE(update.Log().find(" the repair failed: "), std::string::npos) << update.Log();
}

// The test switch that damages a file after the commit reaches only files of
// the new version, never the player's.
TEST(TransactionFailure, DamageSwitchNeverReachesThePlayersFiles) {
  for (const char* path : {"data/saves/slot1.sav", "data/qv.ini", "CUSA09901/chunk1.psarc"}) {
    SCOPED_TRACE(path);
    FailingUpdate update;
    WriteFixtureFile(update.site.install / L"data" / L"saves" / L"slot1.sav", "a save");
    update.hooks.corrupt_after_commit = path;
    EXPECT_EQ(update.Failure(), std::string("The file to damage for the test is not a file of the new version: ") +
                                    path + ".");
    update.ExpectUntouched();
    EXPECT_EQ(ReadFileText(update.site.install / L"data" / L"saves" / L"slot1.sav"), "a save");
  }
}

TEST(TransactionFailure, FailedUndoKeepsEverythingForTheNextRecovery) {
  FailingUpdate update;
  update.hooks.corrupt_after_commit = "qv.exe";
  const fs::path staging = update.site.temp / L"games" / L".qv-update-f";
  update.hooks.extract_entries = [&, extract = update.hooks.extract_entries](
                                     const fs::path& folder, const std::vector<qv::setup::PayloadEntry>& entries) {
    if (folder.filename() == L".qv-update-f") return extract(folder, entries);
    fs::create_directories(staging / L"qv.exe" / L"in the way of the undo");
    throw std::runtime_error("no second copy");
  };
  const std::string failure = update.Failure();
  EXPECT_EQ(failure, "1 file of the new version did not install correctly (first: qv.exe). " + kNextStart);
  EXPECT_EQ(TemporaryItemsBeside(update.site.install), (std::vector<std::string>{".qv-update-f", ".qv-update-old-f"}));
  EXPECT_TRUE(qv::setup::ReadUpdateJournal(qv::setup::UpdateJournalPath(update.site.install)));
  EXPECT_NE(update.Log().find("; it could not be undone: could not move qv.exe back: a folder of that name is in the "
                              "staging folder "),
            std::string::npos)
      << update.Log();
  EXPECT_NE(update.Log().find("/.qv-update-f; move that folder elsewhere\n"),
            std::string::npos)
      << update.Log();
}

// Cancels at the `count`-th cancel poll after the status line `after` was sent.
struct CancelPoint {
  const char* after;
  int count;
};

TEST(TransactionFailure, CancelAtAnyStageLeavesTheInstallationIntact) {
  const CancelPoint points[] = {
      {"Verifying the setup file...", 1},    {"Comparing the installed files...", 2},
      {"Preparing native PC runtime...", 1}, {"Preparing native PC runtime...", 3},
      {"Updating the program files...", 1},  {"Updating the program files...", 2},
      {"Checking the installed files...", 1}, {"Checking the installed files...", 4},
  };
  for (const CancelPoint& point : points) {
    SCOPED_TRACE(std::string(point.after) + " " + std::to_string(point.count));
    FailingUpdate update;
    HookRecorder recorder;
    int since = 0;
    recorder.cancel_when = [&](int) {
      const bool seen = std::find(recorder.lines.begin(), recorder.lines.end(), point.after) != recorder.lines.end();
      return seen && ++since >= point.count;
    };
    EXPECT_EQ(update.Failure(), "Installation cancelled.");
    update.ExpectUntouched();
  }
}

TEST(TransactionFailure, CancelDuringAFreshInstallationLeavesNoFolder) {
  for (int count : {1, 3, 6}) {
    SCOPED_TRACE(count);
    InstalledSite site;
    HookRecorder recorder;
    recorder.cancel_when = [&](int poll) { return poll >= count; };
    const fs::path destination = site.temp / L"games" / L"Second";
    InstallOutcome outcome;
    EXPECT_EQ(ThrownMessage([&] {
                RunInstallTransaction(outcome, site.dump, destination, false, site.UpdateHooks("n"), PlentyOfSpace());
              }),
              "Installation cancelled.");
    EXPECT_FALSE(qv::setup::ReadItemStatus(destination));
    EXPECT_EQ(TemporaryItemsBeside(destination), std::vector<std::string>{});
  }
}

// The journal of a finished update cannot be deleted (a read-only file);
// whatever is left, a later recovery never rolls back half of the update.
TEST(TransactionFailure, JournalThatCannotBeDeleted) {
  for (const bool rewrite_fails : {false, true}) {
    SCOPED_TRACE(rewrite_fails);
    InstalledSite site;
    InstallHooks hooks = site.UpdateHooks("j");
    const fs::path journal_path = qv::setup::UpdateJournalPath(site.install);
    hooks.corrupt_after_commit = "voice/model.bin";  // so that the repair's extraction runs after the commit
    hooks.extract_entries = [&, extract = hooks.extract_entries](
                                const fs::path& folder, const std::vector<qv::setup::PayloadEntry>& entries) {
      if (folder.filename() == L".qv-update-fix-j") {
        ::SetFileAttributesW(journal_path.c_str(), FILE_ATTRIBUTE_READONLY);
        if (rewrite_fails) fs::create_directories(journal_path.native() + L".new");
      }
      return extract(folder, entries);
    };
    InstallOutcome outcome;
    RunInstallTransaction(outcome, {}, site.install, false, hooks, PlentyOfSpace());
    ::SetFileAttributesW(journal_path.c_str(), FILE_ATTRIBUTE_NORMAL);
    const std::optional<qv::setup::UpdateJournal> left = qv::setup::ReadUpdateJournal(journal_path);
    ASSERT_TRUE(left);
    if (left->state == qv::setup::kJournalSwapping) {
      // Neither deleted nor rewritten: the folders stay, so the rollback is whole.
      EXPECT_EQ(TemporaryItemsBeside(site.install), (std::vector<std::string>{".qv-update-j", ".qv-update-old-j"}));
      EXPECT_EQ(outcome.warnings, std::vector<std::string>{"The update journal could not be removed, so the next "
                                                           "start of the game or the setup restores the previous "
                                                           "version."});
      EXPECT_TRUE(outcome.notes.empty());
      fs::remove(journal_path.native() + L".new");
      EXPECT_TRUE(qv::setup::RecoverInterruptedUpdate(site.install));
      EXPECT_EQ(ReadFileText(site.install / L"qv.exe"), "game executable 1.0.0");
      EXPECT_EQ(ReadFileText(site.install / L"shaders" / L"old.spv"), "old shader");
      EXPECT_FALSE(qv::setup::ReadItemStatus(site.install / L"shaders" / L"new.spv"));
    } else {
      EXPECT_FALSE(rewrite_fails);
      EXPECT_EQ(left->state, qv::setup::kJournalSwapped);
      EXPECT_TRUE(outcome.notes.empty());
      EXPECT_TRUE(outcome.warnings.empty());
      EXPECT_FALSE(qv::setup::RecoverInterruptedUpdate(site.install));
      EXPECT_EQ(ReadFileText(site.install / L"qv.exe"), "game executable 1.1.0");
      EXPECT_EQ(ReadFileText(site.install / L"shaders" / L"new.spv"), "new shader");
    }
    EXPECT_EQ(TemporaryItemsBeside(site.install), std::vector<std::string>{});
    EXPECT_FALSE(qv::setup::ReadItemStatus(journal_path));
  }
}

}  // namespace
