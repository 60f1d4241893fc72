// "--game-update" through the built program, interrupted: killed while the
// commit pauses at each of its steps, killed while it waits for the new
// version's confirmation, and a rollback that a file held open stops. The
// next start settles what the last one left.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/update-journal.h"
#include "foundation/text.h"
#include "foundation/unique-handle.h"
#include "selftest/fixture-files.h"
#include "support/test-releases.h"
#include "updater-program-fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace qv::test;
using qv::setup::ReadFileText;
using qv::setup::TreeSnapshot;

// The result of a start that found the installed version as new as the
// release (after whatever it recovered first).
std::string NotNewerResult(const std::string& version) {
  return "FAIL failed \npage " + ReleasePage(version) + "\ndetail Version " + version + " is already the newest.\n";
}

// Waits until `ready` holds or the child ends; true when `ready` held.
template <typename Ready>
bool WaitUntil(const StartedChild& child, Ready ready) {
  const auto until = std::chrono::steady_clock::now() + kUpdaterTimeout;
  while (std::chrono::steady_clock::now() < until) {
    if (ready()) return true;
    if (child.WaitFor(std::chrono::milliseconds(100))) return ready();
  }
  return false;
}

// Killed while the commit pauses at a step, the next start (the release not
// newer) restores the old tree byte for byte; then the next step. Once no
// step is left to pause at, the run updates.
TEST_F(UpdaterProgram, KilledAtEachCommitStepTheNextStartRestoresTheTree) {
  WriteStandInControl(game.folder, "confirm\n");
  const TreeSnapshot before = Snapshot(game.games);
  const std::string newer = ServeRelease("paused", L"update", kUpdateVersion);
  const std::string same = ServeRelease("paused-same", L"update", "0.0.9");
  const fs::path marker = qv::setup::UpdateJournalPath(game.folder).native() + L".paused";
  int step = 0;
  for (;; ++step) {
    SCOPED_TRACE("step " + std::to_string(step));
    ASSERT_LT(step, 40);
    StartedChild child = Start(game.folder, newer, {"QV_UPDATE_TEST_PAUSE_AT=" + std::to_string(step)});
    // The marker is written once the pause begins (its step inside).
    if (!WaitUntil(child, [&] { return !ReadFileText(marker).empty(); })) {
      // No such step: the update ran through.
      EXPECT_EQ(child.Result().exit_code, 0u);
      EXPECT_EQ(ReadFileText(result), PassedResult());
      break;
    }
    EXPECT_EQ(ReadFileText(marker), std::to_string(step) + "\n");
    child.Terminate();
    fs::remove(marker);
    EXPECT_TRUE(fs::exists(qv::setup::UpdateJournalPath(game.folder)));

    EXPECT_EQ(Run(game.folder, same), NotNewerResult("0.0.9")) << run.output;
    EXPECT_EQ(Snapshot(game.games), before);
    ExpectNoTemporaryFolders(game);
    EXPECT_TRUE(ReadStandInGameRuns(game.folder).empty());
  }
  // Every file the release changes and every leftover it removes is a step.
  EXPECT_GE(step, 8);
  ExpectReleaseFilesInPlace(game.folder);
  ExpectPlayerFilesUntouched(game.folder);
  ExpectNoTemporaryFolders(game);
  GameRuns(game.folder, 1);
}

// A crash in the middle of the commit leaves the new "qv.exe" beside old
// files. The player starts it before any updater runs again: the game must
// not confirm that journal, or the next start would keep the mix and delete
// the backup. The next start restores the old tree byte for byte.
TEST_F(UpdaterProgram, AGameStartedAfterACrashInTheCommitLeavesItsUndoToTheNextStart) {
  WriteStandInControl(game.folder, "confirm\n");
  const TreeSnapshot before = Snapshot(game.games);
  const std::string newer = ServeRelease("crashed", L"update", kUpdateVersion);
  const fs::path journal_path = qv::setup::UpdateJournalPath(game.folder);
  const fs::path marker = journal_path.native() + L".paused";
  const auto killed_at = [&](int step) {
    StartedChild child = Start(game.folder, newer, {"QV_UPDATE_TEST_PAUSE_AT=" + std::to_string(step)});
    const bool paused = WaitUntil(child, [&] { return !ReadFileText(marker).empty(); });
    child.Terminate();
    fs::remove(marker);
    return paused;
  };
  // Where "qv.exe" lies in the plan: the first pause comes before any move.
  ASSERT_TRUE(killed_at(0));
  const std::optional<qv::setup::UpdateJournal> planned = qv::setup::ReadUpdateJournal(journal_path);
  ASSERT_TRUE(planned.has_value());
  const auto game_step = std::find_if(planned->steps.begin(), planned->steps.end(),
                                      [](const qv::setup::JournalStep& step) { return step.path == "qv.exe"; });
  ASSERT_NE(game_step, planned->steps.end());
  // The next start undoes the first crash, then stops just after the new
  // "qv.exe" took its place.
  ASSERT_TRUE(killed_at(static_cast<int>(game_step - planned->steps.begin()) + 1));
  ASSERT_EQ(qv::setup::ReadUpdateJournal(journal_path)->state, qv::setup::kJournalSwapping);
  ASSERT_EQ(ReadFileText(game.folder / L"qv.exe"), ReadFileText(StandInGamePath()));

  const ChildRun played = RunProgram(game.folder / L"qv.exe", {});
  EXPECT_EQ(played.exit_code, 0u);
  ASSERT_EQ(GameRuns(game.folder, 1).size(), 1u);
  const std::optional<qv::setup::UpdateJournal> after_game = qv::setup::ReadUpdateJournal(journal_path);
  ASSERT_TRUE(after_game.has_value());
  EXPECT_EQ(after_game->state, qv::setup::kJournalSwapping);

  EXPECT_EQ(Run(game.folder, ServeRelease("crashed-same", L"update", "0.0.9")), NotNewerResult("0.0.9")) << run.output;
  EXPECT_EQ(Snapshot(game.games), before);
  ExpectNoTemporaryFolders(game);
}

// Killed while the new version has started but not yet confirmed: the files
// are all in place, and the next start keeps them.
TEST_F(UpdaterProgram, KilledWhileAwaitingTheConfirmationTheNextStartKeepsTheNewVersion) {
  WriteStandInControl(game.folder, "sleep 30000\n");
  StartedChild child = Start(game.folder, ServeRelease("unconfirmed", L"update", kUpdateVersion));
  ASSERT_EQ(WaitForStandInGameRuns(game.folder, 1, std::chrono::seconds(60)).size(), 1u);
  child.Terminate();
  GameRuns(game.folder, 1);

  EXPECT_EQ(Run(game.folder, ServeRelease("unconfirmed-same", L"update", kUpdateVersion)),
            NotNewerResult(kUpdateVersion))
      << run.output;
  ExpectReleaseFilesInPlace(game.folder);
  ExpectPlayerFilesUntouched(game.folder);
  ExpectNoTemporaryFolders(game);
}

// A rollback stopped by a file held open leaves the journal: "FAIL broken",
// and the game is not started on a tree in between. Released, the next start
// restores the old tree exactly, never a mix of versions.
TEST_F(UpdaterProgram, ARollbackStoppedByAFileInUseIsFinishedByTheNextStart) {
  WriteStandInControl(game.folder, "sleep 2000\nexit 3\n");
  const TreeSnapshot before = Snapshot(game.games);
  StartedChild child = Start(game.folder, ServeRelease("held", L"update", kUpdateVersion));
  ASSERT_EQ(WaitForStandInGameRuns(game.folder, 1, std::chrono::seconds(60)).size(), 1u);
  // As another program would: open without letting the file be moved.
  const fs::path held = game.folder / L"shaders" / L"a.spv";
  qv::setup::UniqueFile handle(::CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(handle.valid()) << ::GetLastError();
  ASSERT_TRUE(child.WaitFor(kUpdaterTimeout));
  EXPECT_EQ(child.Result().exit_code, 1u);
  const std::string text = ReadFileText(result);
  EXPECT_TRUE(StartsWith(text, FailedResultStart("FAIL broken", kUpdateVersion) +
                                   "the new version stopped at its start (exit code 3); "))
      << text;
  EXPECT_TRUE(fs::exists(qv::setup::UpdateJournalPath(game.folder)));
  EXPECT_EQ(ReadStandInGameRuns(game.folder).size(), 1u);
  handle.reset();

  EXPECT_EQ(Run(game.folder, ServeRelease("held-same", L"update", "0.0.9")), NotNewerResult("0.0.9")) << run.output;
  EXPECT_EQ(Snapshot(game.games), before);
  ExpectNoTemporaryFolders(game);
}

}  // namespace
