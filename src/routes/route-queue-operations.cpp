// The routes' operations as the queue runs them: the game has closed already
// (the queue waits once for all items), so no operation waits for it again.

#include "routes/dlss5/dlss5-route-operation.h"
#include "routes/fg/fg-route.h"
#include "routes/route-queue-run.h"
#include "routes/route-result-file.h"

namespace qv::setup {
namespace {

RouteQueueOperation FrameGenerationOperation() {
  RouteQueueOperation operation;
  operation.run = [](const route_queue_win::Args& args, RouteAction action, const RouteProgress& progress) {
    return RunFgRouteStep(MakeFgRouteState(args, action), false, progress);
  };
  operation.write_result = [](const route_queue_win::Args& args, RouteAction action, int exit_code,
                              const std::string& detail) {
    WriteFgRouteResult(MakeFgRouteState(args, action), exit_code, detail);
  };
  operation.remove_result = [](const route_queue_win::Args& args) {
    RemoveRouteResultFile(args.fg_work_folder / kFgRouteResultName);
  };
  return operation;
}

}  // namespace

RouteQueueServices DefaultRouteQueueServices() {
  RouteQueueServices services;
  services.frame_generation = FrameGenerationOperation();
  services.dlss5 = Dlss5QueueOperation();
  return services;
}

}  // namespace qv::setup
