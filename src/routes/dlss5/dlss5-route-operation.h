#pragma once
// One operation of the DLSS 5 route ("nr"): install, remove or reinstall the
// add-on through the outside tool "dlss5-autopilot.exe" in the route's work
// folder. The route checks the tool's SHA-256, runs it on the game, copies
// its output into the updater log, puts the port's own ReShade down after an
// install (or deletes it on removal while it is still the recorded copy),
// writes or deletes the route record, and leaves "route-result.txt" in the
// work folder for the game to read once it runs again.

#include <chrono>
#include <functional>

#include "foundation/files/file-system-view.h"
#include "routes/dlss5/dlss5-installer-run.h"
#include "routes/dlss5/dlss5-port-reshade.h"
#include "routes/route-queue-run.h"
#include "routes/route-window.h"
#include "update/updater/game-wait.h"

namespace qv::setup {

// What the route waits for and how; tests shorten the waits and look at the
// file system through fakes. Production uses the defaults.
struct Dlss5RouteSettings {
  std::chrono::milliseconds game_wait = kGameCloseWait;
  // How long a failure notice stays before the game is started again.
  std::chrono::milliseconds failure_pause{3000};
  std::chrono::milliseconds tool_time_limit = kAutopilotTimeLimit;
  // Waits the failure pause; empty: the system's Sleep.
  std::function<void(std::chrono::milliseconds)> sleep;
  // Copies the port's ReShade; empty: the system's copy.
  FileCopier copy_file;
  FileSystemView view = SystemView();
};

// Shows the failure notice (key 25, "DLSS 5 could not be changed...", when
// the game starts again; another when it does not) and waits the failure
// pause, so the player can read it.
void ShowDlss5Failure(const RouteProgress& progress, const Dlss5RouteSettings& settings,
                      UpdaterText notice = UpdaterText::kDlss5Failed);

// The operation on `state` (remove, reinstall, game and work folder), the
// game already closed. Logs "<action> started, tool 2.0.8" first and
// "installer exit <code>: <last line>" last, writes the result file once,
// and shows the progress keys 17, 18 or 23, then 24 after a successful
// install; on failure key 25 and the failure pause. Returns 0, -1 (tool
// refused, not started or stopped at the time limit) or the tool's own code.
int RunDlss5RouteOperation(win_route::State& state, const RouteProgress& progress,
                           const Dlss5RouteSettings& settings = {});

// The queue's "nr" items: the operation on MakeDlss5RouteState of the item,
// and the route's result file for items that did not run to their end.
RouteQueueOperation Dlss5QueueOperation(const Dlss5RouteSettings& settings = {});

}  // namespace qv::setup
