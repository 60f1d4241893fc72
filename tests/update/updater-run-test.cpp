// The updater role in this process, headless, against the update test
// releases: what the worker does once the new version is in place, with the
// system's answers replaced where the test needs another one.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/update-journal.h"
#include "selftest/fixture-files.h"
#include "selftest/tree-snapshot.h"
#include "support/scoped-environment.h"
#include "support/stand-in-game.h"
#include "support/test-releases.h"
#include "support/test-server.h"
#include "support/updater-log-lines.h"
#include "foundation/text.h"
#include "update/updater-run.h"
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

}  // namespace
