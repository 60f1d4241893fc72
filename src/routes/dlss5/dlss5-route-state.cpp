#include "routes/dlss5/dlss5-route-state.h"

#include <string>

#include "routes/route-log.h"
#include "routes/route-result-file.h"

namespace qv::setup {

RouteAction Dlss5Action(const win_route::State& state) {
  if (state.reinstall) return RouteAction::kReinstall;
  return state.remove ? RouteAction::kRemove : RouteAction::kInstall;
}

std::string Dlss5StartLine(const win_route::State& state) {
  return std::string(RouteActionWord(Dlss5Action(state))) + " started, tool " + std::string(kDlss5ToolTag);
}

win_route::State MakeDlss5RouteState(const route_queue_win::Args& args, RouteAction action) {
  win_route::State state;
  state.remove = action == RouteAction::kRemove;
  state.reinstall = action == RouteAction::kReinstall;
  state.game_folder = args.game_folder;
  state.work_folder = args.dlss5_work_folder;
  state.game_process_id = args.game_process_id;
  state.language = args.language;
  return state;
}

void WriteRouteResult(const win_route::State& state, int exit_code, std::string_view detail) {
  WriteRouteResultFile(state.work_folder / kDlss5RouteResultName, Dlss5Action(state), exit_code, detail);
}

void RemoveRouteResult(const win_route::State& state) {
  RemoveRouteResultFile(state.work_folder / kDlss5RouteResultName);
}

void LogDlss5Route(const win_route::State& state, std::string_view line, const FileSystemView& view) {
  AppendRouteLog(state.game_folder, kDlss5RouteLogPrefix, line, view);
}

}  // namespace qv::setup
