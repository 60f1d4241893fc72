#pragma once
// The route queue's work: wait once for the game to close, then run each
// queued operation through its route, one after another.

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "routes/route-kinds.h"
#include "routes/route-queue-args.h"
#include "update/updater/game-wait.h"
#include "update/updater/updater-text.h"

namespace qv::setup {

// Shows a status text (an updater text key) in the route window.
using RouteProgress = std::function<void(UpdaterText key)>;

// What the queue needs of one route.
struct RouteQueueOperation {
  // Runs one queued operation (the game has closed already; the operation does
  // not wait for it again), writes the route's result file and log lines, and
  // returns the exit code: 0 success.
  std::function<int(const route_queue_win::Args& args, RouteAction action, const RouteProgress& progress)> run;
  // Writes the route's result file for an item that did not run to its end.
  std::function<void(const route_queue_win::Args& args, RouteAction action, int exit_code, const std::string& detail)>
      write_result;
  // Deletes the route's result file of an earlier run.
  std::function<void(const route_queue_win::Args& args)> remove_result;
};

struct RouteQueueServices {
  RouteQueueOperation frame_generation;  // "fg" items
  RouteQueueOperation dlss5;             // "nr" items
  std::chrono::milliseconds game_wait = kGameCloseWait;
  // How long a failure notice stays before the next item or the game's start.
  std::chrono::milliseconds failure_pause{3000};
};

// The routes' own operations.
RouteQueueServices DefaultRouteQueueServices();

// Deletes the result file of every queued route before anything else (a
// queue killed part-way leaves no earlier run's outcome for the game to read,
// also for items it never reached), logs "start " + the queue, shows key 1, waits once for the game, then runs
// every item in order and logs " finished" or " failed (exit N)" after its
// label. An item whose game is still running gets its route's result file
// (exit -1, "Q.V. was still running after 60 s"), its route's failure notice
// and the pause; an item whose operation raises is logged as "<label>
// stopped: <text>" and gets its route's result file (exit -1, the text). A
// failed item never stops the later ones. Returns the exit codes in queue order.
// A `refusal` (another run holds the installation) is logged as "refused: "
// + the text, and every item then fails with it at once, without the wait.
std::vector<int> RunRouteQueueItems(const route_queue_win::Args& args, const RouteProgress& progress,
                                    const RouteQueueServices& services = DefaultRouteQueueServices(),
                                    const std::string& refusal = {});

}  // namespace qv::setup
