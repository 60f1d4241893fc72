#pragma once
// What every step of the DLSS 5 route shares: the supported tool release, the
// action a state asks for, the route's result file and its log lines.

#include <string>
#include <string_view>

#include "foundation/files/file-system-view.h"
#include "routes/route-kinds.h"
#include "routes/route-queue-args.h"
#include "routes/route-window.h"

namespace qv::setup {

// The tool release the route supports: part of the tool's folder name
// ("autopilot-2.0.8") and of the first log line of every run.
inline constexpr std::string_view kDlss5ToolTag = "2.0.8";

// "<action> started, tool 2.0.8": the first log line of every run.
std::string Dlss5StartLine(const win_route::State& state);

// Reinstall wins over remove; neither flag: install.
RouteAction Dlss5Action(const win_route::State& state);

// The state of one queued "nr" item: the action's flags, the game folder, the
// DLSS 5 work folder, the game's process id and the language; no window and
// no log callback.
win_route::State MakeDlss5RouteState(const route_queue_win::Args& args, RouteAction action);

// Replaces the work folder's "route-result.txt" (kind, exit, detail). A file
// that cannot be written is skipped.
void WriteRouteResult(const win_route::State& state, int exit_code, std::string_view detail);
// Deletes the work folder's "route-result.txt" left by an earlier run.
void RemoveRouteResult(const win_route::State& state);

// "dlss5 route: " + line in the game's updater log, when its "data" folder is
// a real folder; silent on every failure. CR and LF in the line become blanks.
void LogDlss5Route(const win_route::State& state, std::string_view line, const FileSystemView& view = SystemView());

}  // namespace qv::setup
