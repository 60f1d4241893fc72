#include "routes/fg/fg-route-role.h"

#include <windows.h>

#include <exception>

namespace qv::setup {
namespace {

// What RunFgRouteStep does after its operation, for an operation that ended
// with an error instead of an exit code or that never ran; `notice` says what
// happens then.
void ReportStoppedStep(const FgRouteState& state, const std::string& text, UpdaterText notice,
                       const RouteProgress& progress, const FgRouteServices& services) {
  WriteFgRouteResult(state, -1, text);
  LogFgRoute(state.game_folder, std::string(RouteActionWord(FgRouteAction(state))) + " exit -1: " + text,
             services.view);
  progress(notice);
  ::Sleep(static_cast<DWORD>(services.failure_pause.count()));
}

}  // namespace

void FgRouteThread(fg_route::Args args, FgRouteServices services, std::string refusal, RouteProgress progress) {
  const FgRouteState state = MakeFgRouteState(args);
  try {
    if (refusal.empty()) {
      RunFgRouteStep(state, true, progress, services);
    } else {
      // Another run holds the installation: the game learns why from the
      // result, and is left to that run.
      ReportStoppedStep(state, refusal, UpdaterText::kRouteLeftToAnotherRun, progress, services);
    }
  } catch (const std::exception& error) {
    ReportStoppedStep(state, error.what(), UpdaterText::kFrameGenerationFailed, progress, services);
  } catch (...) {
    ReportStoppedStep(state, "the operation ended with an error of an unknown kind", UpdaterText::kFrameGenerationFailed,
                      progress, services);
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
