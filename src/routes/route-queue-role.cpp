#include "routes/route-queue-role.h"

#include <exception>

#include "routes/route-log.h"

namespace qv::setup {

void RouteQueueThread(route_queue_win::Args args, RouteQueueServices services, std::string refusal) {
  try {
    RunRouteQueueItems(args, PostRouteText, services, refusal);
  } catch (const std::exception& error) {
    // Each item catches its own failures; what escapes comes from the queue's
    // own steps. The window must still hear the end, or the game never starts.
    LogRouteQueue(args.game_folder, std::string("stopped: ") + error.what());
  } catch (...) {
    LogRouteQueue(args.game_folder, "stopped by an error of an unknown kind");
  }
  PostRouteFinished();
}

namespace route_queue_win {

int RunQueue(const Args& args, const RouteQueueServices& services, const RouteWindowHooks& hooks) {
  static win_route::State state;
  StartRouteState(state, args.game_folder, args.game_process_id, args.language, args.relaunch_arguments,
                  &RouteQueueLogCallback);
  return RunRouteWindow(state, QueueWindowSpec(args),
                        [args, services, refusal = state.refusal] { RouteQueueThread(args, services, refusal); },
                        hooks);
}

}  // namespace route_queue_win
}  // namespace qv::setup
