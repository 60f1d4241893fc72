#pragma once
// The "--fg-route" role: one operation of the frame-generation unlock in the
// route window, then the game is started again.

#include <string>

#include "routes/fg/fg-route.h"
#include "routes/route-window-run.h"
#include "routes/route-window.h"
#include "routes/single-route-args.h"

namespace qv::setup {

// The worker thread's body: runs the step (waiting for the game first), then
// posts the finish message. An error that escapes the operation still gives
// the result file (exit -1, its text), the log line and the failure notice,
// and the window still hears the end, so the game is started again. With a
// `refusal` (another run holds the installation) nothing runs: the result
// file, the log line and the notice give that text.
// `progress` shows the status lines and notices (the window's, by default).
void FgRouteThread(fg_route::Args args, FgRouteServices services, std::string refusal = {},
                   RouteProgress progress = PostRouteText);

// The window's log lines (the game's restart): "fg route: " + line.
void FgRouteLogCallback(const win_route::State& state, const std::string& line);

namespace fg_route {

// Runs the operation in the route window and returns 0 (how it ended is in
// the result file and the log).
int RunRoute(const Args& args, const FgRouteServices& services = {}, const RouteWindowHooks& hooks = {});

}  // namespace fg_route
}  // namespace qv::setup
