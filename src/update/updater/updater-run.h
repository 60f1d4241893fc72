#pragma once
// The updater role ("--game-update"): sets up the role's state and the
// process-wide hooks, then runs the update without a window (headless test
// mode, with a result file) or in the updater's progress window.

#include <windows.h>

#include "update/updater/updater-args.h"
#include "update/updater/updater-work.h"

namespace qv::setup::win_updater {

// The role's exit code: 0 for a windowed run; headless, 0 when the game was
// updated or the job handed to the elevated copy, else 1 (also when the
// result file named by "QV_UPDATE_TEST_RESULT" may not be written: then
// nothing runs at all).
int Run(const Args& args, const WorkerServices& services = WorkerServices(),
        HINSTANCE instance = ::GetModuleHandleW(nullptr));

}  // namespace qv::setup::win_updater
