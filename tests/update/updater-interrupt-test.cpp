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

#include "engine/journal/update-journal.h"
#include "foundation/text/text.h"
#include "foundation/win/unique-handle.h"
#include "selftest/fixtures/fixture-files.h"
#include "support/child-mode.h"
#include "support/planted-update.h"
#include "support/test-paths.h"
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

struct InterruptedUpdate : UpdaterProgram {
  // Starts an update to the release `name` and kills it while its commit
  // pauses at `step`: the installation and its journal stay as a crash
  // there leaves them.
  void KillAtCommitStep(const std::string& name, int step) {
    const fs::path marker = qv::setup::UpdateJournalPath(game.folder).native() + L".paused";
    StartedChild killed = Start(game.folder, ServeRelease(name, L"update", kUpdateVersion),
                                {"QV_UPDATE_TEST_PAUSE_AT=" + std::to_string(step)});
    ASSERT_TRUE(WaitUntil(killed, [&] { return !ReadFileText(marker).empty(); }));
    killed.Terminate();
    fs::remove(marker);
  }

  // Starts an update to the release `name` and kills it once the new version
  // has started and not yet confirmed its start (which it never does); the
  // new version is ended too.
  void KillWhileTheNewVersionStarts(const std::string& name) {
    WriteStandInControl(game.folder, "sleep 30000\n");
    StartedChild killed = Start(game.folder, ServeRelease(name, L"update", kUpdateVersion));
    ASSERT_EQ(WaitForStandInGameRuns(game.folder, 1, std::chrono::seconds(60)).size(), 1u);
    killed.Terminate();
    GameRuns(game.folder, 1);
  }
};

// Killed while the new version has started but not yet confirmed: the files
// are all in place, and the next start keeps them.
TEST_F(InterruptedUpdate, KilledWhileAwaitingTheConfirmationTheNextStartKeepsTheNewVersion) {
  ASSERT_NO_FATAL_FAILURE(KillWhileTheNewVersionStarts("unconfirmed"));

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

// Journals that no run used to finish (damaged, named under another drive,
// a removed file put back by hand): the next start recovers, every file is
// as it was before that update, nothing is left beside the folder, the
// update log says what happened, and the run goes on to its release check.
TEST_F(UpdaterProgram, AStuckJournalIsFinishedAndEveryFileComesBack) {
  const std::string same = ServeRelease("stuck-same", L"update", "0.0.9");
  for (const qv::test::StuckJournal kind : qv::test::kStuckJournals) {
    SCOPED_TRACE(qv::test::StuckJournalName(kind));
    const TreeSnapshot before = Snapshot(game.games);
    qv::test::PlantStuckJournal(game.folder, kind);
    EXPECT_EQ(Run(game.folder, same), NotNewerResult("0.0.9")) << run.output;
    EXPECT_EQ(Snapshot(game.games), before);
    ExpectNoTemporaryFolders(game);
    const std::string log = ReadFileText(game.folder / L"data" / L"qv-update.log");
    EXPECT_NE(log.find(qv::test::StuckJournalLogLine(kind)), std::string::npos) << log;
  }
}

// A second updater started while the first waits for the new version to
// confirm its start leaves the first run's journal and backup alone: it ends
// at once as a plain failure, and the first run, whose new version then
// stops at its start, still puts the old tree back byte for byte.
TEST_F(UpdaterProgram, ASecondUpdaterLeavesTheFirstRunsUpdateAlone) {
  WriteStandInControl(game.folder, "sleep 8000\nexit 3\n");
  const TreeSnapshot before = Snapshot(game.games);
  const std::string newer = ServeRelease("two-runs", L"update", kUpdateVersion);
  StartedChild first = Start(game.folder, newer);
  ASSERT_EQ(WaitForStandInGameRuns(game.folder, 1, std::chrono::seconds(60)).size(), 1u);

  const fs::path second_result = game.temp / L"second-result.txt";
  const ChildRun second =
      RunProgram(qv::test::SetupProgramPath(), Arguments(game.folder),
                 UpdaterEnvironment(newer, {"QV_UPDATE_TEST_RESULT=" + qv::setup::WideToUtf8(second_result.native())}),
                 kUpdaterTimeout);
  EXPECT_EQ(second.exit_code, 1u) << second.output;
  EXPECT_EQ(ReadFileText(second_result), "FAIL failed \npage \ndetail Another update of this install is running.\n");

  ASSERT_TRUE(first.WaitFor(kUpdaterTimeout));
  EXPECT_EQ(first.Result().exit_code, 1u);
  const std::string text = ReadFileText(result);
  EXPECT_TRUE(StartsWith(text, FailedResultStart("FAIL rolled-back", kUpdateVersion))) << text;
  EXPECT_EQ(Snapshot(game.games), before);
  ExpectNoTemporaryFolders(game);
}

QV_CHILD_MODE(writer_id_holder) {
  ::Sleep(120000);
  return 0;
}

// Process ids come back: after a crash (or a reboot) another process may run
// under the id that the journal names, whenever it started. A run that holds
// the installation knows the journal's writer has ended, and recovers.
TEST_F(InterruptedUpdate, AProcessThatOnlyReusesTheWritersIdDoesNotBlockRecovery) {
  WriteStandInControl(game.folder, "confirm\n");
  const TreeSnapshot before = Snapshot(game.games);
  const fs::path journal_path = qv::setup::UpdateJournalPath(game.folder);
  ASSERT_NO_FATAL_FAILURE(KillAtCommitStep("reused-id", 5));

  // The journal now names a live process started after the crash, and was
  // written while that process ran.
  StartedChild holder = StartChildProcess("writer_id_holder", {});
  ASSERT_TRUE(holder.started());
  std::optional<qv::setup::UpdateJournal> journal = qv::setup::ReadUpdateJournal(journal_path);
  ASSERT_TRUE(journal);
  journal->pid = holder.process_id();
  ASSERT_TRUE(qv::setup::WriteUpdateJournal(journal_path, *journal));

  EXPECT_EQ(Run(game.folder, ServeRelease("reused-id-same", L"update", "0.0.9")), NotNewerResult("0.0.9"))
      << run.output;
  EXPECT_EQ(Snapshot(game.games), before);
  ExpectNoTemporaryFolders(game);
}

// Killed while the new version starts; another process takes the updater's
// id; then the new version confirms its start and rewrites the journal, which
// is now younger than that process. The next start still finishes the update
// (the new version stays, the backup goes) instead of taking the unrelated
// process for the journal's writer.
TEST_F(InterruptedUpdate, AConfirmationAfterTheUpdatersIdWasTakenDoesNotBlockTheNextStart) {
  ASSERT_NO_FATAL_FAILURE(KillWhileTheNewVersionStarts("id-taken"));

  const fs::path journal_path = qv::setup::UpdateJournalPath(game.folder);
  StartedChild holder = StartChildProcess("writer_id_holder", {});
  ASSERT_TRUE(holder.started());
  std::optional<qv::setup::UpdateJournal> journal = qv::setup::ReadUpdateJournal(journal_path);
  ASSERT_TRUE(journal);
  EXPECT_EQ(journal->state, qv::setup::kJournalSwapped);
  journal->pid = holder.process_id();
  ASSERT_TRUE(qv::setup::WriteUpdateJournal(journal_path, *journal));
  // The new version's confirmation, written after the holder started.
  ::Sleep(50);
  journal->state = qv::setup::kJournalStarted;
  ASSERT_TRUE(qv::setup::WriteUpdateJournal(journal_path, *journal));

  EXPECT_EQ(Run(game.folder, ServeRelease("id-taken-same", L"update", kUpdateVersion)),
            NotNewerResult(kUpdateVersion))
      << run.output;
  ExpectReleaseFilesInPlace(game.folder);
  ExpectPlayerFilesUntouched(game.folder);
  ExpectNoTemporaryFolders(game);
}

// The rollback after a crash finds a file in the staging folder under the
// name of an added file that is already in place: the staging folder is the
// update's own, so the added file goes back there all the same, and the old
// tree returns exactly rather than with a file of the new version in it.
TEST_F(InterruptedUpdate, AnAddedFileGoesBackThoughStagingHoldsItsName) {
  WriteStandInControl(game.folder, "confirm\n");
  const TreeSnapshot before = Snapshot(game.games);
  const fs::path journal_path = qv::setup::UpdateJournalPath(game.folder);
  ASSERT_NO_FATAL_FAILURE(KillAtCommitStep("staged-name", 0));

  // As if the commit had moved every added file in, with a copy of each left
  // in the staging folder.
  const std::optional<qv::setup::UpdateJournal> journal = qv::setup::ReadUpdateJournal(journal_path);
  ASSERT_TRUE(journal);
  std::size_t added = 0;
  for (const qv::setup::JournalStep& step : journal->steps) {
    if (step.kind != 'a') continue;
    const fs::path relative = qv::setup::PathFromUtf8(step.path);
    fs::create_directories((journal->install / relative).parent_path());
    fs::copy_file(journal->staging / relative, journal->install / relative);
    ++added;
  }
  ASSERT_GT(added, 0u);

  EXPECT_EQ(Run(game.folder, ServeRelease("staged-name-same", L"update", "0.0.9")), NotNewerResult("0.0.9"))
      << run.output;
  EXPECT_EQ(Snapshot(game.games), before);
  ExpectNoTemporaryFolders(game);
}

// What killed runs leave beside the game before their journal exists (a
// staging folder, a partial setup file in a download folder) goes with the
// next run; nothing else beside the game does.
TEST_F(UpdaterProgram, LeftoversOfKilledRunsGoWithTheNextRun) {
  const std::wstring run_a = L"{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}";
  const std::wstring run_b = L"{11111111-2222-3333-4444-555555555555}";
  const fs::path leftovers[] = {game.games / (L".qv-update-" + run_a), game.games / (L".qv-update-dl-" + run_a),
                                game.games / (L".qv-update-dl-" + run_b)};
  for (const fs::path& folder : leftovers) {
    qv::setup::WriteFixtureFile(folder / L"Q.V.PC.Rure.Setup-2.0.0.exe", std::string(64 * 1024, 'p'));
  }
  const fs::path kept[] = {game.games / (L".qv-update-old-" + run_a), game.games / L".qv-update-mine",
                           game.games / L"Other Game"};
  for (const fs::path& folder : kept) qv::setup::WriteFixtureFile(folder / L"file", "kept");

  EXPECT_EQ(Run(game.folder, ServeRelease("leftovers-same", L"update", "0.0.9")), NotNewerResult("0.0.9"))
      << run.output;
  for (const fs::path& folder : leftovers) EXPECT_FALSE(fs::exists(folder)) << folder.string();
  for (const fs::path& folder : kept) EXPECT_EQ(ReadFileText(folder / L"file"), "kept") << folder.string();
}

}  // namespace
