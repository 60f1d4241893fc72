#pragma once
// Building and running the route window, shared by the three route roles.

#include <windows.h>

#include <functional>
#include <string>

#include "routes/route-queue-args.h"
#include "routes/route-window.h"
#include "routes/single-route-args.h"
#include "update/updater/updater-text.h"

namespace qv::setup {

// Client heights before scaling: the frame-generation window is taller.
inline constexpr int kRouteClientHeight = 85;
inline constexpr int kFgRouteClientHeight = 110;

// What differs between the three route windows.
struct RouteWindowLook {
  std::wstring title;
  UpdaterText first_status = UpdaterText::kWaitingForGame;
  int client_height = kRouteClientHeight;  // before scaling
  bool right_to_left = false;
};

// The queue: key 16 for DLSS 5 items only (or none), key 19 for
// frame-generation items only, a fixed English title for both; right to left
// in Arabic.
RouteWindowLook QueueWindowSpec(const route_queue_win::Args& args);
// Key 16, first status key 1, right to left in Arabic.
RouteWindowLook Dlss5WindowSpec(const Dlss5RouteArgs& args);
// Key 19, first status by action (20 install, 21 remove, 22 reinstall), the
// taller client area, always left to right.
RouteWindowLook FgWindowSpec(const fg_route::Args& args);

// Pixel rectangles of the window's parts at one scale (system DPI / 96).
struct RouteWindowLayout {
  SIZE client;
  RECT status;    // left, top, right, bottom in client coordinates
  RECT progress;
};
RouteWindowLayout ComputeRouteWindowLayout(int client_height, double scale);

// Seams for tests; production leaves them empty.
struct RouteWindowHooks {
  // Creates the top-level window from CreateWindowExW's varying arguments;
  // empty: CreateWindowExW with class "QVRoute" at the default position.
  std::function<HWND(DWORD ex_style, const std::wstring& title, DWORD style, int width, int height)> create_window;
  // Starts the game again; empty: StartGame directly and unelevated.
  win_route::GameStarter start_game;
};

// Starts a role's run on its runner's static state: everything of an earlier
// run in the same process (the tests) is dropped, the fields every route
// window needs are filled, the game of the process id (when not 0) is opened
// for waiting, and the state becomes the current one. The run takes the
// installation's guard here, before it touches anything; when another run
// holds it, the state's refusal says so ("Another update of this install is
// running."), and the worker only reports that.
void StartRouteState(win_route::State& state, const std::filesystem::path& game_folder,
                     std::uint64_t game_process_id, int language,
                     const std::vector<std::wstring>& relaunch_arguments, win_route::LogCallback log);

// Runs a route role on `state` (already filled by the runner and made the
// current state): builds the window from `look`, starts `worker` on its own
// thread (it posts the finish message as its last act), runs the message loop
// and returns 0. When the window cannot be created the worker still runs to
// its end, and the game is started again and the start logged all the same.
// The run's guard and the game's handle are let go before it returns.
int RunRouteWindow(win_route::State& state, const RouteWindowLook& look, std::function<void()> worker,
                   const RouteWindowHooks& hooks = {});

}  // namespace qv::setup
