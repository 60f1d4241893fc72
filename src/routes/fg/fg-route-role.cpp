#include "routes/fg/fg-route-role.h"

#include <windows.h>

#include <exception>

namespace qv::setup {
namespace {

// What RunFgRouteStep does after its operation, for an operation that ended
// with an error instead of an exit code.
void ReportStoppedStep(const FgRouteState& state, const std::string& text, const FgRouteServices& services) {
  WriteFgRouteResult(state, -1, text);
  LogFgRoute(state.game_folder, std::string(RouteActionWord(FgRouteAction(state))) + " exit -1: " + text,
             services.view);
  PostRouteText(UpdaterText::kFrameGenerationFailed);
  ::Sleep(static_cast<DWORD>(services.failure_pause.count()));
}

}  // namespace

void FgRouteThread(fg_route::Args args, FgRouteServices services, std::string refusal) {
  const FgRouteState state = MakeFgRouteState(args);
  try {
    if (refusal.empty()) {
      RunFgRouteStep(state, true, PostRouteText, services);
    } else {
      // Another run holds the installation: the game learns why from the result.
      ReportStoppedStep(state, refusal, services);
    }
  } catch (const std::exception& error) {
    ReportStoppedStep(state, error.what(), services);
  } catch (...) {
    ReportStoppedStep(state, "the operation ended with an error of an unknown kind", services);
  }
  PostRouteFinished();
}

void FgRouteLogCallback(const win_route::State& state, const std::string& line) {
  LogFgRoute(state.game_folder, line);
}

namespace fg_route {

int RunRoute(const Args& args, const FgRouteServices& services, const RouteWindowHooks& hooks) {
  static win_route::State state;
  StartRouteState(state, args.game_folder, args.game_process_id, args.language, args.relaunch_arguments,
                  &FgRouteLogCallback);
  return RunRouteWindow(state, FgWindowSpec(args),
                        [args, services, refusal = state.refusal] { FgRouteThread(args, services, refusal); }, hooks);
}

}  // namespace fg_route
}  // namespace qv::setup
