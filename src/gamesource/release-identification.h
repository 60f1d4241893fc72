#pragma once
// Whether a dumped folder whose two archives were found is this game, and which
// notes the user gets about the release they supplied.

#include <filesystem>

#include "gamesource/game-files.h"

namespace qv::setup {

// True when the path-ID list names the game's own levels ("qv14_" anywhere).
// Reads at most the first kMaxPathIdListSize bytes (no plausible list is
// larger), one piece at a time.
bool PathIdListShowsLevels(const std::filesystem::path& list);

// Reads the path-ID list, title and content identifiers of `files`, appends the
// release notes (only when accepting) and returns whether it is this game.
bool IdentifyRelease(GameFiles& files);

}  // namespace qv::setup
