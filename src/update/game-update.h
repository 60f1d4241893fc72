#pragma once
// The in-game update of an installed copy of the port, or of a portable copy,
// in place to the newest release: recovery of an interrupted earlier update,
// the release document, the signed manifest, the comparison with the
// installed files, the download of the changed files (by range requests or
// as the whole setup file) and the install engine under the update journal.

#include <filesystem>
#include <string>

#include "update/game-update-platform.h"

namespace qv::setup {

// Updates `game_folder` in place to the newest release. `page` receives the
// release's page as soon as the release document has been read, so that the
// caller can offer it even when a later step fails. Raises an English
// sentence for the user on failure; what the engine changed is rolled back
// then, or named by the update journal it leaves. On success the journal
// ("swapped") and the backup stay for the caller's start confirmation.
GameUpdateResult ApplyGameUpdate(const std::filesystem::path& game_folder, const GameUpdatePlatform& platform,
                                 std::string& page);

}  // namespace qv::setup
