#pragma once
// The updater's command line:
//   "--game-update" <game folder> [--pid <id>] [--lang <n>] [--elevated] [-- <game arguments>...]
// The game starts it to update itself; the program builds this line only for
// its own elevated relaunch.

#include <optional>

#include "update/updater/updater-args.h"

namespace qv::setup {

// Reads an updater command line (argv[0] is the program). Not this role's:
// fewer than 3 arguments, argv[1] other than exactly "--game-update", or a
// game folder that is empty or that the system cannot make absolute (nothing
// could be updated, logged or started there). Otherwise always a result:
// unknown arguments, and "--pid" or "--lang" standing last, are ignored; a
// "--pid" that no Windows process id can be (beyond 32 bits) counts as none.
std::optional<win_updater::Args> ParseUpdaterArgs(int argc, const wchar_t* const* argv);

}  // namespace qv::setup
