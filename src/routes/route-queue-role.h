#pragma once
// The route-queue role: its window and its worker.

#include <string>

#include "routes/route-queue-args.h"
#include "routes/route-queue-run.h"
#include "routes/route-window-run.h"

namespace qv::setup {

// The worker thread's body: runs the queue (every item refused with
// `refusal` when that is not empty), then posts the finish message.
void RouteQueueThread(route_queue_win::Args args, RouteQueueServices services, std::string refusal = {});

namespace route_queue_win {

// Runs the queue in the route window and returns 0 (the role's exit code in
// every case: how each item ended is in its result file and the log).
int RunQueue(const Args& args, const RouteQueueServices& services = DefaultRouteQueueServices(),
             const RouteWindowHooks& hooks = {});

}  // namespace route_queue_win
}  // namespace qv::setup
