#include "routes/route-queue-run.h"

#include <windows.h>

#include <exception>

#include "routes/route-log.h"
#include "routes/route-queue-text.h"

namespace qv::setup {
namespace {

constexpr const char* kUnknownFailure = "the operation ended with an error of an unknown kind";

// The item could not run to its end: the game learns why from the result file.
void RecordStoppedItem(const route_queue_win::Args& args, const RouteQueueOperation& operation,
                       const RouteQueueItem& item, const std::string& text) {
  LogRouteQueue(args.game_folder, RouteItemLabel(item) + " stopped: " + text);
  try {
    operation.write_result(args, item.action, -1, text);
  } catch (...) {
    // The result file is best effort; the log already holds the reason.
  }
}

const RouteQueueOperation& OperationFor(const RouteQueueItem& item, const RouteQueueServices& services) {
  return item.kind == RouteKind::kDlss5 ? services.dlss5 : services.frame_generation;
}

// Why no item may run, and the notice that says what happens instead.
struct Blocked {
  std::string detail;  // empty: the items may run
  UpdaterText notice = UpdaterText::kRouteGameStillRunning;
};

int RunItem(const route_queue_win::Args& args, const RouteQueueItem& item, const Blocked& blocked,
            const RouteProgress& progress, const RouteQueueServices& services) {
  const RouteQueueOperation& operation = OperationFor(item, services);
  try {
    if (blocked.detail.empty()) return operation.run(args, item.action, progress);
    operation.write_result(args, item.action, -1, blocked.detail);
    progress(blocked.notice);
    ::Sleep(static_cast<DWORD>(services.failure_pause.count()));
  } catch (const std::exception& error) {
    RecordStoppedItem(args, operation, item, error.what());
  } catch (...) {
    RecordStoppedItem(args, operation, item, kUnknownFailure);
  }
  return -1;
}

}  // namespace

std::vector<int> RunRouteQueueItems(const route_queue_win::Args& args, const RouteProgress& progress,
                                    const RouteQueueServices& services, const std::string& refusal) {
  for (const RouteQueueItem& item : args.operations) {
    const RouteQueueOperation& operation = OperationFor(item, services);
    if (operation.remove_result) operation.remove_result(args);
  }
  LogRouteQueue(args.game_folder, "start " + RouteQueueText(args.operations));
  Blocked blocked;
  if (refusal.empty()) {
    progress(UpdaterText::kWaitingForGame);
    // One wait for all items: each operation is told not to wait again. The
    // game that still runs is not started a second time.
    if (GameStillRunningAfter(args.game_process_id, services.game_wait)) {
      blocked = {kGameStillRunningDetail, UpdaterText::kRouteGameStillRunning};
    }
  } else {
    // Nothing to wait for: no item may run beside the run at work, and the
    // game is left to that run.
    blocked = {refusal, UpdaterText::kRouteLeftToAnotherRun};
    LogRouteQueue(args.game_folder, "refused: " + refusal);
  }

  std::vector<int> exit_codes;
  for (const RouteQueueItem& item : args.operations) {
    const int exit_code = RunItem(args, item, blocked, progress, services);
    LogRouteQueue(args.game_folder, RouteItemLabel(item) + (exit_code == 0 ? std::string(" finished")
                                                                             : " failed (exit " +
                                                                                   std::to_string(exit_code) + ")"));
    exit_codes.push_back(exit_code);
  }
  return exit_codes;
}

}  // namespace qv::setup
