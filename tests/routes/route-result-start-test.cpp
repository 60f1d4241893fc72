// The result file a route leaves for the game belongs to one run: a run that
// is killed part-way must not leave the game an earlier run's outcome to read
// as its own. Every entry point deletes the result before it does anything.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "dlss5-fixtures.h"
#include "fg-route-fixtures.h"
#include "routes/dlss5/dlss5-route-role.h"
#include "routes/fg/fg-route.h"
#include "routes/route-queue-run.h"
#include "routes/route-queue-text.h"
#include "selftest/fixtures/fixture-files.h"
#include "support/temp-folder.h"
#include "update/updater/route-work-folders.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::RouteAction;
using qv::setup::RouteProgress;
using qv::setup::UpdaterText;
using qv::test::Dlss5Game;
using qv::test::WriteTestFile;
namespace route_queue_win = qv::setup::route_queue_win;

constexpr const char* kEarlierResult = "kind install\nexit 0\ndetail from an earlier run\n";

qv::setup::FgRouteState FgState(const Dlss5Game& game, RouteAction action) {
  qv::setup::FgRouteState state;
  state.remove = action == RouteAction::kRemove;
  state.reinstall = action == RouteAction::kReinstall;
  state.game_folder = game.game();
  state.work_folder = qv::setup::DefaultFgWorkFolder(game.game());
  return state;
}

// The queue's own waits, shortened, with the routes' real result handling
// and operations that do nothing: only what happens before them is looked at.
qv::setup::RouteQueueServices QueueOfIdleOperations() {
  qv::setup::RouteQueueServices services = qv::setup::DefaultRouteQueueServices();
  services.game_wait = std::chrono::milliseconds(200);
  services.failure_pause = std::chrono::milliseconds(10);
  for (qv::setup::RouteQueueOperation* operation : {&services.frame_generation, &services.dlss5}) {
    operation->run = [](const route_queue_win::Args&, RouteAction, const RouteProgress&) { return 0; };
  }
  return services;
}

TEST(RouteResultStart, AnEarlierRunsResultIsGoneBeforeTheRunShowsAnything) {
  struct Case {
    const char* name;
    std::function<void(const Dlss5Game& game, const RouteProgress& progress)> run;
    std::vector<std::string> kept;  // the other route's result, not this run's to take
  };
  const std::vector<Case> cases = {
      {"dlss5 route",
       [](const Dlss5Game& game, const RouteProgress& progress) {
         qv::test::Dlss5Recorder recorder;
         qv::setup::win_route::State state = game.State(RouteAction::kRemove);
         qv::setup::win_route::RouteWork(state, progress, recorder.Settings());
       },
       {"fg-route-result.txt"}},
      {"fg route",
       [](const Dlss5Game& game, const RouteProgress& progress) {
         qv::setup::RunFgRouteStep(FgState(game, RouteAction::kRemove), true, progress, qv::test::QuickServices());
       },
       {"route-result.txt"}},
      {"route queue",
       [](const Dlss5Game& game, const RouteProgress& progress) {
         route_queue_win::Args args;
         args.game_folder = game.game();
         args.dlss5_work_folder = game.work();
         args.fg_work_folder = qv::setup::DefaultFgWorkFolder(game.game());
         ASSERT_TRUE(qv::setup::ParseRouteQueue("fg:remove,nr:install", args.operations));
         args.valid = true;
         qv::setup::RunRouteQueueItems(args, progress, QueueOfIdleOperations());
       },
       {}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    Dlss5Game game;
    const std::vector<fs::path> results = {game.work() / L"route-result.txt",
                                           qv::setup::DefaultFgWorkFolder(game.game()) / L"fg-route-result.txt"};
    for (const fs::path& result : results) WriteTestFile(result, kEarlierResult);

    // The result files that stood in the work folders when the run showed its first status.
    std::vector<std::string> seen;
    bool first = true;
    test.run(game, [&](UpdaterText) {
      if (!first) return;
      first = false;
      for (const fs::path& result : results) {
        if (qv::setup::ReadFileText(result) == kEarlierResult) seen.push_back(result.filename().string());
      }
    });
    EXPECT_FALSE(first) << "no status was shown";
    EXPECT_EQ(seen, test.kept);
  }
}

}  // namespace
