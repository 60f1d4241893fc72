#include "routes/dlss5/dlss5-route-role.h"

#include <windows.h>

#include <exception>
#include <string>

#include "routes/dlss5/dlss5-route-state.h"

namespace qv::setup {

void PostDlss5RouteText(const win_route::State& state, UpdaterText key) {
  if (state.window) ::PostMessageW(state.window, kRouteStatusMessage, static_cast<WPARAM>(key), 0);
}

namespace {

// The run ends before the operation: its start line, the result file with
// exit -1 and `detail`, that line in the log, the `notice` (what happens
// instead) and the failure pause.
void StopBeforeTheOperation(win_route::State& state, const std::string& detail, UpdaterText notice,
                            const RouteProgress& progress, const Dlss5RouteSettings& settings) {
  LogDlss5Route(state, Dlss5StartLine(state), settings.view);
  WriteRouteResult(state, -1, detail);
  LogDlss5Route(state, detail, settings.view);
  ShowDlss5Failure(progress, settings, notice);
}

}  // namespace

namespace win_route {

void RouteWork(State& state, const RouteProgress& progress, const Dlss5RouteSettings& settings) {
  // First of all: should this run be killed anywhere below, the game must
  // find no result rather than the last run's.
  RemoveRouteResult(state);
  if (!state.refusal.empty()) {
    // Another run holds the installation: the tool never runs beside it, and
    // the game is left to that run.
    StopBeforeTheOperation(state, state.refusal, UpdaterText::kRouteLeftToAnotherRun, progress, settings);
    return;
  }
  progress(UpdaterText::kWaitingForGame);
  if (GameStillRunningAfter(state.game_process_id, settings.game_wait)) {
    // The game that still runs is not started a second time.
    StopBeforeTheOperation(state, kGameStillRunningDetail, UpdaterText::kRouteGameStillRunning, progress, settings);
    return;
  }
  // The exit code is in the result file already.
  RunDlss5RouteOperation(state, progress, settings);
}

}  // namespace win_route

namespace {

// The operation could not run to its end: the game learns why from the
// result file, the player's log from the route's line.
void RecordStoppedRoute(const win_route::State& state, const std::string& text) {
  WriteRouteResult(state, -1, text);
  LogDlss5Route(state, "stopped: " + text);
}

}  // namespace

void Dlss5RouteThread(win_route::State& state, const std::function<void(win_route::State&)>& work) {
  try {
    if (work) {
      work(state);
    } else {
      win_route::RouteWork(state, [&state](UpdaterText key) { PostDlss5RouteText(state, key); });
    }
  } catch (const std::exception& error) {
    RecordStoppedRoute(state, error.what());
  } catch (...) {
    RecordStoppedRoute(state, "the operation ended with an error of an unknown kind");
  }
  PostRouteFinished();
}

int RunDlss5Route(const Dlss5RouteArgs& args, const Dlss5RouteSettings& settings, const RouteWindowHooks& hooks) {
  static win_route::State state;
  // No log callback: the window logs through the DLSS 5 route's own lines.
  StartRouteState(state, args.game_folder, args.game_process_id, args.language, args.relaunch_arguments, nullptr);
  // The DLSS 5 worker works on the window's state itself.
  state.remove = args.remove;
  state.reinstall = args.reinstall;
  state.work_folder = args.work_folder;
  return RunRouteWindow(state, Dlss5WindowSpec(args), [settings] {
    Dlss5RouteThread(state, [&settings](win_route::State& current) {
      win_route::RouteWork(current, [&current](UpdaterText key) { PostDlss5RouteText(current, key); }, settings);
    });
  }, hooks);
}

}  // namespace qv::setup
