#include "routes/fg/fg-route.h"

#include <windows.h>

#include "routes/fg/fg-package.h"
#include "routes/fg/fg-unlock-files.h"
#include "routes/route-log.h"
#include "routes/route-result-file.h"
#include "routes/tool-digest.h"

namespace qv::setup {
namespace {

UpdaterText StatusOf(const FgRouteState& state) {
  if (state.remove) return UpdaterText::kRemovingFrameGeneration;
  if (state.reinstall) return UpdaterText::kReinstallingFrameGeneration;
  return UpdaterText::kInstallingFrameGeneration;
}

}  // namespace

RouteAction FgRouteAction(const FgRouteState& state) {
  if (state.reinstall) return RouteAction::kReinstall;
  if (state.remove) return RouteAction::kRemove;
  return RouteAction::kInstall;
}

FgRouteState MakeFgRouteState(const route_queue_win::Args& args, RouteAction action) {
  FgRouteState state;
  state.remove = action == RouteAction::kRemove;
  state.reinstall = action == RouteAction::kReinstall;
  state.game_folder = args.game_folder;
  state.work_folder = args.fg_work_folder;
  state.game_process_id = args.game_process_id;
  state.language = args.language;
  return state;
}

FgRouteState MakeFgRouteState(const fg_route::Args& args) {
  FgRouteState state;
  state.remove = args.remove;
  state.reinstall = args.reinstall;
  state.game_folder = args.game_folder;
  state.work_folder = args.work_folder;
  state.game_process_id = args.game_process_id;
  state.language = args.language;
  state.relaunch_arguments = args.relaunch_arguments;
  return state;
}

int RunFgRouteStep(const FgRouteState& state, bool wait, const RouteProgress& progress,
                   const FgRouteServices& services) {
  // First of all: should this run be killed anywhere below, the game must
  // find no result rather than the last run's.
  RemoveRouteResultFile(state.work_folder / kFgRouteResultName);
  progress(StatusOf(state));
  std::string detail;
  const int exit_code = RunFgRouteOperation(state, detail, wait, services);
  WriteFgRouteResult(state, exit_code, detail);
  LogFgRoute(state.game_folder,
             std::string(RouteActionWord(FgRouteAction(state))) + " exit " + std::to_string(exit_code) + ": " + detail,
             services.view);
  if (exit_code != 0) {
    // The game that still runs is not started a second time.
    progress(detail == kGameStillRunningDetail ? UpdaterText::kRouteGameStillRunning
                                               : UpdaterText::kFrameGenerationFailed);
    ::Sleep(static_cast<DWORD>(services.failure_pause.count()));
  }
  return exit_code;
}

int RunFgRouteOperation(const FgRouteState& state, std::string& detail, bool wait,
                        const FgRouteServices& services) {
  if (wait && GameStillRunningAfter(state.game_process_id, services.game_wait)) {
    detail = kGameStillRunningDetail;
    return -1;
  }
  const std::string expected = ExpectedFgZipDigest(state.work_folder);

  if (state.remove) {
    RemoveFgUnlock(state, services.view);
    detail = "removed";
    return 0;
  }

  const std::string computed = ToolDigestOrEmpty(FgToolZipPath(state.work_folder));
  if (computed != expected) {
    detail = "the package zip SHA-256 " + (computed.empty() ? std::string("unreadable") : computed) +
             " does not match what the download recorded " + expected;
    LogFgRoute(state.game_folder, detail, services.view);
    return -1;
  }
  if (state.reinstall) RemoveFgUnlock(state, services.view);
  return InstallFgUnlock(state, detail, services.view, services.copy_file);
}

void WriteFgRouteResult(const FgRouteState& state, int exit_code, const std::string& detail) {
  WriteRouteResultFile(state.work_folder / kFgRouteResultName, FgRouteAction(state), exit_code, detail);
}

void LogFgRoute(const std::filesystem::path& game_folder, std::string_view text, const FileSystemView& view) {
  AppendRouteLog(game_folder, kFgRouteLogPrefix, text, view);
}

}  // namespace qv::setup
