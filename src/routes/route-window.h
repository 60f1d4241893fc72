#pragma once
// The small window all route roles show (class "QVRoute"): a status line and a
// marquee bar. Workers reach it only through posted messages; when a worker
// is done the window joins it, starts the game again, logs that and closes,
// which ends the role. The user cannot close it: the routes change files the
// game needs, and the game must be started again at the end (unless it still
// runs, or another run at work on the installation refused this one).

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/installation-guard.h"
#include "foundation/win/unique-handle.h"
#include "update/updater/game-start.h"
#include "update/updater/updater-text.h"

namespace qv::setup {

// wParam: an updater text key (UpdaterText); lParam 0.
inline constexpr UINT kRouteStatusMessage = WM_APP + 21;
// Both parameters 0: the worker has finished.
inline constexpr UINT kRouteFinishMessage = WM_APP + 23;

inline constexpr const wchar_t* kRouteWindowClass = L"QVRoute";

namespace win_route {

struct State;

// Writes one UTF-8 line to the role's log (with the role's own prefix).
using LogCallback = void (*)(const State& state, const std::string& line);

// Starts the game again with the role's relaunch arguments.
using GameStarter =
    std::function<GameStart(const std::filesystem::path& game_folder, const std::vector<std::wstring>& arguments)>;

// The running route role's state: one per role, owned by its runner.
struct State {
  bool remove = false;
  bool reinstall = false;
  std::filesystem::path game_folder;
  std::filesystem::path work_folder;
  std::uint64_t game_process_id = 0;
  int language = 0;
  std::vector<std::wstring> relaunch_arguments;
  HWND window = nullptr;
  HWND status = nullptr;    // the status line
  HWND progress = nullptr;  // the marquee bar
  UniqueFont font;
  std::thread worker;       // joinable until joined on the window's thread
  LogCallback log = nullptr;  // none: the DLSS 5 route's log
  // How the window starts the game again; none: StartGame directly and
  // unelevated (a route never runs elevated by its own doing).
  GameStarter start_game;
  // The game of the process id, opened as the run starts: whether it still
  // runs at the end is asked of this handle, since its id may belong to
  // another process by then.
  UniqueHandle game;
  // The installation's guard, held for the whole run.
  std::optional<InstallationGuard> guard;
  // Why this run may not touch the installation (another run holds its
  // guard); empty while this run holds the guard.
  std::string refusal;
};

// The state of the running role, read by the window procedure and the
// workers' posters. Set by the runner before its window exists.
State* CurrentState();
void SetCurrentState(State* state);

}  // namespace win_route

LRESULT CALLBACK RouteWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// The progress callback of the queue and frame-generation workers: posts the
// key to the current state's window, when there is one.
void PostRouteText(UpdaterText key);

// Posts the finish message to the current state's window, when there is one.
void PostRouteFinished();

// The end of every route run, on the window's thread: joins the worker, shows
// "Starting Q.V. ...", starts the game again (the process handle is not kept:
// the game is not waited for) and logs "Q.V. started again" or "Q.V. could
// not be started again" through the state's log callback. A game that still
// runs is never started a second time ("Q.V. still runs: not started a second
// time"), and a run refused beside another one leaves the game to that run
// ("Q.V. not started again: another run is at work on the installation").
void FinishRoute(win_route::State& state);

// The log line for the queue's window: LogRouteQueue with the state's game folder.
void RouteQueueLogCallback(const win_route::State& state, const std::string& line);

}  // namespace qv::setup
