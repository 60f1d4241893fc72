// The updater role in this process, headless, against the update test
// releases: what the worker does once the new version is in place, with the
// system's answers replaced where the test needs another one; and, windowed,
// where the run's progress goes.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/journal/update-journal.h"
#include "foundation/hooks.h"
#include "foundation/text/text.h"
#include "selftest/fixtures/fixture-files.h"
#include "selftest/fixtures/tree-snapshot.h"
#include "support/scoped-environment.h"
#include "support/stand-in-game.h"
#include "support/test-releases.h"
#include "support/test-server.h"
#include "support/updater-log-lines.h"
#include "update/updater/game-start.h"
#include "update/updater/updater-run.h"
#include "updater-fixtures.h"

namespace {

namespace fs = std::filesystem;
using namespace qv::setup;
using namespace qv::setup::win_updater;
using qv::test::ScopedEnvironment;

struct UpdaterRun : ::testing::Test {
  void SetUp() override {
    ASSERT_NE(qv::test::RunningTestServer(), nullptr);
    ASSERT_TRUE(qv::test::TrustTestRoot());
    args.game_folder = game.folder.native();
    args.pass_through = {L"-windowed"};
    services.start_confirmation_seconds = 3;
  }

  int RunUpdater(const std::string& name) {
    const std::string document = qv::test::ServeRelease(name, L"update", qv::test::kUpdateVersion);
    ScopedEnvironment address("QV_UPDATE_MANIFEST_URL", document);
    return qv::setup::win_updater::Run(args, services);
  }

  qv::test::OlderGame game;
  Args args;
  WorkerServices services;
  fs::path result = game.temp / L"result.txt";
  qv::test::UpdateTestMode test_mode;
  ScopedEnvironment key{"QV_UPDATE_TEST_PUBLIC_KEY", qv::test::TestReleasePublicKeyHex()};
  ScopedEnvironment result_file{"QV_UPDATE_TEST_RESULT", WideToUtf8(result.native())};
};

TEST_F(UpdaterRun, AnElevatedHandOverIsReportedAsSuch) {
  services.probe_writable = [](const fs::path&, std::string_view, const std::string& label) {
    throw std::runtime_error("The " + label + " is not writable.");
  };
  services.relaunch_elevated = [](const Args&, int*) { return true; };
  EXPECT_EQ(RunUpdater("handed-over"), 0);
  EXPECT_EQ(ReadFileText(result), "PASS elevated \npage \ndetail \n");
  EXPECT_FALSE(qv::test::TestServerWasAskedFor("/files/handed-over.json"));
}

TEST_F(UpdaterRun, AResultPathThatMayNotBeWrittenStopsEverything) {
  fs::create_directories(result);
  const TreeSnapshot before = SnapshotTree(game.games);
  EXPECT_EQ(RunUpdater("refused-result"), 1);
  EXPECT_TRUE(fs::is_empty(result));
  EXPECT_EQ(SnapshotTree(game.games), before);
  EXPECT_FALSE(qv::test::TestServerWasAskedFor("/files/refused-result.json"));
}

// Logs and the stand-in's records are what a run leaves by design.
bool IsRunRecord(const std::string& key) {
  return key.ends_with("/data/qv-updater.log") || key.ends_with("/data/qv-update.log") ||
         key.ends_with("/data/qv-stand-in-runs.txt");
}

// The elevated updater starts the game through the desktop shell, which gives
// no process handle: only the journal can tell that the new version started.
TEST_F(UpdaterRun, AStartWithoutAHandleWaitsForTheJournalAlone) {
  for (const bool confirms : {true, false}) {
    SCOPED_TRACE(confirms ? "confirmed" : "silent");
    qv::test::OlderGame older;
    args.game_folder = older.folder.native();
    services.start_game = [confirms](const fs::path& folder, const std::vector<std::wstring>& arguments, bool) {
      qv::test::WriteStandInControl(folder, confirms ? "confirm\n" : "");
      GameStart started = StartGame(folder, arguments, false);
      return GameStart{started.started, UniqueHandle()};
    };
    EXPECT_EQ(RunUpdater(confirms ? "no-handle-confirmed" : "no-handle-silent"), confirms ? 0 : 1);
    EXPECT_EQ(ReadFileText(result), std::string(confirms ? "PASS updated " : "PASS unconfirmed ") +
                                        qv::test::kUpdateVersion + "\npage " +
                                        qv::test::ReleasePage(qv::test::kUpdateVersion) + "\ndetail \n");
    EXPECT_EQ(ReadFileText(older.folder / L"shaders" / L"b.spv"), "new b");
    EXPECT_EQ(qv::test::WaitForStandInGameRuns(older.folder, 1).size(), 1u);
    // Unconfirmed, the backup stays for the game's next start to settle.
    EXPECT_EQ(fs::exists(UpdateJournalPath(older.folder)), !confirms);
    EXPECT_TRUE(qv::test::Contains(qv::test::UpdaterLogMessages(older.folder),
                                   confirms ? "the new version started; backup removed"
                                            : "the new version's start was not confirmed; the backup stays until it "
                                              "starts"));
  }
}

TEST_F(UpdaterRun, ANewVersionThatCannotBeStartedIsRolledBack) {
  const TreeSnapshot before = SnapshotTree(game.games, IsRunRecord);
  services.start_game = [](const fs::path&, const std::vector<std::wstring>&, bool) { return GameStart{}; };
  EXPECT_EQ(RunUpdater("not-started"), 1);
  EXPECT_EQ(ReadFileText(result), std::string("FAIL rolled-back ") + qv::test::kUpdateVersion + "\npage " +
                                      qv::test::ReleasePage(qv::test::kUpdateVersion) +
                                      "\ndetail the new version could not be started\n");
  EXPECT_EQ(SnapshotTree(game.games, IsRunRecord), before);
  EXPECT_TRUE(qv::test::Contains(qv::test::UpdaterLogMessages(game.folder),
                                 "rolled back: the new version could not be started"));
}

// With the game's process to watch, a new version that ends with exit code 0
// or still runs when the wait runs out counts as started, although it never
// wrote the journal (a game that plays or quit normally is not broken).
TEST_F(UpdaterRun, AWatchedStartThatEndsWellOrKeepsRunningIsConfirmed) {
  for (const char* control : {"exit 0\n", "sleep 15000\n"}) {
    SCOPED_TRACE(control);
    qv::test::OlderGame older;
    args.game_folder = older.folder.native();
    qv::test::WriteStandInControl(older.folder, control);
    EXPECT_EQ(RunUpdater(std::string("watched-") + control[0]), 0);
    EXPECT_EQ(ReadFileText(result), std::string("PASS updated ") + qv::test::kUpdateVersion + "\npage " +
                                        qv::test::ReleasePage(qv::test::kUpdateVersion) + "\ndetail \n");
    EXPECT_FALSE(fs::exists(UpdateJournalPath(older.folder)));
    for (const auto& run : qv::test::WaitForStandInGameRuns(older.folder, 1)) qv::test::EndStandInGame(run);
  }
}

// With its window, the run's progress hook posts thousandths to it, each
// value once, and never lets a large byte count wrap into a small value.
TEST(UpdaterRunWindowed, TheProgressHookPostsThousandthsToTheWindow) {
  qv::test::OlderGame older;
  Args args;
  args.game_folder = older.folder.native();
  WorkerServices services;
  bool had_window = false;
  std::vector<int> posted;
  services.probe_writable = [&](const fs::path&, std::string_view, const std::string& label) {
    State* state = CurrentState();
    had_window = state != nullptr && state->window != nullptr;
    const std::pair<std::uint64_t, std::uint64_t> calls[] = {{1, 3}, {1ull << 62, 1ull << 63}, {5, 0}};
    for (const auto& [done, total] : calls) {
      ProgressHook(done, total);
      if (state != nullptr) posted.push_back(state->last_permille);
    }
    throw std::runtime_error("The " + label + " is not writable.");
  };
  services.relaunch_elevated = [](const Args&, int*) { return true; };
  services.start_game = [](const fs::path&, const std::vector<std::wstring>&, bool) { return GameStart{}; };
  EXPECT_EQ(qv::setup::win_updater::Run(args, services), 0);
  EXPECT_TRUE(had_window);
  EXPECT_EQ(posted, (std::vector<int>{333, 500, 500}));
}

}  // namespace
