// What every route role keeps to, whatever its operation: it never starts the
// game while the game still runs, and it changes the installation's files
// only while it holds the installation's guard, refusing with the other runs'
// sentence while another run holds it.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dlss5-fixtures.h"
#include "engine/installation-guard.h"
#include "fg-route-fixtures.h"
#include "route-fixtures.h"
#include "routes/dlss5/dlss5-route-role.h"
#include "routes/fg/fg-route-role.h"
#include "routes/route-queue-role.h"
#include "routes/route-queue-text.h"
#include "selftest/fixtures/fixture-files.h"
#include "update/updater/route-work-folders.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::GameStart;
using qv::setup::RouteWindowHooks;
using qv::test::Dlss5Game;
using qv::test::RunningGame;
using qv::test::UpdaterLogMessages;
namespace route_queue_win = qv::setup::route_queue_win;

constexpr std::chrono::milliseconds kShortWait{300};

// The game's starts, and whether the installation's guard was held then.
struct Starts {
  fs::path game_folder;
  int count = 0;
  bool guard_held = false;

  RouteWindowHooks Hooks() {
    RouteWindowHooks hooks;
    hooks.start_game = [this](const fs::path&, const std::vector<std::wstring>&) {
      ++count;
      guard_held = !qv::setup::TryGuardInstallation(game_folder, "{probe}").has_value();
      GameStart start;
      start.started = true;
      return start;
    };
    return hooks;
  }
};

route_queue_win::Args QueueArgs(const Dlss5Game& game, std::uint32_t pid) {
  route_queue_win::Args args;
  args.game_folder = game.game();
  args.game_process_id = pid;
  args.dlss5_work_folder = game.work();
  args.fg_work_folder = qv::setup::DefaultFgWorkFolder(game.game());
  EXPECT_TRUE(qv::setup::ParseRouteQueue("fg:remove,nr:remove", args.operations));
  args.valid = true;
  return args;
}

qv::setup::RouteQueueServices QuickQueue() {
  qv::setup::RouteQueueServices services = qv::setup::DefaultRouteQueueServices();
  services.game_wait = kShortWait;
  services.failure_pause = std::chrono::milliseconds(10);
  return services;
}

// One route role run in this process, removing its route from the game.
struct Role {
  const char* name;
  const char* log_prefix;
  std::vector<fs::path> results;  // its result files, below the game folder
  std::function<void(const Dlss5Game& game, std::uint32_t pid, const RouteWindowHooks& hooks)> run;
};

const fs::path kFgResult = fs::path(L"data") / L"dlssg-unlock" / L"fg-route-result.txt";
const fs::path kDlss5Result = fs::path(L"data") / L"dlss5-unlock" / L"route-result.txt";

std::vector<Role> Roles() {
  return {
      {"route queue", "route queue: ", {kFgResult, kDlss5Result},
       [](const Dlss5Game& game, std::uint32_t pid, const RouteWindowHooks& hooks) {
         route_queue_win::RunQueue(QueueArgs(game, pid), QuickQueue(), hooks);
       }},
      {"fg route", "fg route: ", {kFgResult},
       [](const Dlss5Game& game, std::uint32_t pid, const RouteWindowHooks& hooks) {
         qv::setup::fg_route::Args args;
         args.remove = true;
         args.game_folder = game.game();
         args.work_folder = qv::setup::DefaultFgWorkFolder(game.game());
         args.game_process_id = pid;
         args.valid = true;
         qv::setup::fg_route::RunRoute(args, qv::test::QuickServices(kShortWait), hooks);
       }},
      {"dlss5 route", "dlss5 route: ", {kDlss5Result},
       [](const Dlss5Game& game, std::uint32_t pid, const RouteWindowHooks& hooks) {
         qv::setup::Dlss5RouteArgs args;
         args.remove = true;
         args.game_folder = game.game();
         args.work_folder = game.work();
         args.game_process_id = pid;
         args.valid = true;
         qv::test::Dlss5Recorder recorder;
         qv::setup::RunDlss5Route(args, recorder.Settings(kShortWait), hooks);
       }},
  };
}

// A game folder that both routes can work in.
struct RoutesGame {
  RoutesGame() { fs::create_directories(qv::setup::DefaultFgWorkFolder(game.game())); }
  Dlss5Game game;
};

TEST(RouteRunRules, NoRoleStartsTheGameWhileItStillRuns) {
  for (const Role& role : Roles()) {
    SCOPED_TRACE(role.name);
    RoutesGame routes;
    RunningGame running;
    Starts starts{routes.game.game()};
    role.run(routes.game, running.process_id(), starts.Hooks());
    EXPECT_EQ(starts.count, 0);
    const std::vector<std::string> log = UpdaterLogMessages(routes.game.game());
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), std::string(role.log_prefix) + "Q.V. still runs: not started a second time");
    for (const fs::path& result : role.results) {
      EXPECT_EQ(qv::setup::ReadFileText(routes.game.game() / result),
                "kind remove\nexit -1\ndetail Q.V. was still running after 60 s\n");
    }
    running.Close();
  }
}

// The wait failed, but the game closed before the run's end: it is started
// once, as after any run.
TEST(RouteRunRules, AGameThatClosedAfterTheFailedWaitIsStartedOnce) {
  RoutesGame routes;
  RunningGame running;
  qv::setup::RouteQueueServices services = QuickQueue();
  const auto write_result = services.frame_generation.write_result;
  services.frame_generation.write_result = [&](const route_queue_win::Args& args, qv::setup::RouteAction action,
                                               int exit_code, const std::string& detail) {
    write_result(args, action, exit_code, detail);
    running.Close();
  };
  Starts starts{routes.game.game()};
  route_queue_win::RunQueue(QueueArgs(routes.game, running.process_id()), services, starts.Hooks());
  EXPECT_EQ(starts.count, 1);
  EXPECT_EQ(UpdaterLogMessages(routes.game.game()),
            (std::vector<std::string>{"route queue: start fg:remove,nr:remove", "route queue: fg:remove failed (exit -1)",
                                      "route queue: nr:remove failed (exit -1)", "route queue: Q.V. started again"}));
}

TEST(RouteRunRules, EveryRoleHoldsTheInstallationForItsWholeRun) {
  for (const Role& role : Roles()) {
    SCOPED_TRACE(role.name);
    RoutesGame routes;
    Starts starts{routes.game.game()};
    role.run(routes.game, 0, starts.Hooks());
    EXPECT_EQ(starts.count, 1);
    EXPECT_TRUE(starts.guard_held) << "the guard was not held up to the game's start";
    // Let go at the end: the next run may have the installation.
    EXPECT_TRUE(qv::setup::TryGuardInstallation(routes.game.game(), "{next}").has_value());
  }
}

// Another run (an update, a repair, an uninstall) holds the installation: the
// role changes nothing, tells the game why, and leaves the game to that run.
TEST(RouteRunRules, EveryRoleRefusesWhileAnotherRunHoldsTheInstallation) {
  for (const Role& role : Roles()) {
    SCOPED_TRACE(role.name);
    RoutesGame routes;
    const qv::setup::TreeSnapshot before = routes.game.GameFiles();
    std::optional<qv::setup::InstallationGuard> other =
        qv::setup::TryGuardInstallation(routes.game.game(), "{another run}");
    ASSERT_TRUE(other);
    Starts starts{routes.game.game()};
    role.run(routes.game, 0, starts.Hooks());

    EXPECT_EQ(starts.count, 0);
    EXPECT_EQ(routes.game.GameFiles(), before);
    EXPECT_TRUE(routes.game.ToolRuns().empty());
    for (const fs::path& result : role.results) {
      EXPECT_EQ(qv::setup::ReadFileText(routes.game.game() / result),
                "kind remove\nexit -1\ndetail Another update of this install is running.\n");
    }
    const std::vector<std::string> log = UpdaterLogMessages(routes.game.game());
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(),
              std::string(role.log_prefix) + "Q.V. not started again: another run is at work on the installation");
  }
}

}  // namespace
