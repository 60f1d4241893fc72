#pragma once
// Removal of the temporary folders an install or update leaves beside an
// installation. Only items directly beside the installation whose names carry
// the install or update prefixes are ever deleted, never through a symbolic
// link.

#include <chrono>
#include <filesystem>

#include "engine/update-journal.h"
#include "foundation/file-system-view.h"

namespace qv::setup {

// A file held open in a temporary folder is retried for about three seconds.
inline constexpr int kTempFolderRemovalAttempts = 30;
inline constexpr std::chrono::milliseconds kTempFolderRetryPause{100};

// Deletes the journal's staging, backup and download folders with everything
// in them (links inside removed as links), each only when IsUpdateTempFolder
// holds for it with its own prefix and it is not itself a symbolic link (a
// junction is removed as itself). Up to 30 attempts `pause` apart while the
// folder still exists. Best effort: reports nothing.
void RemoveUpdateTempFolders(const UpdateJournal& journal, std::chrono::milliseconds pause = kTempFolderRetryPause,
                             const FileSystemView& view = SystemView());

// Deletes one leftover temporary item directly inside `parent` whose name
// begins with ".qv-install-" or ".qv-update-" (the prefix alone counts too):
// a file, or a folder with everything in it. A symbolic link, an item
// elsewhere or of another name is left alone. One attempt; errors ignored.
void RemoveStaleTemporary(const std::filesystem::path& parent, const std::filesystem::path& item,
                          const FileSystemView& view = SystemView());

}  // namespace qv::setup
