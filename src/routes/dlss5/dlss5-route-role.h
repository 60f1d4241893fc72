#pragma once
// The "--dlss5-route" role: its window and its worker. The worker waits up to
// a minute for the game to close, runs the one operation and posts the
// finish message, after which the window starts the game again and closes.

#include <functional>

#include "routes/dlss5/dlss5-route-operation.h"
#include "routes/route-window-run.h"
#include "routes/single-route-args.h"
#include "update/updater/updater-text.h"

namespace qv::setup {

// Posts the status key to the state's window, when it has one.
void PostDlss5RouteText(const win_route::State& state, UpdaterText key);

namespace win_route {

// The worker's body: deletes the result file of an earlier run, shows key 1,
// waits for the game (a game still running after the wait gets its start
// line, the result file with exit -1 and
// "Q.V. was still running after 60 s", that line in the log, key 27 and the
// failure pause), then runs the operation. A run refused beside another one
// (the state's refusal) ends the same way with the refusal's text and key 28,
// at once.
void RouteWork(State& state, const RouteProgress& progress, const Dlss5RouteSettings& settings = {});

}  // namespace win_route

// The worker thread: runs `work` on the state (RouteWork with its window's
// progress when empty) and posts the finish message as its last act. A
// failure that escapes the work still leaves the result file (exit -1, the
// failure's text) and the log line "stopped: <text>", and the window still
// hears the end, so the game is always started again.
void Dlss5RouteThread(win_route::State& state, const std::function<void(win_route::State&)>& work = {});

// Runs the role in its window and returns 0 whatever the operation's outcome
// (the result file and the log hold it).
int RunDlss5Route(const Dlss5RouteArgs& args, const Dlss5RouteSettings& settings = {},
                  const RouteWindowHooks& hooks = {});

}  // namespace qv::setup
