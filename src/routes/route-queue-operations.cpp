// The routes' operations as the queue runs them. Each route joins here when
// its operation is built; until then its items fail with a result file that
// says so, and the game is started again as after any other failure.

#include <stdexcept>

#include "routes/route-queue-run.h"
#include "routes/route-result-file.h"

namespace qv::setup {
namespace {

RouteQueueOperation NotYetBuilt(const char* message, std::filesystem::path route_queue_win::Args::*work_folder,
                                std::wstring_view result_name) {
  RouteQueueOperation operation;
  operation.run = [message](const route_queue_win::Args&, RouteAction, const RouteProgress&) -> int {
    throw std::runtime_error(message);
  };
  operation.write_result = [work_folder, result_name](const route_queue_win::Args& args, RouteAction action,
                                                      int exit_code, const std::string& detail) {
    WriteRouteResultFile(args.*work_folder / result_name, action, exit_code, detail);
  };
  return operation;
}

}  // namespace

RouteQueueServices DefaultRouteQueueServices() {
  RouteQueueServices services;
  services.frame_generation = NotYetBuilt("The frame-generation route is not part of this build yet.",
                                          &route_queue_win::Args::fg_work_folder, kFgRouteResultName);
  services.dlss5 = NotYetBuilt("The DLSS 5 route is not part of this build yet.",
                               &route_queue_win::Args::dlss5_work_folder, kDlss5RouteResultName);
  return services;
}

}  // namespace qv::setup
