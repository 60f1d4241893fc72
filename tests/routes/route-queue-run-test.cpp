#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "route-fixtures.h"
#include "routes/route-queue-run.h"
#include "routes/route-queue-text.h"

namespace {

namespace fs = std::filesystem;
using qv::setup::RouteAction;
using qv::setup::RouteKind;
using qv::setup::RouteProgress;
using qv::setup::RouteQueueItem;
using qv::setup::RouteQueueServices;
using qv::setup::RunRouteQueueItems;
using qv::setup::UpdaterText;
using qv::test::RouteGameFolder;
using qv::test::RunningGame;
using qv::test::UpdaterLogMessages;
namespace route_queue_win = qv::setup::route_queue_win;

// Stand-in operations that record what the queue asks of them.
struct QueueRecorder {
  std::vector<std::string> calls;  // "run nr:install", "result fg:remove -1 <detail>"
  std::vector<int> keys;           // progress keys in order
  std::vector<int> exit_codes{0, 0};  // what the runs return, by kind (fg, nr)
  std::string throw_for;              // label whose run raises
  bool throw_unknown = false;

  RouteQueueServices Services(std::chrono::milliseconds wait = std::chrono::milliseconds(200)) {
    RouteQueueServices services;
    services.game_wait = wait;
    services.failure_pause = std::chrono::milliseconds(10);
    for (RouteKind kind : {RouteKind::kFrameGeneration, RouteKind::kDlss5}) {
      auto& operation = kind == RouteKind::kDlss5 ? services.dlss5 : services.frame_generation;
      operation.run = [this, kind](const route_queue_win::Args& args, RouteAction action,
                                   const RouteProgress& progress) {
        const std::string label = qv::setup::RouteItemLabel({kind, action});
        calls.push_back("run " + label + " in " + args.game_folder.filename().string());
        progress(UpdaterText::kCheckingInstalledFiles);
        if (label == throw_for) {
          if (throw_unknown) throw 42;
          throw std::runtime_error("the tool vanished");
        }
        return exit_codes[static_cast<int>(kind)];
      };
      operation.write_result = [this, kind](const route_queue_win::Args&, RouteAction action, int exit_code,
                                            const std::string& detail) {
        calls.push_back("result " + qv::setup::RouteItemLabel({kind, action}) + " " + std::to_string(exit_code) + " " +
                        detail);
      };
    }
    return services;
  }

  RouteProgress Progress() {
    return [this](UpdaterText key) { keys.push_back(static_cast<int>(key)); };
  }
};

route_queue_win::Args QueueArgs(const RouteGameFolder& game, const std::string& operations,
                                std::uint64_t pid = 0) {
  route_queue_win::Args args;
  args.game_folder = game.path();
  args.game_process_id = pid;
  EXPECT_TRUE(qv::setup::ParseRouteQueue(operations, args.operations)) << operations;
  args.valid = true;
  return args;
}

TEST(RouteQueueRun, DefaultsWaitAMinuteAndPauseThreeSeconds) {
  const RouteQueueServices services;
  EXPECT_EQ(services.game_wait, std::chrono::milliseconds(60000));
  EXPECT_EQ(services.failure_pause, std::chrono::milliseconds(3000));
}

TEST(RouteQueueRun, RunsEachItemInOrderAndLogsHowItEnded) {
  RouteGameFolder game;
  QueueRecorder recorder;
  recorder.exit_codes = {3, 0};
  const std::vector<int> codes =
      RunRouteQueueItems(QueueArgs(game, "nr:install,fg:remove"), recorder.Progress(), recorder.Services());
  EXPECT_EQ(codes, (std::vector<int>{0, 3}));
  EXPECT_EQ(recorder.calls, (std::vector<std::string>{"run nr:install in game", "run fg:remove in game"}));
  EXPECT_EQ(recorder.keys, (std::vector<int>{1, 24, 24}));
  EXPECT_EQ(UpdaterLogMessages(game.path()),
            (std::vector<std::string>{"route queue: start nr:install,fg:remove", "route queue: nr:install finished",
                                      "route queue: fg:remove failed (exit 3)"}));
}

TEST(RouteQueueRun, AnEmptyQueueStillWaitsAndRunsNothing) {
  RouteGameFolder game;
  QueueRecorder recorder;
  RunningGame running;
  const auto started = std::chrono::steady_clock::now();
  const std::vector<int> codes = RunRouteQueueItems(QueueArgs(game, "", running.process_id()), recorder.Progress(),
                                                    recorder.Services(std::chrono::milliseconds(300)));
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(290));
  EXPECT_TRUE(codes.empty());
  EXPECT_TRUE(recorder.calls.empty());
  EXPECT_EQ(recorder.keys, std::vector<int>{1});
  EXPECT_EQ(UpdaterLogMessages(game.path()), std::vector<std::string>{"route queue: start "});
  running.Close();
}

TEST(RouteQueueRun, AGameStillRunningFailsEveryItemAfterOneWait) {
  RouteGameFolder game;
  QueueRecorder recorder;
  RunningGame running;
  ASSERT_NE(running.process_id(), 0u);
  const auto started = std::chrono::steady_clock::now();
  const std::vector<int> codes =
      RunRouteQueueItems(QueueArgs(game, "fg:install,nr:reinstall", running.process_id()), recorder.Progress(),
                         recorder.Services(std::chrono::milliseconds(600)));
  const auto elapsed = std::chrono::steady_clock::now() - started;
  EXPECT_GE(elapsed, std::chrono::milliseconds(590));
  EXPECT_LT(elapsed, std::chrono::milliseconds(1150)) << "the game is waited for once, not per item";
  EXPECT_EQ(codes, (std::vector<int>{-1, -1}));
  EXPECT_EQ(recorder.calls, (std::vector<std::string>{"result fg:install -1 Q.V. was still running after 60 s",
                                                      "result nr:reinstall -1 Q.V. was still running after 60 s"}));
  // Nothing was changed, and the game that still runs is not started again.
  EXPECT_EQ(recorder.keys, (std::vector<int>{1, 27, 27}));
  EXPECT_EQ(UpdaterLogMessages(game.path()),
            (std::vector<std::string>{"route queue: start fg:install,nr:reinstall",
                                      "route queue: fg:install failed (exit -1)",
                                      "route queue: nr:reinstall failed (exit -1)"}));
  running.Close();
}

TEST(RouteQueueRun, AGameThatClosesDuringTheWaitLetsTheItemsRun) {
  RouteGameFolder game;
  QueueRecorder recorder;
  RunningGame running;
  std::thread closer([&running] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    running.Close();
  });
  const auto started = std::chrono::steady_clock::now();
  const std::vector<int> codes = RunRouteQueueItems(QueueArgs(game, "fg:install", running.process_id()),
                                                    recorder.Progress(), recorder.Services(std::chrono::seconds(20)));
  closer.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  EXPECT_EQ(codes, std::vector<int>{0});
  EXPECT_EQ(recorder.calls, std::vector<std::string>{"run fg:install in game"});
}

TEST(RouteQueueRun, AGameThatIsGoneIsNotWaitedFor) {
  RouteGameFolder game;
  QueueRecorder recorder;
  RunningGame running;
  const std::uint32_t pid = running.process_id();
  running.Close();
  // A process id nobody holds any more: nothing to wait for, even with a long wait.
  const auto started = std::chrono::steady_clock::now();
  const std::vector<int> codes = RunRouteQueueItems(QueueArgs(game, "nr:remove", pid), recorder.Progress(),
                                                    recorder.Services(std::chrono::seconds(20)));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  EXPECT_EQ(codes, std::vector<int>{0});
}

TEST(RouteQueueRun, AnItemThatRaisesIsRecordedAndTheNextStillRuns) {
  for (bool unknown : {false, true}) {
    RouteGameFolder game;
    QueueRecorder recorder;
    recorder.throw_for = "fg:reinstall";
    recorder.throw_unknown = unknown;
    const std::vector<int> codes =
        RunRouteQueueItems(QueueArgs(game, "fg:reinstall,nr:install"), recorder.Progress(), recorder.Services());
    const std::string text = unknown ? "the operation ended with an error of an unknown kind" : "the tool vanished";
    EXPECT_EQ(codes, (std::vector<int>{-1, 0}));
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"run fg:reinstall in game", "result fg:reinstall -1 " + text,
                                                        "run nr:install in game"}));
    EXPECT_EQ(UpdaterLogMessages(game.path()),
              (std::vector<std::string>{"route queue: start fg:reinstall,nr:install",
                                        "route queue: fg:reinstall stopped: " + text,
                                        "route queue: fg:reinstall failed (exit -1)",
                                        "route queue: nr:install finished"}));
  }
}

// Another run holds the installation: no item runs, none waits for the game,
// and the notice says that the game is left to that run.
TEST(RouteQueueRun, ARefusalFailsEveryItemWithoutWaitingAndLeavesTheGameToTheOtherRun) {
  RouteGameFolder game;
  QueueRecorder recorder;
  RunningGame running;
  const auto started = std::chrono::steady_clock::now();
  const std::vector<int> codes =
      RunRouteQueueItems(QueueArgs(game, "nr:install,fg:remove", running.process_id()), recorder.Progress(),
                         recorder.Services(std::chrono::seconds(20)), "Another update of this install is running.");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  EXPECT_EQ(codes, (std::vector<int>{-1, -1}));
  EXPECT_EQ(recorder.calls, (std::vector<std::string>{"result nr:install -1 Another update of this install is running.",
                                                      "result fg:remove -1 Another update of this install is running."}));
  EXPECT_EQ(recorder.keys, (std::vector<int>{28, 28}));
  running.Close();
}

TEST(RouteQueueRun, AResultWriterThatRaisesStopsNothing) {
  RouteGameFolder game;
  QueueRecorder recorder;
  recorder.throw_for = "nr:install";
  RouteQueueServices services = recorder.Services();
  services.dlss5.write_result = [](const route_queue_win::Args&, RouteAction, int, const std::string&) {
    throw std::runtime_error("disk gone");
  };
  const std::vector<int> codes =
      RunRouteQueueItems(QueueArgs(game, "nr:install,fg:install"), recorder.Progress(), services);
  EXPECT_EQ(codes, (std::vector<int>{-1, 0}));
}

}  // namespace
