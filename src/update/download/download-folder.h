#pragma once
// The folder beside the game that receives a downloaded setup file.

#include <filesystem>

#include "foundation/files/file-system-view.h"

namespace qv::setup {

// Removes `download_folder` with everything in it, links inside removed as
// links, but only when it lies directly beside `game_folder` and its name is
// ".qv-update-dl-" followed by at least one more character; anything else is
// left alone, and so is a download folder that is itself a symbolic link.
// Errors are ignored.
void RemoveDownloadFolder(const std::filesystem::path& game_folder, const std::filesystem::path& download_folder,
                          const FileSystemView& view = SystemView());

}  // namespace qv::setup
