// The updater worker in this process, with the system's answers it asks for
// (write probe, elevation, the elevated copy, the waits) replaced where a
// test needs another one.

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/installation-guard.h"
#include "engine/journal/update-journal.h"
#include "foundation/hooks.h"
#include "foundation/text/text.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "support/scoped-environment.h"
#include "support/stand-in-game.h"
#include "support/test-server.h"
#include "support/updater-log-lines.h"
#include "update/updater/game-start.h"
#include "update/updater/updater-work.h"
#include "updater-fixtures.h"

namespace {

namespace fs = std::filesystem;
using namespace qv::setup::win_updater;
using qv::test::Contains;
using qv::test::UpdaterLogMessages;

struct UpdaterWork : ::testing::Test {
  void SetUp() override {
    state.arguments.game_folder = game.folder.native();
    state.arguments.language = 3;
    state.arguments.pass_through = {L"-windowed", L"two words"};
    services.relaunch_elevated = [this](const Args& args, int* error) {
      relaunched.push_back(args);
      if (relaunch_error != 0) *error = relaunch_error;
      return relaunch_error == 0;
    };
  }

  // The write probe refuses every folder (as root under Wine every folder is writable).
  void FoldersNotWritable() {
    services.probe_writable = [this](const fs::path& folder, std::string_view suffix, const std::string& label) {
      probes.push_back(folder.native() + L"|" + std::wstring(suffix.begin(), suffix.end()) + L"|" +
                       std::wstring(label.begin(), label.end()));
      throw std::runtime_error("The " + label + " is not writable.");
    };
  }

  // The running game: a stand-in elsewhere that sleeps, named by the
  // updater's "--pid". Ended by the fixture.
  void GameKeepsRunning() {
    const fs::path elsewhere = game.temp / L"running";
    qv::test::PlaceStandInGame(elsewhere);
    qv::test::WriteStandInControl(elsewhere, "sleep 20000\n");
    running = qv::setup::StartGame(elsewhere, {}, false);
    ASSERT_TRUE(running.process.valid());
    state.arguments.game_process_id = ::GetProcessId(running.process.get());
  }
  void TearDown() override {
    if (!running.process) return;
    ::TerminateProcess(running.process.get(), 9);
    ::WaitForSingleObject(running.process.get(), 15000);
  }

  qv::test::OlderGame game;
  qv::setup::GameStart running;
  State state;
  WorkerServices services;
  std::vector<Args> relaunched;
  int relaunch_error = 0;
  std::vector<std::wstring> probes;
  qv::test::UpdateTestMode test_mode;
};

TEST_F(UpdaterWork, TheProductionSettings) {
  const WorkerServices defaults;
  EXPECT_EQ(defaults.game_close_wait, std::chrono::milliseconds(60000));
  EXPECT_EQ(defaults.start_confirmation_seconds, 120);
  EXPECT_EQ(defaults.start_poll_interval, std::chrono::milliseconds(250));
  EXPECT_TRUE(defaults.probe_writable && defaults.is_elevated && defaults.relaunch_elevated && defaults.start_game);
  // Under Wine the foundation's elevation test answers "not elevated".
  EXPECT_FALSE(defaults.is_elevated());
  // The real probe: a writable folder passes and leaves nothing behind.
  const qv::setup::TreeSnapshot before = qv::setup::SnapshotTree(game.temp.path());
  EXPECT_NO_THROW(defaults.probe_writable(game.folder, "updater-1", "game folder"));
  EXPECT_EQ(qv::setup::SnapshotTree(game.temp.path()), before);
  EXPECT_THROW(defaults.probe_writable(game.folder / L"qv.exe", "updater-1", "game folder"), std::runtime_error);
}

TEST_F(UpdaterWork, TheOutcomeWords) {
  EXPECT_EQ(OutcomeWord(kOutcomeUpdated), "PASS updated");
  EXPECT_EQ(OutcomeWord(kOutcomeFailed), "FAIL failed");
  EXPECT_EQ(OutcomeWord(kOutcomeRolledBack), "FAIL rolled-back");
  EXPECT_EQ(OutcomeWord(kOutcomeBroken), "FAIL broken");
  EXPECT_EQ(OutcomeWord(kOutcomeElevated), "PASS elevated");
  EXPECT_EQ(OutcomeWord(kOutcomeUnconfirmed), "PASS unconfirmed");
}

TEST_F(UpdaterWork, TheSummaryLine) {
  qv::setup::GameUpdateResult result;
  result.version = "1.2.0";
  result.outcome.replaced = 3;
  result.outcome.added = 2;
  result.outcome.unchanged = 7;
  result.outcome.removed = 1;
  result.outcome.verified = 12;  // replaced, added and unchanged together
  result.outcome.repaired = 1;
  result.bytes_downloaded = 123456;
  result.requests = 4;
  result.parts = true;
  EXPECT_EQ(UpdateSummaryLine(result),
            "installed 1.2.0: 3 replaced, 2 added, 7 unchanged, 1 removed, 12 checked, 1 fetched again; downloaded "
            "123456 bytes in 4 requests (parts of the package)");
  result.parts = false;
  result.outcome.title_picture_missing = true;
  result.requests = 1;
  EXPECT_EQ(UpdateSummaryLine(result),
            "installed 1.2.0: 3 replaced, 2 added, 7 unchanged, 1 removed, 12 checked, 1 fetched again; downloaded "
            "123456 bytes in 1 request (the whole package), title picture still missing");
}

TEST_F(UpdaterWork, AGameThatDoesNotCloseEndsTheUpdate) {
  ASSERT_NO_FATAL_FAILURE(GameKeepsRunning());
  services.game_close_wait = std::chrono::milliseconds(300);
  FoldersNotWritable();
  const qv::setup::TreeSnapshot before = qv::setup::SnapshotTree(game.folder);

  const Outcome outcome = Work(state, services);
  EXPECT_EQ(outcome.kind, kOutcomeFailed);
  EXPECT_EQ(outcome.detail, "Q.V. is still running.");
  // Never a second copy of the game beside the first.
  EXPECT_FALSE(outcome.start_game);
  EXPECT_EQ(outcome.page, "");
  // Nothing after the wait happened.
  EXPECT_TRUE(probes.empty());
  EXPECT_EQ(UpdaterLogMessages(game.folder), (std::vector<std::string>{"phase 0", "failed: Q.V. is still running."}));
  qv::setup::TreeSnapshot after = qv::setup::SnapshotTree(game.folder);
  std::erase_if(after, [](const auto& item) { return item.first == "data/qv-updater.log"; });
  EXPECT_EQ(after, before);
}

TEST_F(UpdaterWork, AGameThatHasEndedIsNotWaitedFor) {
  const fs::path elsewhere = game.temp / L"ended";
  qv::test::PlaceStandInGame(elsewhere);
  qv::setup::GameStart ended = qv::setup::StartGame(elsewhere, {}, false);
  ASSERT_EQ(::WaitForSingleObject(ended.process.get(), 15000), WAIT_OBJECT_0);
  state.arguments.game_process_id = ::GetProcessId(ended.process.get());
  services.game_close_wait = std::chrono::milliseconds(60000);
  FoldersNotWritable();
  qv::test::ScopedEnvironment no_elevate("QV_UPDATE_TEST_NO_ELEVATE", "1");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Work(state, services).kind, kOutcomeFailed);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_EQ(probes.size(), 1u);
}

// Process ids are 32 bits wide; cut down, a larger "--pid" would name
// whatever process owns its lower half (here a game that does not close).
TEST_F(UpdaterWork, AProcessIdBeyondThirtyTwoBitsIsNone) {
  const fs::path elsewhere = game.temp / L"running";
  qv::test::PlaceStandInGame(elsewhere);
  qv::test::WriteStandInControl(elsewhere, "sleep 20000\n");
  qv::setup::GameStart running = qv::setup::StartGame(elsewhere, {}, false);
  ASSERT_TRUE(running.process.valid());
  state.arguments.game_process_id = (std::uint64_t{1} << 32) | ::GetProcessId(running.process.get());
  services.game_close_wait = std::chrono::milliseconds(10000);
  FoldersNotWritable();
  qv::test::ScopedEnvironment no_elevate("QV_UPDATE_TEST_NO_ELEVATE", "1");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Work(state, services).detail, "the game folder is not writable; elevation would be asked for (test)");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  ::TerminateProcess(running.process.get(), 9);
  ::WaitForSingleObject(running.process.get(), 15000);
}

TEST_F(UpdaterWork, AnInstalledCopyThatCannotBeWrittenAsksForRightsInTestModeItSaysSo) {
  FoldersNotWritable();
  qv::test::ScopedEnvironment no_elevate("QV_UPDATE_TEST_NO_ELEVATE", "1");
  const Outcome outcome = Work(state, services);
  EXPECT_EQ(outcome.kind, kOutcomeFailed);
  EXPECT_EQ(outcome.detail, "the game folder is not writable; elevation would be asked for (test)");
  EXPECT_TRUE(outcome.start_game);
  EXPECT_TRUE(relaunched.empty());
  // The game folder's probe failed: the one above is not asked.
  const std::wstring suffix = L"updater-" + std::to_wstring(::GetCurrentProcessId());
  EXPECT_EQ(probes, std::vector<std::wstring>{game.folder.native() + L"|" + suffix + L"|game folder"});
  EXPECT_EQ(UpdaterLogMessages(game.folder),
            (std::vector<std::string>{"phase 0", "failed: the game folder is not writable; elevation would be asked "
                                                 "for (test)"}));
}

TEST_F(UpdaterWork, TheFolderAboveTheGameIsProbedToo) {
  std::vector<std::wstring> probed;
  services.probe_writable = [&](const fs::path& folder, std::string_view, const std::string& label) {
    probed.push_back(folder.native() + L"|" + std::wstring(label.begin(), label.end()));
    if (label != "game folder") throw std::runtime_error("The " + label + " is not writable.");
  };
  const Outcome outcome = Work(state, services);
  EXPECT_EQ(outcome.kind, kOutcomeElevated);
  EXPECT_EQ(probed, (std::vector<std::wstring>{game.folder.native() + L"|game folder",
                                               game.games.native() + L"|folder above the game"}));
}

TEST_F(UpdaterWork, AnInstalledCopyThatCannotBeWrittenIsHandedToAnElevatedCopy) {
  FoldersNotWritable();
  const Outcome outcome = Work(state, services);
  EXPECT_EQ(outcome.kind, kOutcomeElevated);
  EXPECT_EQ(outcome.detail, "");
  EXPECT_EQ(outcome.page, "");
  EXPECT_FALSE(outcome.start_game);
  ASSERT_EQ(relaunched.size(), 1u);
  EXPECT_EQ(relaunched[0].game_folder, game.folder.native());
  EXPECT_EQ(relaunched[0].language, 3);
  EXPECT_EQ(relaunched[0].pass_through, state.arguments.pass_through);
  EXPECT_EQ(UpdaterLogMessages(game.folder), (std::vector<std::string>{"phase 0", "relaunched elevated"}));
}

TEST_F(UpdaterWork, ARefusedElevation) {
  FoldersNotWritable();
  for (const auto& [error, detail] : std::vector<std::pair<int, std::string>>{
           {1223, "administrator rights were not given"}, {2, "could not ask for administrator rights"}}) {
    relaunch_error = error;
    const Outcome outcome = Work(state, services);
    EXPECT_EQ(outcome.kind, kOutcomeFailed) << error;
    EXPECT_EQ(outcome.detail, detail);
    EXPECT_TRUE(outcome.start_game);
  }
  EXPECT_EQ(relaunched.size(), 2u);
}

TEST_F(UpdaterWork, APortableCopyNeverAsksForRights) {
  fs::remove(game.folder / L"qv-install-manifest.txt");
  FoldersNotWritable();
  const Outcome outcome = Work(state, services);
  EXPECT_TRUE(relaunched.empty());
  EXPECT_EQ(outcome.kind, kOutcomeFailed);
  // The update itself then refuses the folder (no file list names its "qv.exe").
  EXPECT_EQ(outcome.detail.rfind("This folder is neither a Q.V. DU Vora installed by its setup nor a portable copy", 0),
            0u)
      << outcome.detail;
  const std::vector<std::string> log = UpdaterLogMessages(game.folder);
  EXPECT_TRUE(Contains(log, "the portable copy's folder is not writable; no elevation for a portable copy"));
}

// A Cancel pressed while the game was closing ends the run before the
// hand-over: the elevated copy would start with a fresh flag and update.
TEST_F(UpdaterWork, ACancelWhileTheGameClosesIsNotLostToTheHandOver) {
  FoldersNotWritable();
  qv::setup::CancelHook = [] { return true; };
  const Outcome outcome = Work(state, services);
  qv::setup::CancelHook = nullptr;
  EXPECT_TRUE(relaunched.empty());
  EXPECT_EQ(outcome.kind, kOutcomeFailed);
  EXPECT_EQ(outcome.detail, "Installation cancelled.");
  EXPECT_TRUE(outcome.start_game);
}

// Cancel (or the window's close) while the game is still closing ends the
// wait within about a second, without starting the game beside itself.
TEST_F(UpdaterWork, ACancelWhileTheGameRunsEndsTheWaitAtOnce) {
  ASSERT_NO_FATAL_FAILURE(GameKeepsRunning());
  FoldersNotWritable();
  const auto start = std::chrono::steady_clock::now();
  qv::setup::CancelHook = [start] { return std::chrono::steady_clock::now() - start > std::chrono::milliseconds(500); };
  const Outcome outcome = Work(state, services);
  const auto took = std::chrono::steady_clock::now() - start;
  qv::setup::CancelHook = nullptr;
  EXPECT_LT(took, std::chrono::milliseconds(1500));
  EXPECT_EQ(outcome.kind, kOutcomeFailed);
  EXPECT_EQ(outcome.detail, "Installation cancelled.");
  EXPECT_FALSE(outcome.start_game);
  EXPECT_TRUE(probes.empty());
  EXPECT_EQ(UpdaterLogMessages(game.folder), (std::vector<std::string>{"phase 0", "failed: Installation cancelled."}));
  EXPECT_EQ(::WaitForSingleObject(running.process.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

// An interrupted update whose undo cannot finish (a folder stands in the
// staging folder where the new qv.exe must go back) leaves its journal: the
// run ends broken, and the game is not started on a mix of two versions.
TEST_F(UpdaterWork, AnUndoThatCannotFinishEndsBrokenWithoutStartingTheGame) {
  const fs::path staging = game.games / L".qv-update-interrupted";
  const fs::path backup = game.games / L".qv-update-old-interrupted";
  qv::test::WriteTestFile(backup / L"qv.exe", "old exe");
  qv::test::WriteTestFile(game.folder / L"qv.exe", "new exe");
  fs::create_directories(staging / L"qv.exe" / L"inside");
  qv::setup::UpdateJournal journal;
  journal.state = qv::setup::kJournalSwapping;
  journal.install = game.folder;
  journal.staging = staging;
  journal.backup = backup;
  journal.steps = {{'r', "qv.exe"}};
  const fs::path journal_path = qv::setup::UpdateJournalPath(game.folder);
  ASSERT_TRUE(qv::setup::WriteUpdateJournal(journal_path, journal));

  const Outcome outcome = Work(state, services);
  EXPECT_EQ(outcome.kind, kOutcomeBroken);
  EXPECT_EQ(outcome.detail,
            "An earlier update could not be undone (could not move qv.exe back: a folder of that name is in the "
            "staging folder " +
                qv::setup::ToGenericUtf8(staging) +
                "). Move that folder elsewhere, then try again; until then the update's backup folder " +
                qv::setup::ToGenericUtf8(backup) + " is kept.");
  EXPECT_FALSE(outcome.start_game);
  EXPECT_TRUE(fs::exists(journal_path));
  EXPECT_EQ(qv::setup::ReadFileText(backup / L"qv.exe"), "old exe");
  EXPECT_EQ(qv::setup::ReadFileText(game.folder / L"qv.exe"), "new exe");
}

// Another run holds the installation: this one ends as a plain failure, and
// leaves the game to the run that owns the update.
TEST_F(UpdaterWork, AnotherRunOfTheInstallationEndsThisOne) {
  const std::optional<qv::setup::InstallationGuard> other =
      qv::setup::TryGuardInstallation(game.folder, "{another run}");
  ASSERT_TRUE(other);
  const qv::setup::TreeSnapshot before = qv::setup::SnapshotTree(game.games);
  const Outcome outcome = Work(state, services);
  EXPECT_EQ(outcome.kind, kOutcomeFailed);
  EXPECT_EQ(outcome.detail, "Another update of this install is running.");
  EXPECT_FALSE(outcome.start_game);
  EXPECT_EQ(UpdaterLogMessages(game.folder),
            (std::vector<std::string>{"phase 0", "failed: Another update of this install is running."}));
  qv::setup::TreeSnapshot after = qv::setup::SnapshotTree(game.games);
  std::erase_if(after, [](const auto& item) { return item.first.ends_with("qv-updater.log"); });
  EXPECT_EQ(after, before);
}

TEST_F(UpdaterWork, AnElevatedCopyThatStillCannotWriteGoesOn) {
  ASSERT_NE(qv::test::RunningTestServer(), nullptr);
  ASSERT_TRUE(qv::test::TrustTestRoot());
  const std::string document = qv::test::ServeRelease("work-same", L"update", "0.0.9");
  qv::test::ScopedEnvironment address("QV_UPDATE_MANIFEST_URL", document);
  state.arguments.elevated = true;
  FoldersNotWritable();
  const Outcome outcome = Work(state, services);
  EXPECT_TRUE(relaunched.empty());
  EXPECT_EQ(outcome.kind, kOutcomeFailed);
  EXPECT_EQ(outcome.detail, "Version 0.0.9 is already the newest.");
  EXPECT_EQ(outcome.page, qv::test::ReleasePage("0.0.9"));
  EXPECT_TRUE(outcome.start_game);
  EXPECT_EQ(UpdaterLogMessages(game.folder),
            (std::vector<std::string>{"phase 0", "phase 1", "failed: Version 0.0.9 is already the newest."}));
}

}  // namespace
