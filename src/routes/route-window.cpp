#include "routes/route-window.h"

#include <atomic>

#include "foundation/text/text.h"
#include "routes/route-log.h"

namespace qv::setup {
namespace win_route {
namespace {

std::atomic<State*> current_state{nullptr};

}  // namespace

State* CurrentState() { return current_state.load(); }

void SetCurrentState(State* state) { current_state.store(state); }

}  // namespace win_route

namespace {

void ShowStatus(const win_route::State& state, UpdaterText key) {
  if (!state.status) return;
  ::SetWindowTextW(state.status, Utf8ToWide(UpdaterTextFor(state.language, key)).c_str());
}

void LogRouteLine(const win_route::State& state, const std::string& line) {
  if (state.log) {
    state.log(state, line);
  } else {
    AppendRouteLog(state.game_folder, kDlss5RouteLogPrefix, line);
  }
}

void PostToCurrentWindow(UINT message, WPARAM wparam) {
  win_route::State* state = win_route::CurrentState();
  // Without a window (it could not be created) the runner finishes on its own.
  if (state && state->window) ::PostMessageW(state->window, message, wparam, 0);
}

}  // namespace

void PostRouteText(UpdaterText key) { PostToCurrentWindow(kRouteStatusMessage, static_cast<WPARAM>(key)); }

void PostRouteFinished() { PostToCurrentWindow(kRouteFinishMessage, 0); }

void FinishRoute(win_route::State& state) {
  // The worker posts the finish message as its last act, so this join only
  // waits for its thread to end.
  if (state.worker.joinable() && state.worker.get_id() != std::this_thread::get_id()) state.worker.join();
  if (!state.refusal.empty()) {
    // The run that holds the installation is at work on its files; a game
    // started now would hold them open. The game is left to that run.
    LogRouteLine(state, "Q.V. not started again: another run is at work on the installation");
    return;
  }
  if (state.game && ::WaitForSingleObject(state.game.get(), 0) == WAIT_TIMEOUT) {
    // It did not close within the wait (nor since): a second copy would run
    // beside the first.
    LogRouteLine(state, "Q.V. still runs: not started a second time");
    return;
  }
  ShowStatus(state, UpdaterText::kStartingGame);
  const GameStart start = state.start_game ? state.start_game(state.game_folder, state.relaunch_arguments)
                                           : StartGame(state.game_folder, state.relaunch_arguments, false);
  LogRouteLine(state, start.started ? "Q.V. started again" : "Q.V. could not be started again");
}

void RouteQueueLogCallback(const win_route::State& state, const std::string& line) {
  LogRouteQueue(state.game_folder, line);
}

LRESULT CALLBACK RouteWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  win_route::State* state = win_route::CurrentState();
  switch (message) {
    case WM_CTLCOLORSTATIC:
      // The status line sits on white, like the window behind it.
      ::SetBkColor(reinterpret_cast<HDC>(wparam), RGB(255, 255, 255));
      return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
    case kRouteStatusMessage:
      if (!state) break;
      ShowStatus(*state, static_cast<UpdaterText>(wparam));
      return 0;
    case kRouteFinishMessage:
      if (!state) break;
      FinishRoute(*state);
      ::DestroyWindow(window);
      return 0;
    case WM_CLOSE:
      // The close button, the system menu's Close and Alt+F4 all end here:
      // only the worker's finish message ends the window.
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace qv::setup
