#pragma once
// Why a portable copy cannot update itself where it lies: the folders its
// update writes, probed in turn.

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "foundation/files/file-system-view.h"
#include "update/game-update-platform.h"

namespace qv::setup {

// Raises a sentence when a folder cannot be written (ProbeWritableFolder's contract).
using WritableProbe =
    std::function<void(const std::filesystem::path& folder, std::string_view suffix, const std::string& label)>;

// Probes, with the platform's run_id as probe suffix: the game folder
// ("game folder <path>"), its "data" folder when that is a real folder (not a
// link or junction, as `view` sees it; "data folder <path>"), and the folder
// above the game ("folder above the game, <path>,"), paths in '/' form.
// Returns the first probe's failure text, or "" when all are writable.
// `probe` empty: ProbeWritableFolder through `view`.
std::string DescribeUnwritableFolders(const std::filesystem::path& game_folder, const GameUpdatePlatform& platform,
                                      const WritableProbe& probe = {}, const FileSystemView& view = SystemView());

}  // namespace qv::setup
